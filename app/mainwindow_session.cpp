// Session files of the main window: saving the whole state, clearing it, and
// opening a session (checks of every dataset's file, loading through the
// preload queue, then applying the saved state); and filter-group files.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "app/displaytext.h"
#include "app/filtergroupfile.h"
#include "app/filtergroupmatrixwindow.h"
#include "app/sessionfile.h"
#include "calc/calculationsdockwidget.h"
#include "rtdc/rtdcreader.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filefailuretext.h"
#include "widgets/filterdockwidget.h"
#include "widgets/savedialoghelpers.h"
#include "widgets/scatterplot.h"
#include "windows/combineplotwindow.h"
#include "windows/imagegallerywindow.h"

#include <QAction>
#include <QActionGroup>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonParseError>
#include <QLabel>
#include <QListWidget>
#include <QMessageBox>
#include <QSignalBlocker>
#include <QTreeWidget>

#include <algorithm>

namespace Tessary {

namespace {

const QString kSessionFilter = QStringLiteral("Tessary Session (*.RYX)");
const QString kGroupsFilter = QStringLiteral("Tessary Filter Groups (*.ryxfg)");

bool askOkCancel(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::warning(parent, title, text, QMessageBox::Ok | QMessageBox::Cancel, QMessageBox::Cancel)
           == QMessageBox::Ok;
}

bool askYesNo(QWidget* parent, const QString& title, const QString& text)
{
    return QMessageBox::warning(parent, title, text, QMessageBox::Yes | QMessageBox::No) == QMessageBox::Yes;
}

} // namespace

void MainWindow::connectSessionSignals()
{
    connect(saveSessionAction, &QAction::triggered, this, &MainWindow::saveSession);
    connect(loadSessionAction, &QAction::triggered, this, &MainWindow::loadSession);
    connect(clearSessionAction, &QAction::triggered, this, &MainWindow::clearSession);
    connect(filterDock, &FilterDockWidget::exportGroupsRequested, this, &MainWindow::exportFilterGroups);
    connect(filterDock, &FilterDockWidget::importGroupsRequested, this, &MainWindow::importFilterGroups);
}

// ---------------------------------------------------------------------------
// Saving

void MainWindow::saveSession()
{
    if (refuseSaveWhileRestoring())
        return;
    if (datasetEntries.empty()) {
        QMessageBox::information(this, QStringLiteral("Save Session"), QStringLiteral("No datasets loaded to save."));
        return;
    }
    QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Session"), QString(), kSessionFilter);
    if (path.isEmpty())
        return;
    if (!path.endsWith(QStringLiteral(".RYX"), Qt::CaseInsensitive))
        path += QStringLiteral(".RYX");
    writeSessionFile(path);
}

// Saved while a session is being opened, the session would overwrite its own
// file with a part of it. A dataset still waiting for its calculations is
// saved as it stands: its state says what to recompute.
bool MainWindow::refuseSaveWhileRestoring()
{
    return !awaitWholeDatasets({}, QStringLiteral("Save Session"), QStringLiteral("Save it"));
}

// The session's groups replace every group once its datasets have loaded:
// groups imported before would be lost without a word.
bool MainWindow::refuseImportWhileRestoring()
{
    return !awaitWholeDatasets({}, QStringLiteral("Import Filter Groups"), QStringLiteral("Import the groups"));
}

bool MainWindow::writeSessionFile(const QString& path)
{
    if (refuseSaveWhileRestoring())
        return false;
    saveCurrentDatasetState();
    const QDir sessionFolder = QFileInfo(path).absoluteDir();

    QJsonArray filterGroupArray;
    for (const auto& group : groups.filterGroups())
        filterGroupArray.append(serializeGroup(*group, true));
    QJsonArray combineArray;
    for (const CombinePlotWindow* w : combineWindows)
        combineArray.append(w->saveState(datasetEntries));
    QJsonArray statEvalArray;
    for (const StatisticalEvalWindow* w : statEvalWindows)
        statEvalArray.append(w->saveState(datasetEntries));

    const QJsonObject root{
        {QStringLiteral("version"), kSessionFormatVersion},
        {QStringLiteral("savedAt"), QDateTime::currentDateTimeUtc().toString(Qt::ISODate)},
        {QStringLiteral("mainWindow"),
         QJsonObject{
             {QStringLiteral("activeDatasetIndex"), activeEntry() ? activeDatasetIndex : -1},
             {QStringLiteral("colorMapIndex"), currentColorMapIndex},
             {QStringLiteral("expertMode"), expertModeAction && expertModeAction->isChecked()},
         }},
        {QStringLiteral("datasets"), serializeDatasets(datasetEntries, sessionFolder)},
        {QStringLiteral("filterGroups"), filterGroupArray},
        {QStringLiteral("nextGroupId"), groups.nextGroupId()},
        {QStringLiteral("combineWindows"), combineArray},
        {QStringLiteral("statEvalWindows"), statEvalArray},
    };
    QString problem;
    if (!writeJsonFile(path, root, &problem)) {
        QString text = QStringLiteral("Failed to write session file: ") + path;
        if (!problem.isEmpty())
            text += QLatin1Char('\n') + problem;   // the system's reason: a full disk, a missing folder
        QMessageBox::critical(this, QStringLiteral("Error"), text);
        return false;
    }
    infoLabel->setText(QStringLiteral("Session saved: ") + QFileInfo(path).fileName());
    return true;
}

// ---------------------------------------------------------------------------
// Clearing

void MainWindow::clearSession()
{
    if (datasetEntries.empty() && combineWindows.empty() && statEvalWindows.empty())
        return;
    // Also while a session is being opened: the user's choice is asked about
    // like any other (loading itself clears through discardSession).
    if (!askOkCancel(this, QStringLiteral("Clear Session"),
                     QStringLiteral("This will close all datasets and combine plot windows.\n"
                                    "Unsaved changes will be lost.\n\nContinue?")))
        return;
    discardSession();
}

void MainWindow::discardSession()
{
    // The preload task holds its own reader, but its end must not be taken
    // for the end of a dataset that is opened afterwards.
    if (preloadRunning) {
        preloadWatcher->waitForFinished();
        preloadRunning = false;
    }
    preloadQueue.clear();
    preloadingIndex = -1;
    preloadingId = -1;
    // Files still waiting to open belong to the work being closed.
    pendingOpenPaths.clear();
    // A session still being opened is given up with everything else.
    sessionLoadQueue.clear();
    sessionIndexToId.clear();
    pendingSession = QJsonObject();
    restoringSession = false;
    saveSessionAction->setEnabled(true);
    // Recomputations of the datasets being closed are not started any more.
    recomputeQueue.clear();
    panelsWaitingId = -1;
    failedRecomputations.clear();
    calculationsTakenFrom.clear();

    closeToolWindows(combineWindows);
    closeToolWindows(statEvalWindows);
    closeToolWindows(galleryWindows);
    closeToolWindows(matrixWindows);

    activeDatasetIndex = -1;
    filterDock->setActiveDataset(nullptr);
    calcDockWidget->setActiveDataset(nullptr);
    datasetEntries.clear();
    // Their calculation's result would be thrown away: it stops, and the
    // next dataset's calculation does not wait for it.
    stopCalculationOfClosedDatasets();
    {
        const QSignalBlocker block(datasetList);
        datasetList->clear();
    }
    if (datasetTree) {
        treeRebuilding = true;
        datasetTree->clear();
        treeRebuilding = false;
    }
    filterDock->setDatasetCount(0);

    groups.filterGroups().clear();
    groups.setNextGroupId(0);
    refreshFilterPanel();

    clearDatasetPanels();
    lastPlotDatasetIndex = -1;
    updatePlotSettingsButton();
}

// ---------------------------------------------------------------------------
// Opening

void MainWindow::loadSession()
{
    if ((!datasetEntries.empty() || !combineWindows.empty())
        && !askOkCancel(this, QStringLiteral("Load Session"),
                        QStringLiteral("Loading a session will close all current datasets\nand windows. "
                                       "Unsaved changes will be lost.\n\nContinue?")))
        return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Load Session"), QString(),
                                                      kSessionFilter + QStringLiteral(";;All Files (*)"));
    if (!path.isEmpty())
        loadSessionFile(path);
}

