// Removing exact duplicate records from an accumulated summary file: nothing but lines
// identical byte for byte to an earlier record goes; the file is replaced in one step and
// the original kept as FILE.bak.
#include "cli/commands.h"
#include "core/files.h"
#include "core/record_dedupe.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

const std::string kHeading = "Date\tDesign\tN\tTest\tActual";

TEST(RecordDedupe, OnlyExactDuplicateRecordsGo) {
    struct Case {
        const char* name;
        std::string text, expected;
        std::size_t removed;
    };
    const Case cases[] = {
        {"repeated runs", kHeading + "\nr1\t.05\nr2\t.04\nr1\t.05\nr2\t.04\nr1\t.05\n",
         kHeading + "\nr1\t.05\nr2\t.04\n", 3},
        {"hand edits differ in one byte and stay",
         kHeading + "\nr1\t.05\nr1\t.050\nr1 \t.05\nR1\t.05\n r1\t.05\n",
         kHeading + "\nr1\t.05\nr1\t.050\nr1 \t.05\nR1\t.05\n r1\t.05\n", 0},
        {"CRLF and LF copies are different bytes", kHeading + "\nr1\r\nr1\nr1\r\nr1\n",
         kHeading + "\nr1\r\nr1\n", 2},
        {"blank lines and repeated headings stay",
         kHeading + "\nr1\n\n\n  \n" + kHeading + "\n" + kHeading + "\nr1\n",
         kHeading + "\nr1\n\n\n  \n" + kHeading + "\n" + kHeading + "\n", 1},
        {"a last line without its end is compared by its bytes", kHeading + "\nr1\nr2\nr1",
         kHeading + "\nr1\nr2\n", 1},
        {"order kept, first of each kept", kHeading + "\nb\na\nb\nc\na\n", kHeading + "\nb\na\nc\n",
         2},
        {"heading only", kHeading + "\n", kHeading + "\n", 0},
        {"empty file", "", "", 0},
        {"a record equal to the heading is not a duplicate record", kHeading, kHeading, 0},
    };
    for (const Case& c : cases) {
        const DedupedText d = RemoveDuplicateRecords(c.text);
        EXPECT_EQ(d.text, c.expected) << c.name;
        EXPECT_EQ(d.removed, c.removed) << c.name;
        // Removing again finds nothing more.
        EXPECT_EQ(RemoveDuplicateRecords(d.text).removed, 0U) << c.name;
    }
}

TEST(RecordDedupe, FileReplacedWithABackup) {
    const fs::path dir = testing::MakeTempDirectory("record-dedupe");
    const fs::path file = dir / "ParticularSummary.txt";
    // Records as two runs of the same specifications append them, plus a hand edit (the
    // last field retyped) and a note typed between them.
    const std::string original = kHeading + "\r\n" + "06.12.26\t2\t10\t1\t.0432\r\n" +
                                 "06.12.26\t2\t12\t1\t.0517\r\n" + "my note\r\n" +
                                 "06.12.26\t2\t10\t1\t.0432\r\n" +
                                 "06.12.26\t2\t12\t1\t.05170\r\n" + "06.12.26\t2\t12\t1\t.0517\r\n";
    ASSERT_FALSE(WriteTextFile(file, original).has_value());
    DedupeOutcome outcome;
    ASSERT_FALSE(RemoveDuplicateRecordsFromFile(file, outcome).has_value());
    EXPECT_EQ(outcome.removed, 2U);
    EXPECT_EQ(outcome.backup, dir / "ParticularSummary.txt.bak");
    EXPECT_EQ(ReadTextFile(outcome.backup), original);
    EXPECT_EQ(ReadTextFile(file), kHeading + "\r\n" + "06.12.26\t2\t10\t1\t.0432\r\n" +
                                      "06.12.26\t2\t12\t1\t.0517\r\n" + "my note\r\n" +
                                      "06.12.26\t2\t12\t1\t.05170\r\n");
    EXPECT_EQ(DedupeReport(file, outcome), "Removed 2 duplicate records from " + file.string() +
                                               "; the original is kept as " +
                                               outcome.backup.string());
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();

    // Again: nothing to remove, the file and its backup stay as they are.
    ASSERT_FALSE(RemoveDuplicateRecordsFromFile(file, outcome).has_value());
    EXPECT_EQ(outcome.removed, 0U);
    EXPECT_EQ(ReadTextFile(outcome.backup.empty() ? file : outcome.backup), ReadTextFile(file));
    EXPECT_EQ(ReadTextFile(dir / "ParticularSummary.txt.bak"), original);
    EXPECT_EQ(DedupeReport(file, outcome), file.string() + " has no duplicate records");

    EXPECT_TRUE(RemoveDuplicateRecordsFromFile(dir / "missing.txt", outcome).has_value());
}

