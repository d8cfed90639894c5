// The main road of the main window: opening files, the background preload and
// its queues, switching, renaming, duplicating and removing datasets, and what
// the panels show once a dataset has loaded.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "app/eventtsvwriter.h"
#include "app/sessionfile.h"
#include "exporttesting.h"
#include "mainwindowtesting.h"
#include "rtdc/axistransforms.h"
#include "rtdc/hdf5lock.h"
#include "widgets/densityestimation.h"
#include "widgets/filterdockwidget.h"
#include "widgets/scatterplot.h"
#include "widgets/statisticsdockwidget.h"
#include "widgets/traceplot.h"
#include "common/widgetlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDockWidget>
#include <QFutureInterface>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSpinBox>
#include <QTimer>
#include <QTreeWidget>

#include <qwt_scale_engine.h>
#include <qwt_text.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <mutex>

using namespace Tessary;

static void PrintTo(const QString& text, std::ostream* os)
{
    *os << '"' << text.toStdString() << '"';
}

namespace {

// Closes every modal message box while it lives and remembers title and text.
class MessageBoxLog
{
public:
    MessageBoxLog()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("logged").toBool())
                return;
            box->setProperty("logged", true);
            titles << box->windowTitle();
            texts << box->text();
            if (QAbstractButton* button = box->button(answers.value(box->windowTitle(), QMessageBox::NoButton)))
                button->click();
            else
                box->reject();
        });
        timer.start(5);
    }
    QMap<QString, QMessageBox::StandardButton> answers;   // by title; the others are rejected
    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};

bool waitFor(const std::function<bool()>& done, int ms = 20000)
{
    QDeadlineTimer deadline(ms);
    while (!done()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    return true;
}

class MainWindowDatasetsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }

    // Writes a standard measurement of n events with the given sample name.
    QString measurement(const std::string& name, std::size_t n, const std::string& sample = "Synthetic sample")
    {
        Fixtures::StandardOptions options;
        options.sample = sample;
        Fixtures::writeStandardMeasurement(dir.file(name), n, options);
        return QString::fromStdString(dir.file(name));
    }

    bool waitForPreloads()
    {
        return waitFor([this] { return !window->preloadRunning && window->pendingOpenPaths.isEmpty(); });
    }

    void open(const QString& path)
    {
        window->addDataset(path);
        ASSERT_TRUE(waitForPreloads());
    }

    void selectData(QComboBox* combo, const char* key)
    {
        const int index = combo->findData(QString::fromLatin1(key));
        ASSERT_GE(index, 0) << key;
        combo->setCurrentIndex(index);
    }

    DatasetEntry* entry(int index) { return window->datasetEntries[size_t(index)].get(); }
    // The "N" row of the plot statistics.
    QString statisticsCount()
    {
        const auto* table = window->statisticsWidget->findChild<QTreeWidget*>();
        return table && table->topLevelItemCount() > 0 ? table->topLevelItem(0)->text(1) : QString();
    }
    QString key(QComboBox* combo) { return combo->currentData().toString(); }

    Fixtures::TempDir dir;
    MessageBoxLog boxes;
    std::unique_ptr<MainWindow> window;
};

} // namespace

// ---- opening and what the panels show -------------------------------------

TEST_F(MainWindowDatasetsTest, OpeningShowsTheRowAtOnceAndThePanelsAfterThePreload)
{
    const QString path = measurement("a.rtdc", 500);
    window->addDataset(path);
    // The row and the loading line are there before the preload has ended.
    ASSERT_EQ(window->datasetList->count(), 1);
    EXPECT_EQ(window->datasetList->currentRow(), 0);
    // Selecting the new row shows it as loading until the preload ends.
    EXPECT_EQ(window->infoLabel->text(), "Loading: Synthetic sample...");
    EXPECT_FALSE(window->xFeatureCombo->isEnabled());

    ASSERT_TRUE(waitForPreloads());
    EXPECT_TRUE(entry(0)->loaded);
    EXPECT_EQ(window->infoLabel->text(),
              QString::fromUtf8("Loaded: Synthetic sample (0.04 µL/s, #1, 500/500 events shown (100.0% pass filter))"));
    EXPECT_EQ(key(window->xFeatureCombo), "area_um");
    EXPECT_EQ(key(window->yFeatureCombo), "deform");
    EXPECT_EQ(window->colorFeatureCombo->currentText(), "None");
    EXPECT_EQ(window->colorFeatureCombo->itemData(1).toString(), "__density_kde__");
    EXPECT_EQ(window->eventSpin->minimum(), 0);
    EXPECT_EQ(window->eventSpin->maximum(), 499);
    EXPECT_FALSE(window->eventSpin->isEnabled());   // without images the views do not follow it
    EXPECT_EQ(window->filterDock->countLabel->text(), "500 events (no filter active)");
    EXPECT_EQ(window->renameEdit->text(), "Synthetic sample");
    EXPECT_TRUE(window->renameEdit->isEnabled());
    EXPECT_EQ(window->plotXValues.size(), 500u);
    EXPECT_TRUE(window->datasetList->item(0)->text().startsWith("<b>Synthetic sample</b> (0.04 µL/s, #1, 500 events)"));
    EXPECT_TRUE(boxes.titles.isEmpty());
}