bool MainWindow::loadSessionFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Failed to read session file: ") + path);
        return false;
    }
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(file.readAll(), &parseError);
    file.close();
    if (document.isNull()) {
        QMessageBox::critical(this, QStringLiteral("Error"),
                              QStringLiteral("Invalid session file: ") + parseError.errorString());
        return false;
    }
    const QJsonObject root = document.object();
    const int version = root.value(QStringLiteral("version")).toInt(0);
    if (version < kSessionFormatVersion) {
        QMessageBox::critical(this, QStringLiteral("Error"), QStringLiteral("Unrecognized session file format."));
        return false;
    }
    if (version > kSessionFormatVersion)
        QMessageBox::warning(this, QStringLiteral("Warning"),
                             QStringLiteral("This session was saved by a newer version of Tessary.\n"
                                            "Some settings may not be restored correctly."));
    if (const int unreadable = countUnreadableSessionRules(root))
        QMessageBox::warning(this, QStringLiteral("Load Session"),
                             QStringLiteral("%1 filter rule(s) of this session have a bound that is not a number "
                                            "and will be left out.").arg(unreadable));

    // The question was asked before the file was chosen.
    discardSession();

    // Every question about missing and changed files comes before any dataset loads.
    const QString sessionFolder = QFileInfo(path).absolutePath();
    const QJsonArray datasetArray = root.value(QStringLiteral("datasets")).toArray();
    std::deque<std::pair<int, QString>> toLoad;
    for (qsizetype i = 0; i < datasetArray.size(); ++i) {
        const QJsonObject ds = datasetArray.at(i).toObject();
        if (ds.value(QStringLiteral("isDuplicate")).toBool(false))
            continue;
        const QString displayName = displayNameFromFile(ds.value(QStringLiteral("displayName")).toString());
        const QString datasetPath =
            resolveMissingDataset(ds.value(QStringLiteral("filePath")).toString(), sessionFolder, displayName);
        if (datasetPath.isEmpty())
            continue;
        RTDCReader reader;
        if (!reader.open(datasetPath.toStdString())) {
            QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("Failed to open: ") + datasetPath);
            continue;
        }
        if (verifyDatasetFingerprint(reader, ds.value(QStringLiteral("fingerprint")).toObject(), displayName))
            toLoad.emplace_back(int(i), datasetPath);
    }

    restoringSession = true;
    saveSessionAction->setEnabled(false);
    sessionIndexToId.clear();
    pendingSession = root;
    sessionLoadQueue.insert(sessionLoadQueue.end(), toLoad.begin(), toLoad.end());
    // Opens the first dataset; the end of each preload takes the next, and
    // once nothing is left the session is applied (at once when nothing loads).
    if (!preloadRunning)
        continuePreloadQueues();
    return true;
}

