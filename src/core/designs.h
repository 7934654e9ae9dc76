// The two research designs, and every text the program shows or writes for one.
//
// A design is a DesignCode: 1 the cross-sectional study (only N fixed; row and column
// membership independent), 2 the comparative trial (row totals fixed). Files store the
// number; captions, headings, messages, the command line and the windows take their words
// for a design from this one table, so that no two places can spell a design differently.
#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace quillon {

enum DesignCode : int { CrossSectionalStudy = 1, ComparativeTrial = 2 };

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

// The entry of a design. A code other than the cross-sectional study's reads as the
// comparative trial, the default design everywhere; codes from files and users are checked
// where they are read (FindDesign, DesignFromOption).
constexpr const DesignEntry& DesignOf(int design) {
    return design == CrossSectionalStudy ? Designs[0] : Designs[1];
}

// "Cross-sectional study" or "Comparative trial".
constexpr std::string_view DesignName(int design) {
    return DesignOf(design).name;
}

// The entry whose code is `number`, or null for any other number.
constexpr const DesignEntry* FindDesign(int number) {
    for (const DesignEntry& entry : Designs)
        if (static_cast<int>(entry.code) == number)
            return &entry;
    return nullptr;
}

// The design of a command-line --design value ("cs" or "ct"), or nothing.
constexpr std::optional<DesignCode> DesignFromOption(std::string_view option) {
    for (const DesignEntry& entry : Designs)
        if (entry.option == option)
            return entry.code;
    return std::nullopt;
}

} // namespace quillon
