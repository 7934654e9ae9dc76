// The maximum study run: its files byte for byte, its refusals, the row-1 ranges, the
// summary-chart decisions and the order of what the user sees.
//
// Golden files live in tests/data/golden/maxima; after a deliberate change of a format,
// rerun with QUILLON_UPDATE_GOLDEN=1 and review the difference before committing it.
#include "maxima/run.h"

#include "maxima/result_files.h"
#include "maxima/search.h"

#include "core/files.h"
#include "core/numtext.h"
#include "support/golden.h"
#include "support/recording_sink.h"
#include "support/unregistered_test.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::ExpectMatchesGolden;
using testing::MakeTempDirectory;

// Records what a run reports; counts the searches.
class ScriptedView : public testing::RecordingSink<MaximumSink> {
public:
    std::vector<SummaryChartData>& charts = summaryCharts;
    int searches = 0;
    void OnSearchStarted(const SearchStarted&) override { ++searches; }
};

MaximumSpecification Spec(const std::string& dir, DesignCode design, const std::string& number) {
    MaximumSpecification s;
    s.dataDirectory = dir;
    s.design = design;
    s.number = number;
    // The clock of the run fixed: the date, a survey's time of day, and seconds that step
    // 1.5 at every reading.
    s.clock = RunClock(RunDate{6, 12, 2026});
    s.clock.FixTimeOfDay("10:00:00");
    s.clock.FixSeconds([t = 0.0]() mutable { return t += 1.5; });
    return s;
}

std::string Read(const fs::path& file) {
    return ReadTextFile(file).value_or("<missing>");
}

std::vector<std::string> Field(const std::vector<std::string>& lines, std::size_t field) {
    std::vector<std::string> out;
    for (const auto& line : lines)
        out.push_back(SplitTabs(line).at(field - 1));
    return out;
}

TEST(MaximumRunFiles, ComparativeTrialMatchesGoldenFiles) {
    const std::string dir = MakeTempDirectory("maxima-ct");
    MaximumSpecification s = Spec(dir, ComparativeTrial, "6");
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaResultsAllAreas.txt"),
                        "maxima/ct_all_areas.txt");
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaResultsEachArea.txt"),
                        "maxima/ct_each_area.txt");
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaSummary.txt"), "maxima/ct_summary.txt");
}

TEST(MaximumRunFiles, CrossSectionalMatchesGoldenFiles) {
    const std::string dir = MakeTempDirectory("maxima-cs");
    MaximumSpecification s = Spec(dir, CrossSectionalStudy, "5");
    s.accuracy = ".01";
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaResultsAllAreas.txt"),
                        "maxima/cs_all_areas.txt");
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaResultsEachArea.txt"),
                        "maxima/cs_each_area.txt");
}

TEST(MaximumRunFiles, ExcessAreaFileListsTheMassOfEachDistinctPValue) {
    const std::string dir = MakeTempDirectory("maxima-excess");
    MaximumSpecification s = Spec(dir, CrossSectionalStudy, "6");
    s.test = "3";
    s.type = Property::MaximumExcess;
    s.parameter = ".1";
    s.accuracy = ".01";
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
    ExpectMatchesGolden(Read(fs::path(dir) / "MaximaResultsEachArea.txt"),
                        "maxima/cs_excess_each_area.txt");
    ASSERT_EQ(view.summaryLines.size(), 1U);
    EXPECT_EQ(Field(view.summaryLines, 8)[0], "2MaxDif");
}

