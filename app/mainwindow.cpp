#include "app/mainwindow.h"

#include "app/aboutdialog.h"
#include "app/datasetviews.h"
#include "app/filtergroupmatrixwindow.h"
#include "app/helpwindow.h"
#include "calc/calculationsdockwidget.h"
#include "calc/emodulus.h"
#include "calc/flcompensation.h"
#include "calc/flrefinement.h"
#include "calc/fourierdeform.h"
#include "calc/imagefeatures.h"
#include "rtdc/rtdcreader.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filterdockwidget.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/statisticsdockwidget.h"
#include "widgets/traceplot.h"
#include "windows/combineplotwindow.h"
#include "windows/imagegallerywindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QCloseEvent>
#include <QComboBox>
#include <QDebug>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QFontMetrics>
#include <QFrame>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSettings>
#include <QSpinBox>
#include <QSplitter>
#include <QStackedWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <numeric>

namespace Tessary {

namespace {

const char* const kColorMapNames[] = {"Viridis", "Jet", "Jet+", "Plasma", "QVND", "Grayscale"};

QFrame* verticalLine()
{
    auto* line = new QFrame;
    line->setFrameShape(QFrame::VLine);
    line->setFrameShadow(QFrame::Sunken);
    return line;
}

QLabel* fixedLabel(const QString& text)
{
    auto* label = new QLabel(text);
    label->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    return label;
}

} // namespace

MainWindow::MainWindow(QWidget* parent)
    : QMainWindow(parent)
{
    preloadWatcher = new QFutureWatcher<void>(this);
    calcWatcher = new QFutureWatcher<void>(this);

    setupUi();
    setupMenus();
    setupConnections();

    setWindowTitle(QStringLiteral("Tessary - RT-DC Data Analysis"));
    resize(1400, 900);
    setAcceptDrops(true);

    if (QSettings().value(QStringLiteral("updates/checkOnStartup"), true).toBool())
        QTimer::singleShot(0, this, [this] { checkForUpdates(true); });
}

MainWindow::~MainWindow()
{
    // Background work uses the engines (children of this window) and may still
    // run; wait before anything it touches goes away.
    waitForBackgroundWork();
    closeToolWindows(combineWindows);
    closeToolWindows(statEvalWindows);
    closeToolWindows(galleryWindows);
    closeToolWindows(matrixWindows);
    pendingSession = QJsonObject();
    if (calcDockWidget)
        calcDockWidget->setActiveDataset(nullptr);
    if (filterDock)
        filterDock->setActiveDataset(nullptr);
    // The base destructor closes the window, which moves the focus: a focused
    // edit would then report its end to slots whose members are already gone.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
}

void MainWindow::waitForBackgroundWork()
{
    // A restored refinement of a large file runs for minutes: it is stopped,
    // not waited for, or the process would stay without a window meanwhile.
    stopCalculations();
    // Waiting rethrows what a task left in its future; the destructor calls
    // this, so nothing may leave here.
    for (QFutureWatcherBase* watcher : {static_cast<QFutureWatcherBase*>(preloadWatcher),
                                        static_cast<QFutureWatcherBase*>(calcWatcher)}) {
        try {
            watcher->waitForFinished();
        } catch (...) {
            qCritical().noquote() << "A background task ended with an exception.";
        }
    }
}

// ---------------------------------------------------------------------------
// Construction

void MainWindow::setupUi()
{
    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(6, 6, 6, 6);

    infoLabel = new QLabel(QStringLiteral("No file loaded. Drag and drop a .rtdc file or use File > Open."));
    infoLabel->setStyleSheet(QStringLiteral(
        "QLabel { padding: 5px; background-color: #eceef1; border: 1px solid #dcdee2; border-radius: 5px; color: #23262e; }"));
    // A long name or many details take a second line; they never widen the window.
    infoLabel->setWordWrap(true);
    // A name without spaces cannot wrap; it is cut at the label's edge rather
    // than widening the window.
    infoLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    layout->addWidget(infoLabel);

    auto* renameRow = new QHBoxLayout;
    renameEdit = new QLineEdit;
    renameEdit->setPlaceholderText(QStringLiteral("Rename dataset..."));
    renameEdit->setEnabled(false);
    renameRow->addWidget(renameEdit, 1);
    renameRow->addWidget(new QLabel(QStringLiteral("Dataset Name")));
    layout->addLayout(renameRow);

    // Plot settings.
    auto* plotSettings = new QGroupBox(QStringLiteral("Plot Settings"));
    plotSettingsGroup = plotSettings;
    auto* settingsRow = new QHBoxLayout(plotSettings);
    settingsRow->setContentsMargins(6, 6, 6, 6);
    auto* axes = new QGridLayout;
    axes->setHorizontalSpacing(4);
    axes->setVerticalSpacing(2);
    xFeatureCombo = new QComboBox;
    yFeatureCombo = new QComboBox;
    colorFeatureCombo = new QComboBox;
    const int maxComboWidth = QFontMetrics(xFeatureCombo->font()).horizontalAdvance(QStringLiteral("Position along channel axis [µm]")) + 60;
    for (QComboBox* combo : {xFeatureCombo, yFeatureCombo, colorFeatureCombo}) {
        combo->setMinimumWidth(150);
        // As wide as the longest label where there is room (the x and y boxes
        // up to their maximum); the window never widens for them.
        combo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
        combo->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        connect(combo, &QComboBox::currentTextChanged, combo, &QWidget::setToolTip);   // in full when cut
    }
    xFeatureCombo->setMaximumWidth(maxComboWidth);
    yFeatureCombo->setMaximumWidth(maxComboWidth);
    scaleXCombo = new QComboBox;
    scaleYCombo = new QComboBox;
    for (QComboBox* combo : {scaleXCombo, scaleYCombo}) {
        combo->addItems({QStringLiteral("Linear"), QStringLiteral("Log"), QStringLiteral("PseudoLog")});
        combo->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    scaleXCombo->setToolTip(QStringLiteral("X-axis scale mode"));
    scaleYCombo->setToolTip(QStringLiteral("Y-axis scale mode"));
    axes->addWidget(fixedLabel(QStringLiteral("X Axis")), 0, 0);
    axes->addWidget(xFeatureCombo, 0, 1);
    axes->addWidget(scaleXCombo, 0, 2);
    axes->addWidget(fixedLabel(QStringLiteral("Y Axis")), 1, 0);
    axes->addWidget(yFeatureCombo, 1, 1);
    axes->addWidget(scaleYCombo, 1, 2);
    axes->addWidget(fixedLabel(QStringLiteral("Color by")), 2, 0);
    axes->addWidget(colorFeatureCombo, 2, 1, 1, 2);
    axes->setRowStretch(3, 1);
    settingsRow->addLayout(axes);
    settingsRow->addWidget(verticalLine());

    auto* overlays = new QGridLayout;
    overlays->setHorizontalSpacing(4);
    overlays->setVerticalSpacing(2);
    contourModeCombo = new QComboBox;
    contourModeCombo->addItems({QStringLiteral("Off"), QStringLiteral("Overlay"), QStringLiteral("Only")});
    contourInnerSpin = new QDoubleSpinBox;
    contourOuterSpin = new QDoubleSpinBox;
    for (QDoubleSpinBox* spin : {contourInnerSpin, contourOuterSpin}) {
        spin->setRange(1, 99);
        spin->setSingleStep(5);
        spin->setSuffix(QStringLiteral("%"));
        spin->setDecimals(0);
    }
    contourInnerSpin->setValue(10);
    contourOuterSpin->setValue(67);
    isoelasticsCheck = new QCheckBox(QStringLiteral("Isoelastics"));
    isoelasticsCheck->setToolTip(QStringLiteral("Show isoelasticity lines"));
    isoelasticLabelsCheck = new QCheckBox(QStringLiteral("Labels"));
    isoelasticLabelsCheck->setToolTip(QStringLiteral("Show kPa labels on isoelasticity lines"));
    isoelasticsCheck->hide();
    isoelasticLabelsCheck->hide();
    overlays->addWidget(new QLabel(QStringLiteral("Contour Overlay")), 0, 0, 1, 2);
    overlays->addWidget(contourModeCombo, 0, 2, 1, 2);
    overlays->addWidget(new QLabel(QStringLiteral("Inner")), 1, 0);
    overlays->addWidget(contourInnerSpin, 1, 1);
    overlays->addWidget(new QLabel(QStringLiteral("Outer")), 1, 2);
    overlays->addWidget(contourOuterSpin, 1, 3);
    overlays->addWidget(isoelasticsCheck, 2, 0, 1, 2);
    overlays->addWidget(isoelasticLabelsCheck, 2, 2, 1, 2);
    settingsRow->addLayout(overlays);
    settingsRow->addWidget(verticalLine());

    auto* applyColumn = new QVBoxLayout;
    applyPlotSettingsButton = new QPushButton(QStringLiteral("Apply Plot Settings\nto All Datasets"));
    applyPlotSettingsButton->setToolTip(QStringLiteral(
        "Copy the active dataset's feature, scale, and contour settings to every other loaded dataset. "
        "Highlights when any peer differs."));
    applyPlotSettingsButton->setEnabled(false);    // nothing to copy to until a second dataset is open
    updatePlotSettingsButton();                     // sized for its highlight from the start
    applyColumn->addWidget(applyPlotSettingsButton);
    applyColumn->addStretch(1);
    settingsRow->addLayout(applyColumn);
    settingsRow->addStretch(1);
    layout->addWidget(plotSettings);

    auto* eventRow = new QHBoxLayout;
    eventSpin = new QSpinBox;
    eventSpin->setRange(0, 0);
    eventSpin->setEnabled(false);
    eventSpin->setMinimumWidth(100);
    eventRow->addWidget(new QLabel(QStringLiteral("Event:")));
    eventRow->addWidget(eventSpin);
    eventRow->addStretch(1);
    layout->addLayout(eventRow);

    // Plot on the left, event tabs on the right.
    mainSplitter = new QSplitter(Qt::Horizontal);
    auto* plotHost = new QWidget;
    auto* plotLayout = new QVBoxLayout(plotHost);
    plotLayout->setContentsMargins(0, 0, 6, 0);
    scatterPlot = new ScatterPlot;
    scatterPlot->setMinimumSize(400, 300);
    plotLayout->addWidget(scatterPlot);
    auto* tabsHost = new QWidget;
    auto* tabsLayout = new QVBoxLayout(tabsHost);
    tabsLayout->setContentsMargins(6, 0, 0, 0);
    eventTabs = new QTabWidget;
    auto* imageSplitter = new QSplitter(Qt::Vertical);
    imageViewer = new ImageViewer;
    imageViewer->setMinimumSize(100, 100);
    tracePlot = new TracePlot;
    tracePlot->hide();
    imageSplitter->addWidget(imageViewer);
    imageSplitter->addWidget(tracePlot);
    imageSplitter->setStretchFactor(0, 3);
    imageSplitter->setStretchFactor(1, 1);
    eventTabs->addTab(imageSplitter, QStringLiteral("Image"));
    eventTable = new QTableWidget(0, 2);
    eventTable->setHorizontalHeaderLabels({QStringLiteral("Feature"), QStringLiteral("Value")});
    eventTable->horizontalHeader()->setStretchLastSection(true);
    // The values are never cut: their column keeps its contents' width and a
    // long feature label is elided instead (its tooltip says it in full).
    eventTable->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
    eventTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::ResizeToContents);
    eventTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    eventTable->setSelectionMode(QAbstractItemView::SingleSelection);
    eventTable->setAlternatingRowColors(true);
    eventTable->verticalHeader()->setVisible(false);
    eventTabs->addTab(eventTable, QStringLiteral("Event Data"));
    tabsLayout->addWidget(eventTabs);
    mainSplitter->addWidget(plotHost);
    mainSplitter->addWidget(tabsHost);
    mainSplitter->setStretchFactor(0, 1);
    mainSplitter->setStretchFactor(1, 0);
    mainSplitter->setSizes({600, 260});
    layout->addWidget(mainSplitter, 1);

    setCentralWidget(central);
    setupDocks();

    flRefinement = new FLRefinement(this);
    flCompensation = new FLCompensation(this);
    emodulusEngine = new EModulus(this);
    fourierDeform = new FourierDeform(this);
    imageFeatures = new ImageFeatures(this);
}

void MainWindow::setupDocks()
{
    const auto makeDock = [this](const QString& title, QWidget* content) {
        auto* dock = new QDockWidget(title, this);
        dock->setObjectName(title);
        dock->setWidget(content);
        dock->setAllowedAreas(Qt::LeftDockWidgetArea | Qt::RightDockWidgetArea);
        dock->setFeatures(QDockWidget::DockWidgetClosable | QDockWidget::DockWidgetMovable);
        return dock;
    };

    // Datasets: list or folder tree.
    auto* datasetsPanel = new QWidget;
    auto* panelLayout = new QVBoxLayout(datasetsPanel);
    panelLayout->setContentsMargins(0, 0, 0, 0);
    panelLayout->setSpacing(2);
    auto* viewRow = new QHBoxLayout;
    viewRow->setContentsMargins(4, 2, 4, 2);
    viewRow->setSpacing(4);
    datasetViewCombo = new QComboBox;
    datasetViewCombo->addItems({QStringLiteral("List"), QStringLiteral("Folders")});
    datasetViewCombo->setSizeAdjustPolicy(QComboBox::AdjustToContents);
    datasetViewCombo->setMinimumContentsLength(8);
    folderDepthLabel = new QLabel(QStringLiteral("Depth:"));
    folderDepthSpin = new QSpinBox;
    folderDepthSpin->setRange(1, 4);
    folderDepthSpin->setToolTip(QStringLiteral("Number of parent folder levels to show"));
    viewRow->addWidget(datasetViewCombo);
    viewRow->addStretch(1);
    panelLayout->addLayout(viewRow);
    // The depth controls of the folder view take a line of their own: beside
    // the view box they would need more than the dock's minimum width, and
    // showing them would widen the dock.
    auto* depthRow = new QHBoxLayout;
    depthRow->setContentsMargins(4, 0, 4, 2);
    depthRow->setSpacing(4);
    depthRow->addStretch(1);
    depthRow->addWidget(folderDepthLabel);
    depthRow->addWidget(folderDepthSpin);
    panelLayout->addLayout(depthRow);

    auto* delegate = new HtmlItemDelegate(this);
    datasetList = new DatasetListWidget;
    datasetList->setContextMenuPolicy(Qt::CustomContextMenu);
    datasetList->setSelectionMode(QAbstractItemView::SingleSelection);
    // Drag only: the list's own drop handling takes its rows and, through
    // the window, files; nothing is inserted by the view itself.
    datasetList->setDragDropMode(QAbstractItemView::DragOnly);
    datasetList->setAcceptDrops(true);
    datasetList->setItemDelegate(delegate);
    datasetTree = new DatasetTreeWidget;
    datasetTree->setHeaderHidden(true);
    datasetTree->setSelectionMode(QAbstractItemView::SingleSelection);
    datasetTree->setContextMenuPolicy(Qt::CustomContextMenu);
    datasetTree->setItemDelegate(delegate);
    datasetTree->setDragEnabled(true);
    datasetTree->setAcceptDrops(true);
    datasetTree->setDragDropMode(QAbstractItemView::DragDrop);
    datasetTree->setDropIndicatorShown(true);
    datasetTree->setAlternatingRowColors(true);
    datasetTree->setItemsExpandable(false);
    datasetTree->setRootIsDecorated(true);
    datasetViewStack = new QStackedWidget;
    datasetViewStack->addWidget(datasetList);
    datasetViewStack->addWidget(datasetTree);
    panelLayout->addWidget(datasetViewStack, 1);

    QSettings settings;
    folderDepthSpin->setValue(std::clamp(settings.value(QStringLiteral("datasetView/depth"), 2).toInt(), 1, 4));
    const int mode = settings.value(QStringLiteral("datasetView/mode"), 0).toInt() == 1 ? 1 : 0;
    datasetViewCombo->setCurrentIndex(mode);
    datasetViewStack->setCurrentIndex(mode);
    folderDepthSpin->setVisible(mode == 1);
    folderDepthLabel->setVisible(mode == 1);

    datasetsDock = makeDock(QStringLiteral("Datasets"), datasetsPanel);
    datasetsDock->setMinimumWidth(200);
    addDockWidget(Qt::LeftDockWidgetArea, datasetsDock);

    filterDock = new FilterDockWidget;
    // Rows wider than the dock scroll inside it instead of widening the window.
    auto* filterScroll = new QScrollArea;
    filterScroll->setWidgetResizable(true);
    filterScroll->setFrameShape(QFrame::NoFrame);
    filterScroll->setWidget(filterDock);
    filtersDock = makeDock(QStringLiteral("Filters"), filterScroll);
    filtersDock->setTitleBarWidget(new QWidget);
    filtersDock->setMinimumWidth(300);
    filtersDock->setMaximumWidth(500);

    statisticsWidget = new StatisticsDockWidget;
    statisticsDock = makeDock(QStringLiteral("Plot Statistics"), statisticsWidget);
    statisticsDock->setMinimumWidth(250);

    calcDockWidget = new CalculationsDockWidget(this);
    calculationsDock = makeDock(QStringLiteral("Calculations"), calcDockWidget);
    calculationsDock->setTitleBarWidget(new QWidget);
    calculationsDock->setMinimumWidth(200);

    metadataTree = new QTreeWidget;
    metadataTree->setHeaderLabels({QStringLiteral("Parameter"), QStringLiteral("Value")});
    metadataTree->header()->setStretchLastSection(true);
    metadataDock = makeDock(QStringLiteral("Metadata"), metadataTree);
    metadataDock->setTitleBarWidget(new QWidget);
    metadataDock->setMinimumWidth(200);

    setTabPosition(Qt::RightDockWidgetArea, QTabWidget::North);
    // Split before tabbing: a dock that already sits in tabs would take the
    // statistics as one more tab instead of placing them below.
    addDockWidget(Qt::RightDockWidgetArea, filtersDock);
    splitDockWidget(filtersDock, statisticsDock, Qt::Vertical);
    tabifyDockWidget(filtersDock, calculationsDock);
    tabifyDockWidget(calculationsDock, metadataDock);
    filtersDock->raise();
    resizeDocks({filtersDock, statisticsDock}, {600, 200}, Qt::Vertical);
    // Room for the filter rows beside the plot; the plot keeps its own minimum.
    resizeDocks({datasetsDock, filtersDock}, {200, 400}, Qt::Horizontal);

    for (QDockWidget* dock : {filtersDock, calculationsDock, metadataDock})
        connect(dock, &QDockWidget::visibilityChanged, this,
                [this, dock](bool visible) { updateTabbedDockTitleBars(dock, visible); });
}

void MainWindow::updateTabbedDockTitleBars(QDockWidget* changed, bool visible)
{
    if (visible)
        QTimer::singleShot(0, changed, [changed] { changed->raise(); });
    // A lone dock shows its own title; tabbed ones let the tabs name them.
    std::vector<QDockWidget*> shown;
    for (QDockWidget* dock : {filtersDock, calculationsDock, metadataDock})
        if (dock->isVisible())
            shown.push_back(dock);
    if (shown.size() == 1) {
        if (QWidget* bar = shown.front()->titleBarWidget()) {
            shown.front()->setTitleBarWidget(nullptr);
            delete bar;
        }
    } else if (shown.size() > 1) {
        for (QDockWidget* dock : shown)
            if (!dock->titleBarWidget())
                dock->setTitleBarWidget(new QWidget);
    }
}

void MainWindow::setupMenus()
{
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    openAction = file->addAction(QStringLiteral("&Open..."));
    openAction->setShortcut(QKeySequence::Open);
    connect(openAction, &QAction::triggered, this, &MainWindow::openFile);
    file->addSeparator();
    saveSessionAction = file->addAction(QStringLiteral("&Save Session..."));
    saveSessionAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+S")));
    loadSessionAction = file->addAction(QStringLiteral("&Load Session..."));
    loadSessionAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+O")));
    file->addSeparator();
    clearSessionAction = file->addAction(QStringLiteral("&Clear Session"));
    file->addSeparator();
    QAction* exitAction = file->addAction(QStringLiteral("E&xit"));
    exitAction->setShortcut(QKeySequence::Quit);
    connect(exitAction, &QAction::triggered, this, &QWidget::close);

    QMenu* exportMenu = menuBar()->addMenu(QStringLiteral("&Export"));
    exportPlotAction = exportMenu->addAction(QStringLiteral("Export &Plot..."));
    exportPlotAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+E")));
    exportDataAction = exportMenu->addAction(QStringLiteral("Export &Data..."));
    exportDataAction->setShortcut(QKeySequence(QStringLiteral("Ctrl+Shift+E")));
    exportStatSummaryAction = exportMenu->addAction(QStringLiteral("Export Statistical &Summary..."));

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    for (QDockWidget* dock : {datasetsDock, filtersDock, calculationsDock, metadataDock, statisticsDock})
        view->addAction(dock->toggleViewAction());

    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tool Windows"));
    connect(tools->addAction(QStringLiteral("New &Combine Plot...")), &QAction::triggered, this, &MainWindow::openCombinePlotWindow);
    connect(tools->addAction(QStringLiteral("New &Statistical Evaluation...")), &QAction::triggered, this, &MainWindow::openStatisticalEvalWindow);
    connect(tools->addAction(QStringLiteral("New &Image Gallery...")), &QAction::triggered, this, &MainWindow::openImageGalleryWindow);
    filterGroupsMatrixAction = tools->addAction(QStringLiteral("Filter Groups &Matrix..."));

    QMenu* settingsMenu = menuBar()->addMenu(QStringLiteral("&Settings"));
    QMenu* colorMaps = settingsMenu->addMenu(QStringLiteral("Color &Map"));
    colorMapGroup = new QActionGroup(this);
    colorMapGroup->setExclusive(true);
    QSettings settings;
    currentColorMapIndex = settings.value(QStringLiteral("settings/colorMapIndex"), 0).toInt();
    if (currentColorMapIndex < 0 || currentColorMapIndex > 5)
        currentColorMapIndex = 0;
    for (int i = 0; i < 6; ++i) {
        QAction* action = colorMaps->addAction(QString::fromLatin1(kColorMapNames[i]));
        action->setCheckable(true);
        action->setData(i);
        action->setChecked(i == currentColorMapIndex);
        colorMapGroup->addAction(action);
    }
    scatterPlot->setColorMap(currentColorMapIndex);
    connect(colorMapGroup, &QActionGroup::triggered, this, [this](QAction* action) {
        currentColorMapIndex = action->data().toInt();
        QSettings().setValue(QStringLiteral("settings/colorMapIndex"), currentColorMapIndex);
        scatterPlot->setColorMap(currentColorMapIndex);
        const std::vector<CombinePlotWindow*> windows = combineWindows;
        for (CombinePlotWindow* w : windows)
            w->refresh();
    });
    settingsMenu->addSeparator();
    checkOnStartupAction = settingsMenu->addAction(QStringLiteral("Check for Updates on Startup"));
    checkOnStartupAction->setCheckable(true);
    checkOnStartupAction->setChecked(settings.value(QStringLiteral("updates/checkOnStartup"), true).toBool());
    connect(checkOnStartupAction, &QAction::toggled, this,
            [](bool on) { QSettings().setValue(QStringLiteral("updates/checkOnStartup"), on); });

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    manualAction = help->addAction(QStringLiteral("&Manual"));
    manualAction->setShortcut(QKeySequence::HelpContents);
    connect(manualAction, &QAction::triggered, this, [this] { openManual(this); });
    help->addSeparator();
    connect(help->addAction(QStringLiteral("Check for &Updates...")), &QAction::triggered, this, [this] { checkForUpdates(false); });
    connect(help->addAction(QStringLiteral("Send &Feedback...")), &QAction::triggered, this,
            [this] { sendFeedback(QString(), QString()); });
    help->addSeparator();
    aboutAction = help->addAction(QStringLiteral("&About"));
    connect(aboutAction, &QAction::triggered, this, [this] {
        AboutDialog about(this);
        about.exec();
    });

    calcDockWidget->setExtraSectionsVisible(false);
}

void MainWindow::setupConnections()
{
    connect(renameEdit, &QLineEdit::editingFinished, this, &MainWindow::onRenameFinished);
    connectExportSignals();

    connect(calcDockWidget, &CalculationsDockWidget::refineFluorescence, this, &MainWindow::onRefineFluorescence);
    connect(calcDockWidget, &CalculationsDockWidget::compensateCrosstalk, this, &MainWindow::onCompensateCrosstalk);
    connect(calcDockWidget, &CalculationsDockWidget::computeEmodulus, this, &MainWindow::onComputeEmodulus);
    connect(calcDockWidget, &CalculationsDockWidget::assessEmodQuality, this, &MainWindow::onAssessEmodQuality);
    connect(calcDockWidget, &CalculationsDockWidget::computeFourierDeform, this, &MainWindow::onComputeFourierDeform);
    connect(calcDockWidget, &CalculationsDockWidget::computeImageFeatures, this, &MainWindow::onComputeImageFeatures);
    connect(calcDockWidget, &CalculationsDockWidget::computeDimReduction, this, &MainWindow::onComputeDimReduction);
    connect(calcDockWidget, &CalculationsDockWidget::saveDimRedReference, this, &MainWindow::onSaveDimRedReference);
    connect(calcDockWidget, &CalculationsDockWidget::loadDimRedReference, this, &MainWindow::onLoadDimRedReference);

    for (QComboBox* combo : {xFeatureCombo, yFeatureCombo, colorFeatureCombo})
        connect(combo, &QComboBox::currentIndexChanged, this, &MainWindow::updateFeatureSelection);
    connect(applyPlotSettingsButton, &QPushButton::clicked, this, &MainWindow::onApplyPlotSettingsToAll);
    connect(preloadWatcher, &QFutureWatcher<void>::finished, this, &MainWindow::onFeaturesLoaded);
    connect(calcWatcher, &QFutureWatcher<void>::finished, this, &MainWindow::onCalcFinished);
    connect(datasetList, &QListWidget::currentRowChanged, this, &MainWindow::onDatasetSelected);
    connect(datasetList, &QWidget::customContextMenuRequested, this, [this](const QPoint& pos) {
        if (datasetList->currentRow() < 0)
            return;
        execDatasetMenu(datasetList->viewport()->mapToGlobal(pos));
    });

    connect(datasetViewCombo, &QComboBox::currentIndexChanged, this, [this](int index) {
        const bool folders = index == 1;
        folderDepthSpin->setVisible(folders);
        folderDepthLabel->setVisible(folders);
        datasetViewStack->setCurrentIndex(folders ? 1 : 0);
        QSettings().setValue(QStringLiteral("datasetView/mode"), folders ? 1 : 0);
    });
    connect(folderDepthSpin, &QSpinBox::valueChanged, this,
            [](int depth) { QSettings().setValue(QStringLiteral("datasetView/depth"), depth); });
    connect(datasetTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* current) {
        if (treeRebuilding || !current)
            return;
        const QVariant id = current->data(0, Qt::UserRole);
        if (!id.isValid())
            return;   // a folder
        for (size_t i = 0; i < datasetEntries.size(); ++i)
            if (datasetEntries[i]->id == id.toInt())
                switchToDataset(int(i));
    });

