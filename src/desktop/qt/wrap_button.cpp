#include "desktop/qt/wrap_button.h"

#include <QStyleOptionButton>
#include <QStylePainter>

namespace quillon {

namespace {
constexpr int kTextFlags =
    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextWordWrap | Qt::TextShowMnemonic;
}

WrapButton::WrapButton(const QString& caption, QWidget* parent) : QPushButton(caption, parent) {
    QSizePolicy policy(QSizePolicy::Preferred, QSizePolicy::Preferred);
    policy.setHeightForWidth(true);
    setSizePolicy(policy);
}

int WrapButton::heightForWidth(int width) const {
    const QRect bounds =
        fontMetrics().boundingRect(QRect(0, 0, width - 2 * kMarginX, 10000), kTextFlags, text());
    return bounds.height() + 2 * kMarginY;
}

QSize WrapButton::sizeHint() const {
    const int width = fontMetrics().averageCharWidth() * 60 + 2 * kMarginX;
    return {width, heightForWidth(width)};
}

QSize WrapButton::minimumSizeHint() const {
    const int width = fontMetrics().averageCharWidth() * 25 + 2 * kMarginX;
    return {width, fontMetrics().height() + 2 * kMarginY};
}

void WrapButton::paintEvent(QPaintEvent*) {
    QStylePainter painter(this);
    QStyleOptionButton option;
    initStyleOption(&option);
    const QString caption = option.text;
    option.text.clear();
    painter.drawControl(QStyle::CE_PushButton, option);
    painter.setPen(
        palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::ButtonText));
    painter.drawText(rect().adjusted(kMarginX, kMarginY, -kMarginX, -kMarginY), kTextFlags,
                     caption);
}

} // namespace quillon
