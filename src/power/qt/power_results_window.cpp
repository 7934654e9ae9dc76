#include "power/qt/power_results_window.h"

#include "core/files.h"
#include "desktop/qt/messages.h"
#include "desktop/qt/window_keys.h"

#include <QApplication>
#include <QClipboard>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>

namespace quillon {

namespace {

QTableWidget* MakeTable(const QString& name, QWidget* parent) {
    auto* table = new QTableWidget(parent);
    table->setObjectName(name);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->verticalHeader()->hide();
    table->setWordWrap(false);
    return table;
}

void Fill(QTableWidget& table, const TextTable& text) {
    table.clear();
    table.setColumnCount(static_cast<int>(text.heading.size()));
    table.setRowCount(static_cast<int>(text.rows.size()));
    QStringList heading;
    for (const std::string& h : text.heading)
        heading << QString::fromStdString(h);
    table.setHorizontalHeaderLabels(heading);
    for (std::size_t r = 0; r < text.rows.size(); ++r)
        for (std::size_t c = 0; c < text.rows[r].size(); ++c) {
            auto* item = new QTableWidgetItem(QString::fromStdString(text.rows[r][c]));
            // Numbers line up on the right, the test's name on the left.
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            table.setItem(static_cast<int>(r), static_cast<int>(c), item);
        }
    table.resizeColumnsToContents();
}

// The width the table needs to show every column without scrolling sideways.
int WholeWidth(const QTableWidget& table) {
    int width = 2 * table.frameWidth() + table.verticalScrollBar()->sizeHint().width();
    for (int c = 0; c < table.columnCount(); ++c)
        width += table.columnWidth(c);
    return width;
}

// The highlighted cells of a table, row by row, tab separated; empty when none is.
QString Highlighted(const QTableWidget& table) {
    const QList<QTableWidgetSelectionRange> ranges = table.selectedRanges();
    if (ranges.isEmpty())
        return {};
    QString text;
    for (const QTableWidgetSelectionRange& range : ranges)
        for (int r = range.topRow(); r <= range.bottomRow(); ++r) {
            for (int c = range.leftColumn(); c <= range.rightColumn(); ++c) {
                if (c > range.leftColumn())
                    text += QLatin1Char('\t');
                if (const QTableWidgetItem* item = table.item(r, c))
                    text += item->text();
            }
            text += QStringLiteral("\r\n");
        }
    return text;
}

} // namespace

PowerResultsWindow::PowerResultsWindow(std::filesystem::path dataDirectory)
    : dataDirectory_(std::move(dataDirectory)) {
    setObjectName(QStringLiteral("frmPowerResults"));
    setWindowTitle(QStringLiteral("Power results"));
    auto* layout = new QVBoxLayout(this);
    auto* resultsLabel =
        new QLabel(QStringLiteral("Power and size of each test at each combination"), this);
    layout->addWidget(resultsLabel);
    results_ = MakeTable(QStringLiteral("tblResults"), this);
    layout->addWidget(results_, 3);
    sizesLabel_ = new QLabel(
        QStringLiteral("Sample sizes: 'First N' is the first total number of the list whose "
                       "power reaches the target; 'Stable N' the smallest from which the power "
                       "stays at or above the target for every larger total number of the list."),
        this);
    sizesLabel_->setWordWrap(true);
    layout->addWidget(sizesLabel_);
    sizes_ = MakeTable(QStringLiteral("tblSampleSizes"), this);
    layout->addWidget(sizes_, 2);

    auto* row = new QHBoxLayout;
    auto* copy = new QPushButton(QStringLiteral("&Copy"), this);
    copy->setObjectName(QStringLiteral("cmdCopy"));
    copy->setToolTip(QStringLiteral("Copy the highlighted cells, or both tables, as text"));
    auto* save = new QPushButton(QStringLiteral("&Save as..."), this);
    save->setObjectName(QStringLiteral("cmdSave"));
    auto* close = new QPushButton(QStringLiteral("C&lose"), this);
    close->setObjectName(QStringLiteral("cmdExit"));
    row->addWidget(copy);
    row->addWidget(save);
    row->addStretch(1);
    row->addWidget(close);
    layout->addLayout(row);
    connect(copy, &QPushButton::clicked, this, &PowerResultsWindow::Copy);
    connect(save, &QPushButton::clicked, this, &PowerResultsWindow::SaveAs);
    connect(close, &QPushButton::clicked, this, &QWidget::hide);
    CloseOnEscape(*this, *close);
    resize(900, 520);
}

void PowerResultsWindow::SetTable(const PowerResultsTable& table) {
    table_ = table;
    Fill(*results_, table.Results());
    Fill(*sizes_, table.SampleSizes());
    const bool sizes = !table.SampleSizes().rows.empty();
    sizesLabel_->setVisible(sizes);
    sizes_->setVisible(sizes);
    // Wide enough for every column of both tables (a "not reached, best power ..." cell is
    // long), as far as the screen allows; never narrower than the user left it.
    const QMargins margins = layout()->contentsMargins();
    int wanted = std::max(WholeWidth(*results_), sizes ? WholeWidth(*sizes_) : 0) + margins.left() +
                 margins.right();
    if (const QScreen* screen = this->screen())
        wanted = std::min(wanted, screen->availableGeometry().width() * 95 / 100);
    if (wanted > width())
        resize(wanted, height());
}

void PowerResultsWindow::Copy() {
    QString text = Highlighted(*results_);
    if (text.isEmpty())
        text = Highlighted(*sizes_);
    if (text.isEmpty())
        text = QString::fromStdString(table_.Text());
    QApplication::clipboard()->setText(text);
}

std::optional<std::string> PowerResultsWindow::Save(const std::string& path) const {
    return WriteTextFileAtomically(path, table_.Text());
}

void PowerResultsWindow::SaveAs() {
    const std::string suggested = (dataDirectory_ / "PowerTable.txt").string();
    const std::string path = Messages().AskSaveFileName(this, "Save power results", suggested,
                                                        "Text file (*.txt);;All files (*)");
    if (path.empty())
        return;
    if (auto error = Save(path))
        Messages().Show(this, *error);
}

} // namespace quillon
