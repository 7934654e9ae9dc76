#include "particular/run.h"

#include "core/files.h"
#include "core/numtext.h"
#include "particular/result_files.h"
#include "ui/speclang.h"

#include <cmath>
#include <cstdio>
#include <ctime>

namespace quillon {

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}

std::string TwoDigits(int v) {
    char buf[8];
    std::snprintf(buf, sizeof buf, "%02d", ((v % 100) + 100) % 100);
    return buf;
}

// A refused value: its message has been shown and the run ends.
struct Refusal {
    std::string message;
};

// One list field as read at Start.
struct ListValues {
    bool asterisk = false;
    std::vector<double> values;
};

struct ListRule {
    const char* displayName = nullptr; // nullptr: no range check (MEN)
    double minimum = 0, maximum = 0;
    bool whole = false;        // every value must be whole (N)
    bool wholeFromOne = false; // values of 1 or more must be whole (numbers in row 1)
};

std::optional<Refusal> ReadList(const std::string& text, const ListRule& rule, ListValues& out) {
    if (text == "*") {
        out.asterisk = true;
        return std::nullopt;
    }
    const Expansion expansion = ExpandSpecification(text);
    if (expansion.truncated)
        return Refusal{
            TooManyValuesMessage(rule.displayName ? rule.displayName : "Minimum expected number")};
    for (double v : SplitInterpretation(expansion.interpretation)) {
        const bool mustBeWhole = rule.whole || (rule.wholeFromOne && v >= 1);
        if (mustBeWhole && std::trunc(v) != v)
            return Refusal{NotAnIntegerMessage(v)};
        if (rule.displayName)
            if (auto message = RangeCheck(v, rule.minimum, rule.maximum, rule.displayName))
                return Refusal{*message};
        out.values.push_back(v);
    }
    return std::nullopt;
}

std::optional<Refusal> ReadSingle(const std::string& text, double minimum, double maximum,
                                  const char* displayName, double& out) {
    out = NumericReading(text);
    if (auto message = RangeCheck(out, minimum, maximum, displayName))
        return Refusal{*message};
    return std::nullopt;
}

// The number m in row 1 of a comparative trial from a row value: a proportion up to .5,
// or a whole number up to N / 2.
std::optional<Refusal> RowNumber(double v, double N, double& m) {
    const std::string start = "The value '" + S(v) +
                              "' is invalid.  For 'Pop. prop. / number in row 1', you must "
                              "enter a ";
    if (v <= 0.5) {
        m = std::floor(N * v);
        return std::nullopt;
    }
    if (v < 1)
        return Refusal{start + "decimal up to 0.5, or an integer."};
    if (v > N / 2)
        return Refusal{start + "decimal up to 0.5, or an integer of up to half the total number."};
    m = v;
    return std::nullopt;
}

} // namespace

std::optional<SummaryChartChoice> EarlierDataChart(const std::string& key) {
    using ChartChoice = SummaryChartChoice;
    if (key == "_Number")
        return ChartChoice{3, 0, "N", ""};
    if (key == "_Number_Test")
        return ChartChoice{3, 8, "N", "Test"};
    if (key == "_Number_MEN")
        return ChartChoice{3, 9, "N", "MEN"};
    if (key == "_Test_Pcol")
        return ChartChoice{4, 8, "pi(col)", "Test"};
    if (key == "_Pcol_MEN")
        return ChartChoice{4, 9, "pi(col)", "MEN"};
    if (key == "_Pcol")
        return ChartChoice{4, 0, "pi(col)", ""};
    return std::nullopt;
}

RunDate Today() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return {local.tm_mday, local.tm_mon + 1, local.tm_year + 1900};
}

