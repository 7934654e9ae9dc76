#include "maxima/run.h"

#include "core/files.h"
#include "core/memory.h"
#include "core/numtext.h"
#include "core/tables.h"
#include "maxima/result_files.h"
#include "maxima/search.h"
#include "maxima/search_key.h"
#include "study/fields.h"
#include "study/loop.h"
#include "study/run_size.h"
#include "study/study_run.h"

#include <cctype>
#include <cmath>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <tuple>
#include <type_traits>
#include <utility>
#include <variant>

namespace quillon {

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
    // Tests and MENs both vary: a chart for each test, one line a MEN, due once the MENs of
    // that test are done (with "all" or "overall", once its numbers in row 1 are done).
    if (varying == DimensionSet{D::Number, D::Test, D::MEN} && completed.Has(D::MEN))
        return Lines::PerMEN;
    if (varying == DimensionSet{D::Number, D::RowOne, D::Test, D::MEN} && rowAllOrOverall &&
        completed.Has(D::RowOne))
        return Lines::PerMEN;
    return std::nullopt;
}

std::optional<MaximaChartSelection::Lines> MaximaRunChart(DimensionSet varying,
                                                          bool rowAllOrOverall) {
    using D = Dimension;
    if (varying == DimensionSet{D::Number, D::Test, D::MEN} ||
        (varying == DimensionSet{D::Number, D::RowOne, D::Test, D::MEN} && rowAllOrOverall))
        return MaximaChartSelection::Lines::PerMEN;
    if (varying.Has(D::RowOne) && !rowAllOrOverall)
        return std::nullopt;
    return EarlierMaximaChart(varying);
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

// What one search of N and m holds at its largest: "1ProSig" its sums by margins,
// "2MaxDif" the list of tables with every test's P values; and, when the listing of the
// last area is written, its enumerated tables and their P values while it is formed
// (EachAreaBytesPerTable a table; its text goes to the file in pieces).
constexpr double EachAreaBytesPerTable = 40 + 8;
double SearchBytes(DesignCode design, std::int64_t N, std::int64_t m, Property type, bool listing) {
    const auto tables = static_cast<double>(TableCount(design, N, m));
    const double held = type == Property::ActualTypeIError
                            ? PropertyEvaluator::Bytes(design, N)
                            : tables * static_cast<double>(SearchTables::BytesPerTable() + 40);
    return held + (listing ? tables * EachAreaBytesPerTable : 0);
}

// The search of the largest m of an N needs the most memory.
std::optional<std::string> SearchMemoryRefusal(DesignCode design, double N, Property type,
                                               bool listing,
                                               std::optional<std::uint64_t> available) {
    const auto n = static_cast<std::int64_t>(N);
    const double tables = static_cast<double>(TableCount(design, n, n / 2));
    const double bytes = SearchBytes(design, n, n / 2, type, listing);
    // The list of "2MaxDif" numbers its tables in 32 bits.
    const bool tooMany = type == Property::MaximumExcess && tables > 4.0e9;
    if (!tooMany && !(available && bytes > static_cast<double>(*available)))
        return std::nullopt;
    return MemoryRefusalText(design, n, tables, bytes, available, "the search needs", "");
}

// The sample tables of the N in hand, kept across tests (the loops run test and MEN inside
// N, and every test searches the same tables). Searches computed at once share it: an
// entry is built once, by whoever asks first, and lives while a search holds it, so
// dropping entries never pulls tables from under a search.
class TablesCache {
public:
    // Tables with the P values of `test` ready, so that the evaluator built from them
    // only reads them.
    struct Entry {
        std::once_flag built;
        std::unique_ptr<SearchTables> tables;
        std::mutex pvalues; // held while P values of a test are added
        std::uint64_t count = 0;
    };

    std::shared_ptr<Entry> Get(DesignCode design, std::int64_t N, std::int64_t m, double MEN,
                               double MMT) {
        std::shared_ptr<Entry> entry;
        {
            std::lock_guard<std::mutex> lock(mutex_);
            if (N != N_) {
                Drop([&](const Key& k) { return std::get<0>(k) != N; });
                N_ = N;
            }
            const Key key{N, m, MEN};
            auto it = cache_.find(key);
            if (it == cache_.end()) {
                const std::uint64_t count = TableCount(design, N, m);
                if (held_ + count > kMaxHeldTables)
                    Drop([](const Key&) { return true; });
                it = cache_.emplace(key, std::make_shared<Entry>()).first;
                it->second->count = count;
                held_ += count;
            }
            entry = it->second;
        }
        std::call_once(entry->built, [&] {
            entry->tables = std::make_unique<SearchTables>(design, N, m, MEN, MMT);
        });
        return entry;
    }

private:
    using Key = std::tuple<std::int64_t, std::int64_t, double>;
    // Forgets the entries `which` names that no search holds now.
    template <typename Which> void Drop(Which which) {
        for (auto it = cache_.begin(); it != cache_.end();) {
            if (which(it->first) && it->second.use_count() == 1) {
                held_ -= it->second->count;
                it = cache_.erase(it);
            } else {
                ++it;
            }
        }
    }

    static constexpr std::uint64_t kMaxHeldTables = 4'000'000;
    std::mutex mutex_;
    std::int64_t N_ = -1;
    std::uint64_t held_ = 0;
    std::map<Key, std::shared_ptr<Entry>> cache_;
};

// The events of a search computed ahead of its turn, kept in order and replayed when the
// combination is delivered: the log, the chart and the messages then come exactly as a
// serial run gives them.
class RecordedSearch : public SearchObserver {
public:
    void OnSearchStarted(const SearchStarted& e) override { events_.emplace_back(e); }
    void OnStripPassStarted(const StripPassStarted& e) override { events_.emplace_back(e); }
    void OnAreaEvaluated(const AreaEvaluated& e) override { events_.emplace_back(e); }
    void OnSidesDone(const SidesDone& e) override { events_.emplace_back(e); }
    void OnSurveyStarted(const SurveyStarted& e) override { events_.emplace_back(e); }
    void OnSurveyPoint(const SurveyPoint& e) override { events_.emplace_back(e); }
    void OnSurveyDone(const SurveyDone& e) override { events_.emplace_back(e); }
    void OnNewMaximum(const NewMaximum& e) override { events_.emplace_back(e); }
    void OnGridPassDone(const GridPassDone& e) override { events_.emplace_back(e); }
    void OnSearchFinished(const SearchFinished& e) override { events_.emplace_back(e); }
    void Message(MessageKind kind, const std::string& text) {
        events_.emplace_back(Said{kind, text});
    }

    void Replay(SearchObserver& observer, StudySink& sink) const {
        for (const Event& event : events_)
            std::visit(
                [&](const auto& e) {
                    using E = std::decay_t<decltype(e)>;
                    if constexpr (std::is_same_v<E, Said>)
                        sink.Message(e.kind, e.text);
                    else if constexpr (std::is_same_v<E, SearchStarted>)
                        observer.OnSearchStarted(e);
                    else if constexpr (std::is_same_v<E, StripPassStarted>)
                        observer.OnStripPassStarted(e);
                    else if constexpr (std::is_same_v<E, AreaEvaluated>)
                        observer.OnAreaEvaluated(e);
                    else if constexpr (std::is_same_v<E, SidesDone>)
                        observer.OnSidesDone(e);
                    else if constexpr (std::is_same_v<E, SurveyStarted>)
                        observer.OnSurveyStarted(e);
                    else if constexpr (std::is_same_v<E, SurveyPoint>)
                        observer.OnSurveyPoint(e);
                    else if constexpr (std::is_same_v<E, SurveyDone>)
                        observer.OnSurveyDone(e);
                    else if constexpr (std::is_same_v<E, NewMaximum>)
                        observer.OnNewMaximum(e);
                    else if constexpr (std::is_same_v<E, GridPassDone>)
                        observer.OnGridPassDone(e);
                    else
                        observer.OnSearchFinished(e);
                },
                event);
    }

private:
    struct Said {
        MessageKind kind;
        std::string text;
    };
    using Event =
        std::variant<SearchStarted, StripPassStarted, AreaEvaluated, SidesDone, SurveyStarted,
                     SurveyPoint, SurveyDone, NewMaximum, GridPassDone, SearchFinished, Said>;
    std::vector<Event> events_;
};

// The sink of a search computed ahead: its messages are recorded with its events; stop
// requests and progress go to the run's sink at once.
class AheadSink : public StudySink {
public:
    AheadSink(StudySink& run, RecordedSearch& record) : run_(run), record_(record) {}
    void Message(MessageKind kind, const std::string& text) override {
        record_.Message(kind, text);
    }
    Answer Ask(Question, const std::string&) override { return Answer::No; }
    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) override {
        run_.Progress(stage, done, total);
    }
    bool StopRequested() const override { return run_.StopRequested(); }

private:
    StudySink& run_;
    RecordedSearch& record_;
};

