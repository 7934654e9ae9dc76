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

std::optional<std::string> RemoveDuplicateRecordsFromFile(const std::filesystem::path& file,
                                                          DedupeOutcome& outcome) {
    outcome = {};
    const std::optional<std::string> text = ReadTextFile(file);
    if (!text)
        return "The file " + file.string() + " cannot be read";
    const DedupedText deduped = RemoveDuplicateRecords(*text);
    if (deduped.removed == 0)
        return std::nullopt;
    std::filesystem::path backup = file;
    backup += ".bak";
    if (auto error = WriteTextFileAtomically(backup, *text))
        return error;
    if (auto error = WriteTextFileAtomically(file, deduped.text))
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
