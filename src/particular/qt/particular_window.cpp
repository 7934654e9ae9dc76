#include "particular/qt/particular_window.h"

#include "core/designs.h"
#include "core/test_registry.h"
#include "desktop/examples.h"
#include "desktop/qt/messages.h"
#include "particular/qt/particular_driver.h"

#include <QCheckBox>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

namespace quillon {

ParticularWindow::ParticularWindow(const DeskSettings& settings, Navigation& navigation,
                                   RunWindows& runWindows)
    : SpecWindowBase(settings, navigation, runWindows) {
    setObjectName(QStringLiteral("frmSetPointVals"));
    setWindowTitle(
        QStringLiteral("Setting specifications for investigation of actual type I errors"));
    BuildCommon(QStringLiteral("Label7"),
                QStringLiteral("Interpretation of complex specs (as a check of specs entered)"),
                QStringLiteral("Label6"), QStringLiteral("labSummaryChartMode"),
                QStringLiteral("cmdToggleSummaryChart"), QStringLiteral("Label12"),
                QStringLiteral("Label13"), QStringLiteral("Label14"), QStringLiteral("Label15"));

    txtNumber_ = AddField(
        QStringLiteral("txtNumber"), QStringLiteral("Label1"),
        QStringLiteral("Total number in sample(s) (N)"), FieldKind::List,
        QStringLiteral("Enter a particular value e.g. '20', or values separated by commas, or a "
                       "range e.g. '10 - 20' or a sequence e.g. '10 to 30 step 2', or a "
                       "combination"));
    txtTest_ = AddField(
        QStringLiteral("txtTest"), QStringLiteral("Label9"), QStringLiteral("Test(s)"),
        FieldKind::List,
        QString::fromStdString("Enter '" + AllTestsSpecification() +
                               "' for all tests, or particular values separated by commas"));
    txtPCol_ = AddField(
        QStringLiteral("txtP_col"), QStringLiteral("Label2"),
        QStringLiteral("Population proportion in column 1"), FieldKind::List,
        QStringLiteral("Enter a particular value e.g. '0.5', or values separated by commas, or a "
                       "sequence e.g. '.02 to .50 step .02'"));
    txtPRow_ =
        AddField(QStringLiteral("txtP_row"), QStringLiteral("Label3"), {}, FieldKind::List, {});
    label3_ = findChild<QLabel*>(QStringLiteral("Label3"));
    txtInterval_ = AddField(QStringLiteral("txtInterval"), QStringLiteral("Label4"),
                            QStringLiteral("Population proportion interval"), FieldKind::Single,
                            QStringLiteral("An advanced feature, the standard value is 0."));
    txtMEN_ = AddField(
        QStringLiteral("txtMEN"), QStringLiteral("Label8"),
        QStringLiteral("Minimum expected number (MEN)"), FieldKind::List,
        QStringLiteral("Enter a particular value e.g. '0', or particular values, or a range, or "
                       "a sequence (e.g. in the range 0 to 5)"));
    txtMMT_ = AddField(QStringLiteral("txtMMT"), QStringLiteral("Label5"),
                       QStringLiteral("Minimum marginal total (MMT)"), FieldKind::Single,
                       QStringLiteral("Must be at least 1.  The standard value is 1."));
    txtParameter_ = AddField(QStringLiteral("txtParameter"), QStringLiteral("Label10"),
                             QStringLiteral("Significance level / cutoff"), FieldKind::Single,
                             QStringLiteral("e.g. 0.05"));
    fieldGrid_->setRowStretch(fieldRow_, 1);

    SetExamples(ParticularExamples(), [this](int row) { ChooseExample(row); });
    connect(cmdToggle_, &QPushButton::clicked, this, [this] {
        Property& mode = summaryChartMode_;
        mode = mode == Property::ActualTypeIError ? Property::MaximumExcess
                                                  : Property::ActualTypeIError;
        UpdateModeLabel();
    });
    connect(cmdStart_, &QPushButton::clicked, this, &ParticularWindow::Start);

    // "getindividual": the design captions, then the saved settings over the initial ones.
    opt1_->setText(QString::fromUtf8(DesignName(ComparativeTrial).data()));
    opt2_->setText(QString::fromUtf8(DesignName(CrossSectionalStudy).data()));
    ParticularSettings initial;
    initial.comparativeTrial = true;
    initial.number = "20";
    initial.test = "1, 4";
    initial.pCol = ".1 to .5 step .1";
    initial.pRow = ".5";
    initial.interval = "0";
    initial.men = "0";
    initial.mmt = "1";
    initial.parameter = ".05";
    LoadSettings(settings_.dataDirectory, initial);
    SetFields(initial);
    SetRowCaption(initial.comparativeTrial);
    txtInterpretation_->clear();
    summaryChartMode_ = Property::ActualTypeIError;
    UpdateModeLabel();
    // The first field, not the design options, has the focus when the window opens.
    txtNumber_->setFocus();
    ApplyFieldHelp(HelpTopic::Particular);
    resize(1000, 620);
}

ParticularSettings ParticularWindow::Fields() const {
    ParticularSettings s;
    s.comparativeTrial = opt1_->isChecked();
    s.number = txtNumber_->text().toStdString();
    s.test = txtTest_->text().toStdString();
    s.pCol = txtPCol_->text().toStdString();
    s.pRow = txtPRow_->text().toStdString();
    s.interval = txtInterval_->text().toStdString();
    s.men = txtMEN_->text().toStdString();
    s.mmt = txtMMT_->text().toStdString();
    s.parameter = txtParameter_->text().toStdString();
    s.pause = chkPause_->isChecked();
    return s;
}

void ParticularWindow::SetFields(const ParticularSettings& s) {
    // The order of an example's filling: the policy fields first, then the design, then the
    // lists and the level, so the interpretation shows the level's reading last.
    txtInterval_->setText(QString::fromStdString(s.interval));
    txtMEN_->setText(QString::fromStdString(s.men));
    txtMMT_->setText(QString::fromStdString(s.mmt));
    chkPause_->setChecked(s.pause);
    (s.comparativeTrial ? opt1_ : opt2_)->setChecked(true);
    txtNumber_->setText(QString::fromStdString(s.number));
    txtTest_->setText(QString::fromStdString(s.test));
    txtPCol_->setText(QString::fromStdString(s.pCol));
    txtPRow_->setText(QString::fromStdString(s.pRow));
    txtParameter_->setText(QString::fromStdString(s.parameter));
}

void ParticularWindow::ChooseExample(int index) {
    const auto examples = ParticularExamples();
    if (index < 0 || static_cast<std::size_t>(index) >= examples.size()) {
        return;
    }
    const ParticularExample& example = examples[static_cast<std::size_t>(index)];
    noteLabel_->setText(
        QString::fromUtf8(OneSidedNoteFor(example.listText).data(),
                          static_cast<int>(OneSidedNoteFor(example.listText).size())));
    SetFields(ApplyExample(example, Fields()));
}

void ParticularWindow::DesignFocused(bool comparativeTrial) {
    SetRowCaption(comparativeTrial);
}

void ParticularWindow::SetRowCaption(bool comparativeTrial) {
    if (comparativeTrial) {
        label3_->setText(QStringLiteral("Pop. prop. / number in row 1"));
        txtPRow_->setToolTip(QStringLiteral(
            "Enter either the proportion as a decimal (e.g. '0.5') or the number (as an "
            "integer)"));
    } else {
        label3_->setText(QStringLiteral("Population proportion in row 1"));
        txtPRow_->setToolTip(QStringLiteral("Enter the proportion as a decimal e.g. '0.5'"));
    }
}

void ParticularWindow::UpdateModeLabel() {
    switch (summaryChartMode_) {
    case Property::ActualTypeIError:
        modeLabel_->setText(QStringLiteral(
            "Summary chart shows actual Type I error at the specified nominal significance "
            "level"));
        break;
    case Property::MaximumExcess:
        modeLabel_->setText(QStringLiteral(
            "Summary chart shows maximum Type I error excess for nominal values up to the "
            "cutoff"));
        break;
    }
}

void ParticularWindow::Start() {
    if (const auto error = SaveSettings(settings_.dataDirectory, Fields())) {
        Messages().Show(this, *error);
    }
    RunParticularInWindows(*this, runWindows_, settings_);
}

} // namespace quillon
