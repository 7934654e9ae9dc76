#include "desktop/qt/chart_window_base.h"

#include "core/svg.h"
#include "desktop/qt/drawing_painter.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/run_host.h"

#include <QApplication>
#include <QClipboard>
#include <QContextMenuEvent>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QImage>
#include <QKeySequence>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QPrinterInfo>
#include <QPushButton>
#include <QScreen>

#include <algorithm>
#include <fstream>

namespace quillon {

namespace {

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char ch) { return static_cast<char>(std::tolower(ch)); });
    return text;
}

bool EndsWith(const std::string& text, const std::string& end) {
    return text.size() >= end.size() &&
           text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// The screen's logical dots per inch, which the text measurements use.
double LogicalDpi() {
    const QScreen* screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->logicalDotsPerInch() : 96.0;
}

} // namespace

ChartSurface::ChartSurface(QWidget* parent) : QWidget(parent) {
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void ChartSurface::SetDrawing(Drawing drawing) {
    drawing_ = std::move(drawing);
    Render();
    update();
}

void ChartSurface::AppendOps(std::vector<DrawOp> ops) {
    if (ops.empty()) {
        return;
    }
    Drawing added;
    added.width = drawing_.width;
    added.height = drawing_.height;
    added.ops = std::move(ops);
    if (!image_.isNull()) {
        QPainter painter(&image_);
        PaintDrawing(painter, added);
    }
    drawing_.ops.insert(drawing_.ops.end(), std::make_move_iterator(added.ops.begin()),
                        std::make_move_iterator(added.ops.end()));
    update();
}

void ChartSurface::Render() {
    const double ratio = devicePixelRatioF();
    if (drawing_.width <= 0 || drawing_.height <= 0) {
        image_ = QImage();
        return;
    }
    image_ = QImage(static_cast<int>(drawing_.width * ratio),
                    static_cast<int>(drawing_.height * ratio), QImage::Format_RGB32);
    image_.setDevicePixelRatio(ratio);
    image_.fill(Qt::white);
    QPainter painter(&image_);
    PaintDrawing(painter, drawing_);
}

double ChartSurface::Scale() const {
    if (drawing_.width <= 0 || drawing_.height <= 0) {
        return 1;
    }
    return std::min(width() / drawing_.width, height() / drawing_.height);
}

void ChartSurface::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    painter.fillRect(rect(), Qt::white);
    if (drawing_.ops.empty()) {
        return;
    }
    const double scale = Scale();
    if (scale == 1 && !image_.isNull()) {
        painter.drawImage(QPointF(0, 0), image_);
        return;
    }
    painter.scale(scale, scale);
    PaintDrawing(painter, drawing_);
}

ChartWindowBase::ChartWindowBase(const DeskSettings& settings, Navigation& navigation,
                                 RunHost& runs)
    : settings_(settings), navigation_(navigation), runs_(runs) {
    surface_ = new ChartSurface(this);
    surface_->lower();
    // The commands of the context menu, also in a menu bar where a user finds them; the
    // chart is laid out in the area below it.
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(QStringLiteral("&File"));
    file->addAction(QStringLiteral("&Save image as..."), QKeySequence::Save, this,
                    &ChartWindowBase::SaveImageAs);
    file->addAction(QStringLiteral("&Copy image"), QKeySequence::Copy, this,
                    &ChartWindowBase::CopyImage);
    file->addAction(QStringLiteral("&Print chart"), QKeySequence::Print, this,
                    &ChartWindowBase::PrintChart);
    setMinimumSize(320, 240);
}

double ChartWindowBase::MenuHeight() const {
    return menuBar_->sizeHint().height();
}

double ChartWindowBase::DrawingWidth() const {
    return width();
}
double ChartWindowBase::DrawingHeight() const {
    return std::max(1.0, height() - MenuHeight());
}