    connect(filterDock, &FilterDockWidget::filterChanged, this, &MainWindow::onFilterChanged);
    connect(filterDock, &FilterDockWidget::polygonDrawRequested, this, &MainWindow::beginPolygonDrawing);
    connect(filterDock, &FilterDockWidget::polygonDrawCancelRequested, scatterPlot, &ScatterPlot::cancelPolygonDrawing);
    connectGroupSignals();
    connectEventSignals();
    connectPolygonSignals();

    connect(isoelasticsCheck, &QCheckBox::toggled, this, [this] { updateIsoelastics(); });
    connect(isoelasticLabelsCheck, &QCheckBox::toggled, this, [this] { updateIsoelastics(); });
    connect(contourModeCombo, &QComboBox::currentIndexChanged, this, &MainWindow::updateContours);
    connect(contourInnerSpin, &QDoubleSpinBox::valueChanged, this, &MainWindow::updateContours);
    connect(contourOuterSpin, &QDoubleSpinBox::valueChanged, this, &MainWindow::updateContours);
    connect(scaleXCombo, &QComboBox::currentIndexChanged, this, [this](int mode) {
        scatterPlot->setScaleMode(2, mode);   // bottom axis
        updatePlot();
    });
    connect(scaleYCombo, &QComboBox::currentIndexChanged, this, [this](int mode) {
        scatterPlot->setScaleMode(0, mode);   // left axis
        updatePlot();
    });

