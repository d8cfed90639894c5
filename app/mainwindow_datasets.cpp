// Datasets of the main window: opening files into entries, the one-at-a-time
// background preload with its queues, switching, renaming, duplicating and
// removing datasets.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "app/displaytext.h"
#include "calc/calculationsdockwidget.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/statisticsdockwidget.h"
#include "widgets/traceplot.h"

#include <QComboBox>
#include <QDir>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtConcurrent>

#include <algorithm>

namespace Tessary {

namespace {

QString metadataValue(const std::map<std::string, std::string>& section, const char* key)
{
    const auto it = section.find(key);
    return it == section.end() ? QString() : QString::fromStdString(it->second);
}

// The sample name, else the file name: what a dataset is called when nothing
// better is known.
QString sampleOrFileName(const DatasetEntry& entry)
{
    const QString sample = metadataValue(entry.metadata.experiment, "sample");
    return sample.isEmpty() ? QFileInfo(QString::fromStdString(entry.filePath)).fileName() : sample;
}

} // namespace

// ---------------------------------------------------------------------------
// Opening

void MainWindow::openFile()
{
    QStringList paths = QFileDialog::getOpenFileNames(this, QStringLiteral("Open RT-DC File(s)"), QString(),
                                                      QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
    if (paths.size() >= 2)
        std::sort(paths.begin(), paths.end(), &MainWindow::hierarchicalPathLess);
    for (const QString& path : paths)
        addDataset(path);
}

DatasetEntry* MainWindow::openDatasetEntry(const QString& requestedPath, bool nameFromMetadata)
{
    // "out/../data/a.rtdc" is kept, compared and shown as "data/a.rtdc".
    const QString path = QDir::cleanPath(requestedPath);
    auto entry = std::make_unique<DatasetEntry>();
    entry->id = nextDatasetId++;
    entry->reader = std::make_shared<RTDCReader>();
    if (!entry->reader->open(path.toStdString())) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Failed to open: ") + path);
        return nullptr;
    }
    entry->filePath = path.toStdString();
    entry->metadata = entry->reader->readMetadata();
    if (!entry->reader->isInstrumentData()) {
        entry.reset();
        if (!unsupportedDataWarned) {
            unsupportedDataWarned = true;
            QMessageBox::warning(this, QStringLiteral("Unsupported Data"),
                                 QStringLiteral("The data does not seem to originate from a QUORVANE Vireon.\n"
                                                "Tessary is not designed to handle this data."));
        }
        return nullptr;
    }
    const QString changedName = metadataValue(entry->metadata.exportInfo, "changed sample name");
    if (!nameFromMetadata)
        setDatasetName(*entry, QFileInfo(path).fileName());
    else if (!changedName.isEmpty())
        setDatasetName(*entry, changedName);
    else
        setDatasetName(*entry, sampleOrFileName(*entry));

    datasetEntries.push_back(std::move(entry));
    filterDock->setDatasetCount(int(datasetEntries.size()));
    return datasetEntries.back().get();
}

void MainWindow::addDataset(const QString& requestedPath)
{
    const QString path = QDir::cleanPath(requestedPath);
    const std::string bytes = path.toStdString();
    for (size_t i = 0; i < datasetEntries.size(); ++i) {
        if (datasetEntries[i]->filePath == bytes) {
            datasetList->setCurrentRow(int(i));
            return;
        }
    }
    if (preloadRunning) {
        pendingOpenPaths.append(path);
        return;
    }
    // The active dataset's panels are written back only when switching away;
    // store them now so that the new dataset takes over what is on screen.
    if (const DatasetEntry* active = activeEntry(); active && active->loaded)
        saveCurrentDatasetState();
    DatasetEntry* entry = openDatasetEntry(path, true);
    if (!entry)
        return;
    const int index = int(datasetEntries.size()) - 1;
    applyActiveDatasetStateTo(entry);
    addDatasetItem(index);
    startPreload(index);
    datasetList->setCurrentRow(index);
}

int MainWindow::addDatasetFromSession(const QString& path)
{
    DatasetEntry* entry = openDatasetEntry(path, false);
    if (!entry)
        return -1;
    const int index = int(datasetEntries.size()) - 1;
    addDatasetItem(index);
    startPreload(index);
    return entry->id;
}

void MainWindow::addDatasetItem(int index)
{
    const DatasetEntry* entry = datasetEntries[size_t(index)].get();
    auto* item = new QListWidgetItem(buildDatasetCaption(entry));
    item->setData(Qt::UserRole, entry->id);
    item->setToolTip(QString::fromStdString(entry->filePath));
    datasetList->addItem(item);
    refreshDatasetViews();
}

void MainWindow::refreshDatasetViews()
{
    refreshMatrixWindows();
    updatePlotSettingsButton();
    if (datasetFolderViewActive())
        rebuildDatasetTree();
}

void MainWindow::applyActiveDatasetStateTo(DatasetEntry* entry)
{
    if (!entry || datasetEntries.size() < 2)
        return;
    DatasetEntry* source = activeEntry();
    if (!source) {
        for (const auto& candidate : datasetEntries) {
            if (candidate.get() != entry) {
                source = candidate.get();
                break;
            }
        }
    }
    if (!source || source == entry)
        return;

    bool sameEnabled = true;
    bool sameMode = true;
    for (const auto& other : datasetEntries) {
        if (other.get() == source || other.get() == entry)
            continue;
        sameEnabled = sameEnabled && other->filter.isEnabled() == source->filter.isEnabled();
        sameMode = sameMode && other->filter.combineMode() == source->filter.combineMode();
    }
    if (sameEnabled)
        entry->filter.setEnabled(source->filter.isEnabled());
    if (sameMode)
        entry->filter.setCombineMode(source->filter.combineMode());
    for (const FilterRule& rule : source->filter.rules)
        if (!rule.propagationId.empty())
            entry->filter.addRule(rule);

    if (plotSettingsInSync(entry))
        copyPlotSettings(*source, *entry);
}

// ---------------------------------------------------------------------------
// Background preload

void MainWindow::startPreload(int index)
{
    if (preloadRunning) {
        preloadQueue.push_back(index);
        return;
    }
    const DatasetEntry* entry = datasetEntries[size_t(index)].get();
    preloadRunning = true;
    preloadingIndex = index;
    preloadingId = entry->id;
    infoLabel->setText(QStringLiteral("Loading: %1 - Caching features...").arg(entry->displayName));
    // The task holds the reader itself, so closing the window or dropping the
    // entry never pulls the reader from under it.
    std::shared_ptr<RTDCReader> reader = entry->reader;
    preloadWatcher->setFuture(QtConcurrent::run(QThreadPool::globalInstance(), [reader] { reader->preloadFeatures(); }));
}

void MainWindow::onFeaturesLoaded()
{
    // A finished() can arrive after waitForFinished or with no preload marked
    // running; only the end of the running preload counts.
    if (!preloadRunning || !preloadWatcher->future().isFinished() || closing)
        return;
    DatasetEntry* entry = findDatasetById(preloadingId);
    preloadingIndex = -1;
    preloadingId = -1;
    preloadRunning = false;
    if (entry) {
        // A dataset of a session being opened is ready for use only once its
        // saved state is applied (finalizeSessionLoad); until then it is
        // neither shown nor exported nor edited.
        entry->loaded = !sessionStatePending(*entry);
        if (entry->loaded && entry == activeEntry())
            refreshPanelsForDataset();
        else if (entry->loaded)
            refreshToolWindows();   // those that show it as loading fill it in
    }
    continuePreloadQueues();
}

void MainWindow::continuePreloadQueues()
{
    // An item that fails to open, is refused or is open already starts no
    // preload, so no finished() would ever take the items behind it: go on
    // until one preload runs or nothing is left.
    while (!preloadRunning) {
        if (!preloadQueue.empty()) {
            const int index = preloadQueue.front();
            preloadQueue.pop_front();
            startPreload(index);
        } else if (!sessionLoadQueue.empty()) {
            const auto [sessionIndex, path] = sessionLoadQueue.front();
            sessionLoadQueue.pop_front();
            const int id = addDatasetFromSession(path);
            if (id >= 0)
                sessionIndexToId.insert(sessionIndex, id);
        } else if (restoringSession) {
            // The session is applied before files opened meanwhile: its
            // datasets are not held up by them, and a new file takes over
            // the restored state of the shown dataset, not a half-restored one.
            createSessionDuplicates();
            finalizeSessionLoad();
        } else if (pendingOpenPaths.isEmpty()) {
            return;
        } else {
            addDataset(pendingOpenPaths.takeFirst());
        }
    }
}

// ---------------------------------------------------------------------------
// Switching

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
    panelsWaitingId = -1;
    endPolygonDrawingOutOfContext();
    DatasetEntry* entry = datasetEntries[size_t(index)].get();

