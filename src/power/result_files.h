// The files of the power study in the data directory (CR LF line ends, tab separated,
// plain number texts):
//   "PowerSummary.txt"  accumulating; heading once, then one line per test and combination:
//                       Date, Method, N, Row1 (pi(row) or m), P1, P2, Test, MEN, MMT,
//                       Param. (alpha), Power, Size (seven significant figures), Pooled (p0).
//   "PowerResults.txt"  the latest combination in full: a caption line, a heading, then one
//                       line per table: its label, its probability under the alternative and
//                       under the pooled null, and the P values of the seven tests and of
//                       any other computed (a policy code 1.1, 1.2 or 1.3 for a table
//                       outside the MEN/MMT policy).
#pragma once

#include "core/summary_table.h"
#include "power/evaluation.h"
#include "study/study_registry.h"
#include "summary/summary_chart_data.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quillon {

inline constexpr std::string_view PowerSummaryFileName = PowerStudyEntry.SummaryFile();
inline constexpr std::string_view PowerResultsFileName = PowerStudyEntry.resultsFiles[0];

std::optional<std::string> AppendPowerSummaryLine(const std::filesystem::path& dataDirectory,
                                                  const std::string& line);

// The caption of a combination: "dd.mm.yy  N = ..  comparative trial  m = ..  p1 = ..".
std::string PowerCaption(const PowerPoint& point, double pooled, const std::string& captionDate);

// The whole text of "PowerResults.txt". Precondition: the columns of every full listing's tests
// computed.
std::string PowerResultsText(const PowerEvaluation& evaluation, const std::string& caption);
// Writes the file from empty in pieces of about a megabyte (a comparative trial of N = 10000
// lists 25 million tables, more than a text in memory should hold), telling `progress` the
// lines written of the total. Returns an error message when a piece cannot be written.
std::optional<std::string> WritePowerResultsFile(
    const std::filesystem::path& dataDirectory, const PowerEvaluation& evaluation,
    const std::string& caption,
    const std::function<void(std::uint64_t lines, std::uint64_t total)>& progress = {});

// One line of the summary file read back: fields 1..13 as numbers (field 0 unused), and
// the texts as written.
struct PowerSummaryRecord {
    std::array<double, 14> field{};
    std::array<std::string, 14> text;
};

// The summary file's lines: its heading, the lines of one evaluated combination, and one
// line read back (fields after the thirteenth are ignored).
struct PowerSummaryCodec {
    using Record = PowerSummaryRecord;
    static constexpr SummaryTableLayout Layout{13, false};
    static std::string Heading();
    // One line per requested test in list order (no line ends).
    static std::vector<std::string> Format(const PowerEvaluation& evaluation,
                                           const std::string& summaryDate);
    static Record Parse(SummaryFields fields);
};

std::vector<PowerSummaryRecord> ReadPowerSummaryFile(const std::filesystem::path& dataDirectory);

// Summary-file fields.
enum PowerField : int {
    FieldDate = 1,
    FieldMethod,
    FieldN,
    FieldRow1,
    FieldP1,
    FieldP2,
    FieldTest,
    FieldMEN,
    FieldMMT,
    FieldAlpha,
    FieldPower,
    FieldSize,
    FieldPooled,
};

} // namespace quillon
