#include "particular/result_files.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/pvalues.h"
#include "particular/listing_text.h"

#include <algorithm>
#include <cmath>
#include <thread>

namespace quillon {

namespace {

namespace fs = std::filesystem;

std::string S(double x) {
    return PlainNumberText(x);
}
const std::string kH = "P value   \tProportion\tCum. proportion\tUpper bound prop.\t"
                       "Upper bound cum. prop.";

// Lines first..last-1 of a listing are formatted in chunks, several chunks at a time on
// separate threads, and handed to the sink in order.
template <typename FormatChunk>
std::optional<std::string> FormatInChunks(std::size_t count, const TextSink& sink,
                                          FormatChunk formatChunk) {
    constexpr std::size_t kChunk = 8192;
    const unsigned hw = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t chunks = (count + kChunk - 1) / kChunk;
    std::vector<std::string> texts(hw);
    for (std::size_t first = 0; first < chunks; first += hw) {
        const std::size_t batch = std::min<std::size_t>(hw, chunks - first);
        auto run = [&](std::size_t j) {
            const std::size_t begin = (first + j) * kChunk;
            texts[j].clear();
            formatChunk(begin, std::min(count, begin + kChunk), texts[j]);
        };
        if (batch == 1) {
            run(0);
        } else {
            std::vector<std::thread> threads;
            for (std::size_t j = 0; j < batch; ++j)
                threads.emplace_back(run, j);
            for (auto& t : threads)
                t.join();
        }
        for (std::size_t j = 0; j < batch; ++j)
            if (auto error = sink(texts[j]))
                return error;
    }
    return std::nullopt;
}

void AppendCellLabel(std::string& out, const TableArray& tables, std::size_t row) {
    AppendTableLabel(out, tables.Cell(row, 1), tables.Cell(row, 2), tables.Cell(row, 3),
                     tables.Cell(row, 4));
}

// A sink that writes a file from empty and then appends to it.
class FileSink {
public:
    explicit FileSink(fs::path file, bool fromEmpty) : file_(std::move(file)), first_(fromEmpty) {}
    std::optional<std::string> operator()(std::string_view piece) {
        if (first_) {
            first_ = false;
            return WriteTextFile(file_, piece);
        }
        if (piece.empty())
            return std::nullopt;
        return AppendTextFile(file_, piece);
    }

private:
    fs::path file_;
    bool first_;
};

} // namespace

std::string DesignName(int design) {
    return design == CrossSectionalStudy ? "Cross-sectional study" : "Comparative trial";
}

std::string CaptionLine(const EvaluationPoint& point, const PointTexts& texts, bool withInterval) {
    std::string s = texts.captionDate;
    s += "       N =" + S(static_cast<double>(point.N));
    s += "       " + DesignName(point.design);
    s += "       pi(col) =" + S(point.pCol);
    if (point.design == CrossSectionalStudy)
        s += "       pi(row) =" + S(point.row);
    else
        s += "       m (number in row 1) =" + S(point.row);
    s += "       tests: " + texts.testsText;
    if (withInterval)
        s += "       delta pi(col) =" + S(point.interval);
    s += "       MEN =" + S(point.MEN);
    s += "       MMT =" + S(point.MMT);
    return s;
}

std::optional<std::string> WriteTableListing(const PointEvaluation& evaluation,
                                             const PointTexts& texts, const TextSink& sink) {
    const TableArray& tables = evaluation.tables;
    std::string head = CaptionLine(evaluation.point, texts);
    head += CRLF;
    head += "A dummy P value of 1.1 is recorded if a marginal total is < MMT specified; and a "
            "value of 1.2 if an expected number is < MEN specified; and a value of "
            "1.3 if both.  ";
    head += CRLF;
    head += "Table          \tProportion          \tUpper bound      ";
    for (int k = 1; k <= 7; ++k)
        head += "\tP (test" + S(k) + ")";
    head += CRLF;
    if (auto error = sink(head))
        return error;
    return FormatInChunks(tables.Count(), sink,
                          [&](std::size_t begin, std::size_t end, std::string& out) {
                              for (std::size_t i = begin; i < end; ++i) {
                                  const std::size_t row = i + 1;
                                  AppendCellLabel(out, tables, row);
                                  out += '\t';
                                  AppendPlainNumberText(out, tables.Probability(row));
                                  out += '\t';
                                  AppendPlainNumberText(out, tables.Upper(row));
                                  for (int k = 1; k <= 7; ++k) {
                                      out += '\t';
                                      if (tables.HasTest(k))
                                          AppendSevenFigures(out, tables.Result(row, k));
                                  }
                                  out += CRLF;
                              }
                          });
}

std::optional<std::string> WriteOrderedListing(const PointEvaluation& evaluation,
                                               const TextSink& sink) {
    const TableArray& tables = evaluation.tables;
    std::string head;
    head += CRLF;
    head += "After ordering tables by increasing P value:";
    head += CRLF;
    head += "Table     \t" + kH;
    head += CRLF;
    if (auto error = sink(head))
        return error;
    for (int k : evaluation.point.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        std::string testHead;
        testHead += CRLF;
        testHead += "test" + S(k);
        testHead += CRLF;
        if (auto error = sink(testHead))
            return error;
        // The running sums at the start of every chunk, by the same additions in the same
        // order as one pass over the listing, so each chunk can continue them on its own.
        constexpr std::size_t kChunk = 8192;
        std::vector<std::pair<double, double>> startSums;
        double cum = 0, cumUB = 0;
        for (std::size_t t = 0; t < r.order.size(); ++t) {
            if (t % kChunk == 0)
                startSums.emplace_back(cum, cumUB);
            cum = cum + tables.Probability(r.order[t]);
            cumUB = cumUB + tables.Upper(r.order[t]);
        }
        auto error = FormatInChunks(r.order.size(), sink,
                                    [&](std::size_t begin, std::size_t end, std::string& out) {
                                        double c = startSums[begin / kChunk].first;
                                        double cu = startSums[begin / kChunk].second;
                                        for (std::size_t t = begin; t < end; ++t) {
                                            const std::uint32_t row = r.order[t];
                                            c = c + tables.Probability(row);
                                            cu = cu + tables.Upper(row);
                                            AppendCellLabel(out, tables, row);
                                            out += '\t';
                                            AppendSevenFigures(out, tables.Result(row, k));
                                            out += '\t';
                                            AppendPlainNumberText(out, tables.Probability(row));
                                            out += '\t';
                                            AppendSevenFigures(out, c);
                                            out += '\t';
                                            AppendPlainNumberText(out, tables.Upper(row));
                                            out += '\t';
                                            AppendSevenFigures(out, cu);
                                            out += CRLF;
                                        }
                                    });
        if (error)
            return error;
    }
    return std::nullopt;
}

std::optional<std::string> WriteCombinedListing(const PointEvaluation& evaluation,
                                                const TextSink& sink) {
    std::string head;
    head += CRLF;
    head += "After combining identical P values:";
    head += CRLF;
    head += "n(same)     \t" + kH;
    head += CRLF;
    if (auto error = sink(head))
        return error;
    for (int k : evaluation.point.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        std::string testHead;
        testHead += CRLF;
        testHead += "test" + S(k);
        testHead += CRLF;
        if (auto error = sink(testHead))
            return error;
        auto error = FormatInChunks(
            r.groups.size(), sink, [&](std::size_t begin, std::size_t end, std::string& out) {
                for (std::size_t g = begin; g < end; ++g) {
                    const PValueGroup& group = r.groups[g];
                    AppendPlainNumberText(out, static_cast<double>(group.count));
                    out += '\t';
                    AppendSevenFigures(out, group.pValue);
                    out += '\t';
                    AppendPlainNumberText(out, group.proportion);
                    out += '\t';
                    AppendSevenFigures(out, group.cumulative);
                    out += '\t';
                    AppendPlainNumberText(out, group.upperBound);
                    out += '\t';
                    AppendSevenFigures(out, group.cumulativeUpperBound);
                    out += CRLF;
                }
            });
        if (error)
            return error;
    }
    return std::nullopt;
}

std::optional<std::string> WriteResultsFile(const fs::path& dataDirectory,
                                            const PointEvaluation& evaluation,
                                            const PointTexts& texts) {
    FileSink file(dataDirectory / ResultsFileName, true);
    const TextSink sink = [&file](std::string_view piece) { return file(piece); };
    if (auto error = WriteTableListing(evaluation, texts, sink))
        return error;
    if (auto error = WriteOrderedListing(evaluation, sink))
        return error;
    return WriteCombinedListing(evaluation, sink);
}

std::optional<std::string> WriteResultsFileSection1(const fs::path& dataDirectory,
                                                    const PointEvaluation& evaluation,
                                                    const PointTexts& texts) {
    FileSink file(dataDirectory / ResultsFileName, true);
    const TextSink sink = [&file](std::string_view piece) { return file(piece); };
    return WriteTableListing(evaluation, texts, sink);
}

std::string SummaryHeading() {
    return "Date\tMethod\tN\tCol1\tRow1\tD_col1\tD_row1\tTest\tMEN\tMMT\tParam.\tProp sig.\t"
           "Upper bound\tMax. dif.";
}

std::vector<std::string> SummaryLines(const PointEvaluation& evaluation,
                                      const std::string& summaryDate) {
    const EvaluationPoint& p = evaluation.point;
    std::vector<std::string> lines;
    for (int k : p.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        std::string s = summaryDate;
        for (double v :
             {static_cast<double>(p.design), static_cast<double>(p.N), p.pCol, p.row, p.interval,
              p.rowInterval, static_cast<double>(k), p.MEN, p.MMT, p.parameter})
            s += "\t" + S(v);
        for (double v : {r.propSig, r.upperBound, r.maxDif})
            s += "\t" + GiveSignedNumberTonsf(v, 7);
        lines.push_back(std::move(s));
    }
    return lines;
}

std::optional<std::string> AppendSummaryLine(const fs::path& dataDirectory,
                                             const std::string& line) {
    const fs::path file = dataDirectory / SummaryFileName;
    std::error_code ec;
    std::string text;
    if (!fs::exists(file, ec)) {
        text += SummaryHeading();
        text += CRLF;
    }
    text += line;
    text += CRLF;
    return AppendTextFile(file, text);
}

std::vector<SummaryRecord> ReadSummaryRecords(std::string_view text) {
    std::vector<SummaryRecord> records;
    const std::vector<std::string> lines = SplitLines(text);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        SummaryRecord record;
        std::size_t start = 0;
        int field = 1;
        for (; field <= 13; ++field) {
            const std::size_t tab = line.find('\t', start);
            if (tab == std::string::npos)
                break;
            record.field[field] = NumericReading(std::string_view(line).substr(start, tab - start));
            start = tab + 1;
        }
        if (field <= 13)
            continue; // fewer than 14 fields
        record.field[14] = NumericReading(std::string_view(line).substr(start));
        records.push_back(record);
    }
    return records;
}

