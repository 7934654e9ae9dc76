#include "core/files.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <signal.h>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <system_error>
#include <unistd.h>
#include <utility>

namespace quillon {

namespace fs = std::filesystem;

fs::path DefaultDataDirectory() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    // A relative XDG_DATA_HOME is invalid and ignored, as the base-directory rules ask: it
    // would name another folder from every working directory.
    if (xdg != nullptr && *xdg == '/')
        return fs::path(xdg) / "Quillon";
    const char* home = std::getenv("HOME");
    return fs::path(home != nullptr && *home != '\0' ? home : ".") / ".local" / "share" / "Quillon";
}

std::string SystemErrorText(int error) {
    if (error == 0)
        return "an unknown error";
    return std::strerror(error);
}

namespace {

std::string Failure(const fs::path& file, std::string_view what, int error) {
    return "The file " + file.string() + " cannot be " + std::string(what) + ": " +
           SystemErrorText(error);
}

// What a path that is not a regular file is, in words; empty for a regular file.
std::string KindOf(mode_t mode) {
    if (S_ISREG(mode))
        return {};
    if (S_ISDIR(mode))
        return "a folder";
    if (S_ISCHR(mode) || S_ISBLK(mode))
        return "a device";
    if (S_ISFIFO(mode))
        return "a FIFO (named pipe)";
    if (S_ISSOCK(mode))
        return "a socket";
    return "not a regular file";
}

std::string NotAFile(const fs::path& file, const std::string& kind) {
    return file.string() + " is " + kind + ", not a regular file; it is not written";
}

} // namespace

fs::path WriteTarget(const fs::path& file) {
    std::error_code ec;
    if (!fs::is_symlink(file, ec))
        return file;
    const fs::path target = fs::canonical(file, ec);
    return ec ? file : target;
}

std::optional<std::string> CheckWritableFile(const fs::path& file) {
    struct stat st {};
    if (::lstat(file.c_str(), &st) == 0 && S_ISLNK(st.st_mode) && ::stat(file.c_str(), &st) != 0)
        return file.string() + " is a symbolic link to a file that cannot be reached (" +
               SystemErrorText(errno) + "); it is not written";
    if (::stat(file.c_str(), &st) == 0) {
        if (const std::string kind = KindOf(st.st_mode); !kind.empty())
            return NotAFile(file, kind);
        if (::access(file.c_str(), W_OK) != 0)
            return Failure(file, "written", errno);
        return std::nullopt;
    }
    if (errno != ENOENT)
        return Failure(file, "written", errno);
    fs::path folder = WriteTarget(file).parent_path();
    if (folder.empty())
        folder = ".";
    if (::stat(folder.c_str(), &st) != 0)
        return "The file " + file.string() + " cannot be written: its folder " + folder.string() +
               " does not exist";
    if (!S_ISDIR(st.st_mode))
        return "The file " + file.string() + " cannot be written: " + folder.string() +
               " is not a folder";
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return "The file " + file.string() + " cannot be written: its folder " + folder.string() +
               " cannot be written (" + SystemErrorText(errno) + ")";
    return std::nullopt;
}

namespace {

constexpr std::string_view kTemporaryMark = ".tmp-";

bool ProcessEnded(pid_t pid) {
    return pid > 0 && ::kill(pid, 0) != 0 && errno == ESRCH;
}

} // namespace

