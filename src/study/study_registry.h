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
// here (each study's folder sits above this layer).
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
    // The summary files it appends to: the first is its summary file, any others are
    // summaries it keeps apart (the maximum study's test policies).
    std::span<const std::string_view> summaryFiles;
    // The results of its latest run, rewritten by each run.
    std::span<const std::string_view> resultsFiles;

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
    "particular", "Particular.ini", studies::kParticularSummaries, studies::kParticularResults};
inline constexpr StudyEntry MaximumStudyEntry{"maximum", "Maxima.ini", studies::kMaximumSummaries,
                                              studies::kMaximumResults};
inline constexpr StudyEntry PowerStudyEntry{"power", "Power.ini", studies::kPowerSummaries,
                                            studies::kPowerResults};

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
