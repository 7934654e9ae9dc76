// The desktop program: its shared state and its eight windows, created once at start-up
// and afterwards only shown and hidden, so that what was typed survives between visits.
#pragma once

#include "maxima/search_events.h"
#include "particular/summary_chart_mode.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

namespace quillon {

class WelcomeWindow;
class AnalyseWindow;
class ParticularWindow;
class MaximaWindow;
class PowerWindow;
class HelpWindow;
class ChartWindow;
class SummaryChartWindow;
class RunHost;
class SpecWindowBase;

// State shared by the windows and the run drivers for the whole program.
struct ProgramState {
    std::filesystem::path dataDirectory;
    SummaryChartMode summaryChartMode = SummaryChartMode::ActualTypeIError;
    MaximumType maximumType = MaximumType::ProportionSignificant;
    double pixelSize = 1;                                    // one screen pixel in window units
    std::string maximaSummaryFileName = "MaximaSummary.txt"; // as the last run chose it
    std::string keyForTests;
    // Combinations of a run computed at once (quillon --jobs K). One by default: the
    // search is then drawn as it runs; with more, each combination's chart is drawn when
    // its turn comes, in the same order.
    unsigned jobs = 1;
};

class Program : public QObject {
    Q_OBJECT
public:
    // Performs the start-up duties in order: the log-factorial cache is emptied, the pixel
    // size is measured on the start window, the key for tests is built and given to both
    // specification windows (which read the saved settings), and the data directory is
    // prepared. The start window is not shown yet.
    explicit Program(std::filesystem::path dataDirectory);
    ~Program() override;

    ProgramState& State() { return state_; }

    WelcomeWindow& Welcome() { return *welcome_; }
    AnalyseWindow& Analyse() { return *analyse_; }
    ParticularWindow& Particular() { return *particular_; }
    MaximaWindow& Maxima() { return *maxima_; }
    PowerWindow& Power() { return *power_; }
    HelpWindow& Help() { return *help_; }
    ChartWindow& Chart() { return *chart_; }
    SummaryChartWindow& SummaryChart() { return *summaryChart_; }
    RunHost& Runs() { return *runs_; }

    // Shows the start window (after start-up, and whenever a window is closed).
    void ShowWelcome();
    // Builds the help text anew and shows the help window.
    void ShowHelp();
    // Progress of a long computation, in the chart window when it is on screen, else in
    // the specification window of the run.
    void ShowProgress(const std::string& stage, double fraction);
    // Runs a study on the run thread while `window` (its specification window) waits
    // disabled; however the run ends, the chart windows are hidden and the specification
    // window is where the user goes on, with a message if the run failed unexpectedly.
    void RunStudy(SpecWindowBase& window, const std::function<void()>& run);
    // Ends the program at once, from anywhere (e&Xit, &Abandon): a running study is not
    // waited for; every file line already written is complete on disk.
    void EndProgram();

    // How the program ends; tests replace it to observe the request instead.
    static void SetEndHandler(std::function<void()> handler);

private:
    ProgramState state_;
    std::unique_ptr<RunHost> runs_;
    std::unique_ptr<WelcomeWindow> welcome_;
    std::unique_ptr<AnalyseWindow> analyse_;
    std::unique_ptr<HelpWindow> help_;
    std::unique_ptr<ChartWindow> chart_;
    std::unique_ptr<SummaryChartWindow> summaryChart_;
    std::unique_ptr<ParticularWindow> particular_;
    std::unique_ptr<MaximaWindow> maxima_;
    std::unique_ptr<PowerWindow> power_;
};

} // namespace quillon