// What the search of one combination found, from its compute step to its deliver step.
struct ComputedSearch {
    RecordedSearch events; // empty when the search reported live (one job)
    SearchResult result;
    // Writes "MaximaResultsEachArea.txt" when an area was evaluated (holding the search's
    // evaluator and tables until then); empty otherwise.
    std::function<std::optional<std::string>(const TextPieces&)> eachArea;
    SearchKey key; // the search, built from its combination
    double accuracyReached = 0;
    FoundMaximum maximum; // the record's maximum (carried across m with "overall")
};

// The maximum study as the run skeleton takes it: fields, the chart of earlier data, and a
// search of every proportion for each combination (the maximum carried across the numbers
// in row 1 of "overall").
class MaximumStudy final : public StudyDescription {
public:
    MaximumStudy(const MaximumSpecification& spec, MaximumSink& sink) : spec_(spec), sink_(sink) {
        fields_ = FieldReader(spec.reading);
    }

    std::string_view Name() const override { return "maximum"; }
    std::optional<Refusal> ReadFields() override;
    std::optional<SummaryChartData> EarlierDataChart(DimensionSet varying) override;
    std::optional<Refusal> CheckPlan(std::optional<std::uint64_t> available) override;
    std::optional<std::string> PrepareFiles() override;
    Plan MakePlan() override;
    ProgressStage Stage() const override { return ProgressStage::Searches; }
    PlanSteps Steps(const Plan& plan) override;
    // With "overall" only the last number in row 1 of a chain completes its record.
    bool CompletesAResult(const Plan& plan, std::uint64_t index) const override {
        if (rowKind_ != RowOneKind::Overall)
            return true;
        const std::vector<std::size_t> at = plan.Positions(index);
        return at[3] + 1 == ranges_[at[0]].size();
    }
    std::string SummaryFileName() const override { return summaryPath_.filename().string(); }
    // One line a search, or with "overall" one for all the numbers in row 1 of an N; a
    // typical record is about 75 bytes.
    RunSize Size(const Plan& plan) const override {
        RunSize size = EstimateRunSize(plan.Count(), 1, 75, SummaryFileName());
        if (rowKind_ == RowOneKind::Overall) {
            size.summaryLines = numbers_.values.size() * tests_.values.size() * mens_.values.size();
            size.summaryBytes = 75 * static_cast<double>(size.summaryLines);
        }
        return size;
    }
    std::string NormalisedPlan() const override;
    // The chart of the series the last record belongs to, when it was not yet due.
    void ChartWhatCompleted(const Plan& plan) override;
    // A row-1 value the first N cannot take: nothing is searched, and nothing is written.
    std::optional<std::string> PlanRefusal(const Plan& plan) const override {
        if (rowRefusal_ && plan.Count() == 0)
            return rowRefusal_;
        return std::nullopt;
    }
    // The refusal of a row-1 value that an N of the list cannot take, once the Ns before it
    // have been searched.
    std::optional<StudyOutcome> Finish(const Plan&, bool) override {
        if (rowRefusal_)
            return RefuseRun(sink_, *rowRefusal_);
        return std::nullopt;
    }

private:
    StudyOutcome Fail(const std::string& message) { return FailRun(sink_, message); }
    DeliverStep ComputeSearch(const Plan& plan, std::uint64_t index);
    // The search of the combination `index`, and the number in row 1 it takes.
    SearchSpec SearchAt(const Plan& plan, std::uint64_t index) const;
    // The search of N, a test and MEN, at the number in row 1 m under "all".
    SearchKey KeyOf(double N, int test, double MEN, std::int64_t m) const;
    std::optional<StudyOutcome> DeliverSearch(const Plan& plan, std::uint64_t index,
                                              const ComputedSearch& found);
    bool Serial() const { return JobCount(spec_.jobs) <= 1; }
    std::optional<std::string> AppendSummary(const std::string& line);
    SummaryChartData Chart(MaximaChartSelection::Lines lines, const SearchKey& key) const;
    std::optional<std::string> RowOneRange(double N, std::vector<std::int64_t>& range) const;
    // A chart of one test among several names that test; otherwise the test field as typed.
    std::string ChartTitle(MaximaChartSelection::Lines lines, int test, double MEN) const;
    static std::string TestText(int test) { return std::to_string(test); }
    // The row-1 value of the record: the number the search used, as the summary writes
    // numbers (".5", "10"), whatever else the field held.
    std::string RowValueText() const {
        std::string text = PlainNumberText(rowValue_);
        if (!text.empty() && text.front() == ' ')
            text.erase(0, 1);
        return text;
    }
    bool AllOrOverall() const {
        return rowKind_ == RowOneKind::All || rowKind_ == RowOneKind::Overall;
    }