void RemoveStaleTemporaryFiles(const fs::path& dir) {
    std::error_code ec;
    fs::directory_iterator it(dir, ec);
    if (ec)
        return;
    for (const fs::directory_entry& entry : it) {
        const std::string name = entry.path().filename().string();
        const std::size_t mark = name.rfind(kTemporaryMark);
        if (mark == std::string::npos || mark == 0)
            continue;
        const std::string digits = name.substr(mark + kTemporaryMark.size());
        if (digits.empty() || digits.size() > 9 ||
            digits.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::error_code kind;
        if (entry.is_regular_file(kind) && !entry.is_symlink(kind) &&
            ProcessEnded(static_cast<pid_t>(std::stol(digits))))
            fs::remove(entry.path(), ec);
    }
}

std::optional<std::string> PrepareDataDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::exists(dir, ec)) {
        fs::create_directories(dir, ec);
        if (ec)
            return "The data folder " + dir.string() +
                   " cannot be created: " + SystemErrorText(ec.value());
    }
    if (!fs::is_directory(dir, ec))
        return "The data folder " + dir.string() + " is not a folder";
    if (::access(dir.c_str(), W_OK) != 0)
        return "The data folder " + dir.string() + " cannot be written: " + SystemErrorText(errno);
    RemoveStaleTemporaryFiles(dir);
    return std::nullopt;
}

namespace {

FaultHook faultHook = nullptr;

std::optional<std::string> WriteAll(int fd, std::string_view content, const fs::path& file) {
    const char* data = content.data();
    std::size_t left = content.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, data, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            return Failure(file, "written", errno);
        }
        if (n == 0)
            return Failure(file, "written", ENOSPC);
        data += n;
        left -= static_cast<std::size_t>(n);
    }
    return std::nullopt;
}

// Opens a file to write without blocking on a FIFO, and refuses anything but a regular
// file: the check before the open says what the path is, the one after it holds even when
// the path changed in between.
int OpenRegular(const fs::path& file, int flags, mode_t mode, std::string& error) {
    if (auto problem = CheckWritableFile(file)) {
        error = *problem;
        return -1;
    }
    const int fd = ::open(file.c_str(), flags | O_CLOEXEC | O_NONBLOCK, mode);
    if (fd < 0) {
        error = Failure(file, "opened for writing", errno);
        return -1;
    }
    struct stat st {};
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        error = NotAFile(file, KindOf(st.st_mode));
        ::close(fd);
        return -1;
    }
    ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
    return fd;
}

std::optional<std::string> WriteWithFlags(const fs::path& file, std::string_view content, int flags,
                                          bool sync) {
    std::string openError;
    const int fd = OpenRegular(file, flags | O_WRONLY, 0644, openError);
    if (fd < 0)
        return openError;
    struct stat st {};
    const off_t start = ::fstat(fd, &st) == 0 ? st.st_size : 0;
    auto error = WriteAll(fd, content, file);
    if (error && (flags & O_APPEND) != 0)
        // A part of the text would stay as a torn line.
        (void)!::ftruncate(fd, start);
    if (!error && sync && ::fsync(fd) != 0)
        error = Failure(file, "written", errno);
    if (::close(fd) != 0 && !error)
        error = Failure(file, "written", errno);
    return error;
}

void SyncFolder(const fs::path& folder) {
    const int fd =
        ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

// Writes `content` to a fresh temporary file beside `target` with `mode` (and owner, where
// allowed), flushes it and renames it over `target`.
std::optional<std::string> ReplaceWith(const fs::path& target, std::string_view content,
                                       const struct stat* existing) {
    fs::path temp = target;
    temp += std::string(kTemporaryMark) + std::to_string(::getpid());
    std::error_code ec;
    fs::remove(temp, ec);
    // A new file gets the usual mode (the umask applies); a replaced one keeps its own.
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC,
                          existing != nullptr ? 0600 : 0644);
    if (fd < 0)
        return "The file " + target.string() +
               " cannot be replaced: the temporary file beside it cannot be created (" +
               SystemErrorText(errno) + ")";
    std::optional<std::string> error = WriteAll(fd, content, temp);
    if (error)
        error = "The file " + target.string() +
                " cannot be replaced: " + error->substr(error->rfind(": ") + 2) +
                "; it was left as it was";
    if (!error && existing != nullptr)
        (void)!::fchown(fd, existing->st_uid, existing->st_gid);
    if (!error && existing != nullptr && ::fchmod(fd, existing->st_mode & 07777) != 0)
        error = Failure(target, "replaced", errno);
    if (!error && ::fsync(fd) != 0)
        error = Failure(target, "replaced", errno);
    if (::close(fd) != 0 && !error)
        error = Failure(target, "replaced", errno);
    FaultPoint("replace:temporary written");
    if (!error && ::rename(temp.c_str(), target.c_str()) != 0)
        error = Failure(target, "replaced", errno);
    if (error) {
        fs::remove(temp, ec);
        return error;
    }
    SyncFolder(target.parent_path());
    return std::nullopt;
}

} // namespace

