#pragma once

#include "app/datasetentry.h"
#include "app/exportdialog.h"
#include "app/statsummaryexportdialog.h"
#include "app/filtergroupregistry.h"
#include "rtdc/eventfilter.h"
#include "widgets/densitycontours.h"

#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QPointer>
#include <QPolygonF>
#include <QStringList>

#include <atomic>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

class QAction;
class QActionGroup;
class QCheckBox;
class QComboBox;
class QDockWidget;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;
class QSplitter;
class QStackedWidget;
class QTabWidget;
class QTableWidget;
class QTreeWidget;

namespace Tessary {

class CalculationsDockWidget;
class CombinePlotWindow;
class DatasetListWidget;
class DatasetTreeWidget;
class EModulus;
class ExportProgress;
class FeedbackSender;
class FilterDockWidget;
class FilterGroupsMatrixWindow;
class FLCompensation;
class FLRefinement;
class FourierDeform;
class ImageFeatures;
class ImageGalleryWindow;
class ImageViewer;
class RTDCReader;
class ScatterPlot;
class StatisticalEvalWindow;
class StatisticsDockWidget;
class TracePlot;
class UpdateChecker;

// The program's one main window: it owns the datasets, the filter groups, the
// docks and panels, the calculation engines and the tool windows. Docks and
// plots reach it only through signals; tool windows call its public slots.
//
// The definition is split by concern: mainwindow.cpp (construction, menus,
// settings, wiring, tool windows, closing), mainwindow_datasets.cpp (opening,
// preload, switching, removing), mainwindow_plot.cpp (panel refresh and plot
// update), mainwindow_calc.cpp (calculation actions), mainwindow_errors.cpp
// (the error box), mainwindow_help.cpp (update check, feedback report, manual
// and about box); the other files name themselves in their blocks below.
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Channel numbers, ascending, of the reader's "fl<N>_max" features.
    static std::vector<int> fluorescenceChannels(const RTDCReader* reader);
    // The columns of the dataset's reader that the filter's rules read
    // (loaded as needed), but for those of calculations that could not be
    // restored for it: its rules on them are not applied.
    FeatureColumns filterColumns(const EventFilter& filter, const DatasetEntry& ds) const;
    // Whether the dataset has the column as its own: its reader holds it, and
    // it is not of a calculation that could not be restored for the dataset
    // (another dataset on the file may have computed it with its own settings).
    bool hasOwnColumn(const DatasetEntry& ds, const std::string& name) const;

    // The indices of the dataset's events that its effective filter keeps:
    // every event when the filter is off or has no rules (unless
    // applyWhenDisabled, which the statistics use); none for an unknown id or
    // a dataset that is not whole yet (rules may use columns still to come).
    std::vector<int> filteredEventIndices(int datasetId, bool applyWhenDisabled);

    // The tool-window lists, in opening order (non-owning).
    const std::vector<CombinePlotWindow*>& combinePlotWindows() const { return combineWindows; }
    const std::vector<StatisticalEvalWindow*>& statisticalEvalWindows() const { return statEvalWindows; }
    const std::vector<ImageGalleryWindow*>& imageGalleryWindows() const { return galleryWindows; }

    // Tells every open tool window that a dataset changed: the seams that the
    // dataset operations call after a rename, a removal and a switch.
    void notifyDatasetRenamed(int datasetId, const QString& name);
    void notifyDatasetRemoved(int datasetId);
    void notifyActiveDatasetChanged(int datasetId);
    // After each plot update: refresh() and onFeaturesChanged() of every open tool window.
    void refreshToolWindows();

    // Enables the calculations panel's buttons for the active dataset and
    // fills its parameters; part of refreshing the panels for a dataset.
    void updateCalculationControls();
    // Young's modulus needs "area_um" and "deform" and is not offered for
    // measurements in the reservoir.
    static bool emodulusAvailable(const DatasetEntry& ds);

