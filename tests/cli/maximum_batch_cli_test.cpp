// The maximum command in a batch job: progress lines on a stderr that is not a terminal,
// and --summary-only, which writes the summary but neither area log.
#include "cli/commands.h"
#include "core/files.h"
#include "maxima/result_files.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

struct Result {
    int status;
    std::string out, err;
    double seconds;
};

Result RunMaximumLogged(std::vector<std::string> args, const std::string& dataDir) {
    args.insert(args.begin(), "maximum");
    args.insert(args.end(), {"--data-dir", dataDir});
    const auto start = std::chrono::steady_clock::now();
    // stderr redirected to a file, as in a batch job
    CliResult run = RunCliCaptured(args, true);
    const std::chrono::duration<double> took = std::chrono::steady_clock::now() - start;
    return {run.status, std::move(run.out), std::move(run.err), took.count()};
}

// The Time field of a summary line varies from run to run.
std::string WithoutTimes(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(\t *\d+\n)"), "\tTIME\n");
}

TEST(MaximumBatch, ProgressLinesWhenStderrIsNotATerminal) {
    const std::string dir = testing::MakeTempDirectory("maxima-batch-progress");
    const Result r =
        RunMaximumLogged({"--n", "8 - 11", "--tests", "1, 3", "--accuracy", ".01"}, dir);
    ASSERT_EQ(r.status, 0) << r.err;
    // Whole lines, none redrawn in place.
    EXPECT_EQ(r.err.find('\r'), std::string::npos);
    std::vector<std::string> lines = SplitLines(r.err);
    // First the size of the run, then the first search at once, then at most a line a
    // second.
    ASSERT_GE(lines.size(), 2u) << r.err;
    EXPECT_EQ(lines.front(),
              "8 combinations; MaximaSummary.txt grows by about 8 lines (600 bytes)");
    lines.erase(lines.begin());
    EXPECT_EQ(lines.front().rfind("search 1/", 0), 0u) << lines.front();
    EXPECT_NE(lines.front().find("N = 8"), std::string::npos) << lines.front();
    EXPECT_LE(static_cast<double>(lines.size()), r.seconds + 1) << r.err;
    for (const std::string& line : lines)
        EXPECT_EQ(line.rfind("search ", 0), 0u) << line;

    // Tests and other commands leave stderr to messages unless asked.
    std::ostringstream out, err;
    Streams quiet{out, err, false};
    EXPECT_EQ(RunCli({"maximum", "--n", "8", "--accuracy", ".01", "--data-dir", dir}, quiet), 0);
    EXPECT_EQ(err.str(), "");
}

TEST(MaximumBatch, RealProgramLogsProgressToARedirectedStderr) {
    const std::string dir = testing::MakeTempDirectory("maxima-batch-real");
    const std::string log = (fs::path(dir) / "stderr.txt").string();
    const std::string command = std::string(QUILLON_CLI_PATH) +
                                " maximum --n 10 --accuracy .01 --data-dir " + dir +
                                "/data >/dev/null 2>" + log;
    const int status = std::system(command.c_str());
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    std::ifstream in(log);
    std::string size, first;
    std::getline(in, size);
    EXPECT_EQ(size, "1 combination; MaximaSummary.txt grows by about 1 line (75 bytes)");
    std::getline(in, first);
    EXPECT_EQ(first.rfind("search 1/1", 0), 0u) << first;
    EXPECT_NE(first.find("N = 10"), std::string::npos) << first;
}

TEST(MaximumBatch, SummaryOnlyWritesNoAreaLogs) {
    const std::string full = testing::MakeTempDirectory("maxima-batch-full");
    const std::string brief = testing::MakeTempDirectory("maxima-batch-brief");
    const std::vector<std::string> args = {"--n", "8, 10", "--row1", "all", "--accuracy", ".01"};
    const Result withLogs = RunMaximumLogged(args, full);
    std::vector<std::string> summaryOnly = args;
    summaryOnly.push_back("--summary-only");
    const Result withoutLogs = RunMaximumLogged(summaryOnly, brief);
    ASSERT_EQ(withLogs.status, 0) << withLogs.err;
    ASSERT_EQ(withoutLogs.status, 0) << withoutLogs.err;
    EXPECT_TRUE(fs::exists(fs::path(full) / std::string(AllAreasFileName)));
    EXPECT_TRUE(fs::exists(fs::path(full) / std::string(EachAreaFileName)));
    EXPECT_FALSE(fs::exists(fs::path(brief) / std::string(AllAreasFileName)));
    EXPECT_FALSE(fs::exists(fs::path(brief) / std::string(EachAreaFileName)));
    // The same searches and records.
    EXPECT_EQ(WithoutTimes(withoutLogs.out), WithoutTimes(withLogs.out));
    EXPECT_TRUE(fs::exists(fs::path(brief) / "MaximaSummary.txt"));
}

} // namespace
} // namespace quillon::cli