    connectViewSignals();
    connectSessionSignals();
}

// ---------------------------------------------------------------------------
// Datasets as other windows see them

DatasetEntry* MainWindow::findDatasetById(int id) const
{
    for (const auto& entry : datasetEntries)
        if (entry->id == id)
            return entry.get();
    return nullptr;
}

std::vector<int> MainWindow::datasetIds() const
{
    std::vector<int> ids;
    for (const auto& entry : datasetEntries)
        ids.push_back(entry->id);
    return ids;
}

int MainWindow::datasetRowById(int id) const
{
    for (size_t row = 0; row < datasetEntries.size(); ++row)
        if (datasetEntries[row]->id == id)
            return int(row);
    return -1;
}

DatasetEntry* MainWindow::findDatasetByPath(const std::string& path) const
{
    for (const auto& entry : datasetEntries)
        if (entry->filePath == path)
            return entry.get();
    return nullptr;
}

DatasetEntry* MainWindow::activeEntry() const
{
    return activeDatasetIndex >= 0 && activeDatasetIndex < int(datasetEntries.size())
               ? datasetEntries[size_t(activeDatasetIndex)].get()
               : nullptr;
}

int MainWindow::activeDatasetId() const
{
    const DatasetEntry* ds = activeEntry();
    return ds ? ds->id : -1;
}

