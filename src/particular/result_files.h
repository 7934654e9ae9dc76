// The result files of the particular-proportion study, in the data directory:
//   "ParticularResults.txt"  the latest evaluation point in full: every table with its
//                            P values, then per test the tables ordered by P value, then
//                            the groups of identical P values with cumulative sums;
//   "ParticularSummary.txt"  one line per test and evaluation point, accumulated over all
//                            runs, read back for the summary charts.
// Lines end in CRLF and fields are separated by tabs. Summary lines are appended whole and
// flushed, so a run ended at any moment leaves only complete lines.
#pragma once

#include "core/designs.h"
#include "core/summary_table.h"
#include "particular/evaluation.h"
#include "particular/file_names.h"
#include "study/property.h"
#include "summary/summary_chart_data.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

// The texts of an evaluation point that are not in EvaluationPoint itself.
struct PointTexts {
    std::string captionDate; // "dd.mm.yy"
    std::string summaryDate; // "ddmmyy"
    std::string testsText;   // the tests field exactly as typed
};

// The caption line of a point; without the interval it is the chart caption.
std::string CaptionLine(const EvaluationPoint& point, const PointTexts& texts,
                        bool withInterval = true);

// Section 1 (the caption, the dummy P value note, the heading and one line per table),
// section 2 (ordered listings) and section 3 (combined listings) of "ParticularResults.txt".
// Each is handed to `sink` in pieces of whole lines, so that a large listing never needs
// to be held whole.
using TextSink = std::function<std::optional<std::string>(std::string_view piece)>;
std::optional<std::string> WriteTableListing(const PointEvaluation& evaluation,
                                             const PointTexts& texts, const TextSink& sink);
std::optional<std::string> WriteOrderedListing(const PointEvaluation& evaluation,
                                               const TextSink& sink);
std::optional<std::string> WriteCombinedListing(const PointEvaluation& evaluation,
                                                const TextSink& sink);

// Lines written so far out of about how many; called between pieces of a listing.
using WriteProgress = std::function<void(std::uint64_t lines, std::uint64_t totalLines)>;

// The whole "ParticularResults.txt" of a point, rewritten from empty. Returns an error
// message naming the file when it cannot be written.
std::optional<std::string> WriteResultsFile(const std::filesystem::path& dataDirectory,
                                            const PointEvaluation& evaluation,
                                            const PointTexts& texts,
                                            const WriteProgress& progress = {});
// Only section 1 (the comparison of two tests writes no more).
std::optional<std::string> WriteResultsFileSection1(const std::filesystem::path& dataDirectory,
                                                    const PointEvaluation& evaluation,
                                                    const PointTexts& texts,
                                                    const WriteProgress& progress = {});

// One record of "ParticularSummary.txt": fields 1 to 14 by their numeric reading.
struct ParticularSummaryRecord {
    double field[15] = {}; // field[1] .. field[14]
};

// The summary file's lines: its heading, the lines of one evaluation point, and one line
// read back. Fields 1 to 13 are the texts before the first 13 tabs and field 14 the rest
// of the line.
struct ParticularSummaryCodec {
    using Record = ParticularSummaryRecord;
    static constexpr SummaryTableLayout Layout{14, true};
    // The heading line (no line end).
    static std::string Heading();
    // One line per requested test in list order (no line ends).
    static std::vector<std::string> Format(const PointEvaluation& evaluation,
                                           const std::string& summaryDate);
    static Record Parse(SummaryFields fields);
};

// Appends one line, with the heading first when the file does not exist yet.
std::optional<std::string> AppendSummaryLine(const std::filesystem::path& dataDirectory,
                                             const std::string& line);

// What selects and titles a summary chart.
struct SummaryChartQuery {
    DesignCode design = ComparativeTrial;
    double N = 0, pCol = 0;
    double rowValue = 0; // pi(row) (design 1) or m (design 2)
    double MEN = 0, MMT = 1, parameter = 0.05;
    double test = 1;      // the current test
    std::string txtP_row; // as typed: decides how design 2 matches row values
    std::string txtTest;  // as typed, for the title
    int xField = 3;       // 3 (N), 4 (Col1) or 9 (MEN)
    int seriesField = 0;  // 8 (Test), 9 (MEN) or 0 for none
    std::string axisLabel, seriesLabel;
    Property summaryChartMode = Property::ActualTypeIError;
    std::string captionDate;
};

// The records that fit the query, in file order, with the title and the reference value.
SummaryChartData SelectSummaryChart(const std::vector<ParticularSummaryRecord>& records,
                                    const SummaryChartQuery& query);

// Reads the summary file of the data directory (a missing file has no records).
std::vector<ParticularSummaryRecord> ReadSummaryFile(const std::filesystem::path& dataDirectory);

} // namespace quillon
