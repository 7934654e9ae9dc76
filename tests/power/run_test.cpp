// The power study run: refusals with the system's messages, the order of its events, the
// two files byte for byte (goldens checked by hand against the evaluation tests' figures),
// the summary chart with its reference line, the sample sizes, and charts of earlier data.
#include "power/run.h"

#include "core/files.h"
#include "power/result_files.h"
#include "study/study_texts.h"
#include "support/golden.h"
#include "support/recording_sink.h"
#include "support/unregistered_test.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon {
namespace {

namespace fs = std::filesystem;

class PowerRecorder : public testing::RecordingSink<PowerSink> {
public:
    std::vector<std::vector<SampleSizeRow>> sampleSizes;
    std::vector<std::string> captions;
    void CombinationEvaluated(const PowerCombination& c) override {
        calls.push_back("combination evaluated");
        captions.push_back(c.caption);
    }
    void SampleSizesFound(const std::vector<SampleSizeRow>& rows) override {
        calls.push_back("sample sizes");
        sampleSizes.push_back(rows);
    }
};

PowerSpecification Spec(const std::string& tempName) {
    PowerSpecification spec;
    spec.dataDirectory = testing::MakeTempDirectory(tempName);
    spec.clock = RunClock(RunDate{6, 12, 2026});
    return spec;
}

TEST(PowerRun, RefusesWithTheSystemsMessages) {
    struct Case {
        const char* name;
        std::string PowerSpecification::*field;
        std::string text;
        DesignCode design;
        std::string message;
    };
    using P = PowerSpecification;
    const Case cases[] = {
        {"n_low", &P::txtNumber, "3", ComparativeTrial,
         "The value  3 for variable 'Total number' is less than the minimum value allowed of 4."},
        {"n_high", &P::txtNumber, "10001", ComparativeTrial,
         "The value 10001 for variable 'Total number' is greater than the maximum value "
         "allowed of 10000."},
        {"n_not_whole", &P::txtNumber, "10.5", ComparativeTrial, " 10.5 is not an integer"},
        {"p1_high", &P::txtP1, "1.2", ComparativeTrial,
         "The value 1.2 for variable 'Proportion in column 1, row 1' is greater than the "
         "maximum value allowed of 1."},
        {"p2_high", &P::txtP2, "2", ComparativeTrial,
         "The value 2 for variable 'Proportion in column 1, row 2' is greater than the maximum "
         "value allowed of 1."},
        {"test_high", &P::txtTest, testing::UnregisteredTestText(), ComparativeTrial,
         testing::UnregisteredTestRefusal()},
        {"test_not_whole", &P::txtTest, "1.5", ComparativeTrial, " 1.5 is not an integer"},
        {"mmt_low", &P::txtMMT, "0", ComparativeTrial,
         "The value  0 for variable 'Minimum marginal total' is less than the minimum value "
         "allowed of 1."},
        {"alpha_high", &P::txtAlpha, "1.5", ComparativeTrial,
         "The value 1.5 for variable 'Significance level' is greater than the maximum value "
         "allowed of 1."},
        {"target_high", &P::txtTarget, "1.01", ComparativeTrial,
         "The value 1.01 for variable 'Target power' is greater than the maximum value "
         "allowed of 1."},
        {"ct_row_zero", &P::txtRow, "0", ComparativeTrial,
         "The value ' 0' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal strictly between 0 and 1, or an integer."},
        {"ct_row_all_of_n", &P::txtRow, "20", ComparativeTrial,
         "The value ' 20' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal strictly between 0 and 1, or an integer of up to the total number less 1."},
        {"ct_row_empty_row", &P::txtRow, ".01", ComparativeTrial,
         "The value ' .01' is invalid.  For 'Pop. prop. / number in row 1', with a total "
         "number of 20 the proportion leaves a row without subjects."},
        {"ct_row_not_whole", &P::txtRow, "2.5", ComparativeTrial, " 2.5 is not an integer"},
        {"cs_row_one", &P::txtRow, "1", CrossSectionalStudy,
         "The value ' 1' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal strictly between 0 and 1."},
        {"cs_row_high", &P::txtRow, "1.5", CrossSectionalStudy,
         "The value 1.5 for variable 'Pop. prop. / number in row 1' is greater than the "
         "maximum value allowed of 1."},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PowerSpecification spec = Spec("power-refusal");
        spec.design = k.design;
        spec.*k.field = k.text;
        PowerRecorder sink;
        const StudyOutcome outcome = RunPowerStudy(spec, sink);
        EXPECT_EQ(outcome.status, StudyStatus::Refused);
        ASSERT_EQ(sink.messages.size(), 1u);
        EXPECT_EQ(sink.messages[0], k.message);
        EXPECT_EQ(sink.messageKinds[0], MessageKind::Refusal);
        EXPECT_FALSE(fs::exists(spec.dataDirectory / PowerSummaryFileName));
    }
}

TEST(PowerRun, RefusesAPointTooLargeForTheMemoryBeforeComputingAnything) {
    PowerSpecification spec = Spec("power-memory");
    spec.design = CrossSectionalStudy;
    spec.txtNumber = "20, 10000";
    PowerRecorder sink;
    EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Refused);
    ASSERT_EQ(sink.messages.size(), 1u);
    EXPECT_EQ(sink.messages[0].rfind("N = 10000 (cross-sectional study) has 166766685001 "
                                     "possible sample tables",
                                     0),
              0u)
        << sink.messages[0];
    EXPECT_TRUE(sink.summaryLines.empty());
}

