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
    SetBoxText(txtTitle_, chart.title);
}

void SummaryChartWindow::Clear() {
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
    // is never left waiting on a window that is no longer on screen; at any other moment of
    // a run it asks whether to stop the run.
    event->ignore();
    if (!runs_.Active()) {
        hide();
        return;
    }
    if (!runs_.ContinueFlag().Yes()) {
        runs_.ContinueFlag().Set(true);
        return;
    }
    if (!runs_.StopRequested())
        AskToStop();
}

} // namespace quillon
