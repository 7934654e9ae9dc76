#include "particular/result_files.h"

#include "core/designs.h"
#include "core/files.h"
#include "core/listing_text.h"
#include "core/numtext.h"
#include "core/pvalues.h"
#include "core/test_registry.h"
#include "study/worker_pool.h"

#include <algorithm>
#include <cmath>
#include <deque>

namespace quillon {

namespace {

namespace fs = std::filesystem;

std::string S(double x) {
    return PlainNumberText(x);
}
const std::string kH = "P value   \tProportion\tCum. proportion\tUpper bound prop.\t"
                       "Upper bound cum. prop.";

constexpr std::size_t kChunk = 16384;

// Lines 0..count-1 of a listing are formatted in chunks on worker threads, a few chunks
// ahead of the one being handed to the sink, so formatting and writing overlap.
template <typename FormatChunk>
std::optional<std::string> FormatInChunks(std::size_t count, const TextSink& sink,
                                          const FormatChunk& formatChunk) {
    const std::size_t chunks = (count + kChunk - 1) / kChunk;
    if (chunks <= 1) {
        std::string text;
        formatChunk(0, count, text);
        return sink(text);
    }
    const std::size_t ahead = WorkerPool::Shared().Threads();
    std::deque<Task<std::string>> pending;
    std::size_t next = 0;
    auto launch = [&] {
        const std::size_t begin = next * kChunk, end = std::min(count, begin + kChunk);
        ++next;
        pending.push_back(WorkerPool::Shared().Submit([begin, end, &formatChunk] {
            std::string text;
            formatChunk(begin, end, text);
            return text;
        }));
    };
    while (next < chunks && pending.size() < ahead)
        launch();
    while (!pending.empty()) {
        const std::string text = pending.front().Get();
        pending.pop_front();
        if (next < chunks)
            launch();
        if (auto error = sink(text)) {
            for (auto& f : pending)
                (void)f.Get();
            return error;
        }
    }
    return std::nullopt;
}

// The texts of every row that the listings repeat (the label, the probability and the
// upper bound each appear in section 1 and once per test in section 2), formatted once.
// Not kept for very large listings, where they would take more memory than they save.
class RowTexts {
public:
    explicit RowTexts(const TableArray& tables) : tables_(tables) {
        const std::size_t T = tables.Count();
        if (T > kMaxRows)
            return;
        chunks_.resize((T + kChunk - 1) / kChunk);
        WorkerPool::Shared().ForEach(chunks_.size(), [this, T](std::size_t c) { FillChunk(c, T); });
    }

    void AppendLabel(std::string& out, std::size_t row) const { Append(out, row, 0); }
    void AppendProbability(std::string& out, std::size_t row) const { Append(out, row, 1); }
    void AppendUpper(std::string& out, std::size_t row) const { Append(out, row, 2); }

private:
    static constexpr std::size_t kMaxRows = 10'000'000;
    struct Chunk {
        std::string text;
        std::vector<std::uint32_t> offsets; // 3 per row and one at the end
    };

    void FillChunk(std::size_t c, std::size_t T) {
        Chunk& chunk = chunks_[c];
        const std::size_t begin = c * kChunk, end = std::min(T, begin + kChunk);
        chunk.text.reserve((end - begin) * 48);
        for (std::size_t i = begin; i < end; ++i) {
            const std::size_t row = i + 1;
            chunk.offsets.push_back(static_cast<std::uint32_t>(chunk.text.size()));
            AppendTableLabel(chunk.text, tables_.Cell(row, 1), tables_.Cell(row, 2),
                             tables_.Cell(row, 3), tables_.Cell(row, 4));
            chunk.offsets.push_back(static_cast<std::uint32_t>(chunk.text.size()));
            AppendPlainNumberText(chunk.text, tables_.Probability(row));
            chunk.offsets.push_back(static_cast<std::uint32_t>(chunk.text.size()));
            AppendPlainNumberText(chunk.text, tables_.Upper(row));
        }
        chunk.offsets.push_back(static_cast<std::uint32_t>(chunk.text.size()));
    }

    void Append(std::string& out, std::size_t row, int part) const {
        if (chunks_.empty()) {
            if (part == 0)
                AppendTableLabel(out, tables_.Cell(row, 1), tables_.Cell(row, 2),
                                 tables_.Cell(row, 3), tables_.Cell(row, 4));
            else
                AppendPlainNumberText(out,
                                      part == 1 ? tables_.Probability(row) : tables_.Upper(row));
            return;
        }
        const Chunk& chunk = chunks_[(row - 1) / kChunk];
        const std::size_t j = ((row - 1) % kChunk) * 3 + static_cast<std::size_t>(part);
        out.append(chunk.text, chunk.offsets[j], chunk.offsets[j + 1] - chunk.offsets[j]);
    }

