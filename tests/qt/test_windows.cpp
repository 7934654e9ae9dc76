// The windows of the desktop program, driven as a user would (typing, clicking, choosing),
// with the message boxes answered by the test.
#include "qt_support.h"

#include "analysis/qt/analyse_window.h"
#include "app/welcome_window.h"
#include "core/files.h"
#include "core/test_registry.h"
#include "desktop/field_help.h"
#include "desktop/help_text.h"
#include "desktop/qt/help_window.h"
#include "desktop/settings.h"
#include "maxima/qt/maxima_window.h"
#include "particular/qt/particular_window.h"
#include "power/qt/power_window.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>
#include <QTimer>

#include <filesystem>
#include <memory>

using namespace quillon;
using quillon::testing::Child;
using quillon::testing::RecordedMessages;
using quillon::testing::Shot;

class WindowsTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<QTemporaryDir> dir_;
    std::unique_ptr<RecordedMessages> messages_;
    std::unique_ptr<Program> program_;
    int endRequests_ = 0;

    std::filesystem::path DataDir() const { return dir_->path().toStdString(); }

    // Focus events only reach the widgets of the active window.
    void Activate(QWidget& window) {
        window.show();
        QApplication::setActiveWindow(&window);
    }

    void Type(QLineEdit* box, const QString& text) {
        box->setFocus();
        box->selectAll();
        QTest::keyClick(box, Qt::Key_Delete);
        QTest::keyClicks(box, text);
    }

