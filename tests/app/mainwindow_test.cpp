#include "app/mainwindow.h"

#include "app/applicationstyle.h"
#include "calc/calculationsdockwidget.h"
#include "common/widgetlook.h"
#include "mainwindowtesting.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filterdockwidget.h"
#include "widgets/traceplot.h"
#include "windows/combineplotwindow.h"
#include "windows/imagegallerywindow.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDockWidget>
#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScopeGuard>
#include <QSpinBox>
#include <QStackedWidget>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

using namespace Tessary;

namespace {

class MainWindowTest : public ::testing::Test
{
protected:
    void SetUp() override { Testing::isolateSettings(); }

    static QMenu* menu(MainWindow& w, const QString& title)
    {
        for (QAction* a : w.menuBar()->actions())
            if (a->text() == title)
                return a->menu();
        return nullptr;
    }

    static QStringList actionTexts(QMenu* m)
    {
        QStringList texts;
        for (QAction* a : m->actions())
            texts << (a->isSeparator() ? QStringLiteral("-") : a->text());
        return texts;
    }

    static void waitForCalculation(MainWindow& w)
    {
        w.calcWatcher->waitForFinished();
        QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

    Fixtures::TempDir dir;
};

} // namespace

TEST_F(MainWindowTest, BuildsTheTitledWindowAtItsSize)
{
    MainWindow w;
    EXPECT_EQ(w.windowTitle(), "Tessary - RT-DC Data Analysis");
    EXPECT_EQ(w.size(), QSize(1400, 900));
    EXPECT_TRUE(w.acceptDrops());
    EXPECT_EQ(w.infoLabel->text(), "No file loaded. Drag and drop a .rtdc file or use File > Open.");
    EXPECT_EQ(w.activeDatasetId(), -1);
    EXPECT_FALSE(w.renameEdit->isEnabled());
    EXPECT_FALSE(w.applyPlotSettingsButton->isEnabled());
    ASSERT_NE(w.tracePlot, nullptr);
    EXPECT_TRUE(w.tracePlot->isHidden());
    EXPECT_TRUE(w.isoelasticsCheck->isHidden());
}

TEST_F(MainWindowTest, MenusAndDockTogglesInOrder)
{
    MainWindow w;
    QStringList titles;
    for (QAction* a : w.menuBar()->actions())
        titles << a->text();
    EXPECT_EQ(titles, (QStringList{"&File", "&Export", "&View", "&Tool Windows", "&Settings", "&Help"}));
    EXPECT_EQ(actionTexts(menu(w, "&View")),
              (QStringList{"Datasets", "Filters", "Calculations", "Metadata", "Plot Statistics"}));
    EXPECT_EQ(actionTexts(menu(w, "&Tool Windows")),
              (QStringList{"New &Combine Plot...", "New &Statistical Evaluation...", "New &Image Gallery...",
                           "Filter Groups &Matrix..."}));
    EXPECT_EQ(actionTexts(menu(w, "&Help")), (QStringList{"&Manual", "-", "Check for &Updates...", "Send &Feedback...",
                                                          "-", "&About"}));
    EXPECT_EQ(menu(w, "&File")->actions().first()->shortcut(), QKeySequence(QKeySequence::Open));
}

TEST_F(MainWindowTest, StoredColorMapOutOfRangeFallsBackToViridis)
{
    QSettings().setValue("settings/colorMapIndex", 9);
    MainWindow w;
    EXPECT_EQ(w.colorMapIndex(), 0);
    ASSERT_TRUE(w.colorMapGroup->checkedAction());
    EXPECT_EQ(w.colorMapGroup->checkedAction()->text(), "Viridis");
}

TEST_F(MainWindowTest, ChoosingAColorMapStoresIt)
{
    MainWindow w;
    QAction* plasma = w.colorMapGroup->actions().at(3);
    plasma->trigger();
    EXPECT_EQ(w.colorMapIndex(), 3);
    EXPECT_EQ(QSettings().value("settings/colorMapIndex").toInt(), 3);
    MainWindow again;
    EXPECT_EQ(again.colorMapGroup->checkedAction()->text(), "Plasma");
}

TEST_F(MainWindowTest, FolderViewAndClampedDepthComeFromSettings)
{
    QSettings().setValue("datasetView/mode", 1);
    QSettings().setValue("datasetView/depth", 7);
    MainWindow w;
    EXPECT_TRUE(w.datasetFolderViewActive());
    EXPECT_EQ(w.datasetFolderDepth(), 4);
    EXPECT_FALSE(w.folderDepthSpin->isHidden());
    EXPECT_FALSE(w.folderDepthLabel->isHidden());

    w.datasetViewCombo->setCurrentIndex(0);
    EXPECT_FALSE(w.datasetFolderViewActive());
    EXPECT_TRUE(w.folderDepthSpin->isHidden());
    EXPECT_EQ(QSettings().value("datasetView/mode").toInt(), 0);
    w.folderDepthSpin->setValue(3);
    EXPECT_EQ(QSettings().value("datasetView/depth").toInt(), 3);
}

TEST_F(MainWindowTest, OtherViewModesMeanTheList)
{
    QSettings().setValue("datasetView/mode", 5);
    QSettings().setValue("datasetView/depth", -2);
    MainWindow w;
    EXPECT_FALSE(w.datasetFolderViewActive());
    EXPECT_EQ(w.datasetFolderDepth(), 1);
    EXPECT_TRUE(w.folderDepthSpin->isHidden());
}

TEST_F(MainWindowTest, UncheckingStartupCheckStoresFalse)
{
    MainWindow w;
    EXPECT_TRUE(w.checkOnStartupAction->isChecked());
    w.checkOnStartupAction->trigger();
    EXPECT_FALSE(QSettings().value("updates/checkOnStartup").toBool());
}

TEST_F(MainWindowTest, ManualUpdateCheckWithoutServerSaysSo)
{
    MainWindow w;
    Testing::MessageBoxCatcher box;
    box.arm();
    w.checkForUpdates(false);
    EXPECT_TRUE(QTest::qWaitFor([&box] { return box.seen == 1; }));
    EXPECT_EQ(box.title, "Check for Updates");
    EXPECT_TRUE(box.text.contains("No update server is configured"));

    Testing::MessageBoxCatcher silent;
    silent.arm();
    w.checkForUpdates(true);   // nothing to show, nothing sent
    QCoreApplication::processEvents();
    EXPECT_EQ(silent.seen, 0);
    EXPECT_TRUE(w.lastCheckSilent);
}

TEST_F(MainWindowTest, ErrorBoxShowsOnceAndOffersFeedback)
{
    MainWindow w;
    Testing::MessageBoxCatcher box;
    // A second error while the box is open is dropped (it returns at once).
    box.whileShown = [&w] { w.onUnhandledException("Unexpected Error", "second"); };
    box.arm();
    w.onUnhandledException("Unexpected Error", "boom");
    EXPECT_EQ(box.seen, 1);
    EXPECT_EQ(box.title, "Unexpected Error");
    EXPECT_EQ(box.text, "An unexpected error occurred:\n\nboom\n\nYou can send a diagnostic report to help us fix this.");
    EXPECT_EQ(box.buttons, (QStringList{"Send Feedback...", "Close"}));
    EXPECT_FALSE(w.errorDialogOpen);
}

TEST_F(MainWindowTest, ClosingAToolWindowRemovesExactlyThatOne)
{
    MainWindow w;
    QMetaObject::invokeMethod(&w, "openCombinePlotWindow");
    QMetaObject::invokeMethod(&w, "openCombinePlotWindow");
    ASSERT_EQ(w.combinePlotWindows().size(), 2u);
    CombinePlotWindow* first = w.combinePlotWindows()[0];
    CombinePlotWindow* second = w.combinePlotWindows()[1];
    first->close();
    EXPECT_EQ(w.combinePlotWindows(), std::vector<CombinePlotWindow*>{second});
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(MainWindowTest, ClosingTheMainWindowClosesEveryToolWindow)
{
    Fixtures::StandardOptions images;
    images.images = true;
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 20, images);
    MainWindow w;
    Testing::addLoadedDataset(w, dir.file("a.rtdc"), "A");
    QMetaObject::invokeMethod(&w, "openImageGalleryWindow");
    QMetaObject::invokeMethod(&w, "openImageGalleryWindow");
    QMetaObject::invokeMethod(&w, "openCombinePlotWindow");
    QMetaObject::invokeMethod(&w, "openStatisticalEvalWindow");
    ASSERT_EQ(w.imageGalleryWindows().size(), 2u);
    QPointer<ImageGalleryWindow> gallery = w.imageGalleryWindows()[0];
    QPointer<StatisticalEvalWindow> eval = w.statisticalEvalWindows()[0];
    w.show();
    EXPECT_TRUE(w.close());
    EXPECT_TRUE(w.imageGalleryWindows().empty());
    EXPECT_TRUE(w.combinePlotWindows().empty());
    EXPECT_TRUE(w.statisticalEvalWindows().empty());
    EXPECT_TRUE(gallery.isNull());   // deleted at once, not later
    EXPECT_TRUE(eval.isNull());
}

TEST_F(MainWindowTest, ImageGalleryNeedsADatasetWithImages)
{
    MainWindow w;
    Testing::MessageBoxCatcher none;
    none.arm();
    QMetaObject::invokeMethod(&w, "openImageGalleryWindow");
    EXPECT_EQ(none.title, "Image Gallery");
    EXPECT_EQ(none.text, "Open a dataset before launching the image gallery.");

    Fixtures::writeStandardMeasurement(dir.file("plain.rtdc"), 5);
    Testing::addLoadedDataset(w, dir.file("plain.rtdc"), "plain");
    Testing::MessageBoxCatcher noImages;
    noImages.arm();
    QMetaObject::invokeMethod(&w, "openImageGalleryWindow");
    EXPECT_EQ(noImages.text, "The active dataset has no event images.");
    EXPECT_TRUE(w.imageGalleryWindows().empty());
}

TEST_F(MainWindowTest, LoneTabbedDockShowsItsOwnTitleBar)
{
    MainWindow w;
    w.show();
    QCoreApplication::processEvents();
    EXPECT_NE(w.metadataDock->titleBarWidget(), nullptr);
    w.filtersDock->hide();
    w.calculationsDock->hide();
    w.metadataDock->show();
    QCoreApplication::processEvents();
    EXPECT_EQ(w.metadataDock->titleBarWidget(), nullptr);
    w.filtersDock->show();
    QCoreApplication::processEvents();
    EXPECT_NE(w.metadataDock->titleBarWidget(), nullptr);
    EXPECT_NE(w.filtersDock->titleBarWidget(), nullptr);
}

TEST_F(MainWindowTest, ExpertSectionsOfTheCalculationsPanelStayHidden)
{
    MainWindow w;
    EXPECT_FALSE(w.calcDock()->extraSectionsVisible());
    EXPECT_EQ(w.expertModeAction, nullptr);
    EXPECT_EQ(w.calcDock()->emodulusParams().deformFeature, "deform");
}

TEST_F(MainWindowTest, FluorescenceChannelsFromPeakFeatureNames)
{
    Fixtures::RtdcFileBuilder b;
    const std::vector<float> v{1.f, 2.f};
    for (const char* name : {"fl10_max", "fl2_max", "fl_max", "flx_max", "fl3_maximum", "fl3_max_ctc", "area_um"})
        b.feature(name, v);
    b.attribute("setup:module composition", "Vireon");
    b.write(dir.file("f.rtdc"));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("f.rtdc")));
    EXPECT_EQ(MainWindow::fluorescenceChannels(&reader), (std::vector<int>{2, 10}));
    EXPECT_TRUE(MainWindow::fluorescenceChannels(nullptr).empty());
}

