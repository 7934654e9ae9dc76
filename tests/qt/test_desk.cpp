// The windows' desk work: effect sizes in the analysis window, access keys, Escape, menu
// bars and the summary-data window.
#include "qt_support.h"

#include "analysis/qt/analyse_window.h"
#include "ui/qt/program.h"

#include <QApplication>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>

#include <filesystem>
#include <memory>

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
};

QTEST_MAIN(DeskTest)
#include "test_desk.moc"
