#include "desktop/help_text.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "study/study_registry.h"

namespace quillon {

std::string KeyForTests() {
    std::string key = "Key for tests (all two-sided):";
    key += CRLF;
    for (const TestEntry& test : RegisteredTests()) {
        key += PlainNumberText(test.number);
        key += ": ";
        key += test.name;
        key += CRLF;
    }
    return key;
}

std::string DataFileName(const std::filesystem::path& dataDirectory, std::string_view name) {
    return (dataDirectory / name).string();
}

namespace {

const std::string TwoEnds = std::string(CRLF) + std::string(CRLF);

// A study's help paragraphs, each ended by two line ends, with its files named in full.
std::string StudyParagraphs(const StudyEntry& study, const std::filesystem::path& dir,
                            std::string_view summaryInUse) {
    std::string results;
    for (std::size_t i = 0; i < study.resultsFiles.size(); ++i)
        results += (i == 0 ? "" : " and ") + DataFileName(dir, study.resultsFiles[i]);
    const std::string summary = DataFileName(
        dir, StudyOwnsSummaryFile(study.name, summaryInUse) ? summaryInUse : study.SummaryFile());
    const auto expand = [](std::string& text, std::string_view name, const std::string& value) {
        for (std::size_t at = text.find(name); at != std::string::npos;
             at = text.find(name, at + value.size()))
            text.replace(at, name.size(), value);
    };
    std::string text;
    for (std::string_view paragraph : study.helpParagraphs) {
        std::string expanded(paragraph);
        expand(expanded, "{results}", results);
        expand(expanded, "{summary}", summary);
        text += expanded + TwoEnds;
    }
    return text;
}

} // namespace

std::string HelpText(const std::filesystem::path& dir, std::string_view summaryInUse) {
    std::string text = "HELP" + TwoEnds;
    for (const StudyEntry* study : RegisteredStudies)
        if (study->helpHeading.empty())
            text += StudyParagraphs(*study, dir, summaryInUse);
    text += "Lines on charts are slightly offset with respect to each other so that coincident "
            "lines are shown separated." +
            TwoEnds;
    text += "When the number of points on summary charts exceeds 600, lines charts are replaced "
            "by scatter diagrams." +
            TwoEnds;
    text += KeyForTests();
    return text;
}

std::string StudyHelpText(const StudyEntry& study, const std::filesystem::path& dir,
                          std::string_view summaryInUse) {
    return std::string(study.helpHeading) + TwoEnds + StudyParagraphs(study, dir, summaryInUse);
}

std::string HelpWindowText(const std::filesystem::path& dir, std::string_view summaryInUse) {
    std::string text = HelpText(dir, summaryInUse);
    for (const StudyEntry* study : RegisteredStudies)
        if (!study->helpHeading.empty())
            text += std::string(CRLF) + StudyHelpText(*study, dir, summaryInUse);
    return text + std::string(CRLF) + UnconditionalHelpText();
}

std::string UnconditionalHelpText() {
    std::string text = "EXACT UNCONDITIONAL TESTS" + TwoEnds;
    text += "\"Unconditional tests\" in the analysis window (quillon-cli analyse A B C D "
            "--unconditional) treats rows B and Not-B as two independent samples of fixed "
            "size with one unknown proportion p of column A.  Test 8 (exact unconditional "
            "test, chi squared ordering) counts a sample table as at least as extreme as the "
            "observed one when its Pearson chi squared value is at least as large; test 9 "
            "(Fisher-Irwin ordering) when its Fisher-Irwin P value (tables as frequent or less, "
            "either tail) is at most as large.  The P value is the largest, over p from 0 to "
            "1, of the probability of the tables at least as extreme." +
            TwoEnds;
    text += "Because the P value is a maximum over every p, the chance of a P value at or "
            "below alpha is at most alpha whatever the true proportion: the tests keep their "
            "size, like the Fisher-Irwin test, but they do not condition on the column totals "
            "and so lose less power." +
            TwoEnds;
    text += "The maximum is certified: the search bounds the probability over whole "
            "intervals of p and halves them until the bounds prove that no p gives more than "
            "1.0000001 times the printed P value.  Tables with exactly equal chi squared "
            "values count as equally extreme (decided in whole numbers), as do tables whose "
            "Fisher-Irwin P values agree to 1 part in 10 million." +
            TwoEnds;
    text += "Example: 14 of 47 against 48 of 283 (a = 14, b = 33, c = 48, d = 235), the "
            "published example of Berger and Boos (1994).  Test 8 gives P = .0611418, largest "
            "at p = .00388; test 9 gives .0396136.  A search over a fixed grid of p can miss "
            "the narrow maximum near p = .004: SciPy's barnard_exact with its default 32 "
            "points gives .0381, which would be significant at .05." +
            TwoEnds;
    text += "The particular-proportion, maximum and power studies take tests 8 and 9 in their "
            "test lists like the other seven.  Each sample table gets the P value of its own "
            "row totals (in a cross-sectional study, the rows it has), all the tables with "
            "one pair of row totals computed together; a table outside the MEN/MMT rule gets "
            "its code.  Since every P value is a maximum over p, the actual Type I error of "
            "tests 8 and 9 is at most alpha at every proportion.  The list of every table "
            "shows them only when they are asked for." +
            TwoEnds;
    return text;
}

} // namespace quillon
