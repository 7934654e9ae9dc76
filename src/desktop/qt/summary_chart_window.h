// frmSummaryChart: the summary chart of accumulated results, with "Go &Back" (ends the
// run's wait), "&Print chart" and "&Abandon".
#pragma once

#include "desktop/qt/chart_window_base.h"
#include "summary/summary_chart_data.h"

namespace quillon {

class SummaryChartWindow : public ChartWindowBase {
    Q_OBJECT
public:
    SummaryChartWindow(const DeskSettings& settings, Navigation& navigation, RunHost& runs);

    // Draws the chart; a hidden window is first shown at 85% of the screen, 15% in from
    // the top left, with "Go &Back" disabled until the run waits for it.
    void DrawChart(const SummaryChartData& data);
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
    QLabel* txtTitle_ = nullptr;
    QPushButton* cmdContinue_ = nullptr;
};

} // namespace quillon
