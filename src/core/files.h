// Files in the data directory. Every result and summary line is written whole and flushed
// at once, so a run ended at any moment leaves complete lines; settings are replaced
// atomically (written beside, then renamed).
//
// Every change to an accumulating summary file (a study's append, a merge, a dedupe) holds
// one advisory lock (flock) on the file, and reads what decides the change under it. A
// write that fails part way (a full disk, a file-size limit) is cut back to where it began,
// so no torn record stays. Only regular files are written: a symbolic link is followed to
// the file it names and that file is written; a folder, device, FIFO or socket is refused
// before anything is written. A replaced file keeps its permissions.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// $XDG_DATA_HOME/Quillon, or ~/.local/share/Quillon when XDG_DATA_HOME is unset, empty or
// not an absolute path.
std::filesystem::path DefaultDataDirectory();

// Creates the directory (and parents) if missing and checks that it can be written.
// Returns a message naming the path when it cannot. Removes the temporary files that
// replacements interrupted by a crash or a kill left in it.
std::optional<std::string> PrepareDataDirectory(const std::filesystem::path& dir);

// The text of a system error number, never "Success" (an error without a number reads
// "an unknown error").
std::string SystemErrorText(int error);

// Checks, before any work, that `file` can be written by the functions below: it is absent
// in an existing folder, or a regular file, or a symbolic link to one. Returns the message
// naming the path and what it is (a folder, a device, a FIFO, a socket) when it cannot.
std::optional<std::string> CheckWritableFile(const std::filesystem::path& file);

// The file a write of `file` changes: `file` itself, or the file its symbolic links lead to.
std::filesystem::path WriteTarget(const std::filesystem::path& file);

// Removes the temporary files "NAME.tmp-PID" in `dir` whose writing process has ended.
void RemoveStaleTemporaryFiles(const std::filesystem::path& dir);

// Writes `content` from empty. Returns an error message on failure.
std::optional<std::string> WriteTextFile(const std::filesystem::path& file,
                                         std::string_view content);
// Writes to a temporary file beside `file`, flushes it to the disk and renames it over
// `file` (over the file a symbolic link leads to), keeping the permissions it had.
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
// An accumulating summary file opened and locked (see above) until destroyed. A process
// that waited for the lock while another replaced the file (a dedupe) locks the new file.
class LockedFile {
public:
    LockedFile() = default;
    LockedFile(const LockedFile&) = delete;
    LockedFile& operator=(const LockedFile&) = delete;
    LockedFile(LockedFile&& other) noexcept;
    LockedFile& operator=(LockedFile&& other) noexcept;
    ~LockedFile();

    // Opens `file` (creating it when `create`), after the check of CheckWritableFile, and
    // waits for its lock. The message naming the file when it cannot.
    std::optional<std::string> Open(const std::filesystem::path& file, bool create = true);
    const std::filesystem::path& Path() const { return path_; }
    // The whole content, read through the locked descriptor.
    std::optional<std::string> Read(std::string& text) const;
    std::optional<std::string> Size(std::uint64_t& size) const;
    // Appends `lines` (each with its line end) in one write, after the heading when the
    // file is empty (no heading when `heading` is empty) and a line end when its last line
    // lost one. A failed write is cut back to the size the file had. `sync` flushes the
    // file to the disk before returning. `start` receives the offset the write began at.
    std::optional<std::string> Append(std::string_view heading, std::string_view lines,
                                      bool sync = false, std::uint64_t* start = nullptr);
    // Gives an empty file its heading, or a file whose last line lost its end that end, so
    // that what is appended next starts a line of its own.
    std::optional<std::string> StartNewLine(std::string_view heading, bool sync = false);
    // Cuts the file back to `size` bytes (and flushes that to the disk).
    std::optional<std::string> TruncateTo(std::uint64_t size);
    // Replaces the file by `content` in one step (a temporary file renamed over it), with
    // its permissions; the lock is held until this object is destroyed.
    std::optional<std::string> Replace(std::string_view content);
    void Close();

private:
    std::optional<std::string> WriteAtEnd(std::string_view text, std::uint64_t size, bool sync);

    int fd_ = -1;
    std::filesystem::path path_;
};

// Where tests stop a process at a named step (to check what a kill there leaves): called
// at each such step with its name; nothing is installed outside the tests.
using FaultHook = void (*)(std::string_view step);
void SetFaultHook(FaultHook hook);
void FaultPoint(std::string_view step);

// Marks a file whose writing was cut short (a stopped run) in its first line: a first line
// at least as long as `note` is overwritten in place (padded with its own last character,
// so its length stays), a shorter one gets `note` as a line before it.
std::optional<std::string> MarkFileIncomplete(const std::filesystem::path& file,
                                              std::string_view note);

// The whole file, or nothing when it cannot be read.
std::optional<std::string> ReadTextFile(const std::filesystem::path& file);

// Lines of a text, CRLF or LF ends, the end of line removed; a final line without an end
// is kept, an empty last piece is not.
std::vector<std::string> SplitLines(std::string_view text);
// Fields separated by tabs.
std::vector<std::string> SplitTabs(std::string_view line);

inline constexpr std::string_view CRLF = "\r\n";

} // namespace quillon
