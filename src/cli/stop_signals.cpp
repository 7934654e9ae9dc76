#include "cli/stop_signals.h"

#include <atomic>
#include <csignal>
#include <signal.h>

namespace quillon::cli {

namespace {

std::atomic<int> received{0};
static_assert(std::atomic<int>::is_always_lock_free, "read from a signal handler");

extern "C" void OnStopSignal(int signal) {
    received.store(signal, std::memory_order_relaxed);
}

} // namespace

void InstallStopSignals() {
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // The handler only notes the signal; after the first, the usual action comes back, so
    // that a second signal ends a run that is slow to reach its safe point.
    action.sa_flags = SA_RESETHAND | SA_RESTART;
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
}

int StopSignal() {
    return received.load(std::memory_order_relaxed);
}

std::string StopSignalName(int signal) {
    return signal == SIGINT ? "SIGINT" : signal == SIGTERM ? "SIGTERM" : "a signal";
}

int StopExitStatus(int signal) {
    return 128 + signal;
}

} // namespace quillon::cli