TEST_F(MainWindowDatasetsTest, FilterCountsReachInfoLabelAndFilterDock)
{
    open(measurement("a.rtdc", 400));
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = -1e9;
    rule.maxValue = 1e9;
    entry(0)->filter.addRule(rule);
    rule.minValue = 1e8;   // nothing passes both
    entry(0)->filter.addRule(rule);
    window->updatePlot();
    EXPECT_TRUE(window->plotXValues.empty());
    EXPECT_TRUE(window->infoLabel->text().endsWith("0/400 events shown (0.0% pass filter))"));
    EXPECT_EQ(window->filterDock->countLabel->text(), "0 / 400 events shown (0.0%)");

    entry(0)->filter.rules.pop_back();
    entry(0)->filter.rules[0].maxValue = entry(0)->reader->readFeature("area_um")[0];
    window->updatePlot();
    const size_t shown = window->plotXValues.size();
    ASSERT_GT(shown, 0u);
    ASSERT_LT(shown, 400u);
    // Plotted points map to the kept events, not to their own positions.
    const auto& area = entry(0)->reader->readFeature("area_um");
    for (size_t i = 0; i < shown; ++i)
        EXPECT_EQ(window->plotXValues[i], area[size_t(window->plottedEventIndices[i])]);
    EXPECT_EQ(window->filterDock->countLabel->text(),
              QString("%1 / 400 events shown (%2%)").arg(shown).arg(100.0 * shown / 400, 0, 'f', 1));

    // A rule that keeps every event still filters, and the dock says so; a
    // switched-off rule does not.
    entry(0)->filter.rules[0].maxValue = 1e9;
    window->updatePlot();
    EXPECT_EQ(window->filterDock->countLabel->text(), "400 / 400 events shown (100.0%)");
    entry(0)->filter.rules[0].enabled = false;
    window->updatePlot();
    EXPECT_EQ(window->filterDock->countLabel->text(), "400 events (no filter active)");

    // Three events have no density: they are drawn in the colour for missing
    // values and counted, not dropped.
    std::vector<double> sorted = area;
    std::sort(sorted.begin(), sorted.end());
    entry(0)->filter.rules[0].enabled = true;
    entry(0)->filter.rules[0].minValue = sorted[397];
    selectData(window->colorFeatureCombo, "__density_kde__");
    ASSERT_EQ(window->plotXValues.size(), 3u);
    ASSERT_EQ(window->plotColorValues.size(), 3u);
    EXPECT_TRUE(std::isnan(window->plotColorValues[0]));
    EXPECT_TRUE(window->infoLabel->text().contains("3/400 events shown")) << window->infoLabel->text().toStdString();
    EXPECT_EQ(statisticsCount(), "3");
}

TEST_F(MainWindowDatasetsTest, FilteredOutCurrentEventGivesWayToTheFirstDrawnEvent)
{
    open(measurement("a.rtdc", 300));
    window->eventSpin->setValue(5);
    const auto& area = entry(0)->reader->readFeature("area_um");
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = area[5] + 1e-3;   // excludes event 5 and keeps larger cells
    rule.maxValue = 1e9;
    entry(0)->currentEventIndex = 5;
    entry(0)->filter.addRule(rule);
    window->updatePlot();
    ASSERT_FALSE(window->plottedEventIndices.empty());
    EXPECT_EQ(entry(0)->currentEventIndex, window->plottedEventIndices.front());
    EXPECT_EQ(window->eventSpin->value(), window->plottedEventIndices.front());
}

// The density colouring and the contours share one kernel grid; it must be the
// grid (and the densities) that the contours would have built on their own.
TEST_F(MainWindowDatasetsTest, DensityColouringSharesTheContourGrid)
{
    open(measurement("a.rtdc", 2000));
    selectData(window->colorFeatureCombo, "__density_kde__");
    window->contourModeCombo->setCurrentIndex(1);
    for (int mode : {ScaleLinear, ScaleLog}) {
        window->scaleXCombo->setCurrentIndex(mode);
        ASSERT_EQ(window->plotColorValues.size(), window->plotXValues.size());
        EXPECT_EQ(statisticsCount(), "2000");
        EXPECT_EQ(window->plotColorLabel, "Density");
        const auto tx = transformAxisValues(window->plotXValues, mode);
        const auto ty = transformAxisValues(window->plotYValues, ScaleLinear);
        ASSERT_TRUE(window->kdeCache.valid);
        EXPECT_EQ(window->kdeCache.grid.values, computeKdeGrid(tx, ty, 0).values);
        EXPECT_EQ(window->kdeCache.density, computePointDensity(tx, ty, KernelDensity));
        EXPECT_EQ(window->plotColorValues, window->kdeCache.density);
    }
}

// On a log axis a NaN coordinate still gets a density (at 0.0), so dropping
// it changes the point set: the contours must then build their own grid.
TEST_F(MainWindowDatasetsTest, DroppedPointsWithPlotCoordinatesInvalidateTheSharedGrid)
{
    Fixtures::RtdcFileBuilder b = Fixtures::standardMeasurement(200);
    std::vector<float> area(200);
    for (size_t i = 0; i < area.size(); ++i)
        area[i] = float(10 + i % 37);
    area[3] = std::nanf("");
    b.feature("area_um", area);
    b.write(dir.file("nan.rtdc"));
    open(QString::fromStdString(dir.file("nan.rtdc")));
    selectData(window->colorFeatureCombo, "__density_kde__");
    window->scaleXCombo->setCurrentIndex(ScaleLog);
    EXPECT_EQ(window->plotXValues.size(), 199u);
    EXPECT_EQ(statisticsCount(), "199");   // of the drawn points
    window->contourModeCombo->setCurrentIndex(1);
    ASSERT_TRUE(window->kdeCache.valid);
    const auto tx = transformAxisValues(window->plotXValues, ScaleLog);
    const auto ty = transformAxisValues(window->plotYValues, ScaleLinear);
    EXPECT_EQ(window->kdeCache.grid.values, computeKdeGrid(tx, ty, 0).values);
}

