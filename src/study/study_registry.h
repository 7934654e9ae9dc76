// The studies the program runs, registered once.
//
// Each study is an entry: the name that its command, its shard records and its messages
// use, the files it keeps in the data folder (its settings, its latest results and the
// summary files that accumulate over every run). The
// command line's merge, the summary-data window, the help texts, the start window and the
// desktop read this list, so no list of studies or of their files is kept anywhere else:
// a new study is one entry here plus its own folder.
//
// The entries are constant data, so that the studies themselves take their file names from
// here (each study's folder sits above this layer). The command line pairs each entry with
// the function that runs its command.
#pragma once

#include <array>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

struct StudyEntry {
    std::string_view name;         // "particular": the command and the shard record's study
    std::string_view settingsFile; // its saved settings in the data folder
    // Its command's line in the command line's usage: what follows the name, and what the
    // command does.
    std::string_view commandArguments;
    std::string_view commandSummary;
    // The summary files it appends to: the first is its summary file, any others are
    // summaries it keeps apart (the maximum study's test policies).
    std::span<const std::string_view> summaryFiles;
    // The results of its latest run, rewritten by each run.
    std::span<const std::string_view> resultsFiles;
    // The start window's button that opens its window: the object name and the caption
    // ("&" marks the access key, unique among the start window's buttons).
    std::string_view startButton;
    std::string_view startCaption;
    // Its paragraphs of the help. Without a heading they stand in the general help, study
    // after study; with one they form a section of its own after it. In a paragraph,
    // "{results}" stands for its results files ("A and B") and "{summary}" for the summary
    // file it writes now, each with the data folder's path.
    std::string_view helpHeading;
    std::span<const std::string_view> helpParagraphs;

    constexpr std::string_view SummaryFile() const { return summaryFiles.front(); }
};

namespace studies {

inline constexpr std::array<std::string_view, 1> kParticularSummaries{"ParticularSummary.txt"};
inline constexpr std::array<std::string_view, 1> kParticularResults{"ParticularResults.txt"};
inline constexpr std::array<std::string_view, 3> kMaximumSummaries{
    "MaximaSummary.txt", "Summary_of_Maxima_when_test_policy15.txt",
    "Summary_of_Maxima_when_test_policy35.txt"};
inline constexpr std::array<std::string_view, 2> kMaximumResults{"MaximaResultsAllAreas.txt",
                                                                 "MaximaResultsEachArea.txt"};
inline constexpr std::array<std::string_view, 1> kPowerSummaries{"PowerSummary.txt"};
inline constexpr std::array<std::string_view, 1> kPowerResults{"PowerResults.txt"};

inline constexpr std::array<std::string_view, 2> kParticularHelp{
    "For stages in the calculation of actual Type I errors for a particular sample size and "
    "population proportion(s), see {results}.",
    "Actual Type I errors are summarised in {summary}.  This is used for summary charts, so "
    "that these incorporate data generated on all previous runs of the program, not just the "
    "current run.  To just show previously generated data, enter an asterisk as the "
    "specification, e.g. for total number.  If desired, this file can be deleted, to start "
    "data generation afresh.  ",
};
inline constexpr std::array<std::string_view, 2> kMaximumHelp{
    "For stages in the calculation of maximum values of Type I error, see {results}.",
    "Maximum values of Type I error are summarised in {summary}.  This is used for summary "
    "charts, so that summary charts incorporate data generated on all previous runs of the "
    "program, not just the current run.  To show just previously generated data, rather than "
    "generating new data, enter an asterisk as the specification, e.g. for total number.  If "
    "desired, this file can be deleted, to start data generation afresh.  ",
};
inline constexpr std::array<std::string_view, 4> kPowerHelp{
    "p1 is the population proportion in column 1 within row 1, p2 within row 2.  The power of "
    "a test is the probability, when the proportions are p1 and p2, of a sample table that the "
    "test calls significant (P value at most the significance level); every possible sample "
    "table is enumerated, so the power is exact.  A table outside the MEN/MMT policy is never "
    "significant.  The size is the same probability when the null hypothesis holds at the "
    "pooled proportion p0 (comparative trial: (m p1 + (N - m) p2) / N; cross-sectional study: "
    "x p1 + (1 - x) p2), that is the actual Type I error at p0.  With p1 = p2 the power is the "
    "actual Type I error of the particular-proportion study at that proportion.",
    "Sample size: when the total number has several values, each test gets 'First N', the "
    "smallest total number of the list whose power reaches the target power, and 'Stable N', "
    "the smallest total number from which the power stays at or above the target for every "
    "larger total number of the list.  The power of these discrete tests rises in a saw-tooth "
    "with N, so a total number just above 'First N' can fall short again; 'Stable N' is the "
    "safer choice.  '-' means not reached within the list.",
    "Worked example: comparative trial, N '10 to 60 step 10', row 1 '.5', p1 '.2', p2 '.6', "
    "tests '1 - 7'.  Fisher-Irwin test 5 has power .6502249 at N = 40 (20 per row) with size "
    ".02377496, while Pearson's test 1 has .7534940 with size .04822014.  For a target power "
    "of .8, test 7 (mid-P) first reaches it at N = 40, tests 1, 3 and 6 at 50, tests 2, 4 and "
    "5 at 60.",
    "Power and size are summarised in {summary} (used for the summary charts; enter an "
    "asterisk, e.g. for total number, to chart earlier results), and the latest combination "
    "is listed table by table in {results}.",
};

} // namespace studies

