// The power and size of a summary-only combination (the significant tables alone, given
// their probabilities under the alternative and at p0 from per-margin kernels, each
// coefficient computed once) against the full evaluation, which the evaluation tests hold
// to exact rationals, R and the particular study; the run's kept significant tables
// against fresh evaluations; and a summary-only run's summary file against the full run's,
// serially and with --jobs.
//
// Both evaluations form power and size from the same significant tables, so they are
// compared bit for bit; the sums themselves are held to table-order sums within the
// regrouping tolerance in tests/study/significant_sums_test.cpp.
#include "power/evaluation.h"

#include "core/files.h"
#include "power/result_files.h"
#include "power/run.h"
#include "support/golden.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quillon {
namespace {

std::uint64_t Bits(double x) {
    return std::bit_cast<std::uint64_t>(x);
}

PowerPoint Point(DesignCode design, std::int64_t N, double row, double p1, double p2, double MEN,
                 double MMT, std::vector<int> tests, double alpha) {
    PowerPoint point;
    point.design = design;
    point.N = N;
    point.row = row;
    point.p1 = p1;
    point.p2 = p2;
    point.MEN = MEN;
    point.MMT = MMT;
    point.tests = std::move(tests);
    point.alpha = alpha;
    return point;
}

std::optional<PowerEvaluation> SummaryOnly(const PowerPoint& point, unsigned threads = 1,
                                           std::shared_ptr<PValueReuse> reuse = nullptr) {
    PowerOptions options;
    options.allTestColumns = false;
    options.summaryOnly = true;
    options.threads = threads;
    options.reuse = std::move(reuse);
    return EvaluatePower(point, options);
}

void ExpectSamePowerAndSize(const PowerEvaluation& fast, const PowerEvaluation& full) {
    EXPECT_EQ(Bits(fast.pooled), Bits(full.pooled));
    for (int t : full.point.tests) {
        EXPECT_EQ(Bits(fast.ForTest(t).power), Bits(full.ForTest(t).power)) << "test " << t;
        EXPECT_EQ(Bits(fast.ForTest(t).size), Bits(full.ForTest(t).size)) << "test " << t;
    }
}

const std::vector<int> kChiSquaredAndFisher{1, 2, 3, 4, 5, 6, 7};

// Every combination of the lists: 2 designs x 3 sizes x 2 rows x 4 pairs of proportions
// (equal ones, each end of [0, 1], and a plain pair) x 2 policies x 3 levels, with the
// chi squared and Fisher-Irwin tests (tests 8 and 9, slower, below).
TEST(SummaryOnlyPower, PowerAndSizeAreTheFullEvaluationsOnAGrid) {
    struct Size {
        DesignCode design;
        std::int64_t N;
        double rows[2];
    };
    const Size sizes[] = {
        {ComparativeTrial, 9, {0, 4}},        {ComparativeTrial, 20, {7, 10}},
        {ComparativeTrial, 33, {16, 30}},     {CrossSectionalStudy, 7, {.5, 1}},
        {CrossSectionalStudy, 12, {.25, .6}}, {CrossSectionalStudy, 15, {.4, .5}},
    };
    struct Pair {
        double p1, p2;
    };
    const Pair pairs[] = {{.3, .3}, {0, .4}, {.55, 1}, {.2, .65}};
    struct Policy {
        double MEN, MMT;
    };
    const Policy policies[] = {{0, 1}, {1, 2}};
    const double levels[] = {0, .05, .2};
    int points = 0;
    for (const Size& size : sizes)
        for (double row : size.rows)
            for (const Pair& pair : pairs)
                for (const Policy& policy : policies)
                    for (double alpha : levels) {
                        const PowerPoint point =
                            Point(size.design, size.N, row, pair.p1, pair.p2, policy.MEN,
                                  policy.MMT, kChiSquaredAndFisher, alpha);
                        SCOPED_TRACE(
                            "design " + std::string(DesignOf(size.design).option) + " N " +
                            std::to_string(size.N) + " row " + std::to_string(row) + " p1 " +
                            std::to_string(pair.p1) + " p2 " + std::to_string(pair.p2) + " MEN " +
                            std::to_string(policy.MEN) + " alpha " + std::to_string(alpha));
                        const std::optional<PowerEvaluation> fast = SummaryOnly(point);
                        const std::optional<PowerEvaluation> full = EvaluatePower(point);
                        ASSERT_TRUE(fast.has_value());
                        ASSERT_TRUE(full.has_value());
                        ExpectSamePowerAndSize(*fast, *full);
                        EXPECT_EQ(fast->tables.Count(), 0u);
                        EXPECT_TRUE(fast->alternative.empty());
                        ++points;
                    }
    EXPECT_EQ(points, 6 * 2 * 4 * 2 * 3);
}

// Tests 8 and 9, larger combinations with threaded passes, and totals where the
// coefficients overflow and the kernels underflow, so the probabilities take the
// logarithmic form.
TEST(SummaryOnlyPower, LargeAndThreadedCombinationsAreTheFullEvaluations) {
    struct Case {
        const char* name;
        PowerPoint point;
        unsigned threads;
    };
    const Case cases[] = {
        {"ct tests 8 and 9", Point(ComparativeTrial, 24, 11, .25, .6, 0, 1, {8, 9, 1}, .05), 1},
        {"cs tests 8 and 9", Point(CrossSectionalStudy, 10, .4, .6, .3, 1, 2, {9, 8}, .1), 1},
        {"ct threaded",
         Point(ComparativeTrial, 300, 150, .3, .45, 0, 1, {7, 1, 5, 2, 6, 3, 4}, .05), 2},
        {"cs threaded", Point(CrossSectionalStudy, 45, .4, .2, .5, 1, 2, {1, 4, 8}, .05), 2},
        {"ct logarithmic form", Point(ComparativeTrial, 1100, 550, .48, .52, 0, 1, {3}, .05), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        PowerOptions options;
        options.threads = c.threads;
        const std::optional<PowerEvaluation> fast = SummaryOnly(c.point, c.threads);
        const std::optional<PowerEvaluation> full = EvaluatePower(c.point, options);
        ASSERT_TRUE(fast && full);
        ExpectSamePowerAndSize(*fast, *full);
    }
}

// The significant tables a run keeps serve every combination with the same pass and level
// (p1 and p2 change only the probabilities); a change of the level, N, m or the policy is
// computed afresh.
TEST(SummaryOnlyPower, KeptSignificantTablesGiveTheFiguresOfAFreshEvaluation) {
    struct Step {
        const char* name;
        PowerPoint point;
    };
    const Step steps[] = {
        {"first", Point(ComparativeTrial, 40, 20, .2, .5, 0, 1, {1, 5, 9}, .05)},
        {"other p2", Point(ComparativeTrial, 40, 20, .2, .35, 0, 1, {1, 5, 9}, .05)},
        {"equal proportions", Point(ComparativeTrial, 40, 20, .35, .35, 0, 1, {5, 1}, .05)},
        {"other level", Point(ComparativeTrial, 40, 20, .2, .5, 0, 1, {1, 5, 9}, .01)},
        {"other m", Point(ComparativeTrial, 40, 21, .2, .5, 0, 1, {1, 5, 9}, .01)},
        {"other MMT", Point(ComparativeTrial, 40, 21, .2, .5, 0, 3, {1, 5, 9}, .01)},
        {"cs", Point(CrossSectionalStudy, 16, .3, .1, .6, 0, 1, {2, 4}, .05)},
        {"cs other pi(row)", Point(CrossSectionalStudy, 16, .7, .1, .6, 0, 1, {2, 4}, .05)},
    };
    auto reuse = std::make_shared<PValueReuse>();
    for (const Step& step : steps) {
        SCOPED_TRACE(step.name);
        const std::optional<PowerEvaluation> kept = SummaryOnly(step.point, 1, reuse);
        const std::optional<PowerEvaluation> fresh = EvaluatePower(step.point);
        ASSERT_TRUE(kept && fresh);
        ExpectSamePowerAndSize(*kept, *fresh);
    }
}

class SilentPowerSink : public testing::RecordingSink<PowerSink> {
public:
    void CombinationEvaluated(const PowerCombination&) override {}
    void SampleSizesFound(const std::vector<SampleSizeRow>&) override {}
};

// A summary-only run writes the full run's summary file, byte for byte, serially and with
// --jobs.
TEST(SummaryOnlyPower, SummaryFileIsTheFullRunsSeriallyAndWithJobs) {
    std::string files[3];
    const struct {
        bool summaryOnly;
        unsigned jobs;
    } runs[3] = {{false, 1}, {true, 1}, {true, 2}};
    for (int i = 0; i < 3; ++i) {
        PowerSpecification spec;
        spec.dataDirectory = testing::MakeTempDirectory("power-summary-only");
        spec.clock = RunClock(RunDate{6, 12, 2026});
        spec.txtNumber = "10 to 40 step 3";
        spec.txtRow = ".5";
        spec.txtP1 = ".2";
        spec.txtP2 = ".5, .6";
        spec.txtTest = "1 - 9";
        spec.summaryOnly = runs[i].summaryOnly;
        spec.jobs = runs[i].jobs;
        spec.threads = 1;
        SilentPowerSink sink;
        const StudyOutcome outcome = RunPowerStudy(spec, sink);
        ASSERT_EQ(outcome.status, StudyStatus::Completed) << outcome.message;
        files[i] = ReadTextFile(spec.dataDirectory / PowerSummaryFileName).value_or("");
    }
    EXPECT_FALSE(files[0].empty());
    EXPECT_EQ(files[1], files[0]);
    EXPECT_EQ(files[2], files[0]);
}

} // namespace
} // namespace quillon