TEST_F(MainWindowDatasetsTest, LogAxisWarnsAboutNonPositiveValues)
{
    Fixtures::RtdcFileBuilder b = Fixtures::standardMeasurement(50);
    std::vector<float> area(50, 30.f);
    area[0] = 0.f;
    area[1] = -2.f;
    area[2] = 0.f;
    b.feature("area_um", area).write(dir.file("neg.rtdc"));
    open(QString::fromStdString(dir.file("neg.rtdc")));
    window->scaleXCombo->setCurrentIndex(ScaleLog);
    EXPECT_EQ(window->scaleXCombo->itemText(1), QString::fromUtf8("Log ⚠"));
    EXPECT_TRUE(window->scaleXCombo->toolTip().startsWith("X-axis scale mode: 3 points"));
    window->scaleXCombo->setCurrentIndex(ScaleLinear);
    EXPECT_EQ(window->scaleXCombo->itemText(1), "Log");
    EXPECT_EQ(window->scaleXCombo->toolTip(), "X-axis scale mode");
}

// A damaged file: the event count comes from one column, others are shorter.
TEST_F(MainWindowDatasetsTest, ColumnsShorterThanTheEventCountDropTheMissingEvents)
{
    Fixtures::RtdcFileBuilder b;
    std::vector<float> area(100), deform(80);
    for (size_t i = 0; i < area.size(); ++i)
        area[i] = float(20 + i);
    for (size_t i = 0; i < deform.size(); ++i)
        deform[i] = float(0.01 * (1 + i % 7));
    b.feature("area_um", area).feature("deform", deform).attribute("setup:module composition", "Vireon");
    b.write(dir.file("short.rtdc"));
    open(QString::fromStdString(dir.file("short.rtdc")));
    ASSERT_EQ(entry(0)->reader->eventCount(), 100u);
    EXPECT_EQ(window->plotXValues.size(), 80u);
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 90;
    rule.maxValue = 1e9;
    entry(0)->filter.addRule(rule);
    window->updatePlot();
    EXPECT_EQ(window->plotXValues.size(), 10u);   // events 70..79; 80..99 have no deformation
    EXPECT_EQ(window->plottedEventIndices.back(), 79);
}

// ---- several datasets ------------------------------------------------------

TEST_F(MainWindowDatasetsTest, SwitchingKeepsEachDatasetsPlotSettings)
{
    open(measurement("a.rtdc", 100, "A"));
    open(measurement("b.rtdc", 120, "B"));
    ASSERT_EQ(window->activeDatasetIndex, 1);
    selectData(window->xFeatureCombo, "bright_avg");
    window->eventSpin->setValue(7);

    window->datasetList->setCurrentRow(0);
    EXPECT_EQ(window->activeDatasetIndex, 0);
    EXPECT_EQ(key(window->xFeatureCombo), "area_um");
    EXPECT_EQ(window->eventSpin->maximum(), 99);
    EXPECT_TRUE(window->infoLabel->text().startsWith("Loaded: A ("));

    window->datasetList->setCurrentRow(1);
    EXPECT_EQ(key(window->xFeatureCombo), "bright_avg");
    EXPECT_EQ(window->eventSpin->value(), 7);
    EXPECT_EQ(window->plotXValues.size(), 120u);
}

// What is on screen is what the new dataset takes over, although the first
// dataset was never switched away from.
TEST_F(MainWindowDatasetsTest, NewDatasetTakesOverTheSettingsOnScreen)
{
    open(measurement("a.rtdc", 100, "A"));
    selectData(window->xFeatureCombo, "bright_avg");
    selectData(window->colorFeatureCombo, "__density_kde__");
    FilterRule shared;
    shared.featureName = "area_um";
    shared.maxValue = 1e9;
    shared.propagationId = "{00000000-0000-0000-0000-000000000001}";
    FilterRule own = shared;
    own.propagationId.clear();
    entry(0)->filter.addRule(shared);
    entry(0)->filter.addRule(own);
    entry(0)->filter.setCombineMode(1);

    open(measurement("b.rtdc", 100, "B"));
    EXPECT_EQ(entry(1)->xFeatureName, "bright_avg");
    EXPECT_EQ(entry(1)->colorFeatureName, "__density_kde__");
    EXPECT_EQ(key(window->xFeatureCombo), "bright_avg");
    ASSERT_EQ(entry(1)->filter.ruleCount(), 1);   // only the propagated rule
    EXPECT_EQ(entry(1)->filter.rules[0].propagationId, shared.propagationId);
    EXPECT_EQ(entry(1)->filter.combineMode(), 1);
}

TEST_F(MainWindowDatasetsTest, LeavingALoadingDatasetKeepsItsOwnSettings)
{
    open(measurement("a.rtdc", 100, "A"));
    window->eventSpin->setValue(9);
    window->addDataset(measurement("b.rtdc", 100, "B"));
    ASSERT_TRUE(window->preloadRunning);
    EXPECT_EQ(window->infoLabel->text(), "Loading: B...");
    window->datasetList->setCurrentRow(0);   // back to A while B loads
    EXPECT_EQ(entry(1)->currentEventIndex, -1);
    EXPECT_EQ(window->eventSpin->value(), 9);
    // A loaded dataset answers its feature combos although B still preloads.
    selectData(window->yFeatureCombo, "bright_avg");
    EXPECT_EQ(window->plotYValues[0], entry(0)->reader->readFeature("bright_avg")[0]);
    ASSERT_TRUE(waitForPreloads());
    EXPECT_TRUE(entry(1)->loaded);
    EXPECT_EQ(window->activeDatasetIndex, 0);
}

TEST_F(MainWindowDatasetsTest, PlotUpdateWaitsUntilTheActiveDatasetHasLoaded)
{
    open(measurement("a.rtdc", 100, "A"));
    window->addDataset(measurement("b.rtdc", 150, "B"));
    ASSERT_TRUE(window->preloadRunning);
    window->updatePlot();   // B is active but still loading
    EXPECT_TRUE(window->plotXValues.empty());   // nor are A's points taken for B's
    EXPECT_TRUE(boxes.titles.isEmpty());
    ASSERT_TRUE(waitForPreloads());
    EXPECT_EQ(window->plotXValues.size(), 150u);
}

