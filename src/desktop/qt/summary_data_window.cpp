#include "desktop/qt/summary_data_window.h"

#include "core/files.h"
#include "core/numtext.h"
#include "core/record_dedupe.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/window_keys.h"
#include "study/study_registry.h"

#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSortFilterProxyModel>
#include <QStandardItemModel>
#include <QTableView>
#include <QVBoxLayout>

#include <cctype>

namespace quillon {

namespace {

// A field that is a number sorts by its value, any other by its text.
bool IsNumber(const std::string& field) {
    bool digit = false;
    for (char ch : field) {
        if (std::isdigit(static_cast<unsigned char>(ch)))
            digit = true;
        else if (ch != ' ' && ch != '.' && ch != '-' && ch != '+' && ch != 'E' && ch != 'e')
            return false;
    }
    return digit;
}

} // namespace

SummaryDataWindow::SummaryDataWindow(std::filesystem::path dataDirectory)
    : dataDirectory_(std::move(dataDirectory)) {
    setObjectName(QStringLiteral("frmSummaryData"));
    setWindowTitle(QStringLiteral("Summary data"));

    auto* layout = new QVBoxLayout(this);
    auto* top = new QHBoxLayout;
    auto* fileLabel = new QLabel(QStringLiteral("&Summary file:"), this);
    files_ = new QComboBox(this);
    files_->setObjectName(QStringLiteral("cboFile"));
    fileLabel->setBuddy(files_);
    auto* filterLabel = new QLabel(QStringLiteral("&Filter:"), this);
    filter_ = new QLineEdit(this);
    filter_->setObjectName(QStringLiteral("txtFilter"));
    filter_->setPlaceholderText(QStringLiteral("records containing this text"));
    filter_->setClearButtonEnabled(true);
    filterLabel->setBuddy(filter_);
    top->addWidget(fileLabel);
    top->addWidget(files_, 1);
    top->addSpacing(12);
    top->addWidget(filterLabel);
    top->addWidget(filter_, 2);
    layout->addLayout(top);

    model_ = new QStandardItemModel(this);
    proxy_ = new QSortFilterProxyModel(this);
    proxy_->setSourceModel(model_);
    proxy_->setFilterKeyColumn(-1);
    proxy_->setFilterCaseSensitivity(Qt::CaseInsensitive);
    proxy_->setSortRole(Qt::UserRole);
    table_ = new QTableView(this);
    table_->setObjectName(QStringLiteral("tblRecords"));
    table_->setModel(proxy_);
    table_->setSortingEnabled(true);
    table_->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table_->setSelectionBehavior(QAbstractItemView::SelectRows);
    table_->verticalHeader()->hide();
    table_->horizontalHeader()->setSectionResizeMode(QHeaderView::Interactive);
    layout->addWidget(table_, 1);

    auto* bottom = new QHBoxLayout;
    count_ = new QLabel(this);
    count_->setObjectName(QStringLiteral("labCount"));
    auto* cmdDedupe = new QPushButton(QStringLiteral("&Remove duplicates"), this);
    cmdDedupe->setObjectName(QStringLiteral("cmdRemoveDuplicates"));
    cmdDedupe->setToolTip(QStringLiteral("Removes records identical to an earlier record; the "
                                         "original file is kept with .bak added to its name"));
    auto* cmdExit = new QPushButton(QStringLiteral("&Close"), this);
    cmdExit->setObjectName(QStringLiteral("cmdExit"));
    bottom->addWidget(count_, 1);
    bottom->addWidget(cmdDedupe);
    bottom->addWidget(cmdExit);
    layout->addLayout(bottom);

    connect(files_, &QComboBox::currentIndexChanged, this, [this] { ShowFile(); });
    connect(filter_, &QLineEdit::textChanged, this, [this](const QString& text) {
        proxy_->setFilterFixedString(text);
        UpdateCount();
    });
    connect(cmdDedupe, &QPushButton::clicked, this, &SummaryDataWindow::RemoveDuplicates);
    connect(cmdExit, &QPushButton::clicked, this, &QWidget::hide);
    CloseOnEscape(*this, *cmdExit);
    resize(1000, 600);
}

std::vector<std::string> SummaryDataWindow::FileNames() const {
    std::vector<std::string> names;
    for (int i = 0; i < files_->count(); ++i)
        names.push_back(files_->itemText(i).toStdString());
    return names;
}

bool SummaryDataWindow::ChooseFile(const std::string& name) {
    const int index = files_->findText(QString::fromStdString(name));
    if (index < 0)
        return false;
    files_->setCurrentIndex(index);
    ShowFile();
    return true;
}

void SummaryDataWindow::Reload() {
    const QString chosen = files_->currentText();
    files_->blockSignals(true);
    files_->clear();
    for (const std::string& name : AllSummaryFiles()) {
        std::error_code ec;
        if (std::filesystem::is_regular_file(dataDirectory_ / name, ec))
            files_->addItem(QString::fromStdString(name));
    }
    const int index = files_->findText(chosen);
    files_->setCurrentIndex(index >= 0 ? index : 0);
    files_->blockSignals(false);
    ShowFile();
}

std::filesystem::path SummaryDataWindow::ChosenFile() const {
    if (files_->currentIndex() < 0)
        return {};
    return dataDirectory_ / files_->currentText().toStdString();
}

void SummaryDataWindow::ShowFile() {
    model_->clear();
    const std::filesystem::path file = ChosenFile();
    const std::optional<std::string> text = file.empty() ? std::nullopt : ReadTextFile(file);
    if (!text) {
        count_->setText(file.empty() ? QStringLiteral("No summary file in the data folder yet")
                                     : QStringLiteral("The file cannot be read"));
        return;
    }
    const std::vector<std::string> lines = SplitLines(*text);
    QStringList headers{QStringLiteral("Line")};
    if (!lines.empty())
        for (const std::string& field : SplitTabs(lines.front()))
            headers << QString::fromStdString(field);
    for (std::size_t i = 1; i < lines.size(); ++i) {
        if (lines[i].find_first_not_of(" \t") == std::string::npos || lines[i] == lines.front())
            continue;
        QList<QStandardItem*> row;
        auto* number = new QStandardItem(QString::number(i + 1));
        number->setData(static_cast<double>(i + 1), Qt::UserRole);
        row << number;
        for (const std::string& field : SplitTabs(lines[i])) {
            auto* item = new QStandardItem(QString::fromStdString(field));
            if (IsNumber(field))
                item->setData(NumericReading(field), Qt::UserRole);
            else
                item->setData(QString::fromStdString(field), Qt::UserRole);
            row << item;
        }
        while (headers.size() < row.size())
            headers << QString();
        model_->appendRow(row);
    }
    model_->setHorizontalHeaderLabels(headers);
    table_->sortByColumn(0, Qt::AscendingOrder);
    table_->resizeColumnsToContents();
    UpdateCount();
}

void SummaryDataWindow::UpdateCount() {
    count_->setText(
        QStringLiteral("%1 records, %2 shown").arg(model_->rowCount()).arg(proxy_->rowCount()));
}

void SummaryDataWindow::RemoveDuplicates() {
    const std::filesystem::path file = ChosenFile();
    if (file.empty())
        return;
    DedupeOutcome outcome;
    if (auto error = RemoveDuplicateRecordsFromFile(file, outcome)) {
        Messages().Show(this, *error);
        return;
    }
    ShowFile();
    Messages().Show(this, DedupeReport(file, outcome));
}

} // namespace quillon
