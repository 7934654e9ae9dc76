// The summary-only evaluation of a point (the significant tables alone, sorted and given
// probabilities from per-margin kernels) against the literal procedures
// (tests/reference/particular_literal) and against the full evaluation, over grids of
// design, N, m, pi(col), pi(row), interval, tests, MEN, MMT and alpha; the run's kept
// significant tables against fresh evaluations; and a summary-only run's summary file
// against the full run's, serially and with --jobs.
//
// The figures are the literal sums regrouped by margins, so they are compared with the
// literal procedures within (number of tables) x 2^-52 relative (Max. dif. within that
// much of Prop. sig., the cumulative it is taken from); the summary-only and the full
// evaluation form them from the same significant tables, so those two agree bit for bit.
#include "particular/evaluation.h"

#include "core/files.h"
#include "core/numtext.h"
#include "particular/points.h"
#include "particular/recording_view.h"
#include "particular/result_files.h"
#include "particular/run.h"
#include "reference/particular_literal.h"
#include "support/golden.h"
#include "support/sum_tolerance.h"

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

using testing::Point;

std::optional<PointEvaluation> SummaryOnly(const EvaluationPoint& point, unsigned threads = 1,
                                           std::shared_ptr<PValueReuse> reuse = nullptr) {
    EvaluationOptions options;
    options.allTestColumns = false;
    options.summaryOnly = true;
    options.threads = threads;
    options.reuse = std::move(reuse);
    return EvaluatePoint(point, options);
}

// The three figures of every requested test, bit for bit.
void ExpectSameFigures(const PointEvaluation& fast, const PointEvaluation& full) {
    for (int t : full.point.tests) {
        const TestEvaluation& f = fast.ForTest(t);
        const TestEvaluation& r = full.ForTest(t);
        EXPECT_EQ(Bits(f.propSig), Bits(r.propSig)) << "test " << t;
        EXPECT_EQ(Bits(f.upperBound), Bits(r.upperBound)) << "test " << t;
        EXPECT_EQ(Bits(f.maxDif), Bits(r.maxDif)) << "test " << t;
    }
}

const std::vector<int> kLiteralTests{1, 2, 3, 4, 5, 6, 7};

// Every combination of the lists below against the literal procedures (tests 1 - 7, which
// the literal transcription has): 2 designs x 3 sizes x 2 rows x 2 pi(col) x 2 intervals x
// 2 policies x 3 levels (none significant, the usual one, every eligible table).
TEST(SummaryOnlyEvaluation, FiguresAreTheLiteralProceduresOnAGrid) {
    struct Size {
        DesignCode design;
        std::int64_t N;
        double rows[2];
    };
    const Size sizes[] = {
        {ComparativeTrial, 7, {0, 3}},      {ComparativeTrial, 16, {5, 8}},
        {ComparativeTrial, 23, {2, 11}},    {CrossSectionalStudy, 6, {0, .5}},
        {CrossSectionalStudy, 11, {.4, 1}}, {CrossSectionalStudy, 13, {.25, .7}},
    };
    struct Policy {
        double MEN, MMT;
    };
    const Policy policies[] = {{0, 1}, {1.5, 3}};
    const double pCols[] = {0, .3};
    const double intervals[] = {0, .05};
    const double levels[] = {0, .05, 1};
    int points = 0, texts = 0, differentTexts = 0;
    for (const Size& size : sizes)
        for (double row : size.rows)
            for (double p : pCols)
                for (double w : intervals)
                    for (const Policy& policy : policies)
                        for (double alpha : levels) {
                            const EvaluationPoint point =
                                Point(size.design, size.N, p, w, row, policy.MEN, policy.MMT,
                                      kLiteralTests, alpha);
                            SCOPED_TRACE("design " + std::string(DesignOf(size.design).option) +
                                         " N " + std::to_string(size.N) + " row " +
                                         std::to_string(row) + " p " + std::to_string(p) + " w " +
                                         std::to_string(w) + " MEN " + std::to_string(policy.MEN) +
                                         " alpha " + std::to_string(alpha));
                            const std::optional<PointEvaluation> fast = SummaryOnly(point);
                            ASSERT_TRUE(fast.has_value());
                            const reference::LiteralPoint lp = testing::LiteralOf(point);
                            const reference::LiteralEvaluation lit =
                                reference::EvaluatePointLiteral(lp, "caption");
                            for (std::size_t i = 0; i < point.tests.size(); ++i) {
                                const TestEvaluation& f = fast->ForTest(point.tests[i]);
                                const reference::LiteralSummary& l = lit.summaries[i];
                                const auto T = static_cast<double>(lit.tableArray.size() - 1);
                                ASSERT_TRUE(testing::WithinSumTolerance(f.propSig, l.propSig, T))
                                    << "test " << f.test;
                                ASSERT_TRUE(
                                    testing::WithinSumTolerance(f.upperBound, l.upperBound, T))
                                    << "test " << f.test;
                                ASSERT_TRUE(testing::WithinExcessTolerance(f.maxDif, l.maxDif,
                                                                           l.propSig, T))
                                    << "test " << f.test;
                                // The texts the summary file shows: a figure within the
                                // tolerance of a rounding boundary may change its last
                                // digit; on this grid none does.
                                for (const auto& [mine, literal] :
                                     {std::pair{f.propSig, l.propSig},
                                      std::pair{f.upperBound, l.upperBound},
                                      std::pair{f.maxDif, l.maxDif}}) {
                                    ++texts;
                                    if (GiveSignedNumberTonsf(mine, 7) !=
                                        GiveSignedNumberTonsf(literal, 7))
                                        ++differentTexts;
                                }
                            }
                            ++points;
                        }
    EXPECT_EQ(points, 6 * 2 * 2 * 2 * 2 * 3);
    EXPECT_EQ(differentTexts, 0) << "of " << texts << " seven-figure texts";
}

