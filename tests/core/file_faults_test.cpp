// What the data folder's files withstand: paths that are not regular files, a full disk (a
// file-size limit in a child process), permissions of replaced files, the temporary files
// of a replacement a kill interrupted, and a file marked as cut short.
#include "core/files.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <string>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("<unreadable>");
}

mode_t KindOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::lstat(path.c_str(), &st), 0) << path;
    return st.st_mode & S_IFMT;
}

// Runs `body` in a child process whose files may grow to `limit` bytes at most (a disk
// that fills up at that size), and returns the child's exit status.
template <typename Body> int WithFileSizeLimit(rlim_t limit, Body body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit cap { limit, limit };
        if (::setrlimit(RLIMIT_FSIZE, &cap) != 0)
            ::_exit(99);
        ::_exit(body());
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

// Every path that is not a regular file is refused before anything is written, and stays
// what it was; a symbolic link is written through to its file and stays a link.
TEST(FileFaults, OnlyRegularFilesAreWritten) {
    const fs::path dir = testing::MakeTempDirectory("file-faults");
    ASSERT_EQ(::mkfifo((dir / "fifo").c_str(), 0644), 0);
    fs::create_directory(dir / "folder");
    // A device node of its own in the temporary folder (the null device's numbers), never a
    // system path.
    const bool haveDevice = ::mknod((dir / "device").c_str(), S_IFCHR | 0644, makedev(1, 3)) == 0;
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = (dir / "socket").string();
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    socketPath.copy(address.sun_path, socketPath.size());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    fs::create_symlink(dir / "fifo", dir / "link-to-fifo");
    fs::create_symlink(dir / "nothing", dir / "dangling");

    struct Case {
        const char* name;
        const char* path;
        const char* says;
        mode_t kind;
    };
    std::vector<Case> cases = {
        {"a FIFO", "fifo", "is a FIFO (named pipe), not a regular file", S_IFIFO},
        {"a folder", "folder", "is a folder, not a regular file", S_IFDIR},
        {"a socket", "socket", "is a socket, not a regular file", S_IFSOCK},
        {"a link to a FIFO", "link-to-fifo", "is a FIFO (named pipe)", S_IFLNK},
        {"a link to nothing", "dangling", "symbolic link to a file that cannot be reached",
         S_IFLNK},
        {"a missing folder", "no-folder/file.txt", "its folder", 0},
    };
    if (haveDevice)
        cases.push_back({"a device", "device", "is a device, not a regular file", S_IFCHR});
    using Writer = std::optional<std::string> (*)(const fs::path&);
    const std::pair<const char*, Writer> writers[] = {
        {"replace", [](const fs::path& p) { return WriteTextFileAtomically(p, "chart"); }},
        {"write", [](const fs::path& p) { return WriteTextFile(p, "results"); }},
        {"append", [](const fs::path& p) { return AppendTextFile(p, "log\n"); }},
        {"summary", [](const fs::path& p) { return AppendSummaryRecord(p, "Head", "r"); }},
        {"check", [](const fs::path& p) { return CheckWritableFile(p); }},
    };
    for (const Case& c : cases) {
        for (const auto& [how, write] : writers) {
            SCOPED_TRACE(std::string(c.name) + ", " + how);
            const std::optional<std::string> error = write(dir / c.path);
            ASSERT_TRUE(error.has_value());
            EXPECT_NE(error->find(c.says), std::string::npos) << *error;
            EXPECT_EQ(error->find("Success"), std::string::npos) << *error;
            if (c.kind != 0) {
                EXPECT_EQ(KindOf(dir / c.path), c.kind);
            }
        }
    }
    ::close(sock);
    // Nothing was left beside them.
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();

    // A link to a regular file: the file gets the text, the link stays a link.
    ASSERT_FALSE(WriteTextFile(dir / "target.txt", "old").has_value());
    fs::create_symlink("target.txt", dir / "link.txt");
    ASSERT_FALSE(WriteTextFileAtomically(dir / "link.txt", "new").has_value());
    EXPECT_EQ(KindOf(dir / "link.txt"), static_cast<mode_t>(S_IFLNK));
    EXPECT_EQ(Read(dir / "target.txt"), "new");
    ASSERT_FALSE(AppendSummaryRecord(dir / "link.txt", "Head", "r").has_value());
    EXPECT_EQ(Read(dir / "target.txt"), "new\r\nr\r\n");
}

// A replaced file keeps its permissions (a read-only file stays read-only); a new one gets
// the usual ones.
TEST(FileFaults, ReplacedFilesKeepTheirPermissions) {
    const fs::path dir = testing::MakeTempDirectory("file-faults");
    const mode_t modes[] = {0600, 0640, 0664, 0444};
    for (const mode_t mode : modes) {
        SCOPED_TRACE(mode);
        const fs::path file = dir / ("mode" + std::to_string(mode));
        ASSERT_FALSE(WriteTextFile(file, "old").has_value());
        ASSERT_EQ(::chmod(file.c_str(), mode), 0);
        const std::optional<std::string> error = WriteTextFileAtomically(file, "new");
        struct stat st {};
        ASSERT_EQ(::stat(file.c_str(), &st), 0);
        EXPECT_EQ(st.st_mode & 07777, mode);
        if (::geteuid() == 0 || (mode & S_IWUSR) != 0) {
            EXPECT_FALSE(error.has_value()) << *error;
            EXPECT_EQ(Read(file), "new");
        } else {
            // Not writable by this user: refused, and left as it was.
            EXPECT_TRUE(error.has_value());
            EXPECT_EQ(Read(file), "old");
        }
    }
}

// A disk that fills up part way through a write: the file is cut back to where the write
// began, so no torn record stays, and the message says what happened. Before the mend the
// part that fitted stayed ("071226<tab>"), and later appends kept it as a record.
TEST(FileFaults, AFullDiskLeavesNoTornRecord) {
    const fs::path dir = testing::MakeTempDirectory("file-faults");
    const fs::path summary = dir / "Summary.txt";
    const std::string before = "Head\r\nr1\t.0432\r\n";
    ASSERT_FALSE(WriteTextFile(summary, before).has_value());
    const std::string record = "071226\t2\t" + std::string(200, '7') + "\t.461";
    struct Case {
        const char* name;
        std::optional<std::string> (*append)(const fs::path&, const std::string&);
    };
    const Case cases[] = {
        {"one record",
         [](const fs::path& f, const std::string& r) { return AppendSummaryRecord(f, "Head", r); }},
        {"several records",
         [](const fs::path& f, const std::string& r) {
             return AppendSummaryRecords(f, "Head", {r, r + "2"});
         }},
        {"a plain append",
         [](const fs::path& f, const std::string& r) { return AppendTextFile(f, r + "\r\n"); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // Room for 10 more bytes: the record does not fit.
        const int status = WithFileSizeLimit(before.size() + 10, [&] {
            const std::optional<std::string> error = c.append(summary, record);
            if (!error)
                return 1;
            if (error->find("File too large") == std::string::npos ||
                error->find("Success") != std::string::npos)
                return 2;
            return 0;
        });
        EXPECT_EQ(status, 0);
        EXPECT_EQ(Read(summary), before);
    }
    // With room again, the next record is whole and alone on its line.
    ASSERT_FALSE(AppendSummaryRecord(summary, "Head", record).has_value());
    EXPECT_EQ(Read(summary), before + record + "\r\n");

    // A replacement that does not fit leaves the old file and no temporary file.
    const fs::path chart = dir / "chart.svg";
    ASSERT_FALSE(WriteTextFile(chart, "old chart").has_value());
    EXPECT_EQ(
        WithFileSizeLimit(
            100, [&] { return WriteTextFileAtomically(chart, std::string(1000, 'x')) ? 0 : 1; }),
        0);
    EXPECT_EQ(Read(chart), "old chart");
    for (const auto& entry : fs::directory_iterator(dir))
        EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
}

// A replacement killed after its temporary file was written leaves that file; the next
// run in the folder removes it (and only those whose writer has ended).
TEST(FileFaults, TemporaryFilesOfAKilledReplacementAreRemovedByTheNextRun) {
    const fs::path dir = testing::MakeTempDirectory("file-faults");
    const pid_t pid = ::fork();
    if (pid == 0) {
        SetFaultHook([](std::string_view step) {
            if (step == "replace:temporary written")
                ::_exit(9);
        });
        (void)WriteTextFileAtomically(dir / "Particular.ini", "settings");
        ::_exit(0);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(pid, &status, 0), pid);
    ASSERT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 9);
    const fs::path left = dir / ("Particular.ini.tmp-" + std::to_string(pid));
    ASSERT_TRUE(fs::exists(left));
    EXPECT_FALSE(fs::exists(dir / "Particular.ini"));
    // One of a process still running is its own business.
    const fs::path running = dir / ("Maxima.ini.tmp-" + std::to_string(::getpid()));
    ASSERT_FALSE(WriteTextFile(running, "being written").has_value());
    ASSERT_FALSE(PrepareDataDirectory(dir).has_value());
    EXPECT_FALSE(fs::exists(left));
    EXPECT_TRUE(fs::exists(running));
}

TEST(FileFaults, AFileCutShortIsMarkedInItsFirstLine) {
    const fs::path dir = testing::MakeTempDirectory("file-faults");
    const std::string note = "INCOMPLETE: stopped ";
    // A first line long enough (the area log's line of hyphens) is overwritten in place, its
    // length kept; a short one gets the note as a line of its own.
    const fs::path log = dir / "log.txt";
    const std::string hyphens(104, '-');
    ASSERT_FALSE(WriteTextFile(log, hyphens + "\r\nsearch\r\n").has_value());
    ASSERT_FALSE(MarkFileIncomplete(log, note).has_value());
    EXPECT_EQ(Read(log), note + std::string(104 - note.size(), '-') + "\r\nsearch\r\n");
    const fs::path results = dir / "results.txt";
    ASSERT_FALSE(WriteTextFile(results, "Head\r\nline\r\n").has_value());
    ASSERT_FALSE(MarkFileIncomplete(results, note).has_value());
    EXPECT_EQ(Read(results), note + "\r\nHead\r\nline\r\n");
}

} // namespace
} // namespace quillon
