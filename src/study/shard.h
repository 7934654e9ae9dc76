// Splitting a run: the K-th of M shares of a plan's combinations, each run into its own data
// directory, and the record each shard keeps beside its files so that the shares can be
// merged back into exactly the records one serial run would have written.
//
// Shares are balanced by an estimate of each combination's cost and are deterministic: the
// same plan, costs and M always give the same shares. Combinations chained to the one
// before (the maximum carried across the numbers in row 1 of "overall") stay in one share.
// Method: longest first; chains in decreasing cost (ties: plan order) each go to the share
// with the least cost so far (ties: the lowest share).
//
// The shard record ("QuillonShard.txt") names the plan by a fingerprint of the normalised
// specifications (the values as read, not as typed, so "10, 20" and "10,20" are one plan),
// the share, every combination it holds with the number of summary lines each wrote, and
// whether the shard completed.
#pragma once

#include "study/plan.h"

#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace quillon {

inline constexpr std::string_view ShardRecordFileName = "QuillonShard.txt";
// The record of the merges made into a data directory.
inline constexpr std::string_view MergeRecordFileName = "QuillonMerges.txt";

// "--shard K/M": share K (1 to M) of M.
struct ShardChoice {
    unsigned k = 0, m = 0;
    bool Active() const { return m > 0; }
};
// Reads "K/M" (whole numbers, 1 <= K <= M <= 100000); the message when it cannot.
std::optional<std::string> ReadShardChoice(std::string_view text, ShardChoice& choice);

// The combinations of each of `m` shares, each in plan order.
std::vector<std::vector<std::uint64_t>>
ShareOut(const Plan& plan, unsigned m, const std::function<double(std::uint64_t)>& cost,
         const std::function<bool(std::uint64_t)>& chainedToPrevious);

// 16 hexadecimal digits naming the normalised specifications of a plan.
std::string PlanFingerprint(std::string_view normalised);

struct ShardRecord {
    std::string study;       // "particular", "maximum", ...
    std::string fingerprint; // PlanFingerprint of `plan`
    std::string plan;        // the normalised specifications, one line
    std::string summaryFile; // the summary file's name in the data directory
    unsigned k = 0, m = 0;
    std::uint64_t planCombinations = 0;
    // Every combination of the share, in plan order, with the summary lines it wrote.
    std::vector<std::pair<std::uint64_t, std::uint64_t>> combinations;
    bool completed = false;
};
std::string ShardRecordText(const ShardRecord& record);
// Reads a shard record; the message naming what is wrong when it cannot.
std::optional<ShardRecord> ReadShardRecord(const std::filesystem::path& file, std::string& error);

// What a run with --shard needs to know to keep its record.
struct ShardRun {
    ShardChoice choice;
    std::filesystem::path directory; // the shard's data directory
    std::string study, plan, summaryFile;
};

// Before a shard starts: refuses a data directory whose summary file holds records of
// something else (a shard runs into a directory of its own); a rerun of the same shard of
// the same plan starts its summary file afresh. Returns the message when refused.
std::optional<std::string> PrepareShardDirectory(const ShardRun& shard);

// Why a merge wrote nothing: the shards or the target were refused, or a file could not be
// read or written.
struct MergeProblem {
    MergeProblem(std::string text, bool failure = false)
        : message(std::move(text)), ioFailure(failure) {}
    std::string message;
    bool ioFailure = false;
};

// Merges the shards' summary records into `target`'s summary file in plan order. Refuses,
// writing nothing, shards of different plans, a missing, repeated or incomplete shard, a
// shard whose summary file does not hold the lines its record lists, records of another
// study than the target file's, and a target that is one of the shards. `report` receives
// what was done (or that the set had been merged before and nothing was added). A merge is
// all or nothing, and one ended at any instant (a kill, a full disk) is completed by the
// next merge of the same set, which adds each record exactly once. A record must name a
// registered study and one of that study's summary files: any other file (another
// study's, another name, or a path out of the target folder) is refused, so that a damaged
// or foreign record never writes elsewhere or mixes one study's records into another's
// file.
std::optional<MergeProblem> MergeShards(const std::filesystem::path& target,
                                        const std::vector<std::filesystem::path>& shards,
                                        std::string& report);

} // namespace quillon