TEST_F(MainWindowTest, OneCalculationAtATimeCompletingOnTheGuiThread)
{
    MainWindow w;
    std::atomic<bool> release{false};
    QThread* completedOn = nullptr;
    int completions = 0;
    ASSERT_TRUE(w.startCalculation([&release] { while (!release) std::this_thread::sleep_for(std::chrono::milliseconds(1)); },
                                   [&] { completedOn = QThread::currentThread(); ++completions; }));
    EXPECT_FALSE(w.startCalculation([] {}, [&] { ++completions; }));   // dropped
    release = true;
    waitForCalculation(w);
    EXPECT_EQ(completions, 1);
    EXPECT_EQ(completedOn, QThread::currentThread());
    EXPECT_FALSE(w.calculationRunning());
}

TEST_F(MainWindowTest, DestructionWaitsForARunningCalculation)
{
    std::atomic<bool> finished{false};
    {
        MainWindow w;
        w.startCalculation([&finished] {
            std::this_thread::sleep_for(std::chrono::milliseconds(150));
            finished = true;
        }, [] {});
    }
    EXPECT_TRUE(finished);
}

TEST_F(MainWindowTest, CalculationThatThrowsIsReportedAndLeavesNothingToRethrow)
{
    {
        MainWindow w;
        Testing::MessageBoxCatcher box;
        box.arm();
        bool completed = false;
        ASSERT_TRUE(w.startCalculation([] { throw std::out_of_range("stoi"); }, [&completed] { completed = true; }));
        waitForCalculation(w);
        EXPECT_EQ(box.title, "Calculation Error");
        EXPECT_TRUE(box.text.contains("stoi")) << box.text.toStdString();
        EXPECT_TRUE(completed);   // it gives the controls back
        EXPECT_FALSE(w.calculationRunning());
    }   // the destructor waits for the task once more
    SUCCEED();
}

