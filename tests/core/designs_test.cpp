// The design table: every text a design is shown or read by, from the one table.
#include "core/designs.h"

#include <gtest/gtest.h>

#include <string_view>

namespace quillon {
namespace {

// The texts the program has always written for each design: captions and window options,
// sentences in messages, the area listing's heading, and the command line's --design value.
struct DesignCase {
    const char* label;
    DesignCode code;
    int number; // as the files have always stored it
    std::string_view name, inSentence, listingName, option;
};
constexpr DesignCase kDesignCases[] = {
    {"cross-sectional", CrossSectionalStudy, 1, "Cross-sectional study", "cross-sectional study",
     "Cross-sectional (1)", "cs"},
    {"comparative trial", ComparativeTrial, 2, "Comparative trial", "comparative trial",
     "Fixed row totals (2)", "ct"},
};

TEST(DesignTable, EveryTextOfEveryDesign) {
    for (const DesignCase& c : kDesignCases) {
        SCOPED_TRACE(c.label);
        const DesignEntry* entry = FindDesign(c.number);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(entry->code, c.code);
        EXPECT_EQ(DesignNumber(c.code), c.number);
        EXPECT_EQ(DesignFromNumber(c.number), c.code);
        EXPECT_EQ(entry->name, c.name);
        EXPECT_EQ(DesignName(c.code), c.name);
        EXPECT_EQ(entry->inSentence, c.inSentence);
        EXPECT_EQ(entry->listingName, c.listingName);
        EXPECT_EQ(DesignFromOption(c.option), entry->code);
        EXPECT_EQ(&DesignOf(c.code), entry);
    }
}

TEST(DesignTable, UnknownCodesAndOptions) {
    // A number from a file or a window that names no design is refused by lookup; the
    // comparative trial stands for it only where a design has already been checked.
    for (int number : {0, 3, -1, 12}) {
        EXPECT_EQ(FindDesign(number), nullptr) << number;
        EXPECT_FALSE(DesignFromNumber(number).has_value()) << number;
    }
    for (std::string_view option : {"", "CT", "cs ", "comparative", "1"})
        EXPECT_FALSE(DesignFromOption(option).has_value()) << option;
}

TEST(DesignTable, RefusalOfATypedValue) {
    // The command line puts "--design" before it, the R package "design".
    EXPECT_EQ(DesignOptionRefusal("xy"), " must be ct or cs, not 'xy'");
    EXPECT_EQ(DesignOptionRefusal(""), " must be ct or cs, not ''");
}

} // namespace
} // namespace quillon
