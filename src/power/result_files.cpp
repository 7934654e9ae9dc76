#include "power/result_files.h"

#include "core/designs.h"
#include "core/files.h"
#include "core/numtext.h"
#include "core/test_registry.h"

namespace quillon {

namespace fs = std::filesystem;

namespace {

std::string S(double x) {
    return PlainNumberText(x);
}

} // namespace

std::string PowerSummaryCodec::Heading() {
    return "Date\tMethod\tN\tRow1\tP1\tP2\tTest\tMEN\tMMT\tParam.\tPower\tSize\tPooled";
}

std::vector<std::string> PowerSummaryCodec::Format(const PowerEvaluation& evaluation,
                                                   const std::string& summaryDate) {
    const PowerPoint& p = evaluation.point;
    std::vector<std::string> lines;
    for (int k : p.tests) {
        const PowerTestResult& r = evaluation.ForTest(k);
        std::string s = summaryDate;
        for (double v : {static_cast<double>(DesignNumber(p.design)), static_cast<double>(p.N),
                         p.row, p.p1, p.p2, static_cast<double>(k), p.MEN, p.MMT, p.alpha})
            s += "\t" + S(v);
        s += "\t" + GiveSignedNumberTonsf(r.power, 7);
        s += "\t" + GiveSignedNumberTonsf(r.size, 7);
        s += "\t" + S(evaluation.pooled);
        lines.push_back(std::move(s));
    }
    return lines;
}

std::optional<std::string> AppendPowerSummaryLine(const fs::path& dataDirectory,
                                                  const std::string& line) {
    return AppendSummaryRecord(dataDirectory / PowerSummaryFileName, PowerSummaryCodec::Heading(),
                               line);
}

std::string PowerCaption(const PowerPoint& point, double pooled, const std::string& captionDate) {
    std::string s = captionDate + "       N =" + S(static_cast<double>(point.N)) + "       " +
                    std::string(DesignOf(point.design).inSentence);
    if (point.design == ComparativeTrial)
        s += "       m (number in row 1) =" + S(point.row);
    else
        s += "       pi(row) =" + S(point.row);
    s += "       p1 =" + S(point.p1) + "       p2 =" + S(point.p2) +
         "       p0 =" + DerivedNumberText(pooled) + "       MEN =" + S(point.MEN) +
         "       MMT =" + S(point.MMT) + "       alpha =" + S(point.alpha);
    return s;
}

namespace {

// The listing in pieces: `piece` receives the text so far whenever it passes `chunk`
// characters, and the rest at the end.
std::optional<std::string>
ListResults(const PowerEvaluation& evaluation, const std::string& caption, std::size_t chunk,
            const std::function<std::optional<std::string>(std::string_view)>& piece,
            const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    const TableArray& tables = evaluation.tables;
    std::string out = caption;
    out += CRLF;
    out += "Table\tAlternative\tNull";
    const std::vector<int> columns = ListingColumns(tables.EnabledTests());
    for (int t : columns)
        out += "\tTest " + std::to_string(t);
    out += CRLF;
    for (std::size_t row = 1; row <= tables.Count(); ++row) {
        for (int cell = 1; cell <= 4; ++cell)
            out += S(tables.Cell(row, cell));
        out += "\t" + S(evaluation.alternative[row - 1]);
        out += "\t" + S(tables.Probability(row));
        for (int t : columns)
            out += "\t" + (tables.HasTest(t) ? S(tables.Result(row, t)) : std::string());
        out += CRLF;
        if (out.size() >= chunk) {
            if (auto error = piece(out))
                return error;
            out.clear();
            if (progress)
                progress(row, tables.Count());
        }
    }
    if (auto error = piece(out))
        return error;
    if (progress)
        progress(tables.Count(), tables.Count());
    return std::nullopt;
}

} // namespace

std::string PowerResultsText(const PowerEvaluation& evaluation, const std::string& caption) {
    std::string text;
    (void)ListResults(evaluation, caption, std::string::npos,
                      [&text](std::string_view piece) -> std::optional<std::string> {
                          text += piece;
                          return std::nullopt;
                      },
                      {});
    return text;
}

std::optional<std::string>
WritePowerResultsFile(const fs::path& dataDirectory, const PowerEvaluation& evaluation,
                      const std::string& caption,
                      const std::function<void(std::uint64_t, std::uint64_t)>& progress) {
    const fs::path file = dataDirectory / PowerResultsFileName;
    bool first = true;
    return ListResults(
        evaluation, caption, std::size_t{1} << 20,
        [&](std::string_view piece) -> std::optional<std::string> {
            if (first) {
                first = false;
                return WriteTextFile(file, piece);
            }
            return piece.empty() ? std::nullopt : AppendTextFile(file, piece);
        },
        progress);
}

PowerSummaryRecord PowerSummaryCodec::Parse(SummaryFields fields) {
    PowerSummaryRecord record;
    for (std::size_t f = 1; f <= fields.size(); ++f) {
        record.text[f] = fields[f - 1];
        record.field[f] = NumericReading(record.text[f]);
    }
    return record;
}

std::vector<PowerSummaryRecord> ReadPowerSummaryFile(const fs::path& dataDirectory) {
    const std::optional<std::string> text = ReadTextFile(dataDirectory / PowerSummaryFileName);
    if (!text)
        return {};
    return ReadSummaryRecords<PowerSummaryCodec>(*text);
}

} // namespace quillon