void ChartWindowBase::ShowSized(double left, double top, double width, double height,
                                bool maximised) {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    if (isMaximized() && !maximised) {
        showNormal();
    }
    // The frame's own size, known once the window has been shown; it is left out of the
    // client area so the whole window fits the given share of the screen.
    const QSize frameExtra = frameGeometry().size() - geometry().size();
    const int w = std::max(320, static_cast<int>(width * area.width()) - frameExtra.width());
    const int h = std::max(240, static_cast<int>(height * area.height()) - frameExtra.height());
    resize(w, h);
    move(area.left() + static_cast<int>(left * area.width()),
         area.top() + static_cast<int>(top * area.height()));
    if (maximised) {
        showMaximized();
    } else {
        show();
    }
    raise();
}

Box ChartWindowBase::PlaceOnScreen() const {
    const QScreen* screen =
        this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    const QRect area = screen != nullptr ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    const QRect frame = frameGeometry();
    const double W = std::max(1, area.width()), H = std::max(1, area.height());
    return {(frame.left() - area.left()) / W, (frame.top() - area.top()) / H, frame.width() / W,
            frame.height() / H};
}

void ChartWindowBase::Place(QWidget* control, const Box& box) {
    for (auto& [widget, placedBox] : placed_) {
        if (widget == control) {
            placedBox = box;
            PlaceAll();
            return;
        }
    }
    placed_.emplace_back(control, box);
    PlaceAll();
}

void ChartWindowBase::PlaceAll() {
    const int menu = static_cast<int>(MenuHeight());
    menuBar_->setGeometry(0, 0, width(), menu);
    surface_->setGeometry(0, menu, width(), std::max(1, height() - menu));
    const double scale = surface_->CurrentDrawing().ops.empty() ? 1 : surface_->Scale();
    for (const auto& [control, box] : placed_) {
        control->setGeometry(static_cast<int>(box.left * scale),
                             menu + static_cast<int>(box.top * scale),
                             std::max(1, static_cast<int>(box.width * scale)),
                             std::max(1, static_cast<int>(box.height * scale)));
    }
    const double fontSize = std::max(1.0, fontSize_ * scale);
    const QtTextMetrics metrics;
    for (QLabel* box : textBoxes_) {
        box->setFont(ChartFont(fontSize));
        const auto text = boxTexts_.find(box);
        if (text == boxTexts_.end()) {
            continue;
        }
        const double margin = 0.25 * metrics.TextHeight(fontSize, false);
        std::string wrapped;
        const std::vector<std::string> lines =
            WrapText(text->second, box->width() - 2 * margin - 2, fontSize, false, metrics);
        for (std::size_t i = 0; i < lines.size(); ++i) {
            wrapped += (i == 0 ? "" : "\n") + lines[i];
        }
        box->setText(QString::fromStdString(wrapped));
    }
    // A button keeps its place and size; the captions' font shrinks (the same for all
    // buttons) when the window is too small for them, so no caption is cut.
    QFont font = QApplication::font("QPushButton");
    double size = font.pointSizeF();
    for (; size > 4; size -= 0.5) {
        font.setPointSizeF(size);
        const QFontMetricsF fm(font);
        bool fits = true;
        for (const QPushButton* button : buttons_) {
            const QString caption = button->text().remove(QLatin1Char('&'));
            fits = fits && fm.horizontalAdvance(caption) + 8 <= button->width() &&
                   fm.height() + 2 <= button->height();
        }
        if (fits) {
            break;
        }
    }
    for (QPushButton* button : buttons_) {
        button->setFont(font);
    }
}

void ChartWindowBase::SetBoxText(QLabel* box, const std::string& text) {
    if (const auto known = boxTexts_.find(box); known != boxTexts_.end() && known->second == text) {
        return;
    }
    boxTexts_[box] = text;
    box->setText(QString::fromStdString(text));
    PlaceAll();
}

std::string ChartWindowBase::BoxText(const QLabel* box) const {
    const auto text = boxTexts_.find(box);
    return text == boxTexts_.end() ? std::string() : text->second;
}

void ChartWindowBase::SetTextBoxFont(double pointSize) {
    fontSize_ = pointSize;
    PlaceAll();
}