TEST_F(MainWindowDatasetsTest, FilesOpenedTogetherPreloadOneAfterAnother)
{
    const QString a = measurement("a.rtdc", 100, "A");
    const QString b = measurement("b.rtdc", 100, "B");
    const QString c = measurement("c.rtdc", 100, "C");
    window->addDataset(a);
    window->addDataset(b);
    window->addDataset(c);
    window->addDataset(a);   // open already: only its row is selected
    EXPECT_EQ(window->datasetEntries.size(), 1u);
    EXPECT_EQ(window->pendingOpenPaths, QStringList({b, c}));
    ASSERT_TRUE(waitForPreloads());
    ASSERT_EQ(window->datasetEntries.size(), 3u);
    EXPECT_EQ(entry(2)->displayName, "C");
    for (int i = 0; i < 3; ++i)
        EXPECT_TRUE(entry(i)->loaded);
    EXPECT_EQ(window->activeDatasetIndex, 2);
}

// A queued path that starts no preload must not stall the paths behind it.
TEST_F(MainWindowDatasetsTest, QueueGoesOnAfterAFileThatFailsToOpen)
{
    const QString a = measurement("a.rtdc", 100, "A");
    const QString bad = QString::fromStdString(dir.file("bad.rtdc"));
    Fixtures::writeNotHdf5(bad.toStdString());
    const QString c = measurement("c.rtdc", 100, "C");
    window->addDataset(a);
    window->addDataset(QString::fromStdString(dir.file("sub/../bad.rtdc")));   // said with the path cleaned
    window->addDataset(a);
    window->addDataset(c);
    ASSERT_TRUE(waitForPreloads());
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_EQ(entry(1)->displayName, "C");
    EXPECT_TRUE(entry(1)->loaded);
    EXPECT_EQ(boxes.titles, QStringList({"Error"}));
    EXPECT_EQ(boxes.texts, QStringList({"Failed to open: " + bad}));
}

TEST_F(MainWindowDatasetsTest, DamagedFilesGiveTheirMessageAndLeaveOthersWorking)
{
    const QString good = measurement("good.rtdc", 300, "Good");
    open(good);
    const std::string truncated = dir.file("truncated.rtdc");
    Fixtures::writeTruncatedCopy(good.toStdString(), truncated, Fixtures::fileSize(good.toStdString()) / 3);
    const std::string notHdf5 = dir.file("text.rtdc");
    Fixtures::writeNotHdf5(notHdf5);
    const std::string noEvents = dir.file("noevents.rtdc");
    Fixtures::RtdcFileBuilder().withoutEvents().attribute("setup:module composition", "Vireon").write(noEvents);

    for (const std::string& path : {truncated, notHdf5}) {
        const qsizetype seen = boxes.titles.size();
        open(QString::fromStdString(path));
        ASSERT_EQ(boxes.titles.size(), seen + 1) << path;
    }
    EXPECT_EQ(boxes.titles, QStringList({"Error", "Error"}));
    EXPECT_EQ(boxes.texts[0], "Failed to open: " + QString::fromStdString(truncated));
    EXPECT_EQ(boxes.texts[1], "Failed to open: " + QString::fromStdString(notHdf5));

    // Without "/events" the file opens with nothing in it; the label says so
    // instead of showing the previous dataset's points under its name.
    open(QString::fromStdString(noEvents));
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_EQ(window->infoLabel->text(), "Loaded: noevents.rtdc (0 events)");
    EXPECT_TRUE(window->plotXValues.empty());
    EXPECT_EQ(window->filterDock->countLabel->text(), "No events");
    EXPECT_EQ(boxes.titles.size(), 2);
    window->datasetList->setCurrentRow(0);

    EXPECT_EQ(window->activeDatasetIndex, 0);
    selectData(window->xFeatureCombo, "bright_avg");
    EXPECT_EQ(window->plotXValues.size(), 300u);

    // Columns that hold no rows are a valid, empty measurement: it opens like
    // one without "/events", and nothing of the dataset shown before stays.
    const std::string zeroRows = dir.file("zerorows.rtdc");
    Fixtures::RtdcFileBuilder()
        .feature("area_um", std::vector<float>{})
        .feature("deform", std::vector<float>{})
        .attribute("setup:module composition", "Vireon")
        .write(zeroRows);
    open(QString::fromStdString(zeroRows));
    EXPECT_EQ(window->infoLabel->text(), "Loaded: zerorows.rtdc (0 events)");
    // The empty plot names no axes, least of all those of the dataset before.
    EXPECT_EQ(window->scatterPlot->axisTitle(QwtAxis::XBottom).text(), "");
    EXPECT_EQ(window->scatterPlot->axisTitle(QwtAxis::YLeft).text(), "");
    EXPECT_TRUE(window->plotXValues.empty());
    EXPECT_TRUE(window->plottedEventIndices.empty());
    EXPECT_EQ(window->filterDock->countLabel->text(), "No events");
    EXPECT_EQ(boxes.titles.size(), 2);

    open(measurement("other.rtdc", 50, "Other"));
    EXPECT_EQ(window->datasetEntries.size(), 4u);
    EXPECT_EQ(window->plotXValues.size(), 50u);
}