    // Starts one calculation: work on the global thread pool, completion on
    // the GUI thread. False (and nothing runs) while another one runs.
    bool startCalculation(std::function<void()> work, std::function<void()> completion);
    // The work of a calculation on a dataset's reader: it returns soon after
    // stopRequested is set, which happens when every dataset on that reader
    // has been closed (or the window closes).
    using CalculationWork = std::function<void(const std::atomic<bool>& stopRequested)>;
    bool startCalculationOn(const RTDCReader* reader, CalculationWork work, std::function<void()> completion);
    bool calculationRunning() const { return calcRunning; }
    // Stops the running calculation and waits for it and the preload (used
    // before closing): nothing of theirs may outlive the window.
    void waitForBackgroundWork();

    // Opens one path into a new dataset (or selects it when it is open already;
    // queues it while a preload runs). Failures are reported in message boxes.
    void addDataset(const QString& path);
    // The session form: no take-over of the active state, no selection. The new
    // dataset's id, or -1 when the file was not opened or not accepted.
    int addDatasetFromSession(const QString& path);
    // Fills every panel from the active dataset once it has loaded.
    void refreshPanelsForDataset();
    // Reads, filters and colours the active dataset's columns and redraws the
    // plot, its overlays and everything that follows the plot.
    void updatePlot();
    // Highlights the plotted point of an event; false (and no highlight) when
    // the event is not plotted.
    bool highlightEvent(int eventIndex);
    // The plotted point of an event, or -1.
    int plottedPointOfEvent(int eventIndex) const;
    bool plotSettingsInSync(const DatasetEntry* exclude) const;
    void updatePlotSettingsButton();
    void updateInfoLabel();
    void updateContourOverlay();

    // Captions and the order of paths opened together (dataset views).
    static QString buildDatasetCaption(const DatasetEntry* entry);
    static bool hierarchicalPathLess(const QString& a, const QString& b);

public slots:
    void onUnhandledException(QString title, QString message);

    DatasetEntry* findDatasetByPath(const std::string& path) const;
    DatasetEntry* findDatasetById(int id) const;
    // The list row of the dataset with that id, or -1.
    int datasetRowById(int id) const;
    std::vector<std::unique_ptr<DatasetEntry>>& datasets() { return datasetEntries; }
    int activeDatasetId() const;
    bool datasetFolderViewActive() const;
    int datasetFolderDepth() const;
    void saveCurrentDatasetState();

    std::vector<std::unique_ptr<FilterGroup>>& filterGroups() { return groups.filterGroups(); }
    FilterGroup* findFilterGroupById(int id) const { return groups.findFilterGroupById(id); }
    int addFilterGroup(const std::string& name = std::string());
    // Group edits (mainwindow_groups.cpp): unknown ids and indexes do nothing;
    // a rule stored in a group never keeps a propagation id.
    void removeFilterGroup(int id);
    void renameFilterGroup(int id, std::string newName);
    void addRuleToGroup(int groupId, Tessary::FilterRule rule);
    void updateRuleInGroup(int groupId, int ruleIndex, Tessary::FilterRule rule);
    void removeRuleFromGroup(int groupId, int ruleIndex);
    bool isGroupEnabled(const DatasetEntry* ds, int groupId) const { return FilterGroupRegistry::isGroupEnabled(ds, groupId); }
    void setGroupEnabled(int datasetId, int groupId, bool enabled);
    void setGroupEnabledInAll(int groupId, bool enabled);
    EventFilter buildEffectiveFilter(const DatasetEntry* ds) const { return groups.buildEffectiveFilter(ds); }

    int colorMapIndex() const { return currentColorMapIndex; }
    CalculationsDockWidget* calcDock() const { return calcDockWidget; }
    EModulus* emodulus() const { return emodulusEngine; }
    void refreshFeaturesAndPlot();

    void checkForUpdates(bool silent);
    // The checker and the sender, made and wired on first use (tests point
    // them at their own server before the first check or report).
    UpdateChecker* ensureUpdateChecker();
    FeedbackSender* ensureFeedbackSender();
    // Offers the newer version unless a silent check finds the ignored one.
    void showUpdateAvailable(const QString& latestVersion, const QString& downloadUrl, const QString& notes);
    // The feedback dialog, with the error filled in when there is one.
    void sendFeedback(QString title, QString message);
    // The open datasets without file paths or sample names, for the report.
    QString buildSessionSummary() const;