std::optional<std::string> WriteTextFile(const fs::path& file, std::string_view content) {
    return WriteWithFlags(file, content, O_CREAT | O_TRUNC, false);
}

std::optional<std::string> WriteTextFileAtomically(const fs::path& file, std::string_view content) {
    if (auto problem = CheckWritableFile(file))
        return problem;
    const fs::path target = WriteTarget(file);
    struct stat st {};
    const bool exists = ::stat(target.c_str(), &st) == 0;
    const fs::path folder = target.parent_path();
    RemoveStaleTemporaryFiles(folder.empty() ? fs::path(".") : folder);
    return ReplaceWith(target, content, exists ? &st : nullptr);
}

std::optional<std::string> AppendTextFile(const fs::path& file, std::string_view text) {
    // O_APPEND with one write call: a line is either wholly there or not at all.
    return WriteWithFlags(file, text, O_CREAT | O_APPEND, false);
}

LockedFile::LockedFile(LockedFile&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)), path_(std::move(other.path_)) {}

LockedFile& LockedFile::operator=(LockedFile&& other) noexcept {
    if (this != &other) {
        Close();
        fd_ = std::exchange(other.fd_, -1);
        path_ = std::move(other.path_);
    }
    return *this;
}

LockedFile::~LockedFile() {
    Close();
}

void LockedFile::Close() {
    if (fd_ >= 0)
        ::close(fd_);
    fd_ = -1;
}

std::optional<std::string> LockedFile::Open(const fs::path& file, bool create) {
    Close();
    path_ = file;
    const fs::path target = WriteTarget(file);
    // The lock belongs to the file's inode; one replaced (renamed over) while this process
    // waited is unlocked news: look again and lock the file now at the path.
    for (;;) {
        std::string error;
        const int fd = OpenRegular(target, O_RDWR | O_APPEND | (create ? O_CREAT : 0), 0644, error);
        if (fd < 0)
            return error;
        while (::flock(fd, LOCK_EX) != 0) {
            if (errno == EINTR)
                continue;
            const int lockError = errno;
            ::close(fd);
            return Failure(file, "locked", lockError);
        }
        struct stat held {
        }, now{};
        if (::fstat(fd, &held) == 0 && ::stat(target.c_str(), &now) == 0 &&
            held.st_ino == now.st_ino && held.st_dev == now.st_dev) {
            fd_ = fd;
            return std::nullopt;
        }
        ::close(fd);
    }
}

std::optional<std::string> LockedFile::Size(std::uint64_t& size) const {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return Failure(path_, "read", errno);
    size = static_cast<std::uint64_t>(st.st_size);
    return std::nullopt;
}

