// Progress of a run, relayed from the run's threads to the window: at most one report a
// tenth of a second (the final one always), each waiting first while the run is paused.
#pragma once

#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

namespace quillon {

class Program;
class RunHost;

class ProgressRelay {
public:
    explicit ProgressRelay(Program& program);

    // Interaction::Progress of a window view; safe from any thread.
    void Report(const std::string& stage, std::uint64_t done, std::uint64_t total);
    // Interaction::StopRequested of a window view: holds while paused, then true once
    // the user has abandoned the run.
    bool StopRequested() const;

private:
    Program& program_;
    RunHost& runs_;
    std::mutex mutex_;
    std::chrono::steady_clock::time_point last_{};
};

} // namespace quillon