    // The combination of the last summary record written, and its search.
    struct LastRecord {
        std::uint64_t index = 0;
        SearchKey key;
    };
    std::optional<LastRecord> lastRecord_;
    const MaximumSpecification& spec_;
    MaximumSink& sink_;
    std::filesystem::path summaryPath_, allAreasPath_, eachAreaPath_;
    ListField numbers_, tests_, mens_;
    TestPolicy policy_ = TestPolicy::Simple;
    RowOneKind rowKind_ = RowOneKind::None;
    double rowValue_ = 0;
    double mmt_ = 1, parameter_ = 0, accuracy_ = 0;

    // The state of the searches under way.
    std::vector<std::vector<std::int64_t>> ranges_; // numbers in row 1 of each N
    std::optional<std::string> rowRefusal_;
    std::unique_ptr<AllAreasLog> log_;
    SearchObserverList observers_;
    TablesCache cache_;
    // "overall": the maximum and the accuracy reached so far in each chain of m, by
    // combination; written and read only by the chain's own compute steps, in order.
    std::vector<std::pair<FoundMaximum, double>> chain_;
    double lastLine_ = 0;
    std::uint64_t linesWritten_ = 0;
};

// The specifications as read, for the fingerprint of a shard's plan.
std::string MaximumStudy::NormalisedPlan() const {
    auto list = [](const ListField& field) {
        std::string text;
        for (double v : field.values)
            text += (text.empty() ? "" : ",") + PlainNumberText(v);
        return text;
    };
    const std::string row = rowKind_ == RowOneKind::All       ? "all"
                            : rowKind_ == RowOneKind::Overall ? "overall"
                            : rowKind_ == RowOneKind::Number  ? spec_.row1
                                                              : "";
    return "design " + PlainNumberText(DesignNumber(spec_.design)) + "; N " + list(numbers_) +
           "; row 1 " + row + "; tests " + list(tests_) + "; policy " +
           std::string(TestPolicyText(policy_)) + "; MEN " + list(mens_) + "; MMT " +
           PlainNumberText(mmt_) + "; type " + std::string(PropertyFileText(spec_.type)) +
           "; parameter " + PlainNumberText(parameter_) + "; accuracy " +
           PlainNumberText(accuracy_);
}

