// The result files of the particular study: byte-for-byte goldens of a small point of
// each design, and the reading and selection of the summary file for summary charts.
//
// Goldens live in tests/data/golden/particular/. To accept a deliberate change, run
//   QUILLON_UPDATE_GOLDEN=1 ./quillon_tests --gtest_filter='ParticularFiles*'
// and review the difference with git before committing it.
#include "particular/result_files.h"

#include "core/files.h"
#include "particular/recording_view.h"
#include "particular/run.h"
#include "support/golden.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace quillon {
namespace {

namespace fs = std::filesystem;
using testing::RecordingView;

std::string ReadFile(const fs::path& file) {
    const std::optional<std::string> text = ReadTextFile(file);
    EXPECT_TRUE(text.has_value()) << file;
    return text.value_or("");
}

ParticularSpecification Spec(const fs::path& dir) {
    ParticularSpecification spec;
    spec.dataDirectory = dir;
    spec.clock = RunClock(RunDate{6, 12, 2026});
    spec.threads = 1;
    return spec;
}

TEST(ParticularFiles, ComparativeTrialGolden) {
    // N = 8, m = 2, p = .3 with an interval of .05; with MEN .9 and MMT 2 a column total
    // of 2 or 3 fails the expected number only (1.2: expected 2 x 3 / 8 = .75) and one of
    // 0 or 1 fails both (1.3); two tests, written as typed in the captions.
    const fs::path dir = testing::MakeTempDirectory("particular-files-ct");
    ParticularSpecification spec = Spec(dir);
    spec.txtNumber = "8";
    spec.txtTest = "4, 1";
    spec.txtP_col = ".3";
    spec.txtP_row = "2";
    spec.txtInterval = ".05";
    spec.txtMEN = ".9";
    spec.txtMMT = "2";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularResultsFileName),
                                 "particular/ct_results.txt");
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularSummaryFileName),
                                 "particular/ct_summary.txt");
}

TEST(ParticularFiles, UnconditionalTestsGolden) {
    // N = 7, m = 3, p = .4 with tests 8 and 9 asked for: the listing holds the seven tests'
    // columns and theirs. Exact rational regions and a dense grid
    // (tests/reference/unconditional_reference.py) give 1/64 = .015625 to 0 3 4 0 and
    // 1/8 to 1 2 4 0 by both tests, each the largest at p = 1/2.
    const fs::path dir = testing::MakeTempDirectory("particular-files-unconditional");
    ParticularSpecification spec = Spec(dir);
    spec.txtNumber = "7";
    spec.txtTest = "8, 9";
    spec.txtP_col = ".4";
    spec.txtP_row = "3";
    spec.txtInterval = ".05";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularResultsFileName),
                                 "particular/ct_unconditional_results.txt");
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularSummaryFileName),
                                 "particular/ct_unconditional_summary.txt");
}

TEST(ParticularFiles, CrossSectionalGolden) {
    const fs::path dir = testing::MakeTempDirectory("particular-files-cs");
    ParticularSpecification spec = Spec(dir);
    spec.design = CrossSectionalStudy;
    spec.txtNumber = "4";
    spec.txtTest = "7";
    spec.txtP_col = ".3";
    spec.txtP_row = ".4";
    spec.txtInterval = ".01";
    spec.txtParameter = ".5";
    // Row totals 1 and 3 with column totals 2 and 2: expected number .5, not below MEN .5,
    // smallest margin 1, below MMT 2: 1.1. A zero margin fails both: 1.3.
    spec.txtMEN = ".5";
    spec.txtMMT = "2";
    RecordingView view;
    ASSERT_EQ(RunParticularStudy(spec, view).status, StudyStatus::Completed);
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularResultsFileName),
                                 "particular/cs_results.txt");
    testing::ExpectMatchesGolden(ReadFile(dir / ParticularSummaryFileName),
                                 "particular/cs_summary.txt");
}

TEST(ParticularFiles, SummaryHeadingOnceAndLinesAccumulate) {
    const fs::path dir = testing::MakeTempDirectory("particular-files-accumulate");
    ParticularSpecification spec = Spec(dir);
    spec.txtNumber = "10, 12";
    spec.txtTest = "3, 1, 5";
    RecordingView first, second;
    ASSERT_EQ(RunParticularStudy(spec, first).status, StudyStatus::Completed);
    ASSERT_EQ(RunParticularStudy(spec, second).status, StudyStatus::Completed);
    const std::vector<std::string> lines = SplitLines(ReadFile(dir / ParticularSummaryFileName));
    ASSERT_EQ(lines.size(), 1u + 2 * 2 * 3);
    EXPECT_EQ(lines[0], ParticularSummaryCodec::Heading());
    // Three tests per point, in list order.
    for (std::size_t i = 1; i < lines.size(); ++i)
        EXPECT_EQ(SplitTabs(lines[i])[7], (i % 3 == 1 ? " 3" : i % 3 == 2 ? " 1" : " 5"));
    EXPECT_EQ(first.summaryLines.size(), 6u);
    EXPECT_EQ(first.summaryLines[0], lines[1]);
}

