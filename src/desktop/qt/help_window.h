// frmHelp: the one help text of the program, the same from every window's Help button.
#pragma once

#include <QWidget>

class QLabel;

namespace quillon {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    HelpWindow();
    // Puts the text (with CR LF line ends) into the label.
    void SetText(const std::string& text);
    QString Text() const;

private:
    QLabel* label1_ = nullptr;
};

} // namespace quillon
