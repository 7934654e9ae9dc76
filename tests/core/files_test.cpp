// Files of the data folder: whole-line appends to the accumulating summary files.
#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("<unreadable>");
}

TEST(AppendSummaryRecord, HeadingOnceThenOneLinePerRecord) {
    const fs::path file = fs::path(testing::MakeTempDirectory("files")) / "Summary.txt";
    ASSERT_FALSE(AppendSummaryRecord(file, "Head", "one").has_value());
    ASSERT_FALSE(AppendSummaryRecord(file, "Head", "two").has_value());
    EXPECT_EQ(Read(file), "Head\r\none\r\ntwo\r\n");
}

TEST(AppendSummaryRecord, FilesEditedByHandLoseNoRecord) {
    const fs::path dir = testing::MakeTempDirectory("files");
    // Saved by an editor without the end of its last line: the record starts a line.
    const fs::path cut = dir / "Cut.txt";
    ASSERT_FALSE(WriteTextFile(cut, "Head\r\nold").has_value());
    ASSERT_FALSE(AppendSummaryRecord(cut, "Head", "new").has_value());
    EXPECT_EQ(Read(cut), "Head\r\nold\r\nnew\r\n");
    // LF line ends are left as they are.
    const fs::path lf = dir / "Lf.txt";
    ASSERT_FALSE(WriteTextFile(lf, "Head\nold\n").has_value());
    ASSERT_FALSE(AppendSummaryRecord(lf, "Head", "new").has_value());
    EXPECT_EQ(Read(lf), "Head\nold\nnew\r\n");
    // Emptied by hand: the heading comes back, since readers skip the first line.
    const fs::path empty = dir / "Empty.txt";
    ASSERT_FALSE(WriteTextFile(empty, "").has_value());
    ASSERT_FALSE(AppendSummaryRecord(empty, "Head", "new").has_value());
    EXPECT_EQ(Read(empty), "Head\r\nnew\r\n");
}

// Four processes appending to one file at once, each record with its own text. Before the
// appenders took a lock, the look at the file's end and the write could interleave: two
// processes both saw an empty file (two headings) or both saw a missing line end (an empty
// line between records).
TEST(AppendSummaryRecord, FourProcessesAppendingAtOnceLeaveEveryRecordOnItsOwnLine) {
    constexpr int kProcesses = 4;
    constexpr int kRecordsEach = 2000;
    struct Case {
        const char* name;
        const char* startContent; // nullptr: no file yet
        std::vector<std::string> expectedFirstLines;
    };
    const Case cases[] = {
        {"no file yet: one heading", nullptr, {"Head"}},
        {"emptied by hand: one heading", "", {"Head"}},
        {"last line end lost: supplied once", "Head\r\nold", {"Head", "old"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path file = fs::path(testing::MakeTempDirectory("files")) / "Summary.txt";
        if (c.startContent != nullptr) {
            ASSERT_FALSE(WriteTextFile(file, c.startContent).has_value());
        }
        std::vector<pid_t> children;
        for (int p = 0; p < kProcesses; ++p) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                int failed = 0;
                for (int r = 0; r < kRecordsEach; ++r)
                    if (AppendSummaryRecord(file, "Head",
                                            "p" + std::to_string(p) + "\tr" + std::to_string(r)))
                        failed = 1;
                ::_exit(failed);
            }
            children.push_back(pid);
        }
        for (pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        const std::string text = Read(file);
        // Every line ends in CRLF: no LF alone, no line run on into the next.
        std::size_t crlf = 0;
        for (std::size_t at = text.find("\r\n"); at != std::string::npos;
             at = text.find("\r\n", at + 2))
            ++crlf;
        EXPECT_EQ(text.size() - text.find_last_of('\n'), 1U);
        const std::vector<std::string> lines = SplitLines(text);
        EXPECT_EQ(crlf, lines.size());
        const std::size_t head = c.expectedFirstLines.size();
        ASSERT_EQ(lines.size(), head + kProcesses * kRecordsEach);
        for (std::size_t i = 0; i < head; ++i)
            EXPECT_EQ(lines[i], c.expectedFirstLines[i]);
        std::set<std::string> seen;
        std::vector<int> next(kProcesses, 0); // each process's records stay in its order
        for (std::size_t i = head; i < lines.size(); ++i) {
            const std::string& line = lines[i];
            ASSERT_FALSE(line.empty()) << "empty line " << i;
            ASSERT_TRUE(seen.insert(line).second) << "repeated: " << line;
            const std::vector<std::string> f = SplitTabs(line);
            ASSERT_EQ(f.size(), 2U) << "joined or cut: " << line;
            const int p = std::stoi(f[0].substr(1));
            ASSERT_TRUE(p >= 0 && p < kProcesses) << line;
            EXPECT_EQ(f[1], "r" + std::to_string(next[p]++)) << line;
        }
    }
}

TEST(AppendSummaryRecord, SeveralRecordsGoInOneWriteAndAHeadingOnlyWhereMissing) {
    const fs::path dir = testing::MakeTempDirectory("files");
    const fs::path file = dir / "Summary.txt";
    ASSERT_FALSE(EnsureSummaryHeading(file, "Head").has_value());
    ASSERT_FALSE(EnsureSummaryHeading(file, "Head").has_value());
    EXPECT_EQ(Read(file), "Head\r\n");
    ASSERT_FALSE(AppendSummaryRecords(file, "Head", {"one", "two"}).has_value());
    EXPECT_EQ(Read(file), "Head\r\none\r\ntwo\r\n");
    // A file whose last line lost its end keeps it lost until a record is appended.
    const fs::path cut = dir / "Cut.txt";
    ASSERT_FALSE(WriteTextFile(cut, "Head\r\nold").has_value());
    ASSERT_FALSE(EnsureSummaryHeading(cut, "Head").has_value());
    EXPECT_EQ(Read(cut), "Head\r\nold");
}

TEST(AppendSummaryRecord, UnwritableFolderIsReportedWithItsPath) {
    const fs::path file = fs::path("/proc/no-such-folder") / "Summary.txt";
    const auto error = AppendSummaryRecord(file, "Head", "one");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("/proc/no-such-folder"), std::string::npos) << *error;
}

} // namespace
} // namespace quillon