QString MainWindow::resolveMissingDataset(const QString& storedPath, const QString& sessionFolder,
                                          const QString& displayName)
{
    const QString candidate = QDir::cleanPath(QDir(sessionFolder).absoluteFilePath(storedPath));
    if (QFile::exists(candidate))
        return candidate;
    if (!askYesNo(this, QStringLiteral("Dataset Not Found"),
                  QStringLiteral("Cannot find dataset:\n%1\n\nDisplay name: %2\n\nWould you like to locate it manually?")
                      .arg(candidate, displayName)))
        return QString();
    return QFileDialog::getOpenFileName(this, QStringLiteral("Locate: %1").arg(displayName), sessionFolder,
                                        QStringLiteral("RT-DC Files (*.rtdc);;All Files (*)"));
}

bool MainWindow::verifyDatasetFingerprint(const RTDCReader& reader, const QJsonObject& fingerprint,
                                          const QString& displayName)
{
    const DatasetFingerprint expected = readFingerprint(fingerprint);
    const DatasetFingerprint found = fingerprintOf(reader);
    if (expected == found)
        return true;
    return askYesNo(this, QStringLiteral("Dataset Changed"),
                    QStringLiteral("Dataset \"%1\" may have changed since the session was saved.\n\n"
                                   "Expected: %2 events, %3 bytes\nFound: %4 events, %5 bytes\n\n"
                                   "Continue loading this dataset?")
                        // One arg() call: a name holding "%2" must not take the counts.
                        .arg(displayName, QString::number(expected.eventCount), QString::number(expected.fileSize),
                             QString::number(found.eventCount), QString::number(found.fileSize)));
}

