#include "power/run.h"

#include "core/designs.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/numtext.h"
#include "power/result_files.h"
#include "study/fields.h"
#include "study/loop.h"
#include "study/plan.h"
#include "study/study_run.h"

#include <algorithm>
#include <cmath>
#include <map>
#include <memory>
#include <optional>

namespace quillon {

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}

constexpr const char* RowName = "Pop. prop. / number in row 1";

// The number m in row 1 of a comparative trial from a row value: a proportion strictly
// between 0 and 1 (m = Int(N v)) or a whole number from 1 to N - 1. Both rows must hold a
// subject, or no test can compare them.
std::optional<Refusal> RowNumber(double v, double N, double& m) {
    const std::string start = "The value '" + S(v) + "' is invalid.  For '" + RowName + "', ";
    if (v <= 0)
        return Refusal{start + "you must enter a decimal strictly between 0 and 1, or an integer."};
    if (v < 1) {
        m = RowNumberOfProportion(N, v);
        if (m < 1 || m > N - 1)
            return Refusal{start + "with a total number of" + S(N) +
                           " the proportion leaves a row without subjects."};
        return std::nullopt;
    }
    if (v > N - 1)
        return Refusal{start + "you must enter a decimal strictly between 0 and 1, or an integer "
                               "of up to the total number less 1."};
    m = v;
    return std::nullopt;
}

// The value of the Row1 field for a row value at one N, as the summary file writes it.
double RowFieldFor(DesignCode design, double N, double v) {
    double row = v;
    if (design == ComparativeTrial)
        (void)RowNumber(v, N, row);
    return row;
}

// The power study as the run skeleton takes it: fields, the chart of earlier data, the
// evaluation of each combination, and at the end the chart over every N (or p2) and the
// sample sizes.
class PowerStudy final : public StudyDescription {
public:
    PowerStudy(const PowerSpecification& spec, PowerSink& sink) : spec_(spec), sink_(sink) {
        fields_ = FieldReader(spec.reading);
        captionDate_ = spec.clock.CaptionDate();
        summaryDate_ = spec.clock.SummaryDate();
    }

    std::string_view Name() const override { return "power"; }

    std::optional<Refusal> ReadFields() override {
        const bool trial = spec_.design == ComparativeTrial;
        using D = Dimension;
        const ListRule numberRule{"Total number", 4, 10000, WholeRule::All, {}};
        const ListRule rowRule = trial ? ListRule{RowName, 0, 10000, WholeRule::FromOne, {}}
                                       : ListRule{RowName, 0, 1, WholeRule::None, {}};
        const ListRule p1Rule{"Proportion in column 1, row 1", 0, 1, WholeRule::None, {}};
        const ListRule p2Rule{"Proportion in column 1, row 2", 0, 1, WholeRule::None, {}};
        const ListRule testRule = TestListRule();
        const ListRule menRule{{}, 0, 0, WholeRule::None, "Minimum expected number"};
        if (auto r = fields_.List(D::Number, spec_.txtNumber, numberRule, numbers_))
            return r;
        if (auto r = fields_.List(D::PRow, spec_.txtRow, rowRule, rows_))
            return r;
        if (!trial)
            for (double v : rows_.values)
                if (v <= 0 || v >= 1)
                    return Refusal{"The value '" + S(v) + "' is invalid.  For '" + RowName +
                                   "', you must enter a decimal strictly between 0 and 1."};
        if (auto r = fields_.List(D::P1, spec_.txtP1, p1Rule, p1s_))
            return r;
        if (auto r = fields_.List(D::P2, spec_.txtP2, p2Rule, p2s_))
            return r;
        if (auto r = fields_.List(D::Test, spec_.txtTest, testRule, tests_))
            return r;
        if (auto r = fields_.List(D::MEN, spec_.txtMEN, menRule, mens_))
            return r;
        if (auto r = ReadSingleValue(spec_.txtMMT, 1, 10000, "Minimum marginal total", mmt_,
                                     fields_.reading()))
            return r;
        if (auto r = ReadSingleValue(spec_.txtAlpha, 0, 1, "Significance level", alpha_,
                                     fields_.reading()))
            return r;
        return ReadSingleValue(spec_.txtTarget, 0, 1, "Target power", target_, fields_.reading());
    }

