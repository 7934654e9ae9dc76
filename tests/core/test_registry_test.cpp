// The registry of tests: the nine tests under their numbers, names, families and colours,
// each entry wired to its own P value, and the refusals of a registration that would break
// the numbering.
#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "reference/core_literal.h"

#include <gtest/gtest.h>

#include <set>
#include <stdexcept>
#include <string>
#include <tuple>

namespace quillon {
namespace {

double PearsonLike(std::int64_t a, std::int64_t b, std::int64_t c, std::int64_t d) {
    return FindTest(1)->pValue(a, b, c, d);
}

TEST(TestRegistry, TheNineTestsInOrder) {
    struct Expected {
        const char* name;
        TestFamily family;
        Colour colour;
    };
    // The names are the program's key for tests; the colours those the cumulative-frequency
    // chart has always drawn tests 1 to 7 in; tests 8 and 9 take colours of their own.
    const Expected expected[] = {
        {"Pearson chi squared test", TestFamily::ChiSquared, {0, 0, 0}},
        {"Yates's chi squared test", TestFamily::ChiSquared, {191, 191, 0}},
        {"'N - 1' chi squared test", TestFamily::ChiSquared, {0, 255, 0}},
        {"Fisher-Irwin test, by doubling one-sided", TestFamily::FisherIrwin, {0, 0, 255}},
        {"Fisher-Irwin test, tables as frequent or less, either tail",
         TestFamily::FisherIrwin,
         {0, 255, 255}},
        {"Mid-P Fisher-Irwin test, by doubling one-sided", TestFamily::FisherIrwin, {255, 0, 255}},
        {"Mid-P Fisher-Irwin test, less frequent tables either tail",
         TestFamily::FisherIrwin,
         {255, 0, 0}},
        {"Exact unconditional test, chi squared ordering",
         TestFamily::Unconditional,
         {255, 128, 0}},
        {"Exact unconditional test, Fisher-Irwin ordering",
         TestFamily::Unconditional,
         {128, 0, 128}},
    };
    ASSERT_EQ(RegisteredTests().size(), std::size(expected));
    EXPECT_EQ(HighestTestNumber(), 9);
    EXPECT_EQ(AllTestsSpecification(), "1 - 9");
    for (int number = 1; number <= 9; ++number) {
        SCOPED_TRACE(number);
        const Expected& e = expected[number - 1];
        const TestEntry* entry = FindTest(number);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->number, number);
        EXPECT_EQ(entry->name, e.name);
        EXPECT_EQ(TestName(number), e.name);
        EXPECT_EQ(entry->family, e.family);
        EXPECT_EQ(TestColour(number), e.colour);
    }
    for (int outside : {0, -1, 10, TestNumberLimit}) {
        EXPECT_EQ(FindTest(outside), nullptr);
        EXPECT_FALSE(IsRegisteredTest(outside));
        EXPECT_EQ(TestName(outside), "");
    }
}

TEST(TestRegistry, EveryTestHasAColourOfItsOwn) {
    std::set<std::tuple<int, int, int>> seen;
    for (const TestEntry& test : RegisteredTests())
        EXPECT_TRUE(seen.emplace(test.colour.red, test.colour.green, test.colour.blue).second)
            << "test " << test.number;
}

TEST(TestRegistry, EachEntryComputesItsOwnTest) {
    // Six significant figures of 10 2 3 15: the program's worked example (the chi squared
    // values by the same midpoint integral, recomputed in Python); tests 4 to 7 agree with
    // exact rational arithmetic (Python fractions over math.comb).
    const char* published[] = {".000306249", ".00122104",  ".000386286", ".000930362",
                               ".000536724", ".000480662", ".000311874"};
    // Tests 8 and 9: exact rational regions and a dense grid with refinement
    // (tests/reference/unconditional_reference.py), both .000280199572 at p = 1/2.
    constexpr double kUnconditional = 0.0002801995724439621;
    constexpr double kCertified = 1e-7; // relative, the certificate's width
    for (const TestEntry& test : RegisteredTests()) {
        if (test.family == TestFamily::Unconditional) {
            EXPECT_NEAR(test.pValue(10, 2, 3, 15), kUnconditional, kCertified * kUnconditional)
                << "test " << test.number;
            continue;
        }
        EXPECT_EQ(GiveNumberTonsf(test.pValue(10, 2, 3, 15), 6), published[test.number - 1])
            << "test " << test.number;
    }
}

TEST(TestRegistry, FisherIrwinEntriesEqualTheLiteralProcedureOverAGrid) {
    for (std::int64_t a = 0; a <= 6; ++a)
        for (std::int64_t b = 0; b <= 6; ++b)
            for (std::int64_t c = 0; c <= 6; ++c)
                for (std::int64_t d : {0, 1, 4, 9}) {
                    if (a + b + c + d == 0)
                        continue;
                    const FisherPValues literal = reference::FishersExactTestLiteral(a, b, c, d);
                    for (const TestEntry& test : RegisteredTests()) {
                        if (test.family != TestFamily::FisherIrwin)
                            continue;
                        ASSERT_EQ(test.pValue(a, b, c, d), literal[test.number])
                            << a << " " << b << " " << c << " " << d << " test " << test.number;
                    }
                }
}

TEST(TestRegistry, ARegistrationTakesTheNextNumberAndEndsWithItsObject) {
    const int last = HighestTestNumber();
    const int next = last + 1;
    {
        const TestRegistration extra(
            {next, "Extra test", TestFamily::Unconditional, PearsonLike, {10, 20, 30}});
        EXPECT_EQ(HighestTestNumber(), next);
        EXPECT_EQ(AllTestsSpecification(), "1 - " + std::to_string(next));
        EXPECT_EQ(TestName(next), "Extra test");
        EXPECT_EQ(TestColour(next), (Colour{10, 20, 30}));
    }
    EXPECT_EQ(HighestTestNumber(), last);
    EXPECT_EQ(FindTest(next), nullptr);
}

TEST(TestRegistry, RegistrationsThatWouldBreakTheNumberingAreRefused) {
    const Colour grey{1, 2, 3};
    const int last = HighestTestNumber();
    EXPECT_THROW(TestRegistration({last + 2, "Gap", TestFamily::Unconditional, PearsonLike, grey}),
                 std::invalid_argument);
    EXPECT_THROW(TestRegistration({last, "Taken", TestFamily::Unconditional, PearsonLike, grey}),
                 std::invalid_argument);
    EXPECT_THROW(
        TestRegistration({last + 1, "No P value", TestFamily::Unconditional, nullptr, grey}),
        std::invalid_argument);
    EXPECT_EQ(HighestTestNumber(), last);
}

} // namespace
} // namespace quillon
