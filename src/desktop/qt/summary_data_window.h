// frmSummaryData: the records of the accumulated summary files of the data folder in a
// sortable table, filtered by a typed text, with the command that removes exact duplicate
// records (as quillon-cli summary --dedupe does).
#pragma once

#include <QWidget>

#include <filesystem>
#include <string>
#include <vector>

class QComboBox;
class QLabel;
class QLineEdit;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;

namespace quillon {

class SummaryDataWindow : public QWidget {
    Q_OBJECT
public:
    explicit SummaryDataWindow(std::filesystem::path dataDirectory);

    // Looks for the summary files again and shows the chosen one afresh.
    void Reload();
    // The summary files found, by name, in the order listed.
    std::vector<std::string> FileNames() const;
    // Shows the file of that name (one of FileNames()); false when it is not listed.
    bool ChooseFile(const std::string& name);
    void RemoveDuplicates();

    QTableView& Table() { return *table_; }

private:
    void ShowFile();
    void UpdateCount();
    std::filesystem::path ChosenFile() const;

    std::filesystem::path dataDirectory_;
    QComboBox* files_;
    QLineEdit* filter_;
    QTableView* table_;
    QLabel* count_;
    QStandardItemModel* model_;
    QSortFilterProxyModel* proxy_;
};

} // namespace quillon
