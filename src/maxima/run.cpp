#include "maxima/run.h"

#include "core/files.h"
#include "core/memory.h"
#include "core/numtext.h"
#include "core/tables.h"
#include "maxima/result_files.h"
#include "maxima/search.h"
#include "study/fields.h"
#include "study/loop.h"
#include "study/study_texts.h"

#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <tuple>

namespace quillon {

std::string MaximaSummaryHeader() {
    return "Date\tS_Meth.\tN\tn(row1)\tTest\tMEN\tMMT\tQuant.\tParam.\tAccur.\tValue\tAt "
           "p(col)\tAt "
           "p(row)\tTime";
}

std::optional<MaximaChartSelection::Lines>
MaximaSummaryChartDue(DimensionSet varying, DimensionSet completed, bool rowAllOrOverall) {
    using Lines = MaximaChartSelection::Lines;
    using D = Dimension;
    auto among = [&](std::initializer_list<DimensionSet> sets) {
        for (DimensionSet set : sets)
            if (completed == set)
                return true;
        return false;
    };
    if (varying == DimensionSet{D::Number} && among({{}, {D::Number}}))
        return Lines::Single;
    if (varying == DimensionSet{D::Number, D::Test} && among({{D::Test}, {D::Number, D::Test}}))
        return Lines::PerTest;
    if (varying == DimensionSet{D::Number, D::MEN} && among({{D::MEN}, {D::Number, D::MEN}}))
        return Lines::PerMEN;
    if ((varying == DimensionSet{D::Number, D::RowOne} ||
         varying == DimensionSet{D::Number, D::RowOne, D::Test} ||
         varying == DimensionSet{D::Number, D::RowOne, D::MEN}) &&
        rowAllOrOverall &&
        among({{D::RowOne},
               {D::RowOne, D::Test},
               {D::RowOne, D::MEN},
               {D::Number, D::RowOne},
               {D::Number, D::RowOne, D::Test},
               {D::Number, D::RowOne, D::MEN}}))
        return EarlierMaximaChart(varying);
    return std::nullopt;
}

std::optional<MaximaChartSelection::Lines> EarlierMaximaChart(DimensionSet varying) {
    using Lines = MaximaChartSelection::Lines;
    using D = Dimension;
    if (varying == DimensionSet{D::Number} || varying == DimensionSet{D::Number, D::RowOne})
        return Lines::Single;
    if (varying == DimensionSet{D::Number, D::Test} ||
        varying == DimensionSet{D::Number, D::RowOne, D::Test})
        return Lines::PerTest;
    if (varying == DimensionSet{D::Number, D::MEN} ||
        varying == DimensionSet{D::Number, D::RowOne, D::MEN})
        return Lines::PerMEN;
    return std::nullopt;
}

namespace {

std::string LowerCaseWord(const std::string& text) {
    std::string word;
    for (char c : text)
        if (c != ' ' && c != '\t')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

// The search of the largest m of an N needs the most memory.
std::optional<std::string> SearchMemoryRefusal(int design, double N,
                                               std::optional<std::uint64_t> available) {
    const auto n = static_cast<std::int64_t>(N);
    const double tables = static_cast<double>(TableCount(design, n, n / 2));
    const double bytes = tables * static_cast<double>(SearchTables::BytesPerTable);
    const bool tooMany = tables > 4.0e9;
    if (!tooMany && !(available && bytes > static_cast<double>(*available)))
        return std::nullopt;
    return MemoryRefusalText(design, n, tables, bytes, available, "the search needs", "");
}

// The sample tables of the N in hand, kept across tests (the loops run test and MEN inside
// N, and every test searches the same tables).
class TablesCache {
public:
    SearchTables& Get(int design, std::int64_t N, std::int64_t m, double MEN, double MMT) {
        if (N != N_) {
            cache_.clear();
            held_ = 0;
            N_ = N;
        }
        const auto key = std::make_tuple(m, MEN);
        auto it = cache_.find(key);
        if (it != cache_.end())
            return *it->second;
        const std::uint64_t count = TableCount(design, N, m);
        if (held_ + count > kMaxHeldTables) {
            cache_.clear();
            held_ = 0;
        }
        held_ += count;
        auto tables = std::make_unique<SearchTables>(design, N, m, MEN, MMT);
        return *cache_.emplace(key, std::move(tables)).first->second;
    }

private:
    static constexpr std::uint64_t kMaxHeldTables = 4'000'000;
    std::int64_t N_ = -1;
    std::uint64_t held_ = 0;
    std::map<std::tuple<std::int64_t, double>, std::unique_ptr<SearchTables>> cache_;
};

class Run {
public:
    Run(const MaximumSpecification& spec, MaximumSink& sink) : spec_(spec), sink_(sink) {}

    StudyOutcome Execute() {
        const StudyOutcome outcome = Choose();
        sink_.RunEnded(outcome);
        return outcome;
    }

private:
    StudyOutcome Refuse(const std::string& message) {
        sink_.Message(MessageKind::Refusal, message);
        return {StudyStatus::Refused, message};
    }
    StudyOutcome Fail(const std::string& message) {
        sink_.Message(MessageKind::Failure, message);
        return {StudyStatus::Failed, message};
    }
    StudyOutcome Choose();
    std::optional<Refusal> ReadFields();
    StudyOutcome ChartOfEarlierData();
    StudyOutcome SearchAll();
    std::optional<StudyOutcome> Search(const Plan& plan, std::uint64_t index);
    std::optional<std::string> AppendSummary(const std::string& line);
    void DrawChart(MaximaChartSelection::Lines lines, double test, double MEN);
    std::optional<std::string> RowOneRange(double N, std::vector<std::int64_t>& range) const;
    std::string ChartTitle(MaximaChartSelection::Lines lines, double MEN) const;
    bool AllOrOverall() const {
        return rowKind_ == RowOneKind::All || rowKind_ == RowOneKind::Overall;
    }

    const MaximumSpecification& spec_;
    MaximumSink& sink_;
    std::filesystem::path summaryPath_, allAreasPath_, eachAreaPath_;
    FieldReader fields_;
    ListField numbers_, tests_, mens_;
    TestPolicy policy_ = TestPolicy::Simple;
    RowOneKind rowKind_ = RowOneKind::None;
    double rowValue_ = 0;
    double mmt_ = 1, parameter_ = 0, accuracy_ = 0;
    bool summaryChartShown_ = false;

    // The state of the searches under way.
    std::vector<std::vector<std::int64_t>> ranges_; // numbers in row 1 of each N
    std::unique_ptr<AllAreasLog> log_;
    SearchObserverList observers_;
    TablesCache cache_;
    FoundMaximum carried_;
    double accuracyReached_ = 0;
    double lastLine_ = 0;
};

std::optional<Refusal> Run::ReadFields() {
    using D = Dimension;
    const bool trial = spec_.design == ComparativeTrial;
    // Total numbers: whole, 4 to 10000, as in the particular study.
    if (auto r = fields_.List(D::Number, spec_.number,
                              {"Total number", 4, 10000, WholeRule::All, {}}, numbers_))
        return r;
    // Row 1 (comparative trial only: a cross-sectional study has no fixed row total).
    if (trial) {
        // The two words in any letter case and with blanks around them: a typed "Overall"
        // would otherwise read as the number 0 and search tables with an empty row.
        const std::string word = LowerCaseWord(spec_.row1);
        if (word == "all" || word == "overall") {
            rowKind_ = word == "all" ? RowOneKind::All : RowOneKind::Overall;
            fields_.MarkVarying(D::RowOne);
        } else {
            rowKind_ = RowOneKind::Number;
            rowValue_ = NumericReading(spec_.row1);
        }
    }
    // Tests, or a combined policy.
    if (spec_.test == "*") {
        fields_.MarkEarlierData();
        fields_.MarkVarying(D::Test);
    } else if (PolicyOfTestField(spec_.test) != TestPolicy::Simple) {
        policy_ = PolicyOfTestField(spec_.test);
        tests_.values = {policy_ == TestPolicy::Combined15 ? 1.0 : 3.0};
    } else {
        if (auto r =
                fields_.List(D::Test, spec_.test, {"Test(s)", 1, 7, WholeRule::All, {}}, tests_))
            return r;
    }
    summaryPath_ = spec_.dataDirectory / SummaryFileName(policy_);
    // MENs (not range-checked: any MEN simply excludes more or fewer tables).
    if (auto r = fields_.List(D::MEN, spec_.men,
                              {{}, 0, 0, WholeRule::None, "Minimum expected number (MEN)"}, mens_))
        return r;
    mmt_ = NumericReading(spec_.mmt);
    if (mmt_ < 1)
        return Refusal{"The minimum marginal total must be at least 1"};
    if (auto r = ReadSingleValue(spec_.parameter, 0, 1, "Significance level / cutoff", parameter_))
        return r;
    if (auto r = ReadSingleValue(spec_.accuracy, 0.000001, 1, "Accuracy required", accuracy_))
        return r;
    if (!fields_.EarlierData()) {
        const std::optional<std::uint64_t> available = AvailableMemoryBytes();
        for (double N : numbers_.values)
            if (auto m = SearchMemoryRefusal(spec_.design, N, available))
                return Refusal{*m};
    }
    return std::nullopt;
}

// The numbers in row 1 searched for one N, or the refusal of the row-1 field.
std::optional<std::string> Run::RowOneRange(double N, std::vector<std::int64_t>& range) const {
    range.clear();
    if (spec_.design != ComparativeTrial) {
        range.push_back(-1);
        return std::nullopt;
    }
    const auto half = static_cast<std::int64_t>(N / 2);
    if (AllOrOverall()) {
        // m is a whole number: an MMT of 2.5 starts the range at 3.
        for (auto m = static_cast<std::int64_t>(std::ceil(mmt_)); m <= half; ++m)
            range.push_back(m);
        return std::nullopt;
    }
    const double v = rowValue_;
    const std::string start = "The value '";
    const std::string middle =
        "' is invalid.  For 'Pop. prop. / number in row 1', you must enter a ";
    if (v < 0 || (v > 0.5 && v < 1))
        return start + PlainNumberText(v) + middle +
               "decimal up to 0.5, or an integer, or 'all', or 'overall'.";
    if (v <= 0.5) {
        range.push_back(static_cast<std::int64_t>(N * v));
        return std::nullopt;
    }
    const auto m = static_cast<std::int64_t>(v);
    if (static_cast<double>(m) > N / 2)
        return start + PlainNumberText(static_cast<double>(m)) + middle +
               "decimal up to 0.5, or an integer of up to half the total number, or 'all' or "
               "'overall'.";
    range.push_back(m);
    return std::nullopt;
}

std::optional<std::string> Run::AppendSummary(const std::string& line) {
    if (auto error = AppendSummaryRecord(summaryPath_, MaximaSummaryHeader(), line))
        return error;
    sink_.SummaryLine(line);
    return std::nullopt;
}

std::string Run::ChartTitle(MaximaChartSelection::Lines lines, double MEN) const {
    using Lines = MaximaChartSelection::Lines;
    std::string title =
        spec_.clock.CaptionDate() + "       " + std::string(DesignName(spec_.design));
    if (spec_.design == ComparativeTrial) {
        switch (rowKind_) {
        case RowOneKind::Overall:
            title += "       Any value of number in row 1";
            break;
        case RowOneKind::All:
            title += "       All values of number in row 1";
            break;
        default:
            if (rowValue_ < 1)
                title += "       m/N (prop. in row 1) = " + spec_.row1;
            else
                title += "       m (number in row 1) =" + spec_.row1;
        }
    }
    if (lines != Lines::PerTest)
        title += "       test: " + spec_.test;
    if (lines != Lines::PerMEN)
        title += "       MEN =" + PlainNumberText(MEN);
    title +=
        "       MMT =" + PlainNumberText(mmt_) + "       Accuracy =" + PlainNumberText(accuracy_);
    title += CRLF;
    title += SearchTitleLine(spec_.design, spec_.type, parameter_);
    return title;
}

void Run::DrawChart(MaximaChartSelection::Lines lines, double test, double MEN) {
    MaximaChartSelection s;
    s.design = spec_.design;
    s.rowKind = rowKind_;
    s.rowValue = rowValue_;
    s.test = test;
    s.MEN = MEN;
    s.MMT = mmt_;
    s.type = spec_.type;
    s.parameter = parameter_;
    s.accuracy = accuracy_;
    s.lines = lines;
    SummaryChartData data;
    if (const std::optional<std::string> text = ReadTextFile(summaryPath_))
        SelectMaximaRecords(*text, s, data);
    if (data.Count() == 0) {
        sink_.Message(MessageKind::Notice, NoDataMessage);
        return;
    }
    data.title = ChartTitle(lines, MEN);
    data.axisLabel = "N";
    data.seriesLabel = lines == MaximaChartSelection::Lines::PerTest  ? "Test"
                       : lines == MaximaChartSelection::Lines::PerMEN ? "MEN"
                                                                      : "";
    data.referenceValue = spec_.type == MaximumType::ProportionSignificant ? parameter_ : 0;
    sink_.SummaryChart(data);
    summaryChartShown_ = true;
}

StudyOutcome Run::Choose() {
    const double start = spec_.clock.Seconds();
    if (auto error = PrepareDataDirectory(spec_.dataDirectory))
        return Fail(*error);
    if (auto refusal = ReadFields())
        return Refuse(refusal->message);
    allAreasPath_ = spec_.dataDirectory / std::string(AllAreasFileName);
    eachAreaPath_ = spec_.dataDirectory / std::string(EachAreaFileName);

    // A new summary file starts with its header. So does one emptied by hand: the reader
    // drops the first line, which would otherwise be a record.
    std::error_code ec;
    const auto size = std::filesystem::file_size(summaryPath_, ec);
    if (ec == std::errc::no_such_file_or_directory || (!ec && size == 0))
        if (auto error = WriteTextFile(summaryPath_, MaximaSummaryHeader() + std::string(CRLF)))
            return Fail(*error);

    if (fields_.EarlierData())
        return ChartOfEarlierData();
    lastLine_ = start;
    return SearchAll();
}

StudyOutcome Run::ChartOfEarlierData() {
    sink_.RunStarted({RunKind::EarlierData, true});
    if (const auto lines = EarlierMaximaChart(fields_.Varying()))
        DrawChart(*lines, tests_.FirstOr(1), mens_.FirstOr(0));
    else
        sink_.Message(MessageKind::Notice, NotProgrammedMessage);
    if (summaryChartShown_)
        sink_.Wait(WaitKind::GoBack);
    return {};
}

StudyOutcome Run::SearchAll() {
    if (auto error = WriteTextFile(allAreasPath_, ""))
        return Fail(*error);

    // The numbers in row 1 of each N, up to the first N whose row-1 value is refused: the
    // Ns before it are searched, then the refusal is shown.
    std::optional<std::string> rowRefusal;
    std::vector<std::size_t> innerSizes;
    for (double N : numbers_.values) {
        std::vector<std::int64_t> range;
        if (!rowRefusal)
            rowRefusal = RowOneRange(N, range);
        if (rowRefusal)
            range.clear();
        innerSizes.push_back(range.size());
        ranges_.push_back(std::move(range));
    }
    using D = Dimension;
    const Plan plan({{D::Number, numbers_.values.size()},
                     {D::Test, tests_.values.size()},
                     {D::MEN, mens_.values.size()},
                     {D::RowOne, 1}},
                    innerSizes);

    sink_.RunStarted({RunKind::Combinations, fields_.Varying().Empty()});
    log_ = std::make_unique<AllAreasLog>(allAreasPath_);
    observers_.Add(*log_);
    observers_.Add(sink_);
    const auto end =
        RunPlan(plan, sink_, "Searches", [&](std::uint64_t index) { return Search(plan, index); });
    if (end)
        return *end;
    if (rowRefusal)
        return Refuse(*rowRefusal);
    if (summaryChartShown_)
        sink_.Wait(WaitKind::GoBack);
    return {};
}

std::optional<StudyOutcome> Run::Search(const Plan& plan, std::uint64_t index) {
    const std::vector<std::size_t> at = plan.Positions(index);
    const std::size_t iR = at[3];
    const std::vector<std::int64_t>& range = ranges_[at[0]];
    const auto N = static_cast<std::int64_t>(numbers_.values[at[0]]);
    const int test = static_cast<int>(tests_.values[at[1]]);
    const double MEN = mens_.values[at[2]];
    const std::int64_t m = range[iR];
    const bool overall = rowKind_ == RowOneKind::Overall;
    if (iR == 0) {
        carried_ = {};
        accuracyReached_ = accuracy_;
    }

    SearchSpec search;
    search.design = spec_.design;
    search.N = N;
    search.m = m;
    search.test = test;
    search.MEN = MEN;
    search.MMT = mmt_;
    search.policy = policy_;
    search.type = spec_.type;
    search.parameter = parameter_;
    search.accuracy = accuracy_;

    SearchTables& tables = cache_.Get(spec_.design, N, m, MEN, mmt_);
    const PropertyEvaluator evaluator(tables, test, policy_, spec_.type, parameter_);
    SearchStarted started = AnnounceSearch(search);
    started.headingLine = SearchHeadingLine(spec_.clock.CaptionDate(), spec_.design, N, m, test,
                                            MEN, mmt_, accuracy_);
    started.titleLine = SearchTitleLine(spec_.design, spec_.type, parameter_);
    const bool carries = overall && iR > 0;
    started.freshMaximum = !carries;
    observers_.OnSearchStarted(started);

    const SearchContext context{observers_, sink_, [this] { return spec_.clock.TimeOfDay(); },
                                spec_.threads};
    const SearchResult result =
        RunAreaSearch(search, evaluator, carries ? &carried_ : nullptr, context);
    log_->Flush();
    if (log_->Error())
        return Fail(*log_->Error());
    if (result.areasEvaluated > 0)
        if (auto error = WriteTextFile(eachAreaPath_, EachAreaText(evaluator, result.lastArea,
                                                                   spec_.clock.CaptionDate(),
                                                                   result.areasEvaluated == 1)))
            return Fail(*error);
    if (result.stopped)
        return StudyOutcome{StudyStatus::Stopped, ""};
    if (!result.converged) {
        sink_.Message(MessageKind::Notice, result.failure);
        // The summary records the accuracy actually reached (1 when no bound of the
        // residue was ever found), so that charts asking for the accuracy required leave
        // the record out.
        const double reached =
            result.residueBound < 0 ? 1.0 : result.residueBound - result.maximum.value;
        accuracyReached_ = std::max(accuracyReached_, reached);
    }
    carried_ = result.maximum;
    if (overall && iR + 1 < range.size())
        return std::nullopt;

    SummaryRecord record;
    record.date = spec_.clock.CaptionDate();
    record.design = spec_.design;
    record.N = N;
    if (spec_.design == ComparativeTrial)
        record.row1Field = rowKind_ == RowOneKind::All ? PlainNumberText(static_cast<double>(m))
                           : rowKind_ == RowOneKind::Overall ? "0"
                                                             : spec_.row1;
    record.test = test;
    record.MEN = MEN;
    record.MMT = mmt_;
    record.type = spec_.type;
    record.parameter = parameter_;
    record.accuracy = accuracyReached_;
    record.maximum = overall ? carried_ : result.maximum;
    const double now = spec_.clock.Seconds();
    record.seconds = now - lastLine_;
    lastLine_ = now;
    if (auto error = AppendSummary(SummaryLineText(record)))
        return Fail(*error);
    accuracyReached_ = accuracy_;

    if (const auto lines =
            MaximaSummaryChartDue(fields_.Varying(), plan.Completed(index), AllOrOverall()))
        DrawChart(*lines, test, MEN);
    if (spec_.pause || fields_.Varying().Empty())
        sink_.Wait(WaitKind::NextChart);
    return std::nullopt;
}

} // namespace

StudyOutcome RunMaximumStudy(const MaximumSpecification& spec, MaximumSink& sink) {
    Run run(spec, sink);
    return run.Execute();
}

} // namespace quillon
