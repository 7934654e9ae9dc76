// The particular-proportion study in the windows: the run logic of the study on a worker
// thread, its events presented by the study controller and its charts drawn in the chart
// window.
#pragma once

namespace quillon {

class Program;

// Runs the study specified in frmSetPointVals and returns when the run has ended.
void RunParticularInWindows(Program& program);

} // namespace quillon