void MainWindow::createSessionDuplicates()
{
    const QJsonArray datasetArray = pendingSession.value(QStringLiteral("datasets")).toArray();
    for (qsizetype i = 0; i < datasetArray.size(); ++i) {
        const QJsonObject ds = datasetArray.at(i).toObject();
        if (!ds.value(QStringLiteral("isDuplicate")).toBool(false))
            continue;
        const int sourceIndex = ds.value(QStringLiteral("duplicateOfIndex")).toInt(-1);
        const DatasetEntry* source =
            sessionIndexToId.contains(sourceIndex) ? findDatasetById(sessionIndexToId.value(sourceIndex)) : nullptr;
        if (!source)
            continue;   // its source was skipped: the duplicate goes with it
        auto copy = std::make_unique<DatasetEntry>();
        copy->id = nextDatasetId++;
        copy->reader = source->reader;
        copy->metadata = source->metadata;
        copy->filePath = source->filePath;
        setDatasetName(*copy, ds.value(QStringLiteral("displayName")).toString());
        copy->loaded = false;   // ready with the others once the session's state is applied
        const int id = copy->id;
        datasetEntries.push_back(std::move(copy));
        filterDock->setDatasetCount(int(datasetEntries.size()));
        addDatasetItem(int(datasetEntries.size()) - 1);
        sessionIndexToId.insert(int(i), id);
    }
}

void MainWindow::finalizeSessionLoad()
{
    const QJsonObject root = pendingSession;

    restoreFilterGroups(groups, root);
    refreshFilterPanel();

    const QJsonArray datasetArray = root.value(QStringLiteral("datasets")).toArray();
    for (qsizetype i = 0; i < datasetArray.size(); ++i) {
        if (!sessionIndexToId.contains(int(i)))
            continue;
        const int row = datasetRowById(sessionIndexToId.value(int(i)));
        if (row < 0)
            continue;
        DatasetEntry* entry = datasetEntries[size_t(row)].get();
        restoreDatasetState(*entry, datasetArray.at(i).toObject());
        entry->loaded = true;   // every preload of the session has ended
        if (QListWidgetItem* item = datasetList->item(row))
            item->setText(buildDatasetCaption(entry));
    }
    refreshDatasetViews();   // the folder tree and the group matrices show the restored state

    const QJsonObject mainState = root.value(QStringLiteral("mainWindow")).toObject();
    const int colorMap = mainState.value(QStringLiteral("colorMapIndex")).toInt(0);
    currentColorMapIndex = colorMap >= 0 && colorMap <= 5 ? colorMap : 0;
    scatterPlot->setColorMap(currentColorMapIndex);
    for (QAction* action : colorMapGroup->actions())
        if (action->data().toInt() == currentColorMapIndex)
            action->setChecked(true);
    if (expertModeAction)
        expertModeAction->setChecked(mainState.value(QStringLiteral("expertMode")).toBool(false));
    if (!datasetEntries.empty()) {
        // The saved index counts the saved list; skipped datasets and
        // duplicates appended last move the others, so it is taken through the
        // session index to the dataset it named. When that one was skipped,
        // the index counts rows of the list as it now stands.
        const int saved = mainState.value(QStringLiteral("activeDatasetIndex")).toInt(0);
        const int named = sessionIndexToId.contains(saved) ? datasetRowById(sessionIndexToId.value(saved)) : -1;
        int row = named >= 0 ? named : saved;
        if (row < 0 || row >= int(datasetEntries.size()))
            row = 0;
        // No dataset is active meanwhile, so the panels cannot write their
        // contents over the state just restored.
        activeDatasetIndex = -1;
        datasetList->setCurrentRow(row);
        if (activeDatasetIndex != row)   // the row was current already: no signal came
            switchToDataset(row);
    }
    // The shown dataset's calculations are under way; the others follow in
    // the background, and whatever reads one of them first waits for it.
    scheduleRecomputations();

    for (const QJsonValue& state : root.value(QStringLiteral("combineWindows")).toArray()) {
        openCombinePlotWindow();
        combineWindows.back()->restoreState(state.toObject(), sessionIndexToId);
    }
    for (const QJsonValue& state : root.value(QStringLiteral("statEvalWindows")).toArray()) {
        openStatisticalEvalWindow();
        statEvalWindows.back()->restoreState(state.toObject(), sessionIndexToId);
    }

    for (const auto& entry : datasetEntries)
        nextDatasetId = std::max(nextDatasetId, entry->id + 1);

    restoringSession = false;
    saveSessionAction->setEnabled(true);
    pendingSession = QJsonObject();
    sessionIndexToId.clear();
    QString loaded = QStringLiteral("Session loaded: %1 dataset(s)").arg(datasetEntries.size());
    // The shown dataset may still wait for its calculations: that is said too.
    if (const DatasetEntry* shown = activeEntry(); shown && shown->id == panelsWaitingId)
        loaded += QStringLiteral(" - ") + restoringCalculationsText(*shown);
    infoLabel->setText(loaded);
}

