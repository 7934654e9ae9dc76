// The desktop program: its settings and its windows, created once at start-up and
// afterwards only shown and hidden, so that what was typed survives between visits. Each
// window is given the narrow services it uses (desktop/qt/desk_services.h); only the program
// knows them all.
#pragma once

#include "desktop/qt/desk_services.h"

#include <QObject>

#include <filesystem>
#include <functional>
#include <memory>
#include <optional>

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
struct StudyEntry;

class Program : public QObject, public Navigation {
    Q_OBJECT
public:
    // Performs the start-up duties in order: the log-factorial cache is emptied, the pixel
    // size is measured on the start window, the key for tests is built and given to the
    // specification windows (which read the saved settings), and the data directory is
    // prepared. The start window is not shown yet.
    explicit Program(std::filesystem::path dataDirectory, unsigned jobs = 1);
    ~Program() override;

    const DeskSettings& Settings() const { return settings_; }

    WelcomeWindow& Welcome() { return *welcome_; }
    AnalyseWindow& Analyse() { return *analyse_; }
    ParticularWindow& Particular() { return *particular_; }
    MaximaWindow& Maxima() { return *maxima_; }
    PowerWindow& Power() { return *power_; }
    // The window of a registered study (null for a study without one).
    QWidget* StudyWindow(const StudyEntry& study);
    HelpWindow& Help() { return *help_; }
    ChartWindow& Chart() { return *chart_; }
    SummaryChartWindow& SummaryChart() { return *summaryChart_; }
    RunHost& Runs() { return *runs_; }
    RunWindows& ForRuns() { return *runWindows_; }

    void ShowWelcome() override;
    void ShowHelp(HelpTopic topic = HelpTopic::General) override;
    void EndProgram() override;

    // How the program ends; tests replace it to observe the request instead.
    static void SetEndHandler(std::function<void()> handler);

private:
    DeskSettings settings_;
    std::unique_ptr<RunHost> runs_;
    std::unique_ptr<WelcomeWindow> welcome_;
    std::unique_ptr<AnalyseWindow> analyse_;
    std::unique_ptr<HelpWindow> help_;
    std::unique_ptr<ChartWindow> chart_;
    std::unique_ptr<SummaryChartWindow> summaryChart_;
    std::optional<RunWindows> runWindows_;
    std::unique_ptr<ParticularWindow> particular_;
    std::unique_ptr<MaximaWindow> maxima_;
    std::unique_ptr<PowerWindow> power_;
};

} // namespace quillon
