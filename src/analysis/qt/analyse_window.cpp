#include "analysis/qt/analyse_window.h"

#include "analysis/analysis.h"
#include "analysis/effects.h"
#include "analysis/unconditional_tests.h"
#include "core/files.h"
#include "core/numtext.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/window_keys.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QVBoxLayout>

namespace quillon {

namespace {

QLineEdit* GridBox(QWidget* parent, const QString& name, const QString& text, bool cell) {
    auto* box = new QLineEdit(text, parent);
    box->setObjectName(name);
    box->setAlignment(Qt::AlignCenter);
    box->setMinimumWidth(90);
    if (!cell) {
        // Headings and totals sit on the button face and are not typed into.
        box->setReadOnly(true);
        box->setFocusPolicy(Qt::NoFocus);
        QPalette palette = box->palette();
        palette.setColor(QPalette::Base, palette.color(QPalette::Button));
        box->setPalette(palette);
    }
    return box;
}

QString Shown(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    return shown;
}

} // namespace

AnalyseWindow::AnalyseWindow(const DeskSettings& settings, Navigation& navigation)
    : settings_(settings), navigation_(navigation) {
    setObjectName(QStringLiteral("frmAnalyse"));
    setWindowTitle(QStringLiteral("Analysing data"));

    auto* layout = new QVBoxLayout(this);
    auto* menuBar = new QMenuBar(this);
    menuBar->setObjectName(QStringLiteral("menuBar"));
    menuBar->setNativeMenuBar(false);
    QMenu* file = menuBar->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save output..."), QKeySequence::Save, this,
                    &AnalyseWindow::SaveOutputAs);
    file->addAction(QStringLiteral("&Copy output"), this, &AnalyseWindow::CopyOutput);
    file->addAction(QStringLiteral("C&lear output"), this, &AnalyseWindow::ClearOutput);
    layout->setMenuBar(menuBar);
    auto* label2 =
        new QLabel(QStringLiteral("Enter the numbers in the four cells, and then choose a type of "
                                  "analysis.  You can then copy all output, or any output that you "
                                  "highlight."),
                   this);
    label2->setObjectName(QStringLiteral("Label2"));
    label2->setWordWrap(true);
    layout->addWidget(label2);

    auto* top = new QHBoxLayout;
    auto* grid = new QGridLayout;
    grid->setSpacing(2);
    grid->addWidget(GridBox(this, QStringLiteral("Text1"), QStringLiteral("A"), false), 0, 1);
    grid->addWidget(GridBox(this, QStringLiteral("Text2"), QStringLiteral("Not-A"), false), 0, 2);
    grid->addWidget(GridBox(this, QStringLiteral("Text3"), QStringLiteral("Total"), false), 0, 3);
    grid->addWidget(GridBox(this, QStringLiteral("Text4"), QStringLiteral("B"), false), 1, 0);
    grid->addWidget(GridBox(this, QStringLiteral("Text5"), QStringLiteral("Not-B"), false), 2, 0);
    grid->addWidget(GridBox(this, QStringLiteral("Text6"), QStringLiteral("Total"), false), 3, 0);
    txtA_ = GridBox(this, QStringLiteral("txt_a"), {}, true);
    txtB_ = GridBox(this, QStringLiteral("txt_b"), {}, true);
    txtC_ = GridBox(this, QStringLiteral("txt_c"), {}, true);
    txtD_ = GridBox(this, QStringLiteral("txt_d"), {}, true);
    txtM_ = GridBox(this, QStringLiteral("txt_m"), {}, false);
    txtN_ = GridBox(this, QStringLiteral("txt_n"), {}, false);
    txtR_ = GridBox(this, QStringLiteral("txt_r"), {}, false);
    txtS_ = GridBox(this, QStringLiteral("txt_s"), {}, false);
    txtTotal_ = GridBox(this, QStringLiteral("txt__N"), {}, false);
    grid->addWidget(txtA_, 1, 1);
    grid->addWidget(txtB_, 1, 2);
    grid->addWidget(txtM_, 1, 3);
    grid->addWidget(txtC_, 2, 1);
    grid->addWidget(txtD_, 2, 2);
    grid->addWidget(txtN_, 2, 3);
    grid->addWidget(txtR_, 3, 1);
    grid->addWidget(txtS_, 3, 2);
    grid->addWidget(txtTotal_, 3, 3);
    top->addLayout(grid);
    top->addSpacing(16);

