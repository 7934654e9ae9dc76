// The particular study's run: reading and checking the fields with the program's own
// messages, the choice between a chart of earlier data, a comparison of two tests and the
// loop over the points, when summary charts are due, and the events each kind of run
// reports.
#include "particular/run.h"

#include "core/files.h"
#include "core/numtext.h"
#include "particular/recording_view.h"
#include "particular/result_files.h"
#include "study/study_texts.h"
#include "support/golden.h"
#include "support/unregistered_test.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::Key;
using testing::RecordingView;

ParticularSpecification Spec(const std::string& tempName) {
    ParticularSpecification spec;
    spec.dataDirectory = testing::MakeTempDirectory(tempName);
    spec.clock = RunClock(RunDate{6, 12, 2026});
    spec.txtNumber = "10";
    spec.threads = 1;
    return spec;
}

bool IsEmptyDirectory(const fs::path& dir) {
    return !fs::exists(dir) || fs::is_empty(dir);
}

struct RefusalCase {
    const char* name;
    DesignCode design;
    const char* field;
    const char* text;
    const char* message;
};

void SetField(ParticularSpecification& spec, const std::string& field, const std::string& text) {
    if (field == "N")
        spec.txtNumber = text;
    else if (field == "tests")
        spec.txtTest = text;
    else if (field == "pcol")
        spec.txtP_col = text;
    else if (field == "prow")
        spec.txtP_row = text;
    else if (field == "interval")
        spec.txtInterval = text;
    else if (field == "MMT")
        spec.txtMMT = text;
    else if (field == "parameter")
        spec.txtParameter = text;
}

TEST(ParticularRun, RefusedValues) {
    const std::string testsBeyond = "1 - " + testing::UnregisteredTestText();
    const std::string beyondMessage = testing::UnregisteredTestRefusal();
    const RefusalCase cases[] = {
        {"N below minimum", ComparativeTrial, "N", "3",
         "The value  3 for variable 'Total number' is less than the minimum value allowed of 4."},
        {"N above maximum", ComparativeTrial, "N", "20000",
         "The value 20000 for variable 'Total number' is greater than the maximum value allowed "
         "of 10000."},
        {"N not whole", ComparativeTrial, "N", "10, 10.5", " 10.5 is not an integer"},
        {"a test number no test has", ComparativeTrial, "tests", testsBeyond.c_str(),
         beyondMessage.c_str()},
        {"test not whole", ComparativeTrial, "tests", "1, 2.5", " 2.5 is not an integer"},
        {"pcol above .5", ComparativeTrial, "pcol", ".6",
         "The value .6 for variable 'Population proportion in column 1' is greater than the "
         "maximum value allowed of .5."},
        {"cs prow above .5", CrossSectionalStudy, "prow", ".55",
         "The value .55 for variable 'Population proportion in row 1' is greater than the "
         "maximum value allowed of .5."},
        {"ct row number not whole", ComparativeTrial, "prow", "5.5", " 5.5 is not an integer"},
        {"ct row number above range", ComparativeTrial, "prow", "100001",
         "The value 100001 for variable 'Pop. prop. / number in row 1' is greater than the "
         "maximum value allowed of 100000."},
        {"ct row number above N/2", ComparativeTrial, "prow", "6",
         "The value ' 6' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal up to 0.5, or an integer of up to half the total number."},
        {"ct row value between .5 and 1", ComparativeTrial, "prow", ".75",
         "The value ' .75' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal up to 0.5, or an integer."},
        {"interval", ComparativeTrial, "interval", ".2",
         "The value .2 for variable 'Population proportion interval' is greater than the "
         "maximum value allowed of .1."},
        {"MMT 0", ComparativeTrial, "MMT", "0",
         "The value  0 for variable 'Minimum marginal total' is less than the minimum value "
         "allowed of 1."},
        {"parameter", ComparativeTrial, "parameter", "-.1",
         "The value -.1 for variable 'Parameter' is less than the minimum value allowed of 0."},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        ParticularSpecification spec = Spec("particular-refusal");
        spec.design = c.design;
        SetField(spec, c.field, c.text);
        RecordingView view;
        const StudyOutcome outcome = RunParticularStudy(spec, view);
        EXPECT_EQ(outcome.status, StudyStatus::Refused);
        EXPECT_EQ(outcome.message, c.message);
        ASSERT_EQ(view.messages.size(), 1u);
        EXPECT_EQ(view.messages[0], c.message);
        EXPECT_EQ(view.calls, (std::vector<std::string>{"message", "ended refused"}));
        EXPECT_TRUE(IsEmptyDirectory(spec.dataDirectory));
    }
}

