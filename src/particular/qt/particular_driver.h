// The particular-proportion study in the windows: the run logic of the study on a worker
// thread, its events presented by the study controller and its charts drawn in the chart
// window.
#pragma once

#include "desktop/qt/desk_services.h"

namespace quillon {

class ParticularWindow;

// Runs the study specified in `window` and returns when the run has ended.
void RunParticularInWindows(ParticularWindow& window, RunWindows& windows,
                            const DeskSettings& settings);

} // namespace quillon
