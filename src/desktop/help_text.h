// The fixed texts of the start window and the help window: the description of the
// program, the printing advice, the key for tests shown in both specification windows,
// and the help text that names the files of the data directory.
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

namespace quillon {

struct StudyEntry;

inline constexpr std::string_view WelcomeDescription =
    "This is a set of routines for analysing 2 x 2 tables by the chi squared and Fisher-Irwin "
    "tests, and for comparing these alternatives.";

// Shown by "&Troubleshooting"; ends in two blanks.
inline constexpr std::string_view PrintingAdvice =
    "If a chart does not print straightaway, it may be because the chart is in a window that "
    "is too large for the printer.  Try printing from a smaller window, or reducing the screen "
    "pixel numbers; or copy the screen to memory and print via a graphics program.  ";

// "Key for tests (all two-sided):" and one line per test, " 1: Pearson chi squared test"
// and so on, every line ended by CR LF.
std::string KeyForTests();

// The full name of a file of the data directory, as the texts show it.
std::string DataFileName(const std::filesystem::path& dataDirectory, std::string_view name);

// The help text, built anew each time: each registered study's result and summary files
// (`summaryInUse` names the summary file a study currently writes where it has several,
// as the maximum study's test policies choose; otherwise a study's first), notes on the
// charts, and the key for tests.
std::string HelpText(const std::filesystem::path& dataDirectory,
                     std::string_view summaryInUse = {});

// The section of the help a study with a help heading has to itself (the power study's:
// what power and size mean, how the sample sizes are read, a worked example, its files).
std::string StudyHelpText(const StudyEntry& study, const std::filesystem::path& dataDirectory,
                          std::string_view summaryInUse = {});

// The help on the exact unconditional tests of the analysis: what they are, why they keep
// their size, what the certificate means, a worked example and how peers compare.
std::string UnconditionalHelpText();

// What the help window shows before its sections on each window: HelpText, then the
// section of each study that has one, then the help on the exact unconditional tests.
std::string HelpWindowText(const std::filesystem::path& dataDirectory,
                           std::string_view summaryInUse = {});

} // namespace quillon
