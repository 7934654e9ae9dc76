// Both studies run end to end in the windows on a data directory of their own, driven by
// the buttons a user presses (Start, Next chart, Go Back) while the run holds the
// user-interface thread in its nested event loop.
#include "qt_support.h"

#include "core/files.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/summary_chart_window.h"
#include "maxima/qt/maxima_window.h"
#include "particular/qt/particular_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QElapsedTimer>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <memory>

using namespace quillon;
using quillon::testing::Child;
using quillon::testing::RecordedMessages;
using quillon::testing::Script;
using quillon::testing::Shot;
using quillon::testing::WindowLog;

class RunsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordedMessages> messages_;
    std::unique_ptr<Program> program_;
    std::unique_ptr<WindowLog> log_;
    int endRequests_ = 0;

    std::filesystem::path DataDir() const { return dir_->path().toStdString(); }

    std::size_t LineCount(const char* file) const {
        const auto text = ReadTextFile(DataDir() / file);
        return text ? SplitLines(*text).size() : 0;
    }

    // The run waits for "&Next chart": the chart window is up and its flag is "n".
    bool WaitingForNextChart() const {
        return program_->Chart().isVisible() && !program_->Runs().NextChartFlag().Yes();
    }
    bool WaitingForGoBack() const {
        return program_->SummaryChart().isVisible() && !program_->Runs().ContinueFlag().Yes() &&
               Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->isEnabled();
    }

    // The screen rectangle of a window's control.
    static QRect OnScreen(QWidget& window, const char* control) {
        QWidget* c = Child<QWidget>(window, control);
        return QRect(c->mapToGlobal(QPoint(0, 0)), c->size());
    }
    // Neither chart window covers the other's buttons while both are shown.
    bool ButtonsClear() {
        ChartWindow& chart = program_->Chart();
        SummaryChartWindow& summary = program_->SummaryChart();
        if (!chart.isVisible() || !summary.isVisible())
            return true;
        for (const char* b : {"cmdNextChart", "cmdPause", "cmdPrint", "cmdExit"})
            if (summary.frameGeometry().intersects(OnScreen(chart, b)))
                return false;
        for (const char* b : {"cmdContinue", "cmdPrint", "cmdExit"})
            if (chart.frameGeometry().intersects(OnScreen(summary, b)))
                return false;
        return true;
    }
    static std::string ActiveWindowName() {
        QWidget* active = QApplication::activeWindow();
        return active ? active->objectName().toStdString() : "none";
    }
    // Activation reaches the windows through the event queue: a step looks once the
    // window the run waits on has had a moment to become active (or a second has passed).
    bool ActiveSettled() {
        if (!settle_.isValid())
            settle_.start();
        QWidget* waited = WaitingForGoBack() ? static_cast<QWidget*>(&program_->SummaryChart())
                                             : &program_->Chart();
        if (QApplication::activeWindow() == waited || settle_.elapsed() > 1000) {
            settle_.invalidate();
            return true;
        }
        return false;
    }
    QElapsedTimer settle_;

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        messages_ = std::make_unique<RecordedMessages>();
        endRequests_ = 0;
        Program::SetEndHandler([this] { ++endRequests_; });
        program_ = std::make_unique<Program>(DataDir());
        log_ = std::make_unique<WindowLog>();
        for (QWidget* w :
             {static_cast<QWidget*>(&program_->Particular()),
              static_cast<QWidget*>(&program_->Maxima()), static_cast<QWidget*>(&program_->Chart()),
              static_cast<QWidget*>(&program_->SummaryChart())}) {
            log_->Watch(w);
        }
    }
    void cleanup() {
        log_.reset();
        program_.reset();
        messages_.reset();
        Program::SetEndHandler({});
    }

    void particularRunWithPausesAndSummaryCharts() {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2); // comparative trial, tests 1 and 2, pi(col) .1 to .5
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);

        Script script;
        int nextCharts = 0;
        QString caption;
        for (int point = 0; point < 2; ++point) {
            script.When([this] { return WaitingForNextChart(); },
                        [&, point] {
                            ++nextCharts;
                            caption = program_->Chart().Caption();
                            QVERIFY(!program_->Particular().isVisible());
                            if (point == 1) {
                                Shot(program_->Chart(), QStringLiteral("frmChart-particular"));
                            }
                            QTest::mouseClick(Child<QPushButton>(program_->Chart(), "cmdNextChart"),
                                              Qt::LeftButton);
                        });
        }
        script.When([this] { return WaitingForGoBack(); },
                    [this] {
                        QVERIFY(!program_->Chart().isVisible());
                        Shot(program_->SummaryChart(), QStringLiteral("frmSummaryChart"));
                        QVERIFY(!program_->SummaryChart().Title().isEmpty());
                        Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click(); // returns when the run has ended

        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(nextCharts, 2);
        QVERIFY2(messages_->shown.empty(),
                 messages_->shown.empty() ? "" : messages_->shown.front().c_str());
        QVERIFY(caption.contains(QStringLiteral("12")));
        QVERIFY(w.isVisible());
        QVERIFY(!program_->Chart().isVisible());
        QVERIFY(!program_->SummaryChart().isVisible());
        // The summary chart of the first point comes before its cumulative chart.
        QVERIFY2(log_->InOrder({"show frmSummaryChart", "hide frmSetPointVals", "show frmChart",
                                "hide frmChart", "hide frmSummaryChart", "show frmSetPointVals"}),
                 log_->Text().c_str());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{3}); // heading and two points
        QVERIFY(std::filesystem::exists(DataDir() / "ParticularResults.txt"));
        QVERIFY(std::filesystem::exists(DataDir() / "Particular.ini"));

        // A later "*" run charts the same data without computing it again.
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("*"));
        Script again;
        again.When(
            [this] { return WaitingForGoBack(); },
            [this] { Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click(); });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(again.Done());
        QVERIFY2(messages_->shown.empty(),
                 messages_->shown.empty() ? "" : messages_->shown.front().c_str());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{3});
    }

    void twoTestsAnsweredYesShowTheScatter() {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(10); // N = 12, tests 1 and 4, pi(col) .5, m = 6
        messages_->answers = {Answer::Yes};
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [this] {
                        Shot(program_->Chart(), QStringLiteral("frmChart-scatter"));
                        Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(script.Done());
        QCOMPARE(messages_->asked.size(), std::size_t{1});
        QVERIFY(messages_->asked[0].starts_with("You have chosen two tests."));
        // The counts of significant tables, then nothing more.
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].starts_with(
            "Possible sample tables significant by the two tests:"));
        QVERIFY(
            std::filesystem::exists(DataDir() / "Comparisons_Of_Significant_Sample_Tables.txt"));
        QVERIFY(w.isVisible());
        QVERIFY(!program_->Chart().isVisible());
        QVERIFY(!program_->SummaryChart().isVisible());
    }

    void abandonEndsTheProgramInTheMiddleOfARun() {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12, 14"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdExit")->click(); });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(script.Done());
        QCOMPARE(endRequests_, 1);
        // The first point's summary line is on disk, whole.
        const auto summary = ReadTextFile(DataDir() / "ParticularSummary.txt");
        QVERIFY(summary.has_value());
        QVERIFY(summary->ends_with("\r\n"));
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{2});
    }

    // Stop at each kind of wait: the run ends at its next safe point with the files as after
    // the last combination completed, the specification window is back with its fields as
    // they were, and the program goes on (Abandon alone ends it).
    void stopAtNextChartKeepsWhatWasCompleted() {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12, 14"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        const ParticularSettings before = w.Fields();
        bool stopShown = false;
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [&] {
                        auto* stop = Child<QPushButton>(program_->Chart(), "cmdStop");
                        stopShown = stop->isVisible() && stop->text() == QStringLiteral("&Stop");
                        stop->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(script.Done());
        QVERIFY(stopShown);
        QCOMPARE(endRequests_, 0);
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{2}); // heading and N = 10
        QVERIFY(w.isVisible());
        QVERIFY(w.Fields() == before);
        QVERIFY(Child<QPushButton>(w, "cmdStart")->isEnabled());
        QVERIFY(!program_->Chart().isVisible());
        QVERIFY(!Child<QPushButton>(program_->Chart(), "cmdStop")->isVisible());
        QVERIFY2(messages_->shown.empty(),
                 messages_->shown.empty() ? "" : messages_->shown.front().c_str());

        // The same run again goes to the end: a stop is for one run only.
        Child<QCheckBox>(w, "chkPause")->setChecked(false);
        Script again;
        again.When(
            [this] { return WaitingForGoBack(); },
            [this] { Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click(); });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(again.Done());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{5});
    }

    void stopWhileASummaryChartIsShownLeavesItForReading() {
        // A maximum run over three N with Pause: after the second search both chart windows
        // are up and the run waits on Next chart; Stop from the summary-chart window ends the
        // run there, and the summary chart of the two maxima found stays over the maximum
        // window until Go Back takes it away.
        MaximaWindow& m = program_->Maxima();
        m.show();
        Child<QRadioButton>(m, "opt1")->setChecked(true);
        Child<QLineEdit>(m, "txtNumber")->setText(QStringLiteral("6, 8, 10"));
        Child<QLineEdit>(m, "txtRow1")->setText(QStringLiteral(".5"));
        Child<QLineEdit>(m, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(m, "txtMEN")->setText(QStringLiteral("0"));
        Child<QLineEdit>(m, "txtMMT")->setText(QStringLiteral("1"));
        Child<QLineEdit>(m, "txtAccuracy")->setText(QStringLiteral(".01"));
        Child<QCheckBox>(m, "chkPause")->setChecked(true);
        const MaximaSettings before = m.Fields();
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        script.When(
            [this] { return WaitingForNextChart() && program_->SummaryChart().isVisible(); },
            [this] { Child<QPushButton>(program_->SummaryChart(), "cmdStop")->click(); });
        Child<QPushButton>(m, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(endRequests_, 0);
        QCOMPARE(LineCount("MaximaSummary.txt"), std::size_t{3}); // heading, N = 6 and 8
        QVERIFY(m.isVisible());
        QVERIFY(m.Fields() == before);
        QVERIFY(!program_->Chart().isVisible());
        SummaryChartWindow& summary = program_->SummaryChart();
        QVERIFY(summary.isVisible());
        QVERIFY(!summary.Title().isEmpty());
        QVERIFY(!Child<QPushButton>(summary, "cmdStop")->isVisible());
        QVERIFY(Child<QPushButton>(summary, "cmdContinue")->isEnabled());
        Child<QPushButton>(summary, "cmdContinue")->click();
        QVERIFY(!summary.isVisible());
        QVERIFY(m.isVisible());
    }

    void stopInTheMiddleOfASearchWritesNothingForIt() {
        // No wait at all: Stop pressed while the first search is computing. The search ends
        // at its next area and writes no maximum for a search it did not finish.
        MaximaWindow& m = program_->Maxima();
        m.show();
        m.ChooseExample(5); // cross-sectional study
        Child<QLineEdit>(m, "txtNumber")->setText(QStringLiteral("60, 70"));
        Child<QLineEdit>(m, "txtAccuracy")->setText(QStringLiteral(".00001"));
        Script script;
        script.When(
            [this] {
                return program_->Chart().isVisible() &&
                       program_->Chart().Surface().CurrentDrawing().ops.size() > 10;
            },
            [this] { Child<QPushButton>(program_->Chart(), "cmdStop")->click(); });
        QElapsedTimer clock;
        clock.start();
        Child<QPushButton>(m, "cmdStart")->click();
        QVERIFY(script.Done());
        QCOMPARE(endRequests_, 0);
        QVERIFY(LineCount("MaximaSummary.txt") <= 1); // at most the heading
        QVERIFY(m.isVisible());
        QVERIFY(!program_->Chart().isVisible());
    }

    void closingAChartWindowDuringARunAsksWhetherToStop() {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12, 14"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        messages_->answers = {Answer::No, Answer::Yes};
        bool stillWaiting = false;
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [&] {
                        program_->Chart().close(); // answered No: nothing changes
                        stillWaiting = WaitingForNextChart();
                        program_->Chart().close(); // answered Yes: the run stops
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(script.Done());
        QVERIFY(stillWaiting);
        QCOMPARE(messages_->asked.size(), std::size_t{2});
        QVERIFY(messages_->asked[0].starts_with("Stop the run?"));
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{2});
        QCOMPARE(endRequests_, 0);
        QVERIFY(w.isVisible());
    }

    void refusedValueEndsTheRunWithItsMessage() {
        ParticularWindow& w = program_->Particular();
        w.show();
        Child<QRadioButton>(w, "opt1")->setChecked(true);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("20"));
        Child<QLineEdit>(w, "txtP_row")->setText(QStringLiteral(".75"));
        Child<QPushButton>(w, "cmdStart")->click();
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].ends_with("decimal up to 0.5, or an integer."));
        QVERIFY(w.isVisible());
        QVERIFY(Child<QPushButton>(w, "cmdStart")->isEnabled());
        QVERIFY(!program_->Chart().isVisible());
    }

    void maximumRunWaitsForNextChart() {
        MaximaWindow& w = program_->Maxima();
        w.show();
        Child<QRadioButton>(w, "opt1")->setChecked(true);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("8"));
        Child<QLineEdit>(w, "txtRow1")->setText(QStringLiteral(".5"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtMEN")->setText(QStringLiteral("0"));
        Child<QLineEdit>(w, "txtMMT")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtParameter")->setText(QStringLiteral(".05"));
        Child<QLineEdit>(w, "txtAccuracy")->setText(QStringLiteral(".01"));

        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [this] {
                        ChartWindow& chart = program_->Chart();
                        QVERIFY(chart.findChild<QLabel*>("txtOverallMaxVal")->isVisible());
                        QVERIFY(chart.FigureText(ChartWindow::OverallMaximum)
                                    .startsWith(QStringLiteral("Maximum value found")));
                        Shot(chart, QStringLiteral("frmChart-maximum"));
                        // Pause holds the run until its message is closed.
                        Child<QPushButton>(chart, "cmdPause")->click();
                        Child<QPushButton>(chart, "cmdNextChart")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();

        QVERIFY(script.Done());
        QCOMPARE(messages_->shown,
                 (std::vector<std::string>{"You have paused the program.  Click OK to continue."}));
        QVERIFY(w.isVisible());
        QVERIFY(!program_->Chart().isVisible());
        QVERIFY2(log_->InOrder(
                     {"hide frmSetMaxima", "show frmChart", "hide frmChart", "show frmSetMaxima"}),
                 log_->Text().c_str());
        QCOMPARE(LineCount("MaximaSummary.txt"), std::size_t{2}); // heading and one maximum
        QVERIFY(std::filesystem::exists(DataDir() / "MaximaResultsAllAreas.txt"));
        QVERIFY(std::filesystem::exists(DataDir() / "Maxima.ini"));
    }

    void crossSectionalMaximumDrawsTheMap() {
        MaximaWindow& w = program_->Maxima();
        w.show();
        w.ChooseExample(5); // cross-sectional study, N = 10, test 1, accuracy .005
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("6"));
        Child<QLineEdit>(w, "txtAccuracy")->setText(QStringLiteral(".02"));
        Script script;
        QString overall;
        std::size_t ops = 0;
        script.When([this] { return WaitingForNextChart(); },
                    [&] {
                        ChartWindow& chart = program_->Chart();
                        overall = chart.FigureText(ChartWindow::OverallMaximum);
                        ops = chart.Surface().CurrentDrawing().ops.size();
                        Shot(chart, QStringLiteral("frmChart-map"));
                        Child<QPushButton>(chart, "cmdNextChart")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(script.Done());
        QVERIFY2(messages_->shown.empty(),
                 messages_->shown.empty() ? "" : messages_->shown.front().c_str());
        QVERIFY2(overall.simplified().startsWith(QStringLiteral("Overall maximum value found:")),
                 qPrintable(overall));
        QVERIFY(ops > 20);
        QCOMPARE(LineCount("MaximaSummary.txt"), std::size_t{2});
    }

    void waitingWindowIsOnTopAndNoWindowCoversTheOthersButtons() {
        // A particular run over three N that pauses at each chart: the summary chart grows
        // beside the chart window, whose buttons stay uncovered and which is the active
        // window each time the run waits for Next chart. The steps note what they find and
        // always press on, so a failure ends the run instead of leaving it waiting.
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12, 14"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        std::vector<std::string> found;
        auto note = [&](const char* when) {
            found.push_back(std::string(when) + (ButtonsClear() ? " clear" : " covered") + " " +
                            ActiveWindowName());
        };
        Script script;
        for (int point = 0; point < 3; ++point)
            script.When([this] { return WaitingForNextChart() && ActiveSettled(); },
                        [&] {
                            note("next chart");
                            Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
                        });
        script.When([this] { return WaitingForGoBack() && ActiveSettled(); },
                    [&] {
                        note("go back");
                        Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(found, (std::vector<std::string>{
                            "next chart clear frmChart", "next chart clear frmChart",
                            "next chart clear frmChart", "go back clear frmSummaryChart"}));

        // A maximum run over several N: its search graph and Pause are never buried under
        // the summary chart either, and at the last Go Back the summary chart is on top.
        MaximaWindow& m = program_->Maxima();
        w.hide();
        m.show();
        Child<QRadioButton>(m, "opt1")->setChecked(true);
        Child<QLineEdit>(m, "txtNumber")->setText(QStringLiteral("6, 8"));
        Child<QLineEdit>(m, "txtRow1")->setText(QStringLiteral(".5"));
        Child<QLineEdit>(m, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(m, "txtAccuracy")->setText(QStringLiteral(".01"));
        Child<QCheckBox>(m, "chkPause")->setChecked(true);
        found.clear();
        Script maxima;
        for (int n = 0; n < 2; ++n)
            maxima.When([this] { return WaitingForNextChart() && ActiveSettled(); },
                        [&] {
                            note("next chart");
                            Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
                        });
        maxima.When([this] { return WaitingForGoBack() && ActiveSettled(); },
                    [&] {
                        note("go back");
                        Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                    });
        Child<QPushButton>(m, "cmdStart")->click();
        QVERIFY2(maxima.Done(), log_->Text().c_str());
        QCOMPARE(found,
                 (std::vector<std::string>{"next chart clear frmChart", "next chart clear frmChart",
                                           "go back clear frmSummaryChart"}));
    }

    void summaryChartOfAnotherRunIsNeverShown() {
        // A run over two N leaves its summary chart in the window; a later single-point run
        // waits for Go Back over an empty summary chart, not over that one, and so does a
        // chart of earlier data that has none to show.
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(false);
        // Each step notes the summary chart's title and drawing, then presses on.
        std::vector<std::string> titles;
        std::vector<std::size_t> ops;
        auto noteAndGoBack = [&] {
            titles.push_back(program_->SummaryChart().Title().toStdString());
            ops.push_back(program_->SummaryChart().Surface().CurrentDrawing().ops.size());
            Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
        };
        Script first;
        first.When([this] { return WaitingForGoBack(); }, noteAndGoBack);
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(first.Done());

        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10"));
        Script single;
        single.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        single.When([this] { return WaitingForGoBack(); }, noteAndGoBack);
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(single.Done());

        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("*"));
        Script notProgrammed;
        notProgrammed.When([this] { return WaitingForGoBack(); },
                           [this] {
                               QVERIFY(program_->SummaryChart().Title().isEmpty());
                               Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                           });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY(notProgrammed.Done());
        QCOMPARE(messages_->shown.back(),
                 std::string("The analysis that you have requested has not been programmed"));
    }

    // The summary-chart window's own stepping through a run's charts.
    static QString Position(SummaryChartWindow& summary) {
        auto* label = Child<QLabel>(summary, "labChartPosition");
        return label->isVisible() ? label->text() : QString();
    }
    // A particular run whose charts are one a value of N: N 10, 12 and pi(col) .3, .5.
    void SetUpChartPerN(bool pause) {
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".3, .5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(pause);
    }

    void severalSummaryChartsAreSteppedThroughAtGoBack() {
        SetUpChartPerN(false);
        SummaryChartWindow& summary = program_->SummaryChart();
        std::vector<QString> titles, positions;
        Script script;
        script.When([this] { return WaitingForGoBack(); },
                    [&] {
                        auto* next = Child<QPushButton>(summary, "cmdNextChart");
                        QVERIFY(next->isVisible());
                        // Everything is computed: nothing is left to stop.
                        QVERIFY(!Child<QPushButton>(summary, "cmdStop")->isVisible());
                        QCOMPARE(next->text(), QStringLiteral("&Next chart"));
                        for (int press = 0; press < 3; ++press) {
                            titles.push_back(summary.Title());
                            positions.push_back(Position(summary));
                            if (press == 1)
                                Shot(summary, QStringLiteral("frmSummaryChart-second-of-two"));
                            next->click();
                        }
                        // Closing the window by its frame is Go Back: nothing asked.
                        summary.close();
                    });
        Child<QPushButton>(program_->Particular(), "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(positions, (std::vector<QString>{QStringLiteral("Chart 1 of 2"),
                                                  QStringLiteral("Chart 2 of 2"),
                                                  QStringLiteral("Chart 1 of 2")}));
        QVERIFY(titles[0].contains(QStringLiteral("N = 10")));
        QVERIFY(titles[1].contains(QStringLiteral("N = 12")));
        QCOMPARE(titles[2], titles[0]);
        QVERIFY(messages_->asked.empty());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{5});
        QVERIFY(!summary.isVisible());
        QVERIFY(program_->Particular().isVisible());

        // A run with one chart shows no stepping.
        Child<QLineEdit>(program_->Particular(), "txtNumber")->setText(QStringLiteral("10"));
        Script one;
        bool stepping = true;
        one.When([this] { return WaitingForGoBack(); },
                 [&] {
                     stepping = Child<QPushButton>(summary, "cmdNextChart")->isVisible() ||
                                !Position(summary).isEmpty();
                     Child<QPushButton>(summary, "cmdContinue")->click();
                 });
        Child<QPushButton>(program_->Particular(), "cmdStart")->click();
        QVERIFY(one.Done());
        QVERIFY(!stepping);
    }

    void aStoppedRunKeepsEveryChartWithTheSweepCutShort() {
        // Stopped at the chart of N = 12, pi(col) .3: the chart of N = 10 and the sweep of
        // N = 12 as far as it went stay over the specification window, to be stepped
        // through; Go Back takes them away.
        SetUpChartPerN(true);
        Script script;
        for (int point = 0; point < 2; ++point)
            script.When([this] { return WaitingForNextChart(); },
                        [this] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        script.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdStop")->click(); });
        Child<QPushButton>(program_->Particular(), "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{4});
        SummaryChartWindow& summary = program_->SummaryChart();
        QVERIFY(summary.isVisible());
        QVERIFY(program_->Particular().isVisible());
        QCOMPARE(summary.ChartCount(), std::size_t{2});
        QCOMPARE(Position(summary), QStringLiteral("Chart 1 of 2"));
        QVERIFY(summary.Title().contains(QStringLiteral("N = 10")));
        Child<QPushButton>(summary, "cmdNextChart")->click();
        QVERIFY(summary.Title().contains(QStringLiteral("N = 12")));
        QVERIFY(!Child<QPushButton>(summary, "cmdStop")->isVisible());
        QVERIFY(messages_->asked.empty());
        Child<QPushButton>(summary, "cmdContinue")->click();
        QVERIFY(!summary.isVisible());
    }

    void closingTheSummaryChartWhileTheRunWaitsAtNextChartOnlyTakesItAway() {
        // Only N varies: the summary chart is redrawn after every point. Closed while the
        // run waits on Next chart, it goes without a question and the run still waits; it
        // comes back with the next chart, holding every point.
        ParticularWindow& w = program_->Particular();
        w.show();
        w.ChooseExample(2);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10, 12, 14"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(w, "txtP_col")->setText(QStringLiteral(".5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        SummaryChartWindow& summary = program_->SummaryChart();
        bool hidden = false, stillWaiting = false, back = false;
        Script script;
        script.When(
            [this] { return WaitingForNextChart() && program_->SummaryChart().isVisible(); },
            [&] {
                summary.close();
                hidden = !summary.isVisible();
                stillWaiting = WaitingForNextChart();
                Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
            });
        script.When([this] { return WaitingForNextChart(); },
                    [&] {
                        back = summary.isVisible() && ButtonsClear();
                        Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
                    });
        script.When([this] { return WaitingForNextChart(); },
                    [&] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        script.When([this] { return WaitingForGoBack(); },
                    [&] { Child<QPushButton>(summary, "cmdContinue")->click(); });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QVERIFY(hidden);
        QVERIFY(stillWaiting);
        QVERIFY(back);
        QVERIFY(messages_->asked.empty());
        QCOMPARE(LineCount("ParticularSummary.txt"), std::size_t{4});
    }

    void closingTheChartWindowAtGoBackAsksNothing() {
        // The search's chart window stays up beside the summary chart at the end; closed
        // there, it goes without a question and the run still waits for Go Back.
        MaximaWindow& m = program_->Maxima();
        m.show();
        Child<QRadioButton>(m, "opt1")->setChecked(true);
        Child<QLineEdit>(m, "txtNumber")->setText(QStringLiteral("6, 8"));
        Child<QLineEdit>(m, "txtRow1")->setText(QStringLiteral(".5"));
        Child<QLineEdit>(m, "txtTest")->setText(QStringLiteral("1"));
        Child<QLineEdit>(m, "txtMEN")->setText(QStringLiteral("0"));
        Child<QLineEdit>(m, "txtAccuracy")->setText(QStringLiteral(".01"));
        Child<QCheckBox>(m, "chkPause")->setChecked(false);
        bool chartUp = false, chartGone = false, stillWaiting = false, stopShown = true;
        Script script;
        script.When([this] { return WaitingForGoBack(); },
                    [&] {
                        chartUp = program_->Chart().isVisible();
                        stopShown = Child<QPushButton>(program_->Chart(), "cmdStop")->isVisible();
                        program_->Chart().close();
                        chartGone = !program_->Chart().isVisible();
                        stillWaiting = WaitingForGoBack();
                        Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                    });
        Child<QPushButton>(m, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QVERIFY(chartUp);
        QVERIFY(!stopShown);
        QVERIFY(chartGone);
        QVERIFY(stillWaiting);
        QVERIFY(messages_->asked.empty());
        QCOMPARE(LineCount("MaximaSummary.txt"), std::size_t{3});
        QVERIFY(m.isVisible());
    }

    void aStoppedMaximumRunChartsTheTestsItCompleted() {
        // N and tests vary: the chart is due after the last test of each N. Stopped after
        // test 1 of N = 8, the summary chart of both tests at 6 and test 1 at 8 is left.
        MaximaWindow& m = program_->Maxima();
        m.show();
        Child<QRadioButton>(m, "opt1")->setChecked(true);
        Child<QLineEdit>(m, "txtNumber")->setText(QStringLiteral("6, 8, 10"));
        Child<QLineEdit>(m, "txtRow1")->setText(QStringLiteral(".5"));
        Child<QLineEdit>(m, "txtTest")->setText(QStringLiteral("1, 3"));
        Child<QLineEdit>(m, "txtMEN")->setText(QStringLiteral("0"));
        Child<QLineEdit>(m, "txtMMT")->setText(QStringLiteral("1"));
        Child<QLineEdit>(m, "txtAccuracy")->setText(QStringLiteral(".01"));
        Child<QCheckBox>(m, "chkPause")->setChecked(true);
        Script script;
        for (int search = 0; search < 2; ++search)
            script.When([this] { return WaitingForNextChart(); },
                        [this] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        script.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdStop")->click(); });
        Child<QPushButton>(m, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(LineCount("MaximaSummary.txt"), std::size_t{4}); // heading and three maxima
        SummaryChartWindow& summary = program_->SummaryChart();
        QVERIFY(summary.isVisible());
        QCOMPARE(summary.ChartCount(), std::size_t{1});
        QVERIFY(!summary.Title().isEmpty());
        QVERIFY(Position(summary).isEmpty());
        Child<QPushButton>(summary, "cmdContinue")->click();
        QVERIFY(!summary.isVisible());
    }

    void savingTheChartPicture() {
        ChartWindow& chart = program_->Chart();
        chart.ShowSized(0, 0, 0.6, 0.6, false);
        chart.SetCaption("A caption");
        const std::string base = (DataDir() / "picture").string();
        for (const char* extension : {".png", ".svg", ".pdf"}) {
            QVERIFY(!chart.SaveImage(base + extension).has_value());
            QVERIFY(std::filesystem::file_size(base + extension) > 100);
        }
        const auto svg = ReadTextFile(base + ".svg");
        QVERIFY(svg->find("A caption") != std::string::npos);
        // Print chart: with no printer the picture is offered as a file instead.
        messages_->savePath = (DataDir() / "printed.pdf").string();
        Child<QPushButton>(chart, "cmdPrint")->click();
        QVERIFY(Child<QPushButton>(chart, "cmdPrint")->isVisible());
        QVERIFY(std::filesystem::exists(DataDir() / "printed.pdf"));
        QVERIFY(!messages_->shown.empty());
        QVERIFY(messages_->shown.back().find("printed.pdf") != std::string::npos);
    }
};

QTEST_MAIN(RunsTest)
#include "test_runs.moc"
