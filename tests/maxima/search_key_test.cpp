// The identity of one search of the maximum study: built by a run for each combination of
// its lists, carried into the summary record, read back from the summary file unchanged,
// and different for searches that differ in anything they search.
#include "maxima/search_key.h"

#include "maxima/result_files.h"
#include "maxima/run.h"

#include "core/files.h"
#include "support/golden.h"
#include "support/recording_sink.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <string>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;

// A search's key and the key of the search announced last before its record.
struct Recorded {
    SearchKey key;
    SearchKey started;
    double accuracyReached = 0;
};

class KeyView : public testing::RecordingSink<MaximumSink> {
public:
    std::vector<Recorded> records;
    std::vector<SearchKey> started;
    void OnSearchStarted(const SearchStarted& e) override { started.push_back(e.key); }
    void MaximumRecorded(const MaximaSummaryRecord& record) override {
        records.push_back(
            {record.key, started.empty() ? SearchKey{} : started.back(), record.accuracyReached});
    }
};

// A run's lists, and what each of its records should name besides what every record of
// the run shares (design, MMT, property, parameter, accuracy and policy).
struct RunCase {
    const char* name;
    DesignCode design;
    const char* number;
    const char* row1;
    const char* test;
    const char* men;
    TestPolicy policy;
    struct Expected {
        std::int64_t N;
        std::string row1;
        int test;
        double MEN;
    };
    std::vector<Expected> records; // in the order of the plan
};

const std::vector<RunCase>& RunCases() {
    static const std::vector<RunCase> cases = {
        {"two N and two tests",
         ComparativeTrial,
         "6, 8",
         ".5",
         "1, 3",
         "0",
         TestPolicy::Simple,
         {{6, ".5", 1, 0}, {6, ".5", 3, 0}, {8, ".5", 1, 0}, {8, ".5", 3, 0}}},
        // Each number in row 1 of "all" is a search of its own, written with the plain
        // number text's leading space.
        {"every m",
         ComparativeTrial,
         "8",
         "all",
         "1",
         "0",
         TestPolicy::Simple,
         {{8, " 1", 1, 0}, {8, " 2", 1, 0}, {8, " 3", 1, 0}, {8, " 4", 1, 0}}},
        // "overall" searches every m as one search and records it once.
        {"overall",
         ComparativeTrial,
         "8",
         "overall",
         "1",
         "0",
         TestPolicy::Simple,
         {{8, "0", 1, 0}}},
        {"row 1 as a number",
         ComparativeTrial,
         "10",
         "3",
         "2",
         "0",
         TestPolicy::Simple,
         {{10, "3", 2, 0}}},
        {"cross-sectional, two MEN",
         CrossSectionalStudy,
         "5",
         ".5",
         "1",
         "0, 1",
         TestPolicy::Simple,
         {{5, "", 1, 0}, {5, "", 1, 1}}},
        // The policy is known from the test field only, and kept in the key.
        {"combined policy 15",
         ComparativeTrial,
         "6",
         ".5",
         "15",
         "0",
         TestPolicy::Combined15,
         {{6, ".5", 1, 0}}},
        {"combined policy 35",
         ComparativeTrial,
         "6",
         ".5",
         "35",
         "0",
         TestPolicy::Combined35,
         {{6, ".5", 3, 0}}},
    };
    return cases;
}

struct RunOutcome {
    std::string directory;
    KeyView view;
};

void RunCaseStudy(const RunCase& c, RunOutcome& out) {
    out.directory = testing::MakeTempDirectory("maxima-keys");
    MaximumSpecification s;
    s.dataDirectory = out.directory;
    s.design = c.design;
    s.number = c.number;
    s.row1 = c.row1;
    s.test = c.test;
    s.men = c.men;
    s.mmt = "1";
    s.parameter = ".05";
    s.accuracy = ".01";
    s.summaryOnly = true;
    s.clock = RunClock(RunDate{6, 12, 2026});
    s.clock.FixTimeOfDay("10:00:00");
    ASSERT_EQ(RunMaximumStudy(s, out.view).status, StudyStatus::Completed);
}

TEST(SearchKey, BuiltFromEachCombinationOfTheRun) {
    for (const RunCase& c : RunCases()) {
        SCOPED_TRACE(c.name);
        RunOutcome run;
        RunCaseStudy(c, run);
        ASSERT_EQ(run.view.records.size(), c.records.size());
        for (std::size_t i = 0; i < c.records.size(); ++i) {
            SCOPED_TRACE(i);
            SearchKey expected;
            expected.design = c.design;
            expected.N = c.records[i].N;
            expected.row1 = c.records[i].row1;
            expected.test = c.records[i].test;
            expected.MEN = c.records[i].MEN;
            expected.MMT = 1;
            expected.policy = c.policy;
            expected.type = Property::ActualTypeIError;
            expected.parameter = 0.05;
            expected.accuracy = 0.01;
            EXPECT_EQ(run.view.records[i].key, expected);
            // The record is of the search announced last: the same key, not a copy of its
            // fields that could drift.
            EXPECT_EQ(run.view.records[i].started, expected);
        }
    }
}