// The listing of the last area goes to its file in pieces, so that a large area is never
// held whole as text: the pieces make up the whole text, and a write that fails stops the
// listing with that failure.
TEST(MaximumRunFiles, EachAreaListingGoesOutInPiecesThatMakeUpTheWhole) {
    struct Case {
        const char* name;
        DesignCode design;
        std::int64_t N, m;
        Property type;
    };
    const Case cases[] = {
        {"comparative trial of over a megabyte", ComparativeTrial, 400, 200,
         Property::ActualTypeIError},
        {"cross-sectional", CrossSectionalStudy, 60, 0, Property::ActualTypeIError},
        {"cross-sectional, distinct P values", CrossSectionalStudy, 40, 0, Property::MaximumExcess},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SearchTables tables(c.design, c.N, c.m, 0, 1);
        const PropertyEvaluator evaluator(tables, 1, TestPolicy::Simple, c.type, .05);
        const SearchArea area{.3, .01, .4, c.design == CrossSectionalStudy ? .01 : 0};
        const std::string whole = EachAreaText(evaluator, area, "06.12.26", true);
        std::vector<std::string> pieces;
        const auto error =
            WriteEachAreaText(evaluator, area, "06.12.26", true,
                              [&](std::string_view piece) -> std::optional<std::string> {
                                  pieces.emplace_back(piece);
                                  return std::nullopt;
                              });
        EXPECT_FALSE(error.has_value());
        std::string joined;
        for (const std::string& piece : pieces)
            joined += piece;
        EXPECT_EQ(joined, whole);
        if (whole.size() > (std::size_t{1} << 20)) {
            EXPECT_GT(pieces.size(), 1U);
        }

        int calls = 0;
        const auto failed = WriteEachAreaText(evaluator, area, "06.12.26", true,
                                              [&](std::string_view) -> std::optional<std::string> {
                                                  ++calls;
                                                  return std::string("disk full");
                                              });
        EXPECT_EQ(failed, std::optional<std::string>("disk full"));
        EXPECT_EQ(calls, 1);
    }
}

TEST(MaximumRun, SummaryHeaderOnceThenOneLinePerSearch) {
    const std::string dir = MakeTempDirectory("maxima-header");
    for (int run = 0; run < 2; ++run) {
        ScriptedView view;
        MaximumSpecification s = Spec(dir, ComparativeTrial, "6, 8");
        s.test = "1, 3";
        ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
        EXPECT_EQ(view.summaryLines.size(), 4U);
        // Time: whole seconds since the previous line (the fixed clock steps 1.5 s a call).
        EXPECT_EQ(Field(view.summaryLines, 14), (std::vector<std::string>{" 1", " 1", " 1", " 1"}));
    }
    const std::vector<std::string> lines = SplitLines(Read(fs::path(dir) / "MaximaSummary.txt"));
    ASSERT_EQ(lines.size(), 9U);
    EXPECT_EQ(lines[0], MaximaSummaryCodec::Heading());
    EXPECT_EQ(lines[1].substr(0, 18), "06.12.26\t 2\t 6\t.5\t");
}

// Front ends that hand the maximum on as numbers read the record each summary line was made
// from: one per line, in the order of the lines, each saying what its line says, and with
// "overall" only the search that ends the range of m.
TEST(MaximumRun, EachSummaryLineComesWithItsRecord) {
    struct Case {
        const char* name;
        DesignCode design;
        const char* number;
        const char* row1;
        std::size_t lines;
    };
    const Case cases[] = {{"comparative trial, two N", ComparativeTrial, "6, 8", ".5", 2},
                          {"comparative trial, every m", ComparativeTrial, "8", "all", 4},
                          {"comparative trial, overall", ComparativeTrial, "8", "overall", 1},
                          {"cross-sectional", CrossSectionalStudy, "5", ".5", 1}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        // What each record says, kept as its line and its maximum.
        struct Kept {
            std::string line;
            FoundMaximum maximum;
        };
        class Records : public ScriptedView {
        public:
            std::vector<Kept> records;
            void MaximumRecorded(const MaximaSummaryRecord& record) override {
                records.push_back({MaximaSummaryCodec::Format(record), record.maximum});
            }
        } view;
        MaximumSpecification s = Spec(MakeTempDirectory("maxima-records"), c.design, c.number);
        s.row1 = c.row1;
        s.accuracy = ".01";
        ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
        ASSERT_EQ(view.summaryLines.size(), c.lines);
        ASSERT_EQ(view.records.size(), c.lines);
        for (std::size_t i = 0; i < c.lines; ++i)
            EXPECT_EQ(view.records[i].line, view.summaryLines[i]);
        for (const Kept& r : view.records) {
            EXPECT_GT(r.maximum.value, 0);
            EXPECT_GE(r.maximum.pcol, 0);
            EXPECT_EQ(r.maximum.m >= 0, c.design == ComparativeTrial);
            EXPECT_EQ(r.maximum.prow >= 0, c.design == CrossSectionalStudy);
        }
    }
}

