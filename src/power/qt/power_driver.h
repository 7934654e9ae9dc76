// The power study in the windows: the run on a worker thread, its events presented by the
// study controller, the chart of the combinations so far drawn in the chart window.
#pragma once

#include "desktop/qt/desk_services.h"

namespace quillon {

class PowerWindow;

// Runs the study specified in the power window and returns when the run has ended.
void RunPowerInWindows(PowerWindow& window, RunWindows& windows, const DeskSettings& settings);

} // namespace quillon
