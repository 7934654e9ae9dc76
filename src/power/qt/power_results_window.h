// frmPowerResults: the results of the latest power run as a table (each test's power and
// size at each combination) and, when N varied, its sample sizes; copied or saved as text.
#pragma once

#include "power/results_table.h"

#include <QWidget>

#include <filesystem>
#include <optional>
#include <string>

class QLabel;
class QTableWidget;

namespace quillon {

class PowerResultsWindow : public QWidget {
    Q_OBJECT
public:
    explicit PowerResultsWindow(std::filesystem::path dataDirectory);

    void SetTable(const PowerResultsTable& table);
    const PowerResultsTable& Table() const { return table_; }

    // "&Copy": the cells highlighted in a table, or both tables, as tab-separated text.
    void Copy();
    // Saves both tables as text; an error message when the file cannot be written.
    std::optional<std::string> Save(const std::string& path) const;
    // "&Save as...": asks for a file and saves there.
    void SaveAs();

private:
    std::filesystem::path dataDirectory_;
    PowerResultsTable table_;
    QTableWidget* results_ = nullptr;
    QLabel* sizesLabel_ = nullptr;
    QTableWidget* sizes_ = nullptr;
};

} // namespace quillon
