// The settings files: their exact bytes, and reading back what was written, what an older
// or damaged file holds, and nothing at all.
#include "desktop/settings.h"

#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon {
namespace {

ParticularSettings SampleParticular() {
    ParticularSettings s;
    s.comparativeTrial = true;
    s.number = "20";
    s.test = "1, 2";
    s.pCol = ".05, .1, .2, .3, .4, .5 "; // the trailing blank is kept
    s.pRow = ".1 to .5 step .1, .6";
    s.interval = "0";
    s.men = "0 - 3";
    s.mmt = "1";
    s.parameter = ".05";
    s.pause = false;
    return s;
}

MaximaSettings SampleMaxima() {
    MaximaSettings s;
    s.comparativeTrial = false;
    s.number = "4 - 60";
    s.row1 = "overall";
    s.test = "15";
    s.men = "0, 1, 3, 5";
    s.mmt = "1";
    s.parameter = ".05";
    s.accuracy = "0.001";
    s.pause = true;
    return s;
}

// The byte layout: CR LF after every line, True/False, the Pause state between blanks.
TEST(SettingsFile, ParticularBytes) {
    EXPECT_EQ(SettingsText(SampleParticular()),
              "True\r\n20\r\n1, 2\r\n.05, .1, .2, .3, .4, .5 \r\n.1 to .5 step .1, .6\r\n0\r\n"
              "0 - 3\r\n1\r\n.05\r\n 0 \r\n");
}

TEST(SettingsFile, MaximaBytes) {
    EXPECT_EQ(SettingsText(SampleMaxima()),
              "False\r\n4 - 60\r\noverall\r\n15\r\n0, 1, 3, 5\r\n1\r\n.05\r\n0.001\r\n 1 \r\n");
}

TEST(SettingsFile, RoundTripsThroughTheDataDirectory) {
    const std::filesystem::path dir = testing::MakeTempDirectory("settings");
    ASSERT_FALSE(SaveSettings(dir, SampleParticular()).has_value());
    ASSERT_FALSE(SaveSettings(dir, SampleMaxima()).has_value());

    ParticularSettings particular;
    MaximaSettings maxima;
    EXPECT_TRUE(LoadSettings(dir, particular));
    EXPECT_TRUE(LoadSettings(dir, maxima));
    EXPECT_EQ(particular, SampleParticular());
    EXPECT_EQ(maxima, SampleMaxima());
    // Nothing is left beside the files by the atomic replacement.
    std::size_t files = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(dir)) {
        ++files;
    }
    EXPECT_EQ(files, 2u);
}

TEST(SettingsFile, MissingFileLeavesTheFieldsAlone) {
    const std::filesystem::path dir = testing::MakeTempDirectory("settings-missing");
    ParticularSettings particular = SampleParticular();
    EXPECT_FALSE(LoadSettings(dir, particular));
    EXPECT_EQ(particular, SampleParticular());
}

TEST(SettingsFile, UnwritableDirectoryGivesAMessage) {
    const std::filesystem::path dir = testing::MakeTempDirectory("settings-unwritable");
    const auto error = SaveSettings(dir / "no" / "such" / "dir", SampleMaxima());
    ASSERT_TRUE(error.has_value());
    EXPECT_NE(error->find("Maxima.ini"), std::string::npos) << *error;
}

// What other writers of these files have produced, and what damage leaves behind.
struct ReadCase {
    const char* name;
    const char* text;
    bool comparativeTrial;
    const char* number;
    const char* parameter;
    bool pause;
};

class ParticularReading : public ::testing::TestWithParam<ReadCase> {};

TEST_P(ParticularReading, LoadsWhatItCan) {
    const ReadCase& c = GetParam();
    ParticularSettings s;
    s.comparativeTrial = true;
    s.number = "initial";
    s.parameter = "initial";
    s.pause = true;
    ParseSettings(c.text, s);
    EXPECT_EQ(s.comparativeTrial, c.comparativeTrial);
    EXPECT_EQ(s.number, c.number);
    EXPECT_EQ(s.parameter, c.parameter);
    EXPECT_EQ(s.pause, c.pause);
}

INSTANTIATE_TEST_SUITE_P(
    Files, ParticularReading,
    ::testing::Values(
        ReadCase{"Complete", "False\r\n20\r\n3\r\n.5\r\n.5\r\n0\r\n0\r\n1\r\n.05\r\n 0 \r\n", false,
                 "20", ".05", false},
        ReadCase{"LineFeedsOnly", "false\n30\n3\n.5\n.5\n0\n0\n1\n.1\n 1 \n", false, "30", ".1",
                 true},
        ReadCase{"NoFinalLineEnd", "TRUE\r\n40\r\n3\r\n.5\r\n.5\r\n0\r\n0\r\n1\r\n.2\r\n1", true,
                 "40", ".2", true},
        ReadCase{"QuotedNumberDesign", "\"-1\",ignored\r\n50\r\n", true, "50", "initial", true},
        ReadCase{"ZeroDesign", "0\r\n50\r\n", false, "50", "initial", true},
        ReadCase{"ShortFile", "False\r\n60\r\n3\r\n", false, "60", "initial", true},
        ReadCase{"Empty", "", true, "initial", "initial", true},
        ReadCase{"GarbledDesignAndPause",
                 "maybe\r\n70\r\n3\r\n.5\r\n.5\r\n0\r\n0\r\n1\r\n.3\r\n yes \r\n", true, "70", ".3",
                 true},
        ReadCase{"BinaryNoise", "\x01\x02\xff\r\n\x7f\r\n", true, "\x7f", "initial", true}),
    [](const ::testing::TestParamInfo<ReadCase>& param) { return std::string(param.param.name); });

TEST(SettingsFile, LineEndsTypedIntoAFieldDoNotShiftTheLines) {
    MaximaSettings s = SampleMaxima();
    s.number = "10\r\n20";
    MaximaSettings read;
    ParseSettings(SettingsText(s), read);
    EXPECT_EQ(read.number, "10  20");
    EXPECT_EQ(read.row1, "overall");
    EXPECT_EQ(read.pause, true);
}

} // namespace
} // namespace quillon