    // Queued from calculation code on pool threads.
    void setCalcProgressValue(int value);
    void setCalcProgressFormat(int datasetNumber, int datasetCount);

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void openFile();
    void removeDataset();
    void duplicateDataset();
    void updateFeatureSelection();
    void onFeaturesLoaded();
    void onDatasetSelected(int row);
    void onFilterChanged();
    // Rules and filter settings carried to every dataset (mainwindow_groups.cpp).
    void onApplyFilterToAll();
    void onApplyRuleToAll(int ruleIndex);
    void onUpdateRuleToAll(int ruleIndex);
    void onUncheckRuleInAll(int ruleIndex);
    void onCheckRuleInAll(int ruleIndex);
    void onDeleteRuleFromAll(int ruleIndex);
    void onEnabledChangedForAll(bool enabled);
    void onCombineModeChangedForAll(int mode);
    void onImportMeasurementFilters(bool toAll);
    void updateContours();
    void openCombinePlotWindow();
    void openStatisticalEvalWindow();
    void openImageGalleryWindow();
    void onRenameFinished();
    void onRefineFluorescence();
    void onCompensateCrosstalk();
    void onComputeEmodulus();
    void onAssessEmodQuality();
    void onComputeFourierDeform();
    void onComputeImageFeatures();
    void onComputeDimReduction();
    void onSaveDimRedReference();
    void onLoadDimRedReference();
    void onCalcFinished();

private:
    void setupUi();
    void setupDocks();
    void setupMenus();
    void setupConnections();
    void updateTabbedDockTitleBars(QDockWidget* changed, bool visible);
    void switchToDataset(int index);
    void addDatasetItem(int index);
    // After datasets were added, removed or renamed: the filter-group matrix
    // windows, the plot-settings button and the folder view.
    void refreshDatasetViews();
    void applyActiveDatasetStateTo(DatasetEntry* entry);
    // The feature names (where the target has them), scale modes and contours.
    static void copyPlotSettings(const DatasetEntry& from, DatasetEntry& to);
    // The part of opening shared by the menu and the session: a new entry for
    // the path, appended to the list, or null after the message box.
    DatasetEntry* openDatasetEntry(const QString& path, bool nameFromMetadata);
    void startPreload(int index);
    // Takes queued items until one starts a preload or every queue is empty.
    void continuePreloadQueues();
    // Empties every panel (no dataset left).
    void clearDatasetPanels();
    // The image, traces and event table of the shown event.
    void clearEventViews();
    // The plot of a dataset with nothing to draw.
    void showEmptyPlot();
    // The contour overlay; with traced lines given (already running or done)
    // those are shown instead of tracing them here.
    void showContourOverlay(QFuture<std::vector<DensityContour>> traced);
    std::vector<double> contourLevels() const;
    void updateIsoelastics();
    void loadColorByOptions();
    void setLogScaleWarning(QComboBox* combo, qsizetype hiddenCount, const QString& axisName);
    void rebuildDatasetTree();
    void rebuildTracePlot();
    void displayEvent(int eventIndex);
    void displayTraces(int eventIndex);
    void populateMetadataTree();
    void updatePolygonOverlays();
    // The filter dock's "differs" markers and group widgets, the online-filter
    // import and the dock's group requests (mainwindow_groups.cpp).
    void updateFilterSyncState();
    void refreshFilterPanel();
    // Returns the rules added; soft limits refused for a bound that is not a
    // number are added to *refused.
    int importOnlineFilterRules(DatasetEntry* ds, int* refused = nullptr);
    void addRangeRuleToGroup(int groupId);
    void setRuleEnabledInAll(int ruleIndex, bool enabled);
    void connectGroupSignals();
    void createSessionDuplicates();
    void finalizeSessionLoad();
    void onApplyPlotSettingsToAll();
    void updateDeformationSources();
    DatasetEntry* activeEntry() const;
    // Shared checks of the calculation slots: the active, loaded dataset, or
    // null after telling the user why not.
    DatasetEntry* calculationTarget(const QString& title);
    void connectProgress(QObject* engine);
    // The common frame of the calculation slots: progress, the pool task on
    // the dataset's reader, and a completion that marks every dataset on
    // that reader (the dataset may have gone meanwhile, a duplicate not).
    using CalculationCompute = std::function<bool(RTDCReader*, const std::atomic<bool>& stopRequested)>;
    void launchCalculation(DatasetEntry* ds, QObject* engine, const QString& title, const QString& failure,
                           CalculationCompute compute, std::function<void(DatasetEntry*)> markApplied,
                           std::function<bool(const std::string&)> zoomReset);
    template <typename Window> void trackToolWindow(std::vector<Window*>& list, Window* window);
    template <typename Window> void closeToolWindows(std::vector<Window*>& list);