TEST(ParticularRun, FieldsAreCheckedInOrder) {
    // N before tests, the row values before the interval, the parameter last.
    ParticularSpecification spec = Spec("particular-order");
    spec.txtNumber = "3";
    spec.txtTest = testing::UnregisteredTestText();
    RecordingView view;
    RunParticularStudy(spec, view);
    ASSERT_EQ(view.messages.size(), 1u);
    EXPECT_NE(view.messages[0].find("'Total number'"), std::string::npos);

    spec.txtNumber = "10";
    spec.txtP_col = ".7";
    spec.txtParameter = "3";
    RecordingView second;
    RunParticularStudy(spec, second);
    ASSERT_EQ(second.messages.size(), 1u);
    EXPECT_NE(second.messages[0].find("'Test(s)'"), std::string::npos);
}

TEST(ParticularRun, RowRefusalComesBeforeAnythingIsComputed) {
    // N = 20 accepts the row number 8 but N = 10 does not: the run is refused before the
    // first point is computed, so no file is written.
    ParticularSpecification spec = Spec("particular-row-late");
    spec.txtNumber = "20, 10";
    spec.txtP_row = "8";
    RecordingView view;
    EXPECT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Refused);
    EXPECT_TRUE(IsEmptyDirectory(spec.dataDirectory));
}

TEST(ParticularRun, TooLargeCrossSectionalNIsRefused) {
    ParticularSpecification spec = Spec("particular-memory");
    spec.design = CrossSectionalStudy;
    spec.txtNumber = "10000";
    RecordingView view;
    const StudyOutcome outcome = RunParticularStudy(spec, view);
    EXPECT_EQ(outcome.status, StudyStatus::Refused);
    EXPECT_NE(outcome.message.find("N = 10000"), std::string::npos) << outcome.message;
    EXPECT_TRUE(IsEmptyDirectory(spec.dataDirectory));
}

TEST(ParticularRun, RowProportionBecomesNumberInRowOne) {
    ParticularSpecification spec = Spec("particular-row-proportion");
    spec.txtNumber = "20";
    spec.txtP_row = ".25";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.summaryLines.size(), 1u);
    EXPECT_EQ(SplitTabs(view.summaryLines[0])[4], " 5");
    EXPECT_NE(view.chartCaptions[0].find("m (number in row 1) = 5"), std::string::npos);
}

TEST(ParticularRun, SinglePointEvents) {
    ParticularSpecification spec = Spec("particular-single");
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    const std::vector<std::string> expected = {"started combinations single",
                                               "combination",
                                               "point",
                                               "delivered",
                                               "all delivered",
                                               "ended completed"};
    EXPECT_EQ(view.calls, expected);
    ASSERT_EQ(view.chartMaximised.size(), 1u);
    EXPECT_TRUE(view.chartMaximised[0]);
    EXPECT_EQ(view.chartCaptions[0],
              "06.12.26       N = 10       Comparative trial       pi(col) = .5       m (number "
              "in row 1) = 5       tests: 1       MEN = 0       MMT = 1");
}

TEST(ParticularRun, EventsOfSeveralPointsAndOfAComparison) {
    // Two points that vary N: each computed, charted and followed by the summary chart of
    // the lines so far, and delivered; everything delivered at the end.
    ParticularSpecification spec = Spec("particular-events");
    spec.txtNumber = "10, 12";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    EXPECT_EQ(view.calls, (std::vector<std::string>{
                              "started combinations several", "combination", "summary chart",
                              "point", "delivered", "combination", "summary chart", "point",
                              "delivered", "all delivered", "ended completed"}));

    ParticularSpecification two = Spec("particular-events-compare");
    two.txtTest = "1, 4";
    RecordingView compare;
    compare.answers = {Answer::Yes};
    ASSERT_EQ(RunParticularStudy(two, compare).status, StudyStatus::Completed);
    EXPECT_EQ(compare.calls, (std::vector<std::string>{"question", "started comparison single",
                                                       "scatter", "comparison message", "delivered",
                                                       "all delivered", "ended completed"}));

    // A point refused part way (checked just before it is computed when the lists are too
    // long to check first) ends the run with the refusal; here every pair is checked first.
    ParticularSpecification late = Spec("particular-events-refused");
    late.txtNumber = "20, 10";
    late.txtP_row = "8";
    RecordingView refused;
    EXPECT_EQ(RunParticularStudy(late, refused).status, StudyStatus::Refused);
    EXPECT_EQ(refused.calls, (std::vector<std::string>{"message", "ended refused"}));
    EXPECT_EQ(refused.messageKinds, std::vector<MessageKind>{MessageKind::Refusal});
}

