#include "desktop/qt/summary_chart_window.h"

#include "desktop/qt/drawing_painter.h"
#include "desktop/qt/run_host.h"
#include "summary/summary_chart.h"

#include <QCloseEvent>
#include <QLabel>
#include <QPushButton>

namespace quillon {

SummaryChartWindow::SummaryChartWindow(const DeskSettings& settings, Navigation& navigation,
                                       RunHost& runs)
    : ChartWindowBase(settings, navigation, runs) {
    setObjectName(QStringLiteral("frmSummaryChart"));
    setWindowTitle(QStringLiteral("Summary chart"));
    txtTitle_ = MakeTextBox(QStringLiteral("txtTitle"));
    cmdContinue_ = MakeButton(QStringLiteral("cmdContinue"), QStringLiteral("Go &Back"));
    QPushButton* cmdPrint = MakeButton(QStringLiteral("cmdPrint"), QStringLiteral("&Print chart"));
    QPushButton* cmdExit = MakeButton(QStringLiteral("cmdExit"), QStringLiteral("&Abandon"));
    cmdExit->setToolTip(QStringLiteral("End the program at once"));
    MakeStopButton();
    // Made after the buttons every chart has, so that printing leaves it out with them.
    cmdNext_ = MakeButton(QStringLiteral("cmdNextChart"), QStringLiteral("&Next chart"));
    cmdNext_->setToolTip(QStringLiteral("Show the run's next summary chart"));
    cmdNext_->hide();
    labPosition_ = MakeTextBox(QStringLiteral("labChartPosition"));
    labPosition_->hide();
    connect(cmdNext_, &QPushButton::clicked, this, &SummaryChartWindow::NextChart);

    // After the run (a stopped run's summary chart), Go Back only takes the window away.
    connect(cmdContinue_, &QPushButton::clicked, this, [this] {
        if (runs_.Active())
            runs_.ContinueFlag().Set(true);
        else
            hide();
    });
    connect(cmdPrint, &QPushButton::clicked, this, &ChartWindowBase::PrintChart);
    connect(cmdExit, &QPushButton::clicked, this, [this] { navigation_.EndProgram(); });
    resize(800, 600);
}

void SummaryChartWindow::DrawChart(const SummaryChartData& chart) {
    charts_ = {chart};
    shown_ = 0;
    Show();
}

void SummaryChartWindow::SetCharts(std::vector<SummaryChartData> charts) {
    charts_ = std::move(charts);
    shown_ = 0;
    if (charts_.empty())
        Clear();
    else
        Show();
}

void SummaryChartWindow::Redraw() {
    if (!charts_.empty())
        Show();
}

void SummaryChartWindow::NextChart() {
    if (charts_.size() < 2)
        return;
    shown_ = (shown_ + 1) % charts_.size();
    Show();
}

void SummaryChartWindow::Show() {
    const SummaryChartData& chart = charts_[shown_];
    if (!isVisible()) {
        cmdContinue_->setEnabled(false);
        ShowSized(0.15, 0.15, 0.85, 0.85, false);
    }
    const double W = DrawingWidth();
    const double H = DrawingHeight();
    const SummaryChartLayout layout = LayOutSummaryChartWindow(W, H);
    Surface().SetDrawing(BuildSummaryChart(chart, W, H, settings_.pixelSize, QtTextMetrics()));
    SetTextBoxFont(layout.fontSize);
    Place(txtTitle_, layout.title);
    Place(cmdContinue_, layout.continueButton);
    Place(buttons_[1], layout.printButton);
    Place(buttons_[2], layout.exitButton);
    Place(cmdStop_, layout.stopButton);
    Place(cmdNext_, layout.nextButton);
    Place(labPosition_, layout.position);
    SetBoxText(txtTitle_, chart.title);
    const bool several = charts_.size() > 1;
    cmdNext_->setVisible(several);
    labPosition_->setVisible(several);
    if (several)
        SetBoxText(labPosition_,
                   "Chart " + std::to_string(shown_ + 1) + " of " + std::to_string(charts_.size()));
}

void SummaryChartWindow::Clear() {
    charts_.clear();
    shown_ = 0;
    cmdNext_->hide();
    labPosition_->hide();
    Surface().SetDrawing(Drawing{DrawingWidth(), DrawingHeight(), {}});
    SetBoxText(txtTitle_, "");
}

void SummaryChartWindow::EnableGoBack() {
    cmdContinue_->setEnabled(true);
    cmdContinue_->setFocus();
}

void SummaryChartWindow::PrepareWaitForGoBack() {
    runs_.ContinueFlag().Set(false);
    EnableGoBack();
}

QString SummaryChartWindow::Title() const {
    return txtTitle_->text();
}

void SummaryChartWindow::closeEvent(QCloseEvent* event) {
    // Closing by the frame while a run waits for "Go &Back" does what it does, so the run
    // is never left waiting on a window that is no longer on screen. At any other moment of
    // a run the run goes on in the chart window: closing this one only takes it off the
    // screen (the run's charts are kept, and it comes back with the next one and at the
    // end), so nothing is stopped and nothing is asked.
    event->ignore();
    if (runs_.Active() && !runs_.ContinueFlag().Yes()) {
        runs_.ContinueFlag().Set(true);
        return;
    }
    hide();
}

} // namespace quillon
