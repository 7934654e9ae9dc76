// The exact unconditional tests 8 and 9 in the studies: every table takes the P value of
// its own row total's design (a cross-sectional study walks one design per row total),
// tables outside the MEN/MMT policy take their policy code, and the tests keep their size:
// no proportion gives a chance above alpha of a P value below alpha, which the maximum
// search, the particular evaluation and the power evaluation must all show.
#include "core/pvalues.h"
#include "core/tables.h"
#include "core/test_registry.h"
#include "core/unconditional.h"
#include "maxima/search.h"
#include "particular/evaluation.h"
#include "power/evaluation.h"
#include "study/events.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace quillon {
namespace {

constexpr int kTests[] = {UnconditionalChiSquaredTest, UnconditionalFisherTest};

// A P value is certified to within this relative width of the largest total over the
// nuisance proportion, so a test's size can exceed alpha by at most this much of alpha.
constexpr double kSizeSlack = CertificateRelative;
// The rounding of a sum of a few thousand probabilities.
constexpr double kSumRounding = 1e-12;

double SizeLimit(double alpha) {
    return alpha * (1 + kSizeSlack) + CertificateAbsolute + kSumRounding;
}

TEST(UnconditionalDesigns, ARowExchangedDesignGivesEachTableTheSameValue) {
    // Exchanging the rows exchanges (a, c) with (c, a): the statistics of both tests and the
    // total over p are unchanged, so the values must be equal to the bit.
    for (int test : kTests)
        for (std::int64_t N : {1, 7, 12})
            for (std::int64_t m = 0; m <= N; ++m) {
                const std::vector<double> one = UnconditionalDesignPValues(test, N, m);
                const std::vector<double> other = UnconditionalDesignPValues(test, N, N - m);
                for (std::int64_t a = 0; a <= m; ++a)
                    for (std::int64_t c = 0; c <= N - m; ++c)
                        ASSERT_EQ(one[DesignTableIndex(N, m, a, c)],
                                  other[DesignTableIndex(N, N - m, c, a)])
                            << "test " << test << " N " << N << " m " << m << " a " << a << " c "
                            << c;
            }
}

TEST(UnconditionalDesigns, AStudyTablesValueIsItsDesignsWithinTheCertificate) {
    // The one-table search and the walk over the design certify the same maximum, each to
    // CertificateRelative.
    for (int test : kTests)
        for (std::int64_t m : {3, 9}) {
            const std::int64_t N = 14;
            for (std::int64_t a = 0; a <= m; ++a)
                for (std::int64_t c = 0; c <= N - m; ++c) {
                    const double one = UnconditionalTest(test, a, m - a, c, N - m - c).pValue;
                    const double walked = StudyTablePValue(*FindTest(test), a, m - a, c, N - m - c);
                    ASSERT_NEAR(walked, one, 2 * CertificateRelative * one)
                        << "test " << test << " table " << a << " " << m - a << " " << c;
                }
        }
}

// Each table's value in an evaluation: its design's P value, or the policy code.
void ExpectDesignValues(const TableArray& tables, std::int64_t N, double MEN, double MMT,
                        int test) {
    std::vector<std::vector<double>> designs(static_cast<std::size_t>(N) + 1);
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        const std::int64_t a = tables.Cell(row, 1), b = tables.Cell(row, 2),
                           c = tables.Cell(row, 3), d = tables.Cell(row, 4);
        const PolicyResult policy = CheckTablePolicy(
            static_cast<double>(N), static_cast<double>(a + b), static_cast<double>(c + d),
            static_cast<double>(a + c), static_cast<double>(b + d), MEN, MMT);
        std::vector<double>& design = designs[static_cast<std::size_t>(a + b)];
        if (design.empty())
            design = UnconditionalDesignPValues(test, N, a + b);
        const double expected =
            policy.eligible ? design[DesignTableIndex(N, a + b, a, c)] : policy.code;
        ASSERT_EQ(tables.Result(row, test), expected)
            << "test " << test << " table " << a << " " << b << " " << c << " " << d;
    }
}

TEST(UnconditionalStudies, ParticularEvaluationTakesEachTablesDesignValueOrPolicyCode) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N;
        double row, MEN, MMT;
    };
    const Case cases[] = {
        {"comparative trial", ComparativeTrial, 13, 5, 0, 1},
        {"comparative trial, more in row 1", ComparativeTrial, 11, 8, 0, 1},
        {"comparative trial, MEN 1 and MMT 3", ComparativeTrial, 12, 4, 1, 3},
        {"cross-sectional", CrossSectionalStudy, 9, 0.4, 0, 1},
        {"cross-sectional, MEN .8 and MMT 2", CrossSectionalStudy, 8, 0.3, 0.8, 2},
    };
    for (const Case& k : cases) {
        SCOPED_TRACE(k.name);
        EvaluationPoint point;
        point.design = k.design;
        point.N = k.N;
        point.pCol = 0.3;
        point.row = k.row;
        point.MEN = k.MEN;
        point.MMT = k.MMT;
        point.tests = {9, 1, 8};
        for (unsigned threads : {1u, 2u}) {
            EvaluationOptions options;
            options.threads = threads;
            const std::optional<PointEvaluation> ev = EvaluatePoint(point, options);
            ASSERT_TRUE(ev.has_value());
            for (int test : kTests)
                ExpectDesignValues(ev->tables, k.N, k.MEN, k.MMT, test);
        }
    }
}

