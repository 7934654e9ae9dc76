// frmHelp: the help text of the program, one text for every window; each window's Help
// opens it at that window's own section.
#pragma once

#include <QWidget>

#include <string>

class QPlainTextEdit;

namespace quillon {

class HelpWindow : public QWidget {
    Q_OBJECT
public:
    HelpWindow();
    // Puts the text (with CR LF line ends) into the window, shown from its start.
    void SetText(const std::string& text);
    QString Text() const;
    // Scrolls so that the line `heading` stands at the top (the start when it is empty or
    // not in the text).
    void ShowFrom(const std::string& heading);
    // The line now at the top of the text.
    QString TopLine() const;

private:
    QPlainTextEdit* label1_ = nullptr;
};

} // namespace quillon