inline constexpr StudyEntry ParticularStudyEntry{
    .name = "particular",
    .settingsFile = "Particular.ini",
    .commandArguments = "--n SPEC [OPTIONS]",
    .commandSummary = "actual Type I error at particular proportions",
    .summaryFiles = studies::kParticularSummaries,
    .resultsFiles = studies::kParticularResults,
    .startButton = "cmdParticular",
    .startCaption = "Compare actual with nominal Type I error for a &Particular sample size and "
                    "particular population proportion(s)",
    .helpHeading = {},
    .helpParagraphs = studies::kParticularHelp,
};
inline constexpr StudyEntry MaximumStudyEntry{
    .name = "maximum",
    .settingsFile = "Maxima.ini",
    .commandArguments = "--n SPEC [OPTIONS]",
    .commandSummary = "maximum actual Type I error over all proportions",
    .summaryFiles = studies::kMaximumSummaries,
    .resultsFiles = studies::kMaximumResults,
    .startButton = "cmdMaximum",
    .startCaption = "Compare &Maximum actual Type I error with nominal (or calculate Type I error "
                    "excess) for a particular sample size over all population proportions",
    .helpHeading = {},
    .helpParagraphs = studies::kMaximumHelp,
};
// The caption's own "&Power" would repeat the access key of "&Particular"; the key is S,
// which no other start-window button uses. Its help is a section of its own.
inline constexpr StudyEntry PowerStudyEntry{
    .name = "power",
    .settingsFile = "Power.ini",
    .commandArguments = "--n SPEC --p1 SPEC --p2 SPEC [OPTIONS]",
    .commandSummary = "exact power and size of the tests, sample sizes",
    .summaryFiles = studies::kPowerSummaries,
    .resultsFiles = studies::kPowerResults,
    .startButton = "cmdPower",
    .startCaption = "Compare the Power of the tests for particular population proportions, and "
                    "find &sample sizes",
    .helpHeading = "POWER AND SAMPLE SIZE",
    .helpParagraphs = studies::kPowerHelp,
};

// Every study, in the order the start window, help and lists show them.
inline constexpr std::array<const StudyEntry*, 3> RegisteredStudies{
    &ParticularStudyEntry, &MaximumStudyEntry, &PowerStudyEntry};

// The study of that name, or null.
const StudyEntry* FindStudy(std::string_view name);

// True when `file` is one of the summary files of the study named `study`.
bool StudyOwnsSummaryFile(std::string_view study, std::string_view file);

// Every study's summary files, study by study.
std::vector<std::string> AllSummaryFiles();

} // namespace quillon