    std::optional<SummaryChartData> EarlierDataChart(DimensionSet varying) override {
        if (!varying.Has(Dimension::Number) && !varying.Has(Dimension::P2))
            return std::nullopt;
        ChartQuery q;
        q.N = numbers_.FirstOr(0);
        q.row = rows_.FirstOr(0);
        q.p1 = p1s_.FirstOr(0);
        q.p2 = p2s_.FirstOr(0);
        q.MEN = mens_.FirstOr(0);
        q.tests = tests_.asterisk ? std::vector<int>{} : DistinctTests();
        q.xField = varying.Has(Dimension::Number) ? FieldN : FieldP2;
        return SelectChart(q);
    }

    // Every pair of N and row value is checked before anything is computed, so a run is
    // refused at once rather than part way through.
    std::optional<Refusal> CheckPlan(std::optional<std::uint64_t> available) override {
        for (double N : numbers_.values)
            for (double v : rows_.values) {
                double row = v;
                if (spec_.design == ComparativeTrial)
                    if (auto refusal = RowNumber(v, N, row))
                        return refusal;
                const PowerPoint point = MakePoint(N, row, 0.5, 0.5, 0);
                if (auto message = PowerMemoryRefusal(point, !spec_.summaryOnly, available))
                    return Refusal{*message};
            }
        return std::nullopt;
    }

    Plan MakePlan() override {
        using D = Dimension;
        return Plan({{D::Number, numbers_.values.size()},
                     {D::PRow, rows_.values.size()},
                     {D::P1, p1s_.values.size()},
                     {D::P2, p2s_.values.size()},
                     {D::MEN, mens_.values.size()}});
    }

    ProgressStage Stage() const override { return ProgressStage::Combinations; }

    PlanSteps Steps(const Plan& plan) override {
        power_.assign(plan.Count(), {});
        PlanSteps steps;
        steps.compute = [this, &plan](std::uint64_t index) {
            return ComputeCombination(plan, index);
        };
        steps.memory = [this, &plan](std::uint64_t index) {
            return static_cast<double>(
                EstimatePowerMemory(PointAt(plan, index), !spec_.summaryOnly).bytes);
        };
        steps.cost = [this, &plan](std::uint64_t index) {
            return static_cast<double>(EstimatePowerMemory(PointAt(plan, index), false).tables);
        };
        steps.summaryLines = [this] { return linesWritten_; };
        return steps;
    }

    // The specifications as read, for the fingerprint of a shard's plan. The target power
    // is left out: it changes no summary record.
    std::string NormalisedPlan() const override {
        return "design " + S(DesignNumber(spec_.design)) + "; N " + numbers_.PlanText() + "; row " +
               rows_.PlanText() + "; p1 " + p1s_.PlanText() + "; p2 " + p2s_.PlanText() +
               "; tests " + tests_.PlanText() + "; MEN " + mens_.PlanText() + "; MMT " + S(mmt_) +
               "; alpha " + S(alpha_);
    }

    std::string SummaryFileName() const override { return std::string(PowerSummaryFileName); }
    // A line a test and combination, of about 65 bytes.
    RunSize Size(const Plan& plan) const override {
        return EstimateRunSize(plan.Count(), tests_.values.size(), 65, SummaryFileName());
    }

    // The chart and the sample sizes need every N of the plan; a shard holds only its
    // share of them, so it shows neither (the merged summary file holds them all).
    std::optional<StudyOutcome> Finish(const Plan& plan, bool shard) override {
        if (shard)
            return std::nullopt;
        ShowCharts(plan, false);
        if (numbers_.Varies())
            sink_.SampleSizesFound(SampleSizeRows(plan));
        return std::nullopt;
    }

    // A stopped run charts the combinations it completed; a line cut short ends at the last
    // N (or p2) computed.
    void ChartWhatCompleted(const Plan& plan) override { ShowCharts(plan, true); }

private:
    std::vector<int> TestList() const { return tests_.WholeValues(); }

    std::vector<int> DistinctTests() const { return quillon::DistinctTests(TestList()); }

    PowerPoint MakePoint(double N, double row, double p1, double p2, double men) const {
        PowerPoint point;
        point.design = spec_.design;
        point.N = static_cast<std::int64_t>(N);
        point.row = row;
        point.p1 = p1;
        point.p2 = p2;
        point.MEN = men;
        point.MMT = mmt_;
        point.tests = TestList();
        point.alpha = alpha_;
        return point;
    }

