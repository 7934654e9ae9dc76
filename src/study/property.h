// What the particular and maximum studies report of a test's actual Type I error.
//
//   ActualTypeIError  the probability of the sample tables the test calls significant at
//                     the nominal level alpha ("Prop sig." in the particular study's
//                     summary, "1ProSig" in the maximum study's);
//   MaximumExcess     the largest excess of the actual over the nominal Type I error for
//                     nominal levels up to a cutoff ("Max. dif.", "2MaxDif").
// The particular study's summary charts show one of them; the maximum study maximises one.
#pragma once

#include <optional>
#include <string_view>

namespace quillon {

enum class Property {
    ActualTypeIError = 1,
    MaximumExcess = 2,
};

// "1ProSig" or "2MaxDif", as the maximum study's summary file records it.
constexpr std::string_view PropertyFileText(Property property) {
    return property == Property::ActualTypeIError ? "1ProSig" : "2MaxDif";
}

// The number the file text reads as (1 or 2), and the property a reading names, if any.
constexpr int PropertyNumber(Property property) {
    return static_cast<int>(property);
}
constexpr std::optional<Property> PropertyFromNumber(double reading) {
    for (Property property : {Property::ActualTypeIError, Property::MaximumExcess})
        if (reading == PropertyNumber(property))
            return property;
    return std::nullopt;
}

// "Prop sig." or "Max. dif.", the particular summary file's heading of its column.
constexpr std::string_view PropertyColumnHeading(Property property) {
    return property == Property::ActualTypeIError ? "Prop sig." : "Max. dif.";
}

} // namespace quillon
