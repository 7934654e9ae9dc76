// The power study in its window, offscreen: the fourth start-window button opens it, an
// example fills its fields, Start runs a small sweep through the chart window and the
// summary-chart window (power against N with the grey target line), the sample sizes come
// as a message, and the settings are kept in "Power.ini".
#include "qt_support.h"

#include "app/welcome_window.h"
#include "core/files.h"
#include "desktop/qt/chart_window.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/summary_chart_window.h"
#include "power/qt/power_window.h"

#include <QApplication>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

#include <filesystem>
#include <memory>
#include <set>

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
        // The one message: the sample sizes (test 1 reaches .8 at none of 20 - 40).
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].find("First N") != std::string::npos);
        QVERIFY2(log_->InOrder({"hide frmSetPowerVals", "show frmChart", "show frmSummaryChart",
                                "hide frmSummaryChart", "show frmSetPowerVals"}),
                 log_->Text().c_str());
        QVERIFY(w.isVisible());
        const auto summary = ReadTextFile(DataDir() / "PowerSummary.txt");
        QVERIFY(summary.has_value());
        QCOMPARE(SplitLines(*summary).size(), std::size_t{7}); // heading, 3 N x 2 tests
        QVERIFY(std::filesystem::exists(DataDir() / "PowerResults.txt"));

        // The settings were saved at Start and a new window reads them.
        QVERIFY(std::filesystem::exists(DataDir() / "Power.ini"));
        PowerWindow again(program_->Settings(), *program_, program_->ForRuns());
        QCOMPARE(again.Fields(), w.Fields());
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
