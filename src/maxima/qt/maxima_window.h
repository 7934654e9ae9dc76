// frmSetMaxima: the specification window of the maximum study.
#pragma once

#include "desktop/qt/spec_window_base.h"
#include "desktop/settings.h"
#include "maxima/search_events.h"

#include <string>

namespace quillon {

class MaximaWindow : public SpecWindowBase {
    Q_OBJECT
public:
    // Creating the window reads the saved settings ("getmaxima").
    MaximaWindow(const DeskSettings& settings, Navigation& navigation, RunWindows& runWindows);

    MaximaSettings Fields() const;
    void SetFields(const MaximaSettings& fields);
    // Fills the fields from example `index` (0-based) as a click on the list does.
    void ChooseExample(int index);
    // "&Start": refuses an MMT below 1; otherwise saves the settings and runs the study.
    void Start();
    // What the next search finds (toggled by "Ch&ange").
    Property MaximumTypeChosen() const { return maximumType_; }
    // The summary file of the last run's policy, which the help text names.
    const std::string& SummaryFileName() const { return summaryFileName_; }

private:
    void DesignFocused(bool comparativeTrial) override;
    void ShowRow1(bool visible);
    void UpdateTypeLabel();

    QLineEdit *txtNumber_, *txtRow1_, *txtTest_, *txtMEN_, *txtMMT_, *txtParameter_, *txtAccuracy_;
    QLabel* label6_ = nullptr;
    Property maximumType_ = Property::ActualTypeIError;
    std::string summaryFileName_ = "MaximaSummary.txt";
};

} // namespace quillon
