// PNG and PDF pictures for the command line, painted by the windows' own painter. Painting
// text needs a GUI application object; the command line has none, so the first picture
// creates one on the offscreen platform (no display is needed), which lives until the
// process ends.
#include "cli/painted_picture.h"

#include "desktop/qt/drawing_painter.h"

#include <QBuffer>
#include <QGuiApplication>
#include <QImage>
#include <QMarginsF>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>

#include <cmath>
#include <cstdio>

namespace quillon::cli {

namespace {

constexpr double kPointsPerInch = 72;

void EnsureGuiApplication() {
    if (QCoreApplication::instance() != nullptr)
        return;
    static int argc = 3;
    static char program[] = "quillon-cli";
    static char option[] = "-platform";
    static char platform[] = "offscreen";
    static char* argv[] = {program, option, platform, nullptr};
    // The toolkit's notes about the environment (no runtime directory, no display) are not
    // the command's business; its errors still reach stderr.
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type == QtCriticalMsg || type == QtFatalMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });
    new QGuiApplication(argc, argv); // never deleted: the process ends with it
}

} // namespace

bool PaintedPicturesAvailable() {
    return true;
}

std::optional<std::string> PaintPicture(const Drawing& drawing, PaintedFormat format,
                                        std::string& bytes) {
    if (!(drawing.width >= 1 && drawing.height >= 1 && drawing.width <= 20000 &&
          drawing.height <= 20000))
        return "The chart size must be from 1 to 20000 units each way";
    EnsureGuiApplication();
    QBuffer buffer;
    buffer.open(QIODevice::WriteOnly);
    if (format == PaintedFormat::Png) {
        QImage image(static_cast<int>(std::ceil(drawing.width)),
                     static_cast<int>(std::ceil(drawing.height)), QImage::Format_RGB32);
        image.fill(Qt::white);
        QPainter painter(&image);
        PaintDrawing(painter, drawing);
        painter.end();
        if (!image.save(&buffer, "PNG"))
            return "The chart could not be painted as PNG";
    } else {
        QPdfWriter writer(&buffer);
        writer.setResolution(static_cast<int>(kUnitsPerInch));
        writer.setPageSize(QPageSize(QSizeF(drawing.width / kUnitsPerInch * kPointsPerInch,
                                            drawing.height / kUnitsPerInch * kPointsPerInch),
                                     QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setCreator(QStringLiteral("Quillon"));
        QPainter painter;
        if (!painter.begin(&writer))
            return "The chart could not be painted as PDF";
        PaintDrawing(painter, drawing);
        painter.end();
    }
    bytes.assign(buffer.data().constData(), static_cast<std::size_t>(buffer.data().size()));
    return std::nullopt;
}

} // namespace quillon::cli
