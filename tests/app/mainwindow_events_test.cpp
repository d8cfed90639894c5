// The shown event of the main window (plot clicks, the event spin box, image and
// values), through the real window.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "calc/calculationsdockwidget.h"
#include "mainwindowtesting.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/traceplot.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QSpinBox>
#include <QTableWidget>

#include <qwt_plot_curve.h>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

struct MainWindowEventsTest : ::testing::Test {
    DatasetEntry& open(const std::string& path)
    {
        window.addDataset(QString::fromStdString(path));
        for (QDeadlineTimer deadline(20000); window.preloadRunning && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        return *window.datasetEntries.front();
    }
    QString viewerInfo() { return window.imageViewer->findChild<QLabel*>("infoLabel")->text(); }
    QString tableValue(const char* feature)   // the "Value" cell of a feature's row
    {
        for (int row = 0; row < window.eventTable->rowCount(); ++row)
            if (window.eventTable->item(row, 0)->data(Qt::UserRole).toString() == feature)
                return window.eventTable->item(row, 1)->text();
        return "missing";
    }
    Fixtures::TempDir dir;
    bool isolated = (Testing::isolateSettings(), true);   // before the window reads its settings
    MainWindow window;
};

} // namespace

TEST_F(MainWindowEventsTest, ClickOnFilteredPlotShowsTheEventBehindThePoint)
{
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 200, {true, true, true});
    DatasetEntry& ds = open(dir.file("a.rtdc"));
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = ds.reader->readFeature("area_um")[3];
    rule.maxValue = 1e9;
    ds.filter.addRule(rule);
    window.updatePlot();
    ASSERT_NE(window.plottedEventIndices.at(10), 10);

    const int event = window.plottedEventIndices[10];
    emit window.scatterPlot->pointClicked(10);
    EXPECT_EQ(window.eventSpin->value(), event);
    EXPECT_EQ(ds.currentEventIndex, event);
    EXPECT_EQ(viewerInfo(), QStringLiteral("Event %1 (with mask)").arg(event));
    EXPECT_EQ(tableValue("index"), QString::number(ds.reader->readFeature("index")[size_t(event)], 'g', 6));
    emit window.scatterPlot->pointClicked(int(window.plottedEventIndices.size()));   // past the points: ignored
    EXPECT_EQ(ds.currentEventIndex, event);

    window.eventSpin->setValue(7);
    EXPECT_EQ(ds.currentEventIndex, 7);
    EXPECT_EQ(tableValue("deform"), QString::number(ds.reader->readFeature("deform")[7], 'g', 6));
    window.imageViewer->findChild<QCheckBox*>("showMaskCheck")->setChecked(false);
    EXPECT_EQ(viewerInfo(), "Event 7");
}

// The table and the traces belong to the dataset on screen, also when that
// one has no images to show.
TEST_F(MainWindowEventsTest, EventViewsFollowASwitchToADatasetWithoutImages)
{
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 200, {true, true, true});
    Fixtures::StandardOptions plain;
    plain.seed = 7;
    plain.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 150, plain);
    DatasetEntry& a = open(dir.file("a.rtdc"));
    window.eventSpin->setValue(7);
    ASSERT_EQ(a.currentEventIndex, 7);

    window.addDataset(QString::fromStdString(dir.file("b.rtdc")));
    for (QDeadlineTimer deadline(20000); window.preloadRunning && !deadline.hasExpired();)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    const DatasetEntry& b = *window.datasetEntries.back();
    ASSERT_EQ(window.activeDatasetId(), b.id);
    ASSERT_GE(b.currentEventIndex, 0);
    const size_t event = size_t(b.currentEventIndex);
    EXPECT_EQ(tableValue("area_um"), QString::number(b.reader->readFeature("area_um")[event], 'g', 6));
    EXPECT_EQ(tableValue("index"), QString::number(b.reader->readFeature("index")[event], 'g', 6));
    // B's traces of that event are drawn, not A's of event 7.
    ASSERT_TRUE(window.tracePlot->hasTraces());
    const auto* curve = dynamic_cast<const QwtPlotCurve*>(
        window.tracePlot->itemList(QwtPlotItem::Rtti_PlotCurve).value(0));
    ASSERT_NE(curve, nullptr);
    ASSERT_TRUE(curve->isVisible());
    const std::vector<float> trace = b.reader->readTrace(window.tracePlot->channels()[0].traceName, event);
    ASSERT_FALSE(trace.empty());
    EXPECT_EQ(curve->sample(0).y(), trace[0] + window.tracePlot->channels()[0].baselineOffset);
    EXPECT_EQ(viewerInfo(), "No Image");

    // The views ignore the event box without images: it only shows their event.
    EXPECT_FALSE(window.eventSpin->isEnabled());
    EXPECT_EQ(window.eventSpin->value(), b.currentEventIndex);

    // Features that a calculation adds get their rows at once, not at the next switch.
    emit window.calcDock()->compensateCrosstalk();
    window.calcWatcher->waitForFinished();
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    ASSERT_TRUE(b.reader->hasFeature("fl1_max_ctc"));
    EXPECT_EQ(tableValue("fl1_max_ctc"), QString::number(b.reader->readFeature("fl1_max_ctc")[event], 'g', 6));

    window.datasetList->setCurrentRow(0);
    EXPECT_TRUE(window.eventSpin->isEnabled());
    EXPECT_EQ(window.eventSpin->value(), 7);
}
