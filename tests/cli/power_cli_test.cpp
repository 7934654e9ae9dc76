// quillon-cli power, run in-process on temporary data directories (and once as the real
// program). The stdout golden has the date field of each summary line replaced by DATE; its
// figures were checked by hand against the power evaluation tests (test 5 at N = 40 is R's
// exact Fisher power .65022492) and the sample sizes read off its summary lines.
#include "cli/commands.h"
#include "core/files.h"
#include "power/result_files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/wait.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

struct CliResult {
    int status = 0;
    std::string out, err;
};

CliResult RunPowerCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    cli::Streams io{out, err, false};
    CliResult result;
    result.status = cli::RunCli(args, io);
    result.out = std::move(out).str();
    result.err = std::move(err).str();
    return result;
}

// Summary lines (those starting with a six-digit date) with their date replaced.
std::string WithoutDates(const std::string& text) {
    std::string out;
    for (const std::string& line : SplitLines(text)) {
        const bool dated =
            line.size() > 6 && line[6] == '\t' && line.find_first_not_of("0123456789") == 6;
        out += dated ? "DATE" + line.substr(6) : line;
        out += '\n';
    }
    return out;
}

TEST(PowerCli, SweepPrintsSummaryLinesAndTheSampleSizeBlock) {
    const std::string dir = testing::MakeTempDirectory("cli-power");
    const CliResult r = RunPowerCli({"power", "--n", "10 to 60 step 10", "--p1", ".2", "--p2", ".6",
                                     "--tests", "1 - 7", "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.err, "");
    testing::ExpectMatchesGolden(WithoutDates(r.out), "power/cli_sweep_stdout.txt");
    // stdout repeats exactly what the summary file holds.
    const auto summary = ReadTextFile(fs::path(dir) / PowerSummaryFileName);
    ASSERT_TRUE(summary);
    const std::string block = "\n\nTest\tRow1";
    const std::string lines = r.out.substr(0, r.out.find(block) + 1);
    std::string withCrlf;
    for (const std::string& line : SplitLines(lines))
        withCrlf += line + "\r\n";
    EXPECT_EQ(withCrlf, *summary);
    EXPECT_TRUE(fs::exists(fs::path(dir) / PowerResultsFileName));
}

TEST(PowerCli, OptionsReachTheStudy) {
    const std::string dir = testing::MakeTempDirectory("cli-power-options");
    const CliResult r =
        RunPowerCli({"power",      "--n",      "12", "--p1",           ".1",        "--p2",
                     ".8",         "--design", "cs", "--row1",         ".25",       "--tests",
                     "4",          "--men",    "1",  "--mmt",          "2",         "--alpha",
                     ".1",         "--target", ".5", "--summary-only", "--threads", "2",
                     "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 2u); // one N: no sample-size block
    const std::vector<std::string> f = SplitTabs(lines[1]);
    ASSERT_EQ(f.size(), 13u);
    EXPECT_EQ(
        std::vector<std::string>(f.begin() + 1, f.begin() + 10),
        (std::vector<std::string>{" 1", " 12", " .25", " .1", " .8", " 4", " 1", " 2", " .1"}));
    EXPECT_EQ(f[12], " .625"); // .25 x .1 + .75 x .8
    EXPECT_FALSE(fs::exists(fs::path(dir) / PowerResultsFileName));
}

TEST(PowerCli, RefusalsAndUsageErrorsExitWithStatusTwo) {
    const std::string dir = testing::MakeTempDirectory("cli-power-refused");
    struct Case {
        const char* name;
        std::vector<std::string> args;
        std::string errStart;
    };
    const Case cases[] = {
        {"refused_target",
         {"--n", "10", "--p1", ".2", "--p2", ".6", "--target", "2"},
         "The value 2 for variable 'Target power' is greater than the maximum value allowed of "
         "1.\n"},
        {"missing_p1", {"--n", "10", "--p2", ".6"}, "quillon-cli power: --p1 is required\n"},
        {"missing_p2", {"--n", "10", "--p1", ".6"}, "quillon-cli power: --p2 is required\n"},
        {"missing_n", {"--p1", ".2", "--p2", ".6"}, "quillon-cli power: --n is required\n"},
        {"unknown_option",
         {"--n", "10", "--p1", ".2", "--p2", ".6", "--pcol", ".5"},
         "quillon-cli power: unknown option '--pcol'\n"},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        std::vector<std::string> args{"power"};
        args.insert(args.end(), k.args.begin(), k.args.end());
        args.insert(args.end(), {"--data-dir", dir});
        const CliResult r = RunPowerCli(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_EQ(r.err.rfind(k.errStart, 0), 0u) << r.err;
        EXPECT_EQ(r.out, "");
    }
}

TEST(PowerCli, HelpAndEarlierData) {
    const CliResult help = RunPowerCli({"power", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("Usage: quillon-cli power --n SPEC --p1 SPEC --p2 SPEC", 0), 0u);

    const std::string dir = testing::MakeTempDirectory("cli-power-earlier");
    ASSERT_EQ(RunPowerCli({"power", "--n", "10, 20", "--p1", ".2", "--p2", ".6", "--summary-only",
                           "--data-dir", dir})
                  .status,
              0);
    const CliResult r =
        RunPowerCli({"power", "--n", "*", "--p1", ".2", "--p2", ".6", "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> lines = SplitLines(r.out);
    ASSERT_EQ(lines.size(), 3u) << r.out; // a heading and the two records
    EXPECT_NE(lines[0].find("Power"), std::string::npos) << lines[0];
}

TEST(PowerCli, ChartFileIsWritten) {
    const std::string dir = testing::MakeTempDirectory("cli-power-chart");
    const std::string chart = (fs::path(dir) / "power.svg").string();
    const CliResult r =
        RunPowerCli({"power", "--n", "10, 20, 30", "--p1", ".2", "--p2", ".6", "--tests", "1, 4",
                     "--summary-only", "--chart", chart, "--data-dir", dir});
    EXPECT_EQ(r.status, 0) << r.err;
    const auto svg = ReadTextFile(chart);
    ASSERT_TRUE(svg);
    EXPECT_NE(svg->find("<svg"), std::string::npos);
}

TEST(PowerCli, RealProgramExitStatus) {
    const std::string dir = testing::MakeTempDirectory("cli-power-real");
    const std::string command = std::string(QUILLON_CLI_PATH) +
                                " power --n 10 --p1 .2 --p2 .6 --alpha 3 --data-dir " + dir +
                                " >/dev/null 2>&1";
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 2);
}

} // namespace
} // namespace quillon
