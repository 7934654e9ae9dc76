// --shard K/M and merge: the shards of a run, merged, hold exactly the records of the same
// run without --shard (the serial run, --jobs 1), Time field aside; the merge refuses, and
// writes nothing, when the set of shards is not one whole plan.
#include "cli/commands.h"
#include "core/files.h"
#include "study/shard.h"
#include "support/cli_run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <regex>
#include <sstream>

namespace quillon::cli {
namespace {

namespace fs = std::filesystem;

CliResult Study(std::vector<std::string> args, const fs::path& dir,
                std::vector<std::string> extra = {}) {
    args.insert(args.end(), extra.begin(), extra.end());
    args.insert(args.end(), {"--data-dir", dir.string()});
    return RunCliCaptured(args);
}

// The maximum study's Time field closes each of its summary lines.
std::string WithoutTime(const std::string& text) {
    return std::regex_replace(text, std::regex(R"(\t ?-?\d+(\.\d+)?\r\n)"), "\tT\r\n");
}

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("<none>");
}

struct Case {
    const char* name;
    std::vector<std::string> args;
    const char* summary;
    // The last field is the maximum study's Time, masked; other studies' are compared.
    bool lastFieldIsTime = true;
};

const Case kCases[] = {
    {"particular, comparative trial",
     {"particular", "--n", "10 to 40 step 5", "--tests", "1, 3", "--pcol", ".2, .5", "--prow", ".5",
      "--summary-only"},
     "ParticularSummary.txt"},
    {"particular, cross-sectional, MEN varies",
     {"particular", "--design", "cs", "--n", "12, 20", "--tests", "2", "--pcol", ".2", "--prow",
      ".3", "--men", "0, 1, 5", "--summary-only"},
     "ParticularSummary.txt"},
    {"maximum, row 1 'all'",
     {"maximum", "--n", "8 - 12", "--row1", "all", "--tests", "1, 3", "--accuracy", ".01"},
     "MaximaSummary.txt"},
    {"maximum, row 1 'overall' (chains of m kept whole)",
     {"maximum", "--n", "8 - 12", "--row1", "overall", "--tests", "1, 5", "--accuracy", ".01"},
     "MaximaSummary.txt"},
    {"maximum, cross-sectional",
     {"maximum", "--design", "cs", "--n", "6 - 10", "--tests", "1, 2", "--accuracy", ".01"},
     "MaximaSummary.txt"},
    {"maximum, test policy 15 (its own summary file)",
     {"maximum", "--n", "8 - 12", "--tests", "15", "--men", "1", "--accuracy", ".01"},
     "Summary_of_Maxima_when_test_policy15.txt"},
    {"maximum, cross-sectional, test policy 35",
     {"maximum", "--design", "cs", "--n", "6 - 9", "--tests", "35", "--mmt", "2", "--accuracy",
      ".01"},
     "Summary_of_Maxima_when_test_policy35.txt"},
    {"power, comparative trial, N and p2 vary",
     {"power", "--n", "10 to 40 step 6", "--p1", ".2", "--p2", ".5, .7", "--row1", ".5, 7",
      "--tests", "1, 3, 7", "--summary-only"},
     "PowerSummary.txt",
     false},
    {"power, cross-sectional, p1 and MEN vary",
     {"power", "--design", "cs", "--n", "12, 20, 16", "--p1", ".1, .3", "--p2", ".6", "--row1",
      ".4", "--tests", "2, 5", "--men", "0, 1"},
     "PowerSummary.txt",
     false},
};

TEST(ShardAndMerge, MergedShardsHoldTheSerialRunsRecordsInPlanOrder) {
    for (const Case& c : kCases) {
        SCOPED_TRACE(c.name);
        const fs::path root = testing::MakeTempDirectory("shard");
        ASSERT_EQ(Study(c.args, root / "serial", {"--jobs", "1"}).status, 0);
        const auto masked = [&](const std::string& text) {
            return c.lastFieldIsTime ? WithoutTime(text) : text;
        };
        const std::string serial = masked(Read(root / "serial" / c.summary));
        // 1 share (the whole plan), 3, and more shares than some plans have chains (empty
        // shares complete with no records); with one and with two jobs.
        for (const int M : {1, 3, 25}) {
            SCOPED_TRACE("M = " + std::to_string(M));
            std::vector<std::string> merge{"merge", "--data-dir", (root / "merged").string()};
            fs::remove_all(root / "merged");
            for (int k = 1; k <= M; ++k) {
                const fs::path dir = root / ("shard" + std::to_string(M) + "-" + std::to_string(k));
                const CliResult r = Study(c.args, dir,
                                          {"--shard", std::to_string(k) + "/" + std::to_string(M),
                                           "--jobs", k % 2 == 0 ? "2" : "1"});
                ASSERT_EQ(r.status, 0) << r.err;
                merge.push_back(dir.string());
            }
            const CliResult merged = RunCliCaptured(merge);
            ASSERT_EQ(merged.status, 0) << merged.err;
            EXPECT_EQ(masked(Read(root / "merged" / c.summary)), serial);
            // Merging the same set again adds nothing.
            const CliResult again = RunCliCaptured(merge);
            EXPECT_EQ(again.status, 0);
            EXPECT_NE(again.out.find("before; nothing was added"), std::string::npos);
            EXPECT_EQ(masked(Read(root / "merged" / c.summary)), serial);
        }
    }
}

// The sample sizes need every N of the plan, which no shard holds: a shard prints its summary
// lines only, and the shard that ran the plan's last combination writes the serial run's
// PowerResults.txt.
TEST(ShardAndMerge, PowerShardsPrintTheirLinesButNoSampleSizes) {
    const fs::path root = testing::MakeTempDirectory("shard-power");
    const std::vector<std::string> args{"power", "--n", "10 to 30 step 5", "--p1", ".2",
                                        "--p2",  ".6",  "--tests",         "1, 4", "--row1",
                                        ".5, 4"};
    const CliResult serial = Study(args, root / "serial");
    ASSERT_EQ(serial.status, 0) << serial.err;
    ASSERT_NE(serial.out.find("First N"), std::string::npos);
    std::string lines; // every shard's summary lines, heading left out
    int holdersOfTheLast = 0;
    for (int k = 1; k <= 3; ++k) {
        SCOPED_TRACE("shard " + std::to_string(k) + "/3");
        const fs::path dir = root / ("shard" + std::to_string(k));
        const CliResult r = Study(args, dir, {"--shard", std::to_string(k) + "/3"});
        ASSERT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out.find("First N"), std::string::npos) << r.out;
        const std::string summary = Read(dir / "PowerSummary.txt");
        lines += summary.substr(summary.find('\n') + 1);
        std::string error;
        const auto record = ReadShardRecord(dir / std::string(ShardRecordFileName), error);
        ASSERT_TRUE(record.has_value()) << error;
        const bool last = !record->combinations.empty() &&
                          record->combinations.back().first == record->planCombinations - 1;
        if (last) {
            ++holdersOfTheLast;
            EXPECT_EQ(Read(dir / "PowerResults.txt"), Read(root / "serial" / "PowerResults.txt"));
        }
    }
    EXPECT_EQ(holdersOfTheLast, 1);
    // Between them the shards wrote the serial run's lines (in another order).
    const std::string whole = Read(root / "serial" / "PowerSummary.txt");
    auto sorted = [](const std::string& text) {
        std::vector<std::string> v;
        std::istringstream in(text);
        for (std::string line; std::getline(in, line);)
            v.push_back(line);
        std::sort(v.begin(), v.end());
        return v;
    };
    EXPECT_EQ(sorted(lines), sorted(whole.substr(whole.find('\n') + 1)));
}