TEST(MaximumRun, SummaryFileEditedByHandLosesNoRecord) {
    // A summary file saved by an editor without the end of its last line: the new record
    // starts a line of its own instead of running on into the old one.
    const std::string dir = MakeTempDirectory("maxima-edited");
    const fs::path file = fs::path(dir) / "MaximaSummary.txt";
    const std::string old = "06.12.26\t 2\t 6\t.5\t 1\t 0\t 1\t1ProSig\t .05\t .001\t.03125000\t."
                            "5000000\t 3\t 1";
    ASSERT_EQ(WriteTextFile(file, MaximaSummaryCodec::Heading() + "\r\n" + old), std::nullopt);
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(Spec(dir, ComparativeTrial, "8"), view).status,
              StudyStatus::Completed);
    ASSERT_EQ(view.summaryLines.size(), 1U);
    EXPECT_EQ(Read(file), MaximaSummaryCodec::Heading() + "\r\n" + old + "\r\n" +
                              view.summaryLines[0] + "\r\n");

    // An emptied file is started again with its header, so that the reader, which drops the
    // first line, does not drop a record.
    ASSERT_EQ(WriteTextFile(file, ""), std::nullopt);
    ScriptedView again;
    ASSERT_EQ(RunMaximumStudy(Spec(dir, ComparativeTrial, "8"), again).status,
              StudyStatus::Completed);
    EXPECT_EQ(Read(file),
              MaximaSummaryCodec::Heading() + "\r\n" + again.summaryLines.at(0) + "\r\n");
}

TEST(MaximumRun, CombinedPolicyWritesItsOwnSummaryFile) {
    const std::string dir = MakeTempDirectory("maxima-policy");
    ScriptedView view;
    MaximumSpecification s = Spec(dir, ComparativeTrial, "8");
    s.test = "15";
    s.men = "1";
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
    EXPECT_TRUE(fs::exists(fs::path(dir) / "Summary_of_Maxima_when_test_policy15.txt"));
    EXPECT_FALSE(fs::exists(fs::path(dir) / "MaximaSummary.txt"));
    EXPECT_EQ(Field(view.summaryLines, 5), std::vector<std::string>{" 1"});

    // The list 1, 5 runs both tests under the simple policy.
    ScriptedView both;
    s.test = "1, 5";
    ASSERT_EQ(RunMaximumStudy(s, both).status, StudyStatus::Completed);
    EXPECT_EQ(Field(both.summaryLines, 5), (std::vector<std::string>{" 1", " 5"}));
    EXPECT_TRUE(fs::exists(fs::path(dir) / "MaximaSummary.txt"));
}

TEST(MaximumRun, AllWritesOneLinePerNumberInRowOneAndOverallOneLine) {
    const std::string dir = MakeTempDirectory("maxima-rows");
    ScriptedView all, overall;
    MaximumSpecification s = Spec(dir, ComparativeTrial, "10");
    s.row1 = "all";
    ASSERT_EQ(RunMaximumStudy(s, all).status, StudyStatus::Completed);
    EXPECT_EQ(Field(all.summaryLines, 4), (std::vector<std::string>{" 1", " 2", " 3", " 4", " 5"}));
    s.row1 = " Overall";
    ASSERT_EQ(RunMaximumStudy(s, overall).status, StudyStatus::Completed);
    EXPECT_EQ(overall.searches, 5);
    ASSERT_EQ(overall.summaryLines.size(), 1U);
    EXPECT_EQ(Field(overall.summaryLines, 4)[0], "0");
    // The chain of searches over m is one result: delivered once.
    EXPECT_EQ(overall.Count("delivered"), 1U);
    // The overall maximum is at least every single m's maximum less the accuracy, and it
    // names the m where it was found.
    double best = 0;
    std::string bestM;
    for (const auto& line : all.summaryLines) {
        const double v = NumericReading(SplitTabs(line)[10]);
        if (v > best) {
            best = v;
            bestM = SplitTabs(line)[3];
        }
    }
    const double overallValue = NumericReading(Field(overall.summaryLines, 11)[0]);
    EXPECT_GE(overallValue, best - 0.001);
    EXPECT_GE(NumericReading(Field(overall.summaryLines, 13)[0]), 1);
    // An MMT of 3 starts the range at m = 3.
    ScriptedView fromMMT;
    s.row1 = "all";
    s.mmt = "3";
    ASSERT_EQ(RunMaximumStudy(s, fromMMT).status, StudyStatus::Completed);
    EXPECT_EQ(Field(fromMMT.summaryLines, 4), (std::vector<std::string>{" 3", " 4", " 5"}));
}

