// Files of the data folder: whole-line appends to the accumulating summary files.
#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>

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

TEST(AppendSummaryRecord, UnwritableFolderIsReportedWithItsPath) {
    const fs::path file = fs::path("/proc/no-such-folder") / "Summary.txt";
    const auto error = AppendSummaryRecord(file, "Head", "one");
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("/proc/no-such-folder"), std::string::npos) << *error;
}

} // namespace
} // namespace quillon
