// The command line run inside a test: its arguments (argv[0] excluded) in, its exit status
// and what it wrote to standard output and standard error out.
#pragma once

#include "cli/commands.h"

#include <sstream>
#include <string>
#include <vector>

namespace quillon::cli {

struct CliResult {
    int status = 0;
    std::string out, err;
};

// `progressLog` as when stderr is a file (a batch job): progress as lines of their own.
inline CliResult RunCliCaptured(const std::vector<std::string>& args, bool progressLog = false) {
    std::ostringstream out, err;
    Streams io{out, err, false, progressLog};
    const int status = RunCli(args, io);
    return {status, out.str(), err.str()};
}

} // namespace quillon::cli
