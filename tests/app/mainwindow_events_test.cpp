// The shown event of the main window (plot clicks, the event spin box, image,
// traces and values) and the metadata tree, through the real window.
#include "app/mainwindow.h"

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
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class MainWindowEventsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }
    void open(const std::string& path)
    {
        window->addDataset(QString::fromStdString(path));
        QDeadlineTimer deadline(20000);
        while (window->preloadRunning && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_FALSE(window->preloadRunning);
    }
    DatasetEntry& ds() { return *window->datasetEntries.front(); }
    bool viewerSays(const QString& text)
    {
        for (const QLabel* label : window->imageViewer->findChildren<QLabel*>())
            if (label->text() == text)
                return true;
        return false;
    }
    // The "Value" cell of the event table's row of a feature.
    QString tableValue(const char* feature)
    {
        for (int row = 0; row < window->eventTable->rowCount(); ++row)
            if (window->eventTable->item(row, 0)->toolTip() == feature)
                return window->eventTable->item(row, 1)->text();
        return "missing";
    }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowEventsTest, ClickOnFilteredPlotShowsTheEventBehindThePoint)
{
    Fixtures::StandardOptions options;
    options.images = options.masks = options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 200, options);
    open(dir.file("a.rtdc"));
    const auto& area = ds().reader->readFeature("area_um");
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = area[3];
    rule.maxValue = 1e9;
    ds().filter.addRule(rule);
    window->updatePlot();
    ASSERT_GT(window->plottedEventIndices.size(), 10u);
    ASSERT_NE(window->plottedEventIndices[10], 10);

    const int event = window->plottedEventIndices[10];
    emit window->scatterPlot->pointClicked(10);
    EXPECT_EQ(window->eventSpin->value(), event);
    EXPECT_EQ(ds().currentEventIndex, event);
    EXPECT_TRUE(viewerSays(QStringLiteral("Event %1 (with mask)").arg(event)));
    EXPECT_EQ(tableValue("index"), QString::number(ds().reader->readFeature("index")[size_t(event)], 'g', 6));
    // Points past the plotted ones are ignored.
    emit window->scatterPlot->pointClicked(int(window->plottedEventIndices.size()));
    EXPECT_EQ(ds().currentEventIndex, event);

    window->eventSpin->setValue(7);
    EXPECT_EQ(ds().currentEventIndex, 7);
    EXPECT_TRUE(viewerSays(QStringLiteral("Event 7 (with mask)")));
    window->imageViewer->findChild<QCheckBox*>("showMaskCheck")->setChecked(false);
    EXPECT_TRUE(viewerSays(QStringLiteral("Event 7")));
    EXPECT_EQ(tableValue("deform"), QString::number(ds().reader->readFeature("deform")[7], 'g', 6));
    // Named channels of the metadata give the trace plot its curves.
    EXPECT_TRUE(window->tracePlot->hasTraces());
}

TEST_F(MainWindowEventsTest, DatasetWithoutImagesIgnoresClicksAndSpinBox)
{
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 100);
    open(dir.file("a.rtdc"));
    emit window->scatterPlot->pointClicked(12);
    window->eventSpin->setValue(20);
    EXPECT_EQ(ds().currentEventIndex, 0);
}

TEST_F(MainWindowEventsTest, UnnamedTraceChannelsAndOtherMetadata)
{
    const std::size_t n = 20;
    Fixtures::RtdcFileBuilder b;
    std::vector<float> area(n), deform(n);
    for (std::size_t i = 0; i < n; ++i) {
        area[i] = float(10 + i);
        deform[i] = 0.01f * float(i + 1);
    }
    b.feature("area_um", area).feature("deform", deform);
    b.image(std::vector<uint8_t>(n * 4 * 6, 100), n, 4, 6);
    b.trace("fl1_median", std::vector<int16_t>(n * 8, 5), n, 8);
    b.trace("fl3_median", std::vector<int16_t>(n * 8, 5), n, 8);
    b.attribute("setup:module composition", "Vireon").attribute("extra:note", "kept").attribute("nocolon", "x");
    b.write(dir.file("t.rtdc"));
    open(dir.file("t.rtdc"));

    std::vector<std::pair<int, std::string>> channels;
    for (const TraceChannel& c : window->tracePlot->channels())
        channels.emplace_back(c.channel, c.channelName);
    EXPECT_EQ(channels, (std::vector<std::pair<int, std::string>>{{1, "FL1"}, {3, "FL3"}}));

    QMetaObject::invokeMethod(window.get(), "showMetadata");
    QStringList sections;
    for (int i = 0; i < window->metadataTree->topLevelItemCount(); ++i)
        sections << window->metadataTree->topLevelItem(i)->text(0);
    EXPECT_EQ(sections, (QStringList{"Setup", "Other"}));
    const QTreeWidgetItem* other = window->metadataTree->topLevelItem(1);
    ASSERT_EQ(other->childCount(), 1);
    EXPECT_EQ(other->child(0)->text(0), "extra:note");
}
