// The unconditional tests' analysis block and the help's worked example, which quotes it.
#include "analysis/unconditional_tests.h"
#include "desktop/help_text.h"

#include <gtest/gtest.h>

#include <string>

namespace quillon {
namespace {

TEST(UnconditionalText, HelpQuotesTheAnalysisOfItsWorkedExample) {
    const std::string block = UnconditionalTestsText(14, 33, 48, 235, "\n");
    const std::string help = UnconditionalHelpText();
    for (const char* figure : {".0611418", ".0396136", ".00388"}) {
        EXPECT_NE(block.find(figure), std::string::npos) << figure;
        EXPECT_NE(help.find(figure), std::string::npos) << figure;
    }
}

TEST(UnconditionalText, TotalsAboveTheLimitAreNotComputed) {
    const std::string block = UnconditionalTestsText(6000, 1, 1, 6000, "\n");
    EXPECT_NE(block.find("chi squared ordering: not computed (the total exceeds 10000)"),
              std::string::npos)
        << block;
}

} // namespace
} // namespace quillon