std::optional<SummaryChartChoice> SummaryChartDue(const std::string& key,
                                                  const std::string& completion) {
    struct Rule {
        const char* key;
        const char* when1;
        const char* when2;
        SummaryChartChoice choice;
    };
    static const Rule rules[] = {
        {"_Number", "", "_Number", {3, 0, "N", ""}},
        {"_Number_Test", "", "_Number", {3, 8, "N", "Test"}},
        {"_Number_Test_Pcol", "_Pcol", "_Number_Pcol", {4, 8, "pi (col)", "Test"}},
        {"_Number_Pcol", "_Pcol", "_Number_Pcol", {4, 0, "pi (col)", ""}},
        {"_Number_Pcol_MEN", "_Pcol_MEN", "_Number_Pcol_MEN", {4, 9, "pi (col)", "MEN"}},
        {"_Number_MEN", "_MEN", "_Number_MEN", {3, 9, "N", "MEN"}},
        {"_Test_Pcol", "_Pcol", nullptr, {4, 8, "pi (col)", "Test"}},
        {"_Test_Pcol_Prow", "_Pcol_Prow", nullptr, {4, 8, "pi (col)", "Test"}},
        {"_Pcol", "_Pcol", nullptr, {4, 0, "pi (col)", ""}},
        {"_Pcol_MEN", "_MEN", "_Pcol_MEN", {4, 9, "pi (col)", "MEN"}},
        {"_MEN", "", "_MEN", {9, 0, "MEN", ""}},
    };
    for (const Rule& r : rules)
        if (key == r.key && (completion == r.when1 || (r.when2 && completion == r.when2)))
            return r.choice;
    return std::nullopt;
}

namespace {

class Run {
public:
    Run(const ParticularSpecification& spec, ParticularView& view) : spec_(spec), view_(view) {
        const RunDate d = spec.date ? *spec.date : Today();
        texts_.captionDate = TwoDigits(d.day) + "." + TwoDigits(d.month) + "." + TwoDigits(d.year);
        texts_.summaryDate = TwoDigits(d.day) + TwoDigits(d.month) + TwoDigits(d.year);
        texts_.testsText = spec.txtTest;
    }

    RunOutcome Execute() {
        if (auto refusal = ReadFields())
            return Refuse(refusal->message);
        if (noCalculation_)
            return ChartOfEarlierData();

        if ((key_ == "_Test" || key_ == "_Number_Test") && tests_.values.size() == 2) {
            const std::string question =
                std::string("You have chosen two tests.  If you wish, you can be shown a "
                            "scatter diagram comparing the P values by ") +
                "the two tests for all possible sample tables (together with a summary of "
                "significant tables).  " +
                "\r\n" + "Do you want to see the scatter diagram rather than the " +
                "cumulative frequency charts?";
            switch (view_.AskYesNoCancel(question)) {
            case Answer::Cancel:
                return {};
            case Answer::Yes:
                return CompareTwoTests();
            case Answer::No:
                break;
            }
        }
        return EvaluateAllPoints();
    }

private:
    std::optional<Refusal> ReadFields() {
        const bool trial = spec_.design == ComparativeTrial;
        struct Field {
            const std::string& text;
            ListRule rule;
            ListValues& values;
            const char* keyPart;
        };
        const ListRule numberRule{"Total number", 4, 10000, true, false};
        // A test number must be whole: 1.5 names no test (and would be read as another).
        const ListRule testRule{"Test(s)", 1, 7, true, false};
        const ListRule colRule{"Population proportion in column 1", 0, 0.5, false, false};
        const ListRule rowRule =
            trial ? ListRule{"Pop. prop. / number in row 1", 0, 100000, false, true}
                  : ListRule{"Population proportion in row 1", 0, 0.5, false, false};
        const Field lists[] = {{spec_.txtNumber, numberRule, numbers_, "_Number"},
                               {spec_.txtTest, testRule, tests_, "_Test"},
                               {spec_.txtP_col, colRule, cols_, "_Pcol"},
                               {spec_.txtP_row, rowRule, rows_, "_Prow"}};
        for (const Field& f : lists)
            if (auto refusal = ReadListField(f.text, f.rule, f.values, f.keyPart))
                return refusal;
        if (auto r =
                ReadSingle(spec_.txtInterval, 0, 0.1, "Population proportion interval", interval_))
            return r;
        if (auto r = ReadSingle(spec_.txtMMT, 1, 10000, "Minimum marginal total", mmt_))
            return r;
        if (auto r = ReadSingle(spec_.txtParameter, 0, 1, "Parameter", parameter_))
            return r;
        return ReadListField(spec_.txtMEN, ListRule{}, mens_, "_MEN");
    }