TEST_F(MainWindowTest, CrosstalkCompensationFromThePanelMarksTheDataset)
{
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 40);
    MainWindow w;
    DatasetEntry* ds = Testing::addLoadedDataset(w, dir.file("m.rtdc"), "M");
    w.updateCalculationControls();
    ASSERT_EQ(w.calcDock()->crosstalkChannels(), (std::vector<int>{1, 2}));
    emit w.calcDock()->compensateCrosstalk();
    waitForCalculation(w);
    EXPECT_TRUE(ds->ctcApplied);
    EXPECT_EQ(ds->ctcChannels, (std::vector<int>{1, 2}));
    EXPECT_EQ(ds->spilloverMatrix.rows(), 2u);
    EXPECT_TRUE(ds->reader->hasFeature("fl2_max_ctc"));
    // The buttons that were off while it ran are offered again.
    bool compensateOffered = false;
    for (const QPushButton* b : w.calcDock()->findChildren<QPushButton*>())
        if (b->text() == QStringLiteral("Compensate Crosstalk"))
            compensateOffered = b->isEnabled();
    EXPECT_TRUE(compensateOffered);
    // The completion's zoom request is taken by the plot update that follows.
    EXPECT_FALSE(w.zoomResetHook);
    EXPECT_TRUE(w.plottedIndicesValid);
}

