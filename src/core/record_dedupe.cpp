#include "core/record_dedupe.h"

#include "core/files.h"

#include <string>
#include <unordered_set>

namespace quillon {

namespace {

bool Blank(std::string_view line) {
    return line.find_first_not_of(" \t\r") == std::string_view::npos;
}

} // namespace

DedupedText RemoveDuplicateRecords(std::string_view text) {
    DedupedText result;
    result.text.reserve(text.size());
    std::unordered_set<std::string_view> seen;
    std::string_view heading;
    bool first = true;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t end = text.find('\n', start);
        const std::size_t next = end == std::string_view::npos ? text.size() : end + 1;
        const std::string_view line =
            text.substr(start, (end == std::string_view::npos ? text.size() : end) - start);
        const std::string_view whole = text.substr(start, next - start);
        start = next;
        if (first) {
            first = false;
            heading = line;
        } else if (!Blank(line) && line != heading && !seen.insert(line).second) {
            ++result.removed;
            continue;
        }
        result.text += whole;
    }
    return result;
}

namespace {

// A link is followed: the file it leads to loses its duplicates, and its backup lies
// beside that file.
std::filesystem::path BackupOf(const std::filesystem::path& file) {
    std::filesystem::path backup = WriteTarget(file);
    backup += ".bak";
    return backup;
}

} // namespace

std::optional<std::string> CheckDedupeTarget(const std::filesystem::path& file) {
    std::error_code ec;
    if (!std::filesystem::exists(file, ec) && !std::filesystem::is_symlink(file, ec))
        return "The file " + file.string() + " does not exist";
    if (auto problem = CheckWritableFile(file))
        return problem;
    return CheckWritableFile(BackupOf(file));
}

std::optional<std::string> RemoveDuplicateRecordsFromFile(const std::filesystem::path& file,
                                                          DedupeOutcome& outcome) {
    outcome = {};
    if (auto problem = CheckDedupeTarget(file))
        return problem;
    const std::filesystem::path target = WriteTarget(file);
    const std::filesystem::path backup = BackupOf(file);
    // Under the lock every appender takes: a record appended while the duplicates are
    // sought would otherwise be lost with the file replaced.
    LockedFile locked;
    if (auto error = locked.Open(target, false))
        return error;
    std::string text;
    if (auto error = locked.Read(text))
        return error;
    const DedupedText deduped = RemoveDuplicateRecords(text);
    if (deduped.removed == 0)
        return std::nullopt;
    if (auto error = WriteTextFileAtomically(backup, text))
        return error;
    if (auto error = locked.Replace(deduped.text))
        return error;
    outcome.removed = deduped.removed;
    outcome.backup = backup;
    return std::nullopt;
}

std::string DedupeReport(const std::filesystem::path& file, const DedupeOutcome& outcome) {
    if (outcome.removed == 0)
        return file.string() + " has no duplicate records";
    return "Removed " + std::to_string(outcome.removed) +
           (outcome.removed == 1 ? " duplicate record from " : " duplicate records from ") +
           file.string() + "; the original is kept as " + outcome.backup.string();
}

} // namespace quillon