std::optional<std::string> LockedFile::Read(std::string& text) const {
    std::uint64_t size = 0;
    if (auto error = Size(size))
        return error;
    text.assign(size, '\0');
    std::uint64_t done = 0;
    while (done < size) {
        const ssize_t n = ::pread(fd_, text.data() + done, size - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failure(path_, "read", errno);
        if (n == 0)
            break;
        done += static_cast<std::uint64_t>(n);
    }
    text.resize(done);
    return std::nullopt;
}

std::optional<std::string> LockedFile::TruncateTo(std::uint64_t size) {
    if (::ftruncate(fd_, static_cast<off_t>(size)) != 0 || ::fsync(fd_) != 0)
        return Failure(path_, "cut back", errno);
    return std::nullopt;
}

std::optional<std::string> LockedFile::Append(std::string_view heading, std::string_view lines,
                                              bool sync, std::uint64_t* start) {
    std::uint64_t size = 0;
    if (auto error = Size(size))
        return error;
    if (start != nullptr)
        *start = size;
    // What must come before the lines so that they start a line of their own: the heading
    // when the file is empty, a line end when its last line lost its end.
    std::string text;
    if (size == 0 && !heading.empty()) {
        text.append(heading).append(CRLF);
    } else if (size > 0) {
        char last = '\n';
        if (::pread(fd_, &last, 1, static_cast<off_t>(size - 1)) == 1 && last != '\n')
            text.append(CRLF);
    }
    if (lines.empty() && (size > 0 || heading.empty()))
        return std::nullopt;
    text.append(lines);
    return WriteAtEnd(text, size, sync);
}

std::optional<std::string> LockedFile::WriteAtEnd(std::string_view text, std::uint64_t size,
                                                  bool sync) {
    // One write of the whole text: readers that take no lock see no part of a line either
    // (O_APPEND places it at the end in one step).
    if (auto error = WriteAll(fd_, text, path_)) {
        // A full disk or a size limit took part of it: cut the file back, so that no torn
        // record stays to be read as a whole one.
        if (::ftruncate(fd_, static_cast<off_t>(size)) != 0)
            return *error + "; the part written could not be removed (" + SystemErrorText(errno) +
                   ")";
        return *error + "; nothing was added to it";
    }
    if (sync && ::fsync(fd_) != 0)
        return Failure(path_, "written", errno);
    return std::nullopt;
}

std::optional<std::string> LockedFile::StartNewLine(std::string_view heading, bool sync) {
    std::uint64_t size = 0;
    if (auto error = Size(size))
        return error;
    std::string_view text;
    char last = '\n';
    if (size == 0)
        text = heading.empty() ? std::string_view() : heading;
    else if (::pread(fd_, &last, 1, static_cast<off_t>(size - 1)) == 1 && last != '\n')
        text = CRLF;
    if (text.empty())
        return std::nullopt;
    std::string line(text);
    if (size == 0)
        line.append(CRLF);
    return WriteAtEnd(line, size, sync);
}

std::optional<std::string> LockedFile::Replace(std::string_view content) {
    struct stat st {};
    if (::fstat(fd_, &st) != 0)
        return Failure(path_, "read", errno);
    return ReplaceWith(WriteTarget(path_), content, &st);
}

void SetFaultHook(FaultHook hook) {
    faultHook = hook;
}

void FaultPoint(std::string_view step) {
    if (faultHook != nullptr)
        faultHook(step);
}

namespace {

std::optional<std::string> LockedAppend(const fs::path& file, std::string_view heading,
                                        std::string_view lines) {
    LockedFile locked;
    if (auto error = locked.Open(file))
        return error;
    return locked.Append(heading, lines);
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
    return LockedAppend(file, heading, "");
}

std::optional<std::string> MarkFileIncomplete(const fs::path& file, std::string_view note) {
    std::string error;
    const int fd = OpenRegular(file, O_RDWR, 0644, error);
    if (fd < 0)
        return error;
    // Only the first line is needed: a long log is not read whole.
    std::string first(4096, '\0');
    const ssize_t n = ::pread(fd, first.data(), first.size(), 0);
    first.resize(n > 0 ? static_cast<std::size_t>(n) : 0);
    const std::size_t end = first.find_first_of("\r\n");
    std::optional<std::string> failure;
    if (end != std::string::npos && end >= note.size() && end > 0) {
        std::string line(note);
        line.append(end - note.size(), first[end - 1]);
        if (::pwrite(fd, line.data(), line.size(), 0) != static_cast<ssize_t>(line.size()))
            failure = Failure(file, "marked as incomplete", errno);
        ::close(fd);
        return failure;
    }
    ::close(fd);
    const std::optional<std::string> text = ReadTextFile(file);
    if (!text)
        return Failure(file, "read", errno);
    return WriteTextFileAtomically(file, std::string(note) + std::string(CRLF) + *text);
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