    // ---- Calculations that a loaded session marks as applied (mainwindow_calc.cpp) ----
public:
    // Whether the dataset's marked calculations are still to be recomputed
    // (queued, running, or not yet tried).
    bool recomputationPending(int datasetId) const;
    // The datasets whose recomputations wait, in the order they will run.
    const std::deque<int>& queuedRecomputations() const { return recomputeQueue; }
    // The restored calculations of the dataset that could not be recomputed
    // and are still not applied ("crosstalk compensation", ...), empty when none.
    QStringList unrestoredCalculations(const DatasetEntry& ds) const;
    enum class CalculationPart { Refinement, Compensation, Fourier, Emodulus, ImageFeatures };
private:
    std::vector<CalculationPart> unrestoredParts(const DatasetEntry& ds) const;
    // The columns of those parts, which another dataset on the same file may
    // have computed with its own settings.
    std::vector<std::string> unrestoredColumns(const DatasetEntry& ds) const;
    // The display name of the dataset whose session entry saved the state of
    // that part of ds, when ds took it from another dataset; none when its own.
    std::optional<QString> takenFrom(const DatasetEntry& ds, CalculationPart part) const;
    // The columns that the restored calculations the dataset awaits (its own,
    // or those of another dataset on its reader) are still to add.
    std::vector<std::string> columnsToCome(const DatasetEntry& ds) const;
    // Before a dataset closes: the datasets on its reader that do not mark a
    // restored calculation it still awaits take its state for that
    // calculation, so the columns they show are still computed (and saved).
    void passAwaitedCalculationsToCopies(const DatasetEntry& closing);
    // After a restored calculation: every dataset on its reader that does not
    // mark a part it computed takes the state it was computed with, as after
    // a calculation the user starts. The ids of those that took any.
    std::vector<int> shareRestoredCalculations(const DatasetEntry& source, const std::vector<CalculationPart>& parts);
    // The restored calculations of the dataset still to come: those of its
    // running recomputation and those it has not tried yet.
    std::vector<CalculationPart> awaitedParts(const DatasetEntry& ds) const;
    // The parts that `to` does not mark, and whose own restore did not fail,
    // take from's state; whether any did.
    bool takeCalculationParts(const DatasetEntry& from, DatasetEntry& to, const std::vector<CalculationPart>& parts);
    // Queues the dataset's recomputation where the closing one's was queued.
    void queueInPlaceOf(int closingId, int datasetId);
    // Queues every dataset whose marked calculations are missing; they run in
    // the background one at a time, each after the calculation before it.
    void scheduleRecomputations();
    void startNextRecomputation();
    // Puts the dataset at the head of the queue (the shown one waits for it).
    void recomputeFirst(int datasetId);
    // What the info label says while the shown dataset waits for its calculations.
    QString restoringCalculationsText(const DatasetEntry& ds) const;
    // After a recomputation of the dataset: the parts that failed are no
    // longer marked applied, and the user is told.
    void settleRecomputation(int datasetId, const std::vector<CalculationPart>& failed);
    // New columns in this reader: the shown dataset on it is filled (when its
    // panels waited for them) or its feature lists are refreshed; otherwise
    // the tool windows fill in what waited for them.
    void onRecomputedColumns(const RTDCReader* reader);
    // Ends the running calculation early and lets none start: the window is going.
    void stopCalculations();
    // After datasets were closed: a calculation that no open dataset needs
    // any more is stopped, and the next one can start at once.
    void stopCalculationOfClosedDatasets();
    // Whether an open dataset still needs the running calculation's columns
    // (a duplicate on its reader). A restored calculation whose own dataset
    // was closed is handed over here: that duplicate becomes the one it is
    // recomputing, at the head of the queue.
    bool handRunningCalculationToOpenDataset();
    // Lets go of the running calculation: it is told to stop, its completion
    // is dropped and nothing counts as running any more.
    void abandonRunningCalculation();
    std::deque<int> recomputeQueue;
    std::set<int> recomputeAttempted;   // a recomputation that failed is not tried again
    int recomputingId = -1;             // the dataset whose recomputation runs in the background
    std::vector<CalculationPart> recomputingParts;   // what that recomputation computes
    int recomputeStarted = 0;           // recomputations started since the queue was last empty
    int crosstalkTableDatasetId = -1;   // the dataset whose matrix the crosstalk table shows
    // The shown dataset whose panels wait for its recomputation (-1: none).
    // Until it is filled, nothing is drawn for it and the panels are not
    // written into it.
    int panelsWaitingId = -1;
    // Dataset id -> the restored calculations that could not be recomputed.
    std::map<int, std::vector<CalculationPart>> failedRecomputations;
    // Dataset id -> the parts whose state it took from another dataset on its
    // reader, with the name of the dataset whose session entry saved them.
    std::map<int, std::map<CalculationPart, QString>> calculationsTakenFrom;
    // Shows an active dataset whose panels cannot be filled yet.
    void showDatasetPending(DatasetEntry* entry, const QString& text);
    // The ids of all datasets, in list order.
    std::vector<int> datasetIds() const;

