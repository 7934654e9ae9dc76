#include "desktop/qt/help_window.h"

#include "desktop/qt/window_keys.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScrollArea>
#include <QVBoxLayout>

namespace quillon {

HelpWindow::HelpWindow() {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Quillon"));
    auto* layout = new QVBoxLayout(this);

    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    label1_ = new QLabel(scroll);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setWordWrap(true);
    label1_->setTextFormat(Qt::PlainText);
    label1_->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    label1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    label1_->setMargin(6);
    scroll->setWidget(label1_);
    layout->addWidget(scroll, 1);

    auto* row = new QHBoxLayout;
    auto* command1 = new QPushButton(QStringLiteral("&Close"), this);
    command1->setObjectName(QStringLiteral("Command1"));
    row->addStretch(1);
    row->addWidget(command1);
    layout->addLayout(row);
    connect(command1, &QPushButton::clicked, this, &QWidget::hide);
    CloseOnEscape(*this, *command1);

    resize(720, 560);
}

void HelpWindow::SetText(const std::string& text) {
    QString shown = QString::fromStdString(text);
    shown.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    label1_->setText(shown);
}

QString HelpWindow::Text() const {
    return label1_->text();
}

} // namespace quillon