// Tests 8 and 9 (which the literal transcription lacks), repeated and reordered tests,
// large tables in the logarithmic form and the threaded passes, against the full
// evaluation, which the differential tests hold to the literal procedures and references.
TEST(SummaryOnlyEvaluation, FiguresAreTheFullEvaluations) {
    struct Case {
        const char* name;
        EvaluationPoint point;
        unsigned threads;
    };
    const Case cases[] = {
        {"ct tests 8 and 9", Point(ComparativeTrial, 24, .35, .02, 9, 0, 1, {8, 9, 1}, .05), 1},
        {"ct tests 8 and 9 with policy",
         Point(ComparativeTrial, 30, .5, 0, 15, 1, 2, {9, 8, 5}, .1), 1},
        {"cs tests 8 and 9", Point(CrossSectionalStudy, 12, .4, .01, .45, 0, 1, {8, 9}, .05), 1},
        {"repeated and reordered",
         Point(ComparativeTrial, 40, .2, 0, 13, .5, 2, {7, 3, 7, 1, 3}, .2), 1},
        {"all registered tests",
         Point(ComparativeTrial, 50, .45, .01, 25, 0, 1, {1, 2, 3, 4, 5, 6, 7, 8, 9}, .05), 1},
        {"ct threaded", Point(ComparativeTrial, 300, .3, 0, 150, 0, 1, {1, 2, 3, 4, 5, 6, 7}, .05),
         2},
        {"cs threaded", Point(CrossSectionalStudy, 50, .3, .01, .45, 1, 2, {1, 5, 7}, .05), 2},
        {"ct logarithmic form", Point(ComparativeTrial, 1200, .5, .01, 600, 0, 1, {3}, .05), 2},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<PointEvaluation> fast = SummaryOnly(c.point, c.threads);
        EvaluationOptions options;
        options.threads = c.threads;
        const std::optional<PointEvaluation> full = EvaluatePoint(c.point, options);
        ASSERT_TRUE(fast.has_value());
        ASSERT_TRUE(full.has_value());
        ExpectSameFigures(*fast, *full);
        // Only the figures are kept.
        EXPECT_EQ(fast->TableCount(), 0u);
        for (const TestEvaluation& r : fast->results)
            EXPECT_TRUE(r.groups.empty() && r.order.empty());
    }
}

