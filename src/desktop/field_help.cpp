#include "desktop/field_help.h"

#include "core/files.h"

namespace quillon {

namespace {

// How lists are written, for every field that takes one.
#define QUILLON_LIST_SYNTAX                                                                        \
    "  A list is one value ('20'), values separated by commas ('10, 20, 40'), a range "            \
    "('10 - 20', every whole number from 10 to 20), a sequence ('10 to 30 step 2'), or a "         \
    "combination of these ('4 - 10, 20 to 60 step 10'); the Interpretation box shows how it "      \
    "is read.  A lone '*' computes nothing and charts the results stored earlier."

constexpr std::string_view kNumberText = "The total number of subjects in the sample, N: a whole "
                                         "number from 4 to 10000." QUILLON_LIST_SYNTAX;
constexpr std::string_view kTestText =
    "The tests, by number: 1 Pearson chi squared, 2 Yates's chi squared, 3 'N - 1' chi "
    "squared, 4 Fisher-Irwin by doubling one-sided, 5 Fisher-Irwin tables as frequent or less "
    "(either tail), 6 Mid-P Fisher-Irwin by doubling one-sided, 7 Mid-P Fisher-Irwin less "
    "frequent tables (either tail), 8 exact unconditional with chi squared ordering, 9 exact "
    "unconditional with Fisher-Irwin ordering (these two keep their size at every "
    "proportion and take longer).  '1 - 9' gives all nine." QUILLON_LIST_SYNTAX;
constexpr std::string_view kMENText =
    "Minimum expected number, MEN: a sample table whose smallest expected number (row total "
    "x column total / N) is below MEN is not analysed by the tests and is never counted "
    "significant, as a rule such as 'no expected number below 5' would have it.  0 (the "
    "standard value) analyses every table; values from 0 to 5 are usual." QUILLON_LIST_SYNTAX;
constexpr std::string_view kMMTText =
    "Minimum marginal total, MMT: a sample table with a row or column total below MMT is not "
    "analysed and is never counted significant.  One value, at least 1 (a table with an "
    "empty row or column cannot be tested); the standard value is 1.";
constexpr std::string_view kDesignText =
    "Comparative trial: the number of subjects in row 1 (B) is fixed by the design, as when "
    "subjects are allocated to two treatments.  Cross-sectional study: only the total N is "
    "fixed, and a subject falls in row 1 with the population proportion in row 1.";
constexpr std::string_view kPauseText =
    "When ticked, the run waits at each chart until you press Next chart in the chart "
    "window; otherwise it goes on by itself and waits only where a chart would otherwise be "
    "missed.  Stop in the chart windows ends a run and brings this window back.";
constexpr std::string_view kExamplesText =
    "Published examples: choosing one fills the fields with its specifications (and resets "
    "MEN, MMT and Pause), so that the results can be compared with the publication.  An "
    "example marked '*' was published for a one-sided test.";

constexpr FieldHelp kParticular[] = {
    {"txtNumber", "Total number in sample(s) (N)", "", kNumberText},
    {"txtTest", "Test(s)", "", kTestText},
    {"txtP_col", "Population proportion in column 1", "",
     "The population proportion of column 1 (A), pi(col), under the null hypothesis: from 0 to "
     "0.5 (a larger proportion gives the same results as 1 minus it)." QUILLON_LIST_SYNTAX},
    {"txtP_row", "Population proportion in row 1 / Pop. prop. / number in row 1",
     "A proportion; in a comparative trial a proportion (up to 0.5) or a number of subjects",
     "Cross-sectional study: the population proportion of row 1 (B), pi(row), from 0 to 0.5.  "
     "Comparative trial: the number in row 1, m, given either as a proportion of N or as a "
     "number of subjects: a value up to 0.5 is a proportion (.5 with N = 20 gives m = 10, "
     "rounded down), a value of 1 or more is a number of subjects, at most N/2 (1 means one "
     "subject, not a proportion of 1); values between 0.5 and 1 are refused." QUILLON_LIST_SYNTAX},
    {"txtInterval", "Population proportion interval", "",
     "An advanced feature: the width of an interval of population proportions, from 0 to 0.1, "
     "starting at each proportion given; the study then also gives the upper bound of the "
     "actual Type I error over the interval.  One value; the standard value is 0 (the "
     "proportions exactly as given)."},
    {"txtMEN", "Minimum expected number (MEN)", "", kMENText},
    {"txtMMT", "Minimum marginal total (MMT)", "", kMMTText},
    {"txtParameter", "Significance level / cutoff", "",
     "The nominal significance level alpha, from 0 to 1 (e.g. 0.05): a table is significant "
     "when its P value is at most alpha.  When the summary chart shows the maximum Type I "
     "error excess, this is the cutoff: nominal levels up to it are examined.  One value."},
    {"opt1", "Research design", "A comparative trial: the number in row 1 is fixed", kDesignText},
    {"opt2", "Research design", "A cross-sectional study: only the total is fixed", kDesignText},
    {"chkPause", "Pause", "Wait at each chart for Next chart", kPauseText},
    {"cmdToggleSummaryChart", "Change (summary chart)", "Switch what the summary chart shows",
     "Switches the summary chart between the actual Type I error at the nominal significance "
     "level and the maximum excess of actual over nominal Type I error for nominal levels up "
     "to the cutoff."},
    {"lstExamples", "Published data", "Choose an example to fill the fields", kExamplesText},
};

constexpr FieldHelp kMaximum[] = {
    {"txtNumber", "Total number in sample(s) (N)", "", kNumberText},
    {"txtRow1", "Pop. prop. / number in row 1", "",
     "Comparative trial only: the number in row 1, m.  A value up to 0.5 is a proportion of N "
     "(.5 with N = 20 gives m = 10, rounded down); a value of 1 or more is a number of "
     "subjects, at most N/2 (1 means one subject).  'all' searches each m from the MMT up to "
     "N/2 in turn; 'overall' gives the maximum over all those m together.  One entry, not a "
     "list."},
    {"txtTest", "Test(s)", "",
     "The tests, by number, 1 to 9 ('1 - 9' for all).  '15' alone applies test 1 and uses "
     "test 5 for tables that fail the MEN or MMT rule; '35' does the same with test 3; their "
     "maxima go to a summary file of their own." QUILLON_LIST_SYNTAX},
    {"txtMEN", "Minimum expected number (MEN)", "", kMENText},
    {"txtMMT", "Minimum marginal total (MMT)", "", kMMTText},
    {"txtParameter", "Significance level / cutoff", "",
     "The nominal significance level alpha, from 0 to 1 (e.g. 0.05): a table is significant "
     "when its P value is below alpha.  When the maximum excess is calculated, this is the "
     "cutoff: nominal levels up to it are examined.  One value."},
    {"txtAccuracy", "Accuracy required", "",
     "How close to the true maximum the result must be: the search goes on until no area of "
     "proportions left unexamined can exceed the maximum found by more than this amount.  A "
     "smaller value takes longer; 0.005 or 0.001 is usual.  One value, above 0."},
    {"opt1", "Research design", "A comparative trial: the number in row 1 is fixed", kDesignText},
    {"opt2", "Research design", "A cross-sectional study: only the total is fixed", kDesignText},
    {"chkPause", "Pause", "Wait at each chart for Next chart", kPauseText},
    {"cmdToggleMaximumType", "Change (maximum type)", "Switch what is calculated",
     "Switches between the maximum actual Type I error at the nominal significance level and "
     "the maximum excess of actual over nominal Type I error for nominal levels up to the "
     "cutoff."},
    {"lstExamples", "Published data", "Choose an example to fill the fields", kExamplesText},
};

constexpr FieldHelp kPower[] = {
    {"txtNumber", "Total number in sample(s) (N)", "",
     "The total number of subjects, N, from 4 to 10000.  Several values give the power "
     "against N and the sample sizes that reach the target power." QUILLON_LIST_SYNTAX},
    {"txtRow", "Pop. prop. / number in row 1", "",
     "Comparative trial: the number in row 1, m, as a proportion of N strictly between 0 and 1 "
     "(.5 with N = 40 gives m = 20) or as a whole number of subjects from 1 to N - 1 (1 means "
     "one subject).  Cross-sectional study: the population proportion of row 1, strictly "
     "between 0 and 1." QUILLON_LIST_SYNTAX},
    {"txtP1", "Proportion in column 1, row 1 (p1)", "",
     "The population proportion of column 1 (A) within row 1 (B), from 0 to "
     "1." QUILLON_LIST_SYNTAX},
    {"txtP2", "Proportion in column 1, row 2 (p2)", "",
     "The population proportion of column 1 (A) within row 2 (Not-B), from 0 to 1.  The "
     "power is the chance of a significant table when the proportions are p1 and p2; the "
     "size the same chance when both equal their pooled value p0." QUILLON_LIST_SYNTAX},
    {"txtTest", "Test(s)", "", kTestText},
    {"txtMEN", "Minimum expected number (MEN)", "", kMENText},
    {"txtMMT", "Minimum marginal total (MMT)", "", kMMTText},
    {"txtAlpha", "Significance level", "",
     "The nominal significance level alpha, from 0 to 1 (e.g. 0.05): a table is significant "
     "when its P value is at most alpha.  One value."},
    {"txtTarget", "Target power", "",
     "The power a sample size must reach, from 0 to 1 (e.g. 0.8): with several N, the results "
     "give the first N of the list that reaches it and the smallest N from which every larger "
     "N of the list does.  One value."},
    {"opt1", "Research design", "A comparative trial: the number in row 1 is fixed", kDesignText},
    {"opt2", "Research design", "A cross-sectional study: only the total is fixed", kDesignText},
    {"chkPause", "Pause", "Wait at each chart for Next chart", kPauseText},
    {"lstExamples", "Typical examples", "Choose an example to fill the fields",
     "Typical examples: choosing one fills the fields with its specifications."},
};

constexpr std::string_view kListSyntax = QUILLON_LIST_SYNTAX;

#undef QUILLON_LIST_SYNTAX

} // namespace

std::span<const FieldHelp> FieldHelpFor(HelpTopic window) {
    switch (window) {
    case HelpTopic::Particular:
        return kParticular;
    case HelpTopic::Maximum:
        return kMaximum;
    case HelpTopic::Power:
        return kPower;
    case HelpTopic::General:
        break;
    }
    return {};
}

std::string_view HelpSectionHeading(HelpTopic window) {
    switch (window) {
    case HelpTopic::Particular:
        return "THE WINDOW FOR ACTUAL TYPE I ERRORS AT PARTICULAR PROPORTIONS";
    case HelpTopic::Maximum:
        return "THE WINDOW FOR MAXIMUM TYPE I ERRORS OVER ALL PROPORTIONS";
    case HelpTopic::Power:
        return "THE WINDOW FOR POWER AND SAMPLE SIZES";
    case HelpTopic::General:
        break;
    }
    return {};
}

std::string HelpSection(HelpTopic window) {
    std::string text(HelpSectionHeading(window));
    if (text.empty())
        return text;
    text += CRLF;
    // How lists are written, once for the section rather than in every field's paragraph.
    text += CRLF;
    text += "Fields that take lists:" + std::string(kListSyntax);
    text += CRLF;
    std::string_view previous;
    for (const FieldHelp& field : FieldHelpFor(window)) {
        // The two design options share one paragraph.
        if (field.text == previous)
            continue;
        previous = field.text;
        std::string_view paragraph = field.text;
        if (paragraph.ends_with(kListSyntax))
            paragraph.remove_suffix(kListSyntax.size());
        text += CRLF;
        text += std::string(field.caption) + ": " + std::string(paragraph);
        text += CRLF;
    }
    return text;
}

} // namespace quillon
