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
#include <QPushButton>

#include <qwt_plot_item.h>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

struct MainWindowPolygonsTest : ::testing::Test {
    void SetUp() override
    {
        Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 300);
        window.addDataset(QString::fromStdString(dir.file("a.rtdc")));
        waitForPreload();
    }
    void waitForPreload()
    {
        for (QDeadlineTimer deadline(20000); window.preloadRunning && !deadline.hasExpired();)
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    DatasetEntry& ds() { return *window.datasetEntries.front(); }
    // The small cells of the measurement: a part of the plotted points.
    static QPolygonF lowerQuarter() { return QPolygonF{{0, 0}, {60, 0}, {60, 0.03}, {0, 0.03}}; }
    long shownGates() const
    {
        const auto items = window.scatterPlot->itemList(QwtPlotItem::Rtti_PlotShape);
        return std::count_if(items.begin(), items.end(), [](const QwtPlotItem* item) { return item->isVisible(); });
    }
    static void show(QComboBox* axis, const char* feature) { axis->setCurrentIndex(axis->findData(feature)); }
    PolygonRuleWidget* row(int i) { return qobject_cast<PolygonRuleWidget*>(window.filterDock->ruleWidgets.at(size_t(i))); }

    Fixtures::TempDir dir;
    bool isolated = (Testing::isolateSettings(), true);   // before the window reads its settings
    MainWindow window;
};

} // namespace

TEST_F(MainWindowPolygonsTest, DrawnPolygonBecomesDatasetRuleOrGroupRule)
{
    window.scaleYCombo->setCurrentIndex(2);
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    ASSERT_EQ(ds().filter.ruleCount(), 1);
    const FilterRule& rule = ds().filter.rules[0];
    EXPECT_EQ(std::tie(rule.type, rule.featureName, rule.featureNameY, rule.scaleXMode, rule.scaleYMode),
              std::make_tuple(1, std::string("area_um"), std::string("deform"), 0, 2));
    EXPECT_TRUE(window.plotXValues.size() > 0 && window.plotXValues.size() < 300) << window.plotXValues.size();

    // A group's "+ Polygon" sends the next polygon to the group, once.
    const int group = window.addFilterGroup();
    window.setGroupEnabled(ds().id, group, true);
    emit window.filterDock->addPolygonToGroupRequested(group);
    EXPECT_TRUE(window.filterDock->addPolygonButton->isChecked());
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    window.scatterPlot->cancelPolygonDrawing();   // the plot ends its drawing after completing
    EXPECT_FALSE(window.filterDock->addPolygonButton->isChecked());
    ASSERT_EQ(window.findFilterGroupById(group)->rules.size(), 1u);
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    EXPECT_EQ(ds().filter.ruleCount(), 2);

    // Gates of other axes leave the plot and come back with their axes.
    EXPECT_EQ(shownGates(), 3);
    show(window.yFeatureCombo, "aspect");
    EXPECT_EQ(shownGates(), 0);
    show(window.yFeatureCombo, "deform");
    EXPECT_EQ(shownGates(), 3);
}

