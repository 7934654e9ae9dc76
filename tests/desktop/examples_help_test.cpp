// The published examples and the fixed texts of the start and help windows.
#include "desktop/examples.h"
#include "desktop/help_text.h"

#include "study/study_registry.h"
#include "support/golden.h"

#include <gtest/gtest.h>

namespace quillon {
namespace {

TEST(Examples, ListsHaveTheirLengthsAndNotes) {
    ASSERT_EQ(ParticularExamples().size(), 13u);
    ASSERT_EQ(MaximumExamples().size(), 16u);
    // Notes: examples 1, 2, 4 and 5 of the particular list, and 2 of the maximum list.
    int particularNotes = 0;
    for (const auto& example : ParticularExamples()) {
        particularNotes += OneSidedNoteFor(example.listText).empty() ? 0 : 1;
    }
    EXPECT_EQ(particularNotes, 4);
    int maximumNotes = 0;
    for (const auto& example : MaximumExamples()) {
        maximumNotes += OneSidedNoteFor(example.listText).empty() ? 0 : 1;
    }
    EXPECT_EQ(maximumNotes, 1);
    EXPECT_EQ(OneSidedNoteFor(MaximumExamples()[1].listText), OneSidedNote);
}

TEST(Examples, ParticularExampleResetsThePolicyFields) {
    ParticularSettings typed;
    typed.interval = ".01";
    typed.men = "5";
    typed.mmt = "3";
    typed.pause = true;
    const ParticularSettings first = ApplyExample(ParticularExamples()[0], typed);
    EXPECT_EQ(first.interval, "0");
    EXPECT_EQ(first.men, "0");
    EXPECT_EQ(first.mmt, "1");
    EXPECT_FALSE(first.pause);
    EXPECT_TRUE(first.comparativeTrial);
    EXPECT_EQ(first.pCol, ".05, .1, .2, .3, .4, .5 ");
    EXPECT_EQ(first.parameter, ".1");

    const ParticularSettings thirteenth = ApplyExample(ParticularExamples()[12], typed);
    EXPECT_EQ(thirteenth.men, "0 - 3");
    const ParticularSettings seventh = ApplyExample(ParticularExamples()[6], first);
    EXPECT_FALSE(seventh.comparativeTrial);
    EXPECT_EQ(seventh.pRow, ".1 to .5 step .2");
}

TEST(Examples, MaximumExampleWritesTheAccuracyAsAGeneralNumber) {
    MaximaSettings typed;
    typed.mmt = "4";
    typed.pause = true;
    const MaximaSettings fifth = ApplyExample(MaximumExamples()[4], typed);
    EXPECT_EQ(fifth.accuracy, "0.002");
    EXPECT_EQ(fifth.mmt, "1");
    EXPECT_FALSE(fifth.pause);
    EXPECT_EQ(fifth.row1, "6");
    const MaximaSettings sixth = ApplyExample(MaximumExamples()[5], typed);
    EXPECT_FALSE(sixth.comparativeTrial);
    EXPECT_EQ(sixth.row1, "N/A");
    EXPECT_EQ(sixth.accuracy, "0.005");
    EXPECT_EQ(ApplyExample(MaximumExamples()[12], typed).row1, "");
}

TEST(HelpTexts, KeyForTests) {
    EXPECT_EQ(KeyForTests(), "Key for tests (all two-sided):\r\n"
                             " 1: Pearson chi squared test\r\n"
                             " 2: Yates's chi squared test\r\n"
                             " 3: 'N - 1' chi squared test\r\n"
                             " 4: Fisher-Irwin test, by doubling one-sided\r\n"
                             " 5: Fisher-Irwin test, tables as frequent or less, either tail\r\n"
                             " 6: Mid-P Fisher-Irwin test, by doubling one-sided\r\n"
                             " 7: Mid-P Fisher-Irwin test, less frequent tables either tail\r\n"
                             " 8: Exact unconditional test, chi squared ordering\r\n"
                             " 9: Exact unconditional test, Fisher-Irwin ordering\r\n");
}

// The help text with a fixed data directory; rewrite the golden file with
// QUILLON_UPDATE_GOLDEN=1 after a deliberate change.
TEST(HelpTexts, HelpTextNamesTheDataFiles) {
    const std::string text = HelpText("/data/Quillon");
    testing::ExpectMatchesGolden(text, "help_text.txt");
    EXPECT_NE(text.find("/data/Quillon/MaximaSummary.txt."), std::string::npos);
    const std::string policy =
        HelpText("/data/Quillon", "Summary_of_Maxima_when_test_policy15.txt");
    EXPECT_NE(policy.find("/data/Quillon/Summary_of_Maxima_when_test_policy15.txt."),
              std::string::npos);
}

// The whole text of the help window before its sections on each window, with the maximum
// study writing a policy's summary file: the general help, each study's own section, the
// exact unconditional tests. The golden is the text as the power study's section was
// written out by hand, before every study's help came from the registry.
TEST(HelpTexts, HelpWindowTextTakesEachStudysPartFromTheRegistry) {
    const std::string text =
        HelpWindowText("/data/Quillon", "Summary_of_Maxima_when_test_policy35.txt");
    testing::ExpectMatchesGolden(text, "help_window_text.txt");
    EXPECT_EQ(text.rfind(HelpText("/data/Quillon", "Summary_of_Maxima_when_test_policy35.txt") +
                             "\r\n" + StudyHelpText(PowerStudyEntry, "/data/Quillon") + "\r\n" +
                             UnconditionalHelpText(),
                         0),
              0u);
    // Every study's files are named, the summary file in use where a study has several.
    for (const StudyEntry* study : RegisteredStudies) {
        for (std::string_view file : study->resultsFiles)
            EXPECT_NE(text.find("/data/Quillon/" + std::string(file)), std::string::npos) << file;
        if (study != &MaximumStudyEntry) {
            EXPECT_NE(text.find("/data/Quillon/" + std::string(study->SummaryFile())),
                      std::string::npos)
                << study->name;
        }
    }
    EXPECT_NE(text.find("/data/Quillon/Summary_of_Maxima_when_test_policy35.txt."),
              std::string::npos);
    EXPECT_EQ(text.find("/data/Quillon/MaximaSummary.txt"), std::string::npos);
    EXPECT_EQ(text.find('{'), std::string::npos) << "a placeholder left in the help";
}

} // namespace
} // namespace quillon
