// The area search against its step-by-step reference ("2MaxDif" bit for bit, "1ProSig",
// whose sums are grouped by margins, within the rounding of its terms), against a dense
// grid of the property, and on the edge cases of its rules.
#include "maxima/search.h"

#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/tables.h"
#include "reference/core_literal.h"
#include "reference/maxima_literal.h"
#include "support/sum_tolerance.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

namespace quillon {
namespace {

struct Recorder : SearchObserver {
    std::vector<reference::LiteralEvaluation> evaluations;
    std::vector<GridPassDone> passes;
    int surveys = 0;
    int newMaxima = 0;
    bool finished = false;
    bool surveyBeforeFinish = false;
    SearchFinished last;

    void OnAreaEvaluated(const AreaEvaluated& e) override {
        evaluations.push_back({e.pcol, e.width, e.prow, e.height, e.value, e.bound});
    }
    void OnSurveyPoint(const SurveyPoint& e) override {
        evaluations.push_back({e.pcol, e.width, e.prow, e.height, e.value, e.bound});
    }
    void OnSurveyDone(const SurveyDone&) override { ++surveys; }
    void OnNewMaximum(const NewMaximum&) override { ++newMaxima; }
    void OnGridPassDone(const GridPassDone& e) override {
        passes.push_back(e);
        for (std::size_t k = 0; k < e.points.size(); ++k)
            evaluations.push_back({e.points[k], e.spacing, 0, 0, e.values[k], e.bounds[k]});
    }
    void OnSearchFinished(const SearchFinished& e) override {
        finished = true;
        surveyBeforeFinish = surveys > 0;
        last = e;
    }
};

struct Quiet : SilentSink {
    std::vector<std::string> messages;
    int stopAfter = -1; // StopRequested turns true after this many calls (-1: never)
    mutable int calls = 0;
    void Message(MessageKind, const std::string& text) override { messages.push_back(text); }
    bool StopRequested() const override { return stopAfter >= 0 && ++calls > stopAfter; }
};

SearchSpec Spec(DesignCode design, std::int64_t N, std::int64_t m, int test, Property type,
                double parameter = 0.05, double accuracy = 0.001, double MEN = 0,
                TestPolicy policy = TestPolicy::Simple) {
    SearchSpec s;
    s.key.design = design;
    s.key.N = N;
    s.m = m;
    s.key.test = test;
    s.key.type = type;
    s.key.parameter = parameter;
    s.key.accuracy = accuracy;
    s.key.MEN = MEN;
    s.key.policy = policy;
    return s;
}

struct Searched {
    SearchResult result;
    Recorder events;
};

Searched Search(const SearchSpec& spec, const FoundMaximum* carried = nullptr) {
    SearchTables tables(spec.key.design, spec.key.N, spec.m, spec.key.MEN, spec.key.MMT);
    const PropertyEvaluator evaluator(tables, spec.key.test, spec.key.policy, spec.key.type,
                                      spec.key.parameter);
    Searched out;
    Quiet quiet;
    const SearchContext context{out.events, quiet, [] { return std::string("12:00:00"); }, 2};
    out.result = RunAreaSearch(spec, evaluator, carried, context);
    return out;
}

void ExpectSameAsLiteral(const SearchSpec& spec, const FoundMaximum* carried = nullptr) {
    SCOPED_TRACE("design " + std::to_string(DesignNumber(spec.key.design)) + " N " +
                 std::to_string(spec.key.N) + " m " + std::to_string(spec.m) + " test " +
                 std::to_string(spec.key.test) + " type " +
                 std::string(PropertyFileText(spec.key.type)));
    const Searched fast = Search(spec, carried);
    const reference::LiteralSearch literal = reference::AreaSearchLiteral(spec, carried);
    // "1ProSig" sums by margins: each figure within the rounding of its terms; the areas,
    // and so every decision, are the same.
    const bool grouped = spec.key.type == Property::ActualTypeIError;
    const auto terms = static_cast<double>(TableCount(spec.key.design, spec.key.N, spec.m));
    auto same = [&](double f, double l) {
        return grouped ? testing::WithinSumTolerance(f, l, terms) : f == l;
    };
    ASSERT_EQ(fast.events.evaluations.size(), literal.evaluations.size());
    for (std::size_t i = 0; i < literal.evaluations.size(); ++i) {
        const auto& f = fast.events.evaluations[i];
        const auto& l = literal.evaluations[i];
        ASSERT_EQ(f.pcol, l.pcol) << "area " << i;
        ASSERT_EQ(f.prow, l.prow) << "area " << i;
        ASSERT_TRUE(same(f.value, l.value)) << "area " << i << ": " << f.value << " " << l.value;
        ASSERT_TRUE(same(f.bound, l.bound)) << "area " << i << ": " << f.bound << " " << l.bound;
    }
    EXPECT_TRUE(same(fast.result.maximum.value, literal.maximum.value));
    EXPECT_EQ(fast.result.maximum.pcol, literal.maximum.pcol);
    EXPECT_EQ(fast.result.maximum.prow, literal.maximum.prow);
    EXPECT_EQ(fast.result.maximum.m, literal.maximum.m);
    EXPECT_TRUE(same(fast.result.residueBound, literal.residueBound));
    EXPECT_EQ(fast.result.residueEmpty, literal.residueEmpty);
    EXPECT_EQ(fast.result.converged, literal.converged);
}

TEST(AreaSearchDifferential, ComparativeTrialMatchesLiteral) {
    for (Property type : {Property::ActualTypeIError, Property::MaximumExcess})
        for (int test : {1, 2, 4, 5, 7})
            for (std::int64_t m : {2, 5})
                ExpectSameAsLiteral(Spec(ComparativeTrial, 11, m, test, type));
    // MEN exclusions and the combined policies.
    ExpectSameAsLiteral(Spec(ComparativeTrial, 12, 4, 1, Property::ActualTypeIError, 0.05, 0.001,
                             1.5, TestPolicy::Combined15));
    ExpectSameAsLiteral(Spec(ComparativeTrial, 12, 4, 3, Property::MaximumExcess, 0.1, 0.002, 1,
                             TestPolicy::Combined35));
}

TEST(AreaSearchDifferential, OverallCarriesTheMaximumAcrossM) {
    FoundMaximum carried;
    for (std::int64_t m = 1; m <= 5; ++m) {
        const SearchSpec spec = Spec(ComparativeTrial, 10, m, 3, Property::ActualTypeIError);
        ExpectSameAsLiteral(spec, m == 1 ? nullptr : &carried);
        carried = Search(spec, m == 1 ? nullptr : &carried).result.maximum;
    }
    EXPECT_GT(carried.value, 0);
    EXPECT_GE(carried.m, 1);
}

TEST(AreaSearchDifferential, CrossSectionalMatchesLiteral) {
    for (Property type : {Property::ActualTypeIError, Property::MaximumExcess})
        for (int test : {1, 5})
            ExpectSameAsLiteral(Spec(CrossSectionalStudy, 6, -1, test, type, 0.05, 0.005));
    ExpectSameAsLiteral(
        Spec(CrossSectionalStudy, 7, -1, 3, Property::ActualTypeIError, 0.1, 0.003, 1));
}

// The property at a point, as the evaluator gives it.
double ValueAt(PropertyEvaluator& e, double pcol, double prow) {
    return e.Evaluate(pcol, 0, prow, 0).value;
}

TEST(AreaSearch, FindsTheDenseGridMaximumComparativeTrial) {
    for (int test : {1, 3, 7})
        for (Property type : {Property::ActualTypeIError, Property::MaximumExcess}) {
            const SearchSpec spec = Spec(ComparativeTrial, 14, 5, test, type, 0.05, 0.001);
            SearchTables tables(ComparativeTrial, 14, 5, 0, 1);
            PropertyEvaluator e(tables, test, TestPolicy::Simple, type, 0.05);
            double gridMax = 0;
            for (int i = 0; i <= 4000; ++i)
                gridMax = std::max(
                    gridMax, ValueAt(e, SearchLowerEnd + i * (0.5 - SearchLowerEnd) / 4000, 0));
            const Searched s = Search(spec);
            EXPECT_TRUE(s.result.converged);
            EXPECT_GE(s.result.maximum.value, gridMax - spec.key.accuracy) << "test " << test;
            EXPECT_EQ(s.result.maximum.value, ValueAt(e, s.result.maximum.pcol, 0));
        }
}

TEST(AreaSearch, FindsTheDenseGridMaximumCrossSectional) {
    for (int test : {1, 4}) {
        const SearchSpec spec =
            Spec(CrossSectionalStudy, 8, -1, test, Property::ActualTypeIError, 0.05, 0.002);
        SearchTables tables(CrossSectionalStudy, 8, -1, 0, 1);
        PropertyEvaluator e(tables, test, TestPolicy::Simple, spec.key.type, 0.05);
        double gridMax = 0;
        const int n = 150;
        for (int i = 0; i <= n; ++i)
            for (int j = i; j <= n; ++j)
                gridMax =
                    std::max(gridMax, ValueAt(e, SearchLowerEnd + i * (0.5 - SearchLowerEnd) / n,
                                              SearchLowerEnd + j * (0.5 - SearchLowerEnd) / n));
        const Searched s = Search(spec);
        EXPECT_GE(s.result.maximum.value, gridMax - spec.key.accuracy) << "test " << test;
        EXPECT_EQ(s.result.maximum.value, ValueAt(e, s.result.maximum.pcol, s.result.maximum.prow));
        // It never stops on the residue bound before a survey has set one.
        EXPECT_TRUE(s.events.surveyBeforeFinish || s.result.residueEmpty);
    }
}

TEST(AreaSearch, PEqualToAlphaIsNotSignificantButEqualToTheCutoffCounts) {
    SearchTables tables(ComparativeTrial, 10, 5, 0, 1);
    const std::vector<double>& P = tables.PValues(5, TestPolicy::Simple);
    // A P value that several tables share, used as alpha and as the cutoff.
    double alpha = 0;
    for (double p : P)
        if (p > 0.01 && p < 0.5) {
            alpha = p;
            break;
        }
    ASSERT_GT(alpha, 0);
    const double pcol = 0.3;
    double below = 0, upTo = 0;
    std::vector<double> probability;
    TableArray rows;
    EnumerateTables(ComparativeTrial, 10, pcol, 0, 5, 0, rows);
    for (std::size_t t = 0; t < P.size(); ++t) {
        if (P[t] < alpha)
            below = below + rows.Probability(t + 1);
    }
    PropertyEvaluator sig(tables, 5, TestPolicy::Simple, Property::ActualTypeIError, alpha);
    EXPECT_TRUE(testing::WithinSumTolerance(sig.Evaluate(pcol, 0, 0, 0).value, below,
                                            static_cast<double>(P.size())));

    // "2MaxDif" with the cutoff equal to a P value walks up to and including it.
    PropertyEvaluator at(tables, 5, TestPolicy::Simple, Property::MaximumExcess, alpha);
    PropertyEvaluator under(tables, 5, TestPolicy::Simple, Property::MaximumExcess,
                            std::nextafter(alpha, 0.0));
    for (std::size_t t = 0; t < P.size(); ++t)
        if (P[t] <= alpha)
            upTo = upTo + rows.Probability(t + 1);
    const double excessAtAlpha = at.Evaluate(pcol, 0, 0, 0).value;
    EXPECT_GE(excessAtAlpha, under.Evaluate(pcol, 0, 0, 0).value);
    EXPECT_GE(excessAtAlpha, upTo - alpha - 1e-15);
}

TEST(AreaSearch, EveryTableFailingThePolicyGivesZero) {
    const SearchSpec spec =
        Spec(ComparativeTrial, 10, 5, 1, Property::ActualTypeIError, 0.05, 0.001, 100);
    SearchTables tables(ComparativeTrial, 10, 5, 100, 1);
    PropertyEvaluator e(tables, 1, TestPolicy::Simple, spec.key.type, 0.05);
    const AreaValue v = e.Evaluate(0.2, 0.1, 0, 0);
    EXPECT_EQ(v.value, 0);
    EXPECT_EQ(v.bound, 0);
    const Searched s = Search(spec);
    EXPECT_EQ(s.result.maximum.value, 0);
    EXPECT_EQ(s.result.maximum.pcol, -1);
    EXPECT_EQ(s.events.passes.size(), 1U);

    const Searched cs =
        Search(Spec(CrossSectionalStudy, 6, -1, 4, Property::MaximumExcess, 0.05, 0.001, 100));
    EXPECT_EQ(cs.result.maximum.value, 0);
    EXPECT_TRUE(cs.result.converged);
}

TEST(AreaSearch, GridDoublesOnlyWhenLessThanHalfWasRemoved) {
    const Searched s =
        Search(Spec(ComparativeTrial, 20, 10, 1, Property::ActualTypeIError, 0.05, 0.0001));
    ASSERT_GE(s.events.passes.size(), 3U);
    EXPECT_EQ(s.events.passes[0].points.size(), 11U);
    bool doubled = false, kept = false;
    for (std::size_t i = 0; i + 1 < s.events.passes.size(); ++i) {
        const auto& now = s.events.passes[i];
        const auto& next = s.events.passes[i + 1];
        const double lengthNow = now.spacing * static_cast<double>(now.points.size() - 1);
        const double lengthNext = next.spacing * static_cast<double>(next.points.size() - 1);
        // Lengths within rounding of exactly half are decided by the last bit; skip them.
        if (std::abs(lengthNext / lengthNow - 0.5) < 1e-9)
            continue;
        if (lengthNext < lengthNow / 2) {
            EXPECT_EQ(next.points.size(), now.points.size()) << "pass " << i + 2;
            kept = true;
        } else {
            EXPECT_EQ(next.points.size(), 2 * now.points.size()) << "pass " << i + 2;
            doubled = true;
        }
        // The maximum is never forgotten from one pass to the next.
        EXPECT_GE(next.maximum, now.maximum);
    }
    EXPECT_TRUE(doubled || kept);
}

TEST(AreaSearch, StopRequestEndsTheSearchCleanly) {
    for (DesignCode design : {CrossSectionalStudy, ComparativeTrial}) {
        const SearchSpec spec = Spec(design, 10, 5, 1, Property::ActualTypeIError, 0.05, 0.000001);
        SearchTables tables(design, 10, 5, 0, 1);
        const PropertyEvaluator e(tables, 1, TestPolicy::Simple, spec.key.type, 0.05);
        Recorder events;
        Quiet quiet;
        quiet.stopAfter = 3;
        const SearchContext context{events, quiet, nullptr, 1};
        const SearchResult r = RunAreaSearch(spec, e, nullptr, context);
        EXPECT_TRUE(r.stopped);
        EXPECT_FALSE(r.converged);
        EXPECT_TRUE(events.finished);
    }
}

TEST(AreaSearch, ZeroRowTotalCheck) {
    // (1 - .000001)^N falls below .95 only beyond N = 51293.
    EXPECT_GT(ZeroRowTotalProbability(10000), 0.95);
    EXPECT_LT(ZeroRowTotalProbability(60000), 0.95);
    EXPECT_EQ(ZeroRowTotalMessage(0.5), "The proportion of tables with zero row total is .5");
}

TEST(SearchPValue, MatchesTheStepByStepRuleOnEveryTable) {
    for (TestPolicy policy : {TestPolicy::Simple, TestPolicy::Combined15, TestPolicy::Combined35})
        for (int test : reference::LiteralTests()) {
            if (policy != TestPolicy::Simple && test != 1 && test != 3)
                continue; // the combined policies exist for tests 1 and 3 only
            SearchTables tables(CrossSectionalStudy, 7, -1, 1, 2);
            const std::vector<double>& P = tables.PValues(test, policy);
            for (std::size_t t = 0; t < tables.Count(); ++t) {
                const double expected = reference::SearchPValueLiteral(
                    tables.Cell(t, 1), tables.Cell(t, 2), tables.Cell(t, 3), tables.Cell(t, 4),
                    test, 1, 2, policy);
                ASSERT_EQ(P[t], expected) << "test " << test << " table " << t;
                ASSERT_EQ(SearchPValue(tables.Cell(t, 1), tables.Cell(t, 2), tables.Cell(t, 3),
                                       tables.Cell(t, 4), test, 1, 2, policy),
                          expected);
            }
        }
}

// The P values a search streams set of margins by set of margins are the one-table rule's,
// in the enumeration's order, for every test, policy, MEN and MMT.
TEST(SearchPValue, StreamedByMarginsInTableOrder) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N, m;
        double MEN, MMT;
    };
    const Case cases[] = {
        {"cross-sectional N 9, MEN 1, MMT 2", CrossSectionalStudy, 9, -1, 1, 2},
        {"cross-sectional N 1", CrossSectionalStudy, 1, -1, 0, 1},
        {"comparative trial N 13, m 4, MEN 1.5", ComparativeTrial, 13, 4, 1.5, 1},
        {"comparative trial N 6, m 6", ComparativeTrial, 6, 6, 0, 1},
    };
    for (const Case& c : cases)
        for (TestPolicy policy :
             {TestPolicy::Simple, TestPolicy::Combined15, TestPolicy::Combined35})
            for (int test : reference::LiteralTests()) {
                if (policy != TestPolicy::Simple && test != 1 && test != 3)
                    continue; // the combined policies exist for tests 1 and 3 only
                SCOPED_TRACE(std::string(c.name) + " test " + std::to_string(test) + " policy " +
                             std::string(TestPolicyText(policy)));
                SearchTables tables(c.design, c.N, c.m, c.MEN, c.MMT);
                const PropertyEvaluator e(tables, test, policy, Property::ActualTypeIError, 0.05);
                const std::vector<double> P = e.TablePValues();
                TableArray rows;
                EnumerateTables(c.design, c.N, 0.3, 0, c.design == ComparativeTrial ? c.m : 0.4, 0,
                                rows);
                ASSERT_EQ(P.size(), rows.Count());
                for (std::size_t t = 1; t <= rows.Count(); ++t)
                    ASSERT_EQ(P[t - 1], reference::SearchPValueLiteral(
                                            rows.Cell(t, 1), rows.Cell(t, 2), rows.Cell(t, 3),
                                            rows.Cell(t, 4), test, c.MEN, c.MMT, policy))
                        << "table " << t;
            }
}