TEST_F(MainWindowDatasetsTest, UnsupportedDataIsAnsweredOnce)
{
    Fixtures::StandardOptions foreign;
    foreign.moduleComposition = "Other Cytometer";
    Fixtures::writeStandardMeasurement(dir.file("x.rtdc"), 20, foreign);
    Fixtures::writeStandardMeasurement(dir.file("y.rtdc"), 20, foreign);
    open(QString::fromStdString(dir.file("x.rtdc")));
    open(QString::fromStdString(dir.file("y.rtdc")));
    EXPECT_TRUE(window->datasetEntries.empty());
    EXPECT_EQ(boxes.titles, QStringList({"Unsupported Data"}));
    EXPECT_TRUE(boxes.texts[0].startsWith("The data does not seem to originate from"));
}

TEST_F(MainWindowDatasetsTest, DisplayNamePrefersChangedSampleNameAndIsCutToASaneLength)
{
    Fixtures::standardMeasurement(20).attribute("export:changed sample name", "Renamed").write(dir.file("r.rtdc"));
    Fixtures::standardMeasurement(20).attribute("export:changed sample name", "").attribute("experiment:sample", "")
        .write(dir.file("plain.rtdc"));
    const std::string longName = "Sample " + std::string(300000, 'x');
    open(QString::fromStdString(dir.file("r.rtdc")));
    open(QString::fromStdString(dir.file("plain.rtdc")));
    open(measurement("long.rtdc", 20, longName));
    EXPECT_EQ(entry(0)->displayName, "Renamed");
    EXPECT_EQ(entry(1)->displayName, "plain.rtdc");

    // A name that no list or label can lay out is shown cut; the metadata keep it
    // whole, and the cut alone is no rename for an export.
    const QString shown = entry(2)->displayName;
    EXPECT_LE(shown.size(), 200);
    EXPECT_TRUE(shown.startsWith("Sample xxx"));
    EXPECT_TRUE(shown.endsWith(QChar(0x2026)));
    EXPECT_EQ(entry(2)->metadata.experiment.at("sample"), longName);
    EXPECT_LT(window->datasetList->item(2)->text().size(), 400);
    EXPECT_LT(window->infoLabel->text().size(), 400);
    EXPECT_FALSE(sampleNameChanged(*entry(2)));

    // The same for a name a session file holds; the session keeps it whole.
    DatasetEntry restored;
    restoreDatasetState(restored, QJsonObject{{"displayName", QString::fromStdString(longName)}});
    EXPECT_EQ(restored.displayName, shown);
    EXPECT_EQ(restored.fullName.toStdString(), longName);
    const QDir folder(QString::fromStdString(dir.path()));
    EXPECT_EQ(serializeDataset(restored, folder, -1).value("displayName").toString().toStdString(), longName);

    // A long changed name is shown cut, and an export writes it whole.
    const std::string longChanged = "Renamed " + std::string(233, 'n');
    Fixtures::standardMeasurement(20).attribute("export:changed sample name", longChanged).write(dir.file("c.rtdc"));
    open(QString::fromStdString(dir.file("c.rtdc")));
    EXPECT_TRUE(entry(3)->displayName.endsWith(QChar(0x2026)));
    ASSERT_TRUE(writeEventTsv(*entry(3), dir.file("c.tsv"), {}, {0}).isEmpty());
    EXPECT_NE(Testing::fileText(dir.file("c.tsv")).find("# export:changed sample name = " + longChanged + "\n"),
              std::string::npos);
}

// ---- rename, duplicate, remove ---------------------------------------------

TEST_F(MainWindowDatasetsTest, RenameChangesCaptionAndInfoLabelAndFallsBackWhenEmpty)
{
    open(measurement("a.rtdc", 100, "Sample A"));
    window->renameEdit->setText("  Control  ");
    emit window->renameEdit->editingFinished();
    EXPECT_EQ(entry(0)->displayName, "Control");
    EXPECT_TRUE(window->datasetList->item(0)->text().startsWith("<b>Control</b>"));
    EXPECT_TRUE(window->infoLabel->text().startsWith("Loaded: Control ("));

    window->renameEdit->setText("   ");
    emit window->renameEdit->editingFinished();
    EXPECT_EQ(entry(0)->displayName, "Sample A");
    EXPECT_EQ(window->renameEdit->text(), "Sample A");

    // A long name is kept as typed for exports and sessions, and shown cut;
    // finishing the edit of the cut text again is no rename.
    const QString typed = "Long " + QString(300, 'l');
    window->renameEdit->setText(typed);
    emit window->renameEdit->editingFinished();
    EXPECT_EQ(entry(0)->fullName, typed);
    EXPECT_EQ(entry(0)->displayName.size(), 200);
    window->renameEdit->setText(entry(0)->displayName);
    emit window->renameEdit->editingFinished();
    EXPECT_EQ(entry(0)->fullName, typed);
}

TEST_F(MainWindowDatasetsTest, DuplicateSharesTheReaderAndOutlivesItsSource)
{
    open(measurement("a.rtdc", 100, "A"));
    selectData(window->xFeatureCombo, "bright_avg");
    FilterRule rule;
    rule.featureName = "area_um";
    rule.maxValue = 1e9;
    entry(0)->filter.addRule(rule);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "duplicateDataset"));
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_EQ(entry(1)->displayName, "A (copy)");
    EXPECT_EQ(entry(1)->reader, entry(0)->reader);
    EXPECT_TRUE(entry(1)->loaded);
    EXPECT_EQ(entry(1)->xFeatureName, "bright_avg");
    EXPECT_EQ(entry(1)->filter.ruleCount(), 1);
    EXPECT_EQ(window->activeDatasetIndex, 1);
    EXPECT_FALSE(window->preloadRunning);

    window->datasetList->setCurrentRow(0);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
    ASSERT_EQ(window->datasetEntries.size(), 1u);
    EXPECT_EQ(entry(0)->displayName, "A (copy)");
    EXPECT_EQ(window->activeDatasetIndex, 0);
    EXPECT_EQ(window->plotXValues.size(), 100u);
    EXPECT_EQ(entry(0)->reader->readFeature("area_um").size(), 100u);
}

