// The program's look where the window system's own style misleads.
//
// Without a desktop theme, Qt draws scroll bars in its Fusion style, whose slider is
// lighter than the groove it runs in: when most of a text is in view the slider is long and
// pale and the rest of the groove short and shaded, so a reader takes the shaded part for
// the slider and reads the scroll bar the wrong way round (the "handle" at the bottom while
// the first line shows, moving up as the text moves down). The program's style keeps
// everything else of the style it wraps and draws the slider as the darker part.
#pragma once

#include <QProxyStyle>

namespace quillon {

class DeskStyle : public QProxyStyle {
    Q_OBJECT
public:
    using QProxyStyle::QProxyStyle;

    void drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                            QPainter* painter, const QWidget* widget = nullptr) const override;
};

// Puts the program's style on the application, over the style in use (once).
void InstallDeskStyle();

} // namespace quillon