std::optional<Refusal> MaximumStudy::ReadFields() {
    // The Time field of the first record counts from the moment the run began.
    lastLine_ = spec_.clock.Seconds();
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
            if (fields_.reading() == Reading::Strict)
                if (auto problem = SingleValueProblem(spec_.row1))
                    return Refusal{
                        UnreadableMessage("'Pop. prop. / number in row 1'", spec_.row1, *problem)};
            rowValue_ = NumericReading(spec_.row1);
            // A number in row 1 is a count of subjects: 1.5 would search m = 1 under a
            // record saying 1.5.
            if (rowValue_ >= 1 && std::trunc(rowValue_) != rowValue_)
                return Refusal{NotAnIntegerMessage(rowValue_)};
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
        if (auto r = fields_.List(D::Test, spec_.test, TestListRule(), tests_))
            return r;
    }
    summaryPath_ = spec_.dataDirectory / quillon::SummaryFileName(policy_);
    // MENs (not range-checked: any MEN simply excludes more or fewer tables).
    if (auto r = fields_.List(D::MEN, spec_.men,
                              {{}, 0, 0, WholeRule::None, "Minimum expected number (MEN)"}, mens_))
        return r;
    if (fields_.reading() == Reading::Strict)
        if (auto problem = SingleValueProblem(spec_.mmt))
            return Refusal{UnreadableMessage("'Minimum marginal total'", spec_.mmt, *problem)};
    mmt_ = NumericReading(spec_.mmt);
    if (mmt_ < 1)
        return Refusal{"The minimum marginal total must be at least 1"};
    // No margin of a table of at most 10000 can reach more; the other studies' limit.
    if (auto message = RangeCheck(mmt_, 1, 10000, "Minimum marginal total"))
        return Refusal{*message};
    if (auto r = ReadSingleValue(spec_.parameter, 0, 1, "Significance level / cutoff", parameter_,
                                 fields_.reading()))
        return r;
    if (auto r = ReadSingleValue(spec_.accuracy, 0.000001, 1, "Accuracy required", accuracy_,
                                 fields_.reading()))
        return r;
    allAreasPath_ = spec_.dataDirectory / std::string(AllAreasFileName);
    eachAreaPath_ = spec_.dataDirectory / std::string(EachAreaFileName);
    return std::nullopt;
}

