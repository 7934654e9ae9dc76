// What the study commands share on the terminal: a progress line on stderr that every
// message and summary line clears first, the records of a chart of earlier data, and the
// end of a command with its optional SVG chart.
#pragma once

#include "cli/commands.h"
#include "cli/stop_signals.h"
#include "core/designs.h"
#include "core/tables.h"
#include "study/events.h"
#include "study/shard.h"
#include "summary/summary_chart_data.h"

#include <chrono>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

namespace quillon::cli {

// A message of the program (which may carry CRLF line ends) with LF line ends.
std::string WithLineFeeds(const std::string& text);

class StudyOutput {
public:
    explicit StudyOutput(Streams& io) : io_(io) {}

    // A message of the program on stderr.
    void Message(const std::string& text);
    // `heading` once, then `line`, on stdout.
    void SummaryLine(const std::string& heading, const std::string& line);
    // The records of a chart of earlier data: a heading, then x, y and series per line.
    void ChartRecords(const SummaryChartData& data, const std::string& valueLabel);

    // True when a progress line is due: on a terminal, unless `force`, when a tenth of a
    // second has passed since the last one; elsewhere (a batch job's log), only for a
    // command that asked for LogProgress and a second after the last line, forced or not.
    // Progress may come from the workers of a run with several jobs while the run's
    // thread writes its lines: every member takes the one lock, so a progress line and a
    // summary line never write at once.
    bool ProgressDue(bool force);
    // Progress lines also when stderr is not a terminal, each a line of its own, at most
    // one a second: for runs whose steps can take minutes without a summary line.
    void LogProgress() { logProgress_ = true; }
    void ShowProgress(const std::string& line);
    void ClearProgress();

    // The size of the run, on stderr where progress is shown (not inside tests).
    void RunSized(const RunSize& size);
    // The answer to a run too large to start without a word: Yes with --yes; otherwise
    // No, after saying why and how to run it after all.
    Answer LargeRunAnswer(bool yes);

    Streams& io() { return io_; }

private:
    Streams& io_;
    std::recursive_mutex lock_;
    bool headingPrinted_ = false;
    bool progressShown_ = false;
    bool logProgress_ = false;
    RunSize lastSize_;
    std::chrono::steady_clock::time_point lastDrawn_{};
};

// The options of a study command. Both commands take their list and value fields as text
// (`texts`, option to field), "--design ct|cs", "--data-dir DIR" and "--chart FILE" (.svg, .png or
// .pdf); `flags` are options without a value, `values` further options with one, whose handler
// returns a message when the value is refused.
struct StudyOptions {
    // Every text is read strictly before the run: a list option must hold the specification
    // language read whole, an option of `single` one number; `words` are further values an
    // option takes as they are (any letter case).
    std::map<std::string, std::string*> texts;
    std::set<std::string> single;
    std::map<std::string, std::vector<std::string>> words;
    std::map<std::string, std::function<void()>> flags;
    std::map<std::string, std::function<std::optional<std::string>(const std::string&)>> values;
    DesignCode* design = nullptr; // receives ComparativeTrial for ct, CrossSectionalStudy for cs
    // Receives --threads K (1 to 256); the engine's pool is sized to it.
    unsigned* threads = nullptr;
    // Receives --jobs K (1 to 256): combinations computed at once.
    unsigned* jobs = nullptr;
    // Receives --shard K/M.
    ShardChoice* shard = nullptr;
    std::optional<std::string> dataDir, chartFile;
    bool yes = false; // --yes: start a run of more than a million combinations
};

// Reads the arguments into `options`. Returns nothing to go on, or the exit status: 0
// after --help (usage on stdout), 2 for a usage error (the message and the usage on
// stderr) or a value that cannot be read whole (the message quoting the option and the
// text typed). An option given twice is refused. "--n" is required.
std::optional<int> ParseStudyOptions(const std::vector<std::string>& args, StudyOptions& options,
                                     const std::string& command, const char* usage, Streams& io);

// The exit status of a study command (0, 2 refused, 1 failed or stopped); after a
// completed run with --chart, writes the run's last summary chart to that file or says why not.
int FinishStudyCommand(StudyStatus end, const std::optional<SummaryChartData>& lastChart,
                       const std::optional<std::string>& chartFile, Streams& io);

// What every study command does with the events every study reports: messages on stderr,
// questions answered by `answer`, no waits, summary lines on stdout under `heading`, the
// records of a chart of earlier data on stdout, the last summary chart kept for --chart.
// Each command adds its progress line and its study's own events.
template <typename Sink> class CliSink : public Sink {
public:
    CliSink(Streams& io, std::string heading, std::string valueLabel, Answer answer = Answer::No)
        : output_(io), heading_(std::move(heading)), valueLabel_(std::move(valueLabel)),
          answer_(answer) {}

    void RunStarted(const RunStart& start) override {
        earlierData_ = start.kind == RunKind::EarlierData;
    }
    void Message(MessageKind, const std::string& text) override { output_.Message(text); }
    void RunSized(const RunSize& size) override { output_.RunSized(size); }
    Answer Ask(Question question, const std::string&) override {
        if (question == Question::LargeRun)
            return output_.LargeRunAnswer(acceptLargeRuns_);
        return answer_;
    }
    void SummaryLine(const std::string& line) override { output_.SummaryLine(heading_, line); }
    void SummaryChart(const SummaryChartData& data) override {
        lastChart_ = data;
        if (earlierData_)
            output_.ChartRecords(data, valueLabel_);
    }
    void RunEnded(const StudyOutcome&) override { output_.ClearProgress(); }
    // SIGINT or SIGTERM: the run stops at its next safe point.
    bool StopRequested() const override { return StopSignal() != 0; }

    const std::optional<SummaryChartData>& LastChart() const { return lastChart_; }
    // --yes: a run of more than LargeRunCombinations goes ahead.
    void AcceptLargeRuns(bool yes) { acceptLargeRuns_ = yes; }

protected:
    StudyOutput output_;

private:
    std::string heading_, valueLabel_;
    Answer answer_;
    bool earlierData_ = false;
    bool acceptLargeRuns_ = false;
    std::optional<SummaryChartData> lastChart_;
};

} // namespace quillon::cli
