#include "maxima/run.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/tables.h"
#include "maxima/result_files.h"
#include "maxima/search.h"
#include "particular/evaluation.h"
#include "ui/speclang.h"

#include <cctype>
#include <chrono>
#include <cmath>
#include <ctime>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <system_error>
#include <tuple>

namespace quillon {

namespace {

std::tm LocalNow() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    return local;
}

std::string TwoDigits(int value) {
    return std::string(1, static_cast<char>('0' + value / 10 % 10)) +
           static_cast<char>('0' + value % 10);
}

} // namespace

std::string MaximumView::DateText() const {
    const std::tm t = LocalNow();
    return TwoDigits(t.tm_mday) + "." + TwoDigits(t.tm_mon + 1) + "." + TwoDigits(t.tm_year % 100);
}

std::string MaximumView::TimeOfDayText() const {
    const std::tm t = LocalNow();
    return TwoDigits(t.tm_hour) + ":" + TwoDigits(t.tm_min) + ":" + TwoDigits(t.tm_sec);
}

double MaximumView::Seconds() const {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

std::string MaximaSummaryHeader() {
    return "Date\tS_Meth.\tN\tn(row1)\tTest\tMEN\tMMT\tQuant.\tParam.\tAccur.\tValue\tAt "
           "p(col)\tAt "
           "p(row)\tTime";
}

std::optional<MaximaChartSelection::Lines> MaximaSummaryChartDue(const std::string& suffix,
                                                                 const std::string& completed,
                                                                 bool rowAllOrOverall) {
    using Lines = MaximaChartSelection::Lines;
    auto among = [&](std::initializer_list<const char*> texts) {
        for (const char* t : texts)
            if (completed == t)
                return true;
        return false;
    };
    if (suffix == "_Number" && among({"", "_Number"}))
        return Lines::Single;
    if (suffix == "_Number_Test" && among({"_Test", "_Number_Test"}))
        return Lines::PerTest;
    if (suffix == "_Number_MEN" && among({"_MEN", "_Number_MEN"}))
        return Lines::PerMEN;
    if ((suffix == "_Number_n1" || suffix == "_Number_n1_Test" || suffix == "_Number_n1_MEN") &&
        rowAllOrOverall &&
        among({"_n1", "_n1_Test", "_n1_MEN", "_Number_n1", "_Number_n1_Test", "_Number_n1_MEN"}))
        return EarlierMaximaChart(suffix);
    return std::nullopt;
}

std::optional<MaximaChartSelection::Lines> EarlierMaximaChart(const std::string& suffix) {
    using Lines = MaximaChartSelection::Lines;
    if (suffix == "_Number" || suffix == "_Number_n1")
        return Lines::Single;
    if (suffix == "_Number_Test" || suffix == "_Number_n1_Test")
        return Lines::PerTest;
    if (suffix == "_Number_MEN" || suffix == "_Number_n1_MEN")
        return Lines::PerMEN;
    return std::nullopt;
}

namespace {

using Status = MaximumRunResult::Status;

const char* const kNoData = "No data has been generated yet for these specifications - you need to "
                            "generate some data before a chart can be produced";
const char* const kNotProgrammed = "The analysis that you have requested has not been programmed";

// A list field: "*", or its values after the integer test and range check.
struct ListField {
    bool asterisk = false;
    std::vector<double> values;
};

struct FieldRule {
    const char* displayName = nullptr; // nullptr: no range check
    double minimum = 0, maximum = 0;
    bool whole = false;
};

std::optional<std::string> ReadList(const std::string& text, const FieldRule& rule,
                                    const char* nameForLength, ListField& out) {
    if (text == "*") {
        out.asterisk = true;
        return std::nullopt;
    }
    const Expansion expansion = ExpandSpecification(text);
    if (expansion.truncated)
        return TooManyValuesMessage(nameForLength);
    out.values = SplitInterpretation(expansion.interpretation);
    for (double v : out.values) {
        if (rule.whole && v != std::trunc(v))
            return NotAnIntegerMessage(v);
        if (rule.displayName != nullptr)
            if (auto message = RangeCheck(v, rule.minimum, rule.maximum, rule.displayName))
                return message;
    }
    return std::nullopt;
}

std::string LowerCaseWord(const std::string& text) {
    std::string word;
    for (char c : text)
        if (c != ' ' && c != '\t')
            word += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return word;
}

std::string BytesText(double bytes) {
    const char* units[] = {"bytes", "KB", "MB", "GB", "TB", "PB"};
    int u = 0;
    while (bytes >= 1024 && u < 5) {
        bytes /= 1024;
        ++u;
    }
    return GiveNumberTonsf(bytes, 3) + " " + units[u];
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
    std::string text =
        "N =" + PlainNumberText(N) + " (" +
        (design == CrossSectionalStudy ? "cross-sectional study" : "comparative trial") + ") has " +
        GeneralNumberText(tables) + " possible sample tables and the search needs about " +
        BytesText(bytes) + " of memory";
    if (available)
        text += ", but only " + BytesText(static_cast<double>(*available)) + " is available";
    text += ".  Nothing has been computed for it; choose a smaller N.";
    return text;
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
    Run(const MaximumSpecification& spec, MaximumView& view) : spec_(spec), view_(view) {}
    MaximumRunResult Execute();

private:
    MaximumRunResult Refuse(const std::string& message) {
        view_.ShowMessage(message);
        return {Status::Refused, message};
    }
    MaximumRunResult Fail(const std::string& message) {
        view_.ShowMessage(message);
        return {Status::Failed, message};
    }
    std::optional<std::string> ReadFields();
    std::optional<std::string> AppendSummary(const std::string& line);
    void DrawChart(MaximaChartSelection::Lines lines, double test, double MEN);
    std::optional<std::string> RowOneRange(double N, std::vector<std::int64_t>& range) const;
    std::string ChartTitle(MaximaChartSelection::Lines lines, double MEN) const;

    const MaximumSpecification& spec_;
    MaximumView& view_;
    std::filesystem::path summaryPath_, allAreasPath_, eachAreaPath_;
    std::string suffix_;
    bool noCalculation_ = false;
    ListField numbers_, tests_, mens_;
    TestPolicy policy_ = TestPolicy::Simple;
    RowOneKind rowKind_ = RowOneKind::None;
    double rowValue_ = 0;
    double mmt_ = 1, parameter_ = 0, accuracy_ = 0;
    bool summaryChartShown_ = false;
};

std::optional<std::string> Run::ReadFields() {
    const bool trial = spec_.design == ComparativeTrial;
    // Total numbers: whole, 4 to 10000, as in the particular study.
    if (auto m = ReadList(spec_.number, {"Total number", 4, 10000, true}, "Total number", numbers_))
        return m;
    if (numbers_.asterisk) {
        noCalculation_ = true;
        suffix_ += "_Number";
    } else if (numbers_.values.size() > 1) {
        suffix_ += "_Number";
    }
    // Row 1 (comparative trial only: a cross-sectional study has no fixed row total).
    if (trial) {
        // The two words in any letter case and with blanks around them: a typed "Overall"
        // would otherwise read as the number 0 and search tables with an empty row.
        const std::string word = LowerCaseWord(spec_.row1);
        if (word == "all" || word == "overall") {
            rowKind_ = word == "all" ? RowOneKind::All : RowOneKind::Overall;
            suffix_ += "_n1";
        } else {
            rowKind_ = RowOneKind::Number;
            rowValue_ = NumericReading(spec_.row1);
        }
    }
    // Tests, or a combined policy.
    if (spec_.test == "*") {
        noCalculation_ = true;
        suffix_ += "_Test";
    } else if (spec_.test == "15" || spec_.test == "35") {
        policy_ = spec_.test == "15" ? TestPolicy::Combined15 : TestPolicy::Combined35;
        tests_.values = {spec_.test == "15" ? 1.0 : 3.0};
    } else {
        if (auto m = ReadList(spec_.test, {"Test(s)", 1, 7, true}, "Test(s)", tests_))
            return m;
        if (tests_.values.size() > 1)
            suffix_ += "_Test";
    }
    summaryPath_ = spec_.dataDirectory / SummaryFileName(policy_);
    // MENs (not range-checked: any MEN simply excludes more or fewer tables).
    if (auto m = ReadList(spec_.men, {}, "Minimum expected number (MEN)", mens_))
        return m;
    if (mens_.asterisk) {
        noCalculation_ = true;
        suffix_ += "_MEN";
    } else if (mens_.values.size() > 1) {
        suffix_ += "_MEN";
    }
    mmt_ = NumericReading(spec_.mmt);
    if (mmt_ < 1)
        return std::string("The minimum marginal total must be at least 1");
    parameter_ = NumericReading(spec_.parameter);
    if (auto m = RangeCheck(parameter_, 0, 1, "Significance level / cutoff"))
        return m;
    accuracy_ = NumericReading(spec_.accuracy);
    if (auto m = RangeCheck(accuracy_, 0.000001, 1, "Accuracy required"))
        return m;
    if (!noCalculation_) {
        const std::optional<std::uint64_t> available = AvailableMemoryBytes();
        for (double N : numbers_.values)
            if (auto m = SearchMemoryRefusal(spec_.design, N, available))
                return m;
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
    if (rowKind_ == RowOneKind::All || rowKind_ == RowOneKind::Overall) {
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
    view_.SummaryLineWritten(line);
    return std::nullopt;
}

std::string Run::ChartTitle(MaximaChartSelection::Lines lines, double MEN) const {
    using Lines = MaximaChartSelection::Lines;
    std::string title = view_.DateText() + "       " + std::string(DesignName(spec_.design));
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
        view_.ShowMessage(kNoData);
        return;
    }
    data.title = ChartTitle(lines, MEN);
    data.axisLabel = "N";
    data.seriesLabel = lines == MaximaChartSelection::Lines::PerTest  ? "Test"
                       : lines == MaximaChartSelection::Lines::PerMEN ? "MEN"
                                                                      : "";
    data.referenceValue = spec_.type == MaximumType::ProportionSignificant ? parameter_ : 0;
    view_.DrawSummaryChart(data);
    summaryChartShown_ = true;
}

MaximumRunResult Run::Execute() {
    const double start = view_.Seconds();
    if (auto error = PrepareDataDirectory(spec_.dataDirectory))
        return Fail(*error);
    if (auto message = ReadFields())
        return Refuse(*message);
    allAreasPath_ = spec_.dataDirectory / std::string(AllAreasFileName);
    eachAreaPath_ = spec_.dataDirectory / std::string(EachAreaFileName);

    // A new summary file starts with its header. So does one emptied by hand: the reader
    // drops the first line, which would otherwise be a record.
    std::error_code ec;
    const auto size = std::filesystem::file_size(summaryPath_, ec);
    if (ec == std::errc::no_such_file_or_directory || (!ec && size == 0))
        if (auto error = WriteTextFile(summaryPath_, MaximaSummaryHeader() + std::string(CRLF)))
            return Fail(*error);

    const double firstTest = tests_.values.empty() ? 1 : tests_.values.front();
    const double firstMEN = mens_.values.empty() ? 0 : mens_.values.front();
    if (noCalculation_) {
        if (const auto lines = EarlierMaximaChart(suffix_))
            DrawChart(*lines, firstTest, firstMEN);
        else
            view_.ShowMessage(kNotProgrammed);
        if (summaryChartShown_) {
            view_.WaitForGoBack();
            view_.HideSummaryChart();
        }
        return {};
    }

    if (auto error = WriteTextFile(allAreasPath_, ""))
        return Fail(*error);
    view_.HideSpecificationWindow();
    view_.ShowChartWindow(!suffix_.empty());
    view_.SetBusy(true);
    auto end = [&](MaximumRunResult result) {
        view_.SetBusy(false);
        if (result.status == Status::Completed && summaryChartShown_) {
            view_.WaitForGoBack();
            view_.HideSummaryChart();
        } else if (summaryChartShown_) {
            view_.HideSummaryChart();
        }
        view_.HideChartWindow();
        view_.ShowSpecificationWindow();
        return result;
    };

    // The number of searches, for progress.
    std::uint64_t total = 0, done = 0;
    std::vector<std::int64_t> range;
    for (double N : numbers_.values) {
        if (RowOneRange(N, range))
            range.assign(1, 0);
        total += tests_.values.size() * mens_.values.size() * range.size();
    }

    AllAreasLog log(allAreasPath_);
    SearchObserverList observers;
    observers.Add(log);
    observers.Add(view_);
    const SearchContext context{observers, view_, [this] { return view_.TimeOfDayText(); }, 0};
    TablesCache cache;
    double lastLine = start;
    const bool overall = rowKind_ == RowOneKind::Overall;

    for (std::size_t iN = 0; iN < numbers_.values.size(); ++iN) {
        const double Nd = numbers_.values[iN];
        const auto N = static_cast<std::int64_t>(Nd);
        if (auto message = RowOneRange(Nd, range)) {
            view_.ShowMessage(*message);
            return end({Status::Refused, *message});
        }
        for (std::size_t iT = 0; iT < tests_.values.size(); ++iT) {
            const int test = static_cast<int>(tests_.values[iT]);
            for (std::size_t iM = 0; iM < mens_.values.size(); ++iM) {
                const double MEN = mens_.values[iM];
                FoundMaximum carried;
                double accuracyReached = accuracy_;
                for (std::size_t iR = 0; iR < range.size(); ++iR) {
                    if (view_.StopRequested())
                        return end({Status::Stopped, ""});
                    view_.Progress("Searches", done, total);
                    const std::int64_t m = range[iR];
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

                    SearchTables& tables = cache.Get(spec_.design, N, m, MEN, mmt_);
                    const PropertyEvaluator evaluator(tables, test, policy_, spec_.type,
                                                      parameter_);
                    SearchStarted started;
                    started.design = spec_.design;
                    started.N = N;
                    started.m = m;
                    started.test = test;
                    started.MEN = MEN;
                    started.MMT = mmt_;
                    started.parameter = parameter_;
                    started.accuracy = accuracy_;
                    started.type = spec_.type;
                    started.headingLine = SearchHeadingLine(view_.DateText(), spec_.design, N, m,
                                                            test, MEN, mmt_, accuracy_);
                    started.titleLine = SearchTitleLine(spec_.design, spec_.type, parameter_);
                    const bool carries = overall && iR > 0;
                    started.freshMaximum = !carries;
                    observers.OnSearchStarted(started);

                    const SearchResult result =
                        RunAreaSearch(search, evaluator, carries ? &carried : nullptr, context);
                    log.Flush();
                    if (log.Error())
                        return end(Fail(*log.Error()));
                    if (result.areasEvaluated > 0)
                        if (auto error = WriteTextFile(eachAreaPath_,
                                                       EachAreaText(evaluator, result.lastArea,
                                                                    view_.DateText(),
                                                                    result.areasEvaluated == 1)))
                            return end(Fail(*error));
                    ++done;
                    if (result.stopped)
                        return end({Status::Stopped, ""});
                    if (!result.converged) {
                        view_.ShowMessage(result.failure);
                        // The summary records the accuracy actually reached (1 when no
                        // bound of the residue was ever found), so that charts asking for
                        // the accuracy required leave the record out.
                        const double reached = result.residueBound < 0
                                                   ? 1.0
                                                   : result.residueBound - result.maximum.value;
                        accuracyReached = std::max(accuracyReached, reached);
                    }
                    carried = result.maximum;
                    if (overall && iR + 1 < range.size())
                        continue;

                    SummaryRecord record;
                    record.date = view_.DateText();
                    record.design = spec_.design;
                    record.N = N;
                    if (spec_.design == ComparativeTrial)
                        record.row1Field = rowKind_ == RowOneKind::All
                                               ? PlainNumberText(static_cast<double>(m))
                                           : rowKind_ == RowOneKind::Overall ? "0"
                                                                             : spec_.row1;
                    record.test = test;
                    record.MEN = MEN;
                    record.MMT = mmt_;
                    record.type = spec_.type;
                    record.parameter = parameter_;
                    record.accuracy = accuracyReached;
                    record.maximum = overall ? carried : result.maximum;
                    const double now = view_.Seconds();
                    record.seconds = now - lastLine;
                    lastLine = now;
                    if (auto error = AppendSummary(SummaryLineText(record)))
                        return end(Fail(*error));
                    accuracyReached = accuracy_;

                    // The dimensions completed by this search, outermost first.
                    std::string completed;
                    if (numbers_.values.size() > 1 && iN + 1 == numbers_.values.size())
                        completed += "_Number";
                    if (spec_.design == ComparativeTrial && range.size() > 1 &&
                        iR + 1 == range.size())
                        completed += "_n1";
                    if (tests_.values.size() > 1 && iT + 1 == tests_.values.size())
                        completed += "_Test";
                    if (mens_.values.size() > 1 && iM + 1 == mens_.values.size())
                        completed += "_MEN";
                    const bool allOrOverall = rowKind_ == RowOneKind::All || overall;
                    if (const auto lines = MaximaSummaryChartDue(suffix_, completed, allOrOverall))
                        DrawChart(*lines, test, MEN);
                    if (spec_.pause || suffix_.empty())
                        view_.WaitForNextChart();
                }
            }
        }
    }
    view_.Progress("Searches", total, total);
    return end({});
}

} // namespace

MaximumRunResult RunMaximumStudy(const MaximumSpecification& spec, MaximumView& view) {
    Run run(spec, view);
    return run.Execute();
}

} // namespace quillon
