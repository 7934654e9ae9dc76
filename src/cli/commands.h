// The subcommands of quillon-cli. Each takes its arguments (after the subcommand name)
// and the streams to use, and returns the process exit status: 0 done, 2 refused input
// or usage error, 1 a failure while running (a file that cannot be written).
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace quillon::cli {

struct Streams {
    std::ostream& out;
    std::ostream& err;
    bool errIsTerminal = false; // progress is drawn in place on a terminal
    // When stderr is not a terminal: progress of the commands that log it, as lines of
    // their own (the program itself; runs inside tests leave it off).
    bool progressLog = false;
};

int RunAnalyse(const std::vector<std::string>& args, Streams& io);
int RunParticular(const std::vector<std::string>& args, Streams& io);
int RunMaximum(const std::vector<std::string>& args, Streams& io);
int RunPower(const std::vector<std::string>& args, Streams& io);
int RunSummary(const std::vector<std::string>& args, Streams& io);
int RunMerge(const std::vector<std::string>& args, Streams& io);

// The whole command line, argv[0] excluded.
int RunCli(const std::vector<std::string>& args, Streams& io);

} // namespace quillon::cli
