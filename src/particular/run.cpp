#include "particular/run.h"

#include "core/designs.h"
#include "core/files.h"
#include "core/memory.h"
#include "core/numtext.h"
#include "particular/result_files.h"
#include "study/fields.h"
#include "study/loop.h"
#include "study/study_run.h"

#include <cmath>
#include <memory>
#include <utility>
#include <vector>

namespace quillon {

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}

// The number m in row 1 of a comparative trial from a row value: a proportion up to .5,
// or a whole number up to N / 2.
std::optional<Refusal> RowNumber(double v, double N, double& m) {
    const std::string start = "The value '" + S(v) +
                              "' is invalid.  For 'Pop. prop. / number in row 1', you must "
                              "enter a ";
    if (v <= 0.5) {
        m = RowNumberOfProportion(N, v);
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

std::optional<SummaryChartChoice> EarlierDataChart(DimensionSet varying) {
    using D = Dimension;
    struct Rule {
        DimensionSet key;
        SummaryChartChoice choice;
    };
    static const Rule rules[] = {
        {{D::Number}, {3, 0, "N", ""}},
        {{D::Number, D::Test}, {3, 8, "N", "Test"}},
        {{D::Number, D::MEN}, {3, 9, "N", "MEN"}},
        {{D::Test, D::PCol}, {4, 8, "pi(col)", "Test"}},
        {{D::PCol, D::MEN}, {4, 9, "pi(col)", "MEN"}},
        {{D::PCol}, {4, 0, "pi(col)", ""}},
    };
    for (const Rule& r : rules)
        if (varying == r.key)
            return r.choice;
    return std::nullopt;
}

namespace {

// The chart of a run whose lists vary as `key`, due when the lists that have reached their
// last value are `when1` or `when2`.
struct DueRule {
    DimensionSet key;
    DimensionSet when1;
    std::optional<DimensionSet> when2;
    SummaryChartChoice choice;
};

const DueRule* FindDueRule(DimensionSet varying) {
    using D = Dimension;
    using Rule = DueRule;
    static const Rule rules[] = {
        {{D::Number}, {}, DimensionSet{D::Number}, {3, 0, "N", ""}},
        {{D::Number, D::Test}, {}, DimensionSet{D::Number}, {3, 8, "N", "Test"}},
        {{D::Number, D::Test, D::PCol},
         {D::PCol},
         DimensionSet{D::Number, D::PCol},
         {4, 8, "pi (col)", "Test"}},
        {{D::Number, D::PCol}, {D::PCol}, DimensionSet{D::Number, D::PCol}, {4, 0, "pi (col)", ""}},
        {{D::Number, D::PCol, D::MEN},
         {D::PCol, D::MEN},
         DimensionSet{D::Number, D::PCol, D::MEN},
         {4, 9, "pi (col)", "MEN"}},
        {{D::Number, D::MEN}, {D::MEN}, DimensionSet{D::Number, D::MEN}, {3, 9, "N", "MEN"}},
        {{D::Test, D::PCol}, {D::PCol}, std::nullopt, {4, 8, "pi (col)", "Test"}},
        // Each row value's chart once its sweep over pi(col) is done, not the last row's alone.
        {{D::Test, D::PCol, D::PRow},
         {D::PCol},
         DimensionSet{D::PCol, D::PRow},
         {4, 8, "pi (col)", "Test"}},
        {{D::PCol}, {D::PCol}, std::nullopt, {4, 0, "pi (col)", ""}},
        {{D::PCol, D::MEN}, {D::MEN}, DimensionSet{D::PCol, D::MEN}, {4, 9, "pi (col)", "MEN"}},
        {{D::MEN}, {}, DimensionSet{D::MEN}, {9, 0, "MEN", ""}},
    };
    for (const Rule& r : rules)
        if (varying == r.key)
            return &r;
    return nullptr;
}

// The lists the rules above leave out (a row value, or tests and MENs, varying besides the
// chart's own): pi(col) along the axis when it varies, else N, else MEN; a line a test when
// the tests vary, else a line a MEN; one chart for each value of every other list. None
// when neither pi(col), N nor MEN varies.
std::optional<SummaryChartChoice> OtherListsChart(DimensionSet varying) {
    using D = Dimension;
    SummaryChartChoice choice;
    if (varying.Has(D::PCol))
        choice = {4, 0, "pi (col)", ""};
    else if (varying.Has(D::Number))
        choice = {3, 0, "N", ""};
    else if (varying.Has(D::MEN))
        choice = {9, 0, "MEN", ""};
    else
        return std::nullopt;
    if (varying.Has(D::Test)) {
        choice.seriesField = 8;
        choice.seriesLabel = "Test";
    } else if (varying.Has(D::MEN) && choice.xField != 9) {
        choice.seriesField = 9;
        choice.seriesLabel = "MEN";
    }
    return choice;
}

// Such a chart is due once the points of its axis are done for the values of the other
// lists at hand: after each sweep over pi(col) or the MENs (the lists inside them run
// through their values at the sweep's last value, each completing its own chart), and
// after every point along N, the outermost list, so the lines grow point by point.
bool OtherListsChartDue(const SummaryChartChoice& choice, DimensionSet completed) {
    switch (choice.xField) {
    case 4:
        return completed.Has(Dimension::PCol);
    case 9:
        return completed.Has(Dimension::MEN);
    default:
        return true;
    }
}

} // namespace

std::optional<SummaryChartChoice> SummaryChartDue(DimensionSet varying, DimensionSet completed) {
    if (const DueRule* r = FindDueRule(varying)) {
        if (completed == r->when1 || (r->when2 && completed == *r->when2))
            return r->choice;
        return std::nullopt;
    }
    const std::optional<SummaryChartChoice> other = OtherListsChart(varying);
    if (other && OtherListsChartDue(*other, completed))
        return other;
    return std::nullopt;
}

std::optional<SummaryChartChoice> RunSummaryChart(DimensionSet varying) {
    if (const DueRule* r = FindDueRule(varying))
        return r->choice;
    return OtherListsChart(varying);
}

std::string TwoTestQuestionText() {
    return std::string("You have chosen two tests.  If you wish, you can be shown a "
                       "scatter diagram comparing the P values by ") +
           "the two tests for all possible sample tables (together with a summary of "
           "significant tables).  " +
           "\r\n" + "Do you want to see the scatter diagram rather than the " +
           "cumulative frequency charts?";
}

namespace {

// The particular study as the run skeleton takes it: fields, the chart of earlier data,
// the question of a comparison of two tests, and the evaluation of each point (or the
// comparison at each N).
class ParticularStudy final : public StudyDescription {
public:
    ParticularStudy(const ParticularSpecification& spec, ParticularSink& sink)
        : spec_(spec), sink_(sink) {
        fields_ = FieldReader(spec.reading);
        texts_.captionDate = spec.clock.CaptionDate();
        texts_.summaryDate = spec.clock.SummaryDate();
        texts_.testsText = spec.txtTest;
    }

    std::string_view Name() const override { return "particular"; }

    std::optional<Refusal> ReadFields() override {
        const bool trial = spec_.design == ComparativeTrial;
        using D = Dimension;
        // A test number must be whole: 1.5 names no test (and would be read as another).
        const ListRule numberRule{"Total number", 4, 10000, WholeRule::All, {}};
        const ListRule testRule = TestListRule();
        const ListRule colRule{"Population proportion in column 1", 0, 0.5, WholeRule::None, {}};
        const ListRule rowRule =
            trial ? ListRule{"Pop. prop. / number in row 1", 0, 100000, WholeRule::FromOne, {}}
                  : ListRule{"Population proportion in row 1", 0, 0.5, WholeRule::None, {}};
        const ListRule menRule{{}, 0, 0, WholeRule::None, "Minimum expected number"};
        if (auto r = fields_.List(D::Number, spec_.txtNumber, numberRule, numbers_))
            return r;
        if (auto r = fields_.List(D::Test, spec_.txtTest, testRule, tests_))
            return r;
        if (auto r = fields_.List(D::PCol, spec_.txtP_col, colRule, cols_))
            return r;
        if (auto r = fields_.List(D::PRow, spec_.txtP_row, rowRule, rows_))
            return r;
        if (auto r = ReadSingleValue(spec_.txtInterval, 0, 0.1, "Population proportion interval",
                                     interval_, fields_.reading()))
            return r;
        if (auto r = ReadSingleValue(spec_.txtMMT, 1, 10000, "Minimum marginal total", mmt_,
                                     fields_.reading()))
            return r;
        if (auto r = ReadSingleValue(spec_.txtParameter, 0, 1, "Parameter", parameter_,
                                     fields_.reading()))
            return r;
        return fields_.List(D::MEN, spec_.txtMEN, menRule, mens_);
    }

    std::optional<SummaryChartData> EarlierDataChart(DimensionSet varying) override {
        const auto choice = quillon::EarlierDataChart(varying);
        if (!choice)
            return std::nullopt;
        SummaryChartQuery q = Query(*choice);
        q.N = numbers_.FirstOr(0);
        q.pCol = cols_.FirstOr(0);
        q.rowValue = RowFor(q.N, rows_.FirstOr(0));
        q.MEN = mens_.FirstOr(0);
        q.test = tests_.FirstOr(0);
        return SelectSummaryChart(ReadSummaryFile(spec_.dataDirectory), q);
    }

    std::optional<RunKind> ChooseCalculation() override {
        const DimensionSet varying = fields_.Varying();
        if ((varying == DimensionSet{Dimension::Test} ||
             varying == DimensionSet{Dimension::Number, Dimension::Test}) &&
            tests_.values.size() == 2) {
            switch (sink_.Ask(Question::TwoTestScatter, TwoTestQuestionText())) {
            case Answer::Cancel:
                return std::nullopt;
            case Answer::Yes:
                comparison_ = true;
                return RunKind::Comparison;
            case Answer::No:
                break;
            }
        }
        return RunKind::Combinations;
    }

    // A comparison is one chart per N, not records to merge: it is not split.
    std::optional<std::string> ShardRefusal() const override {
        if (comparison_)
            return "A comparison of two tests is not split into shards; run it without --shard";
        return std::nullopt;
    }

    // Every pair of N and row value is checked before anything is computed, so a run is
    // refused at once rather than part way through. Lists so long that the pairs would
    // take long to check are checked point by point instead, just before each is computed.
    // A comparison uses the first row value only, with every test's column.
    std::optional<Refusal> CheckPlan(std::optional<std::uint64_t> available) override {
        available_ = available;
        if (comparison_)
            rows_.values.resize(1);
        const bool allTestColumns = comparison_ || !spec_.summaryOnly;
        prechecked_ = static_cast<double>(numbers_.values.size()) *
                          static_cast<double>(rows_.values.size()) <=
                      1e6;
        if (!prechecked_)
            return std::nullopt;
        for (double N : numbers_.values)
            for (double v : rows_.values)
                if (auto refusal = CheckPoint(N, v, allTestColumns))
                    return refusal;
        return std::nullopt;
    }

    Plan MakePlan() override {
        using D = Dimension;
        if (comparison_)
            return Plan({{D::Number, numbers_.values.size()}});
        return Plan({{D::Number, numbers_.values.size()},
                     {D::PCol, cols_.values.size()},
                     {D::PRow, rows_.values.size()},
                     {D::MEN, mens_.values.size()}});
    }

    ProgressStage Stage() const override {
        return comparison_ ? ProgressStage::Comparisons : ProgressStage::EvaluationPoints;
    }

    PlanSteps Steps(const Plan& plan) override {
        PlanSteps steps;
        if (comparison_) {
            const std::vector<int> tests = TestList();
            steps.compute = [this, tests](std::uint64_t index) -> DeliverStep {
                return [this, tests, index] {
                    return CompareAt(numbers_.values[index], rows_.values.front(), tests[0],
                                     tests[1]);
                };
            };
            return steps;
        }
        steps.compute = [this, &plan](std::uint64_t index) {
            return ComputeCombination(plan, index);
        };
        steps.memory = [this, &plan](std::uint64_t index) {
            return static_cast<double>(
                EstimateEvaluationMemory(PointAt(plan, index, 0), !spec_.summaryOnly).bytes);
        };
        steps.cost = [this, &plan](std::uint64_t index) {
            return static_cast<double>(
                EstimateEvaluationMemory(PointAt(plan, index, 0), false).tables);
        };
        steps.summaryLines = [this] { return linesWritten_; };
        return steps;
    }

    // The specifications as read, for the fingerprint of a shard's plan.
    std::string NormalisedPlan() const override {
        return "design " + S(DesignNumber(spec_.design)) + "; N " + numbers_.PlanText() +
               "; tests " + tests_.PlanText() + "; pi(col) " + cols_.PlanText() + "; row " +
               rows_.PlanText() + "; interval " + S(interval_) + "; MEN " + mens_.PlanText() +
               "; MMT " + S(mmt_) + "; parameter " + S(parameter_);
    }

    std::string SummaryFileName() const override { return std::string(ParticularSummaryFileName); }
    // A line a test and point, of about 70 bytes (proportions to two or three places).
    RunSize Size(const Plan& plan) const override {
        return EstimateRunSize(plan.Count(), tests_.values.size(), 70, SummaryFileName());
    }

    // The charts whose points were computed after they were last drawn (a sweep over
    // pi(col) cut short, for each row value inside it): drawn with the points they have.
    void ChartWhatCompleted(const Plan&) override {
        if (comparison_)
            return;
        if (const auto chart = RunSummaryChart(fields_.Varying()))
            for (const UndrawnChart& undrawn : undrawn_)
                ShowSummaryChartIfAny(sink_, ChartOfPoint(*chart, undrawn.point, undrawn.rowValue));
    }

private:
    std::vector<int> TestList() const { return tests_.WholeValues(); }

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

    // The point of combination `index`, with the MEN given (the estimates use 0).
    EvaluationPoint PointAt(const Plan& plan, std::uint64_t index, double men) const {
        const std::vector<std::size_t> at = plan.Positions(index);
        const double N = numbers_.values[at[0]];
        return MakePoint(N, cols_.values[at[1]], RowFor(N, rows_.values[at[2]]), men);
    }

    // The refusal of one pair of N and row value: a row value that the comparative trial
    // cannot use with this N, or a point too large for the memory.
    std::optional<Refusal> CheckPoint(double N, double v, bool allTestColumns) const {
        double row = v;
        if (spec_.design == ComparativeTrial)
            if (auto refusal = RowNumber(v, N, row))
                return refusal;
        const EvaluationPoint point = MakePoint(N, cols_.values.front(), row, 0);
        if (auto message = MemoryRefusal(point, allTestColumns, available_))
            return Refusal{*message};
        return std::nullopt;
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
        options.summaryOnly = spec_.summaryOnly;
        options.threads = spec_.threads;
        options.reuse = reuse_;
        options.progress = [this](ProgressStage stage, std::uint64_t done, std::uint64_t total) {
            sink_.Progress(stage, done, total);
            return !sink_.StopRequested();
        };
        return options;
    }

    WriteProgress WritingProgress() {
        return [this](std::uint64_t lines, std::uint64_t total) {
            sink_.Progress(ProgressStage::WritingResults, lines, total);
        };
    }

    SummaryChartQuery Query(const SummaryChartChoice& choice) const {
        SummaryChartQuery q;
        q.design = spec_.design;
        q.MMT = mmt_;
        q.parameter = parameter_;
        q.txtP_row = spec_.txtP_row;
        q.txtTest = spec_.txtTest;
        q.xField = choice.xField;
        q.seriesField = choice.seriesField;
        q.axisLabel = choice.axisLabel;
        q.seriesLabel = choice.seriesLabel;
        q.summaryChartMode = spec_.summaryChartMode;
        q.captionDate = texts_.captionDate;
        return q;
    }

    // The evaluation of one combination, on a worker when it is computed ahead; what it
    // writes and shows waits for the deliver step, in the plan's order.
    DeliverStep ComputeCombination(const Plan& plan, std::uint64_t index) {
        const std::vector<std::size_t> at = plan.Positions(index);
        const double N = numbers_.values[at[0]];
        const double rowValue = rows_.values[at[2]];
        if (!prechecked_)
            if (auto refusal = CheckPoint(N, rowValue, !spec_.summaryOnly))
                return [this, message = refusal->message]() -> std::optional<StudyOutcome> {
                    return RefuseRun(sink_, message);
                };
        const EvaluationPoint point = PointAt(plan, index, mens_.values[at[3]]);
        auto ev = std::make_shared<std::optional<PointEvaluation>>(
            EvaluatePoint(point, Options(!spec_.summaryOnly, true)));
        return [this, &plan, index, point, ev]() -> std::optional<StudyOutcome> {
            return DeliverCombination(plan, index, point, *ev);
        };
    }

    std::optional<StudyOutcome> DeliverCombination(const Plan& plan, std::uint64_t index,
                                                   const EvaluationPoint& point,
                                                   const std::optional<PointEvaluation>& ev) {
        if (!ev)
            return StudyOutcome{StudyStatus::Stopped, ""};
        if (!spec_.summaryOnly)
            if (auto error = WriteResultsFile(spec_.dataDirectory, *ev, texts_, WritingProgress()))
                return FailRun(sink_, *error);
        for (const std::string& line : ParticularSummaryCodec::Format(*ev, texts_.summaryDate)) {
            if (auto error = AppendSummaryLine(spec_.dataDirectory, line))
                return FailRun(sink_, *error);
            ++linesWritten_;
            sink_.SummaryLine(line);
        }
        const DimensionSet varying = fields_.Varying();
        if (const auto chart = RunSummaryChart(varying)) {
            // The point's chart waits for its drawing until it is due; a stop draws those
            // still waiting.
            const double rowValue = rows_.values[plan.Positions(index)[2]];
            const std::vector<double> key = ChartKey(*chart, point, rowValue);
            std::erase_if(undrawn_, [&](const UndrawnChart& u) { return u.key == key; });
            if (const auto due = SummaryChartDue(varying, plan.Completed(index)))
                ShowSummaryChart(sink_, ChartOfPoint(*due, point, rowValue));
            else
                undrawn_.push_back({key, point, rowValue});
        }
        sink_.PointEvaluated({*ev, CaptionLine(point, texts_, false)});
        return std::nullopt;
    }

    // The values that tell `point`'s chart from the run's others: every list but the
    // chart's axis and lines (-1 in their place), the row value as typed.
    static std::vector<double> ChartKey(const SummaryChartChoice& choice,
                                        const EvaluationPoint& point, double rowValue) {
        const auto unless = [](bool charted, double value) { return charted ? -1.0 : value; };
        return {unless(choice.xField == 3, static_cast<double>(point.N)),
                unless(choice.xField == 4, point.pCol), rowValue,
                unless(choice.xField == 9 || choice.seriesField == 9, point.MEN)};
    }

    // The summary chart `choice` of the series `point` belongs to, from the summary file;
    // `rowValue` is the point's row value as typed (a proportion or a number in row 1).
    SummaryChartData ChartOfPoint(const SummaryChartChoice& choice, const EvaluationPoint& point,
                                  double rowValue) const {
        SummaryChartQuery q = Query(choice);
        // With several row values the chart is of this point's: a proportion in row 1 of a
        // comparative trial selects, and is named, by it rather than by the field's text.
        if (rows_.Varies()) {
            q.txtP_row = PlainNumberText(rowValue);
            if (!q.txtP_row.empty() && q.txtP_row.front() == ' ')
                q.txtP_row.erase(0, 1);
        }
        q.N = static_cast<double>(point.N);
        q.pCol = point.pCol;
        q.rowValue = point.row;
        q.MEN = point.MEN;
        q.test = point.tests.back();
        return SelectSummaryChart(ReadSummaryFile(spec_.dataDirectory), q);
    }

    std::optional<StudyOutcome> CompareAt(double N, double rowValue, int first, int second) {
        if (!prechecked_)
            if (auto refusal = CheckPoint(N, rowValue, true))
                return RefuseRun(sink_, refusal->message);
        EvaluationPoint point =
            MakePoint(N, cols_.values.front(), RowFor(N, rowValue), mens_.values.front());
        const std::optional<PointEvaluation> ev =
            EvaluatePoint(point, Options(!spec_.summaryOnly, false));
        if (!ev)
            return StudyOutcome{StudyStatus::Stopped, ""};
        if (!spec_.summaryOnly)
            if (auto error =
                    WriteResultsFileSection1(spec_.dataDirectory, *ev, texts_, WritingProgress()))
                return FailRun(sink_, *error);

        std::string caption = texts_.captionDate + "       N =" + S(N) + "       " +
                              std::string(DesignName(spec_.design));
        if (spec_.design == ComparativeTrial)
            caption += "       m (number in row 1) =" + S(point.row);
        caption += "       tests: " + spec_.txtTest + "       MEN =" + S(point.MEN) +
                   "       MMT =" + S(mmt_);
        const TwoTestScatter scatter = MakeTwoTestScatter(*ev, first, second, caption);
        sink_.ScatterReady(scatter);
        sink_.ComparisonSummary(ComparisonMessage(scatter.counts, first, second,
                                                  spec_.dataDirectory / ComparisonsFileName));
        if (auto error = AppendComparison(
                spec_.dataDirectory,
                ComparisonsFileLine(texts_.summaryDate, point, first, second, scatter.counts)))
            return FailRun(sink_, *error);
        return std::nullopt;
    }

    const ParticularSpecification& spec_;
    ParticularSink& sink_;
    PointTexts texts_;
    ListField numbers_, tests_, cols_, rows_, mens_;
    double interval_ = 0, mmt_ = 1, parameter_ = 0.05;
    bool comparison_ = false;
    bool prechecked_ = true;
    std::uint64_t linesWritten_ = 0;
    // The charts of the points delivered since each was last drawn, in the order they came:
    // the values that name the chart (those of the lists not along its axis or its lines)
    // and its latest point.
    struct UndrawnChart {
        std::vector<double> key;
        EvaluationPoint point;
        double rowValue = 0;
    };
    std::vector<UndrawnChart> undrawn_;
    std::optional<std::uint64_t> available_;
    // The P values and orders of the latest pass, for combinations that share it.
    std::shared_ptr<PValueReuse> reuse_ = std::make_shared<PValueReuse>();
};

} // namespace

StudyOutcome RunParticularStudy(const ParticularSpecification& spec, ParticularSink& sink) {
    ParticularStudy study(spec, sink);
    return RunStudy(study, {spec.dataDirectory, spec.jobs, spec.shard}, sink);
}

} // namespace quillon