TEST(ParticularRun, SeveralTestsAtOnePointAreOneCombination) {
    ParticularSpecification spec = Spec("particular-single-tests");
    spec.txtNumber = "10, 12";
    RecordingView two;
    RunParticularStudy(spec, two);
    EXPECT_EQ(two.Count("delivered"), 2u);
    EXPECT_EQ(two.chartMaximised, (std::vector<bool>{false, false}));

    // Several tests at one point is still one point: its chart is the whole result.
    ParticularSpecification tests = Spec("particular-single-tests-three");
    tests.txtTest = "1, 2, 3";
    RecordingView one;
    RunParticularStudy(tests, one);
    EXPECT_TRUE(one.singleCombination);
    EXPECT_EQ(one.Count("delivered"), 1u);
    EXPECT_EQ(one.Count("question"), 0u);
}

TEST(ParticularRun, SummaryChartDecisionTable) {
    struct Case {
        const char* key;
        const char* completion;
        bool due;
        int xField, seriesField;
    };
    const Case cases[] = {
        {"_Number", "", true, 3, 0},
        {"_Number", "_Number", true, 3, 0},
        {"_Number_Test", "", true, 3, 8},
        {"_Number_Test_Pcol", "_Pcol", true, 4, 8},
        {"_Number_Test_Pcol", "_Number_Pcol", true, 4, 8},
        {"_Number_Test_Pcol", "_Number", false, 0, 0},
        {"_Number_Pcol", "", false, 0, 0},
        {"_Number_Pcol_MEN", "_Pcol_MEN", true, 4, 9},
        {"_Number_Pcol_MEN", "_MEN", false, 0, 0},
        {"_Number_MEN", "_MEN", true, 3, 9},
        {"_Number_MEN", "", false, 0, 0},
        {"_Test_Pcol", "_Pcol", true, 4, 8},
        {"_Test_Pcol_Prow", "_Pcol_Prow", true, 4, 8},
        // Each row value's sweep over pi(col) has its chart, not the last row's alone.
        {"_Test_Pcol_Prow", "_Pcol", true, 4, 8},
        {"_Test_Pcol_Prow", "_Prow", false, 0, 0},
        {"_Pcol", "_Pcol", true, 4, 0},
        {"_Pcol", "", false, 0, 0},
        {"_Pcol_MEN", "_MEN", true, 4, 9},
        {"_MEN", "", true, 9, 0},
        {"_MEN", "_MEN", true, 9, 0},
        {"_Prow", "_Prow", false, 0, 0},
        {"", "", false, 0, 0},
        {"_Test", "", false, 0, 0},
        // Lists besides the chart's own: pi(col), else N, else MEN along the axis; a line a
        // test, else a line a MEN; a chart for each value of the rest.
        {"_Number_Prow", "", true, 3, 0},
        {"_Number_Prow", "_Prow", true, 3, 0},
        {"_Number_Test_MEN", "", true, 3, 8},
        {"_Number_Test_Prow_MEN", "_MEN", true, 3, 8},
        {"_Number_Pcol_Prow", "_Prow", false, 0, 0},
        {"_Number_Pcol_Prow", "_Pcol", true, 4, 0},
        {"_Number_Test_Pcol_MEN", "_Pcol", true, 4, 8},
        {"_Pcol_Prow_MEN", "_Pcol_MEN", true, 4, 9},
        {"_Pcol_Prow_MEN", "_Prow_MEN", false, 0, 0},
        {"_Prow_MEN", "_MEN", true, 9, 0},
        {"_Prow_MEN", "_Prow", false, 0, 0},
        {"_Test_MEN", "_MEN", true, 9, 8},
        {"_Test_Prow", "_Prow", false, 0, 0},
    };
    for (const Case& c : cases) {
        const auto due = SummaryChartDue(Key(c.key), Key(c.completion));
        EXPECT_EQ(due.has_value(), c.due) << c.key << " / " << c.completion;
        if (due && c.due) {
            EXPECT_EQ(due->xField, c.xField) << c.key;
            EXPECT_EQ(due->seriesField, c.seriesField) << c.key;
        }
    }
    EXPECT_EQ(SummaryChartDue(Key("_Number_Pcol"), Key("_Pcol"))->axisLabel, "pi (col)");
    EXPECT_EQ(EarlierDataChart(Key("_Pcol"))->axisLabel, "pi(col)");
    EXPECT_EQ(EarlierDataChart(Key("_Number_MEN"))->seriesLabel, "MEN");
    EXPECT_FALSE(EarlierDataChart(Key("_MEN")).has_value());
    EXPECT_FALSE(EarlierDataChart(Key("_Test")).has_value());
}