    if (datasetFolderViewActive()) {
        treeRebuilding = true;
        if (QTreeWidgetItem* item = datasetTree->itemForDatasetId(entry->id))
            datasetTree->setCurrentItem(item);
        treeRebuilding = false;
    }
    if (datasetList->currentRow() != index) {
        const QSignalBlocker block(datasetList);
        datasetList->setCurrentRow(index);
    }
    // Its rules are edited once it is whole: a session's dataset gets its
    // saved rules with its state, and rules on calculated columns need them.
    filterDock->setActiveDataset(isDatasetWhole(entry->id) ? entry : nullptr);
    // The group rows read the shown dataset's reader: they follow it now, as
    // the plot update that rebuilds them returns early while the dataset loads
    // or when it has no features.
    refreshFilterPanel();
    notifyActiveDatasetChanged(entry->id);
    // A dataset waiting for its calculations is shown as such by the refresh.
    if (entry->loaded) {
        refreshPanelsForDataset();
        return;
    }
    showDatasetPending(entry, QStringLiteral("Loading: %1...").arg(entry->displayName));
}

void MainWindow::showDatasetPending(DatasetEntry* entry, const QString& text)
{
    // The plot settings still show the dataset shown before: what is chosen
    // there now would be lost when the dataset's own are filled in.
    plotSettingsGroup->setEnabled(false);
    eventSpin->setEnabled(false);
    imageViewer->setMaskAvailable(false);
    {
        const QSignalBlocker block(renameEdit);
        renameEdit->setText(entry->displayName);
    }
    renameEdit->setEnabled(false);
    // Nothing of the dataset shown before stays: not its points, gates or
    // lines, nor its plotted events, which the feedback report and the
    // event views would otherwise take for this one's.
    showEmptyPlot();
    scatterPlot->clearIsoElasticityLines();
    filterDock->setActiveDataset(nullptr);   // after the empty plot's counts: it has none yet
    clearEventViews();
    infoLabel->setText(text);
}

