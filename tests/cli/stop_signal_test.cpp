// SIGINT and SIGTERM sent to a running quillon-cli (the real program, started as a
// process): it stops at its next safe point, keeps the summary file whole, marks the area
// log it was writing, records a shard as not completed, says so on stderr and exits 130 or
// 143. Before, the signal ended it at once with the files as they happened to be.
#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

// How long a stopped run may take to reach its safe point, and to show the work that tells
// the test it is under way. Generous: the machine may be busy.
constexpr auto kStopWithin = std::chrono::seconds(60);
constexpr auto kStartWithin = std::chrono::seconds(120);

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("");
}

pid_t Start(const std::vector<std::string>& args, const fs::path& out, const fs::path& err) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        const int o = ::open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        const int e = ::open(err.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ::dup2(o, STDOUT_FILENO);
        ::dup2(e, STDERR_FILENO);
        std::vector<char*> argv{const_cast<char*>(QUILLON_CLI_PATH)};
        for (const std::string& a : args)
            argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        ::execv(QUILLON_CLI_PATH, argv.data());
        ::_exit(127);
    }
    return pid;
}

// Waits until `ready` holds (true) or the process ended or time ran out (false; the
// process is then ended, so that no run outlives the test).
template <typename Ready> bool WaitFor(pid_t pid, Ready ready, std::chrono::seconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (ready())
            return true;
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return false;
}

// The exit status, or -1 when the process had to be killed.
int StatusWithin(pid_t pid, std::chrono::seconds within) {
    const auto until = std::chrono::steady_clock::now() + within;
    int status = 0;
    while (std::chrono::steady_clock::now() < until) {
        if (::waitpid(pid, &status, WNOHANG) == pid)
            return WIFEXITED(status) ? WEXITSTATUS(status) : 200 + WTERMSIG(status);
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    ::kill(pid, SIGKILL);
    ::waitpid(pid, &status, 0);
    return -1;
}

std::size_t Records(const fs::path& summary) {
    const std::vector<std::string> lines = SplitLines(Read(summary));
    return lines.empty() ? 0 : lines.size() - 1;
}

void ExpectWholeRecords(const fs::path& summary, std::size_t fields) {
    const std::string text = Read(summary);
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text.substr(text.size() - 2), "\r\n");
    for (const std::string& line : SplitLines(text))
        EXPECT_EQ(SplitTabs(line).size(), fields) << line;
}

TEST(StopSignals, AParticularShardStopsBetweenWholeRecords) {
    struct Case {
        const char* name;
        int signal;
        int status;
    };
    const Case cases[] = {{"SIGINT", SIGINT, 130}, {"SIGTERM", SIGTERM, 143}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path dir = testing::MakeTempDirectory("stop-signal");
        const pid_t pid = Start({"particular", "--n", "200 to 4000 step 200", "--tests", "1, 3",
                                 "--pcol", ".5", "--prow", ".5", "--summary-only", "--shard", "1/1",
                                 "--data-dir", (dir / "data").string()},
                                dir / "out", dir / "err");
        const fs::path summary = dir / "data" / "ParticularSummary.txt";
        ASSERT_TRUE(WaitFor(
            pid, [&] { return Records(summary) >= 2; }, kStartWithin))
            << Read(dir / "err");
        ASSERT_EQ(::kill(pid, c.signal), 0);
        EXPECT_EQ(StatusWithin(pid, kStopWithin), c.status);
        EXPECT_NE(Read(dir / "err").find(std::string("Stopped by ") + c.name), std::string::npos)
            << Read(dir / "err");
        ExpectWholeRecords(summary, 14);
        // Every record on stdout too, after the heading (stdout was a file: nothing lost in
        // its buffer).
        const std::vector<std::string> out = SplitLines(Read(dir / "out"));
        const std::vector<std::string> records = SplitLines(Read(summary));
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.front().rfind("Date", 0), 0U) << out.front();
        for (std::size_t i = 1; i < records.size(); ++i)
            EXPECT_NE(std::find(out.begin(), out.end(), records[i]), out.end()) << records[i];
        EXPECT_NE(Read(dir / "data" / "QuillonShard.txt").find("completed\tno"), std::string::npos);
    }
}

// One job writes the search's log as it goes (with several, a search's log is written only
// when it is delivered, so a stopped one never reaches the file).
TEST(StopSignals, AStoppedSearchMarksItsAreaLog) {
    const fs::path dir = testing::MakeTempDirectory("stop-signal");
    const pid_t pid = Start({"maximum", "--design", "cs", "--n", "40", "--tests", "1", "--accuracy",
                             ".000001", "--jobs", "1", "--data-dir", (dir / "data").string()},
                            dir / "out", dir / "err");
    const fs::path log = dir / "data" / "MaximaResultsAllAreas.txt";
    ASSERT_TRUE(WaitFor(
        pid, [&] { return fs::exists(log) && fs::file_size(log) > 20000; }, kStartWithin))
        << Read(dir / "err");
    ASSERT_EQ(::kill(pid, SIGTERM), 0);
    EXPECT_EQ(StatusWithin(pid, kStopWithin), 143);
    EXPECT_NE(Read(dir / "err").find("Stopped by SIGTERM"), std::string::npos);
    const std::string first = SplitLines(Read(log)).front();
    EXPECT_EQ(first.rfind("INCOMPLETE:", 0), 0U) << first;
    EXPECT_EQ(first.size(), 104U); // the line of hyphens it replaced
}

} // namespace
} // namespace quillon
