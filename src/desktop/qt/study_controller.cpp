#include "desktop/qt/study_controller.h"

#include "desktop/qt/chart_window.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/spec_window_base.h"
#include "desktop/qt/summary_chart_window.h"
#include "desktop/run_holds.h"
#include "summary/window_placement.h"

namespace quillon {

StudyController::StudyController(RunWindows windows, SpecWindowBase& specification,
                                 WindowPolicy policy, bool pauseAtEachChart)
    : windows_(windows), runs_(windows.runs), specification_(specification), policy_(policy),
      pauseAtEachChart_(pauseAtEachChart),
      progress_(
          windows.runs,
          // Progress shows in the chart window while it is on screen, else in the
          // specification window of the run.
          [&chart = windows.chart, &specification](const std::string& stage, double fraction) {
              if (chart.isVisible())
                  chart.ShowProgress(stage, fraction);
              else if (specification.isVisible())
                  specification.ShowProgress(stage, fraction);
          }) {}

void StudyController::Run(const std::function<void()>& run,
                          const std::function<QWidget*()>& results) {
    // A stopped run's summary chart, left for reading, goes when the next run starts.
    keepSummary_ = false;
    windows_.summary.hide();
    specification_.SetRunning(true);
    const std::string failure = runs_.Run(run);
    specification_.SetRunning(false);
    windows_.chart.SetBusy(false);
    windows_.chart.SetRunGoingOn(false);
    windows_.summary.SetRunGoingOn(false);
    windows_.chart.hide();
    if (!keepSummary_)
        windows_.summary.hide();
    specification_.show();
    if (QWidget* window = results ? results() : nullptr) {
        window->show();
        BringForward(*window);
    }
    if (keepSummary_)
        BringForward(windows_.summary);
    if (!failure.empty())
        Messages().Show(&specification_, failure);
}

void StudyController::RunStarted(const RunStart& start) {
    start_ = start;
    singleCombination_ = start.singleCombination;
    charts_.clear();
    summaryPlaced_ = false;
    runs_.OnUi([&] {
        windows_.chart.SetRunGoingOn(true);
        windows_.summary.SetRunGoingOn(true);
    });
    switch (start.kind) {
    case RunKind::EarlierData:
        if (policy_.summaryFirstForEarlierData)
            runs_.OnUi([&] {
                SummaryChartWindow& window = windows_.summary;
                if (!window.isVisible())
                    window.ShowSized(0.15, 0.15, 0.85, 0.85, false);
                window.Clear();
                window.EnableGoBack();
            });
        return;
    case RunKind::Combinations:
    case RunKind::Comparison:
        break;
    }
    runs_.OnUi([&] {
        if (policy_.chartAtStart) {
            specification_.hide();
            if (singleCombination_)
                windows_.chart.ShowSized(0, 0, 1, 1, true);
            else
                windows_.chart.ShowSized(0, 0, 0.6, 0.6, false);
            chartNeedsSizing_ = false;
            ArrangeChartWindows();
        } else {
            chartNeedsSizing_ = true;
        }
        specification_.SetRunning(true);
        if (policy_.chartBusyWithRun)
            windows_.chart.SetBusy(true);
    });
}

void StudyController::CombinationStarted() {
    runs_.OnUi([&] { windows_.chart.SetBusy(true); });
}

void StudyController::Message(const std::string& text) {
    BeforeChange();
    runs_.OnUi([&] { Messages().Show(ActiveWindow(), text); });
}

Answer StudyController::Ask(const std::string& text) {
    BeforeChange();
    Answer answer = Answer::Cancel;
    runs_.OnUi([&] { answer = Messages().Ask(ActiveWindow(), text); });
    return answer;
}

void StudyController::CombinationDelivered() {
    if (HoldsAtNextChart(start_, pauseAtEachChart_))
        Wait(WaitKind::NextChart);
}

void StudyController::RunDelivered() {
    if (HoldsAtGoBack(start_, policy_.goBackOnlyAfterSummaryChart, !charts_.empty()))
        Wait(WaitKind::GoBack);
}

void StudyController::Wait(WaitKind what) {
    BeforeChange();
    switch (what) {
    case WaitKind::NextChart:
        runs_.OnUi([&] {
            windows_.chart.SetBusy(false);
            BringForward(windows_.chart);
            windows_.chart.PrepareWaitForNextChart();
        });
        runs_.NextChartFlag().WaitForYes(runs_.ReleasedFlag());
        if (policy_.chartBusyWithRun)
            runs_.OnUi([&] { windows_.chart.SetBusy(true); });
        return;
    case WaitKind::GoBack:
        runs_.OnUi([&] {
            if (policy_.summaryReplacesChartAtGoBack) {
                windows_.chart.hide();
                // Moved aside for the chart window during the run, the summary chart has the
                // screen to itself now: back to its usual place.
                if (summaryPlaced_ && windows_.summary.isVisible())
                    PlaceSummary(SummaryChartHome);
            } else {
                // The run's work is done: the hourglass goes while the user looks.
                specification_.SetRunning(false);
                windows_.chart.SetBusy(false);
            }
            // Everything is computed and written: nothing is left to stop.
            windows_.chart.SetRunGoingOn(false);
            windows_.summary.SetRunGoingOn(false);
            // Closed by the user during the run, the window comes back to be waited on.
            if (!windows_.summary.isVisible())
                summaryPlaced_ = false;
            ShowSummaryWindowForGoBack();
            ShowRunCharts();
            ArrangeChartWindows();
            BringForward(windows_.summary);
            windows_.summary.PrepareWaitForGoBack();
        });
        runs_.ContinueFlag().WaitForYes(runs_.ReleasedFlag());
        return;
    }
}

void StudyController::ShowSummaryWindowForGoBack() {
    SummaryChartWindow& window = windows_.summary;
    if (!window.isVisible())
        window.ShowSized(0.15, 0.15, 0.85, 0.85, false);
    // The flag itself is set to "n" only when the run waits, so a press is never undone
    // by the run catching up.
    window.EnableGoBack();
}

void StudyController::SummaryChart(const SummaryChartData& data) {
    BeforeChange();
    runs_.OnUi([&] {
        KeepChart(data);
        // Closed by the user during the run, the window comes back with the next chart,
        // placed beside the chart window again.
        if (!windows_.summary.isVisible())
            summaryPlaced_ = false;
        windows_.summary.DrawChart(data);
        ArrangeChartWindows();
    });
}

void StudyController::KeepChart(const SummaryChartData& data) {
    // The title names every value the chart's records were selected by, so a chart with the
    // title of one kept is the same chart drawn again with more points.
    for (SummaryChartData& kept : charts_)
        if (kept.title == data.title) {
            kept = data;
            return;
        }
    charts_.push_back(data);
}

void StudyController::ShowRunCharts() {
    if (charts_.empty())
        windows_.summary.Clear();
    else if (charts_.size() > 1)
        windows_.summary.SetCharts(charts_);
}

void StudyController::ArrangeChartWindows() {
    ChartWindow& chart = windows_.chart;
    SummaryChartWindow& summary = windows_.summary;
    if (summaryPlaced_ || !chart.isVisible() || !summary.isVisible())
        return;
    summaryPlaced_ = true;
    if (const auto place = PlaceSummaryChartWindow(chart.PlaceOnScreen()))
        PlaceSummary(*place);
    // Where no place keeps both sets of buttons clear, the chart window stays on top: the
    // run waits on its buttons until the last Go Back, which raises the summary chart.
    else
        chart.raise();
}

void StudyController::PlaceSummary(const Box& place) {
    SummaryChartWindow& summary = windows_.summary;
    summary.ShowSized(place.left, place.top, place.width, place.height, false);
    // Laid out again for its new size, rather than the old layout scaled.
    summary.Redraw();
}

void StudyController::BringForward(QWidget& window) {
    window.raise();
    window.activateWindow();
}

void StudyController::Progress(ProgressStage stage, std::uint64_t done, std::uint64_t total) {
    progress_.Report(stage, done, total);
}

bool StudyController::StopRequested() const {
    return progress_.StopRequested();
}

void StudyController::RunEnded(const StudyOutcome& outcome) {
    BeforeChange();
    runs_.OnUi([&] {
        specification_.SetRunning(false);
        windows_.chart.SetBusy(false);
        windows_.chart.SetRunGoingOn(false);
        windows_.summary.SetRunGoingOn(false);
        // Stopped: the summary chart of what was completed stays for the user to read, in
        // its usual place; Go Back takes it away.
        keepSummary_ = outcome.status == StudyStatus::Stopped && !charts_.empty();
        if (keepSummary_) {
            if (summaryPlaced_ && windows_.summary.isVisible())
                PlaceSummary(SummaryChartHome);
            if (!windows_.summary.isVisible())
                windows_.summary.DrawChart(charts_.back());
            ShowRunCharts();
            windows_.summary.EnableGoBack();
        } else {
            windows_.summary.hide();
        }
        windows_.chart.hide();
        specification_.show();
        if (keepSummary_)
            BringForward(windows_.summary);
    });
}

std::pair<double, double> StudyController::ChartSize() {
    double W = 0, H = 0;
    runs_.OnUi([&] {
        W = windows_.chart.DrawingWidth();
        H = windows_.chart.DrawingHeight();
    });
    return {W, H};
}

void StudyController::ShowChart(const std::string& caption, const BuildChart& build,
                                bool figureBoxes) {
    double W = 0, H = 0;
    runs_.OnUi([&] {
        specification_.hide();
        ChartWindow& chart = windows_.chart;
        if (chartNeedsSizing_ || !chart.isVisible()) {
            if (singleCombination_)
                chart.ShowSized(0, 0, 1, 1, true);
            else
                chart.ShowSized(0, 0, 0.6, 0.6, false);
            chartNeedsSizing_ = false;
            ArrangeChartWindows();
        }
        W = chart.DrawingWidth();
        H = chart.DrawingHeight();
    });
    auto [layout, drawing] = build(W, H);
    runs_.OnUi([&] {
        ChartWindow& chart = windows_.chart;
        chart.SetDrawing(std::move(drawing));
        chart.ApplyLayout(layout, figureBoxes);
        chart.SetCaption(caption);
    });
}

// The window the run's messages belong to: the chart windows while they are shown.
QWidget* StudyController::ActiveWindow() {
    if (windows_.summary.isVisible())
        return &windows_.summary;
    if (windows_.chart.isVisible())
        return &windows_.chart;
    return &specification_;
}

} // namespace quillon