TEST(ParticularRun, SummaryChartsDuringLoop) {
    // Only N varies: the chart is redrawn after every point, growing point by point.
    ParticularSpecification spec = Spec("particular-loop-charts");
    spec.txtNumber = "10 to 14 step 2";
    spec.txtTest = "1, 3";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.summaryCharts.size(), 3u);
    EXPECT_EQ(view.summaryCharts[0].x, (std::vector<double>{10, 10}));
    EXPECT_EQ(view.summaryCharts[2].x, (std::vector<double>{10, 10, 12, 12, 14, 14}));
    EXPECT_EQ(view.summaryCharts[2].series, (std::vector<double>{1, 3, 1, 3, 1, 3}));
    EXPECT_EQ(view.summaryCharts[2].seriesLabel, "Test");
    // The question about two tests is asked, and the CLI-like answer No runs the loop.
    EXPECT_EQ(view.questions.size(), 1u);

    // N and pi(col) vary: a chart after each complete sweep over pi(col).
    ParticularSpecification sweep = Spec("particular-loop-sweep");
    sweep.txtNumber = "10, 12";
    sweep.txtP_col = ".3, .5";
    RecordingView swept;
    ASSERT_EQ(RunParticularStudy(sweep, swept).status, StudyStatus::Completed);
    ASSERT_EQ(swept.summaryCharts.size(), 2u);
    EXPECT_EQ(swept.summaryCharts[1].x, (std::vector<double>{.3, .5}));
    EXPECT_EQ(swept.summaryCharts[1].axisLabel, "pi (col)");
}

TEST(ParticularRun, SummaryChartFindsWhatTheRunJustWrote) {
    // The single values are read from their fields in full, but the summary file keeps
    // them to 15 significant digits; an alpha typed with 16 (a different double from .05)
    // must still find the lines just written rather than report that there is no data.
    ParticularSpecification spec = Spec("particular-loop-long-alpha");
    spec.txtNumber = "10, 12";
    spec.txtParameter = "0.05000000000000001";
    spec.txtMMT = "1.0000000000000002";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    EXPECT_EQ(view.messages, std::vector<std::string>{});
    ASSERT_EQ(view.summaryCharts.size(), 2u);
    EXPECT_EQ(view.summaryCharts[1].x, (std::vector<double>{10, 12}));
}

TEST(ParticularRun, TwoTestQuestion) {
    const std::string question =
        "You have chosen two tests.  If you wish, you can be shown a scatter diagram comparing "
        "the P values by the two tests for all possible sample tables (together with a summary "
        "of significant tables).  \r\nDo you want to see the scatter diagram rather than the "
        "cumulative frequency charts?";
    ParticularSpecification spec = Spec("particular-question");
    spec.txtTest = "1, 4";
    RecordingView cancel;
    cancel.answers = {Answer::Cancel};
    EXPECT_EQ(RunParticularStudy(spec, cancel).status, StudyStatus::Completed);
    EXPECT_EQ(cancel.questions, std::vector<std::string>{question});
    EXPECT_EQ(cancel.calls, (std::vector<std::string>{"question", "ended completed"}));
    EXPECT_TRUE(IsEmptyDirectory(spec.dataDirectory));

    // Two tests and a varying pi(col): no question.
    spec.txtP_col = ".3, .5";
    RecordingView none;
    RunParticularStudy(spec, none);
    EXPECT_TRUE(none.questions.empty());
}