struct CliResult {
    int status;
    std::string out, err;
};

CliResult RunSummaryCli(const std::vector<std::string>& args) {
    std::ostringstream out, err;
    cli::Streams io{out, err, false};
    std::vector<std::string> all{"summary"};
    all.insert(all.end(), args.begin(), args.end());
    const int status = cli::RunCli(all, io);
    return {status, out.str(), err.str()};
}

TEST(RecordDedupe, CommandLine) {
    const fs::path dir = testing::MakeTempDirectory("record-dedupe-cli");
    const std::string text = kHeading + "\nr1\nr1\nr2\n";
    ASSERT_FALSE(WriteTextFile(dir / "MaximaSummary.txt", text).has_value());
    // A bare name is a file of the data folder.
    const CliResult r =
        RunSummaryCli({"--dedupe", "MaximaSummary.txt", "--data-dir", dir.string()});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Removed 1 duplicate record from " + (dir / "MaximaSummary.txt").string() +
                         "; the original is kept as " + (dir / "MaximaSummary.txt.bak").string() +
                         "\n");
    EXPECT_EQ(ReadTextFile(dir / "MaximaSummary.txt"), kHeading + "\nr1\nr2\n");
    // A path is used as given.
    const CliResult again = RunSummaryCli({"--dedupe", (dir / "MaximaSummary.txt").string()});
    EXPECT_EQ(again.status, 0);
    EXPECT_NE(again.out.find("has no duplicate records"), std::string::npos);

    for (const auto& args : std::vector<std::vector<std::string>>{
             {}, {"--dedupe"}, {"--bogus", "x"}, {"--dedupe", (dir / "none.txt").string()}}) {
        const CliResult refused = RunSummaryCli(args);
        EXPECT_EQ(refused.status, 2);
        EXPECT_EQ(refused.out, "");
        EXPECT_FALSE(refused.err.empty());
    }
    EXPECT_EQ(RunSummaryCli({"--help"}).status, 0);
}