TEST(ShardAndMerge, ShareOutIsBalancedDeterministicAndKeepsChainsWhole) {
    // 4 Ns of 5 m each; chains of 5 when chained (as "overall").
    const Plan plan({{Dimension::Number, 4}, {Dimension::RowOne, 5}});
    const auto cost = [&](std::uint64_t i) {
        return static_cast<double>(1 + plan.Positions(i)[0]);
    };
    struct ShareCase {
        const char* name;
        unsigned m;
        bool chained;
        std::vector<std::vector<std::uint64_t>> expected; // worked by hand, longest first
    };
    const ShareCase cases[] = {
        {"chains of 5 (costs 5, 10, 15, 20) into 2: 20 + 5 and 15 + 10",
         2,
         true,
         {{0, 1, 2, 3, 4, 15, 16, 17, 18, 19}, {5, 6, 7, 8, 9, 10, 11, 12, 13, 14}}},
        {"more shares than chains: the last ones empty",
         5,
         true,
         {{15, 16, 17, 18, 19}, {10, 11, 12, 13, 14}, {5, 6, 7, 8, 9}, {0, 1, 2, 3, 4}, {}}},
    };
    for (const ShareCase& c : cases) {
        SCOPED_TRACE(c.name);
        const auto chained = [&](std::uint64_t i) { return c.chained && plan.Positions(i)[1] > 0; };
        const auto shares = ShareOut(plan, c.m, cost, chained);
        EXPECT_EQ(shares, c.expected);
        EXPECT_EQ(ShareOut(plan, c.m, cost, chained), shares);
    }
    // Unchained, 3 shares: every combination once, loads within the largest single cost.
    const auto shares = ShareOut(plan, 3, cost, {});
    std::vector<int> seen(plan.Count(), 0);
    std::vector<double> load;
    for (const auto& share : shares) {
        double sum = 0;
        for (std::uint64_t i : share) {
            ++seen[i];
            sum += cost(i);
        }
        load.push_back(sum);
    }
    for (int n : seen)
        EXPECT_EQ(n, 1);
    ASSERT_EQ(load.size(), 3U);
    const auto [least, most] = std::minmax_element(load.begin(), load.end());
    EXPECT_LE(*most - *least, 4.0);
}

