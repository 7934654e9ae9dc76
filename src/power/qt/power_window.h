// frmSetPowerVals: the specification window of the power and sample-size study.
#pragma once

#include "desktop/qt/spec_window_base.h"
#include "desktop/settings.h"

namespace quillon {

class PowerWindow : public SpecWindowBase {
    Q_OBJECT
public:
    // Creating the window reads the saved settings ("Power.ini").
    PowerWindow(const DeskSettings& settings, Navigation& navigation, RunWindows& runWindows);

    PowerSettings Fields() const;
    void SetFields(const PowerSettings& fields);
    // Fills the fields from example `index` (0-based) as a click on the list does.
    void ChooseExample(int index);
    // "&Start": saves the settings, then runs the study.
    void Start();

private:
    void DesignFocused(bool comparativeTrial) override;
    void SetRowToolTip(bool comparativeTrial);

    QLineEdit *txtNumber_, *txtRow_, *txtP1_, *txtP2_, *txtTest_, *txtMEN_, *txtMMT_, *txtAlpha_,
        *txtTarget_;
};

} // namespace quillon