bool MainWindow::datasetFolderViewActive() const
{
    return datasetViewStack && datasetViewStack->currentIndex() == 1;
}

int MainWindow::datasetFolderDepth() const
{
    return folderDepthSpin ? folderDepthSpin->value() : 2;
}

std::vector<int> MainWindow::filteredEventIndices(int datasetId, bool applyWhenDisabled)
{
    const DatasetEntry* ds = findDatasetById(datasetId);
    if (!ds || !isDatasetWhole(datasetId))
        return {};
    const size_t n = size_t(ds->reader->eventCount());
    const EventFilter filter = buildEffectiveFilter(ds);
    if (filter.ruleCount() == 0 || (!filter.isEnabled() && !applyWhenDisabled)) {
        std::vector<int> all(n);
        std::iota(all.begin(), all.end(), 0);
        return all;
    }
    return filter.apply(filterColumns(filter, *ds), n);
}

FeatureColumns MainWindow::filterColumns(const EventFilter& filter, const DatasetEntry& ds) const
{
    FeatureColumns columns;
    for (const std::string& name : filter.usedFeatures())
        if (hasOwnColumn(ds, name))
            columns[name] = &ds.reader->readFeature(name);
    return columns;
}

bool MainWindow::hasOwnColumn(const DatasetEntry& ds, const std::string& name) const
{
    if (!ds.reader || !ds.reader->hasFeature(name))
        return false;
    const std::vector<std::string> withheld = unrestoredColumns(ds);
    return std::find(withheld.begin(), withheld.end(), name) == withheld.end();
}

