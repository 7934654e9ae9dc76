#include "desktop/qt/spec_window_base.h"

#include "core/numtext.h"
#include "desktop/qt/run_host.h"
#include "desktop/qt/window_keys.h"
#include "study/speclang.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QFontDatabase>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

QLabel* PlainLabel(const QString& name, const QString& text, QWidget* parent) {
    auto* label = new QLabel(text, parent);
    label->setObjectName(name);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    return label;
}

} // namespace

SpecWindowBase::SpecWindowBase(const DeskSettings& settings, Navigation& navigation,
                               RunWindows& runWindows)
    : settings_(settings), navigation_(navigation), runWindows_(runWindows) {}

void SpecWindowBase::BuildCommon(const QString& interpretationLabelName,
                                 const QString& interpretationCaption,
                                 const QString& pauseLabelName, const QString& modeLabelName,
                                 const QString& toggleName, const QString& examplesLabelName,
                                 const QString& noteLabelName, const QString& keyLabelName,
                                 const QString& promptLabelName) {
    auto* outer = new QVBoxLayout(this);
    auto* columns = new QHBoxLayout;
    outer->addLayout(columns, 1);

    // Left column: the fields, then the interpretation of the one being edited.
    auto* left = new QVBoxLayout;
    fieldGrid_ = new QGridLayout;
    fieldGrid_->setColumnStretch(1, 1);
    left->addLayout(fieldGrid_);
    interpretationLabel_ = PlainLabel(interpretationLabelName, interpretationCaption, this);
    left->addWidget(interpretationLabel_);
    txtInterpretation_ = new QPlainTextEdit(this);
    txtInterpretation_->setObjectName(QStringLiteral("txtInterpretation"));
    txtInterpretation_->setReadOnly(true);
    txtInterpretation_->setMinimumHeight(70);
    txtInterpretation_->setFocusPolicy(Qt::ClickFocus);
    left->addWidget(txtInterpretation_, 1);
    columns->addLayout(left, 3);

    // Right column: design, pause, the summary-chart or maximum type, the examples, the key.
    auto* right = new QVBoxLayout;
    auto* frame1 = new QGroupBox(QStringLiteral("Research design"), this);
    frame1->setObjectName(QStringLiteral("Frame1"));
    auto* frameLayout = new QVBoxLayout(frame1);
    opt1_ = new QRadioButton(frame1);
    opt1_->setObjectName(QStringLiteral("opt1"));
    opt2_ = new QRadioButton(frame1);
    opt2_->setObjectName(QStringLiteral("opt2"));
    frameLayout->addWidget(opt1_);
    frameLayout->addWidget(opt2_);
    opt1_->installEventFilter(this);
    opt2_->installEventFilter(this);

    auto* designRow = new QHBoxLayout;
    designRow->addWidget(frame1);
    auto* pauseBox = new QVBoxLayout;
    pauseLabel_ = PlainLabel(pauseLabelName, QStringLiteral("Pause at each chart"), this);
    chkPause_ = new QCheckBox(QStringLiteral("Pause"), this);
    chkPause_->setObjectName(QStringLiteral("chkPause"));
    pauseBox->addStretch(1);
    pauseBox->addWidget(pauseLabel_);
    pauseBox->addWidget(chkPause_);
    pauseBox->addStretch(1);
    designRow->addLayout(pauseBox);
    designRow->addStretch(1);
    right->addLayout(designRow);

    auto* modeRow = new QHBoxLayout;
    modeLabel_ = PlainLabel(modeLabelName, {}, this);
    modeLabel_->setFrameShape(QFrame::StyledPanel);
    modeLabel_->setMargin(4);
    cmdToggle_ = new QPushButton(QStringLiteral("Ch&ange"), this);
    cmdToggle_->setObjectName(toggleName);
    modeRow->addWidget(modeLabel_, 1);
    modeRow->addWidget(cmdToggle_, 0, Qt::AlignVCenter);
    right->addLayout(modeRow);

    examplesLabel_ = PlainLabel(
        examplesLabelName,
        QStringLiteral("Published data as examples or for comparison/verification"), this);
    right->addWidget(examplesLabel_);
    lstExamples_ = new QListWidget(this);
    lstExamples_->setObjectName(QStringLiteral("lstExamples"));
    lstExamples_->setMinimumHeight(150);
    right->addWidget(lstExamples_, 2);
    noteLabel_ = PlainLabel(noteLabelName, {}, this);
    right->addWidget(noteLabel_);
    keyLabel_ = PlainLabel(keyLabelName, {}, this);
    keyLabel_->setWordWrap(false);
    right->addWidget(keyLabel_);
    columns->addLayout(right, 4);

    auto* bottom = new QHBoxLayout;
    promptLabel_ = PlainLabel(
        promptLabelName,
        QStringLiteral("Enter specifications or select an example, and select Start"), this);
    QFont promptFont = promptLabel_->font();
    promptFont.setBold(true);
    promptLabel_->setFont(promptFont);
    cmdStart_ = new QPushButton(QStringLiteral("&Start"), this);
    cmdStart_->setObjectName(QStringLiteral("cmdStart"));
    cmdStart_->setDefault(true);
    cmdHelp_ = new QPushButton(QStringLiteral("&Help"), this);
    cmdHelp_->setObjectName(QStringLiteral("cmdHelp"));
    cmdExit_ = new QPushButton(QStringLiteral("&Close"), this);
    cmdExit_->setObjectName(QStringLiteral("cmdExit"));
    bottom->addWidget(promptLabel_, 1);
    progress_ = new QProgressBar(this);
    progress_->setObjectName(QStringLiteral("progress"));
    progress_->setRange(0, 1000);
    progress_->hide();
    bottom->addWidget(progress_, 1);
    bottom->addWidget(cmdStart_);
    bottom->addWidget(cmdHelp_);
    bottom->addWidget(cmdExit_);
    outer->addLayout(bottom);

    connect(cmdHelp_, &QPushButton::clicked, this, [this] { navigation_.ShowHelp(helpTopic_); });
    CloseOnEscape(*this, *cmdExit_);
    connect(cmdExit_, &QPushButton::clicked, this, [this] {
        hide();
        navigation_.ShowWelcome();
    });
}

