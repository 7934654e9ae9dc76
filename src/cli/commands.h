// The subcommands of quillon-cli. Each takes its arguments (after the subcommand name)
// and the streams to use, and returns the process exit status: 0 done, 2 refused input
// or usage error, 1 a failure while running (a file that cannot be written).
#pragma once

#include <iosfwd>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {
struct StudyEntry;
}

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

using CommandFunction = int (*)(const std::vector<std::string>& args, Streams& io);

// One command of quillon-cli: its name (and any other name it answers to), its line in the
// usage and the function that runs it. A study's command takes its name and usage line from
// the study's registry entry.
struct Command {
    std::string_view name;
    std::span<const std::string_view> otherNames;
    std::string_view arguments;   // what follows the name in the usage
    std::string_view description; // empty: the command is not listed in the usage
    CommandFunction run = nullptr;
    const StudyEntry* study = nullptr; // the study it runs, or null
};

// Every command, in the order the usage lists them.
std::span<const Command> Commands();

// The command answering to `name`, or null.
const Command* FindCommand(std::string_view name);

// The usage text: the program's purpose and one line (or two) per listed command.
std::string UsageText();

// The first line of a command's own usage, "Usage: quillon-cli NAME ARGUMENTS", from the
// same row of the command table as its line in the usage text, so the two cannot differ.
std::string UsageLine(std::string_view name);

// The whole command line, argv[0] excluded.
int RunCli(const std::vector<std::string>& args, Streams& io);

} // namespace quillon::cli
