// frmChart: the window in which the studies draw their charts while a run is going on,
// with "&Next chart", "P&ause", "&Print chart" and "&Abandon", the caption box Text1 and
// the four figure boxes of the maximum study.
#pragma once

#include "core/chart_window_layout.h"
#include "desktop/qt/chart_window_base.h"

class QProgressBar;

namespace quillon {

class ChartWindow : public ChartWindowBase {
    Q_OBJECT
public:
    ChartWindow(const DeskSettings& settings, Navigation& navigation, RunHost& runs);

    enum Figure { PointValue, AreaBound, OverallMaximum, ResidueBound };

    // Places the controls; the figure boxes are shown only for the maximum study.
    void ApplyLayout(const ChartWindowLayout& layout, bool figureBoxes);
    void SetCaption(const std::string& text);
    QString Caption() const;
    void SetFigure(Figure figure, const std::string& text, Colour colour = {});
    QString FigureText(Figure figure) const;
    void SetDrawing(Drawing drawing);

    // The hourglass over the chart while the run computes.
    void SetBusy(bool busy);
    // Ready for the run to wait: NextChartFlag "n", the focus on "&Next chart".
    void PrepareWaitForNextChart();
    // Progress of a long evaluation; done == total hides the bar.
    void ShowProgress(const std::string& stage, double fraction);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QLabel* text1_ = nullptr;
    QLabel* figures_[4] = {};
    QPushButton* cmdNextChart_ = nullptr;
    QProgressBar* progress_ = nullptr;
};

} // namespace quillon
