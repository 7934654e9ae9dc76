#include "power/qt/power_window.h"

#include "core/designs.h"
#include "core/test_registry.h"
#include "desktop/examples.h"
#include "desktop/qt/messages.h"
#include "power/qt/power_driver.h"
#include "power/qt/power_results_window.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quillon {

namespace {

const QString kListTip = QStringLiteral(
    "Enter a particular value, or values separated by commas, or a range e.g. '10 - 20' or a "
    "sequence e.g. '10 to 30 step 2', or a combination; '*' charts earlier results");

} // namespace

PowerWindow::PowerWindow(const DeskSettings& settings, Navigation& navigation,
                         RunWindows& runWindows)
    : SpecWindowBase(settings, navigation, runWindows) {
    setObjectName(QStringLiteral("frmSetPowerVals"));
    setWindowTitle(
        QStringLiteral("Setting specifications for the power of the tests and sample sizes"));
    BuildCommon(QStringLiteral("Label7"),
                QStringLiteral("Interpretation of complex specs (as a check of specs entered)"),
                QStringLiteral("Label6"), QStringLiteral("labSummaryChart"),
                QStringLiteral("cmdToggleSummaryChart"), QStringLiteral("Label12"),
                QStringLiteral("Label13"), QStringLiteral("Label14"), QStringLiteral("Label15"));

    txtNumber_ = AddField(QStringLiteral("txtNumber"), QStringLiteral("Label1"),
                          QStringLiteral("Total number in sample(s) (N)"), FieldKind::List,
                          QStringLiteral("Enter a particular value e.g. '40', or several to find "
                                         "sample sizes, e.g. '10 to 100 step 2'"));
    txtRow_ = AddField(QStringLiteral("txtRow"), QStringLiteral("Label3"),
                       QStringLiteral("Pop. prop. / number in row 1"), FieldKind::List, {});
    txtP1_ = AddField(QStringLiteral("txtP1"), QStringLiteral("Label2"),
                      QStringLiteral("Proportion in column 1, row 1 (p1)"), FieldKind::List,
                      QStringLiteral("The population proportion in column 1 within row 1 (B), "
                                     "0 to 1, e.g. '0.2'"));
    txtP2_ = AddField(QStringLiteral("txtP2"), QStringLiteral("Label4"),
                      QStringLiteral("Proportion in column 1, row 2 (p2)"), FieldKind::List,
                      QStringLiteral("The population proportion in column 1 within row 2 "
                                     "(Not-B), 0 to 1, e.g. '0.6' or '.2 to .8 step .05'"));
    txtTest_ = AddField(
        QStringLiteral("txtTest"), QStringLiteral("Label9"), QStringLiteral("Test(s)"),
        FieldKind::List,
        QString::fromStdString("Enter '" + AllTestsSpecification() +
                               "' for all tests, or particular values separated by commas"));
    txtMEN_ = AddField(QStringLiteral("txtMEN"), QStringLiteral("Label8"),
                       QStringLiteral("Minimum expected number (MEN)"), FieldKind::List,
                       QStringLiteral("A table with a smaller expected number is never "
                                      "significant.  The standard value is 0."));
    txtMMT_ = AddField(QStringLiteral("txtMMT"), QStringLiteral("Label5"),
                       QStringLiteral("Minimum marginal total (MMT)"), FieldKind::Single,
                       QStringLiteral("Must be at least 1.  The standard value is 1."));
    txtAlpha_ = AddField(QStringLiteral("txtAlpha"), QStringLiteral("Label10"),
                         QStringLiteral("Significance level"), FieldKind::Single,
                         QStringLiteral("e.g. 0.05"));
    txtTarget_ = AddField(QStringLiteral("txtTarget"), QStringLiteral("Label11"),
                          QStringLiteral("Target power"), FieldKind::Single,
                          QStringLiteral("The power a sample size must reach, e.g. 0.8"));
    for (QLineEdit* field : {txtNumber_, txtRow_, txtP1_, txtP2_, txtTest_, txtMEN_})
        if (field->toolTip().isEmpty())
            field->setToolTip(kListTip);
    fieldGrid_->setRowStretch(fieldRow_, 1);

    examplesLabel_->setText(QStringLiteral("Typical examples"));
    modeLabel_->setText(QStringLiteral(
        "Summary chart shows the power of the tests, with a grey line at the target power"));
    cmdToggle_->hide();
    SetExamples(PowerExamples(), [this](int row) { ChooseExample(row); });
    connect(cmdStart_, &QPushButton::clicked, this, &PowerWindow::Start);

    opt1_->setText(QString::fromUtf8(DesignName(ComparativeTrial).data()));
    opt2_->setText(QString::fromUtf8(DesignName(CrossSectionalStudy).data()));
    PowerSettings initial;
    initial.comparativeTrial = true;
    initial.number = "10 to 60 step 10";
    initial.row = ".5";
    initial.p1 = ".2";
    initial.p2 = ".6";
    initial.test = "1, 5";
    initial.men = "0";
    initial.mmt = "1";
    initial.alpha = ".05";
    initial.target = ".8";
    LoadSettings(settings_.dataDirectory, initial);
    SetFields(initial);
    SetRowToolTip(initial.comparativeTrial);
    txtInterpretation_->clear();
    txtNumber_->setFocus();
    ApplyFieldHelp(HelpTopic::Power);
    resize(1000, 620);
}