TEST(ParticularFiles, CaptionLine) {
    EvaluationPoint point;
    point.design = ComparativeTrial;
    point.N = 20;
    point.pCol = .05;
    point.row = 5;
    point.interval = .01;
    point.MEN = 0;
    point.MMT = 1;
    const PointTexts texts{"06.12.26", "061226", "1 - 7"};
    EXPECT_EQ(CaptionLine(point, texts),
              "06.12.26       N = 20       Comparative trial       pi(col) = .05       m (number "
              "in row 1) = 5       tests: 1 - 7       delta pi(col) = .01       MEN = 0       MMT "
              "= 1");
    point.design = CrossSectionalStudy;
    point.row = .4;
    EXPECT_EQ(CaptionLine(point, texts, false),
              "06.12.26       N = 20       Cross-sectional study       pi(col) = .05       pi(row) "
              "= .4       tests: 1 - 7       MEN = 0       MMT = 1");
}

// A summary file as a person might leave it after editing: LF and CRLF ends, a blank
// line, a short line, text in a number field and an extra field after the last.
TEST(ParticularFiles, ReadsHandEditedSummaryFile) {
    const std::string text =
        ParticularSummaryCodec::Heading() + "\r\n" +
        "061226\t 2\t 20\t .5\t 10\t 0\t 0\t 1\t 0\t 1\t .05\t.04\t.04\t.01\r\n" + "\r\n" +
        "061226\t 2\t 20\t .5\n" +
        "061226\t 2\t abc\t .5\t 10\t 0\t 0\t 1\t 0\t 1\t .05\t.04\t.04\t.01\n" +
        "061226\t 1\t 30\t .3\t .4\t 0\t 0\t 7\t 1\t 2\t .05\t.06\t.07\t.02\textra\n" +
        "061226\t 1\t 40\t .3\t .4\t 0\t 0\t 7\t 1\t 2\t .05\t.06\t.07\t-.5";
    const std::vector<ParticularSummaryRecord> records =
        ReadSummaryRecords<ParticularSummaryCodec>(text);
    ASSERT_EQ(records.size(), 4u);
    EXPECT_EQ(records[0].field[3], 20);
    EXPECT_EQ(records[0].field[12], .04);
    EXPECT_EQ(records[1].field[3], 0); // "abc" reads as 0
    EXPECT_EQ(records[2].field[14], .02);
    EXPECT_EQ(records[3].field[14], -.5);
    EXPECT_TRUE(ReadSummaryRecords<ParticularSummaryCodec>("").empty());
    EXPECT_TRUE(
        ReadSummaryRecords<ParticularSummaryCodec>(ParticularSummaryCodec::Heading()).empty());
}

TEST(ParticularFiles, MissingSummaryFileHasNoRecords) {
    EXPECT_TRUE(ReadSummaryFile(testing::MakeTempDirectory("particular-no-summary")).empty());
}

ParticularSummaryRecord Record(std::initializer_list<double> fields) {
    ParticularSummaryRecord r;
    int i = 1;
    for (double f : fields)
        r.field[i++] = f;
    return r;
}

//                        date design N  p   row w  wx test MEN MMT param propsig ub  maxdif
const std::vector<ParticularSummaryRecord> kRecords = {
    Record({61226, 2, 20, .5, 5, 0, 0, 1, 0, 1, .05, .041, .041, .011}),
    Record({61226, 2, 40, .5, 10, 0, 0, 1, 0, 1, .05, .042, .042, .012}),
    Record({61226, 2, 40, .5, 10, 0, 0, 2, 0, 1, .05, .030, .030, .0}),
    Record({61226, 2, 40, .5, 5, 0, 0, 1, 0, 1, .05, .043, .043, .013}),
    Record({61226, 2, 40, .5, 10, 0, 0, 1, 1, 1, .05, .044, .044, .014}),
    Record({61226, 2, 40, .3, 10, 0, 0, 1, 0, 1, .05, .045, .045, .015}),
    Record({61226, 2, 40, .5, 10, 0, 0, 1, 0, 2, .05, .046, .046, .016}),
    Record({61226, 2, 40, .5, 10, 0, 0, 1, 0, 1, .01, .047, .047, .017}),
    Record({61226, 1, 40, .5, .25, 0, 0, 1, 0, 1, .05, .048, .048, .018}),
};

