#include "maxima/result_files.h"

#include "core/designs.h"
#include "core/files.h"
#include "core/listing_text.h"
#include "core/numtext.h"
#include "core/tables.h"

#include <algorithm>
#include <cmath>

namespace quillon {

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}
std::string S(std::int64_t x) {
    return PlainNumberText(static_cast<double>(x));
}
std::string Sf7(double x) {
    return GiveSignedNumberTonsf(x, 7);
}

} // namespace

std::string SummaryFileName(TestPolicy policy) {
    // The study's summary files are in the order of the policies: simple, 15, 35.
    const std::size_t index = policy == TestPolicy::Simple       ? 0
                              : policy == TestPolicy::Combined15 ? 1
                                                                 : 2;
    return std::string(MaximumStudyEntry.summaryFiles[index]);
}

std::string SearchHeadingLine(const std::string& date, const SearchKey& key, std::int64_t m) {
    std::string line =
        date + "       " + std::string(DesignName(key.design)) + "    N =" + S(key.N);
    if (key.design == ComparativeTrial)
        line += "    m (number in row 1) =" + S(m);
    line += "    test =" + S(static_cast<double>(key.test)) + "    MEN =" + S(key.MEN) +
            "    MMT =" + S(key.MMT) + "    Accuracy =" + S(key.accuracy);
    return line;
}

std::string SearchTitleLine(DesignCode design, Property type, double parameter) {
    std::string line =
        type == Property::ActualTypeIError
            ? "Maximum value of (actual Type I error when alpha =" + S(parameter)
            : "Maximum value of (maximum excess of actual over nominal Type I error for "
              "values of alpha up to" +
                  S(parameter);
    line += design == CrossSectionalStudy ? ") across all values of pi(col) and pi(row)"
                                          : ") across all values of pi(col)";
    return line;
}

// ---------------------------------------------------------------------------------------

void AllAreasLog::Line(const std::string& line) {
    text_ += line;
    text_ += CRLF;
    if (text_.size() > FlushBytes && !file_.empty())
        Flush();
}

void AllAreasLog::Flush() {
    if (file_.empty() || text_.empty())
        return;
    if (auto error = AppendTextFile(file_, text_); error && !error_)
        error_ = error;
    text_.clear();
}

std::string AllAreasLog::TakeText() {
    std::string out;
    out.swap(text_);
    return out;
}

void AllAreasLog::OnSearchStarted(const SearchStarted& e) {
    design_ = e.key.design;
    Line(std::string(104, '-'));
    Line(e.headingLine);
    Line(e.titleLine);
    if (e.key.design == CrossSectionalStudy)
        Line("pi(col)  \tpi(row)  \tProperty value\tUpper bound\tUpper bound < max. value + delta");
    else
        Line("pi(col)  \tRow1\tProperty\tUpper bound");
}

void AllAreasLog::OnStripPassStarted(const StripPassStarted& e) {
    Line("Testing areas to form strips of width" + S(e.stripWidth) + ":");
}

void AllAreasLog::OnAreaEvaluated(const AreaEvaluated& e) {
    Line(Sf7(e.pcol) + "\t" + Sf7(e.prow) + "\t" + Sf7(e.value) + "\t" + Sf7(e.bound) + "\t" +
         (e.passes ? "y" : "n"));
}

void AllAreasLog::OnSidesDone(const SidesDone&) {
    Line("");
}

void AllAreasLog::OnSurveyStarted(const SurveyStarted& e) {
    Line("Surveying residual area at " + e.timeOfDay + ":");
    Line("pi(col)  \tpi(row)  \tProperty value\tUpper bound");
}

void AllAreasLog::OnSurveyPoint(const SurveyPoint& e) {
    Line(Sf7(e.pcol) + "\t" + Sf7(e.prow) + "\t" + Sf7(e.value) + "\t" + Sf7(e.bound));
}

void AllAreasLog::OnSurveyDone(const SurveyDone& e) {
    Line("Maximum property value =" + Sf7(e.value) + "     at pi(col) =" + Sf7(e.pcol) +
         " and pi(row) =" + Sf7(e.prow));
    Line("Maximum property upper bound =" + Sf7(e.bound));
    Line("");
}

