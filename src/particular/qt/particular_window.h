// frmSetPointVals: the specification window of the particular-proportion study.
#pragma once

#include "desktop/qt/spec_window_base.h"
#include "desktop/settings.h"
#include "study/property.h"

namespace quillon {

class ParticularWindow : public SpecWindowBase {
    Q_OBJECT
public:
    // Creating the window reads the saved settings ("getindividual").
    ParticularWindow(const DeskSettings& settings, Navigation& navigation, RunWindows& runWindows);

    ParticularSettings Fields() const;
    // Writes the fields in the window's own order (each change updates the interpretation).
    void SetFields(const ParticularSettings& fields);
    // Fills the fields from example `index` (0-based) as a click on the list does.
    void ChooseExample(int index);
    // "&Start": saves the settings, then runs the study.
    void Start();
    // What the summary charts of the next run show (toggled by "Ch&ange").
    Property ChartMode() const { return summaryChartMode_; }

private:
    void DesignFocused(bool comparativeTrial) override;
    void UpdateModeLabel();
    void SetRowCaption(bool comparativeTrial);

    QLineEdit *txtNumber_, *txtTest_, *txtPCol_, *txtPRow_, *txtInterval_, *txtMEN_, *txtMMT_,
        *txtParameter_;
    QLabel* label3_ = nullptr;
    Property summaryChartMode_ = Property::ActualTypeIError;
};

} // namespace quillon