// A run keeps the significant tables of a pass at its level for the next combination that
// differs only in its proportions; every figure is a fresh evaluation's, and a change of
// the level, the policy, m or the tests is computed afresh rather than read from the kept
// tables.
TEST(SummaryOnlyEvaluation, KeptSignificantTablesGiveTheFiguresOfAFreshEvaluation) {
    struct Step {
        const char* name;
        EvaluationPoint point;
    };
    const Step sweep[] = {
        {"first", Point(ComparativeTrial, 30, .1, 0, 12, 0, 1, {1, 2, 3, 4, 5, 6, 7}, .05)},
        {"other pi(col) and interval",
         Point(ComparativeTrial, 30, .37, .01, 12, 0, 1, {1, 2, 3, 4, 5, 6, 7}, .05)},
        {"fewer tests", Point(ComparativeTrial, 30, .5, 0, 12, 0, 1, {5, 2}, .05)},
        {"other level", Point(ComparativeTrial, 30, .5, 0, 12, 0, 1, {5, 2}, .1)},
        {"other MEN", Point(ComparativeTrial, 30, .5, 0, 12, 1, 1, {5, 2}, .1)},
        {"other m", Point(ComparativeTrial, 30, .5, 0, 13, 1, 1, {5, 2}, .1)},
        {"a test not kept", Point(ComparativeTrial, 30, .5, 0, 13, 1, 1, {5, 2, 8}, .1)},
        {"cs", Point(CrossSectionalStudy, 14, .3, .02, .4, 0, 1, {1, 4}, .05)},
        {"cs other pi(row)", Point(CrossSectionalStudy, 14, .3, .02, .6, 0, 1, {1, 4}, .05)},
    };
    auto reuse = std::make_shared<PValueReuse>();
    for (const Step& step : sweep) {
        SCOPED_TRACE(step.name);
        const std::optional<PointEvaluation> kept = SummaryOnly(step.point, 1, reuse);
        const std::optional<PointEvaluation> fresh = SummaryOnly(step.point);
        ASSERT_TRUE(kept.has_value());
        ASSERT_TRUE(fresh.has_value());
        ExpectSameFigures(*kept, *fresh);
    }
}

TEST(SummaryOnlyEvaluation, ProgressCallbackCanStopWhetherComputedOrKept) {
    auto reuse = std::make_shared<PValueReuse>();
    const EvaluationPoint point = Point(ComparativeTrial, 20, .5, 0, 10, 0, 1, {1}, .05);
    EvaluationOptions options;
    options.allTestColumns = false;
    options.summaryOnly = true;
    options.reuse = reuse;
    options.progress = [](ProgressStage, std::uint64_t, std::uint64_t) { return false; };
    EXPECT_FALSE(EvaluatePoint(point, options).has_value());
    ASSERT_TRUE(SummaryOnly(point, 1, reuse).has_value());
    EXPECT_FALSE(EvaluatePoint(point, options).has_value());
}

// The summary file of a summary-only run is the full run's, byte for byte, serially and
// with --jobs: the same figures, whichever way they were summed.
TEST(SummaryOnlyRun, SummaryFileIsTheFullRunsSeriallyAndWithJobs) {
    struct Case {
        const char* name;
        DesignCode design;
        const char *number, *test, *pCol, *row, *interval;
    };
    const Case cases[] = {
        {"comparative trial", ComparativeTrial, "20, 41", "1 - 9", ".05 to .5 step .15", "8", "0"},
        {"cross-sectional", CrossSectionalStudy, "9, 12", "1, 5, 8", ".2, .45", ".3, .5", ".01"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::string files[3];
        const struct {
            bool summaryOnly;
            unsigned jobs;
        } runs[3] = {{false, 1}, {true, 1}, {true, 2}};
        for (int i = 0; i < 3; ++i) {
            ParticularSpecification spec;
            spec.dataDirectory = testing::MakeTempDirectory("summary-only-run");
            spec.clock = RunClock(RunDate{6, 12, 2026});
            spec.design = c.design;
            spec.txtNumber = c.number;
            spec.txtTest = c.test;
            spec.txtP_col = c.pCol;
            spec.txtP_row = c.row;
            spec.txtInterval = c.interval;
            spec.summaryOnly = runs[i].summaryOnly;
            spec.jobs = runs[i].jobs;
            spec.threads = 1;
            testing::RecordingView sink;
            const StudyOutcome outcome = RunParticularStudy(spec, sink);
            ASSERT_EQ(outcome.status, StudyStatus::Completed) << outcome.message;
            files[i] = ReadTextFile(spec.dataDirectory / ParticularSummaryFileName).value_or("");
        }
        EXPECT_FALSE(files[0].empty());
        EXPECT_EQ(files[1], files[0]);
        EXPECT_EQ(files[2], files[0]);
    }
}

} // namespace
} // namespace quillon
