// The program's modal message boxes. Every window asks through here, so the window tests
// can answer instead of a person (they install a recorder with SetMessageBoxes).
#pragma once

#include "study/events.h"

#include <string>

class QWidget;

namespace quillon {

class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    // A modal box with an OK button only, no icon, the program's title.
    virtual void Show(QWidget* parent, const std::string& text);
    // A modal box with Yes, No and Cancel.
    virtual Answer Ask(QWidget* parent, const std::string& text);
    // A modal box with Yes and No (No the default, Escape answers No): true for Yes.
    virtual bool AskYesNo(QWidget* parent, const std::string& text);
    // A file to save to, `suggested` offered first; empty when the user cancels.
    // `filter` is in the file dialog's form, e.g. "PDF document (*.pdf);;PNG image (*.png)".
    virtual std::string AskSaveFileName(QWidget* parent, const std::string& caption,
                                        const std::string& suggested, const std::string& filter);
};

// The boxes in use (message boxes on screen unless a test installed others).
MessageBoxes& Messages();
// Installs `boxes` (not owned); nullptr returns to the real boxes.
void SetMessageBoxes(MessageBoxes* boxes);

} // namespace quillon
