#include "app/welcome_window.h"

#include "analysis/qt/analyse_window.h"
#include "app/program.h"
#include "desktop/help_text.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/summary_data_window.h"
#include "desktop/qt/wrap_button.h"
#include "study/study_registry.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace quillon {

namespace {

// A menu button whose long caption wraps instead of widening the window.
QPushButton* MenuButton(const QString& objectName, const QString& caption, QWidget* parent) {
    auto* button = new WrapButton(caption, parent);
    button->setObjectName(objectName);
    return button;
}

QString Text(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<int>(text.size()));
}

} // namespace

WelcomeWindow::WelcomeWindow(Program& program) : program_(program) {
    setObjectName(QStringLiteral("frm3Welcome"));
    setWindowTitle(QStringLiteral("Quillon"));

    auto* layout = new QVBoxLayout(this);
    auto* title = new QLabel(QStringLiteral("Quillon"), this);
    QFont titleFont = title->font();
    titleFont.setPointSizeF(titleFont.pointSizeF() * 1.8);
    titleFont.setBold(true);
    title->setFont(titleFont);
    layout->addWidget(title);

    auto* label1 = new QLabel(
        QString::fromUtf8(WelcomeDescription.data(), static_cast<int>(WelcomeDescription.size())),
        this);
    label1->setObjectName(QStringLiteral("Label1"));
    label1->setWordWrap(true);
    layout->addWidget(label1);
    layout->addSpacing(8);

    // Long captions: "&" marks the access key, so literal text must not hold one.
    auto* cmdAnalyze = MenuButton(QStringLiteral("cmdAnalyze"),
                                  QStringLiteral("&Analyze a particular 2 x 2 table"), this);
    layout->addWidget(cmdAnalyze);
    // A button for each registered study, in the registry's order.
    for (const StudyEntry* study : RegisteredStudies) {
        auto* button = MenuButton(Text(study->startButton), Text(study->startCaption), this);
        layout->addWidget(button);
        connect(button, &QPushButton::clicked, this, [this, study] {
            if (QWidget* window = program_.StudyWindow(*study)) {
                window->show();
                window->raise();
                hide();
            }
        });
    }
    layout->addSpacing(8);

    auto* row = new QHBoxLayout;
    auto* cmdTroubleshooting = new QPushButton(QStringLiteral("&Troubleshooting"), this);
    cmdTroubleshooting->setObjectName(QStringLiteral("cmdTroubleshooting"));
    auto* cmdHelp = new QPushButton(QStringLiteral("&Help"), this);
    cmdHelp->setObjectName(QStringLiteral("cmdHelp"));
    auto* cmdSummaryData = new QPushButton(QStringLiteral("Summary &data"), this);
    cmdSummaryData->setObjectName(QStringLiteral("cmdSummaryData"));
    cmdSummaryData->setToolTip(
        QStringLiteral("The records of the accumulated summary files, and removing duplicates"));
    cmdExit_ = new QPushButton(QStringLiteral("e&Xit"), this);
    cmdExit_->setObjectName(QStringLiteral("cmdExit"));
    row->addWidget(cmdTroubleshooting);
    row->addWidget(cmdHelp);
    row->addWidget(cmdSummaryData);
    row->addStretch(1);
    row->addWidget(cmdExit_);
    layout->addLayout(row);

    connect(cmdAnalyze, &QPushButton::clicked, this, [this] {
        program_.Analyse().show();
        program_.Analyse().raise();
        hide();
    });
    connect(cmdTroubleshooting, &QPushButton::clicked, this,
            [this] { Messages().Show(this, std::string(PrintingAdvice)); });
    connect(cmdHelp, &QPushButton::clicked, this,
            [this] { program_.ShowHelp(HelpTopic::General); });
    connect(cmdSummaryData, &QPushButton::clicked, this, [this] {
        SummaryDataWindow& window = SummaryData();
        window.Reload();
        window.show();
        window.raise();
    });
    connect(cmdExit_, &QPushButton::clicked, this, [this] { program_.EndProgram(); });

    resize(640, sizeHint().height());
}

WelcomeWindow::~WelcomeWindow() = default;

SummaryDataWindow& WelcomeWindow::SummaryData() {
    if (!summaryData_)
        summaryData_ = std::make_unique<SummaryDataWindow>(program_.Settings().dataDirectory);
    return *summaryData_;
}

double WelcomeWindow::MeasurePixelSize() {
    cmdExit_->setFixedWidth(120);
    return cmdExit_->width() / 120.0;
}

void WelcomeWindow::closeEvent(QCloseEvent* event) {
    // Closing the start window ends the program, as e&Xit does.
    event->accept();
    program_.EndProgram();
}

} // namespace quillon
