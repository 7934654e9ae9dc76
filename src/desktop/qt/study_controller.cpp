#include "desktop/qt/study_controller.h"

#include "desktop/qt/chart_window.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/program.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/spec_window_base.h"
#include "desktop/run_holds.h"
#include "summary/qt/summary_chart_window.h"
#include "summary/window_placement.h"

namespace quillon {

StudyController::StudyController(Program& program, SpecWindowBase& specification,
                                 WindowPolicy policy, bool pauseAtEachChart)
    : program_(program), runs_(program.Runs()), specification_(specification), policy_(policy),
      pauseAtEachChart_(pauseAtEachChart), progress_(program) {}

void StudyController::RunStarted(const RunStart& start) {
    start_ = start;
    singleCombination_ = start.singleCombination;
    summary_.reset();
    summaryPlaced_ = false;
    switch (start.kind) {
    case RunKind::EarlierData:
        if (policy_.summaryFirstForEarlierData)
            runs_.OnUi([&] {
                SummaryChartWindow& window = program_.SummaryChart();
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
                program_.Chart().ShowSized(0, 0, 1, 1, true);
            else
                program_.Chart().ShowSized(0, 0, 0.6, 0.6, false);
            chartNeedsSizing_ = false;
            ArrangeChartWindows();
        } else {
            chartNeedsSizing_ = true;
        }
        specification_.SetRunning(true);
        if (policy_.chartBusyWithRun)
            program_.Chart().SetBusy(true);
    });
}

void StudyController::CombinationStarted() {
    runs_.OnUi([&] { program_.Chart().SetBusy(true); });
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
    if (HoldsAtGoBack(start_, policy_.goBackOnlyAfterSummaryChart, summary_.has_value()))
        Wait(WaitKind::GoBack);
}

void StudyController::Wait(WaitKind what) {
    BeforeChange();
    switch (what) {
    case WaitKind::NextChart:
        runs_.OnUi([&] {
            program_.Chart().SetBusy(false);
            BringForward(program_.Chart());
            program_.Chart().PrepareWaitForNextChart();
        });
        runs_.NextChartFlag().WaitForYes(runs_.AbandonedFlag());
        if (policy_.chartBusyWithRun)
            runs_.OnUi([&] { program_.Chart().SetBusy(true); });
        return;
    case WaitKind::GoBack:
        runs_.OnUi([&] {
            if (policy_.summaryReplacesChartAtGoBack) {
                program_.Chart().hide();
                // Moved aside for the chart window during the run, the summary chart has the
                // screen to itself now: back to its usual place.
                if (summaryPlaced_ && program_.SummaryChart().isVisible())
                    PlaceSummary(SummaryChartHome);
                ShowSummaryWindowForGoBack();
            } else {
                // The run's work is done: the hourglass goes while the user looks.
                specification_.SetRunning(false);
                program_.Chart().SetBusy(false);
            }
            if (!summary_)
                program_.SummaryChart().Clear();
            ArrangeChartWindows();
            BringForward(program_.SummaryChart());
            program_.SummaryChart().PrepareWaitForGoBack();
        });
        runs_.ContinueFlag().WaitForYes(runs_.AbandonedFlag());
        return;
    }
}

void StudyController::ShowSummaryWindowForGoBack() {
    SummaryChartWindow& window = program_.SummaryChart();
    if (!window.isVisible())
        window.ShowSized(0.15, 0.15, 0.85, 0.85, false);
    // The flag itself is set to "n" only when the run waits, so a press is never undone
    // by the run catching up.
    window.EnableGoBack();
}

void StudyController::SummaryChart(const SummaryChartData& data) {
    BeforeChange();
    runs_.OnUi([&] {
        program_.SummaryChart().DrawChart(data);
        summary_ = data;
        ArrangeChartWindows();
    });
}

void StudyController::ArrangeChartWindows() {
    ChartWindow& chart = program_.Chart();
    SummaryChartWindow& summary = program_.SummaryChart();
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
    SummaryChartWindow& summary = program_.SummaryChart();
    summary.ShowSized(place.left, place.top, place.width, place.height, false);
    // Laid out again for its new size, rather than the old layout scaled.
    if (summary_)
        summary.DrawChart(*summary_);
}

void StudyController::BringForward(QWidget& window) {
    window.raise();
    window.activateWindow();
}

void StudyController::Progress(const std::string& stage, std::uint64_t done, std::uint64_t total) {
    progress_.Report(stage, done, total);
}

bool StudyController::StopRequested() const {
    return progress_.StopRequested();
}

void StudyController::RunEnded() {
    BeforeChange();
    runs_.OnUi([&] {
        specification_.SetRunning(false);
        program_.Chart().SetBusy(false);
        program_.SummaryChart().hide();
        program_.Chart().hide();
        specification_.show();
    });
}

std::pair<double, double> StudyController::ChartSize() {
    double W = 0, H = 0;
    runs_.OnUi([&] {
        W = program_.Chart().DrawingWidth();
        H = program_.Chart().DrawingHeight();
    });
    return {W, H};
}

void StudyController::ShowChart(const std::string& caption, const BuildChart& build,
                                bool figureBoxes) {
    double W = 0, H = 0;
    runs_.OnUi([&] {
        specification_.hide();
        ChartWindow& chart = program_.Chart();
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
        ChartWindow& chart = program_.Chart();
        chart.SetDrawing(std::move(drawing));
        chart.ApplyLayout(layout, figureBoxes);
        chart.SetCaption(caption);
    });
}

// The window the run's messages belong to: the chart windows while they are shown.
QWidget* StudyController::ActiveWindow() {
    if (program_.SummaryChart().isVisible())
        return &program_.SummaryChart();
    if (program_.Chart().isVisible())
        return &program_.Chart();
    return &specification_;
}

} // namespace quillon
