#include "cli/commands.h"
#include "study/shard.h"
#include "study/study_registry.h"

#include <filesystem>
#include <optional>
#include <ostream>

namespace quillon::cli {

namespace {

// What follows the usage line of the command, around the list of summary files.
constexpr const char* kMergeHelpHead =
    "\n"
    "Appends the summary records of the shards of one run (each run with --shard K/M into\n"
    "its own data directory) to the summary file of DIR that the run appends to, in the\n"
    "order of the run's plan: DIR gets exactly the records one run without --shard would\n"
    "have appended. The summary files it merges:\n";
constexpr const char* kMergeHelpTail =
    "Give every shard of the plan once. Nothing is written when a shard is missing, given\n"
    "twice, did not complete, belongs to another plan or is DIR itself, or when its records\n"
    "are of another study than DIR's file; a set merged before adds nothing again. A merge\n"
    "adds all of its records or none: one ended by a full disk or a kill is completed by\n"
    "the next merge of the same set, which adds each record exactly once.\n"
    "The merge appends records only: the sample sizes of a power run are not printed\n"
    "(run 'quillon-cli power' with '*' in a list to chart the merged records).\n";

// The usage, with every summary file of the registered studies.
std::string MergeUsage() {
    std::string text = UsageLine("merge") + kMergeHelpHead;
    for (const std::string& file : AllSummaryFiles())
        text += "  " + file + "\n";
    return text + kMergeHelpTail;
}

} // namespace

int RunMerge(const std::vector<std::string>& args, Streams& io) {
    std::optional<std::filesystem::path> target;
    std::vector<std::filesystem::path> shards;
    auto usageError = [&](const std::string& message) {
        io.err << "quillon-cli merge: " << message << "\n\n" << MergeUsage();
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--help" || args[i] == "-h") {
            io.out << MergeUsage();
            return 0;
        }
        if (args[i] == "--data-dir") {
            if (i + 1 >= args.size())
                return usageError("option --data-dir needs a value");
            target = args[++i];
        } else if (args[i].rfind("--", 0) == 0) {
            return usageError("unknown option '" + args[i] + "'");
        } else {
            shards.emplace_back(args[i]);
        }
    }
    if (!target)
        return usageError("--data-dir is required");
    if (shards.empty())
        return usageError("give the shard folders to merge");
    std::string report;
    if (auto problem = MergeShards(*target, shards, report)) {
        io.err << problem->message << '\n';
        return problem->ioFailure ? 1 : 2;
    }
    io.out << report << '\n';
    return 0;
}

} // namespace quillon::cli
