// The maximum study's files in the data directory:
//   "MaximaResultsAllAreas.txt"  the log of every search of the latest run;
//   "MaximaResultsEachArea.txt"  the tables of the latest area evaluated;
//   "MaximaSummary.txt", or "Summary_of_Maxima_when_test_policy15.txt" / "...35.txt" for
//   the combined test policies: one line per finished search, accumulated over all runs,
//   and read back for the summary charts.
// Lines end with CR LF; fields are separated by one tab. Numbers are plain number texts
// S(x) or signed seven-figure texts, as each field says.
#pragma once

#include <functional>
#include <optional>
#include <string_view>

#include "core/designs.h"
#include "core/summary_table.h"
#include "maxima/search.h"
#include "maxima/search_events.h"
#include "study/study_registry.h"
#include "summary/summary_chart_data.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace quillon {

inline constexpr std::string_view MaximaSummaryFileName = MaximumStudyEntry.SummaryFile();
inline constexpr std::string_view AllAreasFileName = MaximumStudyEntry.resultsFiles[0];
inline constexpr std::string_view EachAreaFileName = MaximumStudyEntry.resultsFiles[1];
// The first line of an area log whose run was stopped during a search.
inline constexpr std::string_view IncompleteLogNote =
    "INCOMPLETE: the run was stopped during this search; the log ends part way ";

// The summary file of the policy: "MaximaSummary.txt", or the policy's own file.
std::string SummaryFileName(TestPolicy policy);

// The first line of the chart heading and of each search in the log: the date, the
// design and the values of the combination.
std::string SearchHeadingLine(const std::string& date, const SearchKey& key, std::int64_t m);
// The second line: what is maximised, over what.
std::string SearchTitleLine(DesignCode design, Property type, double parameter);

// Builds the text of "MaximaResultsAllAreas.txt" from the events of the searches. With a
// file, whole lines are appended to it whenever more than FlushBytes are pending, so a long
// search shows its progress on disk; Flush() appends the rest.
class AllAreasLog : public SearchObserver {
public:
    static constexpr std::size_t FlushBytes = 256 * 1024;
    AllAreasLog() = default;
    explicit AllAreasLog(std::filesystem::path file) : file_(std::move(file)) {}
    // Appends the pending text to the file; the first write error, if any, is kept.
    void Flush();
    const std::optional<std::string>& Error() const { return error_; }

    void OnSearchStarted(const SearchStarted& e) override;
    void OnStripPassStarted(const StripPassStarted& e) override;
    void OnAreaEvaluated(const AreaEvaluated& e) override;
    void OnSidesDone(const SidesDone& e) override;
    void OnSurveyStarted(const SurveyStarted& e) override;
    void OnSurveyPoint(const SurveyPoint& e) override;
    void OnSurveyDone(const SurveyDone& e) override;
    void OnGridPassDone(const GridPassDone& e) override;
    void OnSearchFinished(const SearchFinished& e) override;

    std::size_t PendingBytes() const { return text_.size(); }
    std::string TakeText();

private:
    void Line(const std::string& line);
    std::string text_;
    DesignCode design_ = ComparativeTrial;
    std::filesystem::path file_;
    std::optional<std::string> error_;
};

// The text of "MaximaResultsEachArea.txt" for one area: its tables with the corner
// probability, the bound and the P value, and for "2MaxDif" the mass of each distinct P
// value (preceded, when `withSortedValues`, by the sorted and the distinct P values).
// Handed to `sink` in pieces of about a megabyte; returns the sink's first error.
using TextPieces = std::function<std::optional<std::string>(std::string_view piece)>;
std::optional<std::string> WriteEachAreaText(const PropertyEvaluator& evaluator,
                                             const SearchArea& area, const std::string& date,
                                             bool withSortedValues, const TextPieces& sink);
// The same text whole.
std::string EachAreaText(const PropertyEvaluator& evaluator, const SearchArea& area,
                         const std::string& date, bool withSortedValues);

// One line of the summary file (without its line end).
struct MaximaSummaryRecord {
    std::string date;
    SearchKey key;
    // The accuracy the search met, written in the accuracy field: the key's, or coarser
    // (1 when no bound was ever found) for a search that fell short, so that charts asking
    // for the accuracy required leave the record out.
    double accuracyReached = 0.001;
    FoundMaximum maximum;
    double seconds = 0; // whole seconds are written
};
// A line read back for the summary charts: fields 2 to 14 by their numeric reading (the
// type "1ProSig" reads as 1, "2MaxDif" as 2; field 1, the date, is not read), and the
// row-1 field's text.
struct MaximaSummaryReading {
    double field[15] = {};
    std::string row1;
};

// The summary file's lines: its heading, one search's line, and one line read back
// (fields after the fourteenth are ignored).
struct MaximaSummaryCodec {
    using Record = MaximaSummaryReading;
    static constexpr SummaryTableLayout Layout{14, false};
    // The heading line (tab-separated, no line end).
    static std::string Heading();
    static std::string Format(const MaximaSummaryRecord& record);
    static Record Parse(SummaryFields fields);
};

// How the row-1 field was given (comparative trial).
enum class RowOneKind { None, Number, All, Overall };

// Which records of a summary file a summary chart shows, and how: those of the key's
// search at every N, and at every test or MEN for a line per test or per MEN. Under "all"
// every number in row 1 is taken; records of a coarser accuracy than the key's are left
// out.
struct MaximaChartSelection {
    enum class Lines { Single, PerTest, PerMEN };
    SearchKey key;
    RowOneKind rowKind = RowOneKind::None;
    Lines lines = Lines::Single;
};

// Appends the selected records of `fileText` (the whole summary file, header included) to
// data.x, data.y and data.series, in file order. Lines with fewer than 14 fields are
// skipped. For "all" the horizontal value is N + m/N.
void SelectMaximaRecords(std::string_view fileText, const MaximaChartSelection& selection,
                         SummaryChartData& data);

// The search a line read from the summary file of `policy` records (its accuracy field is
// the accuracy the search met), or nothing for a line naming no design or property.
std::optional<SearchKey> SearchKeyOfRecord(const MaximaSummaryReading& record, TestPolicy policy);

} // namespace quillon
