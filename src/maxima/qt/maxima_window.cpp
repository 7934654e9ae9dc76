#include "maxima/qt/maxima_window.h"

#include "core/designs.h"
#include "core/numtext.h"
#include "core/test_registry.h"
#include "desktop/examples.h"
#include "desktop/qt/messages.h"
#include "maxima/qt/maximum_driver.h"
#include "maxima/result_files.h"
#include "maxima/search.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quillon {

MaximaWindow::MaximaWindow(const DeskSettings& settings, Navigation& navigation,
                           RunWindows& runWindows)
    : SpecWindowBase(settings, navigation, runWindows) {
    setObjectName(QStringLiteral("frmSetMaxima"));
    setWindowTitle(QStringLiteral(
        "Setting specifications for investigation of maximum type I errors over all population "
        "proportions"));
    BuildCommon(QStringLiteral("Label9"), QStringLiteral("Interpretation"),
                QStringLiteral("Label10"), QStringLiteral("labMaximumType"),
                QStringLiteral("cmdToggleMaximumType"), QStringLiteral("Label14"),
                QStringLiteral("Label15"), QStringLiteral("Label12"), QStringLiteral("Label13"));

    txtNumber_ = AddField(
        QStringLiteral("txtNumber"), QStringLiteral("Label1"),
        QStringLiteral("Total number in sample(s) (N)"), FieldKind::List,
        QStringLiteral("Enter a particular value e.g. '20', or values separated by commas, or a "
                       "range e.g. '10 - 20', or a sequence e.g. '10 to 30 step 2', or a "
                       "combination."));
    txtRow1_ = AddField(
        QStringLiteral("txtRow1"), QStringLiteral("Label6"),
        QStringLiteral("Pop. prop. / number in row 1"), FieldKind::Verbatim,
        QStringLiteral("Enter the proportion as a decimal e.g. '0.5', or the number (as an "
                       "integer), or 'all' (for all values up to N/2), or 'overall' (for "
                       "maximum overall values up to N/2)."));
    label6_ = findChild<QLabel*>(QStringLiteral("Label6"));
    txtTest_ = AddField(
        QStringLiteral("txtTest"), QStringLiteral("Label7"), QStringLiteral("Test(s)"),
        FieldKind::List,
        QString::fromStdString("Enter '" + AllTestsSpecification() +
                               "' for all tests, or particular values separated by commas"));
    txtMEN_ = AddField(
        QStringLiteral("txtMEN"), QStringLiteral("Label8"),
        QStringLiteral("Minimum expected number (MEN)"), FieldKind::List,
        QStringLiteral("Enter a particular value e.g. '0', or values, or a range, or a sequence "
                       "(e.g. in the range 0 to 5)"));
    txtMMT_ = AddField(QStringLiteral("txtMMT"), QStringLiteral("Label5"),
                       QStringLiteral("Minimum marginal total (MMT)"), FieldKind::Single,
                       QStringLiteral("Must be at least 1.  The standard value is 1."));
    txtParameter_ = AddField(QStringLiteral("txtParameter"), QStringLiteral("Label3"),
                             QStringLiteral("Significance level / cutoff"), FieldKind::Single,
                             QStringLiteral("e.g. 0.05"));
    txtAccuracy_ = AddField(QStringLiteral("txtAccuracy"), QStringLiteral("Label4"),
                            QStringLiteral("Accuracy required"), FieldKind::Single,
                            QStringLiteral("e.g. 0.005"));
    fieldGrid_->setRowStretch(fieldRow_, 1);

    SetExamples(MaximumExamples(), [this](int row) { ChooseExample(row); });
    connect(cmdToggle_, &QPushButton::clicked, this, [this] {
        Property& type = maximumType_;
        type = type == Property::ActualTypeIError ? Property::MaximumExcess
                                                  : Property::ActualTypeIError;
        UpdateTypeLabel();
    });
    connect(cmdStart_, &QPushButton::clicked, this, &MaximaWindow::Start);

    // "getmaxima": the design captions, then the saved settings over the initial ones.
    opt1_->setText(QString::fromUtf8(DesignName(ComparativeTrial).data()));
    opt2_->setText(QString::fromUtf8(DesignName(CrossSectionalStudy).data()));
    MaximaSettings initial;
    initial.comparativeTrial = true;
    initial.number = "20";
    initial.row1 = ".5";
    initial.test = "1";
    initial.men = "0";
    initial.mmt = "1";
    initial.parameter = ".05";
    initial.accuracy = "0.005";
    LoadSettings(settings_.dataDirectory, initial);
    SetFields(initial);
    txtInterpretation_->clear();
    maximumType_ = Property::ActualTypeIError;
    UpdateTypeLabel();
    // The first field, not the design options, has the focus when the window opens.
    txtNumber_->setFocus();
    ApplyFieldHelp(HelpTopic::Maximum);
    resize(1000, 620);
}

