// frmSetPowerVals: the specification window of the power and sample-size study.
#pragma once

#include "desktop/qt/spec_window_base.h"
#include "desktop/settings.h"

#include <memory>

namespace quillon {

class PowerResultsWindow;

class PowerWindow : public SpecWindowBase {
    Q_OBJECT
public:
    // Creating the window reads the saved settings ("Power.ini").
    PowerWindow(const DeskSettings& settings, Navigation& navigation, RunWindows& runWindows);
    ~PowerWindow() override;

    PowerSettings Fields() const;
    void SetFields(const PowerSettings& fields);
    // Fills the fields from example `index` (0-based) as a click on the list does.
    void ChooseExample(int index);
    // "&Start": saves the settings, then runs the study.
    void Start();
    // The results of the latest run, shown at its end.
    PowerResultsWindow& Results();

private:
    void DesignFocused(bool comparativeTrial) override;
    void SetRowToolTip(bool comparativeTrial);

    std::unique_ptr<PowerResultsWindow> results_;
    QLineEdit *txtNumber_, *txtRow_, *txtP1_, *txtP2_, *txtTest_, *txtMEN_, *txtMMT_, *txtAlpha_,
        *txtTarget_;
};

} // namespace quillon