void AllAreasLog::OnGridPassDone(const GridPassDone& e) {
    const std::string m = S(e.m);
    for (std::size_t k = 0; k < e.points.size(); ++k)
        Line(Sf7(e.points[k]) + "\t" + m + "\t" + Sf7(e.values[k]) + "\t" + Sf7(e.bounds[k]));
    Line("Maximum property value =" + Sf7(e.maximum));
    Line("Maximum property upper bound =" + Sf7(e.residueBound));
    Line("");
}

void AllAreasLog::OnSearchFinished(const SearchFinished&) {
    if (design_ == CrossSectionalStudy) {
        Line("Finished");
        Line("");
    }
}

// ---------------------------------------------------------------------------------------

std::optional<std::string> WriteEachAreaText(const PropertyEvaluator& evaluator,
                                             const SearchArea& area, const std::string& date,
                                             bool withSortedValues, const TextPieces& sink) {
    const SearchTables& tables = evaluator.Tables();
    const DesignCode design = tables.Design();
    const double x = design == ComparativeTrial ? static_cast<double>(tables.M()) : area.prow;
    TableArray rows;
    EnumerateTables(design, tables.N(), area.pcol, area.wcol, x, area.wrow, rows);
    const std::vector<double> P = evaluator.TablePValues();

    std::string text = date + "      N =" + S(tables.N()) + "      " +
                       std::string(DesignOf(design).listingName) + "      pi(col) =" + S(area.pcol);
    if (design == CrossSectionalStudy)
        text += "      pi(row) =" + S(area.prow);
    else
        text += "      n in row 1 =" + S(tables.M());
    text += "      delta_pi(col) =" + S(area.wcol) + "      delta_pi(row) =" + S(area.wrow) +
            "      Test =" + S(static_cast<double>(evaluator.Test()));
    text += CRLF;
    text += "Table     \tTable probability\tUpper bound     \tP value";
    text += CRLF;
    // The text goes out a piece at a time, so that an area of many millions of tables is
    // never held whole as text.
    constexpr std::size_t kPiece = std::size_t{1} << 20;
    auto flush = [&](bool whenFull) -> std::optional<std::string> {
        if (whenFull && text.size() < kPiece)
            return std::nullopt;
        auto error = sink(text);
        text.clear();
        return error;
    };
    for (std::size_t t = 1; t <= rows.Count(); ++t) {
        AppendTableLabel(text, rows.Cell(t, 1), rows.Cell(t, 2), rows.Cell(t, 3), rows.Cell(t, 4));
        text += '\t';
        AppendPlainNumberText(text, rows.Probability(t));
        text += '\t';
        AppendPlainNumberText(text, rows.Upper(t));
        text += '\t';
        AppendSevenFigures(text, P[t - 1]);
        text += CRLF;
        if (auto error = flush(true))
            return error;
    }
    if (evaluator.Type() != Property::MaximumExcess)
        return flush(false);

    const std::vector<double>& distinct = evaluator.Distinct();
    if (withSortedValues) {
        std::vector<double> sorted = P;
        std::sort(sorted.begin(), sorted.end());
        text += CRLF;
        for (double p : sorted) {
            text += GiveNumberTonsf(p, 7);
            text += CRLF;
            if (auto error = flush(true))
                return error;
        }
        text += CRLF;
        for (double p : distinct) {
            text += GiveNumberTonsf(p, 7);
            text += CRLF;
            if (auto error = flush(true))
                return error;
        }
    }
    // The corner probability of each distinct P value, summed in table order.
    std::vector<double> mass(distinct.size(), 0.0);
    for (std::size_t t = 1; t <= rows.Count(); ++t) {
        const auto j = static_cast<std::size_t>(
            std::lower_bound(distinct.begin(), distinct.end(), P[t - 1]) - distinct.begin());
        mass[j] = mass[j] + rows.Probability(t);
    }
    text += CRLF;
    for (std::size_t j = 0; j < distinct.size(); ++j) {
        text += GiveNumberTonsf(distinct[j], 7) + "\t" + GiveNumberTonsf(mass[j], 7);
        text += CRLF;
        if (auto error = flush(true))
            return error;
    }
    return flush(false);
}

std::string EachAreaText(const PropertyEvaluator& evaluator, const SearchArea& area,
                         const std::string& date, bool withSortedValues) {
    std::string whole;
    (void)WriteEachAreaText(evaluator, area, date, withSortedValues,
                            [&](std::string_view piece) -> std::optional<std::string> {
                                whole += piece;
                                return std::nullopt;
                            });
    return whole;
}