    const TableArray& tables_;
    std::vector<Chunk> chunks_;
};

std::optional<std::string> TableListing(const PointEvaluation& evaluation, const PointTexts& texts,
                                        const TextSink& sink, const RowTexts& rowTexts);
// A blank line, the section's title, and the column heads with the first column's own.
std::string SectionHead(std::string_view title, std::string_view firstColumn) {
    std::string head(CRLF);
    head.append(title).append(CRLF);
    head.append(firstColumn).append("\t").append(kH).append(CRLF);
    return head;
}

// A blank line and "test" with the test number, over each test's part of a section.
std::string TestHead(int k) {
    return std::string(CRLF) + "test" + S(k) + std::string(CRLF);
}

std::optional<std::string> OrderedListing(const PointEvaluation& evaluation, const TextSink& sink,
                                          const RowTexts& rowTexts);

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

std::string CaptionLine(const EvaluationPoint& point, const PointTexts& texts, bool withInterval) {
    std::string s = texts.captionDate;
    s += "       N =" + S(static_cast<double>(point.N));
    s += "       ";
    s += DesignName(point.design);
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
    return TableListing(evaluation, texts, sink, RowTexts(evaluation.tables));
}

std::optional<std::string> WriteOrderedListing(const PointEvaluation& evaluation,
                                               const TextSink& sink) {
    return OrderedListing(evaluation, sink, RowTexts(evaluation.tables));
}

namespace {

std::optional<std::string> TableListing(const PointEvaluation& evaluation, const PointTexts& texts,
                                        const TextSink& sink, const RowTexts& rowTexts) {
    const TableArray& tables = evaluation.tables;
    std::string head = CaptionLine(evaluation.point, texts);
    head += CRLF;
    head += "A dummy P value of 1.1 is recorded if a marginal total is < MMT specified; and a "
            "value of 1.2 if an expected number is < MEN specified; and a value of "
            "1.3 if both.  ";
    head += CRLF;
    head += "Table          \tProportion          \tUpper bound      ";
    const std::vector<int> columns = ListingColumns(tables.EnabledTests());
    for (int test : columns)
        head += "\tP (test" + S(test) + ")";
    head += CRLF;
    if (auto error = sink(head))
        return error;
    return FormatInChunks(tables.Count(), sink,
                          [&](std::size_t begin, std::size_t end, std::string& out) {
                              for (std::size_t i = begin; i < end; ++i) {
                                  const std::size_t row = i + 1;
                                  rowTexts.AppendLabel(out, row);
                                  out += '\t';
                                  rowTexts.AppendProbability(out, row);
                                  out += '\t';
                                  rowTexts.AppendUpper(out, row);
                                  for (int k : columns) {
                                      out += '\t';
                                      if (tables.HasTest(k))
                                          AppendSevenFigures(out, tables.Result(row, k));
                                  }
                                  out += CRLF;
                              }
                          });
}

std::optional<std::string> OrderedListing(const PointEvaluation& evaluation, const TextSink& sink,
                                          const RowTexts& rowTexts) {
    const TableArray& tables = evaluation.tables;
    if (auto error =
            sink(SectionHead("After ordering tables by increasing P value:", "Table     ")))
        return error;
    for (int k : evaluation.point.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        if (auto error = sink(TestHead(k)))
            return error;
        // The running sums at the start of every chunk, by the same additions in the same
        // order as one pass over the listing, so each chunk can continue them on its own.
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
                                            rowTexts.AppendLabel(out, row);
                                            out += '\t';
                                            AppendSevenFigures(out, tables.Result(row, k));
                                            out += '\t';
                                            rowTexts.AppendProbability(out, row);
                                            out += '\t';
                                            AppendSevenFigures(out, c);
                                            out += '\t';
                                            rowTexts.AppendUpper(out, row);
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

} // namespace

std::optional<std::string> WriteCombinedListing(const PointEvaluation& evaluation,
                                                const TextSink& sink) {
    if (auto error = sink(SectionHead("After combining identical P values:", "n(same)     ")))
        return error;
    for (int k : evaluation.point.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        if (auto error = sink(TestHead(k)))
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

// The file sink, counting the lines that pass for the progress report.
TextSink CountingSink(FileSink& file, const WriteProgress& progress, std::uint64_t totalLines) {
    return [&file, progress, totalLines, lines = std::uint64_t{0}](
               std::string_view piece) mutable -> std::optional<std::string> {
        auto error = file(piece);
        if (progress) {
            lines += static_cast<std::uint64_t>(std::count(piece.begin(), piece.end(), '\n'));
            progress(std::min(lines, totalLines), totalLines);
        }
        return error;
    };
}

std::optional<std::string> WriteResultsFile(const fs::path& dataDirectory,
                                            const PointEvaluation& evaluation,
                                            const PointTexts& texts,
                                            const WriteProgress& progress) {
    FileSink file(dataDirectory / ParticularResultsFileName, true);
    std::uint64_t total = evaluation.tables.Count() * (1 + evaluation.point.tests.size());
    for (int k : evaluation.point.tests)
        total += evaluation.ForTest(k).groups.size();
    const TextSink sink = CountingSink(file, progress, total);
    const RowTexts rowTexts(evaluation.tables);
    if (auto error = TableListing(evaluation, texts, sink, rowTexts))
        return error;
    if (auto error = OrderedListing(evaluation, sink, rowTexts))
        return error;
    return WriteCombinedListing(evaluation, sink);
}

std::optional<std::string> WriteResultsFileSection1(const fs::path& dataDirectory,
                                                    const PointEvaluation& evaluation,
                                                    const PointTexts& texts,
                                                    const WriteProgress& progress) {
    FileSink file(dataDirectory / ParticularResultsFileName, true);
    const TextSink sink = CountingSink(file, progress, evaluation.tables.Count());
    return TableListing(evaluation, texts, sink, RowTexts(evaluation.tables));
}

std::string ParticularSummaryCodec::Heading() {
    return "Date\tMethod\tN\tCol1\tRow1\tD_col1\tD_row1\tTest\tMEN\tMMT\tParam.\tProp sig.\t"
           "Upper bound\tMax. dif.";
}

std::vector<std::string> ParticularSummaryCodec::Format(const PointEvaluation& evaluation,
                                                        const std::string& summaryDate) {
    const EvaluationPoint& p = evaluation.point;
    std::vector<std::string> lines;
    for (int k : p.tests) {
        const TestEvaluation& r = evaluation.ForTest(k);
        std::string s = summaryDate;
        for (double v :
             {static_cast<double>(DesignNumber(p.design)), static_cast<double>(p.N), p.pCol, p.row,
              p.interval, p.rowInterval, static_cast<double>(k), p.MEN, p.MMT, p.parameter})
            s += "\t" + S(v);
        for (double v : {r.propSig, r.upperBound, r.maxDif})
            s += "\t" + GiveSignedNumberTonsf(v, 7);
        lines.push_back(std::move(s));
    }
    return lines;
}

std::optional<std::string> AppendSummaryLine(const fs::path& dataDirectory,
                                             const std::string& line) {
    return AppendSummaryRecord(dataDirectory / ParticularSummaryFileName,
                               ParticularSummaryCodec::Heading(), line);
}

ParticularSummaryRecord ParticularSummaryCodec::Parse(SummaryFields fields) {
    ParticularSummaryRecord record;
    for (std::size_t k = 1; k <= fields.size(); ++k)
        record.field[k] = NumericReading(fields[k - 1]);
    return record;
}

std::vector<ParticularSummaryRecord> ReadSummaryFile(const fs::path& dataDirectory) {
    const std::optional<std::string> text = ReadTextFile(dataDirectory / ParticularSummaryFileName);
    if (!text)
        return {};
    return ReadSummaryRecords<ParticularSummaryCodec>(*text);
}

SummaryChartData SelectSummaryChart(const std::vector<ParticularSummaryRecord>& records,
                                    const SummaryChartQuery& q) {
    SummaryChartData data;
    const int yField = q.summaryChartMode == Property::MaximumExcess ? 14 : 12;
    const double rowReading = NumericReading(q.txtP_row);
    // The records hold each value as its plain number text wrote it (15 significant
    // digits), so the values they are matched against are taken the same way: an MMT or
    // alpha typed with more digits then still finds the lines of its own run.
    auto asWritten = [](double x) { return NumericReading(S(x)); };
    const double N = asWritten(q.N), pCol = asWritten(q.pCol), row = asWritten(q.rowValue),
                 test = asWritten(q.test), MEN = asWritten(q.MEN), MMT = asWritten(q.MMT),
                 parameter = asWritten(q.parameter);
    for (const ParticularSummaryRecord& r : records) {
        const double* f = r.field;
        if (f[2] != DesignNumber(q.design))
            continue;
        if (q.xField != 3 && f[3] != N)
            continue;
        if (q.xField != 4 && f[4] != pCol)
            continue;
        if (q.design == CrossSectionalStudy) {
            if (f[5] != row)
                continue;
        } else if (rowReading < 1) {
            if (std::floor(f[3] * rowReading) != f[5])
                continue;
        } else if (f[5] != row) {
            continue;
        }
        if (q.seriesField != 8 && f[8] != test)
            continue;
        if (q.xField != 9 && q.seriesField != 9 && f[9] != MEN)
            continue;
        if (f[10] != MMT || f[11] != parameter)
            continue;
        data.x.push_back(f[q.xField]);
        data.y.push_back(f[yField]);
        data.series.push_back(q.seriesField == 0 ? 0 : f[q.seriesField]);
    }

    std::string title = q.captionDate + "       " + std::string(DesignName(q.design));
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
    if (q.seriesField != 9 && q.xField != 9)
        title += "       MEN =" + S(q.MEN);
    title += "       MMT =" + S(q.MMT);
    title += CRLF;
    if (q.summaryChartMode == Property::MaximumExcess)
        title +=
            "Maximum excess of actual over nominal Type I error for alpha up to" + S(q.parameter);
    else
        title += "Actual Type I error when alpha =" + S(q.parameter);
    data.title = title;
    data.axisLabel = q.axisLabel;
    data.seriesLabel = q.seriesLabel;
    data.seriesAreTests = q.seriesField == 8;
    data.referenceValue = q.summaryChartMode == Property::MaximumExcess ? 0 : q.parameter;
    return data;
}

} // namespace quillon
