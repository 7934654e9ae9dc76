#include "maxima/qt/maximum_driver.h"

#include "ui/qt/maxima_window.h"
#include "ui/qt/messages.h"
#include "ui/qt/program.h"

namespace quillon {

void RunMaximumInWindows(Program& program) {
    Messages().Show(&program.Maxima(), "The maximum study is not available yet.");
}

} // namespace quillon
