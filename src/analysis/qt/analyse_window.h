// frmAnalyse: one 2 x 2 table typed in, analysed in full or by the recommended test; the
// analyses accumulate in the output box and can be copied.
#pragma once

#include "desktop/qt/desk_services.h"

#include <QWidget>

#include <optional>
#include <string>

class QLineEdit;
class QPlainTextEdit;

namespace quillon {

class AnalyseWindow : public QWidget {
    Q_OBJECT
public:
    AnalyseWindow(const DeskSettings& settings, Navigation& navigation);

    // The accumulated output, with its CR LF line ends.
    const std::string& OutputText() const { return output_; }

    void FullAnalysis();
    void RecommendedAnalysis();
    // The odds ratio, risk ratio and risk difference of the typed table, appended like an
    // analysis.
    void EffectSizes();
    // The exact unconditional tests of the typed table (tests 8 and 9), appended likewise.
    void UnconditionalTests();
    // Clears the clipboard, then puts the selected output on it, or all of it when
    // nothing is selected.
    void CopyOutput();
    // Writes the output (CR LF line ends) to `path`, replacing it in one step; an error
    // message when it cannot.
    std::optional<std::string> SaveOutput(const std::string& path) const;
    // Asks for a file and saves the output there ("Save output...").
    void SaveOutputAs();
    // Empties the output after the user confirms ("Clear output").
    void ClearOutput();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    enum class Kind { Full, Recommended, EffectSizes, UnconditionalTests };
    void Analyse(Kind kind);
    double Reading(const QLineEdit* box) const;
    void SetTotal(QLineEdit* box, double value);

    const DeskSettings& settings_;
    Navigation& navigation_;
    QLineEdit *txtA_, *txtB_, *txtC_, *txtD_;
    QLineEdit *txtM_, *txtN_, *txtR_, *txtS_, *txtTotal_;
    QPlainTextEdit* txtOutput_;
    std::string output_;
};

} // namespace quillon