std::optional<Refusal> MaximumStudy::CheckPlan(std::optional<std::uint64_t> available) {
    for (double N : numbers_.values)
        if (auto m =
                SearchMemoryRefusal(spec_.design, N, spec_.type, !spec_.summaryOnly, available))
            return Refusal{*m};
    return std::nullopt;
}

// A new summary file starts with its header. So does one emptied by hand: the reader drops
// the first line, which would otherwise be a record. Under the appenders' lock: a run
// starting beside another never truncates its records. The log of every area starts empty.
std::optional<std::string> MaximumStudy::PrepareFiles() {
    if (auto error = EnsureSummaryHeading(summaryPath_, MaximaSummaryCodec::Heading()))
        return error;
    if (spec_.summaryOnly)
        return std::nullopt;
    return WriteTextFile(allAreasPath_, "");
}

// The numbers in row 1 searched for one N, or the refusal of the row-1 field.
std::optional<std::string> MaximumStudy::RowOneRange(double N,
                                                     std::vector<std::int64_t>& range) const {
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
        range.push_back(static_cast<std::int64_t>(RowNumberOfProportion(N, v)));
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

std::optional<std::string> MaximumStudy::AppendSummary(const std::string& line) {
    if (auto error = AppendSummaryRecord(summaryPath_, MaximaSummaryCodec::Heading(), line))
        return error;
    ++linesWritten_;
    sink_.SummaryLine(line);
    return std::nullopt;
}

std::string MaximumStudy::ChartTitle(MaximaChartSelection::Lines lines, int test,
                                     double MEN) const {
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
        title += "       test: " + (tests_.Varies() ? TestText(test) : spec_.test);
    if (lines != Lines::PerMEN)
        title += "       MEN =" + PlainNumberText(MEN);
    title +=
        "       MMT =" + PlainNumberText(mmt_) + "       Accuracy =" + PlainNumberText(accuracy_);
    title += CRLF;
    title += SearchTitleLine(spec_.design, spec_.type, parameter_);
    return title;
}

SummaryChartData MaximumStudy::Chart(MaximaChartSelection::Lines lines,
                                     const SearchKey& key) const {
    MaximaChartSelection s;
    s.key = key;
    s.rowKind = rowKind_;
    s.lines = lines;
    SummaryChartData data;
    if (const std::optional<std::string> text = ReadTextFile(summaryPath_))
        SelectMaximaRecords(*text, s, data);
    data.title = ChartTitle(lines, key.test, key.MEN);
    data.axisLabel = "N";
    data.seriesLabel = lines == MaximaChartSelection::Lines::PerTest  ? "Test"
                       : lines == MaximaChartSelection::Lines::PerMEN ? "MEN"
                                                                      : "";
    data.seriesAreTests = lines == MaximaChartSelection::Lines::PerTest;
    data.referenceValue = spec_.type == Property::ActualTypeIError ? parameter_ : 0;
    return data;
}

std::optional<SummaryChartData> MaximumStudy::EarlierDataChart(DimensionSet varying) {
    if (const auto lines = EarlierMaximaChart(varying))
        return Chart(*lines, KeyOf(numbers_.FirstOr(0), static_cast<int>(tests_.FirstOr(1)),
                                   mens_.FirstOr(0), -1));
    return std::nullopt;
}

// The numbers in row 1 of each N, up to the first N whose row-1 value is refused: the Ns
// before it are searched, then the refusal is shown.
Plan MaximumStudy::MakePlan() {
    std::vector<std::size_t> innerSizes;
    for (double N : numbers_.values) {
        std::vector<std::int64_t> range;
        if (!rowRefusal_)
            rowRefusal_ = RowOneRange(N, range);
        if (rowRefusal_)
            range.clear();
        innerSizes.push_back(range.size());
        ranges_.push_back(std::move(range));
    }
    using D = Dimension;
    return Plan({{D::Number, numbers_.values.size()},
                 {D::Test, tests_.values.size()},
                 {D::MEN, mens_.values.size()},
                 {D::RowOne, 1}},
                innerSizes);
}

PlanSteps MaximumStudy::Steps(const Plan& plan) {
    if (!spec_.summaryOnly) {
        log_ = std::make_unique<AllAreasLog>(allAreasPath_);
        observers_.Add(*log_);
    }
    observers_.Add(sink_);
    const bool overall = rowKind_ == RowOneKind::Overall;
    if (overall)
        chain_.resize(plan.Count());
    PlanSteps steps;
    steps.compute = [this, &plan](std::uint64_t index) { return ComputeSearch(plan, index); };
    steps.chainedToPrevious = [&plan, overall](std::uint64_t index) {
        return overall && plan.Positions(index)[3] > 0;
    };
    steps.memory = [this, &plan](std::uint64_t index) {
        const std::vector<std::size_t> at = plan.Positions(index);
        const auto N = static_cast<std::int64_t>(numbers_.values[at[0]]);
        const std::int64_t m = ranges_[at[0]][at[3]];
        // The tables of "2MaxDif" are shared by the tests of one N, counted as if not.
        return SearchBytes(spec_.design, N, m, spec_.type, !spec_.summaryOnly);
    };
    // The cost of a search: a comparative trial's passes evaluate a grid of about the same
    // size whatever N, so it grows as the tables; a cross-sectional search cuts more and
    // smaller areas as N grows, about as the tables to the power 1.5 (N^4.5).
    steps.cost = [this, &plan](std::uint64_t index) {
        const std::vector<std::size_t> at = plan.Positions(index);
        const auto N = static_cast<std::int64_t>(numbers_.values[at[0]]);
        const auto tables = static_cast<double>(TableCount(spec_.design, N, ranges_[at[0]][at[3]]));
        return spec_.design == CrossSectionalStudy ? tables * std::sqrt(tables) : tables;
    };
    steps.summaryLines = [this] { return linesWritten_; };
    return steps;
}

SearchKey MaximumStudy::KeyOf(double N, int test, double MEN, std::int64_t m) const {
    SearchKey key;
    key.design = spec_.design;
    key.N = static_cast<std::int64_t>(N);
    if (spec_.design == ComparativeTrial)
        key.row1 = rowKind_ == RowOneKind::All       ? PlainNumberText(static_cast<double>(m))
                   : rowKind_ == RowOneKind::Overall ? "0"
                                                     : RowValueText();
    key.test = test;
    key.MEN = MEN;
    key.MMT = mmt_;
    key.policy = policy_;
    key.type = spec_.type;
    key.parameter = parameter_;
    key.accuracy = accuracy_;
    return key;
}

SearchSpec MaximumStudy::SearchAt(const Plan& plan, std::uint64_t index) const {
    const std::vector<std::size_t> at = plan.Positions(index);
    SearchSpec search;
    search.m = ranges_[at[0]][at[3]];
    search.key = KeyOf(numbers_.values[at[0]], static_cast<int>(tests_.values[at[1]]),
                       mens_.values[at[2]], search.m);
    return search;
}

// The search of one combination. With one job it reports to the log and the sink as it
// goes (the chart of the search is drawn live); computed ahead it records its events for
// the deliver step.
DeliverStep MaximumStudy::ComputeSearch(const Plan& plan, std::uint64_t index) {
    const SearchSpec search = SearchAt(plan, index);
    const SearchKey& key = search.key;
    const std::size_t iR = plan.Positions(index)[3];
    const bool overall = rowKind_ == RowOneKind::Overall;
    const bool carries = overall && iR > 0;
    auto found = std::make_shared<ComputedSearch>();
    found->key = key;
    FoundMaximum carried;
    found->accuracyReached = accuracy_;
    if (carries)
        std::tie(carried, found->accuracyReached) = chain_[index - 1];

    const std::shared_ptr<TablesCache::Entry> entry =
        cache_.Get(key.design, key.N, search.m, key.MEN, key.MMT);
    std::shared_ptr<const PropertyEvaluator> evaluator;
    {
        std::lock_guard<std::mutex> lock(entry->pvalues);
        evaluator = std::make_shared<const PropertyEvaluator>(*entry->tables, key.test, key.policy,
                                                              key.type, key.parameter);
    }
    SearchStarted started = AnnounceSearch(search);
    started.headingLine = SearchHeadingLine(spec_.clock.CaptionDate(), key, search.m);
    started.titleLine = SearchTitleLine(key.design, key.type, key.parameter);
    started.freshMaximum = !carries;

    const bool live = Serial();
    AheadSink ahead(sink_, found->events);
    SearchObserver& observer = live ? static_cast<SearchObserver&>(observers_) : found->events;
    StudySink& sink = live ? static_cast<StudySink&>(sink_) : ahead;
    observer.OnSearchStarted(started);
    const SearchContext context{observer, sink, [this] { return spec_.clock.TimeOfDay(); },
                                spec_.threads};
    found->result = RunAreaSearch(search, *evaluator, carries ? &carried : nullptr, context);
    const SearchResult& result = found->result;
    if (result.areasEvaluated > 0 && !spec_.summaryOnly)
        found->eachArea = [entry, evaluator, area = result.lastArea,
                           date = spec_.clock.CaptionDate(),
                           first = result.areasEvaluated == 1](const TextPieces& pieces) {
            return WriteEachAreaText(*evaluator, area, date, first, pieces);
        };
    if (!result.converged && !result.stopped) {
        // The summary records the accuracy actually reached (1 when no bound of the
        // residue was ever found), so that charts asking for the accuracy required leave
        // the record out.
        const double reached =
            result.residueBound < 0 ? 1.0 : result.residueBound - result.maximum.value;
        found->accuracyReached = std::max(found->accuracyReached, reached);
    }
    found->maximum = result.maximum;
    if (overall)
        chain_[index] = {found->maximum, found->accuracyReached};
    return [this, &plan, index, found] { return DeliverSearch(plan, index, *found); };
}

std::optional<StudyOutcome> MaximumStudy::DeliverSearch(const Plan& plan, std::uint64_t index,
                                                        const ComputedSearch& found) {
    const std::vector<std::size_t> at = plan.Positions(index);
    const std::size_t iR = at[3];
    const std::vector<std::int64_t>& range = ranges_[at[0]];
    const bool overall = rowKind_ == RowOneKind::Overall;
    const SearchResult& result = found.result;

    if (!Serial())
        found.events.Replay(observers_, sink_);
    if (log_) {
        log_->Flush();
        if (log_->Error())
            return Fail(*log_->Error());
    }
    if (found.eachArea) {
        if (auto error = WriteTextFile(eachAreaPath_, ""))
            return Fail(*error);
        if (auto error = found.eachArea(
                [&](std::string_view piece) { return AppendTextFile(eachAreaPath_, piece); }))
            return Fail(*error);
    }
    if (result.stopped) {
        // The log holds a part of this search: said in its first line, so that no one
        // reads it as a finished run.
        if (auto error = MarkFileIncomplete(allAreasPath_, IncompleteLogNote))
            return Fail(*error);
        return StudyOutcome{StudyStatus::Stopped, ""};
    }
    if (!result.converged)
        sink_.Message(MessageKind::Notice, result.failure);
    if (overall && iR + 1 < range.size())
        return std::nullopt;

    MaximaSummaryRecord record;
    record.date = spec_.clock.CaptionDate();
    record.key = found.key;
    record.accuracyReached = found.accuracyReached;
    record.maximum = found.maximum;
    const double now = spec_.clock.Seconds();
    record.seconds = now - lastLine_;
    lastLine_ = now;
    if (auto error = AppendSummary(MaximaSummaryCodec::Format(record)))
        return Fail(*error);
    sink_.MaximumRecorded(record);

    lastRecord_ = {index, found.key};
    if (const auto lines =
            MaximaSummaryChartDue(fields_.Varying(), plan.Completed(index), AllOrOverall()))
        ShowSummaryChart(sink_, Chart(*lines, found.key));
    return std::nullopt;
}

void MaximumStudy::ChartWhatCompleted(const Plan& plan) {
    if (!lastRecord_)
        return;
    const DimensionSet varying = fields_.Varying();
    if (MaximaSummaryChartDue(varying, plan.Completed(lastRecord_->index), AllOrOverall()))
        return; // drawn when that record was written
    if (const auto lines = MaximaRunChart(varying, AllOrOverall()))
        ShowSummaryChartIfAny(sink_, Chart(*lines, lastRecord_->key));
}

} // namespace

StudyOutcome RunMaximumStudy(const MaximumSpecification& spec, MaximumSink& sink) {
    MaximumStudy study(spec, sink);
    return RunStudy(study, {spec.dataDirectory, spec.jobs, spec.shard}, sink);
}

} // namespace quillon