void MainWindow::clearEventViews()
{
    imageViewer->clearImage();
    tracePlot->clearTraces();
    tracePlot->hide();
    eventTable->setRowCount(0);
}

void MainWindow::saveCurrentDatasetState()
{
    DatasetEntry* entry = activeEntry();
    // The panels of a dataset that is not whole show another dataset's
    // settings (or none); they must not overwrite its own.
    if (!entry || !panelsShowActiveDataset())
        return;
    entry->xFeatureName = xFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry->yFeatureName = yFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry->colorFeatureName = colorFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    entry->currentEventIndex = eventSpin->value();
    entry->contourMode = contourModeCombo->currentIndex();
    entry->contourFraction1 = contourInnerSpin->value() / 100.0;
    entry->contourFraction2 = contourOuterSpin->value() / 100.0;
    entry->scaleXMode = scaleXCombo->currentIndex();
    entry->scaleYMode = scaleYCombo->currentIndex();
}

// ---------------------------------------------------------------------------
// Rename, duplicate, remove

void MainWindow::onRenameFinished()
{
    DatasetEntry* entry = activeEntry();
    if (!entry || !isDatasetWhole(entry->id))   // a session's dataset gets its saved name with its state
        return;
    QString name = renameEdit->text().trimmed();
    // The edit shows a long name cut: left as it is, that is no rename.
    if (name == entry->displayName || name == entry->fullName)
        return;
    if (name.isEmpty()) {
        name = sampleOrFileName(*entry);
        const QSignalBlocker block(renameEdit);
        renameEdit->setText(displayNameFromFile(name));
        if (name == entry->fullName)
            return;
    }
    // The name as typed, in full: exports and sessions write it.
    setDatasetName(*entry, name);
    if (QListWidgetItem* item = datasetList->item(activeDatasetIndex))
        item->setText(buildDatasetCaption(entry));
    updateInfoLabel();
    notifyDatasetRenamed(entry->id, entry->displayName);
    refreshDatasetViews();
}