TEST(ParticularRun, ComparisonOfTwoTests) {
    ParticularSpecification spec = Spec("particular-compare");
    spec.txtNumber = "10, 12";
    spec.txtTest = "4, 1";
    spec.txtMEN = "1";
    RecordingView view;
    view.answers = {Answer::Yes};
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.scatters.size(), 2u);
    EXPECT_EQ(view.Count("delivered"), 2u);
    EXPECT_EQ(view.Count("summary chart"), 0u);
    const TwoTestScatter& s = view.scatters[0];
    EXPECT_EQ(s.firstTest, 4);
    EXPECT_EQ(s.secondTest, 1);
    EXPECT_EQ(s.first.size(), 36u); // (5 + 1) x (5 + 1) tables
    EXPECT_EQ(s.counts.Total(), 36u);
    EXPECT_EQ(s.caption, "06.12.26       N = 10       Comparative trial       m (number in row 1) "
                         "= 5       tests: 4, 1       MEN = 1       MMT = 1");
    // Counted strictly below the Parameter.
    ComparisonCounts expected;
    for (std::size_t i = 0; i < s.first.size(); ++i) {
        const bool a = s.first[i] < .05, b = s.second[i] < .05;
        (a && b ? expected.both
         : a    ? expected.firstOnly
         : b    ? expected.secondOnly
                : expected.neither)++;
    }
    EXPECT_EQ(s.counts, expected);

    const fs::path file = spec.dataDirectory / ComparisonsFileName;
    const std::vector<std::string> lines = SplitLines(*ReadTextFile(file));
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(lines[0],
              "Date\tMethod\tN\tTest 1\tTest 2\tMEN\tMMT\tParam.\tSig.\tSig.\tBy 1, \tBy 2, ");
    EXPECT_EQ(lines[1], "\t\t\t\t\t\t\t\tby 1\tby 2\tnot 2\tnot 1");
    EXPECT_EQ(lines[2].substr(0, 32), "061226\t 2\t 10\t 4\t 1\t 1\t 1\t .05\t ");
    ASSERT_EQ(view.comparisonMessages.size(), 2u);
    EXPECT_EQ(
        view.comparisonMessages[0],
        "Possible sample tables significant by the two tests:\r\nTotal tables:  36\r\n"
        "Significant by test:  4:  " +
            std::to_string(expected.both + expected.firstOnly) +
            "\r\nSignificant by test:  1:  " + std::to_string(expected.both + expected.secondOnly) +
            "\r\nSignificant by 1st test, but not by 2nd:  " + std::to_string(expected.firstOnly) +
            "\r\nSignificant by 2nd test, but not by 1st:  " + std::to_string(expected.secondOnly) +
            "\r\n\r\nSee also the file " + file.string());
    // Section 1 of the results file only, with all seven P values.
    const std::string results = *ReadTextFile(spec.dataDirectory / ParticularResultsFileName);
    EXPECT_EQ(results.find("After ordering"), std::string::npos);
    EXPECT_NE(results.find("P (test 7)"), std::string::npos);
    EXPECT_FALSE(fs::exists(spec.dataDirectory / ParticularSummaryFileName));
}

TEST(ParticularRun, ComparisonCountsAtTheParameterItself) {
    // A table whose P value equals the Parameter is significant for the actual Type I
    // error (P <= alpha) but not in the comparison (P < alpha).
    EvaluationPoint point;
    point.N = 10;
    point.row = 5;
    point.tests = {5, 5};
    EvaluationOptions options;
    options.summarise = false;
    const std::optional<PointEvaluation> ev = EvaluatePoint(point, options);
    ASSERT_TRUE(ev.has_value());
    const double p = ev->tables.Result(2, 5); // table (0, 5, 1, 4)
    const ComparisonCounts at = CountSignificantTables(*ev, 5, 5, p);
    const ComparisonCounts above = CountSignificantTables(*ev, 5, 5, std::nextafter(p, 2.0));
    EXPECT_LT(at.both, above.both);
    EXPECT_EQ(at.firstOnly + at.secondOnly, 0u);
}