SummaryChartQuery Query(int xField, int seriesField) {
    SummaryChartQuery q;
    q.design = ComparativeTrial;
    q.N = 40;
    q.pCol = .5;
    q.rowValue = 10;
    q.MEN = 0;
    q.MMT = 1;
    q.parameter = .05;
    q.test = 1;
    q.txtP_row = ".25";
    q.txtTest = "1";
    q.xField = xField;
    q.seriesField = seriesField;
    q.captionDate = "06.12.26";
    return q;
}

TEST(ParticularFiles, SelectionAlongN) {
    // Row value as a proportion: Int(N x .25) must equal the stored m, so m = 5 at N = 20
    // and m = 10 at N = 40 are selected, but m = 5 at N = 40 is not.
    const SummaryChartData data = SelectSummaryChart(kRecords, Query(3, 0));
    EXPECT_EQ(data.x, (std::vector<double>{20, 40}));
    EXPECT_EQ(data.y, (std::vector<double>{.041, .042}));
    EXPECT_EQ(data.series, (std::vector<double>{0, 0}));
    EXPECT_EQ(data.referenceValue, .05);
}

TEST(ParticularFiles, SelectionWithNumberInRowOne) {
    // Row value as a number: the stored m must equal it whatever N.
    SummaryChartQuery q = Query(3, 0);
    q.txtP_row = "5";
    q.rowValue = 5;
    const SummaryChartData data = SelectSummaryChart(kRecords, q);
    EXPECT_EQ(data.x, (std::vector<double>{20, 40}));
    EXPECT_EQ(data.y, (std::vector<double>{.041, .043}));
}

TEST(ParticularFiles, SelectionBySeries) {
    const SummaryChartData byTest = SelectSummaryChart(kRecords, Query(3, 8));
    EXPECT_EQ(byTest.x, (std::vector<double>{20, 40, 40}));
    EXPECT_EQ(byTest.series, (std::vector<double>{1, 1, 2}));
    const SummaryChartData byMen = SelectSummaryChart(kRecords, Query(3, 9));
    EXPECT_EQ(byMen.series, (std::vector<double>{0, 0, 1}));
    // Along pi(col) at N = 40: the record at p = .3 joins.
    const SummaryChartData byP = SelectSummaryChart(kRecords, Query(4, 0));
    EXPECT_EQ(byP.x, (std::vector<double>{.5, .3}));
}

TEST(ParticularFiles, SelectionOfCrossSectionalRecords) {
    SummaryChartQuery q = Query(3, 0);
    q.design = CrossSectionalStudy;
    q.rowValue = .25;
    const SummaryChartData data = SelectSummaryChart(kRecords, q);
    EXPECT_EQ(data.x, (std::vector<double>{40}));
    q.rowValue = .3;
    EXPECT_EQ(SelectSummaryChart(kRecords, q).Count(), 0u);
}

TEST(ParticularFiles, ExcessModeUsesMaxDifAndNoReference) {
    SummaryChartQuery q = Query(3, 0);
    q.summaryChartMode = Property::MaximumExcess;
    const SummaryChartData data = SelectSummaryChart(kRecords, q);
    EXPECT_EQ(data.y, (std::vector<double>{.011, .012}));
    EXPECT_EQ(data.referenceValue, 0);
    EXPECT_NE(data.title.find("\r\nMaximum excess of actual over nominal Type I error for alpha "
                              "up to .05"),
              std::string::npos)
        << data.title;
}

TEST(ParticularFiles, SummaryChartTitles) {
    SummaryChartQuery q = Query(3, 8);
    q.axisLabel = "N";
    q.seriesLabel = "Test";
    const SummaryChartData a = SelectSummaryChart(kRecords, q);
    EXPECT_EQ(a.title, "06.12.26       Comparative trial       pi(col) = .5       m/N (prop. in "
                       "row 1) =.25       MEN = 0       MMT = 1\r\nActual Type I error when "
                       "alpha = .05");
    EXPECT_EQ(a.axisLabel, "N");
    EXPECT_EQ(a.seriesLabel, "Test");
    q = Query(4, 9);
    q.txtP_row = "10";
    q.txtTest = "1, 2";
    EXPECT_EQ(SelectSummaryChart(kRecords, q).title,
              "06.12.26       Comparative trial       N = 40       m (number in row 1) = 10       "
              "test: 1, 2       MMT = 1\r\nActual Type I error when alpha = .05");
    q.design = CrossSectionalStudy;
    q.rowValue = .25;
    EXPECT_EQ(SelectSummaryChart(kRecords, q).title,
              "06.12.26       Cross-sectional study       N = 40       pi(row) = .25       test: "
              "1, 2       MMT = 1\r\nActual Type I error when alpha = .05");
}

} // namespace
} // namespace quillon
