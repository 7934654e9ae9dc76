// Keys shared by the windows: Escape does what a window's Close button does, and the rule
// that makes a window's access keys unique can be checked.
#pragma once

#include <QChar>
#include <QString>

class QAbstractButton;
class QLineEdit;
class QWidget;

namespace quillon {

// Escape anywhere in `window` clicks `close`; a disabled button (a window held by a run)
// does nothing, as a click on it would.
void CloseOnEscape(QWidget& window, QAbstractButton& close);

// The access key of a caption ("P&ause" gives 'A'), upper case; a null character when the
// caption has none ("&&" is a literal ampersand).
QChar AccessKey(const QString& caption);

// Return (or Enter) in `field` presses `button`, the window's default, when it can be
// pressed: a window that is not a dialog has no default button of its own.
void ReturnPresses(QLineEdit& field, QAbstractButton& button);

} // namespace quillon