TEST(ParticularRun, ChartOfEarlierData) {
    ParticularSpecification spec = Spec("particular-star");
    spec.txtNumber = "*";
    RecordingView fresh;
    EXPECT_EQ(RunParticularStudy(spec, fresh).status, StudyStatus::Completed);
    EXPECT_EQ(fresh.messages, std::vector<std::string>{NoDataMessage});
    const std::vector<std::string> expected = {"started earlier data single", "message",
                                               "all delivered", "ended completed"};
    EXPECT_EQ(fresh.calls, expected);

    ParticularSpecification compute = spec;
    compute.txtNumber = "12, 10";
    compute.txtTest = "2";
    RecordingView run;
    ASSERT_EQ(RunParticularStudy(compute, run).status, StudyStatus::Completed);
    spec.txtTest = "2";
    RecordingView chart;
    ASSERT_EQ(RunParticularStudy(spec, chart).status, StudyStatus::Completed);
    ASSERT_EQ(chart.summaryCharts.size(), 1u);
    EXPECT_EQ(chart.summaryCharts[0].x, (std::vector<double>{12, 10}));
    EXPECT_EQ(chart.summaryCharts[0].axisLabel, "N");
    EXPECT_TRUE(chart.messages.empty());

    // A key with no chart programmed.
    ParticularSpecification tests = Spec("particular-star-tests");
    tests.txtTest = "*";
    RecordingView notProgrammed;
    RunParticularStudy(tests, notProgrammed);
    EXPECT_EQ(
        notProgrammed.messages,
        std::vector<std::string>{"The analysis that you have requested has not been programmed"});
    EXPECT_TRUE(notProgrammed.summaryCharts.empty());
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Stops the run once `after` points have been delivered.
class StoppingView : public testing::RecordingView {
public:
    explicit StoppingView(std::size_t after) : after_(after) {}
    bool StopRequested() const override { return Count("delivered") >= after_; }

private:
    std::size_t after_;
};

TEST(ParticularRun, EachSweepOfASeriesOfNIsAChartOfItsOwn) {
    // N and pi(col) vary: the chart against pi(col) is drawn once a sweep is complete, one
    // for each N, each titled with its N (the desktop keeps them all to be stepped through).
    ParticularSpecification spec = Spec("particular-chart-per-n");
    spec.txtNumber = "10, 12";
    spec.txtP_col = ".3, .5";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.summaryCharts.size(), 2u);
    EXPECT_NE(view.summaryCharts[0].title.find("N = 10"), std::string::npos);
    EXPECT_NE(view.summaryCharts[1].title.find("N = 12"), std::string::npos);
    EXPECT_NE(view.summaryCharts[0].title, view.summaryCharts[1].title);
}

TEST(ParticularRun, RowValuesBesidesNGiveAChartEach) {
    // N and the row value vary: the actual Type I error against N, one chart for each row
    // value, each redrawn as its N come in. Comparative trial, m = 3
    // and 5.
    ParticularSpecification spec = Spec("particular-chart-per-row");
    spec.design = ComparativeTrial;
    spec.txtNumber = "10, 12";
    spec.txtP_row = "3, 5";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.summaryCharts.size(), 4u);
    // Plan order: N = 10 with m 3 and 5, then N = 12 with m 3 and 5.
    const char* rows[] = {"m (number in row 1) = 3", "m (number in row 1) = 5"};
    for (std::size_t i = 0; i < 4; ++i) {
        SCOPED_TRACE(i);
        const SummaryChartData& chart = view.summaryCharts[i];
        EXPECT_NE(chart.title.find(rows[i % 2]), std::string::npos) << chart.title;
        EXPECT_EQ(chart.axisLabel, "N");
        EXPECT_EQ(chart.x, (i < 2 ? std::vector<double>{10} : std::vector<double>{10, 12}));
    }
    EXPECT_NE(view.summaryCharts[2].y, view.summaryCharts[3].y);
}

