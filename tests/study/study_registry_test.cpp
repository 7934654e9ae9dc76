// The registry of studies, checked against each study's own use of its files.
#include "study/study_registry.h"

#include "maxima/result_files.h"
#include "particular/file_names.h"
#include "power/result_files.h"

#include <gtest/gtest.h>

#include <cctype>
#include <set>
#include <string>

namespace quillon {
namespace {

TEST(StudyRegistry, EveryStudyAndFileOnce) {
    std::set<std::string_view> names, files;
    for (const StudyEntry* study : RegisteredStudies) {
        EXPECT_TRUE(names.insert(study->name).second) << study->name;
        EXPECT_EQ(FindStudy(study->name), study);
        for (std::string_view file : study->summaryFiles) {
            EXPECT_TRUE(files.insert(file).second) << file;
            EXPECT_TRUE(StudyOwnsSummaryFile(study->name, file));
        }
        for (std::string_view file : study->resultsFiles)
            EXPECT_TRUE(files.insert(file).second) << file;
        EXPECT_TRUE(files.insert(study->settingsFile).second) << study->settingsFile;
    }
    EXPECT_EQ(FindStudy("analysis"), nullptr);
    EXPECT_FALSE(StudyOwnsSummaryFile("particular", "MaximaSummary.txt"));
    EXPECT_FALSE(StudyOwnsSummaryFile("nothing", "MaximaSummary.txt"));
}

TEST(StudyRegistry, EveryStudyHasAStartButtonWithItsOwnAccessKey) {
    // The start window's fixed buttons take A (Analyze), T, H, D and X; each study's button
    // needs a key of its own, or Alt+key would reach only one of them.
    std::set<char> keys{'a', 't', 'h', 'd', 'x'};
    std::set<std::string_view> buttons;
    for (const StudyEntry* study : RegisteredStudies) {
        SCOPED_TRACE(study->name);
        EXPECT_TRUE(buttons.insert(study->startButton).second);
        const std::size_t amp = study->startCaption.find('&');
        ASSERT_NE(amp, std::string_view::npos);
        EXPECT_EQ(study->startCaption.find('&', amp + 1), std::string_view::npos);
        ASSERT_LT(amp + 1, study->startCaption.size());
        const char key = static_cast<char>(std::tolower(study->startCaption[amp + 1]));
        EXPECT_TRUE(keys.insert(key).second) << "access key " << key;
    }
}

TEST(StudyRegistry, TheStudiesWriteTheFilesTheRegistryNames) {
    // The names every user and every stored data folder know.
    EXPECT_EQ(
        AllSummaryFiles(),
        (std::vector<std::string>{"ParticularSummary.txt", "MaximaSummary.txt",
                                  "Summary_of_Maxima_when_test_policy15.txt",
                                  "Summary_of_Maxima_when_test_policy35.txt", "PowerSummary.txt"}));
    EXPECT_EQ(SummaryFileName(TestPolicy::Simple), "MaximaSummary.txt");
    EXPECT_EQ(SummaryFileName(TestPolicy::Combined15), "Summary_of_Maxima_when_test_policy15.txt");
    EXPECT_EQ(SummaryFileName(TestPolicy::Combined35), "Summary_of_Maxima_when_test_policy35.txt");
    EXPECT_EQ(ParticularSummaryFileName, "ParticularSummary.txt");
    EXPECT_EQ(PowerSummaryFileName, "PowerSummary.txt");
    EXPECT_EQ(AllAreasFileName, "MaximaResultsAllAreas.txt");
}

} // namespace
} // namespace quillon
