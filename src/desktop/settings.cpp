#include "desktop/settings.h"

#include "core/files.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <string>
#include <vector>

namespace quillon {

namespace {

// A field text goes on one line of its own; a line end pasted into a single-line box
// would split it and shift every later value, so it is written as a blank.
std::string OneLine(std::string_view text) {
    std::string line(text);
    std::replace(line.begin(), line.end(), '\r', ' ');
    std::replace(line.begin(), line.end(), '\n', ' ');
    return line;
}

std::string Trimmed(std::string_view text) {
    const auto first = text.find_first_not_of(" \t");
    if (first == std::string_view::npos) {
        return {};
    }
    const auto last = text.find_last_not_of(" \t");
    return std::string(text.substr(first, last - first + 1));
}

std::string Lowered(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

// Line 1: one field up to a comma, surrounding quotes removed; True/False in any case or a
// number. Nothing when the field is neither.
std::optional<bool> ReadTruthField(std::string_view line) {
    std::string field = Trimmed(line.substr(0, line.find(',')));
    if (field.size() >= 2 && field.front() == '"' && field.back() == '"') {
        field = Trimmed(std::string_view(field).substr(1, field.size() - 2));
    }
    const std::string lower = Lowered(field);
    if (lower == "true" || lower == "#true#") {
        return true;
    }
    if (lower == "false" || lower == "#false#") {
        return false;
    }
    if (field.empty()) {
        return std::nullopt;
    }
    // A number: digits with an optional sign and decimal part, nothing else.
    // (from_chars, unlike stod, reads the same whatever locale the window toolkit set.)
    const char* first = field.data() + (field[0] == '+' ? 1 : 0);
    double value = 0;
    const auto [end, error] = std::from_chars(first, field.data() + field.size(), value);
    if (error == std::errc() && end == field.data() + field.size()) {
        return value != 0;
    }
    return std::nullopt;
}

// The last line: the Pause box as a whole number between blanks; 0 clears, any other
// whole number sets it. Nothing when the line holds anything else.
std::optional<bool> ReadCheckState(std::string_view line) {
    const std::string field = Trimmed(line);
    if (field.empty() ||
        !std::all_of(field.begin() + ((field[0] == '-' || field[0] == '+') ? 1 : 0), field.end(),
                     [](unsigned char ch) { return std::isdigit(ch) != 0; }) ||
        field == "-" || field == "+") {
        return std::nullopt;
    }
    return field.find_first_not_of("+-0") != std::string::npos;
}

std::string CheckStateLine(bool set) {
    return set ? " 1 " : " 0 ";
}

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (const auto& line : lines) {
        text += line;
        text += CRLF;
    }
    return text;
}

// Fills the design, the text fields in order and the check box from the file's lines.
void ParseLines(std::string_view text, bool& design, const std::vector<std::string*>& fields,
                bool& pause) {
    const std::vector<std::string> lines = SplitLines(text);
    if (lines.empty()) {
        return;
    }
    if (const auto truth = ReadTruthField(lines[0])) {
        design = *truth;
    }
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (i + 1 < lines.size()) {
            *fields[i] = lines[i + 1];
        }
    }
    if (fields.size() + 1 < lines.size()) {
        if (const auto state = ReadCheckState(lines[fields.size() + 1])) {
            pause = *state;
        }
    }
}

template <typename Settings> bool LoadFile(const std::filesystem::path& file, Settings& settings) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return false;
    }
    const auto text = ReadTextFile(file);
    if (!text) {
        return false;
    }
    ParseSettings(*text, settings);
    return true;
}

} // namespace

std::string SettingsText(const ParticularSettings& s) {
    return Lines({s.comparativeTrial ? "True" : "False", OneLine(s.number), OneLine(s.test),
                  OneLine(s.pCol), OneLine(s.pRow), OneLine(s.interval), OneLine(s.men),
                  OneLine(s.mmt), OneLine(s.parameter), CheckStateLine(s.pause)});
}

std::string SettingsText(const MaximaSettings& s) {
    return Lines({s.comparativeTrial ? "True" : "False", OneLine(s.number), OneLine(s.row1),
                  OneLine(s.test), OneLine(s.men), OneLine(s.mmt), OneLine(s.parameter),
                  OneLine(s.accuracy), CheckStateLine(s.pause)});
}

std::string SettingsText(const PowerSettings& s) {
    return Lines({s.comparativeTrial ? "True" : "False", OneLine(s.number), OneLine(s.row),
                  OneLine(s.p1), OneLine(s.p2), OneLine(s.test), OneLine(s.men), OneLine(s.mmt),
                  OneLine(s.alpha), OneLine(s.target), CheckStateLine(s.pause)});
}

void ParseSettings(std::string_view text, ParticularSettings& s) {
    ParseLines(text, s.comparativeTrial,
               {&s.number, &s.test, &s.pCol, &s.pRow, &s.interval, &s.men, &s.mmt, &s.parameter},
               s.pause);
}

void ParseSettings(std::string_view text, MaximaSettings& s) {
    ParseLines(text, s.comparativeTrial,
               {&s.number, &s.row1, &s.test, &s.men, &s.mmt, &s.parameter, &s.accuracy}, s.pause);
}

void ParseSettings(std::string_view text, PowerSettings& s) {
    ParseLines(text, s.comparativeTrial,
               {&s.number, &s.row, &s.p1, &s.p2, &s.test, &s.men, &s.mmt, &s.alpha, &s.target},
               s.pause);
}

bool LoadSettings(const std::filesystem::path& dataDirectory, ParticularSettings& settings) {
    return LoadFile(dataDirectory / ParticularSettingsFileName, settings);
}

bool LoadSettings(const std::filesystem::path& dataDirectory, MaximaSettings& settings) {
    return LoadFile(dataDirectory / MaximaSettingsFileName, settings);
}

bool LoadSettings(const std::filesystem::path& dataDirectory, PowerSettings& settings) {
    return LoadFile(dataDirectory / PowerSettingsFileName, settings);
}

std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const PowerSettings& settings) {
    return WriteTextFileAtomically(dataDirectory / PowerSettingsFileName, SettingsText(settings));
}

std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const ParticularSettings& settings) {
    return WriteTextFileAtomically(dataDirectory / ParticularSettingsFileName,
                                   SettingsText(settings));
}

std::optional<std::string> SaveSettings(const std::filesystem::path& dataDirectory,
                                        const MaximaSettings& settings) {
    return WriteTextFileAtomically(dataDirectory / MaximaSettingsFileName, SettingsText(settings));
}

} // namespace quillon
