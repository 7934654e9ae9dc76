// A push button whose caption wraps over several lines, for the long captions of the
// start window. The caption (with its "&" access key) stays the button's text.
#pragma once

#include <QPushButton>

namespace quillon {

class WrapButton : public QPushButton {
    Q_OBJECT
public:
    WrapButton(const QString& caption, QWidget* parent);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    static constexpr int kMarginX = 10;
    static constexpr int kMarginY = 6;
};

} // namespace quillon