TEST_F(MainWindowDatasetsTest, RemovingMakesTheNeighbourActiveAndTheLastLeavesEmptyPanels)
{
    open(measurement("a.rtdc", 100, "A"));
    open(measurement("b.rtdc", 110, "B"));
    open(measurement("c.rtdc", 120, "C"));
    window->datasetList->setCurrentRow(1);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_EQ(window->activeDatasetIndex, 0);   // the dataset above
    EXPECT_EQ(window->datasets()[size_t(window->activeDatasetIndex)]->displayName, "A");
    EXPECT_EQ(window->plotXValues.size(), 100u);

    window->datasetList->setCurrentRow(0);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
    ASSERT_EQ(window->datasetEntries.size(), 1u);
    EXPECT_EQ(window->activeDatasetIndex, 0);   // the first removed: the one below
    EXPECT_EQ(entry(0)->displayName, "C");
    EXPECT_EQ(window->plotXValues.size(), 120u);

    window->scaleYCombo->setCurrentIndex(ScaleLog);
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
    EXPECT_TRUE(window->datasetEntries.empty());
    EXPECT_EQ(window->activeDatasetIndex, -1);
    EXPECT_EQ(window->infoLabel->text(), "No file loaded.");
    EXPECT_EQ(window->xFeatureCombo->count(), 0);
    EXPECT_FALSE(window->eventSpin->isEnabled());
    EXPECT_EQ(window->eventSpin->maximum(), 0);
    EXPECT_FALSE(window->renameEdit->isEnabled());
    EXPECT_TRUE(window->renameEdit->text().isEmpty());
    EXPECT_EQ(window->filterDock->countLabel->text(), "No dataset selected");
    // Nothing of the last dataset stays on the plot: no titles, no log scale.
    const auto emptyPlotShowsNoDataset = [this] {
        EXPECT_EQ(window->scatterPlot->axisTitle(QwtAxis::XBottom).text(), "");
        EXPECT_EQ(window->scatterPlot->axisTitle(QwtAxis::YLeft).text(), "");
        EXPECT_EQ(window->scaleYCombo->currentIndex(), ScaleLinear);
        EXPECT_EQ(dynamic_cast<QwtLogScaleEngine*>(window->scatterPlot->axisScaleEngine(QwtAxis::YLeft)), nullptr);
        EXPECT_FALSE(Testing::showsAccent(window->filterDock->enabledAllButton));
    };
    emptyPlotShowsNoDataset();

    // Clearing the session empties the plot alike, and with it the markers
    // of datasets that differed.
    open(measurement("a.rtdc", 100, "A"));
    open(measurement("b.rtdc", 110, "B"));
    entry(0)->filter.setEnabled(false);
    window->scaleYCombo->setCurrentIndex(ScaleLog);
    ASSERT_TRUE(Testing::showsAccent(window->filterDock->enabledAllButton));
    boxes.answers["Clear Session"] = QMessageBox::Ok;
    ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "clearSession"));
    ASSERT_TRUE(window->datasetEntries.empty());
    emptyPlotShowsNoDataset();
}

TEST_F(MainWindowDatasetsTest, LoadingDatasetCannotBeRemoved)
{
    open(measurement("a.rtdc", 100, "A"));
    const QString b = measurement("b.rtdc", 100, "B");
    {
        // B's preload waits for the HDF5 lock held here, so it is still running
        // while the message box below spins the event loop.
        std::unique_lock<std::recursive_mutex> hold(hdf5Mutex);
        window->addDataset(b);
        ASSERT_TRUE(window->preloadRunning);
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
        EXPECT_EQ(window->datasetEntries.size(), 2u);
        EXPECT_EQ(boxes.titles, QStringList({"Cannot Remove"}));
        EXPECT_EQ(boxes.texts, QStringList({"This dataset is still loading."}));
        // Removing one before it keeps the preload pointing at the same dataset.
        window->datasetList->setCurrentRow(0);
        ASSERT_TRUE(QMetaObject::invokeMethod(window.get(), "removeDataset"));
        EXPECT_EQ(window->preloadingIndex, 0);
    }
    ASSERT_TRUE(waitForPreloads());
    EXPECT_TRUE(entry(0)->loaded);
    EXPECT_EQ(window->plotXValues.size(), 100u);
}

// ---- the preload watcher ---------------------------------------------------

TEST_F(MainWindowDatasetsTest, StrayPreloadFinishedIsIgnored)
{
    open(measurement("a.rtdc", 60, "A"));
    const QString b = measurement("b.rtdc", 60, "B");
    emit window->preloadWatcher->finished();   // nothing runs
    EXPECT_FALSE(window->preloadRunning);

    // A preload marked running whose future has not finished yet.
    QFutureInterface<void> pending;
    pending.reportStarted();
    window->preloadWatcher->setFuture(pending.future());
    window->preloadRunning = true;
    window->preloadingIndex = 0;
    window->preloadingId = entry(0)->id;
    window->pendingOpenPaths << b;
    entry(0)->loaded = false;
    emit window->preloadWatcher->finished();
    EXPECT_TRUE(window->preloadRunning);
    EXPECT_FALSE(entry(0)->loaded);
    EXPECT_EQ(window->datasetEntries.size(), 1u);

    pending.reportFinished();
    ASSERT_TRUE(waitForPreloads());
    EXPECT_TRUE(entry(0)->loaded);
    EXPECT_EQ(window->datasetEntries.size(), 2u);
}