PowerSettings PowerWindow::Fields() const {
    PowerSettings s;
    s.comparativeTrial = opt1_->isChecked();
    s.number = txtNumber_->text().toStdString();
    s.row = txtRow_->text().toStdString();
    s.p1 = txtP1_->text().toStdString();
    s.p2 = txtP2_->text().toStdString();
    s.test = txtTest_->text().toStdString();
    s.men = txtMEN_->text().toStdString();
    s.mmt = txtMMT_->text().toStdString();
    s.alpha = txtAlpha_->text().toStdString();
    s.target = txtTarget_->text().toStdString();
    s.pause = chkPause_->isChecked();
    return s;
}

void PowerWindow::SetFields(const PowerSettings& s) {
    txtMEN_->setText(QString::fromStdString(s.men));
    txtMMT_->setText(QString::fromStdString(s.mmt));
    chkPause_->setChecked(s.pause);
    (s.comparativeTrial ? opt1_ : opt2_)->setChecked(true);
    SetRowToolTip(s.comparativeTrial);
    txtNumber_->setText(QString::fromStdString(s.number));
    txtRow_->setText(QString::fromStdString(s.row));
    txtP1_->setText(QString::fromStdString(s.p1));
    txtP2_->setText(QString::fromStdString(s.p2));
    txtTest_->setText(QString::fromStdString(s.test));
    txtTarget_->setText(QString::fromStdString(s.target));
    txtAlpha_->setText(QString::fromStdString(s.alpha));
}

void PowerWindow::ChooseExample(int index) {
    const auto examples = PowerExamples();
    if (index < 0 || static_cast<std::size_t>(index) >= examples.size())
        return;
    noteLabel_->clear();
    SetFields(ApplyExample(examples[static_cast<std::size_t>(index)], Fields()));
}

void PowerWindow::DesignFocused(bool comparativeTrial) {
    SetRowToolTip(comparativeTrial);
}

void PowerWindow::SetRowToolTip(bool comparativeTrial) {
    txtRow_->setToolTip(
        comparativeTrial
            ? QStringLiteral("Enter either the proportion in row 1 as a decimal strictly "
                             "between 0 and 1 (e.g. '0.5'), or the number in row 1 as an "
                             "integer from 1 to N - 1")
            : QStringLiteral("Enter the population proportion in row 1 as a decimal strictly "
                             "between 0 and 1, e.g. '0.5'"));
}

PowerWindow::~PowerWindow() = default;

PowerResultsWindow& PowerWindow::Results() {
    if (!results_)
        results_ = std::make_unique<PowerResultsWindow>(settings_.dataDirectory);
    return *results_;
}

void PowerWindow::Start() {
    if (const auto error = SaveSettings(settings_.dataDirectory, Fields()))
        Messages().Show(this, *error);
    RunPowerInWindows(*this, runWindows_, settings_);
}

} // namespace quillon
