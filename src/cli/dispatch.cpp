#include "cli/commands.h"

#include <ostream>

namespace quillon::cli {

namespace {

constexpr const char* kUsage =
    "Usage: quillon-cli COMMAND [OPTIONS]\n"
    "\n"
    "Analyses 2 x 2 tables and studies how well the chi squared and Fisher-Irwin tests keep\n"
    "their nominal significance level.\n"
    "\n"
    "Commands:\n"
    "  analyse A B C D [--recommended] [--effects]\n"
    "                                    analyse one table (cells a, b in row B; c, d in Not-B)\n"
    "  particular --n SPEC [OPTIONS]     actual Type I error at particular proportions\n"
    "  maximum --n SPEC [OPTIONS]        maximum actual Type I error over all proportions\n"
    "  power --n SPEC --p1 SPEC --p2 SPEC [OPTIONS]\n"
    "                                    exact power and size of the tests, sample sizes\n"
    "  summary --dedupe FILE             remove exact duplicate records of a summary file\n"
    "  merge --data-dir DIR SHARD_DIR... the summary records of a run's shards, in order\n"
    "\n"
    "Run 'quillon-cli COMMAND --help' for the options of a command.\n";

} // namespace

int RunCli(const std::vector<std::string>& args, Streams& io) {
    if (args.empty()) {
        io.err << kUsage;
        return 2;
    }
    const std::string& command = args.front();
    const std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "--help" || command == "-h" || command == "help") {
        io.out << kUsage;
        return 0;
    }
    if (command == "analyse" || command == "analyze")
        return RunAnalyse(rest, io);
    if (command == "particular")
        return RunParticular(rest, io);
    if (command == "maximum")
        return RunMaximum(rest, io);
    if (command == "power")
        return RunPower(rest, io);
    if (command == "summary")
        return RunSummary(rest, io);
    if (command == "merge")
        return RunMerge(rest, io);
    io.err << "quillon-cli: unknown command '" << command << "'\n\n" << kUsage;
    return 2;
}

} // namespace quillon::cli