TEST_F(MainWindowTest, CalculationOutlivingItsDatasetTouchesNothing)
{
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 40);
    MainWindow w;
    DatasetEntry* ds = Testing::addLoadedDataset(w, dir.file("m.rtdc"), "M");
    std::weak_ptr<RTDCReader> reader = ds->reader;
    w.updateCalculationControls();
    emit w.calcDock()->compensateCrosstalk();
    // The dataset goes while the task may still run; the task holds the reader.
    w.calcDock()->setActiveDataset(nullptr);
    w.datasets().clear();
    w.activeDatasetIndex = -1;
    waitForCalculation(w);
    EXPECT_FALSE(w.calculationRunning());
    EXPECT_TRUE(reader.expired());
}

TEST_F(MainWindowTest, SingularSpilloverIsReportedAndNothingMarked)
{
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 10);
    MainWindow w;
    DatasetEntry* ds = Testing::addLoadedDataset(w, dir.file("m.rtdc"), "M");
    w.updateCalculationControls();
    SpilloverMatrix ones(2, 2);
    for (size_t i = 0; i < 2; ++i)
        for (size_t j = 0; j < 2; ++j)
            ones(i, j) = 1.0;
    w.calcDock()->setCrosstalkMatrix(ones, {1, 2});
    Testing::MessageBoxCatcher box;
    box.arm();
    emit w.calcDock()->compensateCrosstalk();
    w.calcWatcher->waitForFinished();
    for (int i = 0; i < 100 && box.seen == 0; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_EQ(box.title, "Compensate Crosstalk");
    EXPECT_FALSE(ds->ctcApplied);
    EXPECT_FALSE(ds->reader->hasFeature("fl1_max_ctc"));
}

