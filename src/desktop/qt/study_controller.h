// The one place that decides what the windows do while a study runs.
//
// A study reports semantic events (study/events.h): the run started, a combination is
// being computed, a chart is ready, a message, a question, a wait for the user, the end.
// StudyController turns them into the windows' choreography: which window is shown,
// hidden, sized or given the hourglass, which window a message belongs to, where the run
// is held for the user ("Next chart", "Go Back") and what a wait enables. It runs on the study's
// thread and does every window operation on the user-interface thread through the run host, in the
// order the events came.
//
// Each study's adapter (particular_windows.cpp, maximum_windows.cpp) draws its own charts
// and hands the common events here through ControlledSink.
#pragma once

#include "core/chart_window_layout.h"
#include "core/drawing.h"
#include "desktop/qt/desk_services.h"
#include "desktop/qt/drawing_painter.h"
#include "desktop/qt/progress_relay.h"
#include "study/events.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quillon {

class SpecWindowBase;

// How a study's runs use the chart windows, where the two studies' long-standing
// conventions differ.
struct WindowPolicy {
    // The chart window appears (sized for the run) as soon as the run starts computing,
    // not with its first chart.
    bool chartAtStart = false;
    // The run's hourglass covers the chart window too, and comes back after Next chart.
    bool chartBusyWithRun = false;
    // At the final Go Back the chart window makes way for the summary-chart window.
    bool summaryReplacesChartAtGoBack = false;
    // A chart of earlier data opens the summary-chart window before it is drawn.
    bool summaryFirstForEarlierData = false;
    // The run is held for Go Back at its end only when a summary chart was shown.
    bool goBackOnlyAfterSummaryChart = false;
};

// The two conventions: studies that chart point by point, the summary chart taking the
// screen at the end (particular, power), and the search, whose chart window is up from
// the start with its hourglass (maximum).
inline constexpr WindowPolicy PointByPointWindows{false, false, true, true, false};
inline constexpr WindowPolicy SearchWindows{true, true, false, false, true};
// The power study's: point by point, but a run that drew no summary chart (a single
// combination) ends on its own chart of figures, not on an empty summary chart.
inline constexpr WindowPolicy PowerStudyWindows{false, false, true, true, true};

// What the run waits for.
enum class WaitKind {
    NextChart, // "&Next chart" in the chart window
    GoBack,    // "Go &Back" in the summary-chart window
};

class StudyController {
public:
    // `pauseAtEachChart`: the specification window's Pause box as the run started.
    StudyController(RunWindows windows, SpecWindowBase& specification, WindowPolicy policy,
                    bool pauseAtEachChart);

    // Runs the study on the run thread while its specification window waits disabled;
    // however the run ends, the chart windows are hidden and the specification window is
    // where the user goes on, with a message if the run failed unexpectedly.
    // `results`, when given, names a window of the run's results to show over the
    // specification window at the end (nothing when it returns null).
    void Run(const std::function<void()>& run, const std::function<QWidget*()>& results = {});

    void RunStarted(const RunStart& start);
    void CombinationStarted();
    void Message(const std::string& text);
    Answer Ask(const std::string& text);
    void CombinationDelivered();
    void RunDelivered();
    void SummaryChart(const SummaryChartData& data);
    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total);
    bool StopRequested() const;
    void RunEnded(const StudyOutcome& outcome);

    // A chart for the chart window, laid out on the study's thread for the window's size:
    // `build(W, H)` gives the window layout and the drawing. The first chart of a run sizes
    // the window (the whole screen for a single combination, else 60% at the top left); a
    // user's resize is kept, and the next chart is laid out for that size.
    using BuildChart = std::function<std::pair<ChartWindowLayout, Drawing>(double W, double H)>;
    void ShowChart(const std::string& caption, const BuildChart& build, bool figureBoxes = false);
    // The chart window's drawing size now.
    std::pair<double, double> ChartSize();

    // A study adapter's chart work before the controller acts (the search chart's pending
    // drawing is handed over before any message, wait or window change).
    void SetBeforeWindowChange(std::function<void()> flush) { beforeChange_ = std::move(flush); }

    RunHost& Runs() { return windows_.runs; }
    ChartWindow& Chart() { return windows_.chart; }
    const QtTextMetrics& Metrics() const { return metrics_; }

private:
    void BeforeChange() {
        if (beforeChange_)
            beforeChange_();
    }
    // Holds the run until the user has answered.
    void Wait(WaitKind what);
    void ShowSummaryWindowForGoBack();
    // While both chart windows are shown: the summary-chart window placed so that neither
    // covers the other's buttons (summary/window_placement.h), once a run, so a user's
    // later move is kept.
    void ArrangeChartWindows();
    // The window the run waits on: on top, active, its buttons in reach.
    static void BringForward(QWidget& window);
    QWidget* ActiveWindow();

    RunWindows windows_;
    RunHost& runs_;
    SpecWindowBase& specification_;
    WindowPolicy policy_;
    bool pauseAtEachChart_ = false;
    RunStart start_;
    QtTextMetrics metrics_;
    ProgressRelay progress_;
    bool singleCombination_ = true;
    bool chartNeedsSizing_ = true;
    // Every summary chart of this run, in the order they first came, each as last drawn: at
    // the final Go Back, and over the specification window after a stop, the user steps
    // through them with "Next chart" when there are several.
    std::vector<SummaryChartData> charts_;
    void KeepChart(const SummaryChartData& data);
    // The run's charts handed to the summary-chart window to be read (an empty window when
    // there are none).
    void ShowRunCharts();
    void PlaceSummary(const Box& place);
    bool summaryPlaced_ = false; // the summary-chart window was placed beside the chart
    // A stopped run's summary chart stays on screen over the specification window.
    bool keepSummary_ = false;
    std::function<void()> beforeChange_;
};

// Implements the events every study reports by handing them to a StudyController; a
// study's adapter derives from it and adds its own events.
template <typename Sink> class ControlledSink : public Sink {
public:
    explicit ControlledSink(StudyController& controller) : controller_(controller) {}

    void RunStarted(const RunStart& start) override { controller_.RunStarted(start); }
    void CombinationStarted() override { controller_.CombinationStarted(); }
    void Message(MessageKind, const std::string& text) override { controller_.Message(text); }
    Answer Ask(Question, const std::string& text) override { return controller_.Ask(text); }
    void CombinationDelivered() override { controller_.CombinationDelivered(); }
    void RunDelivered() override { controller_.RunDelivered(); }
    void SummaryChart(const SummaryChartData& data) override { controller_.SummaryChart(data); }
    void Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) override {
        controller_.Progress(stage, done, total);
    }
    bool StopRequested() const override { return controller_.StopRequested(); }
    void RunEnded(const StudyOutcome& outcome) override { controller_.RunEnded(outcome); }

protected:
    StudyController& controller_;
};

} // namespace quillon