QLabel* ChartWindowBase::MakeTextBox(const QString& name) {
    auto* box = new QLabel(this);
    box->setObjectName(name);
    box->setTextFormat(Qt::PlainText);
    box->setWordWrap(false);
    box->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    box->setAutoFillBackground(true);
    box->setFrameShape(QFrame::Box);
    box->setMargin(2);
    QPalette palette = box->palette();
    palette.setColor(QPalette::Window, Qt::white);
    palette.setColor(QPalette::WindowText, Qt::black);
    box->setPalette(palette);
    textBoxes_.push_back(box);
    return box;
}

QPushButton* ChartWindowBase::MakeButton(const QString& name, const QString& caption) {
    auto* button = new QPushButton(caption, this);
    button->setObjectName(name);
    buttons_.push_back(button);
    return button;
}

QPushButton* ChartWindowBase::MakeStopButton() {
    cmdStop_ = MakeButton(QStringLiteral("cmdStop"), QStringLiteral("&Stop"));
    cmdStop_->setToolTip(QStringLiteral("Stop the run and go back to the specifications; the "
                                        "results of the combinations completed are kept"));
    cmdStop_->hide();
    connect(cmdStop_, &QPushButton::clicked, this, [this] {
        cmdStop_->setEnabled(false);
        runs_.RequestStop();
    });
    return cmdStop_;
}

void ChartWindowBase::SetRunGoingOn(bool running) {
    cmdStop_->setVisible(running);
    cmdStop_->setEnabled(running);
}

void ChartWindowBase::AskToStop() {
    if (Messages().AskYesNo(this, "Stop the run?  The results of the combinations completed "
                                  "are kept.")) {
        cmdStop_->setEnabled(false);
        runs_.RequestStop();
    }
}

void ChartWindowBase::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    PlaceAll();
}

Drawing ChartWindowBase::Picture() const {
    Drawing picture = surface_->CurrentDrawing();
    if (picture.ops.empty()) {
        picture.width = DrawingWidth();
        picture.height = DrawingHeight();
        picture.ops.emplace_back(ClearOp{});
    }
    const QtTextMetrics metrics;
    for (const auto& [control, box] : placed_) {
        const auto* label = qobject_cast<const QLabel*>(control);
        if (label == nullptr || !label->isVisibleTo(this)) {
            continue;
        }
        const QColor colour = label->palette().color(QPalette::WindowText);
        AppendTextBox(picture,
                      TextBox{box, BoxText(label), fontSize_,
                              Colour{static_cast<std::uint8_t>(colour.red()),
                                     static_cast<std::uint8_t>(colour.green()),
                                     static_cast<std::uint8_t>(colour.blue())}},
                      metrics);
    }
    return picture;
}

QImage ChartWindowBase::PictureImage(double deviceScale) const {
    const Drawing picture = Picture();
    QImage image(static_cast<int>(picture.width * deviceScale),
                 static_cast<int>(picture.height * deviceScale), QImage::Format_RGB32);
    image.setDevicePixelRatio(deviceScale);
    image.fill(Qt::white);
    QPainter painter(&image);
    PaintDrawing(painter, picture);
    return image;
}

std::optional<std::string> ChartWindowBase::SaveImage(const std::string& path) const {
    const std::string lower = Lower(path);
    const std::string failure = "The chart could not be saved as " + path + ".";
    if (EndsWith(lower, ".svg")) {
        std::ofstream out(path, std::ios::binary | std::ios::trunc);
        out << DrawingToSvg(Picture());
        out.close();
        return out ? std::nullopt : std::optional<std::string>(failure);
    }
    if (EndsWith(lower, ".pdf")) {
        const Drawing picture = Picture();
        QPdfWriter writer(QString::fromStdString(path));
        const double dpi = LogicalDpi();
        writer.setResolution(static_cast<int>(dpi));
        writer.setPageSize(QPageSize(QSizeF(picture.width / dpi * 72, picture.height / dpi * 72),
                                     QPageSize::Point));
        writer.setPageMargins(QMarginsF(0, 0, 0, 0));
        writer.setTitle(windowTitle());
        writer.setCreator(QStringLiteral("Quillon"));
        QPainter painter;
        if (!painter.begin(&writer)) {
            return failure;
        }
        PaintDrawing(painter, picture);
        painter.end();
        return QFileInfo::exists(QString::fromStdString(path))
                   ? std::nullopt
                   : std::optional<std::string>(failure);
    }
    // PNG (also for any other extension, which then gets the PNG format).
    if (!PictureImage(2).save(QString::fromStdString(path), "PNG")) {
        return failure;
    }
    return std::nullopt;
}