// ---------------------------------------------------------------------------------------

std::string MaximaSummaryCodec::Heading() {
    return "Date\tS_Meth.\tN\tn(row1)\tTest\tMEN\tMMT\tQuant.\tParam.\tAccur.\tValue\tAt "
           "p(col)\tAt "
           "p(row)\tTime";
}

std::string MaximaSummaryCodec::Format(const MaximaSummaryRecord& r) {
    const SearchKey& k = r.key;
    std::string line = r.date + "\t" + S(static_cast<double>(DesignNumber(k.design))) + "\t" +
                       S(k.N) + "\t" + k.row1 + "\t" + S(static_cast<double>(k.test)) + "\t" +
                       S(k.MEN) + "\t" + S(k.MMT) + "\t" + std::string(PropertyFileText(k.type)) +
                       "\t" + S(k.parameter) + "\t" + S(r.accuracyReached) + "\t" +
                       Sf7(r.maximum.value) + "\t" + Sf7(r.maximum.pcol) + "\t";
    if (k.design == CrossSectionalStudy)
        line += Sf7(r.maximum.prow);
    else
        line += S(r.maximum.m);
    line += "\t" + S(std::floor(r.seconds));
    return line;
}

// The row-1 field is the fourth.
constexpr std::size_t RowOneField = 4;

MaximaSummaryReading MaximaSummaryCodec::Parse(SummaryFields fields) {
    MaximaSummaryReading record;
    for (std::size_t k = 2; k <= fields.size(); ++k)
        record.field[k] = NumericReading(fields[k - 1]);
    record.row1 = fields[RowOneField - 1];
    return record;
}

std::optional<SearchKey> SearchKeyOfRecord(const MaximaSummaryReading& record, TestPolicy policy) {
    const double* f = record.field;
    const bool whole = std::abs(f[2]) < 1e9 && f[2] == std::floor(f[2]);
    const std::optional<DesignCode> design =
        whole ? DesignFromNumber(static_cast<int>(f[2])) : std::nullopt;
    const std::optional<Property> type = PropertyFromNumber(f[8]);
    if (!design || !type)
        return std::nullopt;
    SearchKey key;
    key.design = *design;
    key.N = static_cast<std::int64_t>(f[3]);
    key.row1 = record.row1;
    key.test = static_cast<int>(f[5]);
    key.MEN = f[6];
    key.MMT = f[7];
    key.policy = policy;
    key.type = *type;
    key.parameter = f[9];
    key.accuracy = f[10];
    return key;
}

void SelectMaximaRecords(std::string_view fileText, const MaximaChartSelection& s,
                         SummaryChartData& data) {
    const SearchKey& key = s.key;
    const double type = PropertyNumber(key.type);
    const double rowValue = NumericReading(key.row1);
    for (const MaximaSummaryReading& record : ReadSummaryRecords<MaximaSummaryCodec>(fileText)) {
        const double* f = record.field;
        if (f[2] != DesignNumber(key.design))
            continue;
        if (key.design == ComparativeTrial) {
            if (s.rowKind == RowOneKind::Number && f[4] != rowValue)
                continue;
            if (s.rowKind == RowOneKind::Overall && f[4] != 0)
                continue;
            if (s.rowKind == RowOneKind::All && f[4] < 1)
                continue;
        }
        if (s.lines != MaximaChartSelection::Lines::PerTest && f[5] != key.test)
            continue;
        if (s.lines != MaximaChartSelection::Lines::PerMEN && f[6] != key.MEN)
            continue;
        if (f[7] != key.MMT || f[8] != type || f[9] != key.parameter || f[10] > key.accuracy)
            continue;
        double x = f[3];
        if (key.design == ComparativeTrial && s.rowKind == RowOneKind::All && f[3] != 0)
            x = f[3] + f[4] / f[3];
        data.x.push_back(x);
        data.y.push_back(f[11]);
        data.series.push_back(s.lines == MaximaChartSelection::Lines::PerTest  ? f[5]
                              : s.lines == MaximaChartSelection::Lines::PerMEN ? f[6]
                                                                               : 0);
    }
}

} // namespace quillon
