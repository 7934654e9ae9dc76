// frmSummaryChart: the summary chart of accumulated results, with "Go &Back" (ends the
// run's wait), "&Print chart" and "&Abandon"; when a run has drawn several charts (one for
// each value of a list besides the chart's own two), "&Next chart" steps through them.
#pragma once

#include "desktop/qt/chart_window_base.h"
#include "summary/summary_chart_data.h"

#include <vector>

namespace quillon {

class SummaryChartWindow : public ChartWindowBase {
    Q_OBJECT
public:
    SummaryChartWindow(const DeskSettings& settings, Navigation& navigation, RunHost& runs);

    // Draws the chart; a hidden window is first shown at 85% of the screen, 15% in from
    // the top left, with "Go &Back" disabled until the run waits for it.
    void DrawChart(const SummaryChartData& data);
    // The charts of a run, the first drawn; with more than one, "&Next chart" shows the
    // next (after the last, the first again) and the window says which is shown.
    void SetCharts(std::vector<SummaryChartData> charts);
    // The chart shown, laid out again for the window's size now.
    void Redraw();
    // "&Next chart" pressed: the next of the run's charts.
    void NextChart();
    std::size_t ChartCount() const { return charts_.size(); }
    std::size_t ChartShown() const { return shown_; }
    // No chart: the window shows no chart of an earlier run while this one waits on it.
    void Clear();
    // "Go &Back" enabled and focused (the run is about to wait for it).
    void EnableGoBack();
    // Ready for the run to wait: ContinueFlag "n", "Go &Back" enabled and focused.
    void PrepareWaitForGoBack();
    QString Title() const;

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void Show();
    QLabel* txtTitle_ = nullptr;
    QLabel* labPosition_ = nullptr;
    QPushButton* cmdContinue_ = nullptr;
    QPushButton* cmdNext_ = nullptr;
    std::vector<SummaryChartData> charts_;
    std::size_t shown_ = 0;
};

} // namespace quillon
