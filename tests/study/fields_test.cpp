// Reading the fields of a specification window: the integer test, the range check and the
// too-long list, in the order the values come; the variation key and the "*" of earlier
// data. The expected messages are the system's own texts.
#include "study/fields.h"

#include "study/speclang.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

const ListRule kNumbers{"Total number", 4, 10000, WholeRule::All, {}};
const ListRule kRowNumbers{"Pop. prop. / number in row 1", 0, 100000, WholeRule::FromOne, {}};
const ListRule kUnchecked{{}, 0, 0, WholeRule::None, "Minimum expected number"};

TEST(ReadListField, ValuesAndRefusals) {
    struct Case {
        const char* name;
        const ListRule* rule;
        const char* text;
        std::vector<double> values; // when accepted
        const char* refusal;        // when refused
    };
    const Case cases[] = {
        {"a sequence", &kNumbers, "10 to 30 step 10", {10, 20, 30}, nullptr},
        {"a list with a range", &kNumbers, "4, 6 - 8", {4, 6, 7, 8}, nullptr},
        {"below the minimum",
         &kNumbers,
         "10, 3",
         {},
         "The value  3 for variable 'Total number' is less than the minimum value allowed of 4."},
        // The integer test comes before the range check of the same value.
        {"not whole and too small", &kNumbers, "2.5", {}, " 2.5 is not an integer"},
        {"proportions below 1 need not be whole", &kRowNumbers, ".25, 5", {.25, 5}, nullptr},
        {"numbers from 1 on must be whole", &kRowNumbers, ".25, 5.5", {}, " 5.5 is not an integer"},
        {"no range check", &kUnchecked, ".5, 1e6", {.5, 1e6}, nullptr},
        // An empty interpretation reads as 0, which the range check then refuses.
        {"empty range",
         &kNumbers,
         "5 - 1",
         {},
         "The value  0 for variable 'Total number' is less than the minimum value allowed of 4."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ListField field;
        const auto refusal = ReadListField(c.text, *c.rule, field);
        if (c.refusal) {
            ASSERT_TRUE(refusal.has_value());
            EXPECT_EQ(refusal->message, c.refusal);
        } else {
            ASSERT_FALSE(refusal.has_value()) << refusal->message;
            EXPECT_EQ(field.values, c.values);
            EXPECT_FALSE(field.asterisk);
        }
    }
}

TEST(ReadListField, TooLongAListNamesItsField) {
    ListField field;
    const auto named = ReadListField("0 - 1e12", kNumbers, field);
    ASSERT_TRUE(named.has_value());
    EXPECT_EQ(named->message, TooManyValuesMessage("Total number"));
    // A list without a range check is named by its own name for that message.
    const auto unchecked = ReadListField("0 - 1e12", kUnchecked, field);
    ASSERT_TRUE(unchecked.has_value());
    EXPECT_EQ(unchecked->message, TooManyValuesMessage("Minimum expected number"));
}

TEST(ReadSingleValue, RangeCheckedNumber) {
    double v = -1;
    EXPECT_FALSE(ReadSingleValue(" .05", 0, 1, "Parameter", v).has_value());
    EXPECT_EQ(v, .05);
    const auto refusal = ReadSingleValue("2", 0, 1, "Parameter", v);
    ASSERT_TRUE(refusal.has_value());
    EXPECT_EQ(refusal->message,
              "The value 2 for variable 'Parameter' is greater than the maximum value allowed "
              "of 1.");
}

TEST(FieldReader, VariationKeyAndEarlierData) {
    FieldReader reader;
    ListField numbers, tests, mens;
    ASSERT_FALSE(reader.List(Dimension::Number, "10, 20", kNumbers, numbers));
    ASSERT_FALSE(reader.List(Dimension::Test, "3", {"Test(s)", 1, 7, WholeRule::All, {}}, tests));
    EXPECT_EQ(reader.Varying().Text(), "_Number");
    EXPECT_FALSE(reader.EarlierData());
    // "*" varies its dimension and asks for earlier data instead of a calculation.
    ASSERT_FALSE(reader.List(Dimension::MEN, "*", kUnchecked, mens));
    EXPECT_TRUE(mens.asterisk);
    EXPECT_TRUE(mens.values.empty());
    EXPECT_TRUE(reader.EarlierData());
    EXPECT_EQ(reader.Varying(), (DimensionSet{Dimension::Number, Dimension::MEN}));
    // A refused list leaves the key as it was.
    FieldReader refusing;
    ListField bad;
    EXPECT_TRUE(refusing.List(Dimension::Number, "2, 3", kNumbers, bad).has_value());
    EXPECT_TRUE(refusing.Varying().Empty());
}

} // namespace
} // namespace quillon
