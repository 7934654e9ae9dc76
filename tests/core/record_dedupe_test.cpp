// Removing exact duplicate records from an accumulated summary file: nothing but lines
// identical byte for byte to an earlier record goes; the file is replaced in one step and
// the original kept as FILE.bak.
#include "cli/commands.h"
#include "core/files.h"
#include "core/record_dedupe.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <sstream>

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

} // namespace
} // namespace quillon