int MainWindow::addFilterGroup(const std::string& name)
{
    return groups.addFilterGroup(datasetEntries, name);
}

void MainWindow::setGroupEnabled(int datasetId, int groupId, bool enabled)
{
    if (FilterGroupRegistry::setGroupEnabled(datasetEntries, datasetId, groupId, enabled))
        updatePlot();
}

void MainWindow::setGroupEnabledInAll(int groupId, bool enabled)
{
    FilterGroupRegistry::setGroupEnabledInAll(datasetEntries, groupId, enabled);
    updatePlot();
}

// ---------------------------------------------------------------------------
// Tool windows

template <typename Window>
void MainWindow::trackToolWindow(std::vector<Window*>& list, Window* window)
{
    list.push_back(window);
    connect(window, &Window::windowClosed, this, [this, &list](Window* closed) {
        const auto it = std::find(list.begin(), list.end(), closed);
        if (it != list.end())
            list.erase(it);
        closed->deleteLater();
    });
    window->show();
}

// The matrix windows are opened in mainwindow_views.cpp.
template void MainWindow::trackToolWindow(std::vector<FilterGroupsMatrixWindow*>&, FilterGroupsMatrixWindow*);


void MainWindow::openCombinePlotWindow()
{
    trackToolWindow(combineWindows, new CombinePlotWindow(this));
}

