// The least the dataset and plot operations must do so that the window runs
// before they are built: each body here is replaced by the full one in
// mainwindow_datasets.cpp or mainwindow_plot.cpp, and this file then goes.
#include "app/mainwindow.h"

namespace Tessary {

void MainWindow::onDatasetSelected(int row)
{
    switchToDataset(row);
}

void MainWindow::switchToDataset(int index)
{
    if (index < 0 || index >= int(datasetEntries.size()) || index == activeDatasetIndex)
        return;
    saveCurrentDatasetState();
    activeDatasetIndex = index;
    updateCalculationControls();
    notifyActiveDatasetChanged(activeDatasetId());
    updatePlot();
}

void MainWindow::saveCurrentDatasetState() {}

void MainWindow::onFeaturesLoaded()
{
    preloadRunning = false;
    preloadingIndex = -1;
}

void MainWindow::updatePlot()
{
    refreshToolWindows();
}

void MainWindow::refreshFeaturesAndPlot()
{
    updateCalculationControls();
    updatePlot();
}

void MainWindow::updateFeatureSelection() { updatePlot(); }
void MainWindow::onFilterChanged() { updatePlot(); }
void MainWindow::updateContours() { updatePlot(); }
void MainWindow::updateIsoelastics() {}
void MainWindow::onApplyPlotSettingsToAll() {}
void MainWindow::onRenameFinished() {}

} // namespace Tessary
