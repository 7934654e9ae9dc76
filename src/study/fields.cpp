#include "study/fields.h"

#include "core/numtext.h"
#include "core/test_registry.h"
#include "study/speclang.h"

#include <cmath>

namespace quillon {

namespace {

// The field as a refusal of its text names it.
std::string FieldName(const ListRule& rule) {
    return "'" + std::string(rule.displayName.empty() ? rule.lengthName : rule.displayName) + "'";
}

} // namespace

std::string ListField::PlanText() const {
    std::string text;
    for (double v : values)
        text += (text.empty() ? "" : ",") + PlainNumberText(v);
    return text;
}

ListRule TestListRule() {
    return {"Test(s)", 1, static_cast<double>(HighestTestNumber()), WholeRule::All, {}};
}

std::optional<Refusal> ReadListField(std::string_view text, const ListRule& rule, ListField& out,
                                     Reading reading) {
    out = {};
    const Expansion expansion = ExpandSpecification(text, reading);
    if (expansion.asterisk) {
        out.asterisk = true;
        return std::nullopt;
    }
    if (expansion.unreadable)
        return Refusal{UnreadableMessage(FieldName(rule), text, *expansion.unreadable)};
    if (expansion.truncated)
        return Refusal{
            TooManyValuesMessage(rule.lengthName.empty() ? rule.displayName : rule.lengthName)};
    for (double v : SplitInterpretation(expansion.interpretation)) {
        const bool mustBeWhole =
            rule.whole == WholeRule::All || (rule.whole == WholeRule::FromOne && v >= 1);
        if (mustBeWhole && std::trunc(v) != v)
            return Refusal{NotAnIntegerMessage(v)};
        if (!rule.displayName.empty())
            if (auto message = RangeCheck(v, rule.minimum, rule.maximum, rule.displayName))
                return Refusal{*message};
        out.values.push_back(v);
    }
    return std::nullopt;
}

std::optional<Refusal> ReadSingleValue(std::string_view text, double minimum, double maximum,
                                       std::string_view displayName, double& out, Reading reading) {
    if (reading == Reading::Strict)
        if (auto problem = SingleValueProblem(text))
            return Refusal{UnreadableMessage("'" + std::string(displayName) + "'", text, *problem)};
    out = NumericReading(text);
    if (auto message = RangeCheck(out, minimum, maximum, displayName))
        return Refusal{*message};
    return std::nullopt;
}

std::optional<Refusal> FieldReader::List(Dimension d, std::string_view text, const ListRule& rule,
                                         ListField& out) {
    if (auto refusal = ReadListField(text, rule, out, reading_))
        return refusal;
    if (out.asterisk) {
        earlierData_ = true;
        varying_.Add(d);
    } else if (out.Varies()) {
        varying_.Add(d);
    }
    return std::nullopt;
}

} // namespace quillon
