// The charts of the area search for the maximum, built from the search's events as it
// runs: in the cross-sectional study a square map of pi(col) against pi(row) on which
// every evaluated area is filled as it is decided (white when it passes, grey when it
// fails) and surveyed points are labelled with their values; in the comparative trial a
// graph over pi(col) of the property at the grid points (a line) and the upper bounds of
// the intervals (rectangles), redrawn after every pass. Four text boxes of the chart
// window carry the latest figures.
//
// Layout, in the window's units (device-independent pixels; W and H are read when a
// search starts):
//   map     origin (0.08 W, 0.85 H); proportion 1 is S = 1.2 sqrt(W H) long, so the square
//           of 0 to 0.5 has side 0.5 S; (c, r) is at (0.08 W + c S, 0.85 H - r S).
//   graph   pi(col) 0 to 0.5 from 0.08 W to 0.58 W (x = 0.08 W + pi W); the property
//           from 0.85 H upward at 0.68 H / Ymax per unit.
// Ymax is fixed at the first pass of a search: the residue bound of that pass (raised to
// 1.1 alpha for "1ProSig"), rounded up to M 10^e with e the first exponent from -1 down
// at which the mantissa Ymax 10^-e exceeds 1.5 (0.037 gives 4 x 10^-2). A first-pass
// bound of 0 (no table can count) gives no power of ten; the graph then uses 0.01, which
// the same rounding turns into 10 x 10^-3. Rectangles of later passes are cut at Ymax,
// so nothing is drawn over the heading (the bounds only shrink as the intervals do, so
// this is a safeguard).
//
// Map labels: each value label lies inside the square, clear of its outline (the axes),
// of the axis labels outside it and of every other label shown: it is placed with its top
// left corner at the point, else shifted to the point's other sides and inside the square,
// else (a new maximum at a labelled point) over labels it covers entirely, else left out.
// A label is drawn again after every later area that reaches it, so it stays on top.
//
// The drawing only grows while a search runs (each area, point or pass adds to it, as
// the window paints over what it shows); it starts afresh at each search.
#pragma once

#include "core/chart_window_layout.h"
#include "core/designs.h"
#include "core/drawing.h"
#include "maxima/search_events.h"

#include <cstdint>
#include <string>
#include <vector>

namespace quillon {

// What the chart window shows besides the drawing.
struct SearchChartTexts {
    std::string heading;    // Text1: the heading line and the title line
    TextBox pointValue;     // txtPointVal
    TextBox areaBound;      // txtBlock_ub (its text grey for a failing area)
    TextBox overallMaximum; // txtOverallMaxVal
    TextBox residueBound;   // txtLatestResidueVal_ub
};

// The chart window's layout for the maximum study: font 0.0008 sqrt(W H) in twips,
// heading 0.95 W by 0.08 H, the buttons and the four figure boxes.
ChartWindowLayout LayOutSearchChartWindow(double W, double H);

// The map's square of proportions 0 to .5 (cross-sectional study) in a window W by H, its
// bottom at 0.85 H: 0.6 sqrt(W H) a side, but never reaching up into the heading (a band
// of 0.04 H is left under it for the top axis label) nor wider than 0.6 W.
Box MapSquare(double W, double H);

// A value as a map label shows it: four significant figures, or "<.0001" for a value too
// small to read that way (the figure boxes and files keep the full value).
std::string MapLabelText(double value);

// The comparative-trial scale: Ymax rounded as described above, with its exponent e and
// mantissa M (ticks at j 10^e for j = 0..M).
struct GraphScale {
    double yMax = 0;
    int exponent = 0;
    double mantissa = 0;
};
GraphScale RoundGraphMaximum(double firstPassBound, Property type, double alpha);

// A label's box on the map, in drawing units (top left and bottom right corners).
struct LabelBox {
    double x1 = 0, y1 = 0, x2 = 0, y2 = 0;
};

class SearchChart final : public SearchObserver {
public:
    // `metrics` must outlive the chart. The size applies from the next search on.
    SearchChart(double W, double H, const TextMetrics& metrics);
    void SetWindowSize(double W, double H);

    void OnSearchStarted(const SearchStarted& e) override;
    void OnAreaEvaluated(const AreaEvaluated& e) override;
    void OnSurveyPoint(const SurveyPoint& e) override;
    void OnSurveyDone(const SurveyDone& e) override;
    void OnNewMaximum(const NewMaximum& e) override;
    void OnGridPassDone(const GridPassDone& e) override;

    const Drawing& GetDrawing() const { return drawing_; }
    const SearchChartTexts& Texts() const { return texts_; }
    ChartWindowLayout Layout() const;
    // Increases with every change, so a window can tell when to repaint.
    std::uint64_t Revision() const { return revision_; }
    // The drawing with the heading and the four text boxes, as a printed or saved picture
    // of the window shows it.
    Drawing Picture() const;

private:
    double X(double pcol) const;
    double MapY(double prow) const;
    double GraphY(double value) const;
    void DrawMapFrame();
    void DrawMapOutline();
    void DrawPointLabel(double pcol, double prow, double value, Colour colour);
    void RedrawLabelsOver(const LabelBox& area);
    void DrawGraphAxes();
    void SetBox(TextBox& box, const std::string& label, double value, Colour colour);

    const TextMetrics& metrics_;
    double nextW_, nextH_;
    double W_ = 0, H_ = 0;
    double fontSize_ = 8;
    Drawing drawing_;
    SearchChartTexts texts_;
    std::uint64_t revision_ = 0;
    DesignCode design_ = ComparativeTrial;
    Property type_ = Property::ActualTypeIError;
    double alpha_ = 0;
    GraphScale scale_;
    struct PlacedLabel {
        LabelBox box;
        FilledRectOp background;
        TextOp text;
    };
    std::vector<PlacedLabel> labels_; // the map labels shown, in the order drawn
};

} // namespace quillon
