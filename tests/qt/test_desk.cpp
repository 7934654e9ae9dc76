// The windows' desk work: effect sizes in the analysis window, access keys, Escape, menu
// bars and the summary-data window.
#include "qt_support.h"

#include "analysis/qt/analyse_window.h"
#include "particular/qt/chart_window.h"
#include "summary/qt/summary_chart_window.h"
#include "ui/qt/help_window.h"
#include "ui/qt/maxima_window.h"
#include "ui/qt/particular_window.h"
#include "ui/qt/program.h"
#include "ui/qt/welcome_window.h"
#include "ui/qt/window_keys.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <map>
#include <memory>
#include <vector>

using namespace quillon;
using quillon::testing::Child;
using quillon::testing::RecordedMessages;
using quillon::testing::Shot;

class DeskTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordedMessages> messages_;
    std::unique_ptr<Program> program_;

    std::filesystem::path DataDir() const { return dir_->path().toStdString(); }

    static void Type(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

    void TypeTable(AnalyseWindow& w, const char* a, const char* b, const char* c, const char* d) {
        Type(Child<QLineEdit>(w, "txt_a"), QString::fromLatin1(a));
        Type(Child<QLineEdit>(w, "txt_b"), QString::fromLatin1(b));
        Type(Child<QLineEdit>(w, "txt_c"), QString::fromLatin1(c));
        Type(Child<QLineEdit>(w, "txt_d"), QString::fromLatin1(d));
    }

    // Every window of the program, by its name.
    std::vector<QWidget*> Windows() {
        return {&program_->Welcome(),     &program_->Analyse(), &program_->Particular(),
                &program_->Maxima(),      &program_->Help(),    &program_->Chart(),
                &program_->SummaryChart()};
    }

    // Access key -> captions using it, over the window's buttons, check boxes, option
    // buttons, group boxes, labels and menu titles.
    static std::map<QChar, QStringList> AccessKeys(QWidget& window) {
        std::map<QChar, QStringList> keys;
        const auto add = [&keys](const QString& caption) {
            const QChar key = AccessKey(caption);
            if (!key.isNull())
                keys[key] << caption;
        };
        for (const QAbstractButton* button : window.findChildren<QAbstractButton*>())
            add(button->text());
        for (const QGroupBox* box : window.findChildren<QGroupBox*>())
            add(box->title());
        for (const QLabel* label : window.findChildren<QLabel*>())
            if (label->buddy() != nullptr)
                add(label->text());
        for (const QMenuBar* bar : window.findChildren<QMenuBar*>())
            for (const QAction* action : bar->actions())
                add(action->text());
        return keys;
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        messages_ = std::make_unique<RecordedMessages>();
        Program::SetEndHandler([] {});
        program_ = std::make_unique<Program>(DataDir());
        program_->ShowWelcome();
    }
    void cleanup() {
        program_.reset();
        messages_.reset();
        Program::SetEndHandler({});
    }

    void effectSizesFollowTheAnalysis() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        TypeTable(w, "10", "2", "3", "15");
        Child<QPushButton>(w, "cmdFullAnalysis")->click();
        const std::size_t analysed = w.OutputText().size();
        auto* effects = Child<QPushButton>(w, "cmdEffectSizes");
        QCOMPARE(effects->text(), QStringLiteral("&Effect sizes"));
        effects->click();
        QVERIFY(messages_->shown.empty());
        const std::string added = w.OutputText().substr(analysed);
        QVERIFY(added.starts_with("Effect sizes for a = 10, b = 2, c = 3, d = 15 "));
        QVERIFY(added.find("exact conditional interval: 2.75338 to 301.462\r\n") !=
                std::string::npos);
        QVERIFY(added.ends_with(std::string(100, '-') + "\r\n"));
        QVERIFY(Child<QPlainTextEdit>(w, "txtOutput")
                    ->toPlainText()
                    .endsWith(QString(100, QLatin1Char('-')) + QLatin1Char('\n')));
        Shot(w, QStringLiteral("frmAnalyse_effects"));

        // A refused table: the messages of the analyses and no output.
        TypeTable(w, "0", "0", "1", "1");
        const std::size_t before = w.OutputText().size();
        effects->click();
        QCOMPARE(messages_->shown, (std::vector<std::string>{"A row total of 0 is invalid"}));
        QCOMPARE(w.OutputText().size(), before);
    }

    void accessKeysAreUniqueInEveryWindow() {
        QCOMPARE(AccessKey(QStringLiteral("P&ause")), QLatin1Char('A'));
        QCOMPARE(AccessKey(QStringLiteral("Tom && &Jerry")), QLatin1Char('J'));
        QVERIFY(AccessKey(QStringLiteral("Pause")).isNull());
        for (QWidget* window : Windows()) {
            const std::map<QChar, QStringList> keys = AccessKeys(*window);
            QVERIFY2(!keys.empty(), qPrintable(window->objectName()));
            for (const auto& [key, captions] : keys)
                QVERIFY2(captions.size() == 1,
                         qPrintable(window->objectName() + QStringLiteral(": ") + key +
                                    QStringLiteral(" in ") + captions.join(QStringLiteral(", "))));
        }
        // Pause keeps its caption and now has a key of its own.
        auto* pause = Child<QPushButton>(program_->Chart(), "cmdPause");
        QCOMPARE(QString(pause->text()).remove(QLatin1Char('&')), QStringLiteral("Pause"));
        QCOMPARE(AccessKey(pause->text()), QLatin1Char('U'));
    }

    void escapeClosesAsTheCloseButtons() {
        // The analysis and specification windows hide and bring the start window back.
        for (QWidget* window : {static_cast<QWidget*>(&program_->Analyse()),
                                static_cast<QWidget*>(&program_->Particular()),
                                static_cast<QWidget*>(&program_->Maxima())}) {
            program_->Welcome().hide();
            window->show();
            QApplication::setActiveWindow(window);
            QVERIFY(QTest::qWaitForWindowActive(window));
            QTest::keyClick(window, Qt::Key_Escape);
            QVERIFY2(!window->isVisible(), qPrintable(window->objectName()));
            QVERIFY2(program_->Welcome().isVisible(), qPrintable(window->objectName()));
        }
        // Help only hides itself.
        program_->ShowHelp();
        HelpWindow& help = program_->Help();
        QApplication::setActiveWindow(&help);
        QVERIFY(QTest::qWaitForWindowActive(&help));
        QTest::keyClick(&help, Qt::Key_Escape);
        QVERIFY(!help.isVisible());
        // Escape in a typed field of the analysis window closes the window too.
        AnalyseWindow& w = program_->Analyse();
        w.show();
        QApplication::setActiveWindow(&w);
        QVERIFY(QTest::qWaitForWindowActive(&w));
        TypeTable(w, "1", "2", "3", "4");
        QTest::keyClick(Child<QLineEdit>(w, "txt_d"), Qt::Key_Escape);
        QVERIFY(!w.isVisible());
        QCOMPARE(Child<QLineEdit>(w, "txt_d")->text(), QStringLiteral("4"));
    }
};

QTEST_MAIN(DeskTest)
#include "test_desk.moc"