void ChartWindowBase::SaveImageAs() {
    const std::string suggested =
        (settings_.dataDirectory /
         (objectName() == QStringLiteral("frmSummaryChart") ? "SummaryChart.png" : "Chart.png"))
            .string();
    const std::string path =
        Messages().AskSaveFileName(this, "Save image as", suggested,
                                   "PNG image (*.png);;SVG drawing (*.svg);;PDF document (*.pdf)");
    if (path.empty()) {
        return;
    }
    if (const auto error = SaveImage(path)) {
        Messages().Show(this, *error);
    }
}

void ChartWindowBase::CopyImage() {
    QApplication::clipboard()->setImage(PictureImage(1));
}

void ChartWindowBase::PrintChart() {
    // The buttons are not part of the printed chart; those shown come back afterwards (a
    // button hidden for the moment, "&Stop" after a run, stays hidden).
    std::vector<QPushButton*> shown;
    for (QPushButton* button : buttons_) {
        if (!button->isHidden())
            shown.push_back(button);
        button->setVisible(false);
    }
    const QImage image = PictureImage(3);
    bool printed = false;
    const QPrinterInfo printerInfo = QPrinterInfo::defaultPrinter().isNull()
                                         ? (QPrinterInfo::availablePrinters().isEmpty()
                                                ? QPrinterInfo()
                                                : QPrinterInfo::availablePrinters().front())
                                         : QPrinterInfo::defaultPrinter();
    if (!printerInfo.isNull()) {
        QPrinter printer(printerInfo, QPrinter::HighResolution);
        printer.setPageOrientation(image.width() > image.height() ? QPageLayout::Landscape
                                                                  : QPageLayout::Portrait);
        printer.setDocName(windowTitle());
        QPainter painter;
        if (painter.begin(&printer)) {
            const QRectF page = printer.pageLayout().paintRectPixels(printer.resolution());
            const QSizeF size = image.size().scaled(page.size().toSize(), Qt::KeepAspectRatio);
            painter.drawImage(QRectF(QPointF(0, 0), size), image);
            printed = painter.end();
        }
    }
    for (QPushButton* button : shown) {
        button->setVisible(true);
    }
    if (printed) {
        return;
    }
    const std::string reason = printerInfo.isNull()
                                   ? "No printer is available on this computer."
                                   : "The chart could not be sent to the printer " +
                                         printerInfo.printerName().toStdString() + ".";
    const std::string suggested =
        (settings_.dataDirectory /
         (objectName() == QStringLiteral("frmSummaryChart") ? "SummaryChart.pdf" : "Chart.pdf"))
            .string();
    const std::string path =
        Messages().AskSaveFileName(this, reason + "  Save the chart as a file instead", suggested,
                                   "PDF document (*.pdf);;PNG image (*.png)");
    if (path.empty()) {
        Messages().Show(this, reason + "  The chart was not printed.");
        return;
    }
    if (const auto error = SaveImage(path)) {
        Messages().Show(this, *error);
        return;
    }
    Messages().Show(this, reason + "  The chart was saved as " + path);
}

void ChartWindowBase::contextMenuEvent(QContextMenuEvent* event) {
    QMenu menu(this);
    menu.addAction(QStringLiteral("Save image as..."), this, &ChartWindowBase::SaveImageAs);
    menu.addAction(QStringLiteral("Copy image"), this, &ChartWindowBase::CopyImage);
    menu.addAction(QStringLiteral("Print chart"), this, &ChartWindowBase::PrintChart);
    menu.exec(event->globalPos());
}

} // namespace quillon
