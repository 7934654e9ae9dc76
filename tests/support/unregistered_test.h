// A test number that no registered test has, as a test list gives it, and the refusal every
// study's test field answers it with: the number after the registered tests, so the
// refusal stays right whatever the count of tests.
#pragma once

#include "core/test_registry.h"

#include <string>

namespace quillon::testing {

inline std::string UnregisteredTestText() {
    return std::to_string(HighestTestNumber() + 1);
}

inline std::string UnregisteredTestRefusal() {
    return "The value " + UnregisteredTestText() +
           " for variable 'Test(s)' is greater than the maximum value allowed of " +
           std::to_string(HighestTestNumber()) + ".";
}

} // namespace quillon::testing
