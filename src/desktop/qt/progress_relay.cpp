#include "desktop/qt/progress_relay.h"

#include "desktop/qt/run_host.h"

namespace quillon {

ProgressRelay::ProgressRelay(RunHost& runs, Show show) : runs_(runs), show_(std::move(show)) {}

void ProgressRelay::Report(ProgressStage stage, std::uint64_t done, std::uint64_t total) {
    runs_.HoldWhilePaused();
    const auto now = std::chrono::steady_clock::now();
    {
        std::lock_guard lock(mutex_);
        if (done < total && now - last_ < std::chrono::milliseconds(100))
            return;
        last_ = now;
    }
    const double fraction =
        total == 0 ? 1.0 : static_cast<double>(done) / static_cast<double>(total);
    runs_.PostToUi(
        [show = show_, text = std::string(StageText(stage)), fraction] { show(text, fraction); });
}

bool ProgressRelay::StopRequested() const {
    runs_.HoldWhilePaused();
    return runs_.StopRequested();
}

} // namespace quillon
