// Number texts and the numeric reading.
#include "core/numtext.h"

#include <gtest/gtest.h>

#include <limits>
#include <random>

namespace quillon {
namespace {

TEST(GiveNumberTonsf, SignificantFigureTable) {
    struct Row {
        double x;
        const char* two;
        const char* three;
        const char* six;
    };
    // The program's table of significant-figure texts.
    const Row rows[] = {
        {0.5, ".50", ".500", ".500000"},
        {1, "1.0", "1.00", "1.00000"},
        {0.05, ".050", ".0500", ".0500000"},
        {12.345, "12", "12.3", "12.3450"},
        {0.00123, ".0012", ".00123", ".00123000"},
        {9.996, "10", "10.0", "9.99600"},
        {987, "990", "987", "987.000"},
        {0.000049999, ".000050", ".0000500", ".0000499990"},
    };
    for (const Row& r : rows) {
        EXPECT_EQ(GiveNumberTonsf(r.x, 2), r.two) << r.x;
        EXPECT_EQ(GiveNumberTonsf(r.x, 3), r.three) << r.x;
        EXPECT_EQ(GiveNumberTonsf(r.x, 6), r.six) << r.x;
    }
}

TEST(GiveNumberTonsf, EdgeCases) {
    EXPECT_EQ(GiveNumberTonsf(0, 6), "0");
    EXPECT_EQ(GiveNumberTonsf(0.46, 0), ".5");
    EXPECT_EQ(GiveNumberTonsf(0.46, 0.7), ".5");
    EXPECT_EQ(GiveNumberTonsf(1.2e-10, 2), ".00000000012");
    EXPECT_EQ(GiveSignedNumberTonsf(-0.0123, 2), "-.012");
    EXPECT_EQ(GiveSignedNumberTonsf(0, 2), "0");
    EXPECT_EQ(GiveNumberTonsf(0.0625, 7), ".06250000");
    // Never an endless scaling loop, whatever comes in.
    EXPECT_EQ(GiveNumberTonsf(-2, 2), "-2.0");
    EXPECT_EQ(GiveNumberTonsf(std::numeric_limits<double>::infinity(), 3), "Infinity");
}

TEST(PlainNumberText, Forms) {
    EXPECT_EQ(PlainNumberText(0.05), " .05");
    EXPECT_EQ(PlainNumberText(20), " 20");
    EXPECT_EQ(PlainNumberText(-1), "-1");
    EXPECT_EQ(PlainNumberText(-0.5), "-.5");
    EXPECT_EQ(PlainNumberText(0), " 0");
    EXPECT_EQ(PlainNumberText(0.1 + 0.2), " .3"); // rounded to 15 significant digits
    EXPECT_EQ(PlainNumberText(0.06 + 1e-17), " .06");
    EXPECT_EQ(PlainNumberText(2.5), " 2.5");
    EXPECT_EQ(PlainNumberText(123456789012345.0), " 123456789012345");
    EXPECT_EQ(PlainNumberText(1e15), " 1E+15");
    EXPECT_EQ(PlainNumberText(0.000001), " .000001");
}

TEST(GeneralNumberText, Forms) {
    EXPECT_EQ(GeneralNumberText(12), "12");
    EXPECT_EQ(GeneralNumberText(2.5), "2.5");
    EXPECT_EQ(GeneralNumberText(0.5), "0.5");
    EXPECT_EQ(GeneralNumberText(-0.05), "-0.05");
}

// Derived values in headings: what has few digits stays as typed values read, a long
// expansion (p0 = 5/14 of p1 = .2, p2 = .5 with 2 of 7 subjects in row 1) is cut to seven
// significant figures. References are the decimal expansions of the fractions.
TEST(DerivedNumberText, SevenSignificantFiguresAtMost) {
    struct Case {
        const char* name;
        double x;
        const char* text;
    };
    const Case cases[] = {
        {"short_kept", .35, " .35"},
        {"seven_digits_kept", .1234567, " .1234567"},
        {"five_fourteenths", 5.0 / 14, " .3571429"},
        {"two_thirds", 2.0 / 3, " .6666667"},
        {"trailing_zeros_dropped", 0.3000000004, " .3"},
        {"negative", -2.0 / 3, "-.6666667"},
        {"whole", 20, " 20"},
    };
    for (const Case& k : cases)
        EXPECT_EQ(DerivedNumberText(k.x), k.text) << k.name;
}

TEST(NumericReading, Cases) {
    struct Case {
        const char* text;
        double value;
    };
    const Case cases[] = {
        {"10 ", 10},    {" .5", 0.5}, {"1 2", 12},   {"", 0},        {"abc", 0},   {"12abc", 12},
        {"-2.5", -2.5}, {"+3", 3},    {"1e3", 1000}, {"1E-2", 0.01}, {"2e", 2},    {"1.2.3", 1.2},
        {"- 4", -4},    {".", 0},     {"-", 0},      {"0.000", 0},   {"1d2", 100}, {"\t7", 7},
    };
    for (const Case& c : cases)
        EXPECT_EQ(NumericReading(c.text), c.value) << "[" << c.text << "]";
}

TEST(NumericReading, OverflowNeverGivesInfinity) {
    EXPECT_EQ(NumericReading("1e999"), std::numeric_limits<double>::max());
    EXPECT_EQ(NumericReading("-1e999"), -std::numeric_limits<double>::max());
    EXPECT_EQ(NumericReading("1e-999"), 0.0);
    EXPECT_EQ(NumericReading(std::string(400, '9')), std::numeric_limits<double>::max());
    EXPECT_EQ(NumericReading("0." + std::string(400, '0') + "1"), 0.0);
}

TEST(NumericReading, RandomTextNeverCrashesOrGivesNonFinite) {
    std::mt19937 rng(99);
    const std::string alphabet = "0123456789.eE+- dD,x*";
    for (int i = 0; i < 20000; ++i) {
        std::string s;
        const int len = static_cast<int>(rng() % 24);
        for (int k = 0; k < len; ++k)
            s += alphabet[rng() % alphabet.size()];
        const double v = NumericReading(s);
        ASSERT_TRUE(std::isfinite(v)) << "[" << s << "]";
        const std::string text = PlainNumberText(v);
        ASSERT_FALSE(text.empty());
        ASSERT_EQ(NumericReading(text), NumericReading(PlainNumberText(NumericReading(text)))) << s;
    }
}

} // namespace
} // namespace quillon