struct RefusalCase {
    const char* name;
    DesignCode design;
    const char* number;
    const char* row1;
    const char* test;
    const char* mmt;
    const char* parameter;
    const char* accuracy;
    const char* message;
};

TEST(MaximumRun, RefusesBadFieldsWithTheProgramsMessages) {
    const std::string testsBeyond = "1, " + testing::UnregisteredTestText();
    const std::string beyondMessage = testing::UnregisteredTestRefusal();
    const RefusalCase cases[] = {
        {"N below 4", ComparativeTrial, "3", ".5", "1", "1", ".05", ".001",
         "The value  3 for variable 'Total number' is less than the minimum value allowed of 4."},
        {"fractional N", ComparativeTrial, "10.5", ".5", "1", "1", ".05", ".001",
         " 10.5 is not an integer"},
        {"N above 10000", ComparativeTrial, "20000", ".5", "1", "1", ".05", ".001",
         "The value 20000 for variable 'Total number' is greater than the maximum value allowed of "
         "10000."},
        {"a test number no test has", ComparativeTrial, "10", ".5", testsBeyond.c_str(), "1", ".05",
         ".001", beyondMessage.c_str()},
        {"MMT 0", ComparativeTrial, "10", ".5", "1", "0", ".05", ".001",
         "The minimum marginal total must be at least 1"},
        {"accuracy 0", CrossSectionalStudy, "10", "", "1", "1", ".05", "0",
         "The value  0 for variable 'Accuracy required' is less than the minimum value allowed of "
         ".000001."},
        {"row 1 between .5 and 1", ComparativeTrial, "20", ".75", "1", "1", ".05", ".001",
         "The value ' .75' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal "
         "up to 0.5, or an integer, or 'all', or 'overall'."},
        {"row 1 above N/2", ComparativeTrial, "20", "11", "1", "1", ".05", ".001",
         "The value ' 11' is invalid.  For 'Pop. prop. / number in row 1', you must enter a "
         "decimal "
         "up to 0.5, or an integer of up to half the total number, or 'all' or 'overall'."},
        {"cross-sectional N too large for memory", CrossSectionalStudy, "10000", "", "1", "1",
         ".05", ".001", nullptr},
    };
    for (const RefusalCase& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string dir = MakeTempDirectory("maxima-refuse");
        MaximumSpecification s = Spec(dir, c.design, c.number);
        s.row1 = c.row1;
        s.test = c.test;
        s.mmt = c.mmt;
        s.parameter = c.parameter;
        s.accuracy = c.accuracy;
        ScriptedView view;
        const StudyOutcome r = RunMaximumStudy(s, view);
        EXPECT_EQ(r.status, StudyStatus::Refused);
        ASSERT_EQ(view.messages.size(), 1U);
        if (c.message != nullptr)
            EXPECT_EQ(view.messages[0], c.message);
        else
            EXPECT_NE(view.messages[0].find("N = 10000"), std::string::npos) << view.messages[0];
        EXPECT_EQ(view.searches, 0);
        // Refused before anything is written: no empty log or heading-only summary is left.
        EXPECT_TRUE(std::filesystem::is_empty(dir));
    }
}

TEST(MaximumRun, RowOneRefusalKeepsTheLinesOfFinishedCombinations) {
    const std::string dir = MakeTempDirectory("maxima-late");
    MaximumSpecification s = Spec(dir, ComparativeTrial, "30, 10");
    s.row1 = "6";
    ScriptedView view;
    EXPECT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Refused);
    EXPECT_EQ(view.summaryLines.size(), 1U);
    EXPECT_EQ(view.calls.back(), "ended refused");
}

