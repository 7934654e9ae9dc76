#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>

namespace quillon {

namespace fs = std::filesystem;

fs::path DefaultDataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg != nullptr && *xdg != '\0')
        return fs::path(xdg) / "Quillon";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : ".") / ".local" / "share" / "Quillon";
}

std::optional<std::string> PrepareDataDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec)
            return "The data folder " + dir.string() + " cannot be created: " + ec.message();
    }
    if (!fs::is_directory(dir, ec))
        return "The data folder " + dir.string() + " is not a folder";
    if (::access(dir.c_str(), W_OK) != 0)
        return "The data folder " + dir.string() + " cannot be written: " + std::strerror(errno);
    return std::nullopt;
}

namespace {

std::optional<std::string> WriteAll(int fd, std::string_view content, const fs::path& file) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return "The file " + file.string() + " cannot be written: " + std::strerror(errno);
        }
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

std::optional<std::string> WriteWithFlags(const fs::path& file, std::string_view content, int flags,
                                          bool sync) {
    const int fd = ::open(file.c_str(), flags | O_WRONLY | O_CLOEXEC, 0644);
    if (fd < 0)
        return "The file " + file.string() +
               " cannot be opened for writing: " + std::strerror(errno);
    auto error = WriteAll(fd, content, file);
    if (!error && sync && ::fsync(fd) != 0)
        error = "The file " + file.string() + " cannot be written: " + std::strerror(errno);
    if (::close(fd) != 0 && !error)
        error = "The file " + file.string() + " cannot be written: " + std::strerror(errno);
    return error;
}

} // namespace

std::optional<std::string> WriteTextFile(const fs::path& file, std::string_view content) {
    return WriteWithFlags(file, content, O_CREAT | O_TRUNC, false);
}

std::optional<std::string> WriteTextFileAtomically(const fs::path& file, std::string_view content) {
    fs::path temp = file;
    temp += ".tmp-" + std::to_string(::getpid());
    if (auto error = WriteWithFlags(temp, content, O_CREAT | O_TRUNC, true)) {
        std::error_code ec;
        fs::remove(temp, ec);
        return error;
    }
    std::error_code ec;
    fs::rename(temp, file, ec);
    if (ec) {
        fs::remove(temp, ec);
        return "The file " + file.string() + " cannot be replaced: " + ec.message();
    }
    return std::nullopt;
}

std::optional<std::string> AppendTextFile(const fs::path& file, std::string_view text) {
    // O_APPEND with one write call: a line is either wholly there or not at all.
    return WriteWithFlags(file, text, O_CREAT | O_APPEND, false);
}

namespace {

// Opens `file` for appending and holds an exclusive advisory lock on it until the returned
// descriptor is closed. Every appender of the summary files takes it, so the look at the
// file's end (empty? last line end missing?) and the write that follows it are one step
// that no other process or thread can come between.
int OpenLockedForAppend(const fs::path& file, std::string& error) {
    const int fd = ::open(file.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
    if (fd < 0) {
        error =
            "The file " + file.string() + " cannot be opened for writing: " + std::strerror(errno);
        return -1;
    }
    while (::flock(fd, LOCK_EX) != 0) {
        if (errno == EINTR)
            continue;
        error = "The file " + file.string() + " cannot be locked: " + std::strerror(errno);
        ::close(fd);
        return -1;
    }
    return fd;
}

// What must come before a record so that it starts a line of its own: the heading when
// the file is empty, a line end when its last line lost its end.
std::optional<std::string> Preamble(int fd, std::string_view heading, const fs::path& file,
                                    std::string& text) {
    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return "The file " + file.string() + " cannot be read: " + std::strerror(errno);
    if (st.st_size == 0) {
        text.append(heading).append(CRLF);
        return std::nullopt;
    }
    const int rd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (rd < 0)
        return "The file " + file.string() + " cannot be read: " + std::strerror(errno);
    char last = '\n';
    const ssize_t n = ::pread(rd, &last, 1, st.st_size - 1);
    ::close(rd);
    if (n == 1 && last != '\n')
        text.append(CRLF);
    return std::nullopt;
}

std::optional<std::string> LockedAppend(const fs::path& file, std::string_view heading,
                                        std::string_view lines, bool headingOnly = false) {
    std::string error;
    const int fd = OpenLockedForAppend(file, error);
    if (fd < 0)
        return error;
    std::string text;
    auto failure = Preamble(fd, heading, file, text);
    if (headingOnly && text != std::string(heading) + std::string(CRLF))
        text.clear();
    if (!failure && !(text.empty() && lines.empty())) {
        text.append(lines);
        // One write of the whole text: readers that take no lock see no part of a line
        // either (O_APPEND places it at the end in one step).
        failure = WriteAll(fd, text, file);
    }
    if (::close(fd) != 0 && !failure)
        failure = "The file " + file.string() + " cannot be written: " + std::strerror(errno);
    return failure;
}

} // namespace

std::optional<std::string> AppendSummaryRecord(const fs::path& file, std::string_view heading,
                                               std::string_view line) {
    std::string text(line);
    text.append(CRLF);
    return LockedAppend(file, heading, text);
}

std::optional<std::string> AppendSummaryRecords(const fs::path& file, std::string_view heading,
                                                const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text.append(line).append(CRLF);
    return LockedAppend(file, heading, text);
}

std::optional<std::string> EnsureSummaryHeading(const fs::path& file, std::string_view heading) {
    return LockedAppend(file, heading, "", true);
}

std::optional<std::string> ReadTextFile(const fs::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in)
        return std::nullopt;
    std::ostringstream buffer;
    buffer << in.rdbuf();
    return buffer.str();
}

std::vector<std::string> SplitLines(std::string_view text) {
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string_view::npos)
            end = text.size();
        std::string_view line = text.substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        lines.emplace_back(line);
        start = end + 1;
    }
    return lines;
}

std::vector<std::string> SplitTabs(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (;;) {
        const std::size_t tab = line.find('\t', start);
        if (tab == std::string_view::npos) {
            fields.emplace_back(line.substr(start));
            return fields;
        }
        fields.emplace_back(line.substr(start, tab - start));
        start = tab + 1;
    }
}

} // namespace quillon
