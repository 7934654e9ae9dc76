// A merge under faults: killed at each of its steps, two at once, a full disk, a target
// that is one of the shards, records of another study. Whatever happened, merging the set
// again leaves each record in the target exactly once, as one serial run writes them.
#include "cli/commands.h"
#include "core/files.h"
#include "study/shard.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <csignal>
#include <filesystem>
#include <sstream>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("<none>");
}

// Runs `body` in a child process and returns its exit status (or 100 + the signal).
template <typename Body> int InChild(Body body) {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(body());
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 100 + WTERMSIG(status);
}

constexpr int kKilled = 37; // the status of a child stopped at a fault point

const char* killAt = nullptr;
void KillAtStep(std::string_view step) {
    if (killAt != nullptr && step == killAt)
        ::_exit(kKilled);
}

// Three shards of a particular run with summary records only, the serial run's summary
// file, and the merge command into `target`.
struct Shards {
    fs::path root;
    std::string serial;
    std::vector<std::string> merge(const fs::path& target) const {
        return {"merge",
                "--data-dir",
                target.string(),
                (root / "s1").string(),
                (root / "s2").string(),
                (root / "s3").string()};
    }
};

const std::vector<std::string> kParticular{
    "particular", "--n",    "10 to 40 step 3", "--tests", "1, 3, 5",
    "--pcol",     ".2, .5", "--prow",          ".5",      "--summary-only"};

Shards MakeShards() {
    Shards s;
    s.root = testing::MakeTempDirectory("merge-faults");
    auto run = [&](const fs::path& dir, std::vector<std::string> extra) {
        std::vector<std::string> args = kParticular;
        args.insert(args.end(), extra.begin(), extra.end());
        args.insert(args.end(), {"--data-dir", dir.string()});
        const CliResult r = RunCliCaptured(args);
        EXPECT_EQ(r.status, 0) << r.err;
    };
    run(s.root / "serial", {});
    for (int k = 1; k <= 3; ++k)
        run(s.root / ("s" + std::to_string(k)), {"--shard", std::to_string(k) + "/3"});
    s.serial = Read(s.root / "serial" / "ParticularSummary.txt");
    return s;
}

// A kill at each step of a merge (a fault point that ends the process there), then the
// same merge again: each record exactly once. Before the mend, a kill between the append
// and the write of QuillonMerges.txt made the next merge append every record again.
TEST(MergeFaults, AMergeKilledAtAnyStepIsCompletedByTheNext) {
    const Shards shards = MakeShards();
    const char* steps[] = {"merge:intent recorded", "replace:temporary written",
                           "merge:records added", "merge:recorded"};
    int n = 0;
    for (const char* step : steps) {
        SCOPED_TRACE(step);
        const fs::path target = shards.root / ("target" + std::to_string(++n));
        // Records of an earlier run in the target stay before the merged ones.
        const std::string earlier = SplitLines(shards.serial).front() + "\r\nearlier\r\n";
        fs::create_directories(target);
        ASSERT_FALSE(WriteTextFile(target / "ParticularSummary.txt", earlier).has_value());
        const int status = InChild([&] {
            killAt = step;
            SetFaultHook(KillAtStep);
            return RunCliCaptured(shards.merge(target)).status;
        });
        ASSERT_EQ(status, kKilled);
        const CliResult again = RunCliCaptured(shards.merge(target));
        ASSERT_EQ(again.status, 0) << again.err;
        EXPECT_EQ(Read(target / "ParticularSummary.txt"),
                  earlier + shards.serial.substr(shards.serial.find("\r\n") + 2));
        const CliResult third = RunCliCaptured(shards.merge(target));
        EXPECT_EQ(third.status, 0);
        EXPECT_NE(third.out.find("before; nothing was added"), std::string::npos) << third.out;
        EXPECT_EQ(Read(target / "ParticularSummary.txt"),
                  earlier + shards.serial.substr(shards.serial.find("\r\n") + 2));
        for (const auto& entry : fs::directory_iterator(target))
            EXPECT_EQ(entry.path().string().find(".tmp-"), std::string::npos) << entry.path();
    }
}

// Two merges of one set into one folder at once, released together by a barrier. Before
// the merge record was read under the summary file's lock, both appended: every record
// twice.
TEST(MergeFaults, TwoMergesAtOnceAddTheSetOnce) {
    const Shards shards = MakeShards();
    constexpr int kRounds = 5;
    for (int round = 0; round < kRounds; ++round) {
        const fs::path target = shards.root / ("together" + std::to_string(round));
        int barrier[2];
        ASSERT_EQ(::pipe(barrier), 0);
        std::vector<pid_t> children;
        for (int p = 0; p < 2; ++p) {
            const pid_t pid = ::fork();
            ASSERT_GE(pid, 0);
            if (pid == 0) {
                ::close(barrier[1]);
                char go = 0;
                if (::read(barrier[0], &go, 1) != 0)
                    ::_exit(3);
                ::_exit(RunCliCaptured(shards.merge(target)).status);
            }
            children.push_back(pid);
        }
        ::close(barrier[0]);
        ::close(barrier[1]);
        for (const pid_t pid : children) {
            int status = 0;
            ASSERT_EQ(::waitpid(pid, &status, 0), pid);
            EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);
        }
        EXPECT_EQ(Read(target / "ParticularSummary.txt"), shards.serial) << "round " << round;
    }
}

