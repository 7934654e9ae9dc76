#include "cli/commands.h"

#include "study/study_registry.h"

#include <algorithm>
#include <array>
#include <ostream>

namespace quillon::cli {

namespace {

int RunHelp(const std::vector<std::string>&, Streams& io) {
    io.out << UsageText();
    return 0;
}

constexpr Command StudyCommand(const StudyEntry& study, CommandFunction run) {
    return {.name = study.name,
            .otherNames = {},
            .arguments = study.commandArguments,
            .description = study.commandSummary,
            .run = run,
            .study = &study};
}

constexpr std::array<std::string_view, 1> kAnalyseNames{"analyze"};
constexpr std::array<std::string_view, 2> kHelpNames{"--help", "-h"};

// The studies in the registry's order, between the analysis of one table and the commands
// that work on the files the studies write.
constexpr std::array kCommands{
    Command{.name = "analyse",
            .otherNames = kAnalyseNames,
            .arguments = "A B C D [--recommended] [--effects] [--unconditional]",
            .description = "analyse one table (cells a, b in row B; c, d in Not-B)",
            .run = RunAnalyse,
            .study = nullptr},
    StudyCommand(ParticularStudyEntry, RunParticular),
    StudyCommand(MaximumStudyEntry, RunMaximum),
    StudyCommand(PowerStudyEntry, RunPower),
    Command{.name = "summary",
            .otherNames = {},
            .arguments = "--dedupe FILE [--data-dir DIR]",
            .description = "remove exact duplicate records of a summary file",
            .run = RunSummary,
            .study = nullptr},
    Command{.name = "merge",
            .otherNames = {},
            .arguments = "--data-dir DIR SHARD_DIR...",
            .description = "the summary records of a run's shards, in order",
            .run = RunMerge,
            .study = nullptr},
    Command{.name = "help",
            .otherNames = kHelpNames,
            .arguments = {},
            .description = {},
            .run = RunHelp,
            .study = nullptr},
};

// A command's name and arguments take this many columns before its description; a longer
// one puts the description on a line of its own, indented as far.
constexpr std::size_t kDescriptionColumn = 36;

} // namespace

std::span<const Command> Commands() {
    return kCommands;
}

const Command* FindCommand(std::string_view name) {
    for (const Command& command : kCommands)
        if (command.name == name ||
            std::ranges::find(command.otherNames, name) != command.otherNames.end())
            return &command;
    return nullptr;
}

std::string UsageText() {
    std::string text = "Usage: quillon-cli COMMAND [OPTIONS]\n"
                       "\n"
                       "Analyses 2 x 2 tables and studies how well the chi squared and "
                       "Fisher-Irwin tests keep\n"
                       "their nominal significance level.\n"
                       "\n"
                       "Commands:\n";
    for (const Command& command : kCommands) {
        if (command.description.empty())
            continue;
        std::string head = "  " + std::string(command.name);
        if (!command.arguments.empty())
            head += " " + std::string(command.arguments);
        if (head.size() < kDescriptionColumn)
            head.resize(kDescriptionColumn, ' ');
        else
            head += "\n" + std::string(kDescriptionColumn, ' ');
        text += head + std::string(command.description) + "\n";
    }
    text += "\n"
            "Run 'quillon-cli COMMAND --help' for the options of a command.\n";
    return text;
}

std::string UsageLine(std::string_view name) {
    std::string line = "Usage: quillon-cli " + std::string(name);
    if (const Command* command = FindCommand(name); command && !command->arguments.empty())
        line += " " + std::string(command->arguments);
    return line + "\n";
}

int RunCli(const std::vector<std::string>& args, Streams& io) {
    if (args.empty()) {
        io.err << UsageText();
        return 2;
    }
    const std::string& name = args.front();
    const Command* command = FindCommand(name);
    if (command == nullptr) {
        io.err << "quillon-cli: unknown command '" << name << "'\n\n" << UsageText();
        return 2;
    }
    return command->run(std::vector<std::string>(args.begin() + 1, args.end()), io);
}

} // namespace quillon::cli