TEST(PowerRun, FilesMatchTheirGoldens) {
    struct Case {
        const char* name;
        DesignCode design;
        const char* row;
        const char* men;
    };
    const Case cases[] = {{"ct", ComparativeTrial, "4", "0, 1"},
                          {"cs", CrossSectionalStudy, ".4", "0"}};
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        PowerSpecification spec = Spec("power-golden");
        spec.design = k.design;
        spec.txtNumber = "8";
        spec.txtRow = k.row;
        spec.txtP1 = ".2";
        spec.txtP2 = ".7";
        spec.txtTest = "1, 5, 7";
        spec.txtMEN = k.men;
        spec.txtMMT = "2";
        spec.txtAlpha = ".1";
        PowerRecorder sink;
        EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
        const auto summary = ReadTextFile(spec.dataDirectory / PowerSummaryFileName);
        const auto results = ReadTextFile(spec.dataDirectory / PowerResultsFileName);
        ASSERT_TRUE(summary && results);
        testing::ExpectMatchesGolden(*summary, std::string("power/") + k.name + "_summary.txt");
        testing::ExpectMatchesGolden(*results, std::string("power/") + k.name + "_results.txt");
    }
}

TEST(PowerRun, UnconditionalTestsFilesMatchTheirGoldens) {
    // A comparative trial of 4 against 4 with the exact unconditional tests: both keep
    // their size at or below alpha (.1), and their listing columns follow the seven.
    PowerSpecification spec = Spec("power-golden-unconditional");
    spec.txtNumber = "8";
    spec.txtRow = "4";
    spec.txtP1 = ".2";
    spec.txtP2 = ".7";
    spec.txtTest = "8, 9";
    spec.txtAlpha = ".1";
    PowerRecorder sink;
    EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
    const auto summary = ReadTextFile(spec.dataDirectory / PowerSummaryFileName);
    const auto results = ReadTextFile(spec.dataDirectory / PowerResultsFileName);
    ASSERT_TRUE(summary && results);
    testing::ExpectMatchesGolden(*summary, "power/ct_unconditional_summary.txt");
    testing::ExpectMatchesGolden(*results, "power/ct_unconditional_results.txt");
}

TEST(PowerRun, SummaryAccumulatesWithOneHeading) {
    PowerSpecification spec = Spec("power-accumulate");
    spec.txtNumber = "10";
    spec.summaryOnly = true;
    PowerRecorder first, second;
    RunPowerStudy(spec, first);
    RunPowerStudy(spec, second);
    const auto text = ReadTextFile(spec.dataDirectory / PowerSummaryFileName);
    ASSERT_TRUE(text);
    const std::vector<std::string> lines = SplitLines(*text);
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0], PowerSummaryCodec::Heading());
    EXPECT_EQ(lines[1], lines[2]);
    EXPECT_FALSE(fs::exists(spec.dataDirectory / PowerResultsFileName));
}

