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

// Minimal: no "differs" markers yet.
void MainWindow::updateFilterSyncState() {}

// Minimal: the group widgets for the active dataset.
void MainWindow::refreshFilterPanel()
{
    const DatasetEntry* ds = activeEntry();
    filterDock->rebuildGroupWidgets(groups.groupPointers(), ds ? ds->reader.get() : nullptr);
}

} // namespace Tessary
