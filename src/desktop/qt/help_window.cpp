#include "desktop/qt/help_window.h"

#include "desktop/qt/window_keys.h"

#include <QHBoxLayout>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QVBoxLayout>

namespace quillon {

HelpWindow::HelpWindow() {
    setObjectName(QStringLiteral("frmHelp"));
    setWindowTitle(QStringLiteral("Quillon"));
    auto* layout = new QVBoxLayout(this);

    // Read-only text that wraps to the window and can be scrolled to a section.
    label1_ = new QPlainTextEdit(this);
    label1_->setObjectName(QStringLiteral("Label1"));
    label1_->setReadOnly(true);
    label1_->setFrameShape(QFrame::NoFrame);
    label1_->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    label1_->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    layout->addWidget(label1_, 1);

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
    label1_->setPlainText(shown);
    ShowFrom({});
}

QString HelpWindow::Text() const {
    return label1_->toPlainText();
}

void HelpWindow::ShowFrom(const std::string& heading) {
    QTextCursor cursor(label1_->document());
    if (!heading.empty()) {
        const QString wanted = QString::fromStdString(heading);
        for (QTextBlock block = label1_->document()->begin(); block.isValid(); block = block.next())
            if (block.text() == wanted) {
                cursor.setPosition(block.position());
                break;
            }
    }
    // To the end first, so that the heading comes to the top rather than just into view.
    label1_->moveCursor(QTextCursor::End);
    label1_->ensureCursorVisible();
    label1_->setTextCursor(cursor);
    label1_->ensureCursorVisible();
    if (cursor.position() == 0)
        label1_->verticalScrollBar()->setValue(0);
}

QString HelpWindow::TopLine() const {
    return label1_->cursorForPosition(QPoint(2, 2)).block().text();
}

} // namespace quillon
