#include "study/shard.h"

#include "core/files.h"
#include "study/study_registry.h"

#include <algorithm>
#include <cinttypes>
#include <cstdio>
#include <map>
#include <numeric>
#include <set>
#include <system_error>

namespace quillon {

namespace fs = std::filesystem;

std::optional<std::string> ReadShardChoice(std::string_view text, ShardChoice& choice) {
    const std::string refusal =
        "--shard must be K/M with whole numbers 1 <= K <= M, not '" + std::string(text) + "'";
    const std::size_t slash = text.find('/');
    if (slash == std::string_view::npos)
        return refusal;
    auto whole = [](std::string_view s, unsigned& out) {
        if (s.empty() || s.size() > 6)
            return false;
        unsigned v = 0;
        for (char c : s) {
            if (c < '0' || c > '9')
                return false;
            v = v * 10 + static_cast<unsigned>(c - '0');
        }
        out = v;
        return true;
    };
    unsigned k = 0, m = 0;
    if (!whole(text.substr(0, slash), k) || !whole(text.substr(slash + 1), m) || k < 1 || k > m ||
        m > 100000)
        return refusal;
    choice = {k, m};
    return std::nullopt;
}

std::vector<std::vector<std::uint64_t>>
ShareOut(const Plan& plan, unsigned m, const std::function<double(std::uint64_t)>& cost,
         const std::function<bool(std::uint64_t)>& chainedToPrevious) {
    struct Chain {
        std::uint64_t first, last;
        double cost;
    };
    std::vector<Chain> chains;
    const std::uint64_t total = plan.Count();
    for (std::uint64_t i = 0; i < total; ++i) {
        const double c = cost ? cost(i) : 1.0;
        if (i > 0 && chainedToPrevious && chainedToPrevious(i)) {
            chains.back().last = i;
            chains.back().cost += c;
        } else {
            chains.push_back({i, i, c});
        }
    }
    std::vector<std::size_t> order(chains.size());
    std::iota(order.begin(), order.end(), std::size_t{0});
    std::stable_sort(order.begin(), order.end(),
                     [&](std::size_t a, std::size_t b) { return chains[a].cost > chains[b].cost; });
    std::vector<double> load(m, 0.0);
    std::vector<std::vector<std::uint64_t>> shares(m);
    for (std::size_t c : order) {
        const auto least =
            static_cast<std::size_t>(std::min_element(load.begin(), load.end()) - load.begin());
        load[least] += chains[c].cost;
        for (std::uint64_t i = chains[c].first; i <= chains[c].last; ++i)
            shares[least].push_back(i);
    }
    for (auto& share : shares)
        std::sort(share.begin(), share.end());
    return shares;
}

std::string PlanFingerprint(std::string_view normalised) {
    // FNV-1a, 64 bits: a name for the plan, not a safeguard against forgery.
    std::uint64_t h = 14695981039346656037ULL;
    for (unsigned char c : normalised) {
        h ^= c;
        h *= 1099511628211ULL;
    }
    char text[17];
    std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(h));
    return text;
}

std::string ShardRecordText(const ShardRecord& r) {
    std::string t = "Quillon shard record\n";
    t += "study\t" + r.study + "\n";
    t += "fingerprint\t" + r.fingerprint + "\n";
    t += "plan\t" + r.plan + "\n";
    t += "summary file\t" + r.summaryFile + "\n";
    t += "shard\t" + std::to_string(r.k) + "/" + std::to_string(r.m) + "\n";
    t += "plan combinations\t" + std::to_string(r.planCombinations) + "\n";
    t += "combinations\t" + std::to_string(r.combinations.size()) + "\n";
    for (const auto& [index, lines] : r.combinations)
        t += "combination\t" + std::to_string(index) + "\t" + std::to_string(lines) + "\n";
    t += std::string("completed\t") + (r.completed ? "yes" : "no") + "\n";
    return t;
}