// Both properties over a grid of designs, N, m, tests, policies, MEN, MMT, levels and
// areas against the table-by-table sums of the step-by-step reference: "1ProSig" within
// (tables) x 2^-52, "2MaxDif" bit for bit. Also counts how often the 7-figure text of a
// "1ProSig" figure differs from the reference's (a last figure on a rounding boundary).
TEST(PropertyEvaluator, SumsByMarginsMatchTheTableOrderSumsOnAGrid) {
    struct Shape {
        DesignCode design;
        std::int64_t N, m;
    };
    const Shape shapes[] = {{CrossSectionalStudy, 2, -1},  {CrossSectionalStudy, 9, -1},
                            {CrossSectionalStudy, 24, -1}, {ComparativeTrial, 1, 1},
                            {ComparativeTrial, 15, 7},     {ComparativeTrial, 40, 9},
                            {ComparativeTrial, 120, 60}};
    const SearchArea areas[] = {{SearchLowerEnd, 0.01, SearchLowerEnd, 0.01},
                                {0.1, 0.05, 0.35, 0.1},
                                {0.27, 0.001, 0.5, 0},
                                {0.49, 0.01, 0.02, 0.3}};
    struct Rule {
        int test;
        TestPolicy policy;
        double MEN, MMT, parameter;
    };
    const Rule rules[] = {
        {1, TestPolicy::Simple, 0, 1, 0.05},      {2, TestPolicy::Simple, 1, 1, 0.05},
        {3, TestPolicy::Combined35, 1.5, 2, 0.1}, {4, TestPolicy::Simple, 0, 1, 0.05},
        {5, TestPolicy::Simple, 0, 3, 0.01},      {6, TestPolicy::Simple, 0.5, 1, 0.05},
        {7, TestPolicy::Simple, 0, 1, 0.05},      {1, TestPolicy::Combined15, 2, 1, 0.05},
    };
    int figures = 0, moved = 0;
    for (const Shape& shape : shapes)
        for (const Rule& rule : rules) {
            SearchTables tables(shape.design, shape.N, shape.m, rule.MEN, rule.MMT);
            std::vector<double> P;
            {
                TableArray rows;
                EnumerateTables(shape.design, shape.N, 0.3, 0,
                                shape.design == ComparativeTrial ? shape.m : 0.4, 0, rows);
                for (std::size_t t = 1; t <= rows.Count(); ++t)
                    P.push_back(reference::SearchPValueLiteral(
                        rows.Cell(t, 1), rows.Cell(t, 2), rows.Cell(t, 3), rows.Cell(t, 4),
                        rule.test, rule.MEN, rule.MMT, rule.policy));
            }
            for (Property type : {Property::ActualTypeIError, Property::MaximumExcess}) {
                const PropertyEvaluator e(tables, rule.test, rule.policy, type, rule.parameter);
                SearchSpec spec = Spec(shape.design, shape.N, shape.m, rule.test, type,
                                       rule.parameter, 0.001, rule.MEN, rule.policy);
                spec.key.MMT = rule.MMT;
                for (const SearchArea& a : areas) {
                    SCOPED_TRACE("design " + std::to_string(DesignNumber(shape.design)) + " N " +
                                 std::to_string(shape.N) + " test " + std::to_string(rule.test) +
                                 " pcol " + std::to_string(a.pcol));
                    const AreaValue fast = e.Evaluate(a.pcol, a.wcol, a.prow, a.wrow);
                    const AreaValue literal =
                        reference::EvaluateAreaLiteral(spec, P, a.pcol, a.wcol, a.prow, a.wrow);
                    if (type == Property::MaximumExcess) {
                        EXPECT_EQ(fast.value, literal.value);
                        EXPECT_EQ(fast.bound, literal.bound);
                        continue;
                    }
                    const auto terms = static_cast<double>(P.size());
                    EXPECT_TRUE(testing::WithinSumTolerance(fast.value, literal.value, terms))
                        << fast.value << " " << literal.value;
                    EXPECT_TRUE(testing::WithinSumTolerance(fast.bound, literal.bound, terms))
                        << fast.bound << " " << literal.bound;
                    for (auto [f, l] : {std::pair{fast.value, literal.value},
                                        std::pair{fast.bound, literal.bound}}) {
                        ++figures;
                        moved += GiveNumberTonsf(f, 7) != GiveNumberTonsf(l, 7) ? 1 : 0;
                    }
                }
            }
        }
    std::printf("7-figure texts of grouped sums that differ from the table-order sums: %d of %d\n",
                moved, figures);
    EXPECT_LE(moved, figures / 50);
}

