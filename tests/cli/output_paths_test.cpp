// Output paths are checked before a run starts, and their refusal says what is wrong in
// words. Before, --chart onto a folder was found out only after the whole study had run,
// and the message ended in "Success"; onto a FIFO or device the chart replaced the node.
#include "cli/commands.h"
#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <sys/stat.h>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

TEST(OutputPaths, ChartPathsAreRefusedBeforeTheRun) {
    const fs::path dir = testing::MakeTempDirectory("output-paths");
    fs::create_directory(dir / "folder.svg");
    ASSERT_EQ(::mkfifo((dir / "fifo.svg").c_str(), 0644), 0);
    struct Case {
        const char* name;
        fs::path chart;
        const char* says;
    };
    const Case cases[] = {
        {"a folder", dir / "folder.svg", "is a folder, not a regular file"},
        {"a FIFO", dir / "fifo.svg", "is a FIFO (named pipe), not a regular file"},
        {"a missing folder", dir / "none" / "chart.svg", "does not exist"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path data = dir / c.name;
        std::ostringstream out, err;
        Streams io{out, err, false};
        const int status = RunCli({"particular", "--n", "10, 12", "--pcol", ".5", "--prow", ".5",
                                   "--chart", c.chart.string(), "--data-dir", data.string()},
                                  io);
        EXPECT_EQ(status, 2);
        EXPECT_NE(err.str().find(c.says), std::string::npos) << err.str();
        EXPECT_EQ(err.str().find("Success"), std::string::npos) << err.str();
        EXPECT_FALSE(fs::exists(data / "ParticularSummary.txt")); // nothing was computed
    }
    struct stat st {};
    ASSERT_EQ(::lstat((dir / "fifo.svg").c_str(), &st), 0);
    EXPECT_TRUE(S_ISFIFO(st.st_mode));
}

// The base-directory rules: a relative XDG_DATA_HOME is ignored.
TEST(OutputPaths, ARelativeDataHomeIsIgnored) {
    const char* saved = std::getenv("XDG_DATA_HOME");
    const std::string keep = saved != nullptr ? saved : "";
    const char* home = std::getenv("HOME");
    const fs::path fallback =
        fs::path(home != nullptr && *home != '\0' ? home : ".") / ".local" / "share" / "Quillon";
    struct Case {
        const char* value;
        fs::path expected;
    };
    const Case cases[] = {
        {"/srv/data", fs::path("/srv/data") / "Quillon"},
        {"relative/data", fallback},
        {"./data", fallback},
        {"", fallback},
    };
    for (const Case& c : cases) {
        ::setenv("XDG_DATA_HOME", c.value, 1);
        EXPECT_EQ(DefaultDataDirectory(), c.expected) << c.value;
    }
    if (saved != nullptr)
        ::setenv("XDG_DATA_HOME", keep.c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

} // namespace
} // namespace quillon::cli