std::optional<ShardRecord> ReadShardRecord(const fs::path& file, std::string& error) {
    const std::optional<std::string> text = ReadTextFile(file);
    if (!text) {
        error = "There is no shard record " + file.string();
        return std::nullopt;
    }
    const std::vector<std::string> lines = SplitLines(*text);
    ShardRecord r;
    bool ended = false;
    std::uint64_t listed = 0;
    auto number = [](const std::string& s, std::uint64_t& out) {
        if (s.empty() || s.find_first_not_of("0123456789") != std::string::npos)
            return false;
        out = std::stoull(s);
        return true;
    };
    bool ok = !lines.empty() && lines[0] == "Quillon shard record";
    for (std::size_t i = 1; ok && i < lines.size(); ++i) {
        const std::vector<std::string> f = SplitTabs(lines[i]);
        const std::string& key = f[0];
        if (f.size() < 2) {
            ok = false;
        } else if (key == "study") {
            r.study = f[1];
        } else if (key == "fingerprint") {
            r.fingerprint = f[1];
        } else if (key == "plan") {
            r.plan = lines[i].substr(5);
        } else if (key == "summary file") {
            r.summaryFile = f[1];
        } else if (key == "shard") {
            ShardChoice c;
            ok = !ReadShardChoice(f[1], c);
            r.k = c.k;
            r.m = c.m;
        } else if (key == "plan combinations") {
            ok = number(f[1], r.planCombinations);
        } else if (key == "combinations") {
            ok = number(f[1], listed);
        } else if (key == "combination" && f.size() == 3) {
            std::uint64_t index = 0, count = 0;
            ok = number(f[1], index) && number(f[2], count);
            r.combinations.emplace_back(index, count);
        } else if (key == "completed") {
            r.completed = f[1] == "yes";
            ended = true;
        } else {
            ok = false;
        }
    }
    if (!ok || !ended || r.m == 0 || r.fingerprint.empty() || r.summaryFile.empty() ||
        listed != r.combinations.size()) {
        error = "The shard record " + file.string() + " is damaged";
        return std::nullopt;
    }
    return r;
}

std::optional<std::string> PrepareShardDirectory(const ShardRun& shard) {
    if (auto error = PrepareDataDirectory(shard.directory))
        return error;
    auto holdsRecords = [&](const std::string& file) {
        const std::optional<std::string> text = ReadTextFile(shard.directory / file);
        return text && SplitLines(*text).size() > 1;
    };
    std::string error;
    const std::optional<ShardRecord> earlier =
        ReadShardRecord(shard.directory / ShardRecordFileName, error);
    const bool sameShard = earlier && earlier->study == shard.study &&
                           earlier->fingerprint == PlanFingerprint(shard.plan) &&
                           earlier->k == shard.choice.k && earlier->m == shard.choice.m;
    // Another run's shard, not yet merged anywhere as far as this folder can tell: its
    // record would be overwritten and it could never be merged.
    if (earlier && !sameShard && holdsRecords(earlier->summaryFile))
        return "The data folder " + shard.directory.string() + " holds shard " +
               std::to_string(earlier->k) + "/" + std::to_string(earlier->m) + " of another " +
               earlier->study + " run (its records in " + earlier->summaryFile +
               "); a shard is run into a data folder of its own";
    const fs::path summary = shard.directory / shard.summaryFile;
    if (!holdsRecords(shard.summaryFile))
        return std::nullopt;
    if (!sameShard)
        return "The data folder " + shard.directory.string() + " already holds records in " +
               shard.summaryFile + "; a shard is run into a data folder of its own";
    // The same shard again (after a failure): its records start afresh.
    std::error_code ec;
    fs::remove(summary, ec);
    if (ec)
        return "The file " + summary.string() +
               " cannot be removed: " + SystemErrorText(ec.value());
    return std::nullopt;
}