// A preload that ends after its dataset went (a cleared session) marks nothing.
TEST_F(MainWindowDatasetsTest, PreloadEndingAfterItsDatasetWentTouchesNoOther)
{
    window->addDataset(measurement("a.rtdc", 2000, "A"));
    ASSERT_TRUE(window->preloadRunning);
    window->datasetList->clear();
    window->datasetEntries.clear();
    window->activeDatasetIndex = -1;
    DatasetEntry* other = Testing::addLoadedDataset(*window, measurement("b.rtdc", 10, "B").toStdString(), "B");
    ASSERT_NE(other, nullptr);
    other->loaded = false;
    ASSERT_TRUE(waitForPreloads());
    EXPECT_FALSE(other->loaded);
}

TEST_F(MainWindowDatasetsTest, ZoomResetRequestIsAskedOnceWithThePlottedNames)
{
    open(measurement("a.rtdc", 100));
    selectData(window->colorFeatureCombo, "__density_kde__");
    QStringList asked;
    window->zoomResetHook = [&asked](const std::string& name) {
        asked << QString::fromStdString(name);
        return false;
    };
    window->updatePlot();
    EXPECT_EQ(asked, QStringList({"area_um", "deform", "__density_kde__"}));
    EXPECT_FALSE(window->zoomResetHook);
    window->updatePlot();
    EXPECT_EQ(asked.size(), 3);

    // After a calculation the lists are refilled and the plot updated once,
    // with the names on screen: a request that answers no keeps the user's zoom.
    window->scatterPlot->setAxisScale(QwtAxis::XBottom, 20.0, 30.0);
    asked.clear();
    window->zoomResetHook = [&asked](const std::string& name) {
        asked << QString::fromStdString(name);
        return false;
    };
    window->refreshFeaturesAndPlot();
    EXPECT_EQ(asked, QStringList({"area_um", "deform", "__density_kde__"}));
    EXPECT_FALSE(window->scatterPlot->axisAutoScale(QwtAxis::XBottom));
    EXPECT_EQ(key(window->colorFeatureCombo), "__density_kde__");
}

// ---- the plot controls -----------------------------------------------------

TEST_F(MainWindowDatasetsTest, InfoLabelListsFlowRateReservoirAndRunIndexInOrder)
{
    Fixtures::RtdcFileBuilder b = Fixtures::standardMeasurement(1000);
    b.attribute("setup:flow rate", 0.16).attribute("setup:chip region", "reservoir").attribute("experiment:run index", 3);
    b.write(dir.file("r.rtdc"));
    open(QString::fromStdString(dir.file("r.rtdc")));
    std::vector<double> area = entry(0)->reader->readFeature("area_um");
    std::sort(area.begin(), area.end());
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = area[50];   // the 50 smallest events fail
    rule.maxValue = 1e9;
    entry(0)->filter.addRule(rule);
    window->updatePlot();
    EXPECT_EQ(window->infoLabel->text(), QString::fromUtf8("Loaded: Synthetic sample (0.16 µL/s, Reservoir, #3, "
                                                           "950/1000 events shown (95.0% pass filter))"));
}

// What the window shows never changes the size the user gave it: a long name
// takes a second line, wide filter rows scroll inside their dock.
TEST_F(MainWindowDatasetsTest, WindowKeepsItsWidthWhateverItShows)
{
    window->show();
    const int width = window->width();
    open(measurement("a.rtdc", 300, std::string(30, 'x') + " measured with a rather long description " + std::string(30, 'y')));
    EXPECT_EQ(window->width(), width);
    selectData(window->colorFeatureCombo, "__density_kde__");
    window->contourModeCombo->setCurrentIndex(1);
    for (int k = 0; k < 2; ++k)
        emit window->filterDock->addFilterGroupRequested();
    FilterRule rule;
    rule.featureName = "area_um";
    rule.maxValue = 1e9;
    for (const auto& group : window->filterGroups())
        window->addRuleToGroup(group->id, rule);
    entry(0)->filter.addRule(rule);
    window->filterDock->setActiveDataset(entry(0));
    window->updatePlot();
    QCoreApplication::processEvents();
    EXPECT_EQ(window->width(), width);
}

TEST_F(MainWindowDatasetsTest, ApplyPlotSettingsToAllCopiesSettingsAndClearsTheButtonMarker)
{
    open(measurement("a.rtdc", 100, "A"));
    open(measurement("b.rtdc", 100, "B"));
    EXPECT_TRUE(window->applyPlotSettingsButton->isEnabled());
    EXPECT_FALSE(Testing::showsAccent(window->applyPlotSettingsButton));
    selectData(window->xFeatureCombo, "bright_avg");
    selectData(window->colorFeatureCombo, "__density_kde__");
    window->scaleYCombo->setCurrentIndex(ScalePseudoLog);
    EXPECT_TRUE(Testing::showsAccent(window->applyPlotSettingsButton));   // A differs

    window->applyPlotSettingsButton->click();
    EXPECT_EQ(entry(0)->xFeatureName, "bright_avg");
    EXPECT_EQ(entry(0)->colorFeatureName, "__density_kde__");
    EXPECT_EQ(entry(0)->scaleYMode, ScalePseudoLog);
    EXPECT_FALSE(Testing::showsAccent(window->applyPlotSettingsButton));
    window->datasetList->setCurrentRow(0);
    EXPECT_EQ(key(window->xFeatureCombo), "bright_avg");
    EXPECT_EQ(window->scaleYCombo->currentIndex(), ScalePseudoLog);
}