    // ---- Whether a dataset is whole, and the gate of every action (mainwindow_readiness.cpp) ----
public:
    // What still stands between a dataset and its use. Only a whole dataset
    // is shown, exported, copied, edited or counted: it has loaded, its saved
    // session state is applied and its calculations (also those of datasets
    // sharing its reader) are current.
    enum class DatasetReadiness { Missing, Loading, SessionPending, Calculating, Whole };
    DatasetReadiness datasetReadiness(int datasetId) const;
    bool isDatasetWhole(int datasetId) const { return datasetReadiness(datasetId) == DatasetReadiness::Whole; }
    // The gate that actions on datasets pass. True when each dataset is whole
    // (gone ones count as whole), after waiting behind a progress dialog with
    // Cancel for the preloads and calculations still under way; false when
    // the user cancelled, the window is closing, or, after telling the user
    // under the title that `what` has to wait, while a session is being loaded.
    // With no ids only the session is asked about.
    bool awaitWholeDatasets(const std::vector<int>& datasetIds, const QString& title, const QString& what);
    // The datasets whose restored calculations failed, one line each
    // ("name: calculation, ..."), for the end of an export.
    QStringList unrestoredCalculationLines(const std::vector<int>& datasetIds) const;
private:
    // A dataset of the session being opened whose saved state is not applied yet.
    bool sessionStatePending(const DatasetEntry& entry) const;
    // True (after telling the user, under the title, that `what` has to wait)
    // while a session is being opened.
    bool refuseWhileRestoring(const QString& title, const QString& what);
    // The panels show the shown dataset's own settings: it is whole and filled.
    bool panelsShowActiveDataset() const;
    // The datasets on the dataset's reader (itself among them) whose restored
    // calculations are still to come.
    std::vector<int> awaitedRecomputations(const DatasetEntry& ds) const;
    bool closing = false;   // the window is going: waits end, completions are dropped

