// The "Datasets" dock of the main window: the flat list and the folder tree,
// reordering by drag and drop, files and folders dropped on the window, and
// the filter-group matrix windows that show groups against datasets.
#include "app/mainwindow.h"

#include "app/datasetfoldertree.h"
#include "app/datasetviews.h"
#include "app/filtergroupmatrixwindow.h"

#include <QComboBox>
#include <QDirIterator>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QMenu>
#include <QMessageBox>
#include <QMimeData>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QUrl>

#include <algorithm>
#include <functional>

namespace Tessary {

void MainWindow::connectViewSignals()
{
    connect(datasetList, &DatasetListWidget::internalReorderRequested, this, &MainWindow::applyDatasetReorder);
    connect(datasetTree, &DatasetTreeWidget::internalReorderRequested, this, [this](int sourceId, int targetId, bool after) {
        int from = -1;
        int to = -1;
        for (size_t i = 0; i < datasetEntries.size(); ++i) {
            if (datasetEntries[i]->id == sourceId && from < 0)
                from = int(i);
            if (datasetEntries[i]->id == targetId && to < 0)
                to = int(i);
        }
        if (from >= 0 && to >= 0)
            applyDatasetReorder(from, after ? to + 1 : to);
    });
    connect(datasetTree, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        const QTreeWidgetItem* item = datasetTree->itemAt(pos);
        const QVariant id = item ? item->data(0, Qt::UserRole) : QVariant();
        if (!id.isValid())
            return;
        for (size_t i = 0; i < datasetEntries.size(); ++i) {
            if (datasetEntries[i]->id == id.toInt()) {
                switchToDataset(int(i));
                break;
            }
        }
        execDatasetMenu(datasetTree->viewport()->mapToGlobal(pos));
    });
    // The page itself is switched where the combo is wired first; the tree is
    // refilled once it is the page shown.
    connect(datasetViewCombo, &QComboBox::currentIndexChanged, this, [this] {
        if (datasetFolderViewActive())
            rebuildDatasetTree();
        refreshMatrixWindows();
    });
    connect(folderDepthSpin, &QSpinBox::valueChanged, this, [this] {
        if (datasetFolderViewActive())
            rebuildDatasetTree();
        refreshMatrixWindows();
    });

    connect(filterGroupsMatrixAction, &QAction::triggered, this, &MainWindow::openFilterGroupsMatrixWindow);
}

void MainWindow::execDatasetMenu(const QPoint& globalPos)
{
    QMenu menu;
    connect(menu.addAction(QStringLiteral("Duplicate Dataset")), &QAction::triggered, this, &MainWindow::duplicateDataset);
    connect(menu.addAction(QStringLiteral("Remove Dataset")), &QAction::triggered, this, &MainWindow::removeDataset);
    menu.exec(globalPos);
}

// ---------------------------------------------------------------------------
// Folder view

void MainWindow::rebuildDatasetTree()
{
    if (!datasetTree)
        return;
    treeRebuilding = true;
    datasetTree->clear();
    QStringList paths;
    for (const auto& entry : datasetEntries)
        paths << QString::fromStdString(entry->filePath);
    QTreeWidgetItem* activeItem = nullptr;
    std::function<void(const DatasetFolderNode&, QTreeWidgetItem*)> addNode = [&](const DatasetFolderNode& node,
                                                                                    QTreeWidgetItem* parent) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(datasetTree);
        if (node.datasetIndex < 0) {
            item->setText(0, node.name.toHtmlEscaped());
            item->setFlags(item->flags() & ~(Qt::ItemIsSelectable | Qt::ItemIsDragEnabled));
            for (const DatasetFolderNode& child : node.children)
                addNode(child, item);
            return;
        }
        const DatasetEntry* entry = datasetEntries[size_t(node.datasetIndex)].get();
        item->setText(0, buildDatasetCaption(entry));
        item->setData(0, Qt::UserRole, entry->id);
        item->setToolTip(0, QString::fromStdString(entry->filePath));
        item->setFlags((item->flags() | Qt::ItemIsDragEnabled) & ~Qt::ItemIsDropEnabled);
        if (node.datasetIndex == activeDatasetIndex)
            activeItem = item;
    };
    for (const DatasetFolderNode& root : buildDatasetFolderTree(paths, datasetFolderDepth()))
        addNode(root, nullptr);
    datasetTree->expandAll();
    if (activeItem)
        datasetTree->setCurrentItem(activeItem);
    treeRebuilding = false;
}