namespace {

struct LoadedShard {
    fs::path dir;
    ShardRecord record;
    std::vector<std::string> lines; // the summary records, heading left out
    std::string heading;
};

// Every shard's summary file is of one kind: one heading, and records with its number of
// fields (a record of another study, or one cut short, is not merged).
std::optional<std::string> CheckRecordsOfOneKind(const std::vector<LoadedShard>& loaded,
                                                 const std::string& heading) {
    const std::size_t fields = SplitTabs(heading).size();
    for (const LoadedShard& s : loaded) {
        const fs::path file = s.dir / s.record.summaryFile;
        if (!s.lines.empty() && s.heading != heading)
            return "The summary file " + file.string() +
                   " has another heading than the other shards' files; they are records of "
                   "different studies";
        for (std::size_t i = 0; i < s.lines.size(); ++i)
            if (SplitTabs(s.lines[i]).size() != fields)
                return "Line " + std::to_string(i + 2) + " of " + file.string() + " has " +
                       std::to_string(SplitTabs(s.lines[i]).size()) +
                       " fields, but its heading names " + std::to_string(fields) +
                       "; it is not a whole record of this study";
    }
    return std::nullopt;
}

// A merge writes, each step flushed to the disk before the next:
//   1. "pending" with the offset and length its records will take in the summary file, in
//      the merge record;
//   2. the summary file with the records added, replaced in one step (a full disk or a kill
//      leaves the file as it was or with every record, never with a part of them);
//   3. the plan's line in the merge record, which marks the set as merged.
// A merge that finds its plan pending was interrupted after step 1: the records are either
// all at the offset noted (step 2 was done: only step 3 is left) or not there at all.
std::optional<MergeProblem> AppendMerge(const fs::path& target, const ShardRecord& plan,
                                        const std::string& heading, const std::string& text,
                                        std::size_t count, std::string& report) {
    const fs::path summaryPath = target / plan.summaryFile;
    const fs::path mergePath = target / MergeRecordFileName;
    // Everything that decides what is written is read under the summary file's lock (the
    // one every appender takes), and the merge record under its own, taken second.
    LockedFile summary, merges;
    if (auto error = summary.Open(summaryPath))
        return MergeProblem{*error, true};
    if (auto error = merges.Open(mergePath))
        return MergeProblem{*error, true};
    std::string mergeText, current;
    if (auto error = merges.Read(mergeText))
        return MergeProblem{*error, true};
    if (auto error = summary.Read(current))
        return MergeProblem{*error, true};
    const std::string key = plan.study + "\t" + plan.fingerprint + "\t";
    const std::string pendingKey = "pending\t" + key;
    std::optional<std::uint64_t> pending;
    for (const std::string& line : SplitLines(mergeText)) {
        if (line.rfind(key, 0) == 0) {
            report =
                "These shards were merged into " + target.string() + " before; nothing was added";
            return std::nullopt;
        }
        std::uint64_t offset = 0, length = 0;
        const std::vector<std::string> f = SplitTabs(line);
        if (line.rfind(pendingKey, 0) == 0 && f.size() == 6 &&
            std::sscanf(f[4].c_str(), "%" SCNu64, &offset) == 1 &&
            std::sscanf(f[5].c_str(), "%" SCNu64, &length) == 1 && length == text.size())
            pending = offset;
    }
    auto recordMerge = [&]() -> std::optional<MergeProblem> {
        if (auto error = merges.Append("", key + std::to_string(plan.m) + "\n", true))
            return MergeProblem{
                "The records were added to " + summaryPath.string() +
                    ", but the record of the merge could not be written (" + *error +
                    "); merging the same shards again completes it without adding them twice",
                true};
        FaultPoint("merge:recorded");
        report = "Merged " + std::to_string(count) + " records of " + std::to_string(plan.m) +
                 " shards into " + summaryPath.string();
        return std::nullopt;
    };
    if (pending && current.size() >= *pending + text.size() &&
        current.compare(*pending, text.size(), text) == 0)
        return recordMerge(); // the records arrived before the interruption
    if (!current.empty() && !heading.empty() && SplitLines(current).front() != heading)
        return "The summary file " + summaryPath.string() +
               " has another heading than the shards' files; they are records of different "
               "studies, and nothing was added";
    // What comes before the records: the heading of an empty file, or the end of a last
    // line an editor left without one.
    std::string updated = current;
    if (updated.empty())
        updated.append(heading).append(CRLF);
    else if (updated.back() != '\n')
        updated.append(CRLF);
    const std::uint64_t offset = updated.size();
    updated.append(text);
    if (auto error =
            merges.Append("",
                          pendingKey + std::to_string(plan.m) + "\t" + std::to_string(offset) +
                              "\t" + std::to_string(text.size()) + "\n",
                          true))
        return MergeProblem{*error + "; nothing was merged", true};
    FaultPoint("merge:intent recorded");
    if (auto error = summary.Replace(updated))
        return MergeProblem{*error + "; nothing was merged", true};
    FaultPoint("merge:records added");
    return recordMerge();
}

} // namespace

