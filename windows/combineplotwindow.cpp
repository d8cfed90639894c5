#include "windows/combineplotwindow.h"

#include "app/datasetentry.h"
#include "app/mainwindow.h"
#include "rtdc/rtdcreader.h"
#include "widgets/savedialoghelpers.h"
#include "windows/datasetrowlist.h"

#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

namespace Tessary {

CombinePlotWindow::CombinePlotWindow(MainWindow* mainWindow, QWidget* parent)
    : QMainWindow(parent)
    , mainWindow(mainWindow)
{
    setWindowTitle(QStringLiteral("Combine Plot"));
    setAttribute(Qt::WA_DeleteOnClose, false);   // the main window deletes it
    resize(820, 520);

    rowList = new DatasetRowList;
    auto* addButton = new QPushButton(QStringLiteral("Add Active Dataset"));
    auto* removeButton = new QPushButton(QStringLiteral("Remove"));
    auto* left = new QWidget;
    auto* leftLayout = new QVBoxLayout(left);
    leftLayout->addWidget(new QLabel(QStringLiteral("Datasets (drop here)")));
    leftLayout->addWidget(rowList, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(addButton);
    buttons->addWidget(removeButton);
    leftLayout->addLayout(buttons);

    summaryTable = new QTableWidget(0, 4);
    summaryTable->setHorizontalHeaderLabels({QStringLiteral("Dataset"), QStringLiteral("Shown"),
                                             QStringLiteral("Total"), QStringLiteral("Pass Filter")});
    summaryTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    summaryTable->verticalHeader()->setVisible(false);
    summaryTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    summaryTable->setAlternatingRowColors(true);

    auto* splitter = new QSplitter;
    splitter->addWidget(left);
    splitter->addWidget(summaryTable);
    splitter->setStretchFactor(1, 1);
    setCentralWidget(splitter);

    addKeepOnTopAction(this);

    connect(rowList, &DatasetRowList::datasetDropped, this, [this](int id) { addDataset(id); });
    connect(addButton, &QPushButton::clicked, this, [this] { addDataset(this->mainWindow->activeDatasetId()); });
    connect(removeButton, &QPushButton::clicked, this, [this] {
        if (QListWidgetItem* row = rowList->currentItem()) {
            rowList->removeDataset(row->data(Qt::UserRole).toInt());
            redraw();
        }
    });
}

bool CombinePlotWindow::addDataset(int datasetId)
{
    const DatasetEntry* ds = mainWindow->findDatasetById(datasetId);
    if (!ds || !rowList->addDataset(datasetId, ds->displayName))
        return false;
    redraw();
    return true;
}

std::vector<int> CombinePlotWindow::datasetIds() const
{
    return rowList->datasetIds();
}

void CombinePlotWindow::refresh()
{
    // Rows follow the datasets as they are now: gone ones drop out, names update.
    for (int id : rowList->datasetIds()) {
        const DatasetEntry* ds = mainWindow->findDatasetById(id);
        if (ds)
            rowList->renameDataset(id, ds->displayName);
        else
            rowList->removeDataset(id);
    }
    redraw();
}

void CombinePlotWindow::redraw()
{
    const std::vector<int> ids = rowList->datasetIds();
    summaryTable->setRowCount(int(ids.size()));
    for (int r = 0; r < int(ids.size()); ++r) {
        const DatasetEntry* ds = mainWindow->findDatasetById(ids[size_t(r)]);
        const size_t total = ds && ds->reader ? size_t(ds->reader->eventCount()) : 0;
        // A dataset that is not whole is counted once it is: the main window
        // refreshes this window then.
        const MainWindow::DatasetReadiness readiness = mainWindow->datasetReadiness(ids[size_t(r)]);
        const bool ready = readiness == MainWindow::DatasetReadiness::Whole;
        const size_t shown = ready ? mainWindow->filteredEventIndices(ids[size_t(r)], false).size() : 0;
        const QString notReady = readiness == MainWindow::DatasetReadiness::Calculating ? QStringLiteral("waiting")
                                                                                       : QStringLiteral("loading");
        const auto cell = [this, r](int c, const QString& text) {
            auto* item = new QTableWidgetItem(text);
            if (c > 0)
                item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
            summaryTable->setItem(r, c, item);
        };
        cell(0, ds ? ds->displayName : QStringLiteral("(missing)"));
        cell(1, ready ? QString::number(shown) : notReady);
        cell(2, QString::number(total));
        cell(3, ready && total > 0 ? QString::number(100.0 * double(shown) / double(total), 'f', 1) + QLatin1Char('%')
                                   : QString());
    }
}

void CombinePlotWindow::onDatasetRemoved(int datasetId)
{
    if (rowList->removeDataset(datasetId))
        redraw();
}

void CombinePlotWindow::onDatasetRenamed(int datasetId, const QString& name)
{
    if (rowList->renameDataset(datasetId, name))
        redraw();
}

QJsonObject CombinePlotWindow::saveState(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const
{
    QJsonArray datasets;
    for (const QJsonValue& index : rowList->toSessionIndices(entries))
        datasets.append(QJsonObject{{QStringLiteral("datasetSessionIndex"), index}});
    return QJsonObject{{QStringLiteral("datasets"), datasets}};
}

void CombinePlotWindow::restoreState(const QJsonObject& state, const QMap<int, int>& sessionIndexToId)
{
    rowList->clear();
    QJsonArray indices;
    for (const QJsonValue& v : state.value(QStringLiteral("datasets")).toArray())
        indices.append(v.toObject().value(QStringLiteral("datasetSessionIndex")));
    for (int id : DatasetRowList::idsFromSessionIndices(indices, sessionIndexToId))
        if (const DatasetEntry* ds = mainWindow->findDatasetById(id))
            rowList->addDataset(id, ds->displayName);
    redraw();
}

void CombinePlotWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    event->accept();
}

} // namespace Tessary