TEST(ParticularRun, RowProportionsBesidesNEachSelectTheirOwnRecords) {
    // Comparative trial, row 1 as proportions .2 and .5 of N = 10, 20: m = 2, 4 and 5, 10.
    // Each chart holds its own proportion's records and is named by it, not by the field's
    // text (which names both).
    ParticularSpecification spec = Spec("particular-chart-per-row-proportion");
    spec.design = ComparativeTrial;
    spec.txtNumber = "10, 20";
    spec.txtP_row = ".2, .5";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.summaryCharts.size(), 4u);
    const SummaryChartData& fifth = view.summaryCharts[2];
    const SummaryChartData& half = view.summaryCharts[3];
    EXPECT_NE(fifth.title.find("m/N (prop. in row 1) =.2 "), std::string::npos) << fifth.title;
    EXPECT_NE(half.title.find("m/N (prop. in row 1) =.5 "), std::string::npos) << half.title;
    EXPECT_EQ(fifth.x, (std::vector<double>{10, 20}));
    EXPECT_EQ(half.x, (std::vector<double>{10, 20}));
    // The summary lines in plan order: (10, .2), (10, .5), (20, .2), (20, .5).
    const auto propSig = [&](std::size_t line) {
        return NumericReading(SplitTabs(view.summaryLines[line])[11]);
    };
    EXPECT_EQ(fifth.y, (std::vector<double>{propSig(0), propSig(2)}));
    EXPECT_EQ(half.y, (std::vector<double>{propSig(1), propSig(3)}));
}

TEST(ParticularRun, AStoppedRunChartsTheSweepItCutShort) {
    struct Case {
        const char* name;
        std::size_t stopAfter;
        std::size_t charts;         // summary charts of the whole run
        std::vector<double> lastX;  // the last chart's points
        bool lastIsThePartialSweep; // the last chart came after the stop
    };
    const Case cases[] = {
        // N = 10 done (its chart due), then .3 of N = 12: its sweep charted as it stands.
        {"partly through the second sweep", 3, 2, {.3}, true},
        // The first sweep complete: its chart was due, nothing more to draw.
        {"at the end of a sweep", 2, 1, {.3, .5}, false},
        // One point of the first sweep.
        {"partly through the first sweep", 1, 1, {.3}, true},
        {"before any point", 0, 0, {}, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParticularSpecification spec =
            Spec(std::string("particular-stop-chart-") + std::to_string(c.stopAfter));
        spec.txtNumber = "10, 12";
        spec.txtP_col = ".3, .5";
        StoppingView view(c.stopAfter);
        ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Stopped);
        ASSERT_EQ(view.summaryCharts.size(), c.charts);
        EXPECT_TRUE(view.messages.empty());
        if (c.charts == 0)
            continue;
        EXPECT_EQ(view.summaryCharts.back().x, c.lastX);
        EXPECT_EQ(view.calls.end()[-2] == "summary chart", c.lastIsThePartialSweep);
    }
}

TEST(ParticularRun, AStopDrawsEverySweepCutShortNotOnlyTheLast) {
    // pi(col) .3, .5 outside the row values 3, 5 (N = 12): each row value's chart is due at
    // pi(col) .5. A stop before then leaves both rows' sweeps cut short; each is drawn.
    struct Case {
        const char* name;
        std::size_t stopAfter;
        std::vector<std::vector<double>> x; // each chart's pi(col), in order drawn
    };
    const Case cases[] = {
        {"after the first point", 1, {{.3}}},
        {"after pi(col) .3 for both rows", 2, {{.3}, {.3}}},
        {"row 3 complete, row 5 cut short", 3, {{.3, .5}, {.3}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ParticularSpecification spec = Spec("particular-stop-rows-" + std::to_string(c.stopAfter));
        spec.design = ComparativeTrial;
        spec.txtNumber = "12";
        spec.txtP_col = ".3, .5";
        spec.txtP_row = "3, 5";
        StoppingView view(c.stopAfter);
        ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Stopped);
        ASSERT_EQ(view.summaryCharts.size(), c.x.size());
        for (std::size_t i = 0; i < c.x.size(); ++i) {
            EXPECT_EQ(view.summaryCharts[i].x, c.x[i]) << i;
            EXPECT_NE(view.summaryCharts[i].title.find(i == 0 ? "m (number in row 1) = 3"
                                                              : "m (number in row 1) = 5"),
                      std::string::npos);
        }
    }
}

} // namespace
} // namespace quillon
