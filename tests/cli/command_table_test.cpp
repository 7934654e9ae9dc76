// The command table of quillon-cli: the usage text and the dispatcher read the same table,
// and every registered study has its command there.
#include "cli/commands.h"
#include "support/cli_run.h"

#include "study/study_registry.h"

#include <gtest/gtest.h>

#include <set>
#include <sstream>

namespace quillon::cli {
namespace {

// The usage as the program prints it: each command's line is the first line of its own
// usage, options included (the analysis's --unconditional was once missing here).
constexpr const char* kExpectedUsage =
    "Usage: quillon-cli COMMAND [OPTIONS]\n"
    "\n"
    "Analyses 2 x 2 tables and studies how well the chi squared and Fisher-Irwin tests keep\n"
    "their nominal significance level.\n"
    "\n"
    "Commands:\n"
    "  analyse A B C D [--recommended] [--effects] [--unconditional]\n"
    "                                    analyse one table (cells a, b in row B; c, d in Not-B)\n"
    "  particular --n SPEC [OPTIONS]     actual Type I error at particular proportions\n"
    "  maximum --n SPEC [OPTIONS]        maximum actual Type I error over all proportions\n"
    "  power --n SPEC --p1 SPEC --p2 SPEC [OPTIONS]\n"
    "                                    exact power and size of the tests, sample sizes\n"
    "  summary --dedupe FILE [--data-dir DIR]\n"
    "                                    remove exact duplicate records of a summary file\n"
    "  merge --data-dir DIR SHARD_DIR... the summary records of a run's shards, in order\n"
    "\n"
    "Run 'quillon-cli COMMAND --help' for the options of a command.\n";

TEST(CommandTable, Usage) {
    EXPECT_EQ(UsageText(), kExpectedUsage);
    for (const char* help : {"--help", "-h", "help"}) {
        const CliResult r = RunCliCaptured({help});
        EXPECT_EQ(r.status, 0) << help;
        EXPECT_EQ(r.out, kExpectedUsage) << help;
        EXPECT_EQ(r.err, "") << help;
    }
    const CliResult none = RunCliCaptured({});
    EXPECT_EQ(none.status, 2);
    EXPECT_EQ(none.out, "");
    EXPECT_EQ(none.err, kExpectedUsage);
}

TEST(CommandTable, UnknownCommandNamesItAndShowsTheUsage) {
    // Near misses of real names are refused as well: names match whole and exactly.
    for (const char* name : {"frobnicate", "Particular", "max", "--n", "", "helps"}) {
        const CliResult r = RunCliCaptured({name, "--n", "10"});
        EXPECT_EQ(r.status, 2) << name;
        EXPECT_EQ(r.out, "") << name;
        EXPECT_EQ(r.err,
                  std::string("quillon-cli: unknown command '") + name + "'\n\n" + kExpectedUsage)
            << name;
    }
}

TEST(CommandTable, EveryRegisteredStudyHasItsCommandInTheUsage) {
    const std::string usage = UsageText();
    for (const StudyEntry* study : RegisteredStudies) {
        SCOPED_TRACE(study->name);
        const Command* command = FindCommand(study->name);
        ASSERT_NE(command, nullptr);
        EXPECT_EQ(command->study, study);
        EXPECT_NE(command->run, nullptr);
        EXPECT_NE(usage.find("\n  " + std::string(study->name) + " " +
                             std::string(study->commandArguments)),
                  std::string::npos);
        EXPECT_NE(usage.find(std::string(study->commandSummary) + "\n"), std::string::npos);
    }
    // And no command claims a study the registry does not hold.
    for (const Command& command : Commands()) {
        if (command.study != nullptr) {
            EXPECT_EQ(FindStudy(command.name), command.study) << command.name;
        }
    }
}

// A command's own --help opens with the line the usage lists for it, arguments and all.
TEST(CommandTable, EachCommandsHelpOpensWithItsUsageLine) {
    for (const Command& command : Commands()) {
        if (command.description.empty())
            continue;
        SCOPED_TRACE(command.name);
        const CliResult r = RunCliCaptured({std::string(command.name), "--help"});
        EXPECT_EQ(r.status, 0);
        const std::string expected = "Usage: quillon-cli " + std::string(command.name) + " " +
                                     std::string(command.arguments) + "\n\n";
        EXPECT_EQ(r.out.substr(0, expected.size()), expected);
    }
}

// Merge takes every summary file a study appends to, the maximum study's policy files
// included, and its help names each of them.
TEST(CommandTable, MergeHelpNamesEverySummaryFile) {
    const CliResult r = RunCliCaptured({"merge", "--help"});
    for (const StudyEntry* study : RegisteredStudies)
        for (std::string_view file : study->summaryFiles)
            EXPECT_NE(r.out.find("\n  " + std::string(file) + "\n"), std::string::npos) << file;
}

TEST(CommandTable, EveryNameAnswersToOneCommand) {
    std::set<std::string_view> names;
    for (const Command& command : Commands()) {
        EXPECT_TRUE(names.insert(command.name).second) << command.name;
        EXPECT_EQ(FindCommand(command.name), &command);
        for (std::string_view other : command.otherNames) {
            EXPECT_TRUE(names.insert(other).second) << other;
            EXPECT_EQ(FindCommand(other), &command) << other;
        }
    }
    // The other spelling runs the same analysis.
    EXPECT_EQ(RunCliCaptured({"analyze", "10", "2", "3", "15"}).out,
              RunCliCaptured({"analyse", "10", "2", "3", "15"}).out);
}

} // namespace
} // namespace quillon::cli