    std::optional<Refusal> ReadListField(const std::string& text, const ListRule& rule,
                                         ListValues& values, const char* keyPart) {
        if (auto refusal = ReadList(text, rule, values))
            return refusal;
        if (values.asterisk) {
            noCalculation_ = true;
            key_ += keyPart;
        } else if (values.values.size() > 1) {
            key_ += keyPart;
        }
        return std::nullopt;
    }

    RunOutcome Refuse(const std::string& message) {
        view_.ShowMessage(message);
        return {RunOutcome::Status::Refused, message};
    }

    std::vector<int> TestList() const {
        std::vector<int> tests;
        for (double t : tests_.values)
            tests.push_back(static_cast<int>(t));
        return tests;
    }

    EvaluationPoint MakePoint(double N, double p, double rowValue, double men) const {
        EvaluationPoint point;
        point.design = spec_.design;
        point.N = static_cast<std::int64_t>(N);
        point.pCol = p;
        point.interval = interval_;
        point.row = rowValue;
        point.rowInterval = spec_.design == CrossSectionalStudy ? interval_ : 0;
        point.MEN = men;
        point.MMT = mmt_;
        point.tests = TestList();
        point.parameter = parameter_;
        return point;
    }

    // The refusal of one pair of N and row value: a row value that the comparative trial
    // cannot use with this N, or a point too large for the memory.
    std::optional<Refusal> CheckPoint(double N, double v, bool allTestColumns,
                                      std::optional<std::uint64_t> available) const {
        double row = v;
        if (spec_.design == ComparativeTrial)
            if (auto refusal = RowNumber(v, N, row))
                return refusal;
        const EvaluationPoint point = MakePoint(N, cols_.values.front(), row, 0);
        if (auto message = MemoryRefusal(point, allTestColumns, available))
            return Refusal{*message};
        return std::nullopt;
    }

    // Every pair of N and row value is checked before anything is computed, so a run is
    // refused at once rather than part way through. Lists so long that the pairs would
    // take long to check are checked point by point instead, just before each is computed.
    std::optional<Refusal> CheckPoints(const std::vector<double>& rowValues, bool allTestColumns) {
        available_ = AvailableMemoryBytes();
        prechecked_ =
            static_cast<double>(numbers_.values.size()) * static_cast<double>(rowValues.size()) <=
            1e6;
        if (!prechecked_)
            return std::nullopt;
        for (double N : numbers_.values)
            for (double v : rowValues)
                if (auto refusal = CheckPoint(N, v, allTestColumns, available_))
                    return refusal;
        return std::nullopt;
    }

    // A refusal found while the run is under way: the windows return to the specification.
    RunOutcome RefuseDuringRun(const std::string& message) {
        view_.ShowMessage(message);
        view_.ShowChartWindow(false);
        view_.ShowSpecificationWindow(true);
        view_.SetBusy(false);
        return {RunOutcome::Status::Refused, message};
    }

    double RowFor(double N, double v) const {
        double row = v;
        if (spec_.design == ComparativeTrial)
            (void)RowNumber(v, N, row);
        return row;
    }

    EvaluationOptions Options(bool allTestColumns, bool summarise) {
        EvaluationOptions options;
        options.allTestColumns = allTestColumns;
        options.summarise = summarise;
        options.threads = spec_.threads;
        options.progress = [this](const std::string& stage, std::uint64_t done,
                                  std::uint64_t total) {
            view_.Progress(stage, done, total);
            return !view_.StopRequested();
        };
        return options;
    }

    WriteProgress WritingProgress() {
        return [this](std::uint64_t lines, std::uint64_t total) {
            view_.Progress("Writing the results file", lines, total);
        };
    }

    std::optional<std::string> PrepareDirectory() {
        return PrepareDataDirectory(spec_.dataDirectory);
    }

    RunOutcome Fail(const std::string& message) {
        view_.ShowMessage(message);
        view_.ShowChartWindow(false);
        view_.ShowSpecificationWindow(true);
        view_.SetBusy(false);
        return {RunOutcome::Status::Failed, message};
    }

    RunOutcome Stop() {
        view_.ShowChartWindow(false);
        view_.ShowSpecificationWindow(true);
        view_.SetBusy(false);
        return {RunOutcome::Status::Stopped, ""};
    }