TEST(SearchPValue, CombinedPolicyUsesTest5ForOneFailedCondition) {
    // 1, 1, 0, 6 (N = 8): smallest margin 1 < MMT 2 and smallest expected 1 x 1 / 8 < MEN 1:
    // code 1.3 stays. 2, 2, 2, 2 with MMT 5: only the margin fails: test 5's P value.
    EXPECT_EQ(SearchPValue(1, 1, 0, 6, 1, 1, 2, TestPolicy::Combined15), PolicyCodeBoth);
    EXPECT_EQ(SearchPValue(2, 2, 2, 2, 1, 0, 5, TestPolicy::Combined15),
              FishersExactTest(2, 2, 2, 2).test5);
    EXPECT_EQ(SearchPValue(2, 2, 2, 2, 1, 0, 5, TestPolicy::Simple), PolicyCodeMarginal);
    EXPECT_EQ(SearchPValue(3, 1, 1, 3, 3, 0, 1, TestPolicy::Combined35),
              ChiSquaredPValue(ChiSquaredValue(3, 1, 1, 3, 3)));
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

struct SurveyCells : SearchObserver {
    std::vector<SurveyPoint> points;
    std::vector<AreaEvaluated> areas;
    void OnSurveyPoint(const SurveyPoint& e) override { points.push_back(e); }
    void OnAreaEvaluated(const AreaEvaluated& e) override { areas.push_back(e); }
};

TEST(AreaSearch, SurveyBoundsCellsThatReachAboveTheDiagonal) {
    const SearchSpec spec =
        Spec(CrossSectionalStudy, 8, -1, 1, Property::ActualTypeIError, 0.05, 0.001);
    SearchTables tables(CrossSectionalStudy, 8, -1, 0, 1);
    const PropertyEvaluator e(tables, 1, TestPolicy::Simple, spec.key.type, 0.05);
    SurveyCells cells;
    Quiet quiet;
    const SearchContext context{cells, quiet, nullptr, 1};
    RunAreaSearch(spec, e, nullptr, context);
    ASSERT_FALSE(cells.points.empty());
    std::size_t belowCorner = 0;
    for (const SurveyPoint& p : cells.points) {
        // Every surveyed cell reaches the region on or above the diagonal...
        EXPECT_LT(p.pcol, p.prow + p.height);
        // ...and some have their corner below it.
        if (p.pcol > p.prow)
            ++belowCorner;
    }
    EXPECT_GT(belowCorner, 0U);
}

TEST(AreaSearch, AnAccuracyThatCannotBeMetEndsWithAMessage) {
    // (The cross-sectional search gives up the same way once its strips or survey grid pass
    // their limits, but only after surveys too slow for a unit test.)
    for (DesignCode design : {ComparativeTrial}) {
        const SearchSpec spec = Spec(design, 10, 3, 1, Property::ActualTypeIError, 0.05, 1e-300);
        const Searched s = Search(spec);
        EXPECT_FALSE(s.result.converged) << DesignName(design);
        EXPECT_FALSE(s.result.stopped);
        EXPECT_NE(s.result.failure.find("could not refine its areas any further"),
                  std::string::npos)
            << s.result.failure;
        EXPECT_TRUE(s.events.finished);
    }
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Follows the residue from pass to pass and checks the first strip of each pass.
struct StripChecker : SearchObserver {
    bool haveResidue = false;
    SidesDone residue;
    double width = 0;
    bool firstArea = false;
    int oneAreaStrips = 0, checkedStrips = 0;

    void OnStripPassStarted(const StripPassStarted& e) override {
        width = e.stripWidth;
        firstArea = haveResidue;
    }
    void OnSidesDone(const SidesDone& e) override {
        residue = e;
        haveResidue = true;
    }
    void OnAreaEvaluated(const AreaEvaluated& e) override {
        if (!firstArea)
            return;
        firstArea = false;
        ++checkedStrips;
        // The left side's first area starts at the residue's lower-left corner.
        EXPECT_EQ(e.pcol, residue.colLo);
        EXPECT_EQ(e.prow, residue.rowLo);
        const double extent = residue.rowHi - residue.rowLo;
        if (extent < width) {
            // A side shorter than the strip width: one area covering the whole residue.
            ++oneAreaStrips;
            EXPECT_EQ(e.height, extent);
            EXPECT_EQ(e.width, residue.colHi - residue.colLo);
        } else {
            EXPECT_EQ(e.width, width);
            EXPECT_LE(e.height, width);
        }
    }
};

TEST(AreaSearch, StripsShorterThanTheirWidthAreOneArea) {
    // A side shorter than the strip width: one area over the whole residue.
    const StripCut one = CutStrip(0.05, 0.3, 0.11);
    EXPECT_EQ(one.areas, 1);
    EXPECT_EQ(one.thickness, 0.3);
    EXPECT_EQ(one.length, 0.05);
    // Otherwise Int(extent / w) + 1 equal areas, w thick.
    const StripCut five = CutStrip(0.5, 0.3, 0.11);
    EXPECT_EQ(five.areas, 5);
    EXPECT_EQ(five.thickness, 0.11);
    EXPECT_EQ(five.length, 0.5 / 5);
    EXPECT_EQ(CutStrip(0.22, 0.3, 0.11).areas, 3); // Int(2) + 1: the division is exact

    // In searches, every pass starts at the residue's lower-left corner.
    int checked = 0;
    for (int N : {5, 8})
        for (int test : {1, 3, 7}) {
            const SearchSpec spec =
                Spec(CrossSectionalStudy, N, -1, test, Property::ActualTypeIError, 0.05, 0.0005);
            SearchTables tables(CrossSectionalStudy, N, -1, 0, 1);
            const PropertyEvaluator e(tables, test, TestPolicy::Simple, spec.key.type, 0.05);
            StripChecker checker;
            Quiet quiet;
            RunAreaSearch(spec, e, nullptr, {checker, quiet, nullptr, 1});
            checked += checker.checkedStrips;
        }
    EXPECT_GT(checked, 0);
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// The sum over the counted tables of the enumeration's own probabilities, in table order.
AreaValue EnumeratedSum(const SearchTables& tables, const std::vector<double>& P, double alpha,
                        double pcol, double wcol, double prow, double wrow) {
    TableArray rows;
    const double x = tables.Design() == ComparativeTrial ? static_cast<double>(tables.M()) : prow;
    EnumerateTables(tables.Design(), tables.N(), pcol, wcol, x, wrow, rows);
    AreaValue sum;
    for (std::size_t t = 1; t <= rows.Count(); ++t)
        if (P[t - 1] < alpha) {
            sum.value = sum.value + rows.Probability(t);
            sum.bound = sum.bound + rows.Upper(t);
        }
    return sum;
}

TEST(PropertyEvaluator, MatchesTheEnumerationWhereProductsOverflowOrUnderflow) {
    // The table-by-table sums over the enumeration's own probabilities (which come from
    // logarithms where products overflow or underflow); "1ProSig" sums by margins.
    // A comparative trial of 1100 has coefficients beyond a double (C(550, 275)^2 > 1e308);
    // a cross-sectional study of 60 at pi = .000001 has kernels below the smallest double.
    struct Case {
        DesignCode design;
        std::int64_t N, m;
        double pcol, wcol, prow, wrow;
    };
    const Case cases[] = {
        {ComparativeTrial, 1100, 550, 0.5, 0.001, 0, 0},
        {ComparativeTrial, 1100, 550, SearchLowerEnd, 0.01, 0, 0},
        {ComparativeTrial, 1100, 300, 0.2, 0.05, 0, 0},
        {CrossSectionalStudy, 60, -1, SearchLowerEnd, 0.01, SearchLowerEnd, 0.02},
        {CrossSectionalStudy, 60, -1, 0.3, 0.01, SearchLowerEnd, 0.2},
    };
    for (const Case& c : cases) {
        SearchTables tables(c.design, c.N, c.m, 0, 1);
        const PropertyEvaluator e(tables, 1, TestPolicy::Simple, Property::ActualTypeIError, 0.05);
        const AreaValue fast = e.Evaluate(c.pcol, c.wcol, c.prow, c.wrow);
        const AreaValue enumerated = EnumeratedSum(tables, tables.PValues(1, TestPolicy::Simple),
                                                   0.05, c.pcol, c.wcol, c.prow, c.wrow);
        const auto terms = static_cast<double>(tables.Count());
        EXPECT_TRUE(testing::WithinSumTolerance(fast.value, enumerated.value, terms))
            << "N " << c.N << " pcol " << c.pcol << ": " << fast.value << " " << enumerated.value;
        EXPECT_TRUE(testing::WithinSumTolerance(fast.bound, enumerated.bound, terms))
            << "N " << c.N << " pcol " << c.pcol << ": " << fast.bound << " " << enumerated.bound;
        EXPECT_TRUE(std::isfinite(fast.value) && fast.value >= 0 && fast.value <= fast.bound);
    }
}

// One area's tables on several threads: each probability is formed on some thread, and the
// sums run on one, in table order, so the value and the bound are the one-thread ones to
// the last bit (the one-thread evaluation is itself checked against the enumeration above).
TEST(PropertyEvaluator, ManyTablesOnSeveralThreadsGiveTheOneThreadSumsBitForBit) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N, m;
        Property type;
        double parameter; // high enough that most tables count
    };
    const Case cases[] = {
        {"cross-sectional, 1ProSig", CrossSectionalStudy, 100, -1, Property::ActualTypeIError, 0.9},
        {"cross-sectional, 2MaxDif", CrossSectionalStudy, 100, -1, Property::MaximumExcess, 1},
        {"comparative trial beyond a double's coefficients", ComparativeTrial, 1100, 550,
         Property::ActualTypeIError, 0.9},
    };
    // Corners inside, at the lower end (kernels that underflow: the logarithms' path) and
    // across the diagonal.
    const SearchArea areas[] = {
        {0.3, 0.01, 0.35, 0.02},
        {SearchLowerEnd, 0.001, SearchLowerEnd, 0.01},
        {0.1, 0.05, 0.45, 0.05},
        {0.49, 0.01, 0.2, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchTables tables(c.design, c.N, c.m, 0, 1);
        ASSERT_GE(tables.Count(), 2 * PropertyEvaluator::kParallelTables);
        const PropertyEvaluator e(tables, 1, TestPolicy::Simple, c.type, c.parameter);
        for (const SearchArea& a : areas) {
            const AreaValue one = e.Evaluate(a.pcol, a.wcol, a.prow, a.wrow, 1);
            for (unsigned threads : {2U, 4U, 0U}) {
                const AreaValue many = e.Evaluate(a.pcol, a.wcol, a.prow, a.wrow, threads);
                EXPECT_EQ(many.value, one.value) << "pcol " << a.pcol << " threads " << threads;
                EXPECT_EQ(many.bound, one.bound) << "pcol " << a.pcol << " threads " << threads;
            }
            EXPECT_GT(one.bound, 0);
        }
    }
}

// A whole cross-sectional search with the strips' next areas evaluated ahead on several
// threads: every event, the areas counted, the last area and the maximum are those of the
// one-thread search, bit for bit (N = 70 has enough tables for the look-ahead).
TEST(AreaSearch, CrossSectionalStripsEvaluatedAheadGiveTheOneThreadSearch) {
    struct Case {
        const char* name;
        Property type;
        double parameter;
    };
    const Case cases[] = {
        {"1ProSig at .05", Property::ActualTypeIError, 0.05},
        {"2MaxDif up to .1", Property::MaximumExcess, 0.1},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const SearchSpec spec = Spec(CrossSectionalStudy, 70, -1, 1, c.type, c.parameter, 0.005);
        SearchTables tables(spec.key.design, spec.key.N, spec.m, spec.key.MEN, spec.key.MMT);
        const PropertyEvaluator evaluator(tables, spec.key.test, spec.key.policy, spec.key.type,
                                          spec.key.parameter);
        auto run = [&](unsigned threads, Recorder& events) {
            Quiet quiet;
            const SearchContext context{events, quiet, [] { return std::string("12:00:00"); },
                                        threads};
            return RunAreaSearch(spec, evaluator, nullptr, context);
        };
        Recorder oneEvents;
        const SearchResult one = run(1, oneEvents);
        for (unsigned threads : {2U, 3U, 0U}) {
            SCOPED_TRACE(threads);
            Recorder events;
            const SearchResult many = run(threads, events);
            ASSERT_EQ(events.evaluations.size(), oneEvents.evaluations.size());
            for (std::size_t i = 0; i < events.evaluations.size(); ++i) {
                const auto& a = events.evaluations[i];
                const auto& b = oneEvents.evaluations[i];
                ASSERT_TRUE(a.pcol == b.pcol && a.wcol == b.wcol && a.prow == b.prow &&
                            a.wrow == b.wrow && a.value == b.value && a.bound == b.bound)
                    << "event " << i;
            }
            EXPECT_EQ(events.newMaxima, oneEvents.newMaxima);
            EXPECT_EQ(many.areasEvaluated, one.areasEvaluated);
            EXPECT_EQ(many.lastArea.pcol, one.lastArea.pcol);
            EXPECT_EQ(many.lastArea.prow, one.lastArea.prow);
            EXPECT_EQ(many.maximum.value, one.maximum.value);
            EXPECT_EQ(many.maximum.pcol, one.maximum.pcol);
            EXPECT_EQ(many.maximum.prow, one.maximum.prow);
            EXPECT_EQ(many.residueBound, one.residueBound);
            EXPECT_EQ(many.converged, one.converged);
        }
    }
}

} // namespace
} // namespace quillon