private slots:
    void init() {
        dir_ = std::make_unique<QTemporaryDir>();
        messages_ = std::make_unique<RecordedMessages>();
        endRequests_ = 0;
        Program::SetEndHandler([this] { ++endRequests_; });
        program_ = std::make_unique<Program>(DataDir());
        program_->ShowWelcome();
    }
    void cleanup() {
        program_.reset();
        messages_.reset();
        Program::SetEndHandler({});
    }

    void startUpDutiesAndMenu() {
        QCOMPARE(program_->Settings().pixelSize, 1.0);
        QCOMPARE(program_->Welcome().windowTitle(), QStringLiteral("Quillon"));
        QVERIFY(!program_->Particular().isVisible());
        QVERIFY(!program_->Maxima().isVisible());
        const QString key = Child<QLabel>(program_->Particular(), "Label14")->text();
        QVERIFY(key.startsWith(QStringLiteral("Key for tests (all two-sided):\n 1: Pearson")));
        QCOMPARE(Child<QLabel>(program_->Maxima(), "Label12")->text(), key);
        Shot(program_->Welcome(), QStringLiteral("frm3Welcome"));

        Child<QPushButton>(program_->Welcome(), "cmdAnalyze")->click();
        QVERIFY(program_->Analyse().isVisible());
        QVERIFY(!program_->Welcome().isVisible());
        // Closing by the frame does what C&lose does.
        program_->Analyse().close();
        QVERIFY(!program_->Analyse().isVisible());
        QVERIFY(program_->Welcome().isVisible());

        Child<QPushButton>(program_->Welcome(), "cmdParticular")->click();
        QVERIFY(program_->Particular().isVisible());
        Child<QPushButton>(program_->Particular(), "cmdExit")->click();
        QVERIFY(program_->Welcome().isVisible());
        Child<QPushButton>(program_->Welcome(), "cmdMaximum")->click();
        QVERIFY(program_->Maxima().isVisible());
        program_->Maxima().close();
        QVERIFY(!program_->Maxima().isVisible());
        QVERIFY(program_->Welcome().isVisible());

        Child<QPushButton>(program_->Welcome(), "cmdTroubleshooting")->click();
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QCOMPARE(messages_->shown[0], std::string(PrintingAdvice));

        Child<QPushButton>(program_->Welcome(), "cmdHelp")->click();
        QVERIFY(program_->Help().isVisible());
        QVERIFY(program_->Help().Text().contains(
            QString::fromStdString((DataDir() / "ParticularSummary.txt").string())));
        Shot(program_->Help(), QStringLiteral("frmHelp"));
        Child<QPushButton>(program_->Help(), "Command1")->click();
        QVERIFY(!program_->Help().isVisible());

        Child<QPushButton>(program_->Welcome(), "cmdExit")->click();
        QCOMPARE(endRequests_, 1);
        // Closing the start window by its frame ends the program too.
        program_->ShowWelcome();
        program_->Welcome().close();
        QCOMPARE(endRequests_, 2);
    }

    // The real message box (not the test's recorder): OK only, no icon, the program's title,
    // and the text shown as it is, even where it looks like markup.
    void messageBoxShowsPlainText() {
        const std::string text = "<b>/data/Quillon</b>  could not be written.";
        QString title, shown;
        Qt::TextFormat format = Qt::AutoText;
        QMessageBox::Icon icon = QMessageBox::Information;
        QMessageBox::StandardButtons buttons;
        QTimer::singleShot(0, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            QVERIFY(box != nullptr);
            title = box->windowTitle();
            shown = box->text();
            format = box->textFormat();
            icon = box->icon();
            buttons = box->standardButtons();
            box->accept();
        });
        MessageBoxes screen;
        screen.Show(nullptr, text);
        QCOMPARE(title, QStringLiteral("Quillon"));
        QCOMPARE(shown, QString::fromStdString(text));
        QCOMPARE(format, Qt::PlainText);
        QCOMPARE(icon, QMessageBox::NoIcon);
        QCOMPARE(buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void analysisTotalsWhileTyping() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        Type(Child<QLineEdit>(w, "txt_a"), QStringLiteral("10"));
        QCOMPARE(Child<QLineEdit>(w, "txt_m")->text(), QStringLiteral("10"));
        QCOMPARE(Child<QLineEdit>(w, "txt_r")->text(), QStringLiteral("10"));
        QCOMPARE(Child<QLineEdit>(w, "txt__N")->text(), QStringLiteral("10"));
        Type(Child<QLineEdit>(w, "txt_b"), QStringLiteral("2.5"));
        Type(Child<QLineEdit>(w, "txt_c"), QStringLiteral("3abc"));
        Type(Child<QLineEdit>(w, "txt_d"), QStringLiteral(".5"));
        QCOMPARE(Child<QLineEdit>(w, "txt_m")->text(), QStringLiteral("12.5"));
        QCOMPARE(Child<QLineEdit>(w, "txt_n")->text(), QStringLiteral("3.5"));
        QCOMPARE(Child<QLineEdit>(w, "txt_r")->text(), QStringLiteral("13"));
        QCOMPARE(Child<QLineEdit>(w, "txt_s")->text(), QStringLiteral("3"));
        QCOMPARE(Child<QLineEdit>(w, "txt__N")->text(), QStringLiteral("16"));
    }

    void analysisValidationMessagesInOrder() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        // Empty cells: two zero row totals and two zero column totals, no output.
        Child<QPushButton>(w, "cmdFullAnalysis")->click();
        QCOMPARE(messages_->shown, (std::vector<std::string>{"A row total of 0 is invalid",
                                                             "A row total of 0 is invalid",
                                                             "A column total of 0 is invalid",
                                                             "A column total of 0 is invalid"}));
        QVERIFY(w.OutputText().empty());
        QCOMPARE(Child<QLineEdit>(w, "txt_a")->text(), QStringLiteral("0"));

        messages_->shown.clear();
        Type(Child<QLineEdit>(w, "txt_a"), QStringLiteral("-2.5"));
        Type(Child<QLineEdit>(w, "txt_b"), QStringLiteral("2"));
        Type(Child<QLineEdit>(w, "txt_c"), QStringLiteral("3"));
        Type(Child<QLineEdit>(w, "txt_d"), QStringLiteral("15"));
        Child<QPushButton>(w, "cmdRecommendedAn")->click();
        QCOMPARE(messages_->shown,
                 (std::vector<std::string>{"The value -2.5 is invalid and will be replaced by 2.5",
                                           "The value  2.5 is invalid and will be replaced by 2"}));
        QCOMPARE(Child<QLineEdit>(w, "txt_a")->text(), QStringLiteral("2"));
        QCOMPARE(Child<QLineEdit>(w, "txt_m")->text(), QStringLiteral("4"));
        QVERIFY(!w.OutputText().empty());
    }

    void analysesAppendAndCopy() {
        AnalyseWindow& w = program_->Analyse();
        w.show();
        Type(Child<QLineEdit>(w, "txt_a"), QStringLiteral("10"));
        Type(Child<QLineEdit>(w, "txt_b"), QStringLiteral("2"));
        Type(Child<QLineEdit>(w, "txt_c"), QStringLiteral("3"));
        Type(Child<QLineEdit>(w, "txt_d"), QStringLiteral("15"));
        Child<QPushButton>(w, "cmdFullAnalysis")->click();
        Child<QPushButton>(w, "cmdRecommendedAn")->click();
        QVERIFY(messages_->shown.empty());
        const std::string& out = w.OutputText();
        const std::string hyphens = std::string(100, '-') + "\r\n";
        QVERIFY(out.starts_with("Data:\r\n"));
        QVERIFY(out.ends_with("chi squared value = 12.6; P value = .00039\r\n\r\n" + hyphens));
        QVERIFY(out.find("'N - 1' chi squared test: chi squared value = 12.5973; P value = "
                         ".000386286\r\n") != std::string::npos);
        QCOMPARE(out.find("Data:", 1) != std::string::npos, true);
        Shot(w, QStringLiteral("frmAnalyse"));

        auto* output = Child<QPlainTextEdit>(w, "txtOutput");
        Child<QPushButton>(w, "cmdCopy")->click();
        QString expected = QString::fromStdString(out);
        expected.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
        QCOMPARE(QApplication::clipboard()->text(), expected);

        QTextCursor cursor = output->textCursor();
        cursor.setPosition(0);
        cursor.setPosition(5, QTextCursor::KeepAnchor);
        output->setTextCursor(cursor);
        Child<QPushButton>(w, "cmdCopy")->click();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("Data:"));
    }

    void particularExamplesFillTheFields() {
        ParticularWindow& w = program_->Particular();
        w.show();
        Type(Child<QLineEdit>(w, "txtInterval"), QStringLiteral(".01"));
        Type(Child<QLineEdit>(w, "txtMEN"), QStringLiteral("5"));
        Type(Child<QLineEdit>(w, "txtMMT"), QStringLiteral("3"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        auto* list = Child<QListWidget>(w, "lstExamples");
        QCOMPARE(list->count(), 13);
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {},
                          list->visualItemRect(list->item(0)).center());
        QVERIFY(
            Child<QLabel>(w, "Label13")
                ->text()
                .startsWith(QStringLiteral("* The published results are for a one-sided test")));
        QCOMPARE(Child<QLineEdit>(w, "txtInterval")->text(), QStringLiteral("0"));
        QCOMPARE(Child<QLineEdit>(w, "txtMEN")->text(), QStringLiteral("0"));
        QCOMPARE(Child<QLineEdit>(w, "txtMMT")->text(), QStringLiteral("1"));
        QVERIFY(!Child<QCheckBox>(w, "chkPause")->isChecked());
        QVERIFY(Child<QRadioButton>(w, "opt1")->isChecked());
        QCOMPARE(Child<QLineEdit>(w, "txtP_col")->text(),
                 QStringLiteral(".05, .1, .2, .3, .4, .5 "));
        QCOMPARE(Child<QLineEdit>(w, "txtParameter")->text(), QStringLiteral(".1"));
        // The last field written is the level, so the box shows its reading.
        QCOMPARE(w.Interpretation(), QStringLiteral("0.1"));

        w.ChooseExample(12);
        QCOMPARE(Child<QLineEdit>(w, "txtMEN")->text(), QStringLiteral("0 - 3"));
        w.ChooseExample(6);
        QCOMPARE(Child<QLabel>(w, "Label13")->text(), QString());
        QVERIFY(Child<QRadioButton>(w, "opt2")->isChecked());
        Shot(w, QStringLiteral("frmSetPointVals"));
    }

    void examplesChosenByTheKeyboard() {
        ParticularWindow& w = program_->Particular();
        Activate(w);
        Type(Child<QLineEdit>(w, "txtNumber"), QStringLiteral("44"));
        auto* list = Child<QListWidget>(w, "lstExamples");
        // The focus entering the list marks a row without choosing it.
        list->setFocus(Qt::TabFocusReason);
        QCOMPARE(Child<QLineEdit>(w, "txtNumber")->text(), QStringLiteral("44"));
        QCOMPARE(list->selectedItems().size(), 0);
        // Moving the selection with the arrow keys chooses the example reached.
        QTest::keyClick(list, Qt::Key_Down);
        QTest::keyClick(list, Qt::Key_Down);
        QCOMPARE(list->currentRow(), 2);
        QCOMPARE(Child<QLineEdit>(w, "txtNumber")->text(), QStringLiteral("20"));
        QCOMPARE(Child<QLineEdit>(w, "txtTest")->text(), QStringLiteral("1, 2"));
        QCOMPARE(Child<QLabel>(w, "Label13")->text(), QString());
        QTest::keyClick(list, Qt::Key_Up);
        QCOMPARE(Child<QLineEdit>(w, "txtTest")->text(), QStringLiteral("3"));
        QVERIFY(Child<QLabel>(w, "Label13")->text().startsWith(QStringLiteral("* The published")));

        MaximaWindow& m = program_->Maxima();
        Activate(m);
        auto* maxima = Child<QListWidget>(m, "lstExamples");
        maxima->setFocus(Qt::TabFocusReason);
        QTest::keyClick(maxima, Qt::Key_End);
        QCOMPARE(Child<QLineEdit>(m, "txtTest")->text(), QStringLiteral("7"));
        QVERIFY(Child<QRadioButton>(m, "opt2")->isChecked());
        QVERIFY(!Child<QLineEdit>(m, "txtRow1")->isVisible());
    }

    void maximumExamplesResetTheType() {
        MaximaWindow& w = program_->Maxima();
        Activate(w);
        Child<QPushButton>(w, "cmdToggleMaximumType")->click();
        QVERIFY(program_->Maxima().MaximumTypeChosen() == Property::MaximumExcess);
        QCOMPARE(Child<QLabel>(w, "labMaximumType")->text(),
                 QStringLiteral("Calculate maximum Type I error excess for nominal values up to "
                                "the cutoff"));
        Child<QCheckBox>(w, "chkPause")->setChecked(true);
        w.ChooseExample(1);
        QVERIFY(program_->Maxima().MaximumTypeChosen() == Property::ActualTypeIError);
        QVERIFY(Child<QLabel>(w, "Label15")->text().startsWith(QStringLiteral("* The published")));
        QVERIFY(!Child<QCheckBox>(w, "chkPause")->isChecked());
        QCOMPARE(Child<QLineEdit>(w, "txtAccuracy")->text(), QStringLiteral("0.001"));
        QCOMPARE(w.Interpretation(), QStringLiteral("0.001"));
        QVERIFY(Child<QLineEdit>(w, "txtRow1")->isVisible());
        // A cross-sectional example hides the row-1 field and its label.
        w.ChooseExample(12);
        QVERIFY(!Child<QLineEdit>(w, "txtRow1")->isVisible());
        QVERIFY(!Child<QLabel>(w, "Label6")->isVisible());
        QCOMPARE(Child<QLabel>(w, "Label15")->text(), QString());
        // Focusing the comparative-trial option shows them again.
        Child<QRadioButton>(w, "opt1")->setFocus();
        QVERIFY(Child<QLineEdit>(w, "txtRow1")->isVisible());
        w.ChooseExample(6);
        Shot(w, QStringLiteral("frmSetMaxima"));
    }

    void interpretationPerFieldKind() {
        ParticularWindow& p = program_->Particular();
        Activate(p);
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("10 to 30 step 5"));
        QCOMPARE(p.Interpretation(), QStringLiteral("10 15 20 25 30"));
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("*"));
        QCOMPARE(p.Interpretation(),
                 QStringLiteral("No calculations - just show chart of previous data"));
        Type(Child<QLineEdit>(p, "txtParameter"), QStringLiteral(".05"));
        QCOMPARE(p.Interpretation(), QStringLiteral("0.05"));
        // The windows read a field as far as they can, and say what they passed over.
        Type(Child<QLineEdit>(p, "txtParameter"), QStringLiteral("abc"));
        QCOMPARE(p.Interpretation(),
                 QStringLiteral("0\nText ignored: \"abc\". A value with no number was read as 0."));
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("10;20"));
        QCOMPARE(p.Interpretation(), QStringLiteral("10\nText ignored: \";20\"."));
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("*"));
        // The focus entering a field shows its interpretation too.
        Child<QLineEdit>(p, "txtNumber")->setFocus();
        QCOMPARE(p.Interpretation(),
                 QStringLiteral("No calculations - just show chart of previous data"));
        Child<QRadioButton>(p, "opt2")->setFocus();
        QCOMPARE(Child<QLabel>(p, "Label3")->text(),
                 QStringLiteral("Population proportion in row 1"));
        QCOMPARE(Child<QLineEdit>(p, "txtP_row")->toolTip(),
                 QStringLiteral("Enter the proportion as a decimal e.g. '0.5'"));
        Child<QRadioButton>(p, "opt1")->setFocus();
        QCOMPARE(Child<QLabel>(p, "Label3")->text(),
                 QStringLiteral("Pop. prop. / number in row 1"));

        MaximaWindow& m = program_->Maxima();
        Activate(m);
        Child<QRadioButton>(m, "opt1")->setFocus();
        Type(Child<QLineEdit>(m, "txtRow1"), QStringLiteral("overall"));
        QCOMPARE(m.Interpretation(), QStringLiteral("overall"));
        Type(Child<QLineEdit>(m, "txtTest"), QStringLiteral("1 - 7"));
        QCOMPARE(m.Interpretation(), QStringLiteral("1 2 3 4 5 6 7"));
        // The exact unconditional tests are tests of every study's list.
        Type(Child<QLineEdit>(m, "txtTest"), QStringLiteral("9, 8"));
        QCOMPARE(m.Interpretation(), QStringLiteral("9 8"));
        for (QWidget* window : std::initializer_list<QWidget*>{&p, &m, &program_->Power()})
            QVERIFY(Child<QLineEdit>(*window, "txtTest")
                        ->toolTip()
                        .startsWith(QString::fromStdString("Enter '" + AllTestsSpecification() +
                                                           "' for all tests")));
        Type(Child<QLineEdit>(m, "txtAccuracy"), QStringLiteral(".005"));
        QCOMPARE(m.Interpretation(), QStringLiteral("0.005"));
    }

    void summaryChartModeToggles() {
        ParticularWindow& p = program_->Particular();
        QVERIFY(program_->Particular().ChartMode() == Property::ActualTypeIError);
        Child<QPushButton>(p, "cmdToggleSummaryChart")->click();
        QVERIFY(program_->Particular().ChartMode() == Property::MaximumExcess);
        QCOMPARE(Child<QLabel>(p, "labSummaryChartMode")->text(),
                 QStringLiteral("Summary chart shows maximum Type I error excess for nominal "
                                "values up to the cutoff"));
        Child<QPushButton>(p, "cmdToggleSummaryChart")->click();
        QVERIFY(program_->Particular().ChartMode() == Property::ActualTypeIError);
    }

    // Every field and option of every specification window explains itself: a tool tip and
    // a What's This text; and each window's Help opens at that window's own section, the
    // general text kept before the sections.
    void everyFieldHasHelpAndHelpOpensAtTheWindowsSection() {
        struct Window {
            SpecWindowBase* window;
            HelpTopic topic;
        };
        const Window windows[] = {{&program_->Particular(), HelpTopic::Particular},
                                  {&program_->Maxima(), HelpTopic::Maximum},
                                  {&program_->Power(), HelpTopic::Power}};
        for (const Window& w : windows) {
            const QString name = w.window->objectName();
            std::vector<QWidget*> controls;
            for (QLineEdit* field : w.window->findChildren<QLineEdit*>())
                controls.push_back(field);
            for (QAbstractButton* option : w.window->findChildren<QAbstractButton*>())
                if (qobject_cast<QRadioButton*>(option) || qobject_cast<QCheckBox*>(option) ||
                    option->objectName().startsWith(QStringLiteral("cmdToggle")))
                    controls.push_back(option);
            controls.push_back(Child<QListWidget>(*w.window, "lstExamples"));
            QVERIFY(controls.size() >= 10);
            for (QWidget* control : controls) {
                if (control->isHidden())
                    continue; // a control this window does not use (the power window's Change)
                const QString where = name + QLatin1Char(' ') + control->objectName();
                QVERIFY2(!control->toolTip().isEmpty(), qPrintable(where));
                QVERIFY2(control->whatsThis().size() > 40, qPrintable(where));
            }
            // List fields say how a list is written; the row-1 field how it is read.
            QVERIFY(Child<QLineEdit>(*w.window, "txtNumber")
                        ->whatsThis()
                        .contains(QStringLiteral("'10 to 30 step 2'")));

            w.window->show();
            Child<QPushButton>(*w.window, "cmdHelp")->click();
            QVERIFY(program_->Help().isVisible());
            QCOMPARE(program_->Help().TopLine(),
                     QString::fromUtf8(HelpSectionHeading(w.topic).data()));
            QVERIFY2(program_->Help().Text().startsWith(QStringLiteral("HELP\n")),
                     qPrintable(name));
            Shot(program_->Help(), QStringLiteral("frmHelp-") + name);
            w.window->hide();
        }
        const QString help = program_->Help().Text();
        for (const char* words : {"MEN", "MMT", "Population proportion interval",
                                  "Accuracy required", "Pause", "1 means one subject"})
            QVERIFY2(help.contains(QString::fromUtf8(words)), words);
        Child<QPushButton>(program_->Welcome(), "cmdHelp")->click();
        QCOMPARE(program_->Help().TopLine(), QStringLiteral("HELP"));
    }

    void returnInAFieldPressesStart() {
        PowerWindow& w = program_->Power();
        w.show();
        Child<QLineEdit>(w, "txtTarget")->setText(QStringLiteral("2")); // refused at once
        QTest::keyClick(Child<QLineEdit>(w, "txtTarget"), Qt::Key_Return);
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].find("Target power") != std::string::npos);
    }

    void settingsWrittenAtStartReadByANewProgram() {
        ParticularWindow& p = program_->Particular();
        p.show();
        p.ChooseExample(2);
        // A refused total number ends the run at once, after the settings were saved.
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("3"));
        Child<QCheckBox>(p, "chkPause")->setChecked(true);
        Child<QPushButton>(p, "cmdStart")->click();
        QCOMPARE(messages_->shown.size(), std::size_t{1});
        QVERIFY(messages_->shown[0].find("is less than the minimum value allowed of 4") !=
                std::string::npos);
        const auto text = ReadTextFile(DataDir() / "Particular.ini");
        QVERIFY(text.has_value());
        QCOMPARE(*text, std::string("True\r\n3\r\n1, 2\r\n.1 to .5 step .1\r\n.5\r\n0\r\n0\r\n1\r\n"
                                    ".05\r\n 1 \r\n"));

        // Close does not write.
        Type(Child<QLineEdit>(p, "txtNumber"), QStringLiteral("44"));
        Child<QPushButton>(p, "cmdExit")->click();
        QCOMPARE(*ReadTextFile(DataDir() / "Particular.ini"), *text);

        program_.reset();
        program_ = std::make_unique<Program>(DataDir());
        ParticularWindow& again = program_->Particular();
        QCOMPARE(Child<QLineEdit>(again, "txtNumber")->text(), QStringLiteral("3"));
        QCOMPARE(Child<QLineEdit>(again, "txtTest")->text(), QStringLiteral("1, 2"));
        QVERIFY(Child<QCheckBox>(again, "chkPause")->isChecked());
        QVERIFY(Child<QRadioButton>(again, "opt1")->isChecked());
        QCOMPARE(again.Interpretation(), QString());
    }

    void maximumStartRefusesAnMmtBelowOne() {
        MaximaWindow& m = program_->Maxima();
        m.show();
        Type(Child<QLineEdit>(m, "txtMMT"), QStringLiteral("0"));
        Child<QPushButton>(m, "cmdStart")->click();
        QCOMPARE(messages_->shown,
                 (std::vector<std::string>{"The minimum marginal total must be at least 1"}));
        QCOMPARE(Child<QLineEdit>(m, "txtMMT")->text(), QStringLiteral("1"));
        QVERIFY(!std::filesystem::exists(DataDir() / "Maxima.ini"));
        QVERIFY(m.isVisible());
    }

    void damagedSettingsFileLoadsWhatItCan() {
        program_.reset();
        QVERIFY(!WriteTextFile(DataDir() / "Maxima.ini", "garbage\r\n33\r\n").has_value());
        program_ = std::make_unique<Program>(DataDir());
        QCOMPARE(Child<QLineEdit>(program_->Maxima(), "txtNumber")->text(), QStringLiteral("33"));
        QCOMPARE(Child<QLineEdit>(program_->Maxima(), "txtTest")->text(), QStringLiteral("1"));
    }
};

QTEST_MAIN(WindowsTest)
#include "test_windows.moc"