    // ---- Session files and filter-group files (mainwindow_session.cpp) ----
public:
    // The file steps of the menu operations, without their file dialogs.
    // Each reports its failures in a message box; false then.
    bool writeSessionFile(const QString& path);
    bool loadSessionFile(const QString& path);   // false when refused before anything was closed
    bool writeFilterGroupsFile(const QString& path, const std::vector<int>& groupIds);
    bool importFilterGroupsFile(const QString& path);
    // The absolute path to open for a session dataset, or empty to skip it.
    QString resolveMissingDataset(const QString& storedPath, const QString& sessionFolder, const QString& displayName);
    // Whether a session dataset is to be loaded: its file matches the
    // fingerprint, or the user accepts the difference.
    bool verifyDatasetFingerprint(const RTDCReader& reader, const QJsonObject& fingerprint, const QString& displayName);
private slots:
    void saveSession();
    void loadSession();
    void clearSession();
    void exportFilterGroups();
    void importFilterGroups();
private:
    void connectSessionSignals();
    bool refuseSaveWhileRestoring();
    bool refuseImportWhileRestoring();
    // Closes every dataset and tool window and resets the filter state,
    // without asking: the body of clearSession and the first step of loading.
    void discardSession();

    // ---- Event and metadata views, polygon gates (mainwindow_events.cpp, mainwindow_polygons.cpp) ----
private slots:
    void showMetadata();
    void onPointClicked(int index);
    void onEventSpinBoxChanged(int index);
    void onMaskToggled(bool checked);
    void onPolygonCompleted(QPolygonF polygon);
    void onPolygonEditRequested(int ruleIndex, bool on);
    void onPolygonEdited(int id, QPolygonF polygon);
    void onPolygonEditingStopped(int id);
private:
    void connectEventSignals();
    void connectPolygonSignals();
    void updateEventTable(int eventIndex);
    void addMetadataSection(const QString& title, const std::map<std::string, std::string>& entries);
    void editGroupPolygon(int groupId, int ruleIndex, bool on);
    // Gate ids on the scatter plot: rule i of the active dataset's own filter
    // is gate i; rule j of the group with id g is gate (g + 100) * 10000 + j, so
    // every group gate is at least 1,000,000.
    static constexpr int kFirstGroupGateId = 1000000;
    static constexpr int kGateIdsPerGroup = 10000;
    static int groupGateId(int groupId, int ruleIndex) { return (groupId + 100) * kGateIdsPerGroup + ruleIndex; }
    // A polygon gate on the features of the plot's two axes.
    bool gateOnPlotAxes(const FilterRule& rule) const;
    // The rule behind a gate id (the active dataset's or a group's), or null.
    FilterRule* gateRule(int id);
    int polygonEditDatasetId = -1;   // the active dataset when the running gate edit began
    QPointer<QWidget> polygonEditRow;   // the dock's row of a dataset gate being edited
    // Whether the gate being edited is still the rule the edit began on, shown on the plot's axes.
    bool editedGateInPlace();
    // Ends the edit of a gate of the group from the given rule on: those rules
    // are about to move or go, and their ids with them.
    void endGroupGateEdit(int groupId, int fromRule);
    // A polygon drawing belongs to the dataset, axes and scale modes it began
    // on (dataset id, x and y feature, x and y scale mode); it ends when they change.
    using PolygonDrawContext = std::tuple<int, std::string, std::string, int, int>;
    PolygonDrawContext polygonDrawContext;
    PolygonDrawContext polygonDrawContextNow() const;
    void beginPolygonDrawing();
    void endPolygonDrawingOutOfContext();

public:
    // ---- Panels and controls (created in setupUi) ----
    QLabel* infoLabel = nullptr;
    QLineEdit* renameEdit = nullptr;
    QDockWidget* metadataDock = nullptr;
    QTreeWidget* metadataTree = nullptr;
    ScatterPlot* scatterPlot = nullptr;
    ImageViewer* imageViewer = nullptr;
    TracePlot* tracePlot = nullptr;
    QSplitter* mainSplitter = nullptr;
    QTabWidget* eventTabs = nullptr;
    QTableWidget* eventTable = nullptr;
    QDockWidget* datasetsDock = nullptr;
    DatasetListWidget* datasetList = nullptr;
    QStackedWidget* datasetViewStack = nullptr;
    DatasetTreeWidget* datasetTree = nullptr;
    QComboBox* datasetViewCombo = nullptr;
    QSpinBox* folderDepthSpin = nullptr;
    QLabel* folderDepthLabel = nullptr;
    bool treeRebuilding = false;
    QDockWidget* filtersDock = nullptr;
    FilterDockWidget* filterDock = nullptr;
    QDockWidget* statisticsDock = nullptr;
    StatisticsDockWidget* statisticsWidget = nullptr;
    QDockWidget* calculationsDock = nullptr;
    CalculationsDockWidget* calcDockWidget = nullptr;
    FLRefinement* flRefinement = nullptr;
    FLCompensation* flCompensation = nullptr;
    EModulus* emodulusEngine = nullptr;
    FourierDeform* fourierDeform = nullptr;
    ImageFeatures* imageFeatures = nullptr;
    QWidget* plotSettingsGroup = nullptr;   // off while the shown dataset is not whole
    QComboBox* xFeatureCombo = nullptr;
    QComboBox* yFeatureCombo = nullptr;
    QComboBox* colorFeatureCombo = nullptr;
    QPushButton* applyPlotSettingsButton = nullptr;
    QCheckBox* isoelasticsCheck = nullptr;
    QCheckBox* isoelasticLabelsCheck = nullptr;
    QComboBox* contourModeCombo = nullptr;
    QDoubleSpinBox* contourInnerSpin = nullptr;
    QDoubleSpinBox* contourOuterSpin = nullptr;
    QComboBox* scaleXCombo = nullptr;
    QComboBox* scaleYCombo = nullptr;
    QSpinBox* eventSpin = nullptr;

