// Exact duplicate records of an accumulating summary file. Repeated runs append the same
// record again; the summary charts would then draw it twice. A record is a line after the
// first (the heading) that is not blank and differs from the heading; a record identical
// byte for byte to an earlier record (its line end aside) is a duplicate. Everything else
// (the heading, blank lines, records edited by hand so that they differ in any byte, the
// order, every line end) stays as it was.
#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

struct DedupedText {
    std::string text;
    std::size_t removed = 0;
};

// The text without its duplicate records, keeping the first of each.
DedupedText RemoveDuplicateRecords(std::string_view text);

struct DedupeOutcome {
    std::size_t removed = 0;
    std::filesystem::path backup; // empty when nothing was removed (the file is untouched)
};

// Removes the duplicate records of `file`: the original is first kept as `file` + ".bak"
// (replacing an older backup), then the file is replaced in one step, keeping its
// permissions. The whole of it holds the lock the appenders of summary files take, so no
// record appended meanwhile is lost. A symbolic link is followed to its file (the backup
// lies beside that file). A file without duplicates is left untouched and gets no backup.
// An error message naming the file when it does not exist, is not a regular file, or
// cannot be read or written.
// What a dedupe of `file` would refuse before any work: a file that does not exist or is
// not a regular file, or one (or its backup) that cannot be written. The message.
std::optional<std::string> CheckDedupeTarget(const std::filesystem::path& file);

std::optional<std::string> RemoveDuplicateRecordsFromFile(const std::filesystem::path& file,
                                                          DedupeOutcome& outcome);

// "Removed 3 duplicate records from F; the original is kept as F.bak" or "F has no
// duplicate records", as the command line and the window report it.
std::string DedupeReport(const std::filesystem::path& file, const DedupeOutcome& outcome);

} // namespace quillon
