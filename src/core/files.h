// Files in the data directory. Every result and summary line is written whole and flushed
// at once, so a run ended at any moment leaves complete lines; settings are replaced
// atomically (written beside, then renamed).
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// $XDG_DATA_HOME/Quillon, or ~/.local/share/Quillon when XDG_DATA_HOME is unset or empty.
std::filesystem::path DefaultDataDirectory();

// Creates the directory (and parents) if missing and checks that it can be written.
// Returns a message naming the path when it cannot.
std::optional<std::string> PrepareDataDirectory(const std::filesystem::path& dir);

// Writes `content` from empty. Returns an error message on failure.
std::optional<std::string> WriteTextFile(const std::filesystem::path& file,
                                         std::string_view content);
// Writes to a temporary file beside `file` and renames it over `file`.
std::optional<std::string> WriteTextFileAtomically(const std::filesystem::path& file,
                                                   std::string_view content);
// Appends `text` (which carries its own line ends) in one write and flushes it.
std::optional<std::string> AppendTextFile(const std::filesystem::path& file, std::string_view text);
// Appends one record line (without its line end) to an accumulating summary file, in one
// write: a missing or empty file first gets `heading` as its first line (the readers skip
// the first line), and a file whose last line lost its end in an editor gets one first, so
// the new record never runs on into it. Lines end in CRLF. The check and the write hold an
// advisory lock (flock) on the file, so runs appending to one file at once leave neither
// empty nor joined lines.
std::optional<std::string> AppendSummaryRecord(const std::filesystem::path& file,
                                               std::string_view heading, std::string_view line);
// The same for several records at once, in their order, in one write.
std::optional<std::string> AppendSummaryRecords(const std::filesystem::path& file,
                                                std::string_view heading,
                                                const std::vector<std::string>& lines);
// Gives a missing or empty summary file its heading, under the same lock, and leaves a file
// with content as it is.
std::optional<std::string> EnsureSummaryHeading(const std::filesystem::path& file,
                                                std::string_view heading);
// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadTextFile(const std::filesystem::path& file);

// Lines of a text, CRLF or LF ends, the end of line removed; a final line without an end
// is kept, an empty last piece is not.
std::vector<std::string> SplitLines(std::string_view text);
// Fields separated by tabs.
std::vector<std::string> SplitTabs(std::string_view line);

inline constexpr std::string_view CRLF = "\r\n";

} // namespace quillon