TEST(MaximumRun, SingleCombinationEvents) {
    const std::string dir = MakeTempDirectory("maxima-order");
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(Spec(dir, ComparativeTrial, "8"), view).status,
              StudyStatus::Completed);
    EXPECT_EQ(view.calls,
              (std::vector<std::string>{"started combinations single", "combination", "delivered",
                                        "all delivered", "ended completed"}));
}

TEST(MaximumRun, SeriesOfNDrawsTheSummaryChartAfterEveryCombination) {
    const std::string dir = MakeTempDirectory("maxima-series");
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(Spec(dir, ComparativeTrial, "6, 8, 10"), view).status,
              StudyStatus::Completed);
    EXPECT_EQ(view.calls.at(0), "started combinations several");
    ASSERT_EQ(view.charts.size(), 3U);
    const SummaryChartData& last = view.charts.back();
    EXPECT_EQ(last.x, (std::vector<double>{6, 8, 10}));
    EXPECT_EQ(last.axisLabel, "N");
    EXPECT_EQ(last.seriesLabel, "");
    EXPECT_EQ(last.referenceValue, 0.05);
    EXPECT_EQ(
        last.title,
        "06.12.26       Comparative trial       m/N (prop. in row 1) = .5       test: 1       "
        "MEN = 0       MMT = 1       Accuracy = .001\r\nMaximum value of (actual Type I error "
        "when alpha = .05) across all values of pi(col)");
    EXPECT_EQ(view.Count("delivered"), 3U);
    EXPECT_EQ(view.calls.end()[-2], "all delivered");
}

TEST(MaximumRun, EarlierDataRun) {
    const std::string dir = MakeTempDirectory("maxima-star");
    ScriptedView empty;
    MaximumSpecification s = Spec(dir, ComparativeTrial, "*");
    ASSERT_EQ(RunMaximumStudy(s, empty).status, StudyStatus::Completed);
    EXPECT_EQ(empty.messages,
              std::vector<std::string>{"No data has been generated yet for these specifications - "
                                       "you need to generate some data before a chart can be "
                                       "produced"});
    // A chart of earlier data only reads: no summary file is started.
    EXPECT_FALSE(fs::exists(fs::path(dir) / "MaximaSummary.txt"));

    ScriptedView compute;
    s.number = "6, 8";
    s.test = "1, 2";
    ASSERT_EQ(RunMaximumStudy(s, compute).status, StudyStatus::Completed);
    ScriptedView chart;
    s.number = "*";
    ASSERT_EQ(RunMaximumStudy(s, chart).status, StudyStatus::Completed);
    ASSERT_EQ(chart.charts.size(), 1U);
    EXPECT_EQ(chart.charts[0].series, (std::vector<double>{1, 2, 1, 2}));
    EXPECT_EQ(chart.charts[0].seriesLabel, "Test");
    EXPECT_EQ(chart.calls, (std::vector<std::string>{"started earlier data single", "summary chart",
                                                     "all delivered", "ended completed"}));

    ScriptedView notProgrammed;
    s.number = "6";
    s.test = "*";
    ASSERT_EQ(RunMaximumStudy(s, notProgrammed).status, StudyStatus::Completed);
    EXPECT_EQ(
        notProgrammed.messages,
        std::vector<std::string>{"The analysis that you have requested has not been programmed"});
}

