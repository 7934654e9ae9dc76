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

std::string HelpText(const std::filesystem::path& dir, std::string_view summaryInUse) {
    const std::string twoEnds = std::string(CRLF) + std::string(CRLF);
    std::string text = "HELP" + twoEnds;
    for (const StudyEntry* study : RegisteredStudies) {
        if (study->helpStages.empty())
            continue;
        text += "For stages in the calculation of " + std::string(study->helpStages) + ", see ";
        for (std::size_t i = 0; i < study->resultsFiles.size(); ++i)
            text += (i == 0 ? "" : " and ") + DataFileName(dir, study->resultsFiles[i]);
        text += "." + twoEnds;
        const bool inUse = StudyOwnsSummaryFile(study->name, summaryInUse);
        text += std::string(study->helpSummaryOpening) +
                DataFileName(dir, inUse ? summaryInUse : study->SummaryFile()) +
                std::string(study->helpSummaryClosing) + twoEnds;
    }
    text += "Lines on charts are slightly offset with respect to each other so that coincident "
            "lines are shown separated." +
            twoEnds;
    text += "When the number of points on summary charts exceeds 600, lines charts are replaced "
            "by scatter diagrams." +
            twoEnds;
    text += KeyForTests();
    return text;
}

std::string PowerHelpText(const std::filesystem::path& dir) {
    const std::string twoEnds = std::string(CRLF) + std::string(CRLF);
    std::string text = "POWER AND SAMPLE SIZE" + twoEnds;
    text += "p1 is the population proportion in column 1 within row 1, p2 within row 2.  The "
            "power of a test is the probability, when the proportions are p1 and p2, of a sample "
            "table that the test calls significant (P value at most the significance level); "
            "every possible sample table is enumerated, so the power is exact.  A table outside "
            "the MEN/MMT policy is never significant.  The size is the same probability when "
            "the null hypothesis holds at the pooled proportion p0 (comparative trial: "
            "(m p1 + (N - m) p2) / N; cross-sectional study: x p1 + (1 - x) p2), that is the "
            "actual Type I error at p0.  With p1 = p2 the power is the actual Type I error of "
            "the particular-proportion study at that proportion." +
            twoEnds;
    text += "Sample size: when the total number has several values, each test gets 'First N', "
            "the smallest total number of the list whose power reaches the target power, and "
            "'Stable N', the smallest total number from which the power stays at or above the "
            "target for every larger total number of the list.  The power of these discrete "
            "tests rises in a saw-tooth with N, so a total number just above 'First N' can fall "
            "short again; 'Stable N' is the safer choice.  '-' means not reached within the "
            "list." +
            twoEnds;
    text += "Worked example: comparative trial, N '10 to 60 step 10', row 1 '.5', p1 '.2', p2 "
            "'.6', tests '1 - 7'.  Fisher-Irwin test 5 has power .6502249 at N = 40 (20 per "
            "row) with size .02377496, while Pearson's test 1 has .7534940 with size .04822014.  "
            "For a target power of .8, test 7 (mid-P) first reaches it at N = 40, tests 1, 3 and "
            "6 at 50, tests 2, 4 and 5 at 60." +
            twoEnds;
    text += "Power and size are summarised in " + DataFileName(dir, "PowerSummary.txt") +
            " (used for the summary charts; enter an asterisk, e.g. for total number, to chart "
            "earlier results), and the latest combination is listed table by table in " +
            DataFileName(dir, "PowerResults.txt") + "." + twoEnds;
    return text;
}

std::string UnconditionalHelpText() {
    const std::string twoEnds = std::string(CRLF) + std::string(CRLF);
    std::string text = "EXACT UNCONDITIONAL TESTS" + twoEnds;
    text += "\"Unconditional tests\" in the analysis window (quillon-cli analyse A B C D "
            "--unconditional) treats rows B and Not-B as two independent samples of fixed "
            "size with one unknown proportion p of column A.  Test 8 (exact unconditional "
            "test, chi squared ordering) counts a sample table as at least as extreme as the "
            "observed one when its Pearson chi squared value is at least as large; test 9 "
            "(Fisher-Irwin ordering) when its Fisher-Irwin P value (tables as frequent or less, "
            "either tail) is at most as large.  The P value is the largest, over p from 0 to "
            "1, of the probability of the tables at least as extreme." +
            twoEnds;
    text += "Because the P value is a maximum over every p, the chance of a P value at or "
            "below alpha is at most alpha whatever the true proportion: the tests keep their "
            "size, like the Fisher-Irwin test, but they do not condition on the column totals "
            "and so lose less power." +
            twoEnds;
    text += "The maximum is certified: the search bounds the probability over whole "
            "intervals of p and halves them until the bounds prove that no p gives more than "
            "1.0000001 times the printed P value.  Tables with exactly equal chi squared "
            "values count as equally extreme (decided in whole numbers), as do tables whose "
            "Fisher-Irwin P values agree to 1 part in 10 million." +
            twoEnds;
    text += "Example: 14 of 47 against 48 of 283 (a = 14, b = 33, c = 48, d = 235), the "
            "published example of Berger and Boos (1994).  Test 8 gives P = .0611418, largest "
            "at p = .00388; test 9 gives .0396136.  A search over a fixed grid of p can miss "
            "the narrow maximum near p = .004: SciPy's barnard_exact with its default 32 "
            "points gives .0381, which would be significant at .05." +
            twoEnds;
    text += "The particular-proportion, maximum and power studies take tests 8 and 9 in their "
            "test lists like the other seven.  Each sample table gets the P value of its own "
            "row totals (in a cross-sectional study, the rows it has), all the tables with "
            "one pair of row totals computed together; a table outside the MEN/MMT rule gets "
            "its code.  Since every P value is a maximum over p, the actual Type I error of "
            "tests 8 and 9 is at most alpha at every proportion.  The list of every table "
            "shows them only when they are asked for." +
            twoEnds;
    return text;
}

} // namespace quillon