void MainWindow::duplicateDataset()
{
    const int row = datasetList->currentRow();
    if (row < 0 || row >= int(datasetEntries.size()))
        return;
    // A copy of a dataset that is not whole would start without the columns
    // its axes and rules name.
    const int sourceId = datasetEntries[size_t(row)]->id;
    if (!awaitWholeDatasets({sourceId}, QStringLiteral("Duplicate Dataset"), QStringLiteral("Duplicate the dataset")))
        return;
    const DatasetEntry* found = findDatasetById(sourceId);   // the wait ran the event loop
    if (!found)
        return;
    saveCurrentDatasetState();
    const DatasetEntry& source = *found;
    auto copy = std::make_unique<DatasetEntry>();
    copy->id = nextDatasetId++;
    copy->reader = source.reader;
    copy->metadata = source.metadata;
    copy->filePath = source.filePath;
    copy->displayName = source.displayName + QStringLiteral(" (copy)");
    copy->fullName = source.fullName + QStringLiteral(" (copy)");
    copy->xFeatureName = source.xFeatureName;
    copy->yFeatureName = source.yFeatureName;
    copy->colorFeatureName = source.colorFeatureName;
    copy->currentEventIndex = source.currentEventIndex;
    copy->filter = source.filter;
    copy->contourMode = source.contourMode;
    copy->contourFraction1 = source.contourFraction1;
    copy->contourFraction2 = source.contourFraction2;
    copy->scaleXMode = source.scaleXMode;
    copy->scaleYMode = source.scaleYMode;
    copyCalculationState(source, *copy);   // saved and restored like its source's
    copy->loaded = true;
    datasetEntries.push_back(std::move(copy));
    filterDock->setDatasetCount(int(datasetEntries.size()));
    const int index = int(datasetEntries.size()) - 1;
    addDatasetItem(index);
    datasetList->setCurrentRow(index);
}

void MainWindow::removeDataset()
{
    const int row = datasetList->currentRow();
    if (row < 0 || row >= int(datasetEntries.size()))
        return;
    if (row == preloadingIndex) {
        QMessageBox::warning(this, QStringLiteral("Cannot Remove"), QStringLiteral("This dataset is still loading."));
        return;
    }
    const DatasetEntry* removed = datasetEntries[size_t(row)].get();
    passAwaitedCalculationsToCopies(*removed);
    notifyDatasetRemoved(removed->id);
    // The docks keep a pointer to the dataset they show: let go of it before
    // it goes, so nothing (a message box's event loop) can show it meanwhile.
    if (row == activeDatasetIndex) {
        filterDock->setActiveDataset(nullptr);
        calcDockWidget->setActiveDataset(nullptr);
    }

    // Which row the list moves to when its current item goes differs between
    // Qt versions; the neighbour is chosen here: the row above, or the new
    // first row when the first was removed.
    {
        const QSignalBlocker block(datasetList);
        delete datasetList->takeItem(row);
    }
    datasetEntries.erase(datasetEntries.begin() + row);
    filterDock->setDatasetCount(int(datasetEntries.size()));

    if (preloadingIndex > row)
        --preloadingIndex;
    std::deque<int> queue;
    for (int index : preloadQueue)
        if (index != row)
            queue.push_back(index > row ? index - 1 : index);
    preloadQueue.swap(queue);

    if (datasetEntries.empty()) {
        activeDatasetIndex = -1;
        clearDatasetPanels();
    } else if (activeDatasetIndex == row) {
        activeDatasetIndex = -1;
        const int next = std::max(row - 1, 0);
        {
            const QSignalBlocker block(datasetList);
            datasetList->setCurrentRow(next);
        }
        switchToDataset(next);
    } else {
        if (activeDatasetIndex > row)
            --activeDatasetIndex;
        const QSignalBlocker block(datasetList);
        datasetList->setCurrentRow(activeDatasetIndex);
    }
    stopCalculationOfClosedDatasets();
    refreshDatasetViews();
}

void MainWindow::clearDatasetPanels()
{
    endPolygonDrawingOutOfContext();
    plotSettingsGroup->setEnabled(true);   // as at the start
    showEmptyPlot();
    scatterPlot->clearIsoElasticityLines();
    clearEventViews();
    metadataTree->clear();
    for (QComboBox* combo : {xFeatureCombo, yFeatureCombo, colorFeatureCombo}) {
        const QSignalBlocker block(combo);
        combo->clear();
    }
    {
        const QSignalBlocker block(eventSpin);
        eventSpin->setRange(0, 0);
    }
    eventSpin->setEnabled(false);
    imageViewer->setMaskAvailable(false);
    {
        const QSignalBlocker block(renameEdit);
        renameEdit->clear();
    }
    renameEdit->setEnabled(false);
    calcDockWidget->setActiveDataset(nullptr);
    infoLabel->setText(QStringLiteral("No file loaded."));
    filterDock->setActiveDataset(nullptr);
    refreshFilterPanel();   // the group rows let go of the last reader
}

} // namespace Tessary
