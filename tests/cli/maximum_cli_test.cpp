// quillon-cli maximum, in-process on temporary data directories. The stdout of a small run
// is a golden file (tests/data/golden/maxima/cli_ct_series.txt); the date in it is replaced
// by dd.mm.yy before comparing. Update with QUILLON_UPDATE_GOLDEN=1 after a deliberate
// change and review the difference.
#include "cli/commands.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>

namespace quillon::cli {
namespace {

CliResult RunCommand(std::vector<std::string> args, const std::string& dataDir) {
    args.insert(args.begin(), "maximum");
    args.push_back("--data-dir");
    args.push_back(dataDir);
    return RunCliCaptured(args);
}

// Dates and the Time field vary from run to run.
std::string Stable(const std::string& text) {
    std::string s = std::regex_replace(text, std::regex(R"(\d\d\.\d\d\.\d\d\t)"), "dd.mm.yy\t");
    return std::regex_replace(s, std::regex(R"(\t \d+\n)"), "\t s\n");
}

TEST(MaximumCommand, SeriesPrintsHeaderAndSummaryLines) {
    const std::string dir = testing::MakeTempDirectory("maxima-cli");
    const CliResult r = RunCommand({"--n", "6 - 9", "--tests", "1, 3"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.err, "");
    testing::ExpectMatchesGolden(Stable(r.out), "maxima/cli_ct_series.txt");
    // The same lines are in the summary file, with CR LF.
    std::ifstream in(std::filesystem::path(dir) / "MaximaSummary.txt", std::ios::binary);
    std::stringstream file;
    file << in.rdbuf();
    EXPECT_EQ(std::regex_replace(file.str(), std::regex("\r\n"), "\n"), r.out);
}

TEST(MaximumCommand, EarlierDataPrintsTheSelectedRecords) {
    const std::string dir = testing::MakeTempDirectory("maxima-cli-star");
    const CliResult none = RunCommand({"--n", "*", "--design", "cs"}, dir);
    EXPECT_EQ(none.status, 0);
    EXPECT_EQ(none.out, "");
    EXPECT_NE(none.err.find("No data has been generated yet"), std::string::npos);

    ASSERT_EQ(
        RunCommand({"--n", "4, 5", "--design", "cs", "--accuracy", ".01", "--excess"}, dir).status,
        0);
    const CliResult r =
        RunCommand({"--n", "*", "--design", "cs", "--accuracy", ".01", "--excess"}, dir);
    EXPECT_EQ(r.status, 0);
    const std::vector<std::string> lines = [&] {
        std::vector<std::string> out;
        std::istringstream in(r.out);
        for (std::string line; std::getline(in, line);)
            out.push_back(line);
        return out;
    }();
    ASSERT_EQ(lines.size(), 3U) << r.out;
    EXPECT_EQ(lines[0], "N\tMaximum excess\tseries");
    EXPECT_EQ(lines[1].substr(0, 2), "4\t");
    EXPECT_EQ(lines[2].substr(0, 2), "5\t");
    // A coarser accuracy than the stored one still selects them; a finer one does not.
    const CliResult finer =
        RunCommand({"--n", "*", "--design", "cs", "--accuracy", ".001", "--excess"}, dir);
    EXPECT_EQ(finer.out, "");
}

TEST(MaximumCommand, EarlierDataColumnIsNamedByTheMaximumTypeEvenAtAlphaZero) {
    // A nominal level of 0 draws no reference line, as the excess does; the column heading
    // must still say what the values are.
    const std::string dir = testing::MakeTempDirectory("maxima-cli-alpha0");
    ASSERT_EQ(RunCommand({"--n", "6, 8", "--alpha", "0"}, dir).status, 0);
    const CliResult r = RunCommand({"--n", "*", "--alpha", "0"}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.substr(0, r.out.find('\n')), "N\tMaximum\tseries");
}

TEST(MaximumCommand, RefusalsExitWithStatus2) {
    const std::string dir = testing::MakeTempDirectory("maxima-cli-refuse");
    const CliResult n = RunCommand({"--n", "3"}, dir);
    EXPECT_EQ(n.status, 2);
    EXPECT_EQ(n.out, "");
    EXPECT_EQ(
        n.err,
        "The value  3 for variable 'Total number' is less than the minimum value allowed of 4.\n");
    const CliResult accuracy = RunCommand({"--n", "10", "--accuracy", "-1"}, dir);
    EXPECT_EQ(accuracy.status, 2);
    EXPECT_NE(accuracy.err.find("'Accuracy required'"), std::string::npos);
    const CliResult row = RunCommand({"--n", "10", "--row1", ".6"}, dir);
    EXPECT_EQ(row.status, 2);
    for (const auto& args : std::vector<std::vector<std::string>>{{"--tests", "1"},
                                                                  {"--n", "10", "--design", "xx"},
                                                                  {"--n", "10", "--bogus"},
                                                                  {"--n"}}) {
        const CliResult usage = RunCommand(args, dir);
        EXPECT_EQ(usage.status, 2);
        EXPECT_NE(usage.err.find("Usage: quillon-cli maximum"), std::string::npos);
    }
    // An unknown design is named, with the values the option takes.
    EXPECT_NE(RunCommand({"--n", "10", "--design", "xx"}, dir)
                  .err.find("--design must be ct or cs, not 'xx'"),
              std::string::npos);
}

TEST(MaximumCommand, ChartFileIsWrittenWhenASummaryChartIsDue) {
    const std::string dir = testing::MakeTempDirectory("maxima-cli-chart");
    const std::string svg = (std::filesystem::path(dir) / "chart.svg").string();
    const CliResult r = RunCommand({"--n", "6, 8", "--row1", "overall", "--chart", svg}, dir);
    EXPECT_EQ(r.status, 0);
    EXPECT_TRUE(std::filesystem::exists(svg));
    const std::string single = (std::filesystem::path(dir) / "single.svg").string();
    const CliResult one = RunCommand({"--n", "6", "--chart", single}, dir);
    EXPECT_EQ(one.status, 0);
    EXPECT_FALSE(std::filesystem::exists(single));
    EXPECT_NE(one.err.find("No summary chart was due"), std::string::npos);
}

} // namespace
} // namespace quillon::cli
