// What the two chart windows share: a surface that replays the chart's display list, the
// controls placed on it at the chart's layout, and the window's picture for printing,
// saving and copying.
//
// The chart is laid out for the window's size when it is drawn and kept as it is; when
// the user resizes the window, the drawing and its controls are scaled together to the
// new size, and the next chart is laid out for that size.
#pragma once

#include "core/drawing.h"
#include "desktop/qt/desk_services.h"

#include <QImage>
#include <QWidget>

#include <map>
#include <string>
#include <vector>

class QLabel;
class QMenuBar;
class QPushButton;

namespace quillon {

class ChartSurface : public QWidget {
    Q_OBJECT
public:
    explicit ChartSurface(QWidget* parent);
    void SetDrawing(Drawing drawing);
    // Adds operations to the end of the current drawing (a chart that grows as a search
    // runs); only the new ones are painted.
    void AppendOps(std::vector<DrawOp> ops);
    const Drawing& CurrentDrawing() const { return drawing_; }
    // Scale from drawing units to the surface (1 when the window keeps its size).
    double Scale() const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void Render();
    Drawing drawing_;
    QImage image_; // the drawing at its own size, kept so a growing chart paints cheaply
};

class ChartWindowBase : public QWidget {
    Q_OBJECT
public:
    ChartWindowBase(const DeskSettings& settings, Navigation& navigation, RunHost& runs);

    // The drawing area's width and height, in window units (the chart's W and H): the
    // window below its menu bar.
    double DrawingWidth() const;
    double DrawingHeight() const;

    // Shows the window at the given outer geometry fractions of the screen's available area
    // (1, 1 at 0, 0 for maximised).
    void ShowSized(double left, double top, double width, double height, bool maximised);
    // The window's outer geometry now, in fractions of the screen's available area.
    Box PlaceOnScreen() const;

    // The window's picture as printed or saved: the chart and its visible text boxes.
    Drawing Picture() const;
    // Saves the picture; the format follows the extension (.png, .svg, .pdf). An error
    // message when it cannot be written.
    std::optional<std::string> SaveImage(const std::string& path) const;
    // Prints the window's picture without its buttons on the default printer; when there is
    // no printer, offers to save it as PDF or PNG instead.
    void PrintChart();
    // Asks for a file and saves the picture there (the context menu's "Save image as...").
    void SaveImageAs();
    // The picture on the clipboard.
    void CopyImage();

    ChartSurface& Surface() { return *surface_; }

    // "&Stop" is shown while a run goes on: the run ends at its next safe point, with its
    // files as after the last combination completed, and the user goes back to the
    // specification window ("&Abandon" ends the program instead).
    void SetRunGoingOn(bool running);

protected:
    // Places a control at a box of the current layout (in drawing units).
    void Place(QWidget* control, const Box& box);
    QLabel* MakeTextBox(const QString& name);
    // The text of a text box, wrapped at blanks to the box's width as the picture wraps it.
    void SetBoxText(QLabel* box, const std::string& text);
    std::string BoxText(const QLabel* box) const;
    QPushButton* MakeButton(const QString& name, const QString& caption);
    // The "&Stop" button, made last of the buttons.
    QPushButton* MakeStopButton();
    // Closing the window by its frame while a run goes on: asks whether to stop the run,
    // and stops it on Yes.
    void AskToStop();
    QPushButton* cmdStop_ = nullptr;
    void SetTextBoxFont(double pointSize);
    // The buttons hidden while printing.
    std::vector<QPushButton*> buttons_;
    std::vector<QLabel*> textBoxes_;
    const DeskSettings& settings_;
    Navigation& navigation_;
    RunHost& runs_;

    void resizeEvent(QResizeEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    void PlaceAll();
    double MenuHeight() const;
    QImage PictureImage(double deviceScale) const;

    ChartSurface* surface_ = nullptr;
    QMenuBar* menuBar_ = nullptr;
    std::vector<std::pair<QWidget*, Box>> placed_;
    std::map<const QLabel*, std::string> boxTexts_;
    double fontSize_ = 8;
};

} // namespace quillon