TEST_F(MainWindowDatasetsTest, IsoelasticsAreOfferedOnlyForAreaAgainstDeformation)
{
    open(measurement("a.rtdc", 100));
    EXPECT_TRUE(window->isoelasticsCheck->isVisibleTo(window.get()));
    // No look-up table, no lines: the box cannot be ticked and says why.
    EXPECT_FALSE(window->isoelasticsCheck->isEnabled());
    EXPECT_TRUE(window->isoelasticsCheck->toolTip().contains("look-up table"));
    EXPECT_FALSE(window->isoelasticLabelsCheck->isVisibleTo(window.get()));
    window->isoelasticsCheck->setChecked(true);
    EXPECT_TRUE(window->isoelasticLabelsCheck->isVisibleTo(window.get()));
    selectData(window->yFeatureCombo, "bright_avg");
    EXPECT_FALSE(window->isoelasticsCheck->isVisibleTo(window.get()));
    EXPECT_FALSE(window->isoelasticLabelsCheck->isVisibleTo(window.get()));
    selectData(window->xFeatureCombo, "deform");
    selectData(window->yFeatureCombo, "area_um");
    EXPECT_TRUE(window->isoelasticsCheck->isVisibleTo(window.get()));
}

TEST_F(MainWindowDatasetsTest, PathsOpenedTogetherSortComponentByComponent)
{
    QStringList paths{"/d/x/y.rtdc", "/d/a/Q.rtdc", "/d/x/b/c.rtdc", "/d/x/y/z.rtdc", "/d/A/b.rtdc", "/d/x/a.rtdc"};
    std::sort(paths.begin(), paths.end(), &MainWindow::hierarchicalPathLess);
    EXPECT_EQ(paths, QStringList({"/d/A/b.rtdc", "/d/a/Q.rtdc", "/d/x/a.rtdc", "/d/x/b/c.rtdc", "/d/x/y/z.rtdc",
                                  "/d/x/y.rtdc"}));
}

TEST_F(MainWindowDatasetsTest, CaptionEscapesTheName)
{
    open(measurement("a.rtdc", 10, "a<b"));
    EXPECT_TRUE(window->datasetList->item(0)->text().startsWith("<b>a&lt;b</b> ("));
}

TEST_F(MainWindowDatasetsTest, VisibleMetadataDockListsTheSectionsOfTheShownDataset)
{
    window->show();
    window->metadataDock->raise();
    Fixtures::standardMeasurement(20).attribute("extra:note", "hand-made").attribute("loose", "x").write(dir.file("m.rtdc"));
    open(QString::fromStdString(dir.file("m.rtdc")));
    ASSERT_TRUE(waitFor([this] { return window->metadataTree->topLevelItemCount() > 0; }));
    QStringList titles;
    for (int i = 0; i < window->metadataTree->topLevelItemCount(); ++i)
        titles << window->metadataTree->topLevelItem(i)->text(0);
    EXPECT_EQ(titles, QStringList({"Experiment", "Setup", "Imaging", "Online Contour", "Other"}));
    const QTreeWidgetItem* other = window->metadataTree->topLevelItem(titles.size() - 1);
    ASSERT_EQ(other->childCount(), 1);   // an attribute without a section is listed nowhere
    EXPECT_EQ(other->child(0)->text(0), "extra:note");
    EXPECT_EQ(other->child(0)->text(1), "hand-made");
}

// Closing the window takes the focus from the name edit; its end must not
// reach the window's slots once the datasets are gone.
TEST_F(MainWindowDatasetsTest, DestroyingTheWindowWithAFocusedNameEditIsSafe)
{
    window->show();
    open(measurement("a.rtdc", 20, "A"));
    window->activateWindow();
    window->renameEdit->setFocus();
    window->renameEdit->setText("new name, not yet confirmed");
    ASSERT_TRUE(waitFor([this] { return window->renameEdit->hasFocus(); }));
    window.reset();
}

// A restored dataset whose crosstalk compensation was applied gets it again
// when shown; while a pool calculation may be writing into readers, the
// recomputation waits for its end.
TEST_F(MainWindowDatasetsTest, AppliedCompensationIsRecomputedAfterARunningCalculation)
{
    open(measurement("a.rtdc", 100, "A"));
    open(measurement("b.rtdc", 100, "B"));
    DatasetEntry* a = entry(0);
    a->ctcApplied = true;
    a->ctcChannels = {1, 2};
    a->spilloverMatrix = SpilloverMatrix(2, 2);
    a->spilloverMatrix(0, 0) = a->spilloverMatrix(1, 1) = 1.0;
    a->spilloverMatrix(0, 1) = 0.1;

    QFutureInterface<void> calculation;
    calculation.reportStarted();
    window->calcWatcher->setFuture(calculation.future());
    window->calcRunning = true;
    window->datasetList->setCurrentRow(0);
    EXPECT_FALSE(a->reader->hasFeature("fl1_max_ctc"));

    calculation.reportFinished();
    // It runs in the background after the other one; its end fills the lists.
    ASSERT_TRUE(waitFor([this] { return window->colorFeatureCombo->findData(QStringLiteral("fl1_max_ctc")) >= 0; }));
    EXPECT_TRUE(a->reader->isComputedFeature("fl2_max_ctc"));
}

TEST_F(MainWindowDatasetsTest, TracesOfTheShownEventFollowTheFluorescenceChannels)
{
    Fixtures::StandardOptions options;
    options.traces = true;
    options.images = true;
    Fixtures::writeStandardMeasurement(dir.file("t.rtdc"), 30, options);
    open(QString::fromStdString(dir.file("t.rtdc")));
    ASSERT_EQ(window->tracePlot->channels().size(), 2u);
    EXPECT_EQ(window->tracePlot->channels()[0].channel, 1);
    EXPECT_TRUE(window->tracePlot->isVisibleTo(window.get()));
    EXPECT_TRUE(window->tracePlot->hasTraces());

    // Without traces the plot goes away again.
    open(measurement("plain.rtdc", 30));
    EXPECT_FALSE(window->tracePlot->isVisibleTo(window.get()));
}