TEST(PowerRun, SweepOverNChartsPowerWithTheTargetLineAndFindsSampleSizes) {
    PowerSpecification spec = Spec("power-sweep");
    spec.txtNumber = "10 to 60 step 10";
    spec.txtP1 = ".2";
    spec.txtP2 = ".6";
    spec.txtTest = "1, 5";
    spec.txtTarget = ".75";
    spec.summaryOnly = true;
    PowerRecorder sink;
    EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
    EXPECT_EQ(sink.summaryLines.size(), 12u);
    ASSERT_EQ(sink.summaryCharts.size(), 1u);
    const SummaryChartData& chart = sink.summaryCharts[0];
    EXPECT_EQ(chart.axisLabel, "N");
    EXPECT_EQ(chart.seriesLabel, "Test");
    EXPECT_EQ(chart.referenceValue, .75);
    EXPECT_EQ(chart.Count(), 12u);
    ASSERT_EQ(sink.sampleSizes.size(), 1u);
    const std::vector<SampleSizeRow>& rows = sink.sampleSizes[0];
    ASSERT_EQ(rows.size(), 2u);
    // From the summary lines of this run (the same figures the CLI golden holds): test 1
    // first reaches .75 at N = 40 (.7534940), test 5 at N = 50 (.7882545).
    EXPECT_EQ(rows[0].test, 1);
    EXPECT_EQ(rows[0].sizes.firstN, 40);
    EXPECT_EQ(rows[0].sizes.stableN, 40);
    EXPECT_EQ(rows[1].test, 5);
    EXPECT_EQ(rows[1].sizes.firstN, 50);
    const std::vector<std::string> order{"started combinations several", "combination",
                                         "combination evaluated"};
    ASSERT_GE(sink.calls.size(), 3u);
    EXPECT_EQ(std::vector<std::string>(sink.calls.begin(), sink.calls.begin() + 3), order);
    const std::vector<std::string> tail{"summary chart", "sample sizes", "all delivered",
                                        "ended completed"};
    EXPECT_EQ(std::vector<std::string>(sink.calls.end() - 4, sink.calls.end()), tail);
}

TEST(PowerRun, VaryingP2ChartsPowerAgainstP2WithoutSampleSizes) {
    PowerSpecification spec = Spec("power-p2");
    spec.txtNumber = "20";
    spec.txtP2 = ".3, .5, .7";
    spec.txtTest = "1";
    spec.summaryOnly = true;
    PowerRecorder sink;
    EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
    ASSERT_EQ(sink.summaryCharts.size(), 1u);
    EXPECT_EQ(sink.summaryCharts[0].axisLabel, "p2");
    EXPECT_EQ(sink.summaryCharts[0].x, (std::vector<double>{.3, .5, .7}));
    EXPECT_TRUE(sink.sampleSizes.empty());
}

TEST(PowerRun, ProportionInRowOneGivesItsNumberAtEachN) {
    PowerSpecification spec = Spec("power-row");
    spec.txtNumber = "10, 15";
    spec.txtRow = ".3";
    spec.summaryOnly = true;
    PowerRecorder sink;
    EXPECT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
    ASSERT_EQ(sink.summaryLines.size(), 2u);
    // m = Int(N x .3): 3 at N = 10, 4 at N = 15.
    EXPECT_EQ(SplitTabs(sink.summaryLines[0])[3], " 3");
    EXPECT_EQ(SplitTabs(sink.summaryLines[1])[3], " 4");
    // The chart against N finds both records although their Row1 fields differ.
    ASSERT_EQ(sink.summaryCharts.size(), 1u);
    EXPECT_EQ(sink.summaryCharts[0].Count(), 2u);
}

