// The P-value pass against the literal procedures, table by table. The pass computes the P
// values of a symmetry class of tables (mirror images, complements, transposes) once per
// working table and hands them to every table of the class; that is sound only where the
// literal arithmetic gives each of those tables the same bits, which these grids check on
// every table.
#include "study/significance.h"

#include "core/pvalues.h"
#include "core/tables.h"
#include "core/test_registry.h"
#include "reference/core_literal.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <unordered_map>
#include <vector>

namespace quillon {
namespace {

// The tests the pass computes by family (one margin product, one set of hypergeometric
// terms), from the registry.
std::vector<const TestEntry*> FamilyTests() {
    std::vector<const TestEntry*> tests;
    for (const TestEntry& test : RegisteredTests())
        if (test.family == TestFamily::ChiSquared || test.family == TestFamily::FisherIrwin)
            tests.push_back(&test);
    return tests;
}

// The literal P value of one table, or its policy code: the program's procedures step by
// step with no sharing of any kind. The midpoint integral is kept per chi squared value,
// as it is the same function of it for every table.
class LiteralPValues {
public:
    double Of(const TestEntry& test, std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d,
              double MEN, double MMT) {
        const double A = double(a), B = double(b), C = double(c), D = double(d);
        const PolicyResult policy =
            CheckTablePolicy(A + B + C + D, A + B, C + D, A + C, B + D, MEN, MMT);
        if (!policy.eligible)
            return policy.code;
        if (test.family == TestFamily::ChiSquared) {
            const double X = ChiSquaredValue(A, B, C, D, test.number);
            const auto key = std::bit_cast<std::uint64_t>(X);
            auto it = normal_.find(key);
            if (it == normal_.end())
                it = normal_.emplace(key, 2 * reference::CumulativeNormalLiteral(-std::pow(X, 0.5)))
                         .first;
            return it->second;
        }
        return reference::FishersExactTestLiteral(a, b, c, d)[test.number];
    }

private:
    std::unordered_map<std::uint64_t, double> normal_;
};

struct Grid {
    std::string name;
    DesignCode design;
    std::int64_t N;
    std::int64_t m; // comparative trial only
    double MEN, MMT;
    std::optional<double> level = {}; // a pass deciding only P <= level
};

// Every table of the grid's enumeration: the pass's column equals the literal P value bit
// for bit, for every test of the two families. A pass deciding at a level holds the
// literal P value where it is at most the level and the marker where it is above (a
// policy code stays).
void ExpectLiteralBits(const Grid& g, LiteralPValues& literal) {
    SCOPED_TRACE(g.name);
    TableArray tables;
    EnumerateTables(g.design, g.N, .3, 0, g.design == ComparativeTrial ? double(g.m) : .4, 0,
                    tables);
    const std::vector<const TestEntry*> tests = FamilyTests();
    TestSet needed{};
    for (const TestEntry* t : tests)
        needed[static_cast<std::size_t>(t->number)] = true;
    PValuePass pass = MakePValuePass(g.design, g.N, g.design == ComparativeTrial ? double(g.m) : .4,
                                     g.MEN, g.MMT);
    pass.decisionLevel = g.level;
    ASSERT_TRUE(ComputeTablePValues(pass, needed, tables, 1, nullptr));
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        const std::int64_t a = tables.Cell(row, 1), b = tables.Cell(row, 2),
                           c = tables.Cell(row, 3), d = tables.Cell(row, 4);
        const double A = double(a), B = double(b), C = double(c), D = double(d);
        const bool eligible =
            CheckTablePolicy(A + B + C + D, A + B, C + D, A + C, B + D, g.MEN, g.MMT).eligible;
        for (const TestEntry* t : tests) {
            double expected = literal.Of(*t, a, b, c, d, g.MEN, g.MMT);
            if (g.level && eligible && !(expected <= *g.level))
                expected = NotSignificantMarker;
            const double got = tables.Result(row, t->number);
            ASSERT_EQ(std::bit_cast<std::uint64_t>(got), std::bit_cast<std::uint64_t>(expected))
                << "table " << a << " " << b << " " << c << " " << d << " test " << t->number
                << ": " << got << " against " << expected;
        }
    }
}

// Policies the grids cycle through: none beyond a zero margin, the usual MEN, and one that
// excludes many tables on both counts.
struct Policy {
    double MEN, MMT;
};
constexpr Policy kPolicies[] = {{0, 1}, {1, 1}, {2.5, 3}};

TEST(PValuePass, EveryTableOfSmallComparativeTrialsHasItsLiteralPValues) {
    LiteralPValues literal;
    int grid = 0;
    for (std::int64_t N = 2; N <= 34; ++N)
        for (std::int64_t m = 1; m < N; ++m, ++grid) {
            const Policy& p = kPolicies[grid % 3];
            ExpectLiteralBits({"ct N " + std::to_string(N) + " m " + std::to_string(m),
                               ComparativeTrial, N, m, p.MEN, p.MMT},
                              literal);
        }
}

TEST(PValuePass, EveryTableOfSmallCrossSectionalStudiesHasItsLiteralPValues) {
    LiteralPValues literal;
    for (std::int64_t N = 1; N <= 22; ++N)
        for (const Policy& p : kPolicies)
            ExpectLiteralBits({"cs N " + std::to_string(N) + " MEN " + std::to_string(p.MEN),
                               CrossSectionalStudy, N, 0, p.MEN, p.MMT},
                              literal);
}

TEST(PValuePass, EveryTableOfLargerEnumerationsHasItsLiteralPValues) {
    LiteralPValues literal;
    const Grid grids[] = {
        {"ct N 200 m 100 (equal rows: every mirror shares margins)", ComparativeTrial, 200, 100, 0,
         1},
        {"ct N 200 m 37", ComparativeTrial, 200, 37, 1, 1},
        {"ct N 301 m 150", ComparativeTrial, 301, 150, 0, 1},
        {"cs N 48", CrossSectionalStudy, 48, 0, 1, 1},
    };
    for (const Grid& g : grids)
        ExpectLiteralBits(g, literal);
}

// A pass deciding only P <= alpha: the same P values where they are at most alpha, the
// marker elsewhere, at the usual levels, the extremes, and levels equal to P values of the
// grid's own tables (which are significant under P <= alpha, and must keep their values).
TEST(PValuePass, DecidingAtALevelKeepsEverySignificantPValueAndMarksTheRest) {
    LiteralPValues literal;
    std::vector<double> levels = {0.05, 0.01, 0.1, 0, 1, -1, 1e-9};
    // P values that tables of the grids below take (all of N = 13, every one of whose tables
    // the cross-sectional grid holds, and of N = 200, m = 100): chi squared ones (tests 1 and
    // 3) and Fisher-Irwin ones (tests 4, 5 and 7).
    levels.push_back(ChiSquaredPValue(ChiSquaredValue(2, 2, 1, 8, 1)));
    levels.push_back(ChiSquaredPValue(ChiSquaredValue(3, 1, 2, 7, 3)));
    levels.push_back(ChiSquaredPValue(ChiSquaredValue(60, 40, 45, 55, 1)));
    levels.push_back(FishersExactTest(1, 6, 4, 2).test5);
    levels.push_back(FishersExactTest(0, 5, 4, 4).test4);
    levels.push_back(FishersExactTest(58, 42, 44, 56).test7);
    int grid = 0;
    for (double level : levels) {
        for (std::int64_t N = 6; N <= 20; N += 7)
            for (std::int64_t m = 1; m < N; m += 2, ++grid) {
                const Policy& p = kPolicies[grid % 3];
                ExpectLiteralBits({"ct N " + std::to_string(N) + " m " + std::to_string(m) +
                                       " level " + std::to_string(level),
                                   ComparativeTrial, N, m, p.MEN, p.MMT, level},
                                  literal);
            }
        for (std::int64_t N : {7, 13})
            ExpectLiteralBits({"cs N " + std::to_string(N) + " level " + std::to_string(level),
                               CrossSectionalStudy, N, 0, 1, 1, level},
                              literal);
        ExpectLiteralBits({"ct N 200 m 100 level " + std::to_string(level), ComparativeTrial, 200,
                           100, 0, 1, level},
                          literal);
    }
}

// The chi squared values of a class are the same bits as long as every product of four
// margins is exact in a double; the pass relies on that up to MaxExactMarginProductN.
TEST(PValuePass, ChiSquaredValuesOfAClassAreTheSameBitsUpToTheExactProductLimit) {
    // The limit itself: the largest product of four margins, (N / 2)^4, and the largest
    // D0^2, (N^2 / 4)^2, are whole numbers below 2^53.
    const double half = static_cast<double>(MaxExactMarginProductN) / 2;
    EXPECT_LT(half * half * half * half, 0x1p53);
    std::mt19937_64 rng(16);
    const std::int64_t totals[] = {40, 1000, 7919, MaxExactMarginProductN};
    for (std::int64_t N : totals) {
        std::uniform_int_distribution<std::int64_t> cut(0, N);
        for (int i = 0; i < 2000; ++i) {
            std::int64_t x = cut(rng), y = cut(rng), z = cut(rng);
            if (x > y)
                std::swap(x, y);
            if (y > z)
                std::swap(y, z);
            if (x > y)
                std::swap(x, y);
            const double a = double(x), b = double(y - x), c = double(z - y), d = double(N - z);
            if (a + b == 0 || c + d == 0 || a + c == 0 || b + d == 0)
                continue;
            // The eight arrangements: rows swapped, columns swapped, transposed.
            const double arrangements[][4] = {{a, b, c, d}, {b, a, d, c}, {c, d, a, b},
                                              {d, c, b, a}, {a, c, b, d}, {c, a, d, b},
                                              {b, d, a, c}, {d, b, c, a}};
            for (int test = 1; test <= 3; ++test) {
                const double X = ChiSquaredValue(a, b, c, d, test);
                for (const auto& t : arrangements)
                    ASSERT_EQ(
                        std::bit_cast<std::uint64_t>(ChiSquaredValue(t[0], t[1], t[2], t[3], test)),
                        std::bit_cast<std::uint64_t>(X))
                        << a << " " << b << " " << c << " " << d << " test " << test;
            }
        }
    }
}

} // namespace
} // namespace quillon