TEST_F(MainWindowPolygonsTest, EditedGatesUpdateTheirRules)
{
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    const size_t keptBefore = window.plotXValues.size();
    row(0)->editButton->setChecked(true);
    ASSERT_TRUE(window.scatterPlot->isEditingPolygon());
    EXPECT_EQ(shownGates(), 0);   // the edit curve stands for the gate
    const QPolygonF wider{{0, 0}, {600, 0}, {600, 0.03}, {0, 0.03}};
    emit window.scatterPlot->polygonEdited(0, wider);
    EXPECT_GT(window.plotXValues.size(), keptBefore);
    // A row edit rewrites the rules from the rows: the new vertices survive it.
    row(0)->invertCheck->setChecked(true);
    EXPECT_EQ(ds().filter.rules[0].polygonVertices[1].first, wider[1].x());
    window.scatterPlot->stopPolygonEditing();
    EXPECT_FALSE(row(0)->editButton->isChecked());
    EXPECT_EQ(shownGates(), 1);

    const int group = window.addFilterGroup();   // a group gate is edited under its own id
    window.setGroupEnabled(ds().id, group, true);
    window.addRuleToGroup(group, ds().filter.rules[0]);
    emit window.filterDock->groupPolygonEditRequested(group, 0, true);
    ASSERT_EQ(window.scatterPlot->editingPolygonId(), (group + 100) * 10000);
    emit window.scatterPlot->polygonEdited((group + 100) * 10000, QPolygonF{{0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(window.findFilterGroupById(group)->rules[0].polygonVertices.size(), 3u);
}

TEST_F(MainWindowPolygonsTest, EditEndsWhenItsGateLeavesThePlot)
{
    // Vertices dragged after a switch must not land in another rule with the same id.
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    show(window.xFeatureCombo, "aspect");
    row(0)->editButton->setChecked(true);   // a gate of other axes is not edited
    EXPECT_FALSE(row(0)->editButton->isChecked());
    show(window.xFeatureCombo, "area_um");
    row(0)->editButton->setChecked(true);
    show(window.yFeatureCombo, "aspect");
    EXPECT_FALSE(window.scatterPlot->isEditingPolygon());
    EXPECT_FALSE(row(0)->editButton->isChecked());
    show(window.yFeatureCombo, "deform");

    const FilterRule gate = ds().filter.rules[0];
    Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 100);
    window.addDataset(QString::fromStdString(dir.file("b.rtdc")));
    window.datasetEntries[1]->filter.addRule(gate);
    window.datasetList->setCurrentRow(0);
    row(0)->editButton->setChecked(true);
    window.datasetList->setCurrentRow(1);   // still loading: no plot update yet
    emit window.scatterPlot->polygonEdited(0, QPolygonF{{0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(window.datasetEntries[1]->filter.rules[0].polygonVertices, gate.polygonVertices);
    waitForPreload();
    EXPECT_FALSE(window.scatterPlot->isEditingPolygon());

    // An empty plot has no gate to edit: removing the last dataset, or
    // clearing the session, ends the edit and takes its curve away.
    const auto editCurveShown = [this] {
        const auto curves = window.scatterPlot->polygonToolCurves();
        return std::any_of(curves.begin(), curves.end(), [](const QwtPlotItem* c) { return c->isVisible(); });
    };
    window.datasetList->setCurrentRow(1);
    ASSERT_TRUE(QMetaObject::invokeMethod(&window, "removeDataset"));
    for (const char* emptying : {"removeDataset", "clearSession"}) {
        ASSERT_EQ(window.datasetEntries.size(), 1u);
        row(0)->editButton->setChecked(true);
        ASSERT_TRUE(window.scatterPlot->isEditingPolygon());
        Testing::MessageBoxCatcher question;   // "Clear Session" asks first
        question.answer = QMessageBox::Ok;
        question.arm();
        ASSERT_TRUE(QMetaObject::invokeMethod(&window, emptying));
        ASSERT_TRUE(window.datasetEntries.empty());
        EXPECT_FALSE(window.scatterPlot->isEditingPolygon()) << emptying;
        EXPECT_FALSE(editCurveShown()) << emptying;
        window.addDataset(QString::fromStdString(dir.file("a.rtdc")));
        waitForPreload();
        ds().filter.addRule(gate);
        window.filterDock->setActiveDataset(&ds());
    }
}

TEST_F(MainWindowPolygonsTest, EditEndsWhenItsRuleMovesOrGoes)
{
    // Deleting a rule before the edited one hands the edited id to the next
    // gate: later vertices must not land there.
    const auto gate = [](double x) { return QPolygonF{{x, 0}, {x + 60, 0}, {x + 60, 0.03}, {x, 0.03}}; };
    for (double x : {0.0, 100.0, 200.0})
        emit window.scatterPlot->polygonCompleted(gate(x));
    ASSERT_EQ(ds().filter.ruleCount(), 3);
    const FilterRule last = ds().filter.rules[2];
    row(1)->editButton->setChecked(true);
    ASSERT_EQ(window.scatterPlot->editingPolygonId(), 1);
    row(0)->removeButton->click();
    EXPECT_FALSE(window.scatterPlot->isEditingPolygon());
    emit window.scatterPlot->polygonEdited(1, QPolygonF{{0, 0}, {1, 0}, {1, 1}});
    EXPECT_EQ(ds().filter.rules[1].polygonVertices, last.polygonVertices);

    const int group = window.addFilterGroup();
    window.setGroupEnabled(ds().id, group, true);
    for (const FilterRule& rule : std::vector<FilterRule>(ds().filter.rules))
        window.addRuleToGroup(group, rule);
    emit window.filterDock->groupPolygonEditRequested(group, 1, true);
    ASSERT_EQ(window.scatterPlot->editingPolygonId(), (group + 100) * 10000 + 1);
    emit window.filterDock->groupRuleRemoved(group, 0);
    EXPECT_FALSE(window.scatterPlot->isEditingPolygon());
}

// Vertices are placed in the coordinates of one dataset's plot: a drawing ends
// when the dataset, an axis or a scale changes, and goes on when only the colour does.
TEST_F(MainWindowPolygonsTest, DrawingEndsWhenItsDatasetAxesOrScalesChange)
{
    QPushButton* drawing = window.filterDock->addPolygonButton;
    drawing->setChecked(true);
    show(window.colorFeatureCombo, "__density_kde__");
    EXPECT_TRUE(drawing->isChecked());
    show(window.xFeatureCombo, "aspect");
    EXPECT_FALSE(drawing->isChecked());
    drawing->setChecked(true);
    window.scaleYCombo->setCurrentIndex(2);
    EXPECT_FALSE(drawing->isChecked());

    Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 100);
    window.addDataset(QString::fromStdString(dir.file("b.rtdc")));
    waitForPreload();
    drawing->setChecked(true);
    window.datasetList->setCurrentRow(0);
    EXPECT_FALSE(drawing->isChecked());
    // A group's polygon ends the same way, and the group is forgotten.
    const int group = window.addFilterGroup();
    emit window.filterDock->addPolygonToGroupRequested(group);
    ASSERT_TRUE(drawing->isChecked());
    window.datasetList->setCurrentRow(1);
    EXPECT_FALSE(drawing->isChecked());
    EXPECT_EQ(window.polygonTargetGroupId, -1);
    emit window.scatterPlot->polygonCompleted(lowerQuarter());
    EXPECT_TRUE(window.findFilterGroupById(group)->rules.empty());
}