MaximaSettings MaximaWindow::Fields() const {
    MaximaSettings s;
    s.comparativeTrial = opt1_->isChecked();
    s.number = txtNumber_->text().toStdString();
    s.row1 = txtRow1_->text().toStdString();
    s.test = txtTest_->text().toStdString();
    s.men = txtMEN_->text().toStdString();
    s.mmt = txtMMT_->text().toStdString();
    s.parameter = txtParameter_->text().toStdString();
    s.accuracy = txtAccuracy_->text().toStdString();
    s.pause = chkPause_->isChecked();
    return s;
}

void MaximaWindow::SetFields(const MaximaSettings& s) {
    // An example's order: MMT, the design (with the row-1 field), the lists, the level, the
    // Pause box, and the accuracy last (so the interpretation shows its reading).
    txtMMT_->setText(QString::fromStdString(s.mmt));
    (s.comparativeTrial ? opt1_ : opt2_)->setChecked(true);
    ShowRow1(s.comparativeTrial);
    txtNumber_->setText(QString::fromStdString(s.number));
    txtTest_->setText(QString::fromStdString(s.test));
    txtRow1_->setText(QString::fromStdString(s.row1));
    txtMEN_->setText(QString::fromStdString(s.men));
    txtParameter_->setText(QString::fromStdString(s.parameter));
    chkPause_->setChecked(s.pause);
    txtAccuracy_->setText(QString::fromStdString(s.accuracy));
}

void MaximaWindow::ChooseExample(int index) {
    const auto examples = MaximumExamples();
    if (index < 0 || static_cast<std::size_t>(index) >= examples.size()) {
        return;
    }
    const MaximumExample& example = examples[static_cast<std::size_t>(index)];
    const std::string_view note = OneSidedNoteFor(example.listText);
    noteLabel_->setText(QString::fromUtf8(note.data(), static_cast<int>(note.size())));
    const MaximaSettings filled = ApplyExample(example, Fields());
    // The maximum type goes back to "1ProSig" before the accuracy is written.
    txtMMT_->setText(QString::fromStdString(filled.mmt));
    (filled.comparativeTrial ? opt1_ : opt2_)->setChecked(true);
    ShowRow1(filled.comparativeTrial);
    txtNumber_->setText(QString::fromStdString(filled.number));
    txtTest_->setText(QString::fromStdString(filled.test));
    txtRow1_->setText(QString::fromStdString(filled.row1));
    txtMEN_->setText(QString::fromStdString(filled.men));
    txtParameter_->setText(QString::fromStdString(filled.parameter));
    chkPause_->setChecked(false);
    maximumType_ = Property::ActualTypeIError;
    UpdateTypeLabel();
    txtAccuracy_->setText(QString::fromStdString(filled.accuracy));
}

void MaximaWindow::DesignFocused(bool comparativeTrial) {
    ShowRow1(comparativeTrial);
}

void MaximaWindow::ShowRow1(bool visible) {
    label6_->setVisible(visible);
    txtRow1_->setVisible(visible);
}

void MaximaWindow::UpdateTypeLabel() {
    const Property type = maximumType_;
    if (type == Property::ActualTypeIError) {
        modeLabel_->setText(QStringLiteral(
            "Calculate maximum Type I error at the specified nominal significance level"));
    } else {
        modeLabel_->setText(QStringLiteral(
            "Calculate maximum Type I error excess for nominal values up to the cutoff"));
    }
}

void MaximaWindow::Start() {
    if (NumericReading(txtMMT_->text().toStdString()) < 1) {
        Messages().Show(this, "The minimum marginal total must be at least 1");
        txtMMT_->setText(QStringLiteral("1"));
        return;
    }
    if (const auto error = SaveSettings(settings_.dataDirectory, Fields())) {
        Messages().Show(this, *error);
    }
    summaryFileName_ = quillon::SummaryFileName(PolicyOfTestField(txtTest_->text().toStdString()));
    RunMaximumInWindows(*this, runWindows_, settings_);
}

} // namespace quillon
