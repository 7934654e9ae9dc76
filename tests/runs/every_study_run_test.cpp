// What every study's run does the same way, checked once for each study of the list below:
// a refused value ends the run before anything is written (and wins over a data folder
// that cannot be written), a folder that cannot be written fails the run naming it, a stop
// ends it before the next combination, each combination's results are reported delivered
// and then the run's, --jobs writes exactly what the serial run writes, shards merged hold
// the serial run's records, and a chart of earlier data only reads.
#include "core/files.h"
#include "runs/study_cases.h"
#include "study/shard.h"
#include "study/study_texts.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <string>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::CaseRun;
using testing::Recorded;
using testing::StudyCase;

// The calculation has two values in each of two loops.
constexpr std::size_t CalculationCombinations = 4;

// A text with the given tab-separated field of each line blanked.
std::string WithoutField(const std::string& text, std::size_t field) {
    if (field == 0)
        return text;
    std::string out;
    for (const std::string& line : SplitLines(text)) {
        std::vector<std::string> fields = SplitTabs(line);
        if (fields.size() >= field)
            fields[field - 1].clear();
        for (std::size_t i = 0; i < fields.size(); ++i)
            out += (i ? "\t" : "") + fields[i];
        out += "\n";
    }
    return out;
}

// Every file of a folder (not below it) by name.
std::map<std::string, std::string> Files(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::directory_iterator(dir))
        if (entry.is_regular_file())
            files[entry.path().filename().string()] =
                ReadTextFile(entry.path()).value_or("<unreadable>");
    return files;
}

// A data folder below a plain file: it can never be made.
fs::path UnwritableFolder(const std::string& name) {
    const fs::path base = testing::MakeTempDirectory(name);
    EXPECT_FALSE(WriteTextFile(base / "plain-file", "x").has_value());
    return base / "plain-file" / "Quillon";
}

class EveryStudyRun : public ::testing::TestWithParam<StudyCase> {
protected:
    std::string Temp(const std::string& what) const {
        return std::string(GetParam().name) + "-" + what;
    }
    Recorded Run(const CaseRun& r) const { return GetParam().run(r); }
};

TEST_P(EveryStudyRun, ARefusedValueEndsTheRunBeforeAnythingIsWritten) {
    CaseRun r;
    r.kind = CaseRun::Kind::Refused;
    r.dataDirectory = fs::path(testing::MakeTempDirectory(Temp("refused"))) / "new";
    const Recorded run = Run(r);
    EXPECT_EQ(run.outcome.status, StudyStatus::Refused);
    EXPECT_EQ(run.calls, (std::vector<std::string>{"message", "ended refused"}));
    EXPECT_EQ(run.kinds, std::vector<MessageKind>{MessageKind::Refusal});
    EXPECT_EQ(run.outcome.message, run.messages.at(0));
    EXPECT_FALSE(fs::exists(r.dataDirectory));

    // A value refused is the message, whatever the state of the data folder.
    r.dataDirectory = UnwritableFolder(Temp("refused-unwritable"));
    EXPECT_EQ(Run(r).outcome.status, StudyStatus::Refused);
}

TEST_P(EveryStudyRun, AFolderThatCannotBeWrittenFailsTheRunNamingIt) {
    CaseRun r;
    r.dataDirectory = UnwritableFolder(Temp("unwritable"));
    const Recorded run = Run(r);
    EXPECT_EQ(run.outcome.status, StudyStatus::Failed);
    EXPECT_EQ(run.kinds, std::vector<MessageKind>{MessageKind::Failure});
    EXPECT_NE(run.messages.at(0).find(r.dataDirectory.string()), std::string::npos)
        << run.messages.at(0);
    EXPECT_EQ(run.calls.back(), "ended failed");
    for (const char* call : {"delivered", "all delivered"})
        EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), call), 0) << call;
}

TEST_P(EveryStudyRun, AStopEndsTheRunBeforeTheNextCombination) {
    for (const unsigned jobs : {1u, 3u}) {
        SCOPED_TRACE(jobs);
        CaseRun r;
        r.dataDirectory = testing::MakeTempDirectory(Temp("stop"));
        r.jobs = jobs;
        r.stop = true;
        const Recorded run = Run(r);
        EXPECT_EQ(run.outcome.status, StudyStatus::Stopped);
        EXPECT_TRUE(run.summaryLines.empty());
        EXPECT_EQ(run.calls.back(), "ended stopped");
        for (const char* call : {"delivered", "all delivered"})
            EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), call), 0) << call;
    }
}

