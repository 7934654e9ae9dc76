// The two research designs, and every text the program shows or writes for one.
//
// A design is a DesignCode: 1 the cross-sectional study (only N fixed; row and column
// membership independent), 2 the comparative trial (row totals fixed). Files store the
// number; captions, headings, messages, the command line and the windows take their words
// for a design from this one table, so that no two places can spell a design differently.
#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

// A scoped enum, so that a design is never mistaken for a count or a test number; the
// numbers are those the files have always stored, and convert only through DesignNumber
// and DesignFromNumber. The two designs are named unqualified throughout the program.
enum class DesignCode : int { CrossSectionalStudy = 1, ComparativeTrial = 2 };
using enum DesignCode;

struct DesignEntry {
    DesignCode code;
    std::string_view name;        // "Cross-sectional study": captions, headings, design options
    std::string_view inSentence;  // "cross-sectional study": within a sentence
    std::string_view listingName; // "Cross-sectional (1)": the heading of an area's listing
    std::string_view option;      // "cs": the command line's --design value
};

inline constexpr std::array<DesignEntry, 2> Designs{{
    {CrossSectionalStudy, "Cross-sectional study", "cross-sectional study", "Cross-sectional (1)",
     "cs"},
    {ComparativeTrial, "Comparative trial", "comparative trial", "Fixed row totals (2)", "ct"},
}};

// The number a file stores for a design: 1 or 2.
constexpr int DesignNumber(DesignCode design) {
    return static_cast<int>(design);
}

// The entry of a design (a value outside the table reads as the comparative trial, the
// default design everywhere).
constexpr const DesignEntry& DesignOf(DesignCode design) {
    return design == CrossSectionalStudy ? Designs[0] : Designs[1];
}

// "Cross-sectional study" or "Comparative trial".
constexpr std::string_view DesignName(DesignCode design) {
    return DesignOf(design).name;
}

// The entry whose code is `number`, or null for any other number.
constexpr const DesignEntry* FindDesign(int number) {
    for (const DesignEntry& entry : Designs)
        if (DesignNumber(entry.code) == number)
            return &entry;
    return nullptr;
}

// The design a file's number stands for, or nothing for a number that names none.
constexpr std::optional<DesignCode> DesignFromNumber(int number) {
    const DesignEntry* entry = FindDesign(number);
    return entry == nullptr ? std::nullopt : std::optional<DesignCode>(entry->code);
}

// The design of a --design value as a user types it ("cs" or "ct"), or nothing.
constexpr std::optional<DesignCode> DesignFromOption(std::string_view option) {
    for (const DesignEntry& entry : Designs)
        if (entry.option == option)
            return entry.code;
    return std::nullopt;
}

// Why a typed design value is refused, after the name of what was typed ("--design",
// "design"): " must be ct or cs, not 'x'", the default design's value first.
inline std::string DesignOptionRefusal(std::string_view option) {
    return " must be " + std::string(DesignOf(ComparativeTrial).option) + " or " +
           std::string(DesignOf(CrossSectionalStudy).option) + ", not '" + std::string(option) +
           "'";
}

} // namespace quillon
