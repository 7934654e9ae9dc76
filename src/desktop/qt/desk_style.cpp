#include "desktop/qt/desk_style.h"

#include <QApplication>
#include <QPainter>
#include <QStyleOptionSlider>

namespace quillon {

void DeskStyle::drawComplexControl(ComplexControl control, const QStyleOptionComplex* option,
                                   QPainter* painter, const QWidget* widget) const {
    const auto* bar = qstyleoption_cast<const QStyleOptionSlider*>(option);
    if (control != CC_ScrollBar || bar == nullptr) {
        QProxyStyle::drawComplexControl(control, option, painter, widget);
        return;
    }
    // The groove light, the arrows as the style draws them, the slider on top in a shade
    // darker than anything around it.
    const QPalette& palette = bar->palette;
    painter->save();
    painter->fillRect(bar->rect, palette.color(QPalette::Window).lighter(104));
    QStyleOptionSlider arrows = *bar;
    arrows.subControls = bar->subControls & (SC_ScrollBarAddLine | SC_ScrollBarSubLine);
    if (arrows.subControls != SC_None)
        QProxyStyle::drawComplexControl(control, &arrows, painter, widget);
    if ((bar->subControls & SC_ScrollBarSlider) && bar->maximum > bar->minimum) {
        const QRect slider =
            subControlRect(CC_ScrollBar, bar, SC_ScrollBarSlider, widget).adjusted(1, 1, -1, -1);
        QColor fill = palette.color(QPalette::Mid);
        if (bar->activeSubControls & SC_ScrollBarSlider)
            fill = fill.darker(bar->state & State_Sunken ? 125 : 110);
        painter->setRenderHint(QPainter::Antialiasing, true);
        painter->setPen(palette.color(QPalette::Dark));
        painter->setBrush(fill);
        painter->drawRoundedRect(QRectF(slider).adjusted(0.5, 0.5, -0.5, -0.5), 2, 2);
    }
    painter->restore();
}

void InstallDeskStyle() {
    if (qobject_cast<DeskStyle*>(QApplication::style()) == nullptr)
        QApplication::setStyle(new DeskStyle(QApplication::style()->name()));
}

} // namespace quillon