void SpecWindowBase::ApplyFieldHelp(HelpTopic topic) {
    helpTopic_ = topic;
    for (const FieldHelp& help : FieldHelpFor(topic)) {
        auto* control = findChild<QWidget*>(
            QString::fromUtf8(help.control.data(), static_cast<int>(help.control.size())));
        if (control == nullptr)
            continue;
        control->setWhatsThis(
            QString::fromUtf8(help.text.data(), static_cast<int>(help.text.size())));
        if (control->toolTip().isEmpty() && !help.tip.empty())
            control->setToolTip(
                QString::fromUtf8(help.tip.data(), static_cast<int>(help.tip.size())));
    }
}

QLineEdit* SpecWindowBase::AddField(const QString& name, const QString& labelName,
                                    const QString& label, FieldKind kind, const QString& toolTip) {
    auto* caption = PlainLabel(labelName, label, this);
    auto* field = new QLineEdit(this);
    field->setObjectName(name);
    field->setToolTip(toolTip);
    field->setMinimumWidth(160);
    caption->setBuddy(field);
    fieldGrid_->addWidget(caption, fieldRow_, 0);
    fieldGrid_->addWidget(field, fieldRow_, 1);
    ++fieldRow_;
    kinds_[field] = kind;
    field->installEventFilter(this);
    ReturnPresses(*field, *cmdStart_);
    connect(field, &QLineEdit::textChanged, this, [this, field] { ShowInterpretation(field); });
    return field;
}

void SpecWindowBase::SetExampleTexts(const std::vector<std::string_view>& texts,
                                     std::function<void(int)> choose) {
    for (std::string_view text : texts) {
        auto* item = new QListWidgetItem(
            QString::fromUtf8(text.data(), static_cast<int>(text.size())), lstExamples_);
        item->setToolTip(item->text());
    }
    // An example is chosen when the selection moves to it, by the mouse or by the arrow
    // keys, and again when the selected one is clicked (to restore fields edited since).
    // The focus entering the list only marks a row, so tabbing through it changes nothing.
    // A click that also moves the selection fills the fields twice with the same values.
    connect(lstExamples_, &QListWidget::itemSelectionChanged, this, [this, choose] {
        const QList<QListWidgetItem*> selected = lstExamples_->selectedItems();
        if (!selected.isEmpty()) {
            choose(lstExamples_->row(selected.front()));
        }
    });
    connect(lstExamples_, &QListWidget::itemClicked, this,
            [this, choose = std::move(choose)](QListWidgetItem* item) {
                choose(lstExamples_->row(item));
            });
}

void SpecWindowBase::ShowInterpretation(const QLineEdit* field) {
    const auto kind = kinds_.find(field);
    if (kind == kinds_.end()) {
        return;
    }
    const std::string text = field->text().toStdString();
    std::string shown;
    // The field is read as the run will read it; what that reading passed over or read as 0
    // is said below the values, since the run would otherwise use them without a word.
    std::string note;
    switch (kind->second) {
    case FieldKind::List: {
        const Expansion expansion = ExpandSpecification(text);
        shown = expansion.interpretation;
        note = ReadingNote(expansion);
        break;
    }
    case FieldKind::Single:
        shown = GeneralNumberText(NumericReading(text));
        note = SingleValueReadingNote(text);
        break;
    case FieldKind::Verbatim:
        shown = text;
        break;
    }
    if (!note.empty())
        shown += "\n" + note;
    txtInterpretation_->setPlainText(QString::fromStdString(shown));
}

bool SpecWindowBase::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() == QEvent::FocusIn) {
        if (watched == opt1_ || watched == opt2_) {
            DesignFocused(watched == opt1_);
        } else if (const auto* field = qobject_cast<const QLineEdit*>(watched)) {
            ShowInterpretation(field);
        }
    }
    return QWidget::eventFilter(watched, event);
}

void SpecWindowBase::SetKeyForTests(const std::string& key) {
    QString shown = QString::fromStdString(key);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    keyLabel_->setText(shown.trimmed());
}

void SpecWindowBase::SetRunning(bool running) {
    cmdStart_->setEnabled(!running);
    cmdExit_->setEnabled(!running);
    lstExamples_->setEnabled(!running);
    if (running) {
        setCursor(Qt::WaitCursor);
    } else {
        unsetCursor();
        ShowProgress({}, 1);
    }
}

void SpecWindowBase::ShowProgress(const std::string& stage, double fraction) {
    const bool visible = fraction >= 0 && fraction < 1;
    promptLabel_->setVisible(!visible);
    progress_->setVisible(visible);
    if (visible) {
        progress_->setFormat(QString::fromStdString(stage) + QStringLiteral(" %p%"));
        progress_->setValue(static_cast<int>(fraction * 1000));
    }
}

QString SpecWindowBase::Interpretation() const {
    return txtInterpretation_->toPlainText();
}

void SpecWindowBase::closeEvent(QCloseEvent* event) {
    // Closing by the frame does what "&Close" does; during a run the window stays.
    event->ignore();
    if (runWindows_.runs.Active()) {
        return;
    }
    hide();
    navigation_.ShowWelcome();
}

} // namespace quillon