TEST(PowerRun, AsteriskChartsEarlierDataOnly) {
    PowerSpecification spec = Spec("power-earlier");
    spec.txtNumber = "10, 20";
    spec.txtTest = "1, 2";
    spec.summaryOnly = true;
    PowerRecorder first;
    RunPowerStudy(spec, first);
    // Run again at N = 20 only: the later record replaces the earlier of the same N.
    spec.txtNumber = "20";
    PowerRecorder again;
    RunPowerStudy(spec, again);

    spec.txtNumber = "*";
    PowerRecorder earlier;
    EXPECT_EQ(RunPowerStudy(spec, earlier).status, StudyStatus::Completed);
    ASSERT_EQ(earlier.summaryCharts.size(), 1u);
    EXPECT_EQ(earlier.summaryCharts[0].Count(), 4u);
    EXPECT_TRUE(earlier.summaryLines.empty());
    EXPECT_EQ(earlier.calls.front(), "started earlier data single");

    spec.txtNumber = "10";
    spec.txtP1 = ".9"; // no record has it
    spec.txtP2 = "*";
    PowerRecorder none;
    RunPowerStudy(spec, none);
    ASSERT_EQ(none.messages.size(), 1u);
    EXPECT_EQ(none.messages[0], NoDataMessage);

    spec.txtP2 = ".5";
    spec.txtMEN = "*";
    PowerRecorder notProgrammed;
    RunPowerStudy(spec, notProgrammed);
    ASSERT_EQ(notProgrammed.messages.size(), 1u);
    EXPECT_EQ(notProgrammed.messages[0], NotProgrammedMessage);
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Stops the run once `after` combinations have been delivered.
class StoppingRecorder : public PowerRecorder {
public:
    explicit StoppingRecorder(std::size_t after) : after_(after) {}
    bool StopRequested() const override { return Count("delivered") >= after_; }

private:
    std::size_t after_;
};

TEST(PowerRun, AChartForEachValueOfTheOtherLists) {
    // N and p1 vary: power against N, one chart for each p1 in the order typed, each
    // holding its own records only.
    PowerSpecification spec = Spec("power-two-p1");
    spec.txtNumber = "10, 20, 30";
    spec.txtP1 = ".2, .3";
    spec.txtP2 = ".6";
    spec.txtTest = "1, 5";
    spec.summaryOnly = true;
    PowerRecorder sink;
    ASSERT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Completed);
    ASSERT_EQ(sink.summaryCharts.size(), 2u);
    for (std::size_t i = 0; i < 2; ++i) {
        SCOPED_TRACE(i);
        const SummaryChartData& chart = sink.summaryCharts[i];
        EXPECT_NE(chart.title.find(i == 0 ? "p1 = .2 " : "p1 = .3 "), std::string::npos)
            << chart.title;
        EXPECT_EQ(chart.x, (std::vector<double>{10, 10, 20, 20, 30, 30}));
    }
    EXPECT_NE(sink.summaryCharts[0].y, sink.summaryCharts[1].y);
    // The sample sizes still come once, after the charts.
    EXPECT_EQ(sink.Count("sample sizes"), 1u);
}

TEST(PowerRun, AStoppedRunChartsWhatItCompleted) {
    struct Case {
        const char* name;
        std::size_t stopAfter;
        std::vector<std::vector<double>> x; // each chart's N
    };
    // Plan order: N outermost, then p1; so two combinations complete N = 10 for both p1.
    const Case cases[] = {
        {"after the first combination", 1, {{10}}},
        {"after N = 10 for both p1", 2, {{10}, {10}}},
        {"partly through N = 20", 3, {{10, 20}, {10}}},
        {"before any combination", 0, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PowerSpecification spec = Spec("power-stop-chart-" + std::to_string(c.stopAfter));
        spec.txtNumber = "10, 20, 30";
        spec.txtP1 = ".2, .3";
        spec.txtP2 = ".6";
        spec.summaryOnly = true;
        StoppingRecorder sink(c.stopAfter);
        ASSERT_EQ(RunPowerStudy(spec, sink).status, StudyStatus::Stopped);
        ASSERT_EQ(sink.summaryCharts.size(), c.x.size());
        for (std::size_t i = 0; i < c.x.size(); ++i)
            EXPECT_EQ(sink.summaryCharts[i].x, c.x[i]) << i;
        EXPECT_TRUE(sink.messages.empty());
        EXPECT_EQ(sink.Count("sample sizes"), 0u);
    }
}

} // namespace
} // namespace quillon