    auto* buttons = new QVBoxLayout;
    auto* cmdFull = new QPushButton(QStringLiteral("Full &Analysis"), this);
    cmdFull->setObjectName(QStringLiteral("cmdFullAnalysis"));
    auto* cmdRecommended = new QPushButton(QStringLiteral("&Recommended analysis"), this);
    cmdRecommended->setObjectName(QStringLiteral("cmdRecommendedAn"));
    auto* cmdEffects = new QPushButton(QStringLiteral("&Effect sizes"), this);
    cmdEffects->setObjectName(QStringLiteral("cmdEffectSizes"));
    cmdEffects->setToolTip(QStringLiteral("Odds ratio, risk ratio and risk difference of row B "
                                          "against row Not-B, with 95% confidence intervals"));
    auto* cmdUnconditional = new QPushButton(QStringLiteral("&Unconditional tests"), this);
    cmdUnconditional->setObjectName(QStringLiteral("cmdUnconditional"));
    cmdUnconditional->setToolTip(
        QStringLiteral("Exact unconditional tests of rows B and Not-B as two independent "
                       "samples: chi squared and Fisher-Irwin orderings, the P value the "
                       "largest over the proportion of column A"));
    auto* cmdCopy = new QPushButton(QStringLiteral("&Copy output"), this);
    cmdCopy->setObjectName(QStringLiteral("cmdCopy"));
    auto* cmdExit = new QPushButton(QStringLiteral("C&lose"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    buttons->addWidget(cmdFull);
    buttons->addWidget(cmdRecommended);
    buttons->addWidget(cmdEffects);
    buttons->addWidget(cmdUnconditional);
    buttons->addWidget(cmdCopy);
    buttons->addStretch(1);
    buttons->addWidget(cmdExit);
    top->addLayout(buttons);
    top->addStretch(1);
    layout->addLayout(top);

    txtOutput_ = new QPlainTextEdit(this);
    txtOutput_->setObjectName(QStringLiteral("txtOutput"));
    txtOutput_->setReadOnly(true);
    txtOutput_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    // Long lines (effect sizes, the unconditional tests) wrap at the window's edge.
    txtOutput_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    txtOutput_->setWordWrapMode(QTextOption::WordWrap);
    txtOutput_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(txtOutput_, 1);

    // Totals while typing; writing a row total fires its own change in turn, so the grand
    // total follows the row totals.
    connect(txtA_, &QLineEdit::textChanged, this, [this] {
        SetTotal(txtM_, Reading(txtA_) + Reading(txtB_));
        SetTotal(txtR_, Reading(txtA_) + Reading(txtC_));
    });
    connect(txtB_, &QLineEdit::textChanged, this, [this] {
        SetTotal(txtM_, Reading(txtA_) + Reading(txtB_));
        SetTotal(txtS_, Reading(txtB_) + Reading(txtD_));
    });
    connect(txtC_, &QLineEdit::textChanged, this, [this] {
        SetTotal(txtR_, Reading(txtA_) + Reading(txtC_));
        SetTotal(txtN_, Reading(txtC_) + Reading(txtD_));
    });
    connect(txtD_, &QLineEdit::textChanged, this, [this] {
        SetTotal(txtN_, Reading(txtC_) + Reading(txtD_));
        SetTotal(txtS_, Reading(txtB_) + Reading(txtD_));
    });
    connect(txtM_, &QLineEdit::textChanged, this,
            [this] { SetTotal(txtTotal_, Reading(txtM_) + Reading(txtN_)); });
    connect(txtN_, &QLineEdit::textChanged, this,
            [this] { SetTotal(txtTotal_, Reading(txtM_) + Reading(txtN_)); });

    cmdFull->setDefault(true);
    for (QLineEdit* cell : {txtA_, txtB_, txtC_, txtD_})
        ReturnPresses(*cell, *cmdFull);
    connect(cmdFull, &QPushButton::clicked, this, &AnalyseWindow::FullAnalysis);
    connect(cmdRecommended, &QPushButton::clicked, this, &AnalyseWindow::RecommendedAnalysis);
    connect(cmdEffects, &QPushButton::clicked, this, &AnalyseWindow::EffectSizes);
    connect(cmdUnconditional, &QPushButton::clicked, this, &AnalyseWindow::UnconditionalTests);
    connect(cmdCopy, &QPushButton::clicked, this, &AnalyseWindow::CopyOutput);
    connect(cmdExit, &QPushButton::clicked, this, [this] {
        hide();
        navigation_.ShowWelcome();
    });

    CloseOnEscape(*this, *cmdExit);
    resize(900, 640);
}

double AnalyseWindow::Reading(const QLineEdit* box) const {
    return NumericReading(box->text().toStdString());
}

void AnalyseWindow::SetTotal(QLineEdit* box, double value) {
    box->setText(QString::fromStdString(GeneralNumberText(value)));
}

void AnalyseWindow::FullAnalysis() {
    Analyse(Kind::Full);
}
void AnalyseWindow::RecommendedAnalysis() {
    Analyse(Kind::Recommended);
}
void AnalyseWindow::EffectSizes() {
    Analyse(Kind::EffectSizes);
}

void AnalyseWindow::UnconditionalTests() {
    Analyse(Kind::UnconditionalTests);
}

void AnalyseWindow::Analyse(Kind kind) {
    const TableValidation checked =
        ValidateTable(Reading(txtA_), Reading(txtB_), Reading(txtC_), Reading(txtD_));
    for (const std::string& message : checked.messages) {
        Messages().Show(this, message);
    }
    // The corrected cells go back into the boxes whether or not the table can be analysed.
    txtA_->setText(QString::fromStdString(GeneralNumberText(checked.a)));
    txtB_->setText(QString::fromStdString(GeneralNumberText(checked.b)));
    txtC_->setText(QString::fromStdString(GeneralNumberText(checked.c)));
    txtD_->setText(QString::fromStdString(GeneralNumberText(checked.d)));
    if (checked.zeroTotal || checked.tooLarge) {
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    std::string text;
    switch (kind) {
    case Kind::Full:
        text = FullAnalysisText(checked.a, checked.b, checked.c, checked.d, CRLF);
        break;
    case Kind::Recommended:
        text = RecommendedAnalysisText(checked.a, checked.b, checked.c, checked.d, CRLF);
        break;
    case Kind::EffectSizes:
        text = EffectSizesText(checked.a, checked.b, checked.c, checked.d, CRLF);
        break;
    case Kind::UnconditionalTests:
        text = UnconditionalTestsText(checked.a, checked.b, checked.c, checked.d, CRLF);
        break;
    }
    QApplication::restoreOverrideCursor();
    output_ += text;
    txtOutput_->moveCursor(QTextCursor::End);
    txtOutput_->insertPlainText(Shown(text));
    txtOutput_->setFocus();
    txtOutput_->moveCursor(QTextCursor::End);
    txtOutput_->ensureCursorVisible();
}

void AnalyseWindow::CopyOutput() {
    QClipboard* clipboard = QApplication::clipboard();
    clipboard->clear();
    const QTextCursor cursor = txtOutput_->textCursor();
    if (cursor.hasSelection()) {
        // The selection's paragraph separators become ordinary line ends.
        QString selected = cursor.selectedText();
        selected.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
        clipboard->setText(selected);
    } else {
        clipboard->setText(txtOutput_->toPlainText());
    }
}

std::optional<std::string> AnalyseWindow::SaveOutput(const std::string& path) const {
    return WriteTextFileAtomically(path, output_);
}

void AnalyseWindow::SaveOutputAs() {
    const std::string suggested = (settings_.dataDirectory / "Analysis.txt").string();
    const std::string path = Messages().AskSaveFileName(this, "Save output", suggested,
                                                        "Text file (*.txt);;All files (*)");
    if (path.empty())
        return;
    if (auto error = SaveOutput(path))
        Messages().Show(this, *error);
}

void AnalyseWindow::ClearOutput() {
    // The output is the only record of the analyses: clearing it is asked first.
    if (output_.empty() ||
        !Messages().AskYesNo(this, "Clear all the output?  It is not kept anywhere else."))
        return;
    output_.clear();
    txtOutput_->clear();
}

void AnalyseWindow::closeEvent(QCloseEvent* event) {
    // Closing by the frame does what C&lose does: the window is only hidden.
    event->ignore();
    hide();
    navigation_.ShowWelcome();
}

} // namespace quillon
