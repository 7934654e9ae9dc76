#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
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

std::optional<std::string> AppendSummaryRecord(const fs::path& file, std::string_view heading,
                                               std::string_view line) {
    std::string text;
    std::error_code ec;
    const auto size = fs::file_size(file, ec);
    if (ec == std::errc::no_such_file_or_directory || (!ec && size == 0)) {
        text.append(heading).append(CRLF);
    } else if (!ec) {
        std::ifstream in(file, std::ios::binary);
        in.seekg(-1, std::ios::end);
        char last = '\n';
        if (in.get(last) && last != '\n')
            text.append(CRLF);
    }
    text.append(line).append(CRLF);
    return AppendTextFile(file, text);
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