TEST(MaximumRun, SummaryChartDecisions) {
    using Lines = MaximaChartSelection::Lines;
    struct Case {
        const char* suffix;
        const char* completed;
        bool allOrOverall;
        std::optional<Lines> expected;
    };
    const Case cases[] = {
        {"_Number", "", false, Lines::Single},
        {"_Number", "_Number", false, Lines::Single},
        {"_Number_Test", "", false, std::nullopt},
        {"_Number_Test", "_Test", false, Lines::PerTest},
        {"_Number_Test", "_Number_Test", false, Lines::PerTest},
        {"_Number_MEN", "_Number", false, std::nullopt},
        {"_Number_MEN", "_MEN", false, Lines::PerMEN},
        {"_Number_n1", "_n1", true, Lines::Single},
        {"_Number_n1", "_Number_n1", true, Lines::Single},
        {"_Number_n1_Test", "_n1", true, Lines::PerTest},
        {"_Number_n1_MEN", "_n1_MEN", true, Lines::PerMEN},
        {"_Number_n1", "", true, std::nullopt},
        {"_Test", "_Test", false, std::nullopt},
        {"", "", false, std::nullopt},
        // Tests and MENs both vary: a chart a test, one line a MEN, once its MENs are done.
        {"_Number_Test_MEN", "_MEN", false, Lines::PerMEN},
        {"_Number_Test_MEN", "_Test_MEN", false, Lines::PerMEN},
        {"_Number_Test_MEN", "_Number_Test_MEN", false, Lines::PerMEN},
        {"_Number_Test_MEN", "_Test", false, std::nullopt},
        {"_Number_Test_MEN", "", false, std::nullopt},
        {"_Number_n1_Test_MEN", "_n1", true, Lines::PerMEN},
        {"_Number_n1_Test_MEN", "_MEN", true, std::nullopt},
    };
    for (const Case& c : cases)
        EXPECT_EQ(MaximaSummaryChartDue(testing::Key(c.suffix), testing::Key(c.completed),
                                        c.allOrOverall),
                  c.expected)
            << c.suffix << " / " << c.completed;
}

TEST(MaximaReader, SelectionRules) {
    const std::string header = MaximaSummaryCodec::Heading() + "\r\n";
    auto line = [](const std::string& design, const std::string& N, const std::string& row1,
                   const std::string& test, const std::string& men, const std::string& type,
                   const std::string& accuracy, const std::string& value) {
        return "06.12.26\t" + design + "\t" + N + "\t" + row1 + "\t" + test + "\t" + men +
               "\t 1\t" + type + "\t .05\t" + accuracy + "\t" + value + "\t.3\t 2\t 0\r\n";
    };
    const std::string file =
        header + line(" 2", " 10", " 2", " 1", " 0", "1ProSig", " .001", ".061") + // all, m 2
        line(" 2", " 10", " 4", " 1", " 0", "1ProSig", " .001", ".062") +          // all, m 4
        line(" 2", " 12", "0", " 1", " 0", "1ProSig", " .001", ".063") +           // overall
        line(" 2", " 12", ".5", " 1", " 0", "1ProSig", " .001", ".064") +          // number .5
        line(" 2", " 12", ".5", " 3", " 0", "1ProSig", " .001", ".065") +          // test 3
        line(" 2", " 12", ".5", " 1", " 1", "1ProSig", " .001", ".066") +          // MEN 1
        line(" 2", " 12", ".5", " 1", " 0", "2MaxDif", " .001", ".067") +          // excess
        line(" 2", " 14", ".5", " 1", " 0", "1ProSig", " .01", ".068") +           // coarser
        line(" 2", " 14", ".5", " 1", " 0", "1ProSig", " .0001", ".069") +         // finer
        line(" 1", " 12", "", " 1", " 0", "1ProSig", " .001", ".070") +            // other design
        "06.12.26\t 2\t 16\r\n" + "\r\n";                                          // short lines

    auto select = [&](MaximaChartSelection s) {
        SummaryChartData data;
        SelectMaximaRecords(file, s, data);
        return data;
    };
    MaximaChartSelection s;
    s.rowKind = RowOneKind::Number;
    s.key.row1 = ".5";
    EXPECT_EQ(select(s).y, (std::vector<double>{0.064, 0.069}));
    s.lines = MaximaChartSelection::Lines::PerTest;
    EXPECT_EQ(select(s).y, (std::vector<double>{0.064, 0.065, 0.069}));
    EXPECT_EQ(select(s).series, (std::vector<double>{1, 3, 1}));
    s.lines = MaximaChartSelection::Lines::PerMEN;
    EXPECT_EQ(select(s).series, (std::vector<double>{0, 1, 0}));
    s.lines = MaximaChartSelection::Lines::Single;
    s.key.type = Property::MaximumExcess;
    EXPECT_EQ(select(s).y, std::vector<double>{0.067});
    s.key.type = Property::ActualTypeIError;
    s.rowKind = RowOneKind::Overall;
    EXPECT_EQ(select(s).y, std::vector<double>{0.063});
    s.rowKind = RowOneKind::All;
    const SummaryChartData all = select(s);
    // "all": N + m/N, so the m of one N lie side by side just right of N.
    EXPECT_EQ(all.x, (std::vector<double>{10 + 2.0 / 10, 10 + 4.0 / 10}));
    s.key.design = CrossSectionalStudy;
    s.rowKind = RowOneKind::None;
    EXPECT_EQ(select(s).y, std::vector<double>{0.070});
}

} // namespace
} // namespace quillon

