// Polygon gates drawn and edited on the main window's plot, through the real
// window: where a drawn polygon lands, what the plot shows, and edits.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "mainwindowtesting.h"
#include "widgets/filterdockwidget.h"
#include "widgets/polygonrulewidget.h"
#include "widgets/scatterplot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QListWidget>
#include <QPushButton>

#include <qwt_plot_item.h>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class MainWindowPolygonsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
        Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 300);
        window->addDataset(QString::fromStdString(dir.file("a.rtdc")));
        QDeadlineTimer deadline(20000);
        while (window->preloadRunning && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_FALSE(window->preloadRunning);
    }
    DatasetEntry& ds() { return *window->datasetEntries.front(); }
    // A box around the lower-left quarter of the plotted points.
    QPolygonF lowerQuarter() const
    {
        const auto [x0, x1] = std::minmax_element(window->plotX.begin(), window->plotX.end());
        const auto [y0, y1] = std::minmax_element(window->plotY.begin(), window->plotY.end());
        const double xm = (*x0 + *x1) / 2, ym = (*y0 + *y1) / 2;
        return QPolygonF{{*x0 - 1, *y0 - 1}, {xm, *y0 - 1}, {xm, ym}, {*x0 - 1, ym}};
    }
    int shownGates() const
    {
        int n = 0;
        for (const QwtPlotItem* item : window->scatterPlot->itemList(QwtPlotItem::Rtti_PlotShape))
            n += item->isVisible() ? 1 : 0;
        return n;
    }
    PolygonRuleWidget* row(int i) { return qobject_cast<PolygonRuleWidget*>(window->filterDock->ruleWidgets.at(size_t(i))); }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowPolygonsTest, DrawnPolygonBecomesDatasetRuleOrGroupRule)
{
    window->scaleYCombo->setCurrentIndex(2);
    emit window->scatterPlot->polygonCompleted(lowerQuarter());
    ASSERT_EQ(ds().filter.ruleCount(), 1);
    const FilterRule& rule = ds().filter.rules[0];
    EXPECT_EQ(rule.type, 1);
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.featureNameY, "deform");
    EXPECT_EQ(rule.scaleXMode, 0);
    EXPECT_EQ(rule.scaleYMode, 2);
    EXPECT_EQ(rule.polygonVertices.size(), 4u);
    EXPECT_NE(row(0), nullptr);
    EXPECT_GT(window->plotX.size(), 0u);
    EXPECT_LT(window->plotX.size(), 300u);
    EXPECT_EQ(shownGates(), 1);

    // A group's "+ Polygon" sends the next polygon to the group, once.
    const int group = window->addFilterGroup();
    window->setGroupEnabled(ds().id, group, true);
    emit window->filterDock->addPolygonToGroupRequested(group);
    EXPECT_TRUE(window->filterDock->addPolygonButton->isChecked());
    emit window->scatterPlot->polygonCompleted(lowerQuarter());
    window->scatterPlot->cancelPolygonDrawing();   // the plot ends its drawing after completing
    EXPECT_FALSE(window->filterDock->addPolygonButton->isChecked());
    ASSERT_EQ(window->findFilterGroupById(group)->rules.size(), 1u);
    EXPECT_TRUE(window->findFilterGroupById(group)->rules[0].propagationId.empty());
    EXPECT_EQ(ds().filter.ruleCount(), 1);
    EXPECT_EQ(shownGates(), 2);

    emit window->scatterPlot->polygonCompleted(lowerQuarter());
    EXPECT_EQ(ds().filter.ruleCount(), 2);

    // Gates of other axes leave the plot and come back with their axes.
    window->yFeatureCombo->setCurrentIndex(window->yFeatureCombo->findData("aspect"));
    EXPECT_EQ(shownGates(), 0);
    window->yFeatureCombo->setCurrentIndex(window->yFeatureCombo->findData("deform"));
    EXPECT_EQ(shownGates(), 3);
}

TEST_F(MainWindowPolygonsTest, EditedGatesUpdateTheirRules)
{
    emit window->scatterPlot->polygonCompleted(lowerQuarter());
    const size_t keptBefore = window->plotX.size();

    row(0)->editButton->setChecked(true);
    ASSERT_TRUE(window->scatterPlot->isEditingPolygon());
    EXPECT_EQ(shownGates(), 0);   // the edit curve stands for the gate
    QPolygonF wider = lowerQuarter();
    wider[1].rx() *= 10;
    wider[2].rx() *= 10;
    emit window->scatterPlot->polygonEdited(0, wider);
    EXPECT_EQ(ds().filter.rules[0].polygonVertices[1].first, wider[1].x());
    EXPECT_GT(window->plotX.size(), keptBefore);
    // A row edit rewrites the rules from the rows: the new vertices survive it.
    row(0)->invertCheck->setChecked(true);
    EXPECT_TRUE(ds().filter.rules[0].inverted);
    EXPECT_EQ(ds().filter.rules[0].polygonVertices[1].first, wider[1].x());

    window->scatterPlot->stopPolygonEditing();
    EXPECT_FALSE(row(0)->editButton->isChecked());
    EXPECT_EQ(shownGates(), 1);

    // A group gate is edited under its own id.
    const int group = window->addFilterGroup();
    window->setGroupEnabled(ds().id, group, true);
    FilterRule gate = ds().filter.rules[0];
    window->addRuleToGroup(group, gate);
    emit window->filterDock->groupPolygonEditRequested(group, 0, true);
    EXPECT_EQ(window->scatterPlot->editingPolygonId(), (group + 100) * 10000);
    const QPolygonF narrower = lowerQuarter();
    emit window->scatterPlot->polygonEdited((group + 100) * 10000, narrower);
    EXPECT_EQ(window->findFilterGroupById(group)->rules[0].polygonVertices[1].first, narrower[1].x());

    // A gate of other axes is not edited and its button is released.
    window->scatterPlot->stopPolygonEditing();
    window->xFeatureCombo->setCurrentIndex(window->xFeatureCombo->findData("aspect"));
    row(0)->editButton->setChecked(true);
    EXPECT_FALSE(window->scatterPlot->isEditingPolygon());
    EXPECT_FALSE(row(0)->editButton->isChecked());
}

TEST_F(MainWindowPolygonsTest, EditEndsWhenItsGateLeavesThePlot)
{
    // Vertices dragged after a switch must not land in another rule with the same id.
    emit window->scatterPlot->polygonCompleted(lowerQuarter());
    row(0)->editButton->setChecked(true);
    window->yFeatureCombo->setCurrentIndex(window->yFeatureCombo->findData("aspect"));
    EXPECT_FALSE(window->scatterPlot->isEditingPolygon());
    EXPECT_FALSE(row(0)->editButton->isChecked());
    window->yFeatureCombo->setCurrentIndex(window->yFeatureCombo->findData("deform"));

    const FilterRule gate = ds().filter.rules[0];
    Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 100);
    window->addDataset(QString::fromStdString(dir.file("b.rtdc")));
    window->datasetEntries[1]->filter.addRule(gate);
    window->datasetList->setCurrentRow(0);
    row(0)->editButton->setChecked(true);
    window->datasetList->setCurrentRow(1);   // still loading: no plot update yet
    emit window->scatterPlot->polygonEdited(0, QPolygonF{{0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(window->datasetEntries[1]->filter.rules[0].polygonVertices, gate.polygonVertices);
    QDeadlineTimer deadline(20000);
    while (window->preloadRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(window->scatterPlot->isEditingPolygon());
}
