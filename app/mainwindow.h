#pragma once

#include "app/datasetentry.h"
#include "app/filtergroupregistry.h"
#include "rtdc/eventfilter.h"

#include <QFutureWatcher>
#include <QJsonArray>
#include <QJsonObject>
#include <QMainWindow>
#include <QMap>
#include <QStringList>

#include <functional>
#include <memory>
#include <string>
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
class FeedbackSender;
class FilterDockWidget;
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
// settings, wiring, tool windows, closing), mainwindow_calc.cpp (calculation
// actions), mainwindow_errors.cpp (the error box), mainwindow_help.cpp (update
// check, feedback report, manual and about box).
class MainWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // Channel numbers, ascending, of the reader's "fl<N>_max" features.
    static std::vector<int> fluorescenceChannels(const RTDCReader* reader);

    // The indices of the dataset's events that its effective filter keeps:
    // every event when the filter is off or has no rules (unless
    // applyWhenDisabled, which the statistics use), none for an unknown id.
    std::vector<int> filteredEventIndices(int datasetId, bool applyWhenDisabled) const;

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

    // Starts one calculation: work on the global thread pool, completion on
    // the GUI thread. False (and nothing runs) while another one runs.
    bool startCalculation(std::function<void()> work, std::function<void()> completion);
    bool calculationRunning() const { return calcRunning; }
    // Waits for the background preload and calculation (used before closing).
    void waitForBackgroundWork();

public slots:
    void onUnhandledException(QString title, QString message);

    DatasetEntry* findDatasetByPath(const std::string& path) const;
    DatasetEntry* findDatasetById(int id) const;
    std::vector<std::unique_ptr<DatasetEntry>>& datasets() { return datasetEntries; }
    int activeDatasetId() const;
    bool datasetFolderViewActive() const;
    int datasetFolderDepth() const;
    void saveCurrentDatasetState();

    std::vector<std::unique_ptr<FilterGroup>>& filterGroups() { return groups.filterGroups(); }
    FilterGroup* findFilterGroupById(int id) const { return groups.findFilterGroupById(id); }
    int addFilterGroup(const std::string& name = std::string());
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
    void updateFeatureSelection();
    void onFeaturesLoaded();
    void onDatasetSelected(int row);
    void onFilterChanged();
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
    void updatePlot();
    void updateIsoelastics();
    void onApplyPlotSettingsToAll();
    void updateDeformationSources();
    DatasetEntry* activeEntry() const;
    // Shared checks of the calculation slots: the active, loaded dataset, or
    // null after telling the user why not.
    DatasetEntry* calculationTarget(const QString& title);
    void connectProgress(QObject* engine);
    // The common frame of the calculation slots: progress, the pool task on
    // the dataset's reader, and a completion that finds the dataset by id.
    void launchCalculation(DatasetEntry* ds, QObject* engine, const QString& title, const QString& failure,
                           std::function<bool(RTDCReader*)> compute, std::function<void(DatasetEntry*)> markApplied,
                           std::function<bool(const std::string&)> zoomReset);
    template <typename Window> void trackToolWindow(std::vector<Window*>& list, Window* window);
    template <typename Window> void closeToolWindows(std::vector<Window*>& list);

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
    std::vector<double> plotX, plotY, plotColor;
    QString xAxisTitle, yAxisTitle, colorAxisTitle;
    std::string lastPlotXFeature, lastPlotYFeature, lastPlotColorFeature;
    int lastPlotDatasetIndex = -1;
    std::function<void()> nextPlotHook;             // called once by the next plot update
    std::function<bool(const std::string&)> zoomResetRequest;   // axes whose zoom the next plot resets
    std::vector<int> plottedEventIndices;
    bool lastPlotFiltered = false;

    UpdateChecker* updateChecker = nullptr;     // made by the first check
    bool lastCheckSilent = false;
    FeedbackSender* feedbackSender = nullptr;   // made by the first report
    bool errorDialogOpen = false;

    QFutureWatcher<void>* preloadWatcher = nullptr;
    bool preloadRunning = false;
    int preloadingIndex = -1;
    std::vector<int> preloadQueue;

    QFutureWatcher<void>* calcWatcher = nullptr;
    bool calcRunning = false;
    std::function<void()> calcCompletion;

    QStringList pendingPaths;
    QJsonArray sessionLoadQueue;

    int currentColorMapIndex = 0;
    QActionGroup* colorMapGroup = nullptr;
    int nextDatasetId = 0;
    FilterGroupRegistry groups;
    int polygonGroupId = -1;

    std::vector<CombinePlotWindow*> combineWindows;
    std::vector<StatisticalEvalWindow*> statEvalWindows;
    std::vector<ImageGalleryWindow*> galleryWindows;
    std::vector<QMainWindow*> matrixWindows;   // filter-group matrix windows, once they exist

    QJsonObject pendingSession;
    bool restoringSession = false;
    QMap<int, int> sessionIndexToId;

    // Menu actions whose operations other parts of the window provide; they
    // stay disabled until those operations are connected.
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
};

} // namespace Tessary
