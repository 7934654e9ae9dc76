#include "cli/study_output.h"

#include "cli/chart_output.h"
#include "cli/stop_signals.h"
#include "core/designs.h"
#include "core/files.h"
#include "core/numtext.h"
#include "study/run_size.h"
#include "study/speclang.h"
#include "study/worker_pool.h"

#include <cctype>

#include <ostream>

namespace quillon::cli {

std::string WithLineFeeds(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i)
        if (!(text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n'))
            out += text[i];
    return out;
}

void StudyOutput::Message(const std::string& text) {
    const std::lock_guard guard(lock_);
    ClearProgress();
    io_.err << WithLineFeeds(text) << '\n';
}

void StudyOutput::SummaryLine(const std::string& heading, const std::string& line) {
    const std::lock_guard guard(lock_);
    ClearProgress();
    if (!headingPrinted_) {
        io_.out << heading << '\n';
        headingPrinted_ = true;
    }
    io_.out << line << '\n' << std::flush;
}

void StudyOutput::ChartRecords(const SummaryChartData& data, const std::string& valueLabel) {
    const std::lock_guard guard(lock_);
    ClearProgress();
    io_.out << data.axisLabel << '\t' << valueLabel << '\t'
            << (data.seriesLabel.empty() ? "series" : data.seriesLabel) << '\n';
    for (std::size_t i = 0; i < data.Count(); ++i)
        io_.out << GeneralNumberText(data.x[i]) << '\t' << GeneralNumberText(data.y[i]) << '\t'
                << GeneralNumberText(data.series[i]) << '\n';
}

void StudyOutput::RunSized(const RunSize& size) {
    const std::lock_guard guard(lock_);
    lastSize_ = size;
    if (io_.errIsTerminal || io_.progressLog)
        io_.err << RunSizeText(size) << '\n';
}

Answer StudyOutput::LargeRunAnswer(bool yes) {
    if (yes)
        return Answer::Yes;
    const std::lock_guard guard(lock_);
    ClearProgress();
    io_.err << "This run has more than " << LargeRunCombinations << " combinations ("
            << RunSizeText(lastSize_) << "), so it was not started; give --yes to start it.\n";
    return Answer::No;
}

bool StudyOutput::ProgressDue(bool force) {
    const std::lock_guard guard(lock_);
    const auto now = std::chrono::steady_clock::now();
    if (!io_.errIsTerminal) {
        if (!io_.progressLog || !logProgress_ || now - lastDrawn_ < std::chrono::seconds(1))
            return false;
    } else if (!force && now - lastDrawn_ < std::chrono::milliseconds(100)) {
        return false;
    }
    lastDrawn_ = now;
    return true;
}

void StudyOutput::ShowProgress(const std::string& line) {
    const std::lock_guard guard(lock_);
    if (!io_.errIsTerminal) {
        io_.err << line << '\n' << std::flush;
        return;
    }
    io_.err << '\r' << line << "   " << std::flush;
    progressShown_ = true;
}

void StudyOutput::ClearProgress() {
    const std::lock_guard guard(lock_);
    if (progressShown_) {
        io_.err << "\r" << std::string(79, ' ') << "\r" << std::flush;
        progressShown_ = false;
    }
}

namespace {

// Why a study option's text cannot be read whole, or nothing.
std::optional<std::string> StrictProblem(const StudyOptions& options, const std::string& option,
                                         const std::string& value) {
    if (const auto words = options.words.find(option); words != options.words.end()) {
        std::string word;
        for (char ch : value)
            if (ch != ' ')
                word += static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
        for (const std::string& accepted : words->second)
            if (word == accepted)
                return std::nullopt;
    }
    if (options.single.contains(option))
        return SingleValueProblem(value);
    return ExpandSpecification(value, Reading::Strict).unreadable;
}

} // namespace

std::optional<int> ParseStudyOptions(const std::vector<std::string>& args, StudyOptions& options,
                                     const std::string& command, const char* usage, Streams& io) {
    auto usageError = [&](const std::string& message) {
        io.err << "quillon-cli " << command << ": " << message << "\n\n" << usage;
        return 2;
    };
    auto refuse = [&](const std::string& message) {
        io.err << "quillon-cli " << command << ": " << message << "\n";
        return 2;
    };
    bool haveN = false;
    std::set<std::string> given;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--help" || arg == "-h") {
            io.out << usage;
            return 0;
        }
        // The last of two values would win unseen.
        if (arg.starts_with("--") && !given.insert(arg).second)
            return usageError("option " + arg + " is given more than once");
        if (arg == "--yes") {
            options.yes = true;
            continue;
        }
        if (auto flag = options.flags.find(arg); flag != options.flags.end()) {
            flag->second();
            continue;
        }
        const auto text = options.texts.find(arg);
        const auto valued = options.values.find(arg);
        const bool takesValue = text != options.texts.end() || valued != options.values.end() ||
                                arg == "--design" || arg == "--data-dir" || arg == "--chart" ||
                                (arg == "--threads" && options.threads != nullptr) ||
                                (arg == "--jobs" && options.jobs != nullptr) ||
                                (arg == "--shard" && options.shard != nullptr);
        if (!takesValue)
            return usageError("unknown option '" + arg + "'");
        // No value begins with "--" (a negative number has one minus): the next option
        // stands where the value was forgotten.
        if (i + 1 >= args.size() || args[i + 1].starts_with("--"))
            return usageError("option " + arg + " needs a value");
        const std::string& value = args[++i];
        if (text != options.texts.end()) {
            if (auto problem = StrictProblem(options, arg, value))
                return refuse(UnreadableMessage(arg, value, *problem));
            *text->second = value;
            haveN = haveN || arg == "--n";
        } else if (valued != options.values.end()) {
            if (auto problem = valued->second(value))
                return usageError(*problem);
        } else if (arg == "--design") {
            const std::optional<DesignCode> design = DesignFromOption(value);
            if (!design)
                return usageError("--design" + DesignOptionRefusal(value));
            *options.design = *design;
        } else if (arg == "--threads") {
            const double k = SingleValueProblem(value) ? 0 : NumericReading(value);
            if (k < 1 || k > 256 || k != static_cast<double>(static_cast<int>(k)))
                return usageError("--threads must be a whole number from 1 to 256");
            *options.threads = static_cast<unsigned>(k);
            WorkerPool::Shared().SetThreads(*options.threads);
        } else if (arg == "--jobs") {
            const double k = SingleValueProblem(value) ? 0 : NumericReading(value);
            if (k < 1 || k > 256 || k != static_cast<double>(static_cast<int>(k)))
                return usageError("--jobs must be a whole number from 1 to 256");
            *options.jobs = static_cast<unsigned>(k);
        } else if (arg == "--shard") {
            if (auto problem = ReadShardChoice(value, *options.shard))
                return usageError(*problem);
        } else if (arg == "--data-dir") {
            options.dataDir = value;
        } else {
            if (auto problem = CheckChartFileName(value))
                return usageError(*problem);
            // Checked before the run, not after hours of it: a folder, a device, a FIFO or
            // a missing folder is refused at once.
            if (auto problem = CheckWritableFile(value)) {
                io.err << "quillon-cli " << command << ": " << *problem << '\n';
                return 2;
            }
            options.chartFile = value;
        }
    }
    if (!haveN)
        return usageError("--n is required");
    return std::nullopt;
}

int FinishStudyCommand(StudyStatus end, const std::optional<SummaryChartData>& lastChart,
                       const std::optional<std::string>& chartFile, Streams& io) {
    switch (end) {
    case StudyStatus::Refused:
        return 2;
    case StudyStatus::Failed:
        return 1;
    case StudyStatus::Stopped:
        if (const int signal = StopSignal(); signal != 0) {
            io.err << "Stopped by " << StopSignalName(signal)
                   << ": the summary lines of the finished combinations are kept whole; the "
                      "combination under way was not recorded, and a shard is recorded as not "
                      "completed.\n";
            return StopExitStatus(signal);
        }
        return 1;
    case StudyStatus::Completed:
        break;
    }
    if (chartFile) {
        if (!lastChart) {
            io.err << "No summary chart was due in this run, so " << *chartFile
                   << " was not written.\n";
        } else if (auto error = WriteChartFile(*lastChart, *chartFile)) {
            io.err << *error << '\n';
            return 1;
        }
    }
    return 0;
}

} // namespace quillon::cli
