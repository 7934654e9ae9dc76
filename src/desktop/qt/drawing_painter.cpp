#include "desktop/qt/drawing_painter.h"

#include <QCoreApplication>
#include <QFontMetricsF>
#include <QPainter>
#include <QThread>

#include <type_traits>

namespace quillon {

namespace {

QColor ToQColor(const Colour& c) {
    return QColor(c.red, c.green, c.blue);
}

template <typename F> auto OnGuiThread(F f) -> decltype(f()) {
    QCoreApplication* app = QCoreApplication::instance();
    if (app == nullptr || QThread::currentThread() == app->thread()) {
        return f();
    }
    decltype(f()) result{};
    QMetaObject::invokeMethod(
        app, [&] { result = f(); }, Qt::BlockingQueuedConnection);
    return result;
}

// Rectangle of two corners in any order, as Qt wants it.
QRectF Corners(double x1, double y1, double x2, double y2) {
    return QRectF(QPointF(x1, y1), QPointF(x2, y2)).normalized();
}

} // namespace

QFont ChartFont(double pointSize, bool bold) {
    QFont font(QStringLiteral("Sans Serif"));
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(pointSize > 0.5 ? pointSize : 0.5);
    font.setBold(bold);
    return font;
}

double QtTextMetrics::TextWidth(const std::string& text, double fontSize, bool bold) const {
    return OnGuiThread([&] {
        return QFontMetricsF(ChartFont(fontSize, bold))
            .horizontalAdvance(QString::fromStdString(text));
    });
}

double QtTextMetrics::TextHeight(double fontSize, bool bold) const {
    return OnGuiThread([&] { return QFontMetricsF(ChartFont(fontSize, bold)).height(); });
}

namespace {

// Lines along the axes and rectangles are drawn without antialiasing: an antialiased line
// of one unit spreads over two rows of pixels at part strength, and a white rectangle drawn
// later over the same edge (a search graph clearing its region for the next pass) would
// leave a faint trace of it on screen that a vector picture does not show. Drawn crisp,
// the same edge always covers the same pixels, so what is drawn over is gone.
class Crisp {
public:
    Crisp(QPainter& painter, bool crisp) : painter_(painter), crisp_(crisp) {
        if (crisp_)
            painter_.setRenderHint(QPainter::Antialiasing, false);
    }
    ~Crisp() {
        if (crisp_)
            painter_.setRenderHint(QPainter::Antialiasing, true);
    }
    Crisp(const Crisp&) = delete;
    Crisp& operator=(const Crisp&) = delete;

private:
    QPainter& painter_;
    bool crisp_;
};

} // namespace

void PaintDrawing(QPainter& painter, const Drawing& drawing) {
    painter.save();
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setRenderHint(QPainter::TextAntialiasing, true);
    for (const DrawOp& op : drawing.ops) {
        std::visit(
            [&](const auto& o) {
                using T = std::decay_t<decltype(o)>;
                if constexpr (std::is_same_v<T, ClearOp>) {
                    painter.fillRect(QRectF(0, 0, drawing.width, drawing.height),
                                     ToQColor(o.background));
                } else if constexpr (std::is_same_v<T, LineOp>) {
                    const Crisp crisp(painter, o.x1 == o.x2 || o.y1 == o.y2);
                    painter.setPen(QPen(ToQColor(o.colour), 1));
                    painter.drawLine(QPointF(o.x1, o.y1), QPointF(o.x2, o.y2));
                } else if constexpr (std::is_same_v<T, RectOp>) {
                    const Crisp crisp(painter, true);
                    painter.setPen(QPen(ToQColor(o.colour), 1));
                    painter.setBrush(Qt::NoBrush);
                    painter.drawRect(Corners(o.x1, o.y1, o.x2, o.y2));
                } else if constexpr (std::is_same_v<T, FilledRectOp>) {
                    const Crisp crisp(painter, true);
                    painter.setPen(QPen(ToQColor(o.outline), 1));
                    painter.setBrush(ToQColor(o.fill));
                    painter.drawRect(Corners(o.x1, o.y1, o.x2, o.y2));
                    painter.setBrush(Qt::NoBrush);
                } else if constexpr (std::is_same_v<T, TextOp>) {
                    const QFont font = ChartFont(o.fontSize, o.bold);
                    painter.setFont(font);
                    painter.setPen(ToQColor(o.colour));
                    const QFontMetricsF metrics(font, painter.device());
                    painter.drawText(QPointF(o.x, o.y + metrics.ascent()),
                                     QString::fromStdString(o.text));
                }
            },
            op);
    }
    painter.restore();
}

} // namespace quillon
