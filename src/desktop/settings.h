// The saved settings of the two specification windows.
//
// "Particular.ini" (ten lines) and "Maxima.ini" (nine lines) in the data directory hold
// the last specifications used, so that a new run of the program opens with them. Each
// line ends in CR LF. Line 1 is the design as True (comparative trial) or False; the
// field texts follow exactly as typed, blanks and commas included; the last line is the
// Pause box as " 0 " or " 1 " (the number between single blanks).
//
// Reading is forgiving: line 1 is read as one field (up to a comma, quotes removed) and
// accepts True/False in any case or a number (non-zero selects the comparative trial);
// lines that are missing, and a first or last line that cannot be understood, leave the
// corresponding value as it was, so a short or damaged file loads what it can.
// Writing replaces the file atomically, so an interrupted write never leaves half a file.
#pragma once

#include "study/study_registry.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::string_view ParticularSettingsFileName = ParticularStudyEntry.settingsFile;
inline constexpr std::string_view MaximaSettingsFileName = MaximumStudyEntry.settingsFile;
inline constexpr std::string_view PowerSettingsFileName = PowerStudyEntry.settingsFile;

// The fields of the particular-study window that are saved, in file order.
struct ParticularSettings {
    bool comparativeTrial = false; // opt1 selected
    std::string number;            // txtNumber
    std::string test;              // txtTest
    std::string pCol;              // txtP_col
    std::string pRow;              // txtP_row
    std::string interval;          // txtInterval
    std::string men;               // txtMEN
    std::string mmt;               // txtMMT
    std::string parameter;         // txtParameter
    bool pause = false;            // chkPause
    friend bool operator==(const ParticularSettings&, const ParticularSettings&) = default;
};

// The fields of the maximum-study window that are saved, in file order.
struct MaximaSettings {
    bool comparativeTrial = false; // opt1 selected
    std::string number;            // txtNumber
    std::string row1;              // txtRow1
    std::string test;              // txtTest
    std::string men;               // txtMEN
    std::string mmt;               // txtMMT
    std::string parameter;         // txtParameter
    std::string accuracy;          // txtAccuracy
    bool pause = false;            // chkPause
    friend bool operator==(const MaximaSettings&, const MaximaSettings&) = default;
};

// The fields of the power-study window that are saved, in file order ("Power.ini", eleven
// lines).
struct PowerSettings {
    bool comparativeTrial = false; // opt1 selected
    std::string number;            // txtNumber
    std::string row;               // txtRow
    std::string p1;                // txtP1
    std::string p2;                // txtP2
    std::string test;              // txtTest
    std::string men;               // txtMEN
    std::string mmt;               // txtMMT
    std::string alpha;             // txtAlpha
    std::string target;            // txtTarget
    bool pause = false;            // chkPause
    friend bool operator==(const PowerSettings&, const PowerSettings&) = default;
};

// The file contents for the settings.
std::string SettingsText(const ParticularSettings& settings);
std::string SettingsText(const MaximaSettings& settings);
std::string SettingsText(const PowerSettings& settings);

// Reads a file's contents over `settings`: every value that the text holds and that can
// be understood replaces the one in `settings`; the rest stay.
void ParseSettings(std::string_view text, ParticularSettings& settings);
void ParseSettings(std::string_view text, MaximaSettings& settings);
void ParseSettings(std::string_view text, PowerSettings& settings);

// The "get" operations: read the file of the data directory over `settings`. A missing
// file is not an error (nothing changes, the result is false); true when a file was read.
bool LoadSettings(const std::filesystem::path& dataDirectory, ParticularSettings& settings);
bool LoadSettings(const std::filesystem::path& dataDirectory, MaximaSettings& settings);
bool LoadSettings(const std::filesystem::path& dataDirectory, PowerSettings& settings);

// The "save" operations: replace the file atomically. An error message naming the file
// when it cannot be written.
std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const ParticularSettings& settings);
std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const MaximaSettings& settings);
std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const PowerSettings& settings);

} // namespace quillon