void MainWindow::openStatisticalEvalWindow()
{
    trackToolWindow(statEvalWindows, new StatisticalEvalWindow(this));
}

void MainWindow::openImageGalleryWindow()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds) {
        QMessageBox::information(this, QStringLiteral("Image Gallery"),
                                 QStringLiteral("Open a dataset before launching the image gallery."));
        return;
    }
    if (!ds->reader || !ds->reader->hasImage()) {
        QMessageBox::information(this, QStringLiteral("Image Gallery"),
                                 QStringLiteral("The active dataset has no event images."));
        return;
    }
    trackToolWindow(galleryWindows, new ImageGalleryWindow(this, ds->id));
}

void MainWindow::notifyDatasetRenamed(int datasetId, const QString& name)
{
    for (CombinePlotWindow* w : std::vector<CombinePlotWindow*>(combineWindows))
        w->onDatasetRenamed(datasetId, name);
    for (StatisticalEvalWindow* w : std::vector<StatisticalEvalWindow*>(statEvalWindows))
        w->onDatasetRenamed(datasetId, name);
    for (ImageGalleryWindow* w : std::vector<ImageGalleryWindow*>(galleryWindows))
        w->onDatasetRenamed(datasetId, name);
}

void MainWindow::notifyDatasetRemoved(int datasetId)
{
    // Copies: a gallery of that dataset closes itself and leaves its list meanwhile.
    for (CombinePlotWindow* w : std::vector<CombinePlotWindow*>(combineWindows))
        w->onDatasetRemoved(datasetId);
    for (StatisticalEvalWindow* w : std::vector<StatisticalEvalWindow*>(statEvalWindows))
        w->onRemoveDataset(datasetId);
    for (ImageGalleryWindow* w : std::vector<ImageGalleryWindow*>(galleryWindows))
        w->onDatasetRemoved(datasetId);
}

void MainWindow::notifyActiveDatasetChanged(int datasetId)
{
    for (ImageGalleryWindow* w : std::vector<ImageGalleryWindow*>(galleryWindows))
        w->onActiveDatasetChanged(datasetId);
}

void MainWindow::refreshToolWindows()
{
    for (CombinePlotWindow* w : std::vector<CombinePlotWindow*>(combineWindows))
        w->refresh();
    for (StatisticalEvalWindow* w : std::vector<StatisticalEvalWindow*>(statEvalWindows))
        w->onFeaturesChanged();
    for (ImageGalleryWindow* w : std::vector<ImageGalleryWindow*>(galleryWindows))
        w->refresh();
}

// ---------------------------------------------------------------------------
// Closing

void MainWindow::closeEvent(QCloseEvent* event)
{
    // Quitting: the running calculation ends now, and nothing it or a
    // preload would report afterwards reaches the user.
    stopCalculations();
    closeToolWindows(combineWindows);
    closeToolWindows(statEvalWindows);
    closeToolWindows(galleryWindows);
    closeToolWindows(matrixWindows);
    QMainWindow::closeEvent(event);
}

} // namespace Tessary