// Appenders and a dedupe at once, as processes released together by a barrier (a pipe
// they all wait on). Before the dedupe took the appenders' lock it read the file, and
// replaced it with what it had read: records appended meanwhile were lost (16 to 18 of 100
// power records), every process exiting 0.
TEST(RecordDedupe, RecordsAppendedDuringADedupeAreKept) {
    constexpr int kAppenders = 3;
    constexpr int kRecordsEach = 300;
    constexpr int kDedupes = 60;
    const fs::path file = fs::path(testing::MakeTempDirectory("record-dedupe-race")) / "S.txt";
    // Duplicates to remove, so that every dedupe replaces the file.
    std::string start = kHeading + "\r\n";
    for (int i = 0; i < 200; ++i)
        start += "old\t" + std::to_string(i % 20) + "\r\n";
    ASSERT_FALSE(WriteTextFile(file, start).has_value());
    int barrier[2];
    ASSERT_EQ(::pipe(barrier), 0);
    std::vector<pid_t> children;
    for (int p = 0; p <= kAppenders; ++p) {
        const pid_t pid = ::fork();
        ASSERT_GE(pid, 0);
        if (pid == 0) {
            ::close(barrier[1]);
            char go = 0;
            if (::read(barrier[0], &go, 1) != 0)
                ::_exit(3);
            int failed = 0;
            if (p == kAppenders) {
                for (int d = 0; d < kDedupes; ++d) {
                    DedupeOutcome outcome;
                    if (RemoveDuplicateRecordsFromFile(file, outcome))
                        failed = 1;
                    // New duplicates for the next dedupe to find.
                    if (AppendSummaryRecords(file, kHeading, {"old\t1", "old\t1"}))
                        failed = 1;
                }
            } else {
                for (int r = 0; r < kRecordsEach; ++r)
                    if (AppendSummaryRecord(file, kHeading,
                                            "p" + std::to_string(p) + "\tr" + std::to_string(r)))
                        failed = 1;
            }
            ::_exit(failed);
        }
        children.push_back(pid);
    }
    ::close(barrier[0]);
    ::close(barrier[1]); // every child's read returns: they start together
    for (const pid_t pid : children) {
        int status = 0;
        ASSERT_EQ(::waitpid(pid, &status, 0), pid);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
    }
    const std::vector<std::string> lines = SplitLines(ReadTextFile(file).value_or(""));
    ASSERT_FALSE(lines.empty());
    EXPECT_EQ(lines.front(), kHeading);
    std::set<std::string> appended;
    for (const std::string& line : lines)
        if (line.rfind("p", 0) == 0) {
            EXPECT_TRUE(appended.insert(line).second) << "twice: " << line;
        }
    EXPECT_EQ(appended.size(), static_cast<std::size_t>(kAppenders * kRecordsEach));
}

// The file the dedupe changes, and what it refuses before any work.
TEST(RecordDedupe, LinksAreFollowedAndOddFilesRefused) {
    const fs::path dir = testing::MakeTempDirectory("record-dedupe-paths");
    const std::string text = kHeading + "\nr1\nr1\n";
    // A link: the file it leads to loses its duplicates and gets the backup beside it; the
    // link stays a link. (Before, the link was replaced by a regular file and the target
    // kept its duplicates.)
    fs::create_directory(dir / "real");
    ASSERT_FALSE(WriteTextFile(dir / "real" / "S.txt", text).has_value());
    ASSERT_EQ(::chmod((dir / "real" / "S.txt").c_str(), 0640), 0);
    fs::create_symlink(dir / "real" / "S.txt", dir / "link.txt");
    DedupeOutcome outcome;
    ASSERT_FALSE(RemoveDuplicateRecordsFromFile(dir / "link.txt", outcome).has_value());
    EXPECT_EQ(outcome.removed, 1U);
    EXPECT_TRUE(fs::is_symlink(dir / "link.txt"));
    EXPECT_EQ(ReadTextFile(dir / "real" / "S.txt"), kHeading + "\nr1\n");
    EXPECT_EQ(ReadTextFile(dir / "real" / "S.txt.bak"), text);
    struct stat st {};
    ASSERT_EQ(::stat((dir / "real" / "S.txt").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640U);

    // A folder, a FIFO, and a backup that is a folder: refused with what they are, nothing
    // changed. (Before: "does not exist" for a folder, and "Success" for the backup.)
    fs::create_directory(dir / "folder");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    ASSERT_FALSE(WriteTextFile(dir / "B.txt", text).has_value());
    fs::create_directory(dir / "B.txt.bak");
    struct Case {
        const char* name;
        fs::path file;
        const char* says;
    };
    const Case cases[] = {
        {"a folder", dir / "folder", "is a folder, not a regular file"},
        {"a FIFO", dir / "fifo", "is a FIFO (named pipe)"},
        {"a backup that is a folder", dir / "B.txt", "B.txt.bak is a folder"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const CliResult r = RunSummaryCli({"--dedupe", c.file.string()});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(r.err.find("Success"), std::string::npos) << r.err;
    }
    EXPECT_EQ(ReadTextFile(dir / "B.txt"), text);
    EXPECT_TRUE(fs::is_directory(dir / "B.txt.bak"));
}

} // namespace
} // namespace quillon
