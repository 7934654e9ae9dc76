// The maximum study in the windows: the run logic of the study on a worker thread, its
// view implemented with the message boxes, the chart window (the search map or pass
// graph and its four figure boxes) and the summary-chart window.
#pragma once

#include "desktop/qt/desk_services.h"

namespace quillon {

class MaximaWindow;

// Runs the study specified in frmSetMaxima and returns when the run has ended.
void RunMaximumInWindows(MaximaWindow& window, RunWindows& windows, const DeskSettings& settings);

} // namespace quillon