TEST_F(MainWindowTest, FilteredIndicesFollowTheEffectiveFilter)
{
    const std::vector<double> area = Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 30).column("area_um");
    MainWindow w;
    DatasetEntry* ds = Testing::addLoadedDataset(w, dir.file("m.rtdc"), "M");
    EXPECT_EQ(w.filteredEventIndices(ds->id, false).size(), 30u);
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 0;
    rule.maxValue = 60;
    const int group = w.addFilterGroup("small");
    w.findFilterGroupById(group)->rules.push_back(rule);
    w.setGroupEnabled(ds->id, group, true);
    const size_t expected = size_t(std::count_if(area.begin(), area.end(), [](double v) { return v >= 0 && v <= 60; }));
    EXPECT_EQ(w.filteredEventIndices(ds->id, false).size(), expected);
    ds->filter.setEnabled(false);
    EXPECT_EQ(w.filteredEventIndices(ds->id, false).size(), 30u);
    EXPECT_EQ(w.filteredEventIndices(ds->id, true).size(), expected);
    EXPECT_TRUE(w.filteredEventIndices(777, false).empty());
}

// At the window's real size and in the program's own look: the Filters dock
// dragged to its narrowest still shows every button whole, and lighting "Apply
// Plot Settings" moves no dock, also when the plot settings have no room to
// spare (the dock dragged to its widest).
TEST_F(MainWindowTest, FiltersDockShowsItsButtonsAndKeepsItsWidthWhenTheButtonLights)
{
    const QPalette palette = QApplication::palette();
    QApplication::setPalette(applicationPalette());
    qApp->setStyleSheet(applicationStyleSheet());
    const auto restoreLook = qScopeGuard([&] {
        qApp->setStyleSheet(QString());
        QApplication::setPalette(palette);
    });
    MainWindow w;
    for (const std::string name : {"a.rtdc", "b.rtdc", "c.rtdc"}) {
        Fixtures::writeStandardMeasurement(dir.file(name), 200);
        w.addDataset(QString::fromStdString(dir.file(name)));
    }
    QDeadlineTimer deadline(20000);
    while ((w.preloadRunning || !w.pendingOpenPaths.isEmpty()) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    FilterRule shared;
    shared.featureName = "area_um";
    shared.maxValue = 1e6;
    w.addRuleToGroup(w.addFilterGroup("Cells"), shared);
    shared.propagationId = "{shared}";
    w.datasets().back()->filter.addRule(shared);
    w.filterDock->setActiveDataset(w.datasets().back().get());
    w.updatePlot();
    w.resize(1366, 768);
    w.show();
    QCoreApplication::processEvents();

    w.resizeDocks({w.filtersDock}, {1}, Qt::Horizontal);
    QCoreApplication::processEvents();
    EXPECT_EQ(w.filtersDock->width(), w.filtersDock->minimumWidth());
    EXPECT_FALSE(Testing::scrollsSideways(w.filtersDock));
    EXPECT_EQ(Testing::buttonsCutAcross(w.filtersDock), "");
    EXPECT_EQ(Testing::valuesCut(w.filtersDock), "");

    w.resizeDocks({w.filtersDock}, {w.filtersDock->maximumWidth()}, Qt::Horizontal);
    QCoreApplication::processEvents();
    const int dockWidth = w.filtersDock->width();
    const QRect buttonPlace = w.applyPlotSettingsButton->geometry();
    for (const char* x : {"bright_avg", "area_um"}) {
        w.xFeatureCombo->setCurrentIndex(w.xFeatureCombo->findData(QString::fromLatin1(x)));
        QCoreApplication::processEvents();
        EXPECT_EQ(Testing::showsAccent(w.applyPlotSettingsButton), std::string(x) == "bright_avg");
        EXPECT_EQ(w.filtersDock->width(), dockWidth) << x;
        EXPECT_EQ(w.applyPlotSettingsButton->geometry(), buttonPlace) << x;
    }
}