    void DrawSummaryChart(const SummaryChartQuery& query) {
        const SummaryChartData data =
            SelectSummaryChart(ReadSummaryFile(spec_.dataDirectory), query);
        if (data.Count() == 0)
            view_.ShowMessage(NoDataMessage);
        else
            view_.DrawSummaryChart(data);
    }

    SummaryChartQuery Query(int xField, int seriesField, const std::string& axisLabel,
                            const std::string& seriesLabel) const {
        SummaryChartQuery q;
        q.design = spec_.design;
        q.MMT = mmt_;
        q.parameter = parameter_;
        q.txtP_row = spec_.txtP_row;
        q.txtTest = spec_.txtTest;
        q.xField = xField;
        q.seriesField = seriesField;
        q.axisLabel = axisLabel;
        q.seriesLabel = seriesLabel;
        q.summaryChartMode = spec_.summaryChartMode;
        q.captionDate = texts_.captionDate;
        return q;
    }

    RunOutcome ChartOfEarlierData() {
        view_.ShowSummaryChartWindow(true);
        if (const auto choice = EarlierDataChart(key_)) {
            auto first = [](const ListValues& l) {
                return l.values.empty() ? 0.0 : l.values.front();
            };
            SummaryChartQuery q =
                Query(choice->xField, choice->seriesField, choice->axisLabel, choice->seriesLabel);
            q.N = first(numbers_);
            q.pCol = first(cols_);
            const double v = first(rows_);
            q.rowValue = spec_.design == ComparativeTrial && v <= 0.5 ? std::floor(q.N * v) : v;
            q.MEN = first(mens_);
            q.test = first(tests_);
            DrawSummaryChart(q);
        } else {
            view_.ShowMessage("The analysis that you have requested has not been programmed");
        }
        view_.WaitForGoBack();
        view_.ShowSummaryChartWindow(false);
        view_.ShowSpecificationWindow(true);
        return {};
    }

    RunOutcome EvaluateAllPoints() {
        if (auto refusal = CheckPoints(rows_.values, !spec_.summaryOnly))
            return Refuse(refusal->message);
        if (auto error = PrepareDirectory()) {
            view_.ShowMessage(*error);
            return {RunOutcome::Status::Failed, *error};
        }

        const bool singlePoint = key_.empty() || key_ == "_Test";
        const bool pause = spec_.chkPause || singlePoint;
        const std::size_t nN = numbers_.values.size(), nP = cols_.values.size(),
                          nR = rows_.values.size(), nM = mens_.values.size();
        const std::uint64_t totalPoints = static_cast<std::uint64_t>(nN) * nP * nR * nM;
        std::uint64_t pointsDone = 0;
        view_.SetBusy(true);
        view_.Progress("Evaluation points", 0, totalPoints);
        for (std::size_t iN = 0; iN < nN; ++iN)
            for (std::size_t iP = 0; iP < nP; ++iP)
                for (std::size_t iR = 0; iR < nR; ++iR)
                    for (std::size_t iM = 0; iM < nM; ++iM) {
                        if (view_.StopRequested())
                            return Stop();
                        const double N = numbers_.values[iN];
                        if (!prechecked_)
                            if (auto refusal =
                                    CheckPoint(N, rows_.values[iR], !spec_.summaryOnly, available_))
                                return RefuseDuringRun(refusal->message);
                        const EvaluationPoint point = MakePoint(
                            N, cols_.values[iP], RowFor(N, rows_.values[iR]), mens_.values[iM]);
                        view_.SetChartBusy(true);
                        const std::optional<PointEvaluation> ev =
                            EvaluatePoint(point, Options(!spec_.summaryOnly, true));
                        if (!ev)
                            return Stop();
                        if (!spec_.summaryOnly)
                            if (auto error = WriteResultsFile(spec_.dataDirectory, *ev, texts_,
                                                              WritingProgress()))
                                return Fail(*error);
                        for (const std::string& line : SummaryLines(*ev, texts_.summaryDate)) {
                            if (auto error = AppendSummaryLine(spec_.dataDirectory, line))
                                return Fail(*error);
                            view_.SummaryLineAppended(line);
                        }

                        std::string completion;
                        if (iN + 1 == nN && nN > 1)
                            completion += "_Number";
                        if (iP + 1 == nP && nP > 1)
                            completion += "_Pcol";
                        if (iR + 1 == nR && nR > 1)
                            completion += "_Prow";
                        if (iM + 1 == nM && nM > 1)
                            completion += "_MEN";
                        if (const auto due = SummaryChartDue(key_, completion)) {
                            SummaryChartQuery q = Query(due->xField, due->seriesField,
                                                        due->axisLabel, due->seriesLabel);
                            q.N = N;
                            q.pCol = point.pCol;
                            q.rowValue = point.row;
                            q.MEN = point.MEN;
                            q.test = point.tests.back();
                            DrawSummaryChart(q);
                        }

                        view_.ShowSpecificationWindow(false);
                        view_.ShowChartWindow(true);
                        view_.DrawCumulativeChart(
                            {*ev, CaptionLine(point, texts_, false), singlePoint});
                        view_.SetChartBusy(false);
                        view_.Progress("Evaluation points", ++pointsDone, totalPoints);
                        if (pause)
                            view_.WaitForNextChart();
                    }
        view_.ShowChartWindow(false);
        view_.ShowSummaryChartWindow(true);
        view_.WaitForGoBack();
        view_.ShowSummaryChartWindow(false);
        view_.ShowSpecificationWindow(true);
        view_.SetBusy(false);
        return {};
    }

