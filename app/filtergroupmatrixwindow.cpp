#include "app/filtergroupmatrixwindow.h"

#include "app/datasetfoldertree.h"
#include "app/displaytext.h"
#include "app/mainwindow.h"
#include "widgets/savedialoghelpers.h"

#include <QCheckBox>
#include <QCloseEvent>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <functional>

namespace Tessary {

FilterGroupsMatrixWindow::FilterGroupsMatrixWindow(MainWindow* mainWindow, QWidget* parent)
    : QMainWindow(parent)
    , mainWindow(mainWindow)
{
    setWindowTitle(QStringLiteral("Filter Groups \u2013 Datasets Matrix"));
    resize(720, 480);
    setupUi();
    addKeepOnTopAction(this);
    refresh();
}

FilterGroupsMatrixWindow::~FilterGroupsMatrixWindow() = default;

void FilterGroupsMatrixWindow::setupUi()
{
    auto* central = new QWidget(this);
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);

    auto* hint = new QLabel(QStringLiteral(
        "Tick a cell to enable a filter group for a dataset. Click a group's column header to bulk-toggle it "
        "across datasets, or click a dataset's name to bulk-toggle every group for it."));
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("QLabel { color: #555; padding-bottom: 4px; }"));
    layout->addWidget(hint);

    tree = new QTreeWidget;
    tree->header()->setSectionsClickable(true);
    tree->header()->setStretchLastSection(false);
    tree->setSelectionMode(QAbstractItemView::NoSelection);
    tree->setFocusPolicy(Qt::NoFocus);
    tree->setAlternatingRowColors(true);
    tree->setItemsExpandable(false);
    tree->setRootIsDecorated(true);
    layout->addWidget(tree, 1);
    setCentralWidget(central);

    connect(tree->header(), &QHeaderView::sectionClicked, this, &FilterGroupsMatrixWindow::onColumnHeaderClicked);
    connect(tree, &QTreeWidget::itemClicked, this, &FilterGroupsMatrixWindow::onItemClicked);
    connect(tree->header(), &QHeaderView::sectionResized, this, [this](int section) {
        if (section == 0 && !resizingFirstColumn)
            autoResizeFirstColumn = false;   // the user set the width: keep it
    });
}

void FilterGroupsMatrixWindow::refresh()
{
    if (!mainWindow || cellChanging)
        return;
    updating = true;
    rebuildColumns();
    rebuildRows();
    updating = false;
}

void FilterGroupsMatrixWindow::rebuildColumns()
{
    QStringList labels{QStringLiteral("Dataset")};
    for (const auto& group : mainWindow->filterGroups())
        labels << shortenedText(QString::fromStdString(group->name), kMaxDisplayNameLength);
    // Whatever the header does to column 0 here is the window's own doing.
    resizingFirstColumn = true;
    tree->setColumnCount(int(labels.size()));
    tree->setHeaderLabels(labels);
    tree->header()->setSectionResizeMode(0, QHeaderView::Interactive);
    for (int column = 1; column < int(labels.size()); ++column)
        tree->header()->setSectionResizeMode(column, QHeaderView::ResizeToContents);
    resizingFirstColumn = false;
}

void FilterGroupsMatrixWindow::rebuildRows()
{
    tree->clear();
    const auto& entries = mainWindow->datasets();
    std::vector<DatasetFolderNode> roots;
    if (mainWindow->datasetFolderViewActive()) {
        QStringList paths;
        for (const auto& entry : entries)
            paths << QString::fromStdString(entry->filePath);
        roots = buildDatasetFolderTree(paths, mainWindow->datasetFolderDepth());
    } else {
        roots.resize(entries.size());
        for (size_t i = 0; i < entries.size(); ++i)
            roots[i].datasetIndex = int(i);
    }

    // Group ids now: a cell keeps its group even when the list changes later.
    std::vector<int> groupIds;
    for (const auto& group : mainWindow->filterGroups())
        groupIds.push_back(group->id);
    const int rowHeight = tree->fontMetrics().height() + 12;

    std::function<void(const DatasetFolderNode&, QTreeWidgetItem*)> addNode = [&](const DatasetFolderNode& node,
                                                                                    QTreeWidgetItem* parent) {
        auto* item = parent ? new QTreeWidgetItem(parent) : new QTreeWidgetItem(tree);
        if (node.datasetIndex < 0) {
            item->setText(0, node.name);
            for (const DatasetFolderNode& child : node.children)
                addNode(child, item);
            return;
        }
        const DatasetEntry* entry = entries[size_t(node.datasetIndex)].get();
        const int datasetId = entry->id;
        item->setText(0, entry->displayName);
        item->setData(0, Qt::UserRole, datasetId);
        for (size_t j = 0; j < groupIds.size(); ++j) {
            const int column = int(j) + 1;
            const int groupId = groupIds[j];
            // A height alone: the header text sets the width. (A negative width
            // would make the hint invalid, and the row would stay too low.)
            item->setSizeHint(column, QSize(0, rowHeight));
            auto* cell = new QWidget;
            auto* cellLayout = new QHBoxLayout(cell);
            cellLayout->setContentsMargins(0, 0, 0, 0);
            cellLayout->setAlignment(Qt::AlignCenter);
            auto* check = new QCheckBox;
            check->setChecked(mainWindow->isGroupEnabled(entry, groupId));
            cellLayout->addWidget(check);
            connect(check, &QCheckBox::toggled, this, [this, datasetId, groupId](bool checked) {
                if (updating)
                    return;
                // The cell shows the change already: the refresh that follows the
                // plot update must not rebuild the grid under the user's click
                // (and scroll it back to the top).
                cellChanging = true;
                mainWindow->setGroupEnabled(datasetId, groupId, checked);
                cellChanging = false;
            });
            tree->setItemWidget(item, column, cell);
        }
    };
    for (const DatasetFolderNode& root : roots)
        addNode(root, nullptr);

    tree->expandAll();
    if (autoResizeFirstColumn) {
        resizingFirstColumn = true;
        tree->resizeColumnToContents(0);
        resizingFirstColumn = false;
    }
}

void FilterGroupsMatrixWindow::onColumnHeaderClicked(int column)
{
    if (!mainWindow)
        return;
    const auto& groupList = mainWindow->filterGroups();
    if (column < 1 || column > int(groupList.size()))
        return;
    const int groupId = groupList[size_t(column - 1)]->id;
    bool anyOff = false;
    for (const auto& entry : mainWindow->datasets())
        anyOff = anyOff || !mainWindow->isGroupEnabled(entry.get(), groupId);
    mainWindow->setGroupEnabledInAll(groupId, anyOff);
    refresh();
}

void FilterGroupsMatrixWindow::onItemClicked(QTreeWidgetItem* item, int column)
{
    if (!mainWindow || !item || column != 0)
        return;
    const QVariant id = item->data(0, Qt::UserRole);
    if (!id.isValid())
        return;   // a folder row
    const int datasetId = id.toInt();
    const DatasetEntry* entry = mainWindow->findDatasetById(datasetId);
    if (!entry)
        return;
    std::vector<int> groupIds;
    bool anyOff = false;
    for (const auto& group : mainWindow->filterGroups()) {
        groupIds.push_back(group->id);
        anyOff = anyOff || !mainWindow->isGroupEnabled(entry, group->id);
    }
    // Each switch updates the plot, which may rebuild this grid and the
    // group list: walk the ids taken before.
    for (int groupId : groupIds)
        mainWindow->setGroupEnabled(datasetId, groupId, anyOff);
    refresh();
}

void FilterGroupsMatrixWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    QMainWindow::closeEvent(event);
}

} // namespace Tessary
