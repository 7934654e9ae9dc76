// What the two specification windows share: labelled text fields whose interpretation is
// shown as they are edited or focused, the research design options, the Pause box, the
// list of published examples with its note, the key for tests and the three buttons.
#pragma once

#include "desktop/qt/desk_services.h"

#include <QWidget>

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

class QCheckBox;
class QGridLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPlainTextEdit;
class QProgressBar;
class QPushButton;
class QRadioButton;

namespace quillon {

class SpecWindowBase : public QWidget {
    Q_OBJECT
public:
    SpecWindowBase(const DeskSettings& settings, Navigation& navigation, RunWindows& runWindows);

    // The key for tests, built at start-up.
    void SetKeyForTests(const std::string& key);
    QString Interpretation() const;
    // While a run goes on, Start, Close and the examples are unavailable.
    void SetRunning(bool running);
    // Progress of a long computation while the chart window is not yet on screen; a
    // fraction of 1 or more hides the bar.
    void ShowProgress(const std::string& stage, double fraction);

protected:
    enum class FieldKind {
        List,   // expanded by the specification language
        Single, // one number: its numeric reading as a general number text
        Verbatim,
    };
    // Gives every field and option of the window its What's This text (and a tool tip where
    // it has none), and makes Help open at the window's own section.
    void ApplyFieldHelp(HelpTopic topic);
    // Adds a labelled field in the next row of the fields column.
    QLineEdit* AddField(const QString& name, const QString& labelName, const QString& label,
                        FieldKind kind, const QString& toolTip);
    void ShowInterpretation(const QLineEdit* field);
    // Fills the examples list (each reference whole in its tool tip, as the list cuts long
    // ones) and calls `choose` with the row of the example clicked.
    template <typename Examples>
    void SetExamples(const Examples& examples, std::function<void(int)> choose) {
        std::vector<std::string_view> texts;
        for (const auto& example : examples)
            texts.push_back(example.listText);
        SetExampleTexts(texts, std::move(choose));
    }
    void SetExampleTexts(const std::vector<std::string_view>& texts,
                         std::function<void(int)> choose);

    bool eventFilter(QObject* watched, QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

    // Called when an option button receives the focus.
    virtual void DesignFocused(bool comparativeTrial) = 0;

    const DeskSettings& settings_;
    Navigation& navigation_;
    RunWindows& runWindows_;
    QGridLayout* fieldGrid_ = nullptr;
    int fieldRow_ = 0;
    QPlainTextEdit* txtInterpretation_ = nullptr;
    QLabel* interpretationLabel_ = nullptr;
    QRadioButton* opt1_ = nullptr;
    QRadioButton* opt2_ = nullptr;
    QCheckBox* chkPause_ = nullptr;
    QLabel* pauseLabel_ = nullptr;
    QLabel* modeLabel_ = nullptr;
    QPushButton* cmdToggle_ = nullptr;
    QListWidget* lstExamples_ = nullptr;
    QLabel* examplesLabel_ = nullptr;
    QLabel* noteLabel_ = nullptr;
    QLabel* keyLabel_ = nullptr;
    QLabel* promptLabel_ = nullptr;
    QPushButton* cmdStart_ = nullptr;
    QPushButton* cmdHelp_ = nullptr;
    QPushButton* cmdExit_ = nullptr;
    QProgressBar* progress_ = nullptr;

    // Builds the common controls; the subclass names the labels that differ.
    void BuildCommon(const QString& interpretationLabelName, const QString& interpretationCaption,
                     const QString& pauseLabelName, const QString& modeLabelName,
                     const QString& toggleName, const QString& examplesLabelName,
                     const QString& noteLabelName, const QString& keyLabelName,
                     const QString& promptLabelName);

private:
    std::map<const QObject*, FieldKind> kinds_;
    HelpTopic helpTopic_ = HelpTopic::General;
};

} // namespace quillon