    RunOutcome CompareTwoTests() {
        const std::vector<double> firstRow{rows_.values.front()};
        if (auto refusal = CheckPoints(firstRow, true))
            return Refuse(refusal->message);
        if (auto error = PrepareDirectory()) {
            view_.ShowMessage(*error);
            return {RunOutcome::Status::Failed, *error};
        }
        const std::vector<int> tests = TestList();
        const int first = tests[0], second = tests[1];
        view_.SetBusy(true);
        for (double N : numbers_.values) {
            if (view_.StopRequested())
                return Stop();
            if (!prechecked_)
                if (auto refusal = CheckPoint(N, firstRow.front(), true, available_))
                    return RefuseDuringRun(refusal->message);
            EvaluationPoint point = MakePoint(N, cols_.values.front(), RowFor(N, firstRow.front()),
                                              mens_.values.front());
            const std::optional<PointEvaluation> ev =
                EvaluatePoint(point, Options(!spec_.summaryOnly, false));
            if (!ev)
                return Stop();
            if (!spec_.summaryOnly)
                if (auto error = WriteResultsFileSection1(spec_.dataDirectory, *ev, texts_,
                                                          WritingProgress()))
                    return Fail(*error);

            std::string caption =
                texts_.captionDate + "       N =" + S(N) + "       " + DesignName(spec_.design);
            if (spec_.design == ComparativeTrial)
                caption += "       m (number in row 1) =" + S(point.row);
            caption += "       tests: " + spec_.txtTest + "       MEN =" + S(point.MEN) +
                       "       MMT =" + S(mmt_);
            view_.ShowSpecificationWindow(false);
            view_.ShowChartWindow(true);
            const TwoTestScatter scatter = MakeTwoTestScatter(*ev, first, second, caption);
            view_.DrawScatter(scatter);
            view_.ShowComparisonMessage(ComparisonMessage(
                scatter.counts, first, second, spec_.dataDirectory / ComparisonsFileName));
            if (auto error = AppendComparison(
                    spec_.dataDirectory,
                    ComparisonsFileLine(texts_.summaryDate, point, first, second, scatter.counts)))
                return Fail(*error);
            view_.WaitForNextChart();
        }
        view_.ShowChartWindow(false);
        view_.ShowSpecificationWindow(true);
        view_.SetBusy(false);
        return {};
    }

    const ParticularSpecification& spec_;
    ParticularView& view_;
    PointTexts texts_;
    ListValues numbers_, tests_, cols_, rows_, mens_;
    double interval_ = 0, mmt_ = 1, parameter_ = 0.05;
    bool noCalculation_ = false;
    std::string key_;
    bool prechecked_ = true;
    std::optional<std::uint64_t> available_;
};

} // namespace

RunOutcome RunParticularStudy(const ParticularSpecification& spec, ParticularView& view) {
    return Run(spec, view).Execute();
}

} // namespace quillon
