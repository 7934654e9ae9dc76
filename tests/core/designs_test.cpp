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
    int number;
    std::string_view name, inSentence, listingName, option;
};
constexpr DesignCase kDesignCases[] = {
    {"cross-sectional", 1, "Cross-sectional study", "cross-sectional study", "Cross-sectional (1)",
     "cs"},
    {"comparative trial", 2, "Comparative trial", "comparative trial", "Fixed row totals (2)",
     "ct"},
};

TEST(DesignTable, EveryTextOfEveryDesign) {
    for (const DesignCase& c : kDesignCases) {
        SCOPED_TRACE(c.label);
        const DesignEntry* entry = FindDesign(c.number);
        ASSERT_NE(entry, nullptr);
        EXPECT_EQ(static_cast<int>(entry->code), c.number);
        EXPECT_EQ(entry->name, c.name);
        EXPECT_EQ(DesignName(c.number), c.name);
        EXPECT_EQ(entry->inSentence, c.inSentence);
        EXPECT_EQ(entry->listingName, c.listingName);
        EXPECT_EQ(DesignFromOption(c.option), entry->code);
        EXPECT_EQ(&DesignOf(c.number), entry);
    }
}

TEST(DesignTable, UnknownCodesAndOptions) {
    // A number from a file or a window that names no design is refused by lookup; the
    // comparative trial stands for it only where a design has already been checked.
    for (int number : {0, 3, -1, 12})
        EXPECT_EQ(FindDesign(number), nullptr) << number;
    EXPECT_EQ(DesignName(0), "Comparative trial");
    for (std::string_view option : {"", "CT", "cs ", "comparative", "1"})
        EXPECT_FALSE(DesignFromOption(option).has_value()) << option;
}

} // namespace
} // namespace quillon