    PowerOptions Options() {
        PowerOptions options;
        options.allTestColumns = !spec_.summaryOnly;
        options.summaryOnly = spec_.summaryOnly;
        options.threads = spec_.threads;
        options.reuse = reuse_;
        options.progress = [this](ProgressStage stage, std::uint64_t done, std::uint64_t total) {
            sink_.Progress(stage, done, total);
            return !sink_.StopRequested();
        };
        return options;
    }

    // The charts of power against N, or against p2 when N does not vary (none when neither
    // varies): one chart for each combination of the other lists, in plan order, one line a
    // test. `completedOnly`: only the charts with a combination completed.
    void ShowCharts(const Plan& plan, bool completedOnly) {
        if (!numbers_.Varies() && !p2s_.Varies())
            return;
        const int xField = numbers_.Varies() ? FieldN : FieldP2;
        const std::vector<PowerSummaryRecord> records = ReadPowerSummaryFile(spec_.dataDirectory);
        std::vector<std::vector<double>> shown;
        for (std::uint64_t index = 0; index < plan.Count(); ++index) {
            if (completedOnly && power_[index].empty())
                continue;
            const std::vector<std::size_t> at = plan.Positions(index);
            ChartQuery q;
            q.xField = xField;
            q.N = numbers_.values[at[0]];
            q.row = rows_.values[at[1]];
            q.p1 = p1s_.values[at[2]];
            q.p2 = p2s_.values[at[3]];
            q.MEN = mens_.values[at[4]];
            q.tests = DistinctTests();
            // The chart's own values: all but the one along its axis.
            std::vector<double> key{q.row, q.p1, q.MEN, xField == FieldN ? q.p2 : q.N};
            if (std::find(shown.begin(), shown.end(), key) != shown.end())
                continue;
            shown.push_back(std::move(key));
            if (completedOnly)
                ShowSummaryChartIfAny(sink_, SelectChart(records, q));
            else
                ShowSummaryChart(sink_, SelectChart(records, q));
        }
    }

    // The chart of power against N (xField FieldN) or p2 (FieldP2), one line per test, from
    // the records of the summary file that match the other values as the file writes them;
    // a record written again later replaces the earlier one of the same x and test.
    struct ChartQuery {
        int xField = FieldN;
        double N = 0, row = 0, p1 = 0, p2 = 0, MEN = 0;
        std::vector<int> tests; // empty: every test
    };

    SummaryChartData SelectChart(const ChartQuery& q) const {
        return SelectChart(ReadPowerSummaryFile(spec_.dataDirectory), q);
    }
    SummaryChartData SelectChart(const std::vector<PowerSummaryRecord>& records,
                                 const ChartQuery& q) const {
        std::map<std::pair<double, double>, double> latest;
        for (const PowerSummaryRecord& r : records) {
            if (r.text[FieldMethod] != S(DesignNumber(spec_.design)) ||
                r.text[FieldMMT] != S(mmt_) || r.text[FieldAlpha] != S(alpha_) ||
                r.text[FieldP1] != S(q.p1) || r.text[FieldMEN] != S(q.MEN))
                continue;
            if (q.xField == FieldN) {
                if (r.text[FieldP2] != S(q.p2) ||
                    r.text[FieldRow1] != S(RowFieldFor(spec_.design, r.field[FieldN], q.row)))
                    continue;
            } else if (r.text[FieldN] != S(q.N) ||
                       r.text[FieldRow1] != S(RowFieldFor(spec_.design, q.N, q.row))) {
                continue;
            }
            const int test = static_cast<int>(r.field[FieldTest]);
            if (!q.tests.empty() &&
                std::find(q.tests.begin(), q.tests.end(), test) == q.tests.end())
                continue;
            latest[{r.field[q.xField], r.field[FieldTest]}] = r.field[FieldPower];
        }
        SummaryChartData data;
        for (const auto& [key, power] : latest) {
            data.x.push_back(key.first);
            data.series.push_back(key.second);
            data.y.push_back(power);
        }
        data.axisLabel = q.xField == FieldN ? "N" : "p2";
        data.seriesLabel = "Test";
        data.seriesAreTests = true;
        data.referenceValue = target_;
        data.title = captionDate_ + "       Power       " +
                     std::string(DesignOf(spec_.design).inSentence) + "       row 1 =" + S(q.row) +
                     "       p1 =" + S(q.p1) +
                     (q.xField == FieldN ? "       p2 =" + S(q.p2) : "       N =" + S(q.N)) +
                     "       MEN =" + S(q.MEN) + "       MMT =" + S(mmt_) +
                     "       alpha =" + S(alpha_) + "       target power =" + S(target_);
        return data;
    }