namespace quillon {
namespace {

// Stops the run once `after` combinations have been delivered.
class StoppingView : public ScriptedView {
public:
    explicit StoppingView(std::size_t after) : after_(after) {}
    bool StopRequested() const override { return Count("delivered") >= after_; }

private:
    std::size_t after_;
};

TEST(MaximumRun, TestsAndMENsBothVaryingGiveAChartForEachTest) {
    // Loops: N, test, MEN. The chart of a test is due once its MENs are done at each N, so
    // the two tests' charts alternate, each holding every N computed so far.
    const std::string dir = MakeTempDirectory("maxima-test-men");
    MaximumSpecification s = Spec(dir, ComparativeTrial, "6, 8");
    s.test = "1, 3";
    s.men = "0, 1";
    s.accuracy = ".01";
    ScriptedView view;
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Completed);
    ASSERT_EQ(view.charts.size(), 4U);
    for (std::size_t i = 0; i < view.charts.size(); ++i) {
        SCOPED_TRACE(i);
        const SummaryChartData& chart = view.charts[i];
        EXPECT_EQ(chart.seriesLabel, "MEN");
        EXPECT_FALSE(chart.seriesAreTests);
        // Each chart names its own test, not the list typed.
        EXPECT_NE(chart.title.find(i % 2 == 0 ? "test: 1 " : "test: 3 "), std::string::npos)
            << chart.title;
    }
    EXPECT_EQ(view.charts[1].x, (std::vector<double>{6, 6}));
    EXPECT_EQ(view.charts[3].x, (std::vector<double>{6, 6, 8, 8}));
    EXPECT_EQ(view.charts[3].series, (std::vector<double>{0, 1, 0, 1}));
}

TEST(MaximumRun, AStoppedRunChartsTheSeriesItCutShort) {
    // N and tests vary: the chart is due after the last test of each N. Stopped after the
    // first test of N = 8, the run charts what it has: both tests at 6, test 1 alone at 8.
    const std::string dir = MakeTempDirectory("maxima-stop-chart");
    MaximumSpecification s = Spec(dir, ComparativeTrial, "6, 8, 10");
    s.test = "1, 3";
    s.accuracy = ".01";
    StoppingView view(3);
    ASSERT_EQ(RunMaximumStudy(s, view).status, StudyStatus::Stopped);
    ASSERT_EQ(view.charts.size(), 2U);
    EXPECT_EQ(view.charts[1].x, (std::vector<double>{6, 6, 8}));
    EXPECT_EQ(view.charts[1].series, (std::vector<double>{1, 3, 1}));
    EXPECT_EQ(view.charts[1].title, view.charts[0].title);
    EXPECT_EQ(view.calls.end()[-2], "summary chart");
    EXPECT_EQ(view.calls.back(), "ended stopped");

    // Stopped where a chart was just due: nothing is drawn twice.
    const std::string again = MakeTempDirectory("maxima-stop-chart-due");
    s.dataDirectory = again;
    StoppingView atEnd(2);
    ASSERT_EQ(RunMaximumStudy(s, atEnd).status, StudyStatus::Stopped);
    EXPECT_EQ(atEnd.charts.size(), 1U);
    // Stopped before any search completed: no chart and no message.
    StoppingView atOnce(0);
    s.dataDirectory = MakeTempDirectory("maxima-stop-at-once");
    ASSERT_EQ(RunMaximumStudy(s, atOnce).status, StudyStatus::Stopped);
    EXPECT_TRUE(atOnce.charts.empty());
    EXPECT_TRUE(atOnce.messages.empty());
}

} // namespace
} // namespace quillon
