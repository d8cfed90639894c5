// The least that the views, filter groups, gates and sessions must do so that
// a file can be opened and looked at before they are built in full: each body
// here is replaced by the full one in the file of its concern, and this file
// then goes.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/traceplot.h"
#include "calc/calculationsdockwidget.h"

#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QTableWidget>
#include <QTreeWidget>

#include <map>
#include <set>

namespace Tessary {

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

// Minimal: one item per dataset, no folders.
void MainWindow::rebuildDatasetTree()
{
    if (!datasetTree)
        return;
    treeRebuilding = true;
    datasetTree->clear();
    for (size_t i = 0; i < datasetEntries.size(); ++i) {
        auto* item = new QTreeWidgetItem(datasetTree);
        item->setText(0, buildDatasetCaption(datasetEntries[i].get()));
        item->setData(0, Qt::UserRole, datasetEntries[i]->id);
        item->setToolTip(0, QString::fromStdString(datasetEntries[i]->filePath));
        if (int(i) == activeDatasetIndex)
            datasetTree->setCurrentItem(item);
    }
    treeRebuilding = false;
}

// Minimal: no "differs" markers yet.
void MainWindow::updateFilterSyncState() {}

// Minimal: the group widgets for the active dataset.
void MainWindow::refreshFilterPanel()
{
    const DatasetEntry* ds = activeEntry();
    filterDock->rebuildGroupWidgets(groups.groupPointers(), ds ? ds->reader.get() : nullptr);
}

} // namespace Tessary
