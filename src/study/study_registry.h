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
    // Its paragraphs of the general help: what its results files show the stages of, and
    // the words before and after its summary file's name. A study without them has a help
    // text of its own.
    std::string_view helpStages;
    std::string_view helpSummaryOpening;
    std::string_view helpSummaryClosing;

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
    .helpStages = "actual Type I errors for a particular sample size and population proportion(s)",
    .helpSummaryOpening = "Actual Type I errors are summarised in ",
    .helpSummaryClosing =
        ".  This is used for summary charts, so that these incorporate data generated on all "
        "previous runs of the program, not just the current run.  To just show previously "
        "generated data, enter an asterisk as the specification, e.g. for total number.  If "
        "desired, this file can be deleted, to start data generation afresh.  ",
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
    .helpStages = "maximum values of Type I error",
    .helpSummaryOpening = "Maximum values of Type I error are summarised in ",
    .helpSummaryClosing =
        ".  This is used for summary charts, so that summary charts incorporate data generated "
        "on all previous runs of the program, not just the current run.  To show just "
        "previously generated data, rather than generating new data, enter an asterisk as the "
        "specification, e.g. for total number.  If desired, this file can be deleted, to start "
        "data generation afresh.  ",
};
// The caption's own "&Power" would repeat the access key of "&Particular"; the key is S,
// which no other start-window button uses. Its help is a text of its own.
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
    .helpStages = {},
    .helpSummaryOpening = {},
    .helpSummaryClosing = {},
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
