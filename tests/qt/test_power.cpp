// The power study in its window, offscreen: the fourth start-window button opens it, an
// example fills its fields, Start runs a small sweep through the chart window and the
// summary-chart window (power against N with the grey target line), the results table with
// the sample sizes follows, and the settings are kept in "Power.ini". A single combination
// ends on its bars; Stop returns to the power window.
#include "qt_support.h"

#include "app/welcome_window.h"
#include "core/files.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/summary_chart_window.h"
#include "power/qt/power_results_window.h"
#include "power/qt/power_window.h"
#include "power/result_files.h"

#include <QApplication>
#include <QCheckBox>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QTest>

#include <filesystem>
#include <memory>
#include <set>
#include <variant>

using namespace quillon;
using quillon::testing::Child;
using quillon::testing::RecordedMessages;
using quillon::testing::Script;
using quillon::testing::Shot;
using quillon::testing::WindowLog;

class PowerWindowTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordedMessages> messages_;
    std::unique_ptr<Program> program_;
    std::unique_ptr<WindowLog> log_;

    std::filesystem::path DataDir() const { return dir_->path().toStdString(); }

    bool WaitingForNextChart() const {
        return program_->Chart().isVisible() && !program_->Runs().NextChartFlag().Yes();
    }
    bool WaitingForGoBack() const {
        return program_->SummaryChart().isVisible() && !program_->Runs().ContinueFlag().Yes() &&
               Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->isEnabled();
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        messages_ = std::make_unique<RecordedMessages>();
        Program::SetEndHandler([] {});
        program_ = std::make_unique<Program>(DataDir());
        log_ = std::make_unique<WindowLog>();
        for (QWidget* w :
             {static_cast<QWidget*>(&program_->Power()), static_cast<QWidget*>(&program_->Chart()),
              static_cast<QWidget*>(&program_->SummaryChart())})
            log_->Watch(w);
    }
    void cleanup() {
        log_.reset();
        program_.reset();
        messages_.reset();
        Program::SetEndHandler({});
    }

    void startButtonHasItsOwnAccessKey() {
        auto* power = Child<QPushButton>(program_->Welcome(), "cmdPower");
        QCOMPARE(QString(power->text()).remove(QLatin1Char('&')),
                 QStringLiteral("Compare the Power of the tests for particular population "
                                "proportions, and find sample sizes"));
        // Every start-window button's access key is its own.
        std::set<QChar> keys;
        int buttons = 0;
        for (QPushButton* b : program_->Welcome().findChildren<QPushButton*>()) {
            const qsizetype at = b->text().indexOf(QLatin1Char('&'));
            if (at < 0 || at + 1 >= b->text().size())
                continue;
            ++buttons;
            keys.insert(b->text().at(at + 1).toLower());
        }
        QCOMPARE(static_cast<int>(keys.size()), buttons);
        power->click();
        QVERIFY(program_->Power().isVisible());
        QVERIFY(!program_->Welcome().isVisible());
    }

    void sweepRunsThroughTheChartWindows() {
        PowerWindow& w = program_->Power();
        w.show();
        w.ChooseExample(0); // .2 against .6, N 10 to 60 step 10, tests 1 - 7
        QCOMPARE(Child<QLineEdit>(w, "txtP2")->text(), QStringLiteral(".6"));
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("20, 30, 40"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1, 5"));
        QVERIFY(!Child<QLineEdit>(w, "txtTarget")->toolTip().isEmpty());

        Script script;
        QString title;
        script.When([this] { return WaitingForGoBack(); },
                    [&] {
                        title = program_->SummaryChart().Title();
                        Shot(program_->SummaryChart(), QStringLiteral("frmSummaryChart-power"));
                        Child<QPushButton>(program_->SummaryChart(), "cmdContinue")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click(); // returns when the run has ended

        QVERIFY2(script.Done(), log_->Text().c_str());
        QVERIFY(title.contains(QStringLiteral("target power = .8")));
        QVERIFY2(messages_->shown.empty(),
                 messages_->shown.empty() ? "" : messages_->shown.front().c_str());
        QVERIFY2(log_->InOrder({"hide frmSetPowerVals", "show frmChart", "show frmSummaryChart",
                                "hide frmSummaryChart", "show frmSetPowerVals"}),
                 log_->Text().c_str());
        QVERIFY(w.isVisible());
        const auto summary = ReadTextFile(DataDir() / "PowerSummary.txt");
        QVERIFY(summary.has_value());
        QCOMPARE(SplitLines(*summary).size(), std::size_t{7}); // heading, 3 N x 2 tests
        QVERIFY(std::filesystem::exists(DataDir() / "PowerResults.txt"));

        // The results table: each test's power and size at each N as the summary file has
        // them, and the sample sizes (test 1 reaches .8 at none of 20 - 40).
        PowerResultsWindow& results = w.Results();
        QVERIFY(results.isVisible());
        Shot(results, QStringLiteral("frmPowerResults"));
        auto* table = Child<QTableWidget>(results, "tblResults");
        const std::vector<std::string> records = SplitLines(*summary);
        QCOMPARE(table->rowCount(), 6);
        for (int r = 0; r < table->rowCount(); ++r) {
            const std::vector<std::string> record =
                SplitTabs(records[static_cast<std::size_t>(r) + 1]);
            QCOMPARE(table->item(r, 0)->text().section(QLatin1Char(' '), 0, 0),
                     QString::fromStdString(record[FieldTest - 1]).trimmed());
            QCOMPARE(table->item(r, 1)->text(),
                     QString::fromStdString(record[FieldN - 1]).trimmed());
            QCOMPARE(table->item(r, 6)->text(),
                     QString::fromStdString(record[FieldPower - 1]).trimmed());
            QCOMPARE(table->item(r, 7)->text(),
                     QString::fromStdString(record[FieldSize - 1]).trimmed());
        }
        auto* sizes = Child<QTableWidget>(results, "tblSampleSizes");
        QVERIFY(sizes->isVisible());
        QCOMPARE(sizes->rowCount(), 2);
        QVERIFY(sizes->item(0, 6)->text().startsWith(QStringLiteral("not reached, best power ")));
        QVERIFY(sizes->item(0, 6)->text().endsWith(QStringLiteral(" at N = 40")));
        // The window is widened for the long cells, as far as the screen allows: made
        // narrow and given the table again, it grows to show every column or to the
        // screen's width, whichever is less.
        const int screenWidth = results.screen()->availableGeometry().width() * 95 / 100;
        results.resize(300, results.height());
        results.SetTable(results.Table());
        QVERIFY(results.width() > 300);
        QVERIFY(results.width() <= screenWidth);
        QCoreApplication::processEvents();
        if (results.width() < screenWidth)
            QCOMPARE(sizes->horizontalScrollBar()->maximum(), 0);
        // Saved as text, both tables.
        const std::string saved = (DataDir() / "table.txt").string();
        QVERIFY(!results.Save(saved).has_value());
        QCOMPARE(*ReadTextFile(saved), results.Table().Text());

        // The settings were saved at Start and a new window reads them.
        QVERIFY(std::filesystem::exists(DataDir() / "Power.ini"));
        PowerWindow again(program_->Settings(), *program_, program_->ForRuns());
        QCOMPARE(again.Fields(), w.Fields());
    }

    void singleCombinationEndsOnItsBarsAndNumbers() {
        PowerWindow& w = program_->Power();
        w.show();
        w.ChooseExample(0);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("30"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1, 4, 5"));
        Script script;
        std::size_t bars = 0;
        bool summaryShown = true;
        script.When([this] { return WaitingForNextChart(); },
                    [&] {
                        for (const DrawOp& op : program_->Chart().Surface().CurrentDrawing().ops)
                            bars += std::holds_alternative<FilledRectOp>(op) ? 1 : 0;
                        summaryShown = program_->SummaryChart().isVisible();
                        Shot(program_->Chart(), QStringLiteral("frmChart-power-bars"));
                        Child<QPushButton>(program_->Chart(), "cmdNextChart")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(bars, std::size_t{3 * 2 + 2}); // power and size of three tests, the legend
        QVERIFY(!summaryShown);
        QVERIFY(!log_->InOrder({"show frmSummaryChart"}));
        QVERIFY(messages_->shown.empty());
        QCOMPARE(Child<QTableWidget>(w.Results(), "tblResults")->rowCount(), 3);
        QVERIFY(!Child<QTableWidget>(w.Results(), "tblSampleSizes")->isVisible());
        QVERIFY(w.Results().isVisible());
    }

    void stopReturnsToThePowerWindow() {
        // A multi-N run with Pause, stopped from its chart window at the second combination:
        // the summary file holds the two combinations completed, the results table shows
        // them, and the power window is back as it was.
        PowerWindow& w = program_->Power();
        w.show();
        w.ChooseExample(0);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("10 to 60 step 10"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1, 5"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        const PowerSettings before = w.Fields();
        Script script;
        script.When([this] { return WaitingForNextChart(); },
                    [this] { Child<QPushButton>(program_->Chart(), "cmdNextChart")->click(); });
        script.When([this] { return WaitingForNextChart(); },
                    [this] {
                        Shot(program_->Chart(), QStringLiteral("frmChart-power-stop"));
                        Child<QPushButton>(program_->Chart(), "cmdStop")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        const auto summary = ReadTextFile(DataDir() / "PowerSummary.txt");
        QVERIFY(summary.has_value());
        QCOMPARE(SplitLines(*summary).size(), std::size_t{5}); // heading, 2 N x 2 tests
        QCOMPARE(Child<QTableWidget>(w.Results(), "tblResults")->rowCount(), 4);
        QVERIFY(w.isVisible());
        QVERIFY(w.Fields() == before);
        QVERIFY(!program_->Chart().isVisible());
        QVERIFY(Child<QPushButton>(w, "cmdStart")->isEnabled());
        // The chart of power against the two N completed stays to be read.
        SummaryChartWindow& chart = program_->SummaryChart();
        QVERIFY(chart.isVisible());
        QCOMPARE(chart.ChartCount(), std::size_t{1});
        QVERIFY(chart.Title().contains(QStringLiteral("p1 = .2")));
        Child<QPushButton>(chart, "cmdContinue")->click();
        QVERIFY(!chart.isVisible());
    }

    void twoValuesOfP1GiveTwoChartsSteppedThrough() {
        PowerWindow& w = program_->Power();
        w.show();
        w.ChooseExample(0);
        Child<QLineEdit>(w, "txtNumber")->setText(QStringLiteral("20, 30"));
        Child<QLineEdit>(w, "txtP1")->setText(QStringLiteral(".2, .3"));
        Child<QLineEdit>(w, "txtTest")->setText(QStringLiteral("1, 5"));
        SummaryChartWindow& chart = program_->SummaryChart();
        std::vector<QString> titles;
        std::size_t charts = 0;
        Script script;
        script.When([this] { return WaitingForGoBack(); },
                    [&] {
                        charts = chart.ChartCount();
                        titles.push_back(chart.Title());
                        Child<QPushButton>(chart, "cmdNextChart")->click();
                        titles.push_back(chart.Title());
                        Shot(chart, QStringLiteral("frmSummaryChart-power-second-p1"));
                        Child<QPushButton>(chart, "cmdContinue")->click();
                    });
        Child<QPushButton>(w, "cmdStart")->click();
        QVERIFY2(script.Done(), log_->Text().c_str());
        QCOMPARE(charts, std::size_t{2});
        QCOMPARE(titles.size(), std::size_t{2});
        QVERIFY(titles[0].contains(QStringLiteral("p1 = .2")));
        QVERIFY(titles[1].contains(QStringLiteral("p1 = .3")));
        // The results table holds both: 2 N x 2 p1 x 2 tests.
        QCOMPARE(Child<QTableWidget>(w.Results(), "tblResults")->rowCount(), 8);
    }

    void refusalIsShownAndNothingRuns() {
        PowerWindow& w = program_->Power();
        w.show();
        Child<QLineEdit>(w, "txtTarget")->setText(QStringLiteral("2"));
        Child<QPushButton>(w, "cmdStart")->click();
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QCOMPARE(messages_->shown[0], std::string("The value 2 for variable 'Target power' is "
                                                  "greater than the maximum value allowed of 1."));
        QVERIFY(!std::filesystem::exists(DataDir() / "PowerSummary.txt"));
        QVERIFY(w.isVisible());
    }
};

QTEST_MAIN(PowerWindowTest)
#include "test_power.moc"
