#include "desktop/help_text.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/pvalues.h"

namespace quillon {

std::string KeyForTests() {
    std::string key = "Key for tests (all two-sided):";
    key += CRLF;
    for (int test = 1; test <= 7; ++test) {
        key += PlainNumberText(test);
        key += ": ";
        key += TestName(test);
        key += CRLF;
    }
    return key;
}

std::string DataFileName(const std::filesystem::path& dataDirectory, std::string_view name) {
    return (dataDirectory / name).string();
}

std::string HelpText(const std::filesystem::path& dir, std::string_view maximaSummaryFileName) {
    const std::string twoEnds = std::string(CRLF) + std::string(CRLF);
    std::string text = "HELP" + twoEnds;
    text += "For stages in the calculation of actual Type I errors for a particular sample size "
            "and population proportion(s), see " +
            DataFileName(dir, "ParticularResults.txt") + "." + twoEnds;
    text += "Actual Type I errors are summarised in " + DataFileName(dir, "ParticularSummary.txt") +
            ".  This is used for summary charts, so that these incorporate data generated on all "
            "previous runs of the program, not just the current run.  To just show previously "
            "generated data, enter an asterisk as the specification, e.g. for total number.  If "
            "desired, this file can be deleted, to start data generation afresh.  " +
            twoEnds;
    text += "For stages in the calculation of maximum values of Type I error, see " +
            DataFileName(dir, "MaximaResultsAllAreas.txt") + " and " +
            DataFileName(dir, "MaximaResultsEachArea.txt") + "." + twoEnds;
    text += "Maximum values of Type I error are summarised in " +
            DataFileName(dir, maximaSummaryFileName) +
            ".  This is used for summary charts, so that summary charts incorporate data "
            "generated on all previous runs of the program, not just the current run.  To show "
            "just previously generated data, rather than generating new data, enter an asterisk "
            "as the specification, e.g. for total number.  If desired, this file can be deleted, "
            "to start data generation afresh.  " +
            twoEnds;
    text += "Lines on charts are slightly offset with respect to each other so that coincident "
            "lines are shown separated." +
            twoEnds;
    text += "When the number of points on summary charts exceeds 600, lines charts are replaced "
            "by scatter diagrams." +
            twoEnds;
    text += KeyForTests();
    return text;
}

} // namespace quillon