// ---------------------------------------------------------------------------
// Filter-group files

void MainWindow::exportFilterGroups()
{
    // The session's groups arrive with its state: until then there are none.
    if (!awaitWholeDatasets({}, QStringLiteral("Export Filter Groups"), QStringLiteral("Export the groups")))
        return;
    if (groups.filterGroups().empty()) {
        QMessageBox::information(this, QStringLiteral("Export Filter Groups"),
                                 QStringLiteral("There are no filter groups to export."));
        return;
    }
    const std::vector<int> ids = chooseFilterGroupsToExport(this, groups.filterGroups());
    if (ids.empty())
        return;
    QString selectedFilter = kGroupsFilter;
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Export Filter Groups"), QString(),
                                                      kGroupsFilter, &selectedFilter);
    if (!path.isEmpty())
        writeFilterGroupsFile(ensureFilterSuffix(path, selectedFilter), ids);
}

bool MainWindow::writeFilterGroupsFile(const QString& path, const std::vector<int>& groupIds)
{
    std::vector<const FilterGroup*> chosen;
    for (int id : groupIds)
        if (const FilterGroup* group = findFilterGroupById(id))
            chosen.push_back(group);
    // The message says which step failed and why (a full disk is no failure to open).
    FileFailure failure;
    const QByteArray bytes = QJsonDocument(filterGroupsFileObject(chosen)).toJson(QJsonDocument::Indented);
    if (!replaceFileContent(path.toStdString(), std::string_view(bytes.constData(), size_t(bytes.size())), &failure)) {
        QMessageBox::critical(this, QStringLiteral("Export Filter Groups"),
                              fileFailureText(failure, path, QStringLiteral("Failed to open file for writing:\n%1")));
        return false;
    }
    infoLabel->setText(QStringLiteral("Exported %1 filter group(s).").arg(groupIds.size()));
    return true;
}

void MainWindow::importFilterGroups()
{
    if (refuseImportWhileRestoring())
        return;
    const QString path = QFileDialog::getOpenFileName(this, QStringLiteral("Import Filter Groups"), QString(),
                                                      kGroupsFilter + QStringLiteral(";;All Files (*)"));
    if (!path.isEmpty())
        importFilterGroupsFile(path);
}

bool MainWindow::importFilterGroupsFile(const QString& path)
{
    if (refuseImportWhileRestoring())
        return false;
    const QString title = QStringLiteral("Import Filter Groups");
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        QMessageBox::critical(this, title, QStringLiteral("Failed to read file:\n") + path);
        return false;
    }
    QString parseError;
    int unreadable = 0;
    const std::optional<std::vector<FilterGroup>> imported =
        parseFilterGroupsFile(file.readAll(), &parseError, &unreadable);
    if (!imported) {
        QMessageBox::critical(this, title, QStringLiteral("File is not a valid filter-groups JSON: ") + parseError);
        return false;
    }
    if (imported->empty()) {
        QMessageBox::information(this, title, QStringLiteral("The file contains no filter groups."));
        return false;
    }
    TakenGroupNames taken = takenGroupNames(groups.filterGroups());
    for (const FilterGroup& group : *imported) {
        addFilterGroup(uniqueGroupName(group.name, taken));
        groups.filterGroups().back()->rules = group.rules;   // the group just added
    }
    refreshFilterPanel();
    updatePlot();
    infoLabel->setText(QStringLiteral("Imported %1 filter group(s).").arg(imported->size()));
    if (unreadable > 0)
        QMessageBox::warning(this, title,
                             QStringLiteral("%1 filter rule(s) of this file have a bound that is not a number "
                                            "and were left out.").arg(unreadable));
    return true;
}

} // namespace Tessary
