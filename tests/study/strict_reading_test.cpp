// The two readings of a specification: the command line's strict one, which reads a text
// whole or says why not, and the windows' lenient one, which says what it passed over.
#include "study/fields.h"
#include "study/speclang.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace quillon {
namespace {

// Texts the strict reading accepts, with the values it gives.
TEST(StrictReading, ReadsWholeTexts) {
    struct Case {
        const char* name;
        const char* typed;
        std::vector<double> values;
    };
    const Case cases[] = {
        {"one value", "20", {20}},
        {"blanks around", "  20 ", {20}},
        {"list", "10, 20,40", {10, 20, 40}},
        {"range", "10 - 13", {10, 11, 12, 13}},
        {"range without blanks", "10-12", {10, 11, 12}},
        {"sequence", "10 to 30 step 10", {10, 20, 30}},
        {"letters in any case", "1 To 9 STEP 4", {1, 5, 9}},
        {"exponent", "5e-2", {.05}},
        {"exponent with sign", "1E+1", {10}},
        {"exponents in a range", "1e-1 to 3e-1 step 1e-1", {.1, .2, .3}},
        {"negative value", "-0.1", {-.1}},
        {"range to a negative end", "1 - -1 step -1", {1, 0, -1}},
        {"negative step reaches its end", "10 to 4 step -1", {10, 9, 8, 7, 6, 5, 4}},
        {"down to the first test", "7 to 1 step -1", {7, 6, 5, 4, 3, 2, 1}},
        {"step 0 counts by ones", "1 - 3 step 0", {1, 2, 3}},
        {"leading point", ".25,.5", {.25, .5}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const Expansion e = ExpandSpecification(c.typed, Reading::Strict);
        ASSERT_FALSE(e.unreadable.has_value()) << *e.unreadable;
        EXPECT_EQ(e.values, c.values);
    }
}

// Texts the strict reading refuses, each with the reason a user is given. The lenient
// reading of the same texts is what the command line used to run silently (given after
// each case, for the record).
TEST(StrictReading, RefusesWithTheReason) {
    struct Case {
        const char* typed;
        const char* reason;
    };
    const Case cases[] = {
        {"", "there is no value"},          // read as 0
        {"   ", "there is no value"},       // read as 0
        {"abc", "\"abc\" is not a number"}, // 0
        {"nan", "\"nan\" is not a number"}, // 0
        {"inf", "\"inf\" is not a number"}, // 0
        {"-", "\"-\" is not a number"},     // nothing
        {"10 20", "there is a blank inside the number \"10 20\" (values are separated by commas)"},
        {"1 000", "there is a blank inside the number \"1 000\" (values are separated by commas)"},
        {"10;20", "\";20\" is left over after a value"}, // 10
        {"10\xE2\x80\x93"
         "20",
         "\"\xE2\x80\x93"
         "20\" is left over after a value"},                    // en dash
        {"12abc", "\"abc\" is left over after a value"},        // 12
        {"5e - 2", "\"e - 2\" is left over after a value"},     // 5 - 2: nothing
        {"1-5-7", "\"-7\" is left over after a value"},         // 1 to 5
        {"10 step 2", "\"step 2\" is left over after a value"}, // 10
        {"10 tons", "\"tons\" is left over after a value"},     // "10 -ns"
        {"1,,2", "a value is missing before or after a comma"}, // 1 0 2
        {"4,", "a value is missing before or after a comma"},   // 4 0
        {",4", "a value is missing before or after a comma"},   // 0 4
        {"10 -", "the range \"10 -\" has no end"},              // nothing
        {"10 to", "the range \"10 to\" has no end"},            // nothing
        {"1 to 5 step", "\"step\" has no value after it"},      // 1 to 5
        {"1 to x", "\"x\" is not a number"},                    // nothing
        {"5 - 1", "the range \"5 - 1\" gives no value"},        // nothing
        {"4 to 10 step -1", "the range \"4 to 10 step -1\" gives no value"},
    };
    for (const Case& c : cases) {
        const Expansion e = ExpandSpecification(c.typed, Reading::Strict);
        ASSERT_TRUE(e.unreadable.has_value()) << "[" << c.typed << "]";
        EXPECT_EQ(*e.unreadable, c.reason) << "[" << c.typed << "]";
        EXPECT_TRUE(e.values.empty());
    }
}

TEST(StrictReading, SingleValues) {
    EXPECT_FALSE(SingleValueProblem(".05").has_value());
    EXPECT_FALSE(SingleValueProblem(" 5e-2 ").has_value());
    EXPECT_EQ(SingleValueProblem(".01,.05").value(),
              "one value is expected, not a list or a range");
    EXPECT_EQ(SingleValueProblem("1 - 1").value(), "one value is expected, not a list or a range");
    EXPECT_EQ(SingleValueProblem("*").value(), "\"*\" is not a number");
    EXPECT_EQ(SingleValueProblem("").value(), "there is no value");
    EXPECT_EQ(UnreadableMessage("--p1", "abc", "\"abc\" is not a number"),
              "The value \"abc\" given for --p1 cannot be read: \"abc\" is not a number.");
}

// Over a grid of well-formed texts without exponents or negative numbers, the two readings
// agree value for value: the strict reading only refuses, it never reads differently.
TEST(StrictReading, AgreesWithTheWindowsOnWellFormedTexts) {
    const char* numbers[] = {"0", "4", "10", ".05", "0.5", "12.25", "7."};
    const char* steps[] = {"", " step 1", " step .5", " step 3", " STEP .05"};
    int compared = 0;
    for (const char* a : numbers)
        for (const char* b : numbers)
            for (const char* step : steps)
                for (const char* joiner : {" - ", "-", " to ", ", "}) {
                    if (std::string(joiner) == ", " && *step != '\0')
                        continue;
                    const std::string typed = std::string(a) + joiner + b + step;
                    const Expansion strict = ExpandSpecification(typed, Reading::Strict);
                    const Expansion lenient = ExpandSpecification(typed);
                    if (strict.unreadable) {
                        // Only ranges that give nothing are refused here.
                        EXPECT_TRUE(lenient.values.empty()) << typed;
                        continue;
                    }
                    EXPECT_EQ(strict.values, lenient.values) << typed;
                    EXPECT_TRUE(ReadingNote(lenient).empty()) << typed;
                    ++compared;
                }
    EXPECT_GT(compared, 300);
}

// What the windows show below the values when their reading passed text over.
TEST(LenientReading, SaysWhatWasPassedOver) {
    struct Case {
        const char* typed;
        const char* interpretation;
        const char* note;
    };
    const Case cases[] = {
        {"10, 20", "10 20", ""},
        {"10;20", "10", "Text ignored: \";20\"."},
        {"12abc, x", "12 0", "Text ignored: \"abc\", \"x\". A value with no number was read as 0."},
        {"", "0", "A value with no number was read as 0."},
        {"1,,2", "1 0 2", "A value with no number was read as 0."},
        {"-1", "0 1", "A value with no number was read as 0."},
        {"5e-2", "", "Text ignored: \"e\"."},
        {"1 0", "10", ""}, // blanks inside a number are the windows' own reading
    };
    for (const Case& c : cases) {
        const Expansion e = ExpandSpecification(c.typed);
        EXPECT_EQ(e.interpretation, c.interpretation) << "[" << c.typed << "]";
        EXPECT_EQ(ReadingNote(e), c.note) << "[" << c.typed << "]";
    }
    EXPECT_EQ(SingleValueReadingNote(".05"), "");
    EXPECT_EQ(SingleValueReadingNote("abc"),
              "Text ignored: \"abc\". A value with no number was read as 0.");
    EXPECT_EQ(SingleValueReadingNote(".01,.05"), "Text ignored: \",.05\".");
}

// The study's own reading of a field, strict: the refusal names the field's display name
// and quotes the text; the integer test and range check then see the values typed.
TEST(StrictReading, FieldRefusals) {
    const ListRule numbers{"Total number", 4, 10000, WholeRule::All, {}};
    ListField field;
    EXPECT_EQ(ReadListField("abc", numbers, field, Reading::Strict)->message,
              "The value \"abc\" given for 'Total number' cannot be read: \"abc\" is not a "
              "number.");
    EXPECT_EQ(
        ReadListField("-0.1", {"Proportion", 0, 1, WholeRule::None, {}}, field, Reading::Strict)
            ->message,
        "The value -.1 for variable 'Proportion' is less than the minimum value allowed "
        "of 0.");
    EXPECT_FALSE(ReadListField("1e1, 2e1", numbers, field, Reading::Strict).has_value());
    EXPECT_EQ(field.values, (std::vector<double>{10, 20}));
    EXPECT_FALSE(ReadListField("*", numbers, field, Reading::Strict).has_value());
    EXPECT_TRUE(field.asterisk);
    double value = 0;
    EXPECT_EQ(
        ReadSingleValue(".01,.05", 0, 1, "Significance level", value, Reading::Strict)->message,
        "The value \".01,.05\" given for 'Significance level' cannot be read: one value is "
        "expected, not a list or a range.");
    EXPECT_FALSE(ReadSingleValue(".01,.05", 0, 1, "Significance level", value).has_value());
    EXPECT_EQ(value, .01); // the windows' reading, unchanged
}

} // namespace
} // namespace quillon