bool MainWindow::hierarchicalPathLess(const QString& a, const QString& b)
{
    const QStringList pa = a.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList pb = b.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i) {
        const int order = pa[i].compare(pb[i], Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
    }
    return pa.size() < pb.size();
}

// ---------------------------------------------------------------------------
// Reordering

void MainWindow::applyDatasetReorder(int fromRow, int toRow)
{
    const int count = int(datasetEntries.size());
    if (fromRow < 0 || fromRow >= count)
        return;
    const int destination = std::clamp(toRow > fromRow ? toRow - 1 : toRow, 0, count - 1);
    if (destination == fromRow)
        return;

    const DatasetEntry* active = activeEntry();
    auto moved = std::move(datasetEntries[size_t(fromRow)]);
    datasetEntries.erase(datasetEntries.begin() + fromRow);
    datasetEntries.insert(datasetEntries.begin() + destination, std::move(moved));

    // Every index kept elsewhere follows its dataset.
    const auto follow = [fromRow, destination](int index) {
        if (index == fromRow)
            return destination;
        if (index > fromRow)
            --index;
        if (index >= destination)
            ++index;
        return index;
    };
    if (preloadingIndex >= 0)
        preloadingIndex = follow(preloadingIndex);
    for (int& index : preloadQueue)
        index = follow(index);
    // The last plot's dataset too, so the moved plot does not count as a new one.
    if (lastPlotDatasetIndex >= 0)
        lastPlotDatasetIndex = follow(lastPlotDatasetIndex);

    activeDatasetIndex = -1;
    for (int i = 0; i < count; ++i)
        if (datasetEntries[size_t(i)].get() == active)
            activeDatasetIndex = i;
    {
        const QSignalBlocker block(datasetList);
        datasetList->clear();
        for (int i = 0; i < count; ++i)
            addDatasetItem(i);
        datasetList->setCurrentRow(activeDatasetIndex);
    }
    refreshDatasetViews();
}

// ---------------------------------------------------------------------------
// Files dropped on the window

void MainWindow::dragEnterEvent(QDragEnterEvent* event)
{
    if (event->mimeData()->hasUrls())
        event->acceptProposedAction();
    else
        event->ignore();
}

void MainWindow::dropEvent(QDropEvent* event)
{
    if (!event->mimeData()->hasUrls()) {
        QMainWindow::dropEvent(event);
        return;
    }
    QStringList paths;
    for (const QUrl& url : event->mimeData()->urls()) {
        const QString path = url.toLocalFile();
        if (path.isEmpty())
            continue;
        if (QFileInfo(path).isDir()) {
            QDirIterator it(path, {QStringLiteral("*.rtdc")}, QDir::Files, QDirIterator::Subdirectories);
            while (it.hasNext())
                paths << it.next();
        } else if (path.endsWith(QStringLiteral(".rtdc"), Qt::CaseInsensitive)) {
            paths << path;
        }
    }
    if (paths.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("Invalid File"),
                             QStringLiteral("Please drop .rtdc file(s) or folders containing them."));
        event->ignore();
        return;
    }
    std::sort(paths.begin(), paths.end(), &MainWindow::hierarchicalPathLess);
    for (const QString& path : paths)
        addDataset(path);
    event->acceptProposedAction();
}

// ---------------------------------------------------------------------------
// Filter-group matrix windows

void MainWindow::openFilterGroupsMatrixWindow()
{
    trackToolWindow(matrixWindows, new FilterGroupsMatrixWindow(this));
}

void MainWindow::refreshMatrixWindows()
{
    // A copy: a refresh may end in a window closing itself.
    for (FilterGroupsMatrixWindow* w : std::vector<FilterGroupsMatrixWindow*>(matrixWindows))
        w->refresh();
}

} // namespace Tessary