    PowerPoint PointAt(const Plan& plan, std::uint64_t index) const {
        const std::vector<std::size_t> at = plan.Positions(index);
        const double N = numbers_.values[at[0]];
        return MakePoint(N, RowFieldFor(spec_.design, N, rows_.values[at[1]]), p1s_.values[at[2]],
                         p2s_.values[at[3]], mens_.values[at[4]]);
    }

    // The evaluation of one combination, on a worker when it is computed ahead; what it
    // writes and shows waits for the deliver step, in the plan's order.
    DeliverStep ComputeCombination(const Plan& plan, std::uint64_t index) {
        const PowerPoint point = PointAt(plan, index);
        auto ev = std::make_shared<std::optional<PowerEvaluation>>(EvaluatePower(point, Options()));
        return [this, &plan, index, ev]() -> std::optional<StudyOutcome> {
            return DeliverCombination(plan, index, *ev);
        };
    }

    std::optional<StudyOutcome> DeliverCombination(const Plan& plan, std::uint64_t index,
                                                   const std::optional<PowerEvaluation>& ev) {
        if (!ev)
            return StudyOutcome{StudyStatus::Stopped, ""};
        const std::vector<std::size_t> at = plan.Positions(index);
        const std::string caption = PowerCaption(ev->point, ev->pooled, captionDate_);
        if (!spec_.summaryOnly)
            if (auto error = WritePowerResultsFile(
                    spec_.dataDirectory, *ev, caption,
                    [this](std::uint64_t lines, std::uint64_t total) {
                        sink_.Progress(ProgressStage::WritingResults, lines, total);
                    }))
                return FailRun(sink_, *error);
        for (const std::string& line : PowerSummaryCodec::Format(*ev, summaryDate_)) {
            if (auto error = AppendPowerSummaryLine(spec_.dataDirectory, line))
                return FailRun(sink_, *error);
            ++linesWritten_;
            sink_.SummaryLine(line);
        }
        for (const PowerTestResult& r : ev->results)
            power_[index].push_back(r.power);
        sink_.CombinationEvaluated({*ev, caption, rows_.values[at[1]], target_});
        return std::nullopt;
    }

    // Per distinct test (in list order), per combination of the other lists (in plan order):
    // the sample sizes over the N of the list.
    std::vector<SampleSizeRow> SampleSizeRows(const Plan& plan) const {
        const std::vector<int> tests = DistinctTests();
        const std::uint64_t others = plan.Count() / numbers_.values.size();
        std::vector<SampleSizeRow> rows;
        for (std::size_t t = 0; t < tests.size(); ++t)
            for (std::uint64_t o = 0; o < others; ++o) {
                std::vector<double> power;
                for (std::size_t n = 0; n < numbers_.values.size(); ++n)
                    power.push_back(power_[n * others + o][t]);
                const std::vector<std::size_t> at = plan.Positions(o);
                SampleSizeRow row;
                row.test = tests[t];
                row.row = rows_.values[at[1]];
                row.p1 = p1s_.values[at[2]];
                row.p2 = p2s_.values[at[3]];
                row.MEN = mens_.values[at[4]];
                row.target = target_;
                row.sizes = FindSampleSizes(numbers_.values, power, target_);
                rows.push_back(row);
            }
        return rows;
    }

    const PowerSpecification& spec_;
    PowerSink& sink_;
    std::string captionDate_, summaryDate_;
    ListField numbers_, rows_, p1s_, p2s_, tests_, mens_;
    double mmt_ = 1, alpha_ = 0.05, target_ = 0.8;
    // The power of each distinct test at each combination, by plan index.
    std::vector<std::vector<double>> power_;
    std::uint64_t linesWritten_ = 0;
    // The P values and orders of the latest pass, for combinations that share it.
    std::shared_ptr<PValueReuse> reuse_ = std::make_shared<PValueReuse>();
};

} // namespace

StudyOutcome RunPowerStudy(const PowerSpecification& spec, PowerSink& sink) {
    PowerStudy study(spec, sink);
    return RunStudy(study, {spec.dataDirectory, spec.jobs, spec.shard}, sink);
}

} // namespace quillon
