// What a study run reports while it runs: semantic events, not window commands.
//
// A run reads its fields, then either charts earlier data, compares two tests, or computes
// its combinations one after another. It tells its sink what happened (a run started, a
// combination is being computed, a summary line was written, a summary chart is due, a
// message arose, a combination's results or all of a run's results are out, the run
// ended) and asks it the questions the user must answer. The run never waits for the user
// on its own account: the desktop program's controller decides from these events which
// window to show, size, raise or hourglass and where to hold the run ("Next chart", "Go
// Back"); the command line prints and answers from its options; the benchmark and the
// tests record. Each study extends the sink with the
// events of its own charts (a point evaluated, a search event).
//
// Every call comes from the thread that runs the study, in the order the user should see
// them, except Progress and StopRequested, which worker threads may call too.
#pragma once

#include "summary/summary_chart_data.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace quillon {

// The stages a run reports its progress in: the combinations of its plan (one study's
// unit each), and the steps within one combination. The command line and the windows name
// a stage by StageText; what they do for a stage they decide by its code.
enum class ProgressStage {
    EvaluationPoints, // the particular study's points
    Comparisons,      // the particular study's comparisons of two tests
    Combinations,     // the power study's combinations
    Searches,         // the maximum study's searches
    PValues,          // the P values of every table
    Sorting,          // the tables ordered by P value, test by test
    WritingResults,   // the latest results file written
};

constexpr std::string_view StageText(ProgressStage stage) {
    switch (stage) {
    case ProgressStage::EvaluationPoints:
        return "Evaluation points";
    case ProgressStage::Comparisons:
        return "Comparisons";
    case ProgressStage::Combinations:
        return "Combinations";
    case ProgressStage::Searches:
        return "Searches";
    case ProgressStage::PValues:
        return "P values";
    case ProgressStage::Sorting:
        return "Sorting";
    case ProgressStage::WritingResults:
        return "Writing the results file";
    }
    return {};
}

enum class StudyStatus {
    Completed, // ran to the end (also a Cancel at a question, or a chart of earlier data)
    Refused,   // a value was refused with a message; nothing was computed for it
    Failed,    // a file or the data directory could not be written
    Stopped,   // the user asked to stop; finished combinations keep their lines
};

struct StudyOutcome {
    StudyStatus status = StudyStatus::Completed;
    std::string message; // the refusal or failure message, as shown
};

enum class Answer { Yes, No, Cancel };

// The questions a run may ask. The text comes with the question; the command line
// answers from its options without showing it.
enum class Question {
    TwoTestScatter, // the scatter diagram of two tests instead of the cumulative charts
    LargeRun,       // a run of more combinations than is wise without a word (run_size.h)
};

// The size of a run, told before it computes anything.
struct RunSize {
    std::uint64_t combinations = 0; // every combination of the lists, tests included
    std::uint64_t summaryLines = 0; // the lines the summary file grows by
    double summaryBytes = 0;        // about how many bytes those lines take
    std::string summaryFile;        // the summary file's name
};

// Why a message is shown.
enum class MessageKind {
    Refusal, // a value typed cannot be used
    Failure, // a file could not be written
    Notice,  // information: no data yet, a search that did not converge, a comparison
};

// The shape of a run, when it starts computing.
enum class RunKind {
    Combinations, // every combination of the lists, each charted
    EarlierData,  // "*" in a list: a chart of earlier results only
    Comparison,   // two tests compared table by table
};

struct RunStart {
    RunKind kind = RunKind::Combinations;
    // A single combination (or one that varies only the tests): its chart fills the
    // screen; otherwise summary charts follow and the chart leaves room for them.
    bool singleCombination = true;
};

class StudySink {
public:
    virtual ~StudySink() = default;

    // The fields were accepted and the run begins.
    virtual void RunStarted(const RunStart& start) { (void)start; }
    // The size of the run about to compute (before any question about it).
    virtual void RunSized(const RunSize& size) { (void)size; }
    // The computation of the next combination begins (the hourglass over its chart).
    virtual void CombinationStarted() {}
    // A modal message, at the moment it arises.
    virtual void Message(MessageKind kind, const std::string& text) = 0;
    // A question with Yes, No and Cancel.
    virtual Answer Ask(Question question, const std::string& text) = 0;
    // The results of one combination are all out: its files, summary lines, its chart and
    // any summary chart due. A front end may hold the run here until the user goes on.
    virtual void CombinationDelivered() {}
    // Every result of a run that completed is out (its last chart, a chart of earlier data
    // or its message); only RunEnded follows. A front end may hold the run here.
    virtual void RunDelivered() {}
    // A summary chart is due (the chart of the lines written so far).
    virtual void SummaryChart(const SummaryChartData& data) { (void)data; }
    // A line just appended to the run's summary file (without its line end).
    virtual void SummaryLine(const std::string& line) { (void)line; }
    // `done` of `total` units of a stage. Called often, from any thread; implementations
    // throttle.
    virtual void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) {
        (void)stage;
        (void)done;
        (void)total;
    }
    // True once the user has asked to stop; long loops check it between units of work.
    virtual bool StopRequested() const { return false; }
    // The run has ended, however it ended; the last event of every run.
    virtual void RunEnded(const StudyOutcome& outcome) { (void)outcome; }
};

} // namespace quillon

namespace quillon {

// A refused value or a failure: shown to the user at once, and the outcome that ends the
// run there.
inline StudyOutcome RefuseRun(StudySink& sink, const std::string& message) {
    sink.Message(MessageKind::Refusal, message);
    return {StudyStatus::Refused, message};
}
inline StudyOutcome FailRun(StudySink& sink, const std::string& message) {
    sink.Message(MessageKind::Failure, message);
    return {StudyStatus::Failed, message};
}

// A sink that shows nothing and answers every question No: for work with no one at the
// screen (the benchmark, a search run on its own).
class SilentSink : public StudySink {
public:
    void Message(MessageKind, const std::string&) override {}
    Answer Ask(Question, const std::string&) override { return Answer::No; }
};

} // namespace quillon
