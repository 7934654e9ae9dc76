// The chart window shared by the studies: where its caption, its buttons and (in the
// maximum study) its four figure boxes stand for a window of W by H units. Each chart lays
// the window out from this common arrangement and changes only what is its own (the
// caption's height, the font).
#pragma once

#include "core/drawing.h"

namespace quillon {

struct ChartWindowLayout {
    double fontSize = 8; // points: the drawing and the text boxes
    Box caption;         // Text1
    Box nextChart, pause, print, exit;
    Box stop; // "&Stop", while a run goes on
    // The figures of the maximum study (txtPointVal, txtBlock_ub, txtOverallMaxVal,
    // txtLatestResidueVal_ub).
    Box pointValue, areaBound, overallMaximum, residueBound;
};

// The common arrangement: font 0.0008 sqrt(W H) in twips, caption 0.95 W by 0.07 H at the
// top left, the buttons in a column at 0.83 W from 0.5 H down (Stop last), the figure boxes at 0.7
// W from 0.1 H down.
ChartWindowLayout LayOutChartWindow(double W, double H);

} // namespace quillon
