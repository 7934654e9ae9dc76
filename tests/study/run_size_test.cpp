// The size of a run, told before it starts, and the question before a run of more than a
// million combinations: the windows ask it, the command line answers from --yes.
#include "particular/run.h"
#include "study/run_size.h"
#include "support/golden.h"
#include "support/recording_sink.h"

#include "particular/recording_view.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <limits>

namespace quillon {
namespace {

class SizeRecorder : public testing::RecordingSink<StudySink> {
public:
    std::vector<RunSize> sizes;
    void RunSized(const RunSize& size) override { sizes.push_back(size); }
};

TEST(RunSize, TextsAndSaturation) {
    EXPECT_EQ(RunSizeText(EstimateRunSize(12, 2, 70, "ParticularSummary.txt")),
              "24 combinations; ParticularSummary.txt grows by about 24 lines (1.7 kB)");
    EXPECT_EQ(RunSizeText(EstimateRunSize(1, 1, 65, "PowerSummary.txt")),
              "1 combination; PowerSummary.txt grows by about 1 line (65 bytes)");
    EXPECT_EQ(RunSizeText(EstimateRunSize(91'000'000, 7, 70, "ParticularSummary.txt")),
              "637000000 combinations; ParticularSummary.txt grows by about 637000000 lines "
              "(44.6 GB)");
    const std::uint64_t most = std::numeric_limits<std::uint64_t>::max();
    EXPECT_EQ(EstimateRunSize(most / 2, 7, 70, "x").combinations, most);
}

TEST(RunSize, AskedOnlyAboveAMillion) {
    struct Case {
        const char* name;
        std::uint64_t combinations;
        std::optional<Answer> answer; // the question's answer, when one is asked
        bool goesOn;
    };
    const Case cases[] = {
        {"small", 12, std::nullopt, true},
        {"exactly the limit", LargeRunCombinations, std::nullopt, true},
        {"one more, yes", LargeRunCombinations + 1, Answer::Yes, true},
        {"one more, no", LargeRunCombinations + 1, Answer::No, false},
        {"one more, cancel", LargeRunCombinations + 1, Answer::Cancel, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SizeRecorder sink;
        if (c.answer)
            sink.answers.push_back(*c.answer);
        const auto end = ConfirmRunSize(sink, EstimateRunSize(c.combinations, 1, 70, "S.txt"));
        ASSERT_EQ(sink.sizes.size(), 1u);
        EXPECT_EQ(sink.sizes[0].combinations, c.combinations);
        EXPECT_EQ(sink.questions.size(), c.answer ? 1u : 0u);
        EXPECT_EQ(!end.has_value(), c.goesOn);
        if (end) {
            EXPECT_EQ(end->status, StudyStatus::Refused);
            EXPECT_TRUE(sink.messages.empty()); // the user has just said no
        }
    }
}

// A particular run of 7 tests x 15 N x 101 proportions x 100 MENs asks before anything is
// computed or written; answered No, it ends refused with no summary line.
TEST(RunSize, ParticularRunAsksFirst) {
    ParticularSpecification spec;
    spec.txtNumber = "4 - 18";
    spec.txtTest = "1 - 7";
    spec.txtP_col = "0 to .5 step .005";
    spec.txtMEN = "0 to 9.9 step .1";
    spec.dataDirectory = testing::MakeTempDirectory("run-size-particular");
    testing::RecordingView view;
    const StudyOutcome outcome = RunParticularStudy(spec, view);
    EXPECT_EQ(outcome.status, StudyStatus::Refused);
    ASSERT_EQ(view.questions.size(), 1u);
    EXPECT_NE(view.questions[0].find("1060500 combinations"), std::string::npos)
        << view.questions[0];
    EXPECT_TRUE(view.summaryLines.empty());
    EXPECT_FALSE(std::filesystem::exists(spec.dataDirectory / "ParticularResults.txt"));
}

} // namespace
} // namespace quillon