    // ---- Datasets, plot and background state ----
    QAction* expertModeAction = nullptr;   // no menu makes it: expert mode stays off
    std::vector<std::unique_ptr<DatasetEntry>> datasetEntries;
    int activeDatasetIndex = -1;

    // Plot state of the last plot update.
    std::vector<double> plotXValues, plotYValues, plotColorValues;
    QString plotXLabel, plotYLabel, plotColorLabel;
    std::string lastPlotXFeature, lastPlotYFeature;
    int lastPlotDatasetIndex = -1;
    // One-shot: the next plot update asks it about the plotted names and resets
    // the zoom on the first yes; set by calculations that add features.
    std::function<bool(const std::string&)> zoomResetHook;
    std::vector<int> plottedEventIndices;
    bool plottedIndicesValid = false;   // a plot update has drawn
    bool lastPlotFiltered = false;
    bool lastPlotRuleApplied = false;   // an enabled rule the dataset can evaluate judged the events
    bool suppressFilterPanelRefresh = false;
    // The kernel density grid of the last plot update in plot coordinates,
    // with the density at each plotted point: the contours reuse it while the
    // plotted points and scale modes stay.
    struct KdeCache {
        bool valid = false;
        DensityGrid grid;
        std::vector<double> density;
        int xMode = 0;
        int yMode = 0;
    } kdeCache;
    // The contours of a kept grid at the given levels, in feature units.
    static std::vector<DensityContour> contourLines(const KdeCache& cache, const std::vector<double>& levels);

    UpdateChecker* updateChecker = nullptr;     // made by the first check
    bool lastCheckSilent = false;
    FeedbackSender* feedbackSender = nullptr;   // made by the first report
    bool errorDialogOpen = false;

    QFutureWatcher<void>* preloadWatcher = nullptr;
    bool preloadRunning = false;
    int preloadingIndex = -1;
    int preloadingId = -1;              // the same dataset by id: a session clear may renumber the list
    std::deque<int> preloadQueue;
    bool unsupportedDataWarned = false;

    QFutureWatcher<void>* calcWatcher = nullptr;
    bool calcRunning = false;
    std::function<void()> calcCompletion;
    // The reader the running calculation works on (null for one that serves
    // no dataset), for identity only, and its stop request.
    const RTDCReader* calcReader = nullptr;
    std::shared_ptr<std::atomic<bool>> calcStopRequested;
    // Abandoned calculations that may still be returning on the pool: they
    // use the engines, so the window does not go before them.
    QList<QFuture<void>> abandonedCalculations;
    // The text of an exception thrown by the running calculation (empty when
    // none); written by its pool task, read after it has finished.
    std::shared_ptr<QString> calcError;
    // While a completion runs: whether its calculation threw (and was reported).
    bool calculationFailed() const;

