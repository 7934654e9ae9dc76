#include "desktop/qt/window_keys.h"

#include <QAbstractButton>
#include <QKeySequence>
#include <QLineEdit>
#include <QShortcut>
#include <QWidget>

namespace quillon {

void CloseOnEscape(QWidget& window, QAbstractButton& close) {
    auto* shortcut = new QShortcut(QKeySequence(Qt::Key_Escape), &window);
    shortcut->setContext(Qt::WindowShortcut);
    QObject::connect(shortcut, &QShortcut::activated, &close, [&close] {
        if (close.isEnabled() && close.isVisible())
            close.click();
    });
}

void ReturnPresses(QLineEdit& field, QAbstractButton& button) {
    QObject::connect(&field, &QLineEdit::returnPressed, &button, [&button] {
        if (button.isEnabled() && button.isVisible())
            button.click();
    });
}

QChar AccessKey(const QString& caption) {
    for (qsizetype i = 0; i + 1 < caption.size(); ++i) {
        if (caption[i] != QLatin1Char('&'))
            continue;
        if (caption[i + 1] == QLatin1Char('&')) {
            ++i; // a literal ampersand
            continue;
        }
        return caption[i + 1].toUpper();
    }
    return {};
}

} // namespace quillon
