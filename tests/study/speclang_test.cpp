// The specification language: expansion, interpretation text, range check.
#include "study/speclang.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <random>

namespace quillon {
namespace {

TEST(ExpandSpecification, WorkedExpansions) {
    struct Case {
        const char* typed;
        const char* interpretation;
    };
    // The worked expansions and edge cases of the study windows' help.
    const Case cases[] = {
        {"20", "20"},
        {"10, 20, 40", "10 20 40"},
        {"10 - 15", "10 11 12 13 14 15"},
        {"10 to 30 step 5", "10 15 20 25 30"},
        {"1 - 7", "1 2 3 4 5 6 7"},
        {".1 to .5 step .1", ".1 .2 .3 .4 .5"},
        {"0, 1, 3 - 5", "0 1 3 4 5"},
        {".05, .1, .2, .3, .4, .5 ", ".05 .1 .2 .3 .4 .5"},
        {"", "0"},
        {"1,,2", "1 0 2"},
        {"4,", "4 0"},
        {"10 to 30", "10 11 12 13 14 15 16 17 18 19 20 21 22 23 24 25 26 27 28 29 30"},
        {".1 - .5", ".1"},
        {"10 step 2", "10"},
        {"5 - 1", ""},
        {"1 - 4 step 0", "1 2 3 4"},
        {"-5", "0 1 2 3 4 5"},
        {"1-5-7", "1 2 3 4 5"},
        {"1 To 9 Step 4", "1 5 9"},
        {"**", "0"},
        {" *", "0"},
        {"10 -", ""},
        // A negative step reaches its end as a positive one does.
        {"3 - 1 step -1", "3 2 1"},
        {"10 to 4 step -2", "10 8 6 4"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ExpandSpecification(c.typed).interpretation, c.interpretation)
            << "[" << c.typed << "]";
}

TEST(ExpandSpecification, AsteriskAndCounts) {
    const Expansion star = ExpandSpecification("*");
    EXPECT_TRUE(star.asterisk);
    EXPECT_EQ(star.interpretation, "No calculations - just show chart of previous data");
    EXPECT_TRUE(star.values.empty());

    const Expansion steps = ExpandSpecification(".02 to .5 step .02");
    ASSERT_EQ(steps.values.size(), 25u);
    EXPECT_EQ(steps.values.back(), 0.5);
    EXPECT_EQ(steps.values[2], 0.06); // read back from its 15-digit text, not 0.060000000000000005
    const Expansion tenths = ExpandSpecification("0 to 1 step .1");
    ASSERT_EQ(tenths.values.size(), 11u);
    EXPECT_EQ(tenths.values.back(), 1.0);
}

TEST(ExpandSpecification, EndlessListsAreCutShort) {
    for (const char* typed : {"0 - 1e12", "0 - 1 step 1e-20", "1e999 - 1e999", "0 - 1e999"}) {
        const Expansion e = ExpandSpecification(typed);
        EXPECT_TRUE(e.truncated) << typed;
        EXPECT_EQ(e.values.size(), MaxSpecificationValues) << typed;
        EXPECT_NE(e.interpretation.find(" ... (more than 100000 values)"), std::string::npos)
            << typed;
    }
    EXPECT_FALSE(ExpandSpecification("1 - 100000").truncated);
    EXPECT_TRUE(ExpandSpecification("1 - 100001").truncated);
    EXPECT_NE(TooManyValuesMessage("Total number").find("'Total number'"), std::string::npos);
}

TEST(ExpandSpecification, RandomTextNeverHangsOrCrashes) {
    std::mt19937 rng(5);
    const std::string alphabet = "0123456789.,- *toTOstepSTEPe+x";
    for (int i = 0; i < 3000; ++i) {
        std::string s;
        const int len = static_cast<int>(rng() % 30);
        for (int k = 0; k < len; ++k)
            s += alphabet[rng() % alphabet.size()];
        const Expansion e = ExpandSpecification(s);
        ASSERT_LE(e.values.size(), MaxSpecificationValues) << s;
    }
}

TEST(SplitInterpretation, AsTheDriversReadIt) {
    EXPECT_EQ(SplitInterpretation("10 20 40"), (std::vector<double>{10, 20, 40}));
    EXPECT_EQ(SplitInterpretation(".1 .2"), (std::vector<double>{0.1, 0.2}));
    EXPECT_EQ(SplitInterpretation(""), (std::vector<double>{0}));
    EXPECT_EQ(SplitInterpretation("-1 2"), (std::vector<double>{-1, 2}));
}

TEST(RangeCheck, Messages) {
    EXPECT_EQ(
        RangeCheck(2, 4, 10000, "Total number").value(),
        "The value  2 for variable 'Total number' is less than the minimum value allowed of 4.");
    EXPECT_EQ(
        RangeCheck(20000, 4, 10000, "Total number").value(),
        "The value 20000 for variable 'Total number' is greater than the maximum value allowed "
        "of 10000.");
    EXPECT_EQ(RangeCheck(-0.1, 0, 0.5, "Population proportion in column 1").value(),
              "The value -.1 for variable 'Population proportion in column 1' is less than the "
              "minimum value allowed of 0.");
    EXPECT_FALSE(RangeCheck(4, 4, 10000, "Total number").has_value());
    EXPECT_FALSE(RangeCheck(10000, 4, 10000, "Total number").has_value());
    EXPECT_EQ(NotAnIntegerMessage(10.5), " 10.5 is not an integer");
}

} // namespace
} // namespace quillon