    QStringList pendingOpenPaths;                          // opens waiting for the running preload
    std::deque<std::pair<int, QString>> sessionLoadQueue;   // (session index, path)

    int currentColorMapIndex = 0;
    QActionGroup* colorMapGroup = nullptr;
    int nextDatasetId = 0;
    FilterGroupRegistry groups;
    int polygonTargetGroupId = -1;   // the group that receives the polygon being drawn; -1: the active dataset

    std::vector<CombinePlotWindow*> combineWindows;
    std::vector<StatisticalEvalWindow*> statEvalWindows;
    std::vector<ImageGalleryWindow*> galleryWindows;
    std::vector<FilterGroupsMatrixWindow*> matrixWindows;

    QJsonObject pendingSession;
    bool restoringSession = false;
    QMap<int, int> sessionIndexToId;

    // Menu actions whose operations other files of the window connect.
    QAction* openAction = nullptr;
    QAction* saveSessionAction = nullptr;
    QAction* loadSessionAction = nullptr;
    QAction* clearSessionAction = nullptr;
    QAction* exportPlotAction = nullptr;
    QAction* exportDataAction = nullptr;
    QAction* exportStatSummaryAction = nullptr;
    QAction* filterGroupsMatrixAction = nullptr;
    QAction* manualAction = nullptr;
    QAction* aboutAction = nullptr;
    QAction* checkOnStartupAction = nullptr;

    // ---- Dataset views, drag and drop, filter-group matrices (mainwindow_views.cpp) ----
public:
    // refresh() of every open filter-group matrix window.
    void refreshMatrixWindows();

protected:
    // Files and folders dropped on the window open their .rtdc files.
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private slots:
    void openFilterGroupsMatrixWindow();

private:
    void connectViewSignals();
    // Moves the dataset at fromRow to sit before the one that was at toRow
    // (toRow may be the row count); the active dataset stays active.
    void applyDatasetReorder(int fromRow, int toRow);
    // "Duplicate Dataset" / "Remove Dataset" for the list's current row.
    void execDatasetMenu(const QPoint& globalPos);

    // ---- Export of events, plots and statistical summaries (mainwindow_export.cpp) ----
private slots:
    void exportPlot();
    void exportData();
    void exportStatSummary();

private:
    void connectExportSignals();
    // One dataset's kept events to one new file beside its source or in the
    // chosen folder; reports its own failures, in boxes parented as progress
    // says. False when no file was written (also when the user cancelled).
    bool exportSingleDataset(const DatasetEntry* entry, const ExportOptions& options, ExportProgress& progress);
    // The gate before the dialogs of the data and summary exports: the
    // active dataset whole; false after telling the user why not (also when
    // no dataset is open).
    bool awaitDatasetsForExport(const QString& what);
    // Every dataset's columns still to come from its restored calculations:
    // the export dialogs offer them, and the export waits for them.
    ColumnsToCome columnsToCome() const;
    // The datasets an export of that scope covers: all in list order, or the
    // active one (none when there is none).
    std::vector<int> exportScopeIds(bool allDatasets) const;
    // Tells the user, after the result `done`, which datasets went out without
    // their restored calculations; false (and nothing shown) when none did.
    bool warnOfUnrestoredCalculations(const std::vector<int>& datasetIds, const QString& done);
    // The enabled effective filter of the dataset with only the rules that
    // judge its events; an empty one when its filtering is off.
    EventFilter decidingRules(const DatasetEntry& entry) const;

public:
    // The options of the last accepted dialogs of this run (not saved).
    std::optional<ExportOptions> lastExportOptions;
    std::optional<StatSummaryOptions> lastStatSummaryOptions;
};

// Defined here so that every file of the window that closes a list can use it;
// the window type must be complete where it is called.
template <typename Window>
void MainWindow::closeToolWindows(std::vector<Window*>& list)
{
    // Walk a copy: closing a window must not pull the list from under the loop.
    const std::vector<Window*> windows = list;
    list.clear();
    for (Window* window : windows) {
        disconnect(window, nullptr, this, nullptr);
        window->close();
        delete window;
    }
}

} // namespace Tessary
