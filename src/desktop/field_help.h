// Help on every field and option of the specification windows: a short tip for the mouse,
// a longer text for What's This, and the same texts gathered as each window's section of
// the help text, so a field is explained once for both.
#pragma once

#include <span>
#include <string>
#include <string_view>

namespace quillon {

// The part of the help a window's Help button opens at.
enum class HelpTopic {
    General,    // the start of the help text (the start window)
    Particular, // the particular-proportion window
    Maximum,    // the maximum window
    Power,      // the power window
};

struct FieldHelp {
    std::string_view control; // the control's name in its window, e.g. "txtNumber"
    std::string_view caption; // how the section names it
    std::string_view tip;     // a tool tip, for controls the window gives none of its own
    std::string_view text;    // What's This, and the field's paragraph of the section
};

// The fields and options of a specification window, in the window's order (empty for
// HelpTopic::General).
std::span<const FieldHelp> FieldHelpFor(HelpTopic window);

// A window's section: its heading line, then a paragraph a field ("Caption: text"),
// paragraphs separated by an empty line, lines ended by CR LF.
std::string HelpSection(HelpTopic window);
// The heading line that opens a window's section (empty for HelpTopic::General).
std::string_view HelpSectionHeading(HelpTopic window);

} // namespace quillon
