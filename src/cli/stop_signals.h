// SIGINT and SIGTERM end a command at its next safe point rather than at once: a study
// finishes the summary line under way, stops between units of work and reports a stopped
// run, so the summary files stay whole and a shard records itself as not completed. A
// second signal ends the process at once.
#pragma once

#include <string>

namespace quillon::cli {

// Installs the handlers; called once, by the program's main.
void InstallStopSignals();
// The signal received (SIGINT or SIGTERM), or 0 when none has been.
int StopSignal();
// "SIGINT" or "SIGTERM".
std::string StopSignalName(int signal);
// The exit status of a command ended by `signal`: 128 + its number (130, 143).
int StopExitStatus(int signal);

} // namespace quillon::cli
