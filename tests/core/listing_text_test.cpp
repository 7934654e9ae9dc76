// The listing's own number texts must give exactly the characters of the general number
// texts (PlainNumberText, GiveNumberTonsf(x, 7)), which the literal reference uses.
#include "core/listing_text.h"

#include "core/numtext.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

namespace quillon {
namespace {

std::string Plain(double x) {
    std::string s;
    AppendPlainNumberText(s, x);
    return s;
}

std::string Seven(double x) {
    std::string s;
    AppendSevenFigures(s, x);
    return s;
}

TEST(ListingText, NamedValuesAgreeWithGeneralTexts) {
    const double values[] = {0,
                             1,
                             1.1,
                             1.2,
                             (1.0 + 0.2) + 0.1,
                             .05,
                             .5,
                             20,
                             12.345,
                             9.996,
                             987,
                             9999999.5,
                             0.9999999999,
                             1.00000000004,
                             0.00000095367431640625,
                             1e-15,
                             9.99e-16,
                             1e-300,
                             1e15,
                             123456789012345.0,
                             0.1 + 0.2,
                             5e-324,
                             std::numeric_limits<double>::max()};
    for (double x : values) {
        EXPECT_EQ(Plain(x), PlainNumberText(x)) << x;
        EXPECT_EQ(Plain(-x), PlainNumberText(-x)) << -x;
        EXPECT_EQ(Seven(x), GiveNumberTonsf(x, 7)) << x;
    }
}

TEST(ListingText, RandomValuesOverManyScalesAgree) {
    std::mt19937_64 random(20261206);
    std::uniform_real_distribution<double> mantissa(1, 10);
    std::uniform_int_distribution<int> scale(-320, 20);
    for (int i = 0; i < 200000; ++i) {
        const double x = mantissa(random) * std::pow(10.0, scale(random));
        ASSERT_EQ(Plain(x), PlainNumberText(x)) << x;
        ASSERT_EQ(Seven(x), GiveNumberTonsf(x, 7)) << x;
    }
    // Values that round at the seventh figure: halves, and nines carrying into a new digit.
    for (int i = 0; i < 100000; ++i) {
        const double x =
            (std::floor(mantissa(random) * 1e6) + 0.5) * std::pow(10.0, scale(random) / 16);
        ASSERT_EQ(Seven(x), GiveNumberTonsf(x, 7)) << x;
        const double nines = 9.9999999 * std::pow(10.0, scale(random) / 16);
        ASSERT_EQ(Seven(nines), GiveNumberTonsf(nines, 7)) << nines;
    }
}

TEST(ListingText, TableLabel) {
    std::string s;
    AppendTableLabel(s, 3, 0, 1, 4);
    EXPECT_EQ(s, " 3 0 1 4");
    s.clear();
    AppendTableLabel(s, 10000, 0, 2147483647, 12);
    EXPECT_EQ(s, " 10000 0 2147483647 12");
}

} // namespace
} // namespace quillon