// A disk that fills up during a merge: nothing is added, exit status 1 (an I/O failure,
// not a refusal), and the merge after space was freed adds every record once. Before, 5057
// of 7007 records stayed with a torn one, and the second merge duplicated them.
TEST(MergeFaults, AMergeOntoAFullDiskWritesNothing) {
    const Shards shards = MakeShards();
    const fs::path target = shards.root / "full";
    fs::create_directories(target);
    const std::string earlier = SplitLines(shards.serial).front() + "\r\nearlier\r\n";
    ASSERT_FALSE(WriteTextFile(target / "ParticularSummary.txt", earlier).has_value());
    // Room for the merge record but not for the records.
    const int status = InChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        const struct rlimit cap { 1000, 1000 };
        if (::setrlimit(RLIMIT_FSIZE, &cap) != 0)
            return 99;
        const CliResult r = RunCliCaptured(shards.merge(target));
        return r.err.find("File too large") != std::string::npos ? r.status : 98;
    });
    EXPECT_EQ(status, 1);
    EXPECT_EQ(Read(target / "ParticularSummary.txt"), earlier);
    const CliResult again = RunCliCaptured(shards.merge(target));
    ASSERT_EQ(again.status, 0) << again.err;
    EXPECT_EQ(Read(target / "ParticularSummary.txt"),
              earlier + shards.serial.substr(shards.serial.find("\r\n") + 2));
}

TEST(MergeFaults, RefusesATargetOrRecordsThatWouldDamageAFile) {
    const Shards shards = MakeShards();
    // One of the shards as the destination: that shard would be damaged for every later
    // merge.
    const CliResult intoShard = RunCliCaptured(shards.merge(shards.root / "s2"));
    EXPECT_EQ(intoShard.status, 2);
    EXPECT_NE(intoShard.err.find("is shard 2/3 of the set"), std::string::npos) << intoShard.err;
    EXPECT_EQ(Read(shards.root / "s2" / "ParticularSummary.txt").find("earlier"),
              std::string::npos);

    // A target file holding another study's records (its heading differs).
    const fs::path other = shards.root / "other";
    fs::create_directories(other);
    const std::string foreign = "Date\tS_Meth.\tN\r\nforeign\t1\t10\r\n";
    ASSERT_FALSE(WriteTextFile(other / "ParticularSummary.txt", foreign).has_value());
    const CliResult intoOther = RunCliCaptured(shards.merge(other));
    EXPECT_EQ(intoOther.status, 2);
    EXPECT_NE(intoOther.err.find("records of different studies"), std::string::npos)
        << intoOther.err;
    EXPECT_EQ(Read(other / "ParticularSummary.txt"), foreign);

    // A shard whose summary file holds a record of another shape.
    fs::copy(shards.root / "s3", shards.root / "odd", fs::copy_options::recursive);
    const std::string s3 = Read(shards.root / "s3" / "ParticularSummary.txt");
    const std::size_t second = s3.find("\r\n") + 2;
    std::string odd = s3;
    odd.replace(second, s3.find("\r\n", second) - second, "cut\t.4");
    ASSERT_FALSE(WriteTextFile(shards.root / "odd" / "ParticularSummary.txt", odd).has_value());
    const CliResult oddMerge = RunCliCaptured(
        {"merge", "--data-dir", (shards.root / "t").string(), (shards.root / "s1").string(),
         (shards.root / "s2").string(), (shards.root / "odd").string()});
    EXPECT_EQ(oddMerge.status, 2);
    EXPECT_NE(oddMerge.err.find("not a whole record"), std::string::npos) << oddMerge.err;
    EXPECT_FALSE(fs::exists(shards.root / "t" / "ParticularSummary.txt"));

    // A shard run into a folder that holds another study's unmerged shard: before, it
    // overwrote that shard's record, so that it could never be merged.
    const CliResult power = RunCliCaptured({"power", "--n", "10, 20", "--p1", ".2", "--p2", ".5",
                                            "--tests", "1", "--summary-only", "--shard", "1/2",
                                            "--data-dir", (shards.root / "shared").string()});
    ASSERT_EQ(power.status, 0) << power.err;
    const std::string record = Read(shards.root / "shared" / "QuillonShard.txt");
    std::vector<std::string> args = kParticular;
    args.insert(args.end(), {"--shard", "1/3", "--data-dir", (shards.root / "shared").string()});
    const CliResult particular = RunCliCaptured(args);
    EXPECT_EQ(particular.status, 2);
    EXPECT_NE(particular.err.find("holds shard 1/2 of another power run"), std::string::npos)
        << particular.err;
    EXPECT_EQ(Read(shards.root / "shared" / "QuillonShard.txt"), record);
}

} // namespace
} // namespace quillon::cli
