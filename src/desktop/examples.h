// The published examples offered in the two specification windows: each fills the fields
// with the specifications of a published table or figure, so that the program's results
// can be compared with (or checked against) the literature.
#pragma once

#include <span>
#include <string>
#include <string_view>

#include "core/designs.h"
#include "desktop/settings.h"

namespace quillon {

// Shown beside the list when the chosen example's text holds "*": the literature gave
// one-sided results.
inline constexpr std::string_view OneSidedNote =
    "* The published results are for a one-sided test, so compare twice the published value "
    "with two-sided values calculated here at twice the significance level";

// The note for an example's list text: OneSidedNote when it holds "*", else empty.
std::string_view OneSidedNoteFor(std::string_view listText);

struct ParticularExample {
    std::string_view listText;
    DesignCode design;
    std::string_view number, test, pCol, pRow, parameter;
    std::string_view men; // "0" except where the example restricts by MEN
};

struct MaximumExample {
    std::string_view listText;
    DesignCode design;
    std::string_view number, test, row1, men, parameter;
    double accuracy; // written into the field as GeneralNumberText
};

// A typical power study: the design and the lists it fills in.
struct PowerExample {
    std::string_view listText;
    DesignCode design;
    std::string_view number, row, p1, p2, test, men, alpha, target;
};

// The 13 examples of the particular-study window and the 16 of the maximum-study window,
// in list order.
std::span<const ParticularExample> ParticularExamples();
std::span<const MaximumExample> MaximumExamples();
// The typical examples of the power-study window, in list order.
std::span<const PowerExample> PowerExamples();

// The saved fields after choosing an example: the interval, MEN, MMT and Pause are reset
// whatever they were, then the example's own values are filled in.
ParticularSettings ApplyExample(const ParticularExample& example, ParticularSettings fields);
// MMT back to 1, Pause cleared, the example's values filled in (accuracy as the general
// number text). The window also sets the maximum type back to "1ProSig".
MaximaSettings ApplyExample(const MaximumExample& example, MaximaSettings fields);
// MMT back to 1, Pause cleared, the example's values filled in.
PowerSettings ApplyExample(const PowerExample& example, PowerSettings fields);

} // namespace quillon