std::optional<MergeProblem> MergeShards(const fs::path& target, const std::vector<fs::path>& shards,
                                        std::string& report) {
    if (shards.empty())
        return MergeProblem{"No shard folder was given"};
    std::vector<LoadedShard> loaded;
    for (const fs::path& dir : shards) {
        LoadedShard s;
        s.dir = dir;
        std::string error;
        auto record = ReadShardRecord(dir / ShardRecordFileName, error);
        if (!record)
            return error;
        s.record = std::move(*record);
        const std::vector<std::string> files = AllSummaryFiles();
        if (std::find(files.begin(), files.end(), s.record.summaryFile) == files.end())
            return "The shard record of " + dir.string() + " names the summary file '" +
                   s.record.summaryFile + "', which is no study's summary file";
        if (!StudyOwnsSummaryFile(s.record.study, s.record.summaryFile))
            return "The shard record of " + dir.string() + " is of the " + s.record.study +
                   " study but names the summary file '" + s.record.summaryFile +
                   "' of another study";
        // Merging into a shard's own folder would change its summary file, and every later
        // merge of the set would find it damaged.
        std::error_code ec;
        if (fs::equivalent(target, dir, ec))
            return "The data folder " + target.string() + " is shard " +
                   std::to_string(s.record.k) + "/" + std::to_string(s.record.m) +
                   " of the set; merge into another folder";
        loaded.push_back(std::move(s));
    }
    const ShardRecord& first = loaded.front().record;
    std::map<unsigned, const LoadedShard*> byShare;
    for (const LoadedShard& s : loaded) {
        const ShardRecord& r = s.record;
        if (r.fingerprint != first.fingerprint || r.m != first.m || r.study != first.study ||
            r.summaryFile != first.summaryFile)
            return "The shards belong to different plans: " + loaded.front().dir.string() +
                   " is shard " + std::to_string(first.k) + "/" + std::to_string(first.m) + " of " +
                   first.study + " plan " + first.fingerprint + ", " + s.dir.string() +
                   " is shard " + std::to_string(r.k) + "/" + std::to_string(r.m) + " of " +
                   r.study + " plan " + r.fingerprint;
        const auto [at, fresh] = byShare.emplace(r.k, &s);
        if (!fresh)
            return "Shard " + std::to_string(r.k) + "/" + std::to_string(r.m) +
                   " is given twice: " + at->second->dir.string() + " and " + s.dir.string();
        if (!r.completed)
            return "Shard " + std::to_string(r.k) + "/" + std::to_string(r.m) + " (" +
                   s.dir.string() + ") did not complete; run it again before merging";
    }
    for (unsigned k = 1; k <= first.m; ++k)
        if (!byShare.count(k))
            return "Shard " + std::to_string(k) + "/" + std::to_string(first.m) +
                   " is missing: give every shard of the plan";
    // Every combination of the plan exactly once.
    std::vector<const LoadedShard*> owner(first.planCombinations, nullptr);
    std::vector<std::uint64_t> linesOf(first.planCombinations, 0);
    for (LoadedShard& s : loaded) {
        std::uint64_t expected = 0;
        for (const auto& [index, lines] : s.record.combinations) {
            if (index >= first.planCombinations || owner[index] != nullptr)
                return "The shard record of " + s.dir.string() +
                       " does not fit the plan's combinations";
            owner[index] = &s;
            linesOf[index] = lines;
            expected += lines;
        }
        const std::optional<std::string> text = ReadTextFile(s.dir / s.record.summaryFile);
        std::vector<std::string> lines = text ? SplitLines(*text) : std::vector<std::string>{};
        if (!lines.empty()) {
            s.heading = lines.front();
            lines.erase(lines.begin());
        }
        if (lines.size() != expected)
            return "The summary file " + (s.dir / s.record.summaryFile).string() + " holds " +
                   std::to_string(lines.size()) + " records, but its shard record lists " +
                   std::to_string(expected);
        s.lines = std::move(lines);
    }
    for (std::uint64_t i = 0; i < first.planCombinations; ++i)
        if (owner[i] == nullptr)
            return "No shard holds combination " + std::to_string(i + 1) + " of the plan";

    std::vector<std::string> records;
    std::map<const LoadedShard*, std::size_t> next;
    std::string heading;
    for (std::uint64_t i = 0; i < first.planCombinations; ++i) {
        const LoadedShard* s = owner[i];
        if (heading.empty())
            heading = s->heading;
        std::size_t& at = next[s];
        for (std::uint64_t l = 0; l < linesOf[i]; ++l)
            records.push_back(s->lines[at++]);
    }
    if (auto refusal = CheckRecordsOfOneKind(loaded, heading))
        return MergeProblem{*refusal};
    std::string text;
    for (const std::string& record : records)
        text.append(record).append(CRLF);
    if (auto error = PrepareDataDirectory(target))
        return MergeProblem{*error, true};
    return AppendMerge(target, first, heading, text, records.size(), report);
}

} // namespace quillon