TEST(ShardAndMerge, RefusesWhatIsNotOneWholePlanAndWritesNothing) {
    const fs::path root = testing::MakeTempDirectory("shard-refusals");
    const std::vector<std::string> a{"maximum", "--n",        "8 - 10", "--tests",
                                     "1, 3",    "--accuracy", ".01"};
    std::vector<std::string> b = a;
    b[4] = "1, 4"; // another plan
    for (int k = 1; k <= 3; ++k) {
        const std::string share = std::to_string(k) + "/3";
        ASSERT_EQ(Study(a, root / ("a" + std::to_string(k)), {"--shard", share}).status, 0);
        ASSERT_EQ(Study(b, root / ("b" + std::to_string(k)), {"--shard", share}).status, 0);
    }
    // An incomplete shard: its record says so (a run stopped or failed part way).
    fs::create_directories(root / "cut");
    fs::copy(root / "a3", root / "cut", fs::copy_options::recursive);
    const std::string record = Read(root / "cut" / std::string(ShardRecordFileName));
    ASSERT_FALSE(
        WriteTextFile(root / "cut" / std::string(ShardRecordFileName),
                      std::regex_replace(record, std::regex("completed\tyes"), "completed\tno"))
            .has_value());
    // The whole plan as one shard, its record then naming a file out of the target folder.
    ASSERT_EQ(Study(a, root / "escape", {"--shard", "1/1"}).status, 0);
    ASSERT_FALSE(
        WriteTextFile(root / "escape" / std::string(ShardRecordFileName),
                      std::regex_replace(Read(root / "escape" / std::string(ShardRecordFileName)),
                                         std::regex("summary file\t[^\n]*"),
                                         "summary file\t../MaximaSummary.txt"))
            .has_value());
    // A record whose study differs from the study of the file it names.
    ASSERT_EQ(Study(a, root / "foreign", {"--shard", "1/1"}).status, 0);
    ASSERT_FALSE(
        WriteTextFile(root / "foreign" / std::string(ShardRecordFileName),
                      std::regex_replace(Read(root / "foreign" / std::string(ShardRecordFileName)),
                                         std::regex("study\tmaximum"), "study\tparticular"))
            .has_value());
    const auto dir = [&](const char* name) { return (root / name).string(); };
    struct Refusal {
        const char* name;
        std::vector<std::string> shards;
        const char* message; // a part of the message that names what is wrong
    };
    const Refusal cases[] = {
        {"shards of different plans", {dir("a1"), dir("b2"), dir("a3")}, "different plans"},
        {"a missing shard", {dir("a1"), dir("a3")}, "Shard 2/3 is missing"},
        {"the same shard twice",
         {dir("a1"), dir("a2"), dir("a2"), dir("a3")},
         "Shard 2/3 is given twice"},
        {"an incomplete shard", {dir("a1"), dir("a2"), dir("cut")}, "did not complete"},
        {"a folder without a shard record",
         {dir("a1"), dir("a2"), dir("nowhere")},
         "There is no shard record"},
        // A damaged or foreign record must not make the merge write outside DIR.
        {"a record naming a file out of the target folder",
         {dir("escape")},
         "is no study's summary file"},
        {"a record of one study naming another study's summary file",
         {dir("foreign")},
         "is of the particular study but names the summary file 'MaximaSummary.txt'"},
    };
    for (const Refusal& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> args{"merge", "--data-dir", dir("target")};
        args.insert(args.end(), c.shards.begin(), c.shards.end());
        const CliResult r = RunCliCaptured(args);
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find(c.message), std::string::npos) << r.err;
        EXPECT_FALSE(fs::exists(root / "target"));
        EXPECT_FALSE(fs::exists(root / "MaximaSummary.txt"));
    }
    // A shard refuses a data folder that holds other records.
    ASSERT_EQ(Study(a, root / "full").status, 0);
    const CliResult r = Study(a, root / "full", {"--shard", "1/3"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("a shard is run into a data folder of its own"), std::string::npos);
    // Its own shard again (a rerun after a failure) starts afresh: the merge still fits.
    ASSERT_EQ(Study(a, root / "a2", {"--shard", "2/3"}).status, 0);
    EXPECT_EQ(
        RunCliCaptured({"merge", "--data-dir", dir("target"), dir("a1"), dir("a2"), dir("a3")})
            .status,
        0);
}

TEST(ShardAndMerge, ShardOptionRefusesWhatIsNoShare) {
    for (const char* bad : {"0/3", "4/3", "3", "1/0", "a/b", "1/3/4"}) {
        SCOPED_TRACE(bad);
        const CliResult r = RunCliCaptured({"maximum", "--n", "8", "--shard", bad});
        EXPECT_EQ(r.status, 2);
        EXPECT_NE(r.err.find("--shard must be K/M"), std::string::npos) << r.err;
    }
    // A comparison of two tests writes charts, not records to merge.
    const fs::path dir = testing::MakeTempDirectory("shard-compare");
    const CliResult r = Study({"particular", "--n", "10, 12", "--tests", "1, 3", "--compare"}, dir,
                              {"--shard", "1/2"});
    EXPECT_EQ(r.status, 2);
    EXPECT_NE(r.err.find("is not split into shards"), std::string::npos) << r.err;
}

} // namespace
} // namespace quillon::cli
