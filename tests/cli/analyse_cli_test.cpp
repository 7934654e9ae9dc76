// quillon-cli analyse, in-process and as a real process.
#include "cli/commands.h"
#include "support/cli_run.h"

#include <gtest/gtest.h>

#include <array>
#include <cstdio>
#include <random>
#include <sstream>

namespace quillon::cli {
namespace {

TEST(AnalyseCommand, WorkedTableOnStdout) {
    const CliResult r = RunCliCaptured({"analyse", "10", "2", "3", "15"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    EXPECT_EQ(r.out.substr(0, 6), "Data:\n");
    EXPECT_NE(r.out.find("Smallest expected number: 5.20000\n"), std::string::npos);
    EXPECT_EQ(r.out.substr(r.out.size() - 101), std::string(100, '-') + "\n");
    const CliResult rec = RunCliCaptured({"analyse", "--recommended", "1", "0", "0", "3"});
    EXPECT_NE(rec.out.find("P value = .25\n"), std::string::npos);
}

TEST(AnalyseCommand, CorrectionsGoToStderrAndTheAnalysisGoesOn) {
    const CliResult r = RunCliCaptured({"analyse", "-3", "2.5", "12", "4"});
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "The value -3 is invalid and will be replaced by 3\n"
                     "The value  2.5 is invalid and will be replaced by 2\n");
    EXPECT_NE(r.out.find("B                           3              2              5 \n"),
              std::string::npos)
        << r.out;
    // A cell with text after its number is refused, not read as the number.
    const CliResult text = RunCliCaptured({"analyse", "-3", "2.5", "12abc", "4"});
    EXPECT_EQ(text.status, 2);
    EXPECT_EQ(text.out, "");
    EXPECT_EQ(text.err, "quillon-cli analyse: The value \"12abc\" given for cell C cannot be "
                        "read: \"abc\" is left over after a value.\n");
}

TEST(AnalyseCommand, RefusalsAndUsage) {
    const CliResult zero = RunCliCaptured({"analyse", "0", "0", "1", "1"});
    EXPECT_EQ(zero.status, 2);
    EXPECT_EQ(zero.out, "");
    EXPECT_EQ(zero.err, "A row total of 0 is invalid\n");
    const CliResult huge = RunCliCaptured({"analyse", "1e9", "1", "1", "1"});
    EXPECT_EQ(huge.status, 2);
    EXPECT_EQ(huge.out, "");
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"analyse", "1", "2", "3"},
                                               {"analyse", "1", "2", "3", "4", "5"},
                                               {"analyse", "--bogus", "1", "2", "3", "4"},
                                               {"frobnicate"},
                                               {}}) {
        const CliResult r = RunCliCaptured(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("Usage: quillon-cli"), std::string::npos);
        EXPECT_EQ(r.out, "");
    }
    const CliResult help = RunCliCaptured({"analyse", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_NE(help.out.find("Usage: quillon-cli analyse A B C D"), std::string::npos);
    EXPECT_EQ(RunCliCaptured({"--help"}).status, 0);
}

TEST(AnalyseCommand, EffectsFollowTheAnalysis) {
    const CliResult plain = RunCliCaptured({"analyse", "10", "2", "3", "15"});
    const CliResult full = RunCliCaptured({"analyse", "10", "2", "3", "15", "--effects"});
    EXPECT_EQ(full.status, 0);
    ASSERT_EQ(full.out.substr(0, plain.out.size()), plain.out);
    EXPECT_EQ(full.out.substr(plain.out.size(), 22), "Effect sizes for a = 1");
    EXPECT_NE(full.out.find("exact conditional interval: 2.75338 to 301.462\n"), std::string::npos)
        << full.out;
    const CliResult recommended =
        RunCliCaptured({"analyse", "--effects", "--recommended", "1", "0", "0", "3"});
    EXPECT_EQ(recommended.status, 0);
    EXPECT_NE(recommended.out.find("P value = .25\n"), std::string::npos);
    EXPECT_NE(recommended.out.find("Odds ratio, sample value a d / b c: infinite (b c is 0)\n"),
              std::string::npos)
        << recommended.out;
    // A refused table prints neither the analysis nor the effect sizes.
    const CliResult zero = RunCliCaptured({"analyse", "0", "0", "1", "1", "--effects"});
    EXPECT_EQ(zero.status, 2);
    EXPECT_EQ(zero.out, "");
}

// The published example of Berger and Boos (1994): .0611 for the pooled chi squared
// ordering. The block follows the effect sizes; the seven-test text is unchanged.
TEST(AnalyseCommand, UnconditionalTestsFollowTheEffectSizes) {
    const CliResult effects = RunCliCaptured({"analyse", "14", "33", "48", "235", "--effects"});
    const CliResult both =
        RunCliCaptured({"analyse", "--unconditional", "14", "33", "48", "235", "--effects"});
    EXPECT_EQ(both.status, 0);
    ASSERT_EQ(both.out.substr(0, effects.out.size()), effects.out);
    const std::string block = both.out.substr(effects.out.size());
    EXPECT_TRUE(block.starts_with("Exact unconditional tests for a = 14, b = 33, c = 48, d = 235 "
                                  "(rows B and Not-B as two independent samples of 47 and 283"))
        << block;
    EXPECT_NE(block.find("\nExact unconditional test, chi squared ordering: P value = .0611418, "
                         "largest at p = .00388 and at 1 - p\n"),
              std::string::npos)
        << block;
    EXPECT_NE(block.find("\nExact unconditional test, Fisher-Irwin ordering: P value = .0396136, "
                         "largest at p = .489 and at 1 - p\n"),
              std::string::npos)
        << block;
    EXPECT_TRUE(block.ends_with("\n\n" + std::string(100, '-') + "\n"));
    // Every table as extreme as the observed: 1 at every proportion.
    const CliResult flat = RunCliCaptured({"analyse", "2", "3", "2", "3", "--unconditional"});
    EXPECT_NE(flat.out.find("chi squared ordering: P value = 1.00000, the same at every p"),
              std::string::npos)
        << flat.out;
    const CliResult zero = RunCliCaptured({"analyse", "0", "0", "1", "1", "--unconditional"});
    EXPECT_EQ(zero.status, 2);
    EXPECT_EQ(zero.out, "");
}

TEST(AnalyseCommand, AnyArgumentTextIsSafe) {
    std::mt19937 rng(11);
    const std::string alphabet = "0123456789.-+eE x\t";
    for (int i = 0; i < 300; ++i) {
        std::vector<std::string> args{"analyse"};
        for (int k = 0; k < 4; ++k) {
            std::string s;
            for (int n = static_cast<int>(rng() % 6); n > 0; --n)
                s += alphabet[rng() % alphabet.size()];
            args.push_back(s.empty() ? "1" : s);
        }
        if (i % 2 == 1)
            args.emplace_back("--effects");
        const CliResult r = RunCliCaptured(args);
        EXPECT_TRUE(r.status == 0 || r.status == 2);
    }
}

TEST(AnalyseCommand, RealProcessPrintsTheWorkedTable) {
    const std::string command = std::string(QUILLON_CLI_PATH) + " analyse 10 2 3 15 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    ASSERT_NE(pipe, nullptr);
    std::string out;
    std::array<char, 4096> buf{};
    while (std::fgets(buf.data(), static_cast<int>(buf.size()), pipe) != nullptr)
        out += buf.data();
    const int status = pclose(pipe);
    EXPECT_EQ(status, 0);
    EXPECT_EQ(out, RunCliCaptured({"analyse", "10", "2", "3", "15"}).out);
}

} // namespace
} // namespace quillon::cli
