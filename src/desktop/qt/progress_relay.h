// Progress of a run, relayed from the run's threads to a window: at most one report a
// tenth of a second (the final one always), each waiting first while the run is paused.
#pragma once

#include "study/events.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

namespace quillon {

class RunHost;

class ProgressRelay {
public:
    // `show` is called on the user-interface thread with the stage and the fraction done,
    // possibly after the relay is gone (a report still queued), so it holds only windows.
    using Show = std::function<void(const std::string& stage, double fraction)>;
    ProgressRelay(RunHost& runs, Show show);

    // Interaction::Progress of a window view; safe from any thread.
    void Report(ProgressStage stage, std::uint64_t done, std::uint64_t total);
    // Interaction::StopRequested of a window view: holds while paused, then true once
    // the user has stopped or abandoned the run.
    bool StopRequested() const;

private:
    RunHost& runs_;
    Show show_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace quillon