TEST(UnconditionalStudies, MaximumSearchTakesEachTablesDesignValue) {
    for (int test : kTests)
        for (TestPolicy policy : {TestPolicy::Simple, TestPolicy::Combined15}) {
            SearchTables cs(CrossSectionalStudy, 7, -1, 1, 2);
            const std::vector<double>& P = cs.PValues(test, policy);
            const PropertyEvaluator streamed(cs, test, policy, Property::ActualTypeIError, 0.05);
            EXPECT_EQ(streamed.TablePValues(), P);
            for (std::size_t t = 0; t < cs.Count(); ++t)
                ASSERT_EQ(P[t], SearchPValue(cs.Cell(t, 1), cs.Cell(t, 2), cs.Cell(t, 3),
                                             cs.Cell(t, 4), test, 1, 2, policy))
                    << "test " << test << " table " << t;
        }
}

// The largest "1ProSig" over a dense grid of pi(col) and the search's maximum, for one
// comparative trial.
struct SizeFound {
    double grid = 0, searched = 0;
};

struct QuietObserver : SearchObserver {};
struct QuietSink : SilentSink {};

SizeFound LargestSize(std::int64_t N, std::int64_t m, int test, double alpha) {
    SearchTables tables(ComparativeTrial, N, m, 0, 1);
    const PropertyEvaluator e(tables, test, TestPolicy::Simple, Property::ActualTypeIError, alpha);
    SizeFound found;
    constexpr int kGridPoints = 2000;
    for (int i = 0; i <= kGridPoints; ++i) {
        const double p = SearchLowerEnd + i * (SearchUpperEnd - SearchLowerEnd) / kGridPoints;
        found.grid = std::max(found.grid, e.Evaluate(p, 0, 0, 0).value);
    }
    SearchSpec spec;
    spec.key.design = ComparativeTrial;
    spec.key.N = N;
    spec.m = m;
    spec.key.test = test;
    spec.key.parameter = alpha;
    spec.key.accuracy = 1e-4;
    QuietObserver observer;
    QuietSink sink;
    const SearchContext context{observer, sink, [] { return std::string("10:00:00"); }, 1};
    const SearchResult r = RunAreaSearch(spec, e, nullptr, context);
    EXPECT_TRUE(r.converged);
    found.searched = r.maximum.value;
    return found;
}

TEST(UnconditionalStudies, MaximumTypeIErrorOfAComparativeTrialIsAtMostAlpha) {
    struct Alpha {
        const char* name;
        double value;
    };
    const Alpha levels[] = {{".05", 0.05}, {".1", 0.1}};
    for (const Alpha& alpha : levels)
        for (int test : kTests)
            for (std::int64_t N : {4, 9, 16, 25, 34})
                for (std::int64_t m : {std::int64_t{1}, N / 3, N / 2}) {
                    SCOPED_TRACE("alpha " + std::string(alpha.name) + " test " +
                                 std::to_string(test) + " N " + std::to_string(N) + " m " +
                                 std::to_string(m));
                    const SizeFound s = LargestSize(N, m, test, alpha.value);
                    EXPECT_LE(s.searched, SizeLimit(alpha.value));
                    EXPECT_LE(s.grid, SizeLimit(alpha.value));
                }
    // The check has teeth: Pearson's test, which does not keep its size, is caught.
    EXPECT_GT(LargestSize(16, 8, 1, 0.05).searched, 0.05);
}

TEST(UnconditionalStudies, PowerEvaluationSizeIsAtMostAlphaOnAGrid) {
    // Under the null hypothesis (p1 = p2) the power is the size at that proportion.
    for (std::int64_t N : {10, 21, 30})
        for (double p : {0.05, 0.2, 0.5, 0.73}) {
            PowerPoint point;
            point.N = N;
            point.row = static_cast<double>(N / 3);
            point.p1 = p;
            point.p2 = p;
            point.tests = {8, 9};
            const std::optional<PowerEvaluation> ev = EvaluatePower(point);
            ASSERT_TRUE(ev.has_value());
            for (int test : kTests) {
                EXPECT_LE(ev->ForTest(test).power, SizeLimit(point.alpha))
                    << "test " << test << " N " << N << " p " << p;
                EXPECT_LE(ev->ForTest(test).size, SizeLimit(point.alpha))
                    << "test " << test << " N " << N << " p " << p;
            }
        }
}

} // namespace
} // namespace quillon