TEST_P(EveryStudyRun, EachCombinationIsDeliveredThenTheWholeRun) {
    CaseRun r;
    r.dataDirectory = testing::MakeTempDirectory(Temp("delivered"));
    const Recorded run = Run(r);
    ASSERT_EQ(run.outcome.status, StudyStatus::Completed);
    EXPECT_EQ(run.calls.front(), "started combinations several");
    for (const char* call : {"combination", "delivered"})
        EXPECT_EQ(std::count(run.calls.begin(), run.calls.end(), call),
                  static_cast<std::ptrdiff_t>(CalculationCombinations))
            << call;
    ASSERT_GE(run.calls.size(), 2u);
    EXPECT_EQ(run.calls.end()[-2], "all delivered");
    EXPECT_EQ(run.calls.back(), "ended completed");
    // Notices (the power study's sample sizes) may follow; nothing was refused or failed.
    EXPECT_EQ(std::count(run.kinds.begin(), run.kinds.end(), MessageKind::Refusal), 0);
    EXPECT_EQ(std::count(run.kinds.begin(), run.kinds.end(), MessageKind::Failure), 0);
}

TEST_P(EveryStudyRun, JobsWriteAndReportWhatTheSerialRunDoes) {
    CaseRun serial;
    serial.dataDirectory = testing::MakeTempDirectory(Temp("serial"));
    const Recorded one = Run(serial);
    ASSERT_EQ(one.outcome.status, StudyStatus::Completed);
    const std::map<std::string, std::string> expected = Files(serial.dataDirectory);
    ASSERT_TRUE(expected.count(GetParam().summaryFile));
    for (const unsigned jobs : {2u, 5u}) {
        SCOPED_TRACE(jobs);
        CaseRun ahead = serial;
        ahead.dataDirectory = testing::MakeTempDirectory(Temp("jobs"));
        ahead.jobs = jobs;
        const Recorded several = Run(ahead);
        EXPECT_EQ(several.outcome.status, StudyStatus::Completed);
        EXPECT_EQ(several.calls, one.calls);
        EXPECT_EQ(several.summaryLines, one.summaryLines);
        EXPECT_EQ(Files(ahead.dataDirectory), expected);
    }
}

TEST_P(EveryStudyRun, ShardsMergedHoldTheSerialRunsRecords) {
    CaseRun serial;
    serial.dataDirectory = testing::MakeTempDirectory(Temp("shard-serial"));
    ASSERT_EQ(Run(serial).outcome.status, StudyStatus::Completed);

    std::vector<fs::path> shards;
    for (unsigned k = 1; k <= 2; ++k) {
        CaseRun share = serial;
        share.dataDirectory = testing::MakeTempDirectory(Temp("shard"));
        share.shard = {k, 2};
        const Recorded run = Run(share);
        ASSERT_EQ(run.outcome.status, StudyStatus::Completed) << run.outcome.message;
        EXPECT_TRUE(fs::exists(share.dataDirectory / ShardRecordFileName));
        shards.push_back(share.dataDirectory);
    }
    const fs::path target = testing::MakeTempDirectory(Temp("shard-target"));
    std::string report;
    ASSERT_EQ(MergeShards(target, shards, report), std::nullopt);
    const std::size_t time = GetParam().timeField;
    EXPECT_EQ(
        WithoutField(ReadTextFile(target / GetParam().summaryFile).value_or(""), time),
        WithoutField(ReadTextFile(serial.dataDirectory / GetParam().summaryFile).value(), time));
}

TEST_P(EveryStudyRun, AChartOfEarlierDataOnlyReads) {
    CaseRun r;
    r.kind = CaseRun::Kind::EarlierData;
    r.dataDirectory = fs::path(testing::MakeTempDirectory(Temp("earlier"))) / "none yet";
    const Recorded run = Run(r);
    EXPECT_EQ(run.outcome.status, StudyStatus::Completed);
    EXPECT_EQ(run.messages, std::vector<std::string>{NoDataMessage});
    EXPECT_EQ(run.calls, (std::vector<std::string>{"started earlier data single", "message",
                                                   "all delivered", "ended completed"}));
    EXPECT_FALSE(fs::exists(r.dataDirectory));
}

INSTANTIATE_TEST_SUITE_P(Studies, EveryStudyRun, ::testing::ValuesIn(testing::StudyCases()),
                         [](const ::testing::TestParamInfo<StudyCase>& study) {
                             return std::string(study.param.name);
                         });

} // namespace
} // namespace quillon
