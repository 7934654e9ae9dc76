// frm3Welcome: the start window, the menu from which the three studies are reached.
#pragma once

#include <QWidget>

#include <memory>

class QLabel;
class QPushButton;

namespace quillon {

class Program;
class SummaryDataWindow;

class WelcomeWindow : public QWidget {
    Q_OBJECT
public:
    explicit WelcomeWindow(Program& program);
    ~WelcomeWindow() override;

    // The summary-data window that "Summary &data" shows, created at first use.
    SummaryDataWindow& SummaryData();

    // One screen pixel in the window's own unit, measured on the real window system: the
    // e&Xit button is given a width of 120 pixels and its width read back.
    double MeasurePixelSize();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    Program& program_;
    QPushButton* cmdExit_ = nullptr;
    std::unique_ptr<SummaryDataWindow> summaryData_;
};

} // namespace quillon
