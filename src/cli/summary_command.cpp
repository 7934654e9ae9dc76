#include "cli/commands.h"
#include "core/files.h"
#include "core/record_dedupe.h"

#include <filesystem>
#include <optional>
#include <ostream>

namespace quillon::cli {

namespace {

// What follows the usage line of the command.
constexpr const char* kSummaryHelp =
    "\n"
    "Removes the exact duplicate records of an accumulated summary file (lines identical\n"
    "byte for byte to an earlier record; the first is kept, the heading, blank lines and\n"
    "every other line stay as they are). The original is kept as FILE.bak and the file is\n"
    "replaced in one step, keeping its permissions; a file without duplicates is left\n"
    "untouched. A symbolic link is followed to its file (the backup lies beside that file);\n"
    "a folder, device or FIFO is refused. Studies appending meanwhile wait and lose nothing.\n"
    "A bare file name (ParticularSummary.txt) names a file of the data folder; a path is\n"
    "used as given.\n"
    "\n"
    "  --data-dir DIR   the data folder (default $XDG_DATA_HOME/Quillon)\n";

std::string SummaryUsage() {
    return UsageLine("summary") + kSummaryHelp;
}

} // namespace

int RunSummary(const std::vector<std::string>& args, Streams& io) {
    std::optional<std::string> file, dataDir;
    const auto usageError = [&io](const std::string& message) {
        io.err << "quillon-cli summary: " << message << "\n\n" << SummaryUsage();
        return 2;
    };
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            io.out << SummaryUsage();
            return 0;
        }
        if (arg != "--dedupe" && arg != "--data-dir")
            return usageError("unknown option '" + arg + "'");
        if (i + 1 >= args.size())
            return usageError("option " + arg + " needs a value");
        (arg == "--dedupe" ? file : dataDir) = args[++i];
    }
    if (!file)
        return usageError("--dedupe FILE is required");
    std::filesystem::path path = *file;
    if (!path.has_parent_path())
        path = (dataDir ? std::filesystem::path(*dataDir) : DefaultDataDirectory()) / path;
    // What cannot be done is refused before any work, as a path given wrongly.
    if (auto problem = CheckDedupeTarget(path)) {
        io.err << *problem << '\n';
        return 2;
    }
    DedupeOutcome outcome;
    if (auto error = RemoveDuplicateRecordsFromFile(path, outcome)) {
        io.err << *error << '\n';
        return 1;
    }
    io.out << DedupeReport(path, outcome) << '\n';
    return 0;
}

} // namespace quillon::cli
