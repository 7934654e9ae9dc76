#include "desktop/qt/chart_window.h"

#include "desktop/qt/messages.h"
#include "desktop/qt/run_host.h"

#include <QCloseEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>

namespace quillon {

ChartWindow::ChartWindow(const DeskSettings& settings, Navigation& navigation, RunHost& runs)
    : ChartWindowBase(settings, navigation, runs) {
    setObjectName(QStringLiteral("frmChart"));
    setWindowTitle(QStringLiteral("Chart"));

    text1_ = MakeTextBox(QStringLiteral("Text1"));
    figures_[PointValue] = MakeTextBox(QStringLiteral("txtPointVal"));
    figures_[AreaBound] = MakeTextBox(QStringLiteral("txtBlock_ub"));
    figures_[OverallMaximum] = MakeTextBox(QStringLiteral("txtOverallMaxVal"));
    figures_[ResidueBound] = MakeTextBox(QStringLiteral("txtLatestResidueVal_ub"));

    cmdNextChart_ = MakeButton(QStringLiteral("cmdNextChart"), QStringLiteral("&Next chart"));
    QPushButton* cmdPause = MakeButton(QStringLiteral("cmdPause"), QStringLiteral("Pa&use"));
    cmdPause->setToolTip(QStringLiteral("Use this to release PC resources for other tasks"));
    QPushButton* cmdPrint = MakeButton(QStringLiteral("cmdPrint"), QStringLiteral("&Print chart"));
    QPushButton* cmdExit = MakeButton(QStringLiteral("cmdExit"), QStringLiteral("&Abandon"));
    cmdExit->setToolTip(QStringLiteral("End the program at once"));
    MakeStopButton();

    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->setTextVisible(true);
    progress_->hide();

    connect(cmdNextChart_, &QPushButton::clicked, this,
            [this] { runs_.NextChartFlag().Set(true); });
    connect(cmdPause, &QPushButton::clicked, this, [this] {
        // The run holds at its next step until the message is closed.
        runs_.SetPaused(true);
        Messages().Show(this, "You have paused the program.  Click OK to continue.");
        runs_.SetPaused(false);
    });
    connect(cmdPrint, &QPushButton::clicked, this, &ChartWindowBase::PrintChart);
    connect(cmdExit, &QPushButton::clicked, this, [this] { navigation_.EndProgram(); });

    ApplyLayout(LayOutChartWindow(800, 600), false);
    resize(800, 600);
}

void ChartWindow::ApplyLayout(const ChartWindowLayout& layout, bool figureBoxes) {
    SetTextBoxFont(layout.fontSize);
    Place(text1_, layout.caption);
    Place(buttons_[0], layout.nextChart);
    Place(buttons_[1], layout.pause);
    Place(buttons_[2], layout.print);
    Place(buttons_[3], layout.exit);
    Place(cmdStop_, layout.stop);
    Place(figures_[PointValue], layout.pointValue);
    Place(figures_[AreaBound], layout.areaBound);
    Place(figures_[OverallMaximum], layout.overallMaximum);
    Place(figures_[ResidueBound], layout.residueBound);
    // The progress bar sits under the buttons, as wide as they are.
    Box bar = layout.stop;
    bar.top += 1.1 * bar.height;
    bar.height *= 0.5;
    Place(progress_, bar);
    for (QLabel* figure : figures_) {
        figure->setVisible(figureBoxes);
    }
}

void ChartWindow::SetCaption(const std::string& text) {
    SetBoxText(text1_, text);
}

QString ChartWindow::Caption() const {
    return text1_->text();
}

void ChartWindow::SetFigure(Figure figure, const std::string& text, Colour colour) {
    QLabel* box = figures_[figure];
    SetBoxText(box, text);
    QPalette palette = box->palette();
    palette.setColor(QPalette::WindowText, QColor(colour.red, colour.green, colour.blue));
    box->setPalette(palette);
}

QString ChartWindow::FigureText(Figure figure) const {
    return figures_[figure]->text();
}

void ChartWindow::SetDrawing(Drawing drawing) {
    Surface().SetDrawing(std::move(drawing));
}

void ChartWindow::SetBusy(bool busy) {
    if (busy) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
        progress_->hide();
    }
}

void ChartWindow::PrepareWaitForNextChart() {
    runs_.NextChartFlag().Set(false);
    cmdNextChart_->setEnabled(true);
    cmdNextChart_->setFocus();
}

void ChartWindow::ShowProgress(const std::string& stage, double fraction) {
    if (fraction >= 1 || fraction < 0) {
        progress_->hide();
        return;
    }
    progress_->setFormat(QString::fromStdString(stage) + QStringLiteral(" %p%"));
    progress_->setValue(static_cast<int>(fraction * 1000));
    progress_->show();
    progress_->raise();
}

void ChartWindow::closeEvent(QCloseEvent* event) {
    // The run owns this window: closing it by the frame while the run goes on asks whether
    // to stop the run. Once the run has computed everything and waits for "Go &Back" on the
    // summary chart, nothing is left to stop: the window just goes.
    event->ignore();
    if (!runs_.Active() || !runs_.ContinueFlag().Yes()) {
        hide();
        return;
    }
    if (!runs_.StopRequested())
        AskToStop();
}

} // namespace quillon