std::vector<SummaryRecord> ReadSummaryFile(const fs::path& dataDirectory) {
    const std::optional<std::string> text = ReadTextFile(dataDirectory / SummaryFileName);
    if (!text)
        return {};
    return ReadSummaryRecords(*text);
}

SummaryChartData SelectSummaryChart(const std::vector<SummaryRecord>& records,
                                    const SummaryChartQuery& q) {
    SummaryChartData data;
    const int yField = q.summaryChartMode == 2 ? 14 : 12;
    const double rowReading = NumericReading(q.txtP_row);
    for (const SummaryRecord& r : records) {
        const double* f = r.field;
        if (f[2] != q.design)
            continue;
        if (q.xField != 3 && f[3] != q.N)
            continue;
        if (q.xField != 4 && f[4] != q.pCol)
            continue;
        if (q.design == CrossSectionalStudy) {
            if (f[5] != q.rowValue)
                continue;
        } else if (rowReading < 1) {
            if (std::floor(f[3] * rowReading) != f[5])
                continue;
        } else if (f[5] != q.rowValue) {
            continue;
        }
        if (q.seriesField != 8 && f[8] != q.test)
            continue;
        if (q.xField != 9 && q.seriesField != 9 && f[9] != q.MEN)
            continue;
        if (f[10] != q.MMT || f[11] != q.parameter)
            continue;
        data.x.push_back(f[q.xField]);
        data.y.push_back(f[yField]);
        data.series.push_back(q.seriesField == 0 ? 0 : f[q.seriesField]);
    }

    std::string title = q.captionDate + "       " + DesignName(q.design);
    if (q.xField != 3)
        title += "       N =" + S(q.N);
    if (q.xField != 4)
        title += "       pi(col) =" + S(q.pCol);
    if (q.design == CrossSectionalStudy)
        title += "       pi(row) =" + S(q.rowValue);
    else if (rowReading < 1)
        title += "       m/N (prop. in row 1) =" + q.txtP_row;
    else
        title += "       m (number in row 1) =" + S(q.rowValue);
    if (q.seriesField != 8)
        title += "       test: " + q.txtTest;
    if (q.seriesField != 9)
        title += "       MEN =" + S(q.MEN);
    title += "       MMT =" + S(q.MMT);
    title += CRLF;
    if (q.summaryChartMode == 2)
        title +=
            "Maximum excess of actual over nominal Type I error for alpha up to" + S(q.parameter);
    else
        title += "Actual Type I error when alpha =" + S(q.parameter);
    data.title = title;
    data.axisLabel = q.axisLabel;
    data.seriesLabel = q.seriesLabel;
    data.referenceValue = q.summaryChartMode == 2 ? 0 : q.parameter;
    return data;
}

} // namespace quillon