TEST(SearchKey, ReadBackFromTheSummaryFileOfItsPolicy) {
    for (const RunCase& c : RunCases()) {
        SCOPED_TRACE(c.name);
        RunOutcome run;
        RunCaseStudy(c, run);
        // Only the policy's own file was written.
        for (TestPolicy other :
             {TestPolicy::Simple, TestPolicy::Combined15, TestPolicy::Combined35})
            EXPECT_EQ(fs::exists(fs::path(run.directory) / SummaryFileName(other)),
                      other == c.policy)
                << TestPolicyText(other);
        const std::optional<std::string> text =
            ReadTextFile(fs::path(run.directory) / SummaryFileName(c.policy));
        ASSERT_TRUE(text.has_value());
        const std::vector<MaximaSummaryReading> readings =
            ReadSummaryRecords<MaximaSummaryCodec>(*text);
        ASSERT_EQ(readings.size(), run.view.records.size());
        for (std::size_t i = 0; i < readings.size(); ++i) {
            SCOPED_TRACE(i);
            // These small searches meet their accuracy, which the record then holds.
            EXPECT_EQ(run.view.records[i].accuracyReached, run.view.records[i].key.accuracy);
            EXPECT_EQ(SearchKeyOfRecord(readings[i], c.policy), run.view.records[i].key);
        }
    }
}

// Two searches that differ in one thing are two searches: their keys differ, and so do
// their summary lines or (the policy) the file they are written to.
TEST(SearchKey, AnyOneFieldTellsTwoSearchesApart) {
    SearchKey base;
    base.design = ComparativeTrial;
    base.N = 20;
    base.row1 = ".5";
    base.test = 1;
    base.MEN = 0;
    base.MMT = 1;
    base.policy = TestPolicy::Simple;
    base.type = Property::ActualTypeIError;
    base.parameter = 0.05;
    base.accuracy = 0.001;
    struct Change {
        const char* name;
        std::function<void(SearchKey&)> apply;
    };
    const Change changes[] = {
        {"design", [](SearchKey& k) { k.design = CrossSectionalStudy; }},
        {"N", [](SearchKey& k) { k.N = 21; }},
        {"row-1 value", [](SearchKey& k) { k.row1 = ".4"; }},
        {"row-1 number of all against the value given", [](SearchKey& k) { k.row1 = " 10"; }},
        {"row-1 overall", [](SearchKey& k) { k.row1 = "0"; }},
        {"test", [](SearchKey& k) { k.test = 2; }},
        {"MEN", [](SearchKey& k) { k.MEN = 0.5; }},
        {"MMT", [](SearchKey& k) { k.MMT = 2; }},
        {"policy", [](SearchKey& k) { k.policy = TestPolicy::Combined15; }},
        {"property", [](SearchKey& k) { k.type = Property::MaximumExcess; }},
        {"significance level", [](SearchKey& k) { k.parameter = 0.01; }},
        {"accuracy", [](SearchKey& k) { k.accuracy = 0.0001; }},
    };
    auto line = [](const SearchKey& key) {
        MaximaSummaryRecord record;
        record.date = "06.12.26";
        record.key = key;
        record.accuracyReached = key.accuracy;
        return MaximaSummaryCodec::Format(record);
    };
    for (const Change& change : changes) {
        SCOPED_TRACE(change.name);
        SearchKey other = base;
        change.apply(other);
        EXPECT_NE(other, base);
        EXPECT_TRUE(line(other) != line(base) ||
                    SummaryFileName(other.policy) != SummaryFileName(base.policy));
    }
    EXPECT_EQ(SearchKey(base), base);
}

TEST(SearchKey, LinesNamingNoSearchGiveNoKey) {
    struct Case {
        const char* name;
        const char* line;
        bool names;
    };
    const Case cases[] = {
        {"a comparative trial", "06.12.26\t 2\t 6\t.5\t 1\t 0\t 1\t1ProSig\t .05\t .001", true},
        {"design 3", "06.12.26\t 3\t 6\t.5\t 1\t 0\t 1\t1ProSig\t .05\t .001", false},
        {"design 1.5", "06.12.26\t 1.5\t 6\t\t 1\t 0\t 1\t1ProSig\t .05\t .001", false},
        {"property 3", "06.12.26\t 2\t 6\t.5\t 1\t 0\t 1\t3Other\t .05\t .001", false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string text =
            MaximaSummaryCodec::Heading() + "\r\n" + c.line + "\t.03\t.5\t 3\t 1\r\n";
        const std::vector<MaximaSummaryReading> readings =
            ReadSummaryRecords<MaximaSummaryCodec>(text);
        ASSERT_EQ(readings.size(), 1u);
        EXPECT_EQ(SearchKeyOfRecord(readings[0], TestPolicy::Simple).has_value(), c.names);
    }
}

} // namespace
} // namespace quillon
