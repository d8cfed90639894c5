#include "widgets/filterdockwidget.h"

#include "app/datasetentry.h"
#include "app/filtergroup.h"
#include "filtertestdata.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "widgets/polygonrulewidget.h"
#include "common/widgetlook.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QMenu>
#include <QCoreApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Tessary;
using namespace Tessary::FilterTest;

class FilterDockWidgetTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        entry.id = 4;
        entry.reader = data.reader;
    }

    FilterRuleWidget* rangeRow(int i) { return qobject_cast<FilterRuleWidget*>(dock.ruleWidgets.at(i)); }
    PolygonRuleWidget* polygonRow(int i)
    {
        return qobject_cast<PolygonRuleWidget*>(dock.ruleWidgets.at(i));
    }
    // Rows leave with deleteLater; let them go before counting children.
    static void flushDeletes() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    Measurement data;
    DatasetEntry entry;
    FilterDockWidget dock;
};

// ---- without a dataset ----------------------------------------------------------

TEST_F(FilterDockWidgetTest, WithoutDatasetTheBoxIsOffAndRequestsDoNothing)
{
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    QSignalSpy enabledAll(&dock, &FilterDockWidget::enabledChangedForAll);
    dock.setActiveDataset(nullptr);
    EXPECT_FALSE(dock.datasetBox->isEnabled());
    EXPECT_EQ(dock.countLabel->text(), "No dataset selected");

    dock.filterEnabledCheck->click();
    dock.showExcludedCheck->click();
    dock.addRuleButton->click();
    dock.enabledAllButton->click();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(enabledAll.count(), 0);
    EXPECT_TRUE(dock.ruleWidgets.empty());
}

// ---- rows from the dataset's rules ----------------------------------------------

TEST_F(FilterDockWidgetTest, RowsFollowTheRuleListInOrder)
{
    entry.filter.addRule(polygonRule("area_um", "deform", 5));
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    entry.filter.setCombineMode(1);
    entry.filter.setEnabled(false);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    dock.setActiveDataset(&entry);

    EXPECT_EQ(changed.count(), 0);  // filling the dock is not an edit
    ASSERT_EQ(dock.ruleWidgets.size(), 2u);
    EXPECT_NE(polygonRow(0), nullptr);
    EXPECT_NE(rangeRow(1), nullptr);
    EXPECT_EQ(dock.separators.size(), 1u);
    EXPECT_TRUE(dock.datasetBox->isEnabled());
    EXPECT_FALSE(dock.filterEnabledCheck->isChecked());
    EXPECT_TRUE(dock.showExcludedCheck->isChecked());
    EXPECT_EQ(dock.countLabel->text(), "No filter active");

    DatasetEntry empty;
    dock.setActiveDataset(&empty);
    EXPECT_TRUE(dock.ruleWidgets.empty());
    EXPECT_TRUE(dock.separators.empty());
}

TEST_F(FilterDockWidgetTest, AddRuleCoversTheFirstFeatureAndReportsOnce)
{
    dock.setActiveDataset(&entry);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    dock.addRuleButton->click();

    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(entry.filter.ruleCount(), 1);
    const FilterRule& rule = entry.filter.rules[0];
    EXPECT_EQ(rule.featureName, "area_um");
    EXPECT_EQ(rule.minValue, 10.123456789);
    EXPECT_EQ(rule.maxValue, 50.987654321);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);

    dock.addRuleButton->click();
    EXPECT_EQ(entry.filter.ruleCount(), 2);
    EXPECT_EQ(dock.separators.size(), 1u);
}

TEST_F(FilterDockWidgetTest, AddRuleNeedsAReaderWithFeatures)
{
    DatasetEntry noReader;
    dock.setActiveDataset(&noReader);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    dock.addRuleButton->click();
    EXPECT_EQ(changed.count(), 0);
    EXPECT_TRUE(dock.ruleWidgets.empty());
}

// The rows are rewritten into the dataset after every edit: an edit of one
// rule must leave every other rule bit for bit as it was.
TEST_F(FilterDockWidgetTest, EditingOneRowLeavesTheOtherRulesExact)
{
    FilterRule first = rangeRule("area_um", 10.123456789, 49.999999999);
    first.propagationId = "{first}";
    const FilterRule gate = polygonRule("area_um", "deform", 7);
    entry.filter.addRule(first);
    entry.filter.addRule(gate);
    entry.filter.addRule(rangeRule("deform", 0.0123456789, 0.0456789));
    dock.setActiveDataset(&entry);
    dock.setRulePropagationId(1, "{gate}");  // kept by the gate, written with the next edit
    dock.show();

    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    QTest::keyClick(rangeRow(2)->maxSpin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(rangeRow(2)->maxSpin, "0.05");
    QTest::keyClick(rangeRow(2)->maxSpin, Qt::Key_Return);

    EXPECT_EQ(changed.count(), 1);
    ASSERT_EQ(entry.filter.ruleCount(), 3);
    EXPECT_EQ(entry.filter.rules[0].minValue, 10.123456789);
    EXPECT_EQ(entry.filter.rules[0].maxValue, 49.999999999);
    EXPECT_EQ(entry.filter.rules[0].propagationId, "{first}");
    EXPECT_EQ(entry.filter.rules[1].polygonVertices, gate.polygonVertices);
    EXPECT_EQ(entry.filter.rules[1].propagationId, "{gate}");
    EXPECT_EQ(entry.filter.rules[2].minValue, 0.0123456789);
    EXPECT_EQ(entry.filter.rules[2].maxValue, 0.05);
}

TEST_F(FilterDockWidgetTest, ToggleAndInvertARow)
{
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    entry.filter.addRule(polygonRule("area_um", "deform", 3));
    dock.setActiveDataset(&entry);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);

    rangeRow(0)->enabledCheck->click();
    EXPECT_FALSE(entry.filter.rules[0].enabled);
    polygonRow(1)->invertCheck->click();
    EXPECT_TRUE(entry.filter.rules[1].inverted);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(FilterDockWidgetTest, RemovingRowsTakesTheRightSeparator)
{
    for (const char* feature : {"area_um", "deform", "volume"})
        entry.filter.addRule(rangeRule(feature, 1.0, 2.0));
    dock.setActiveDataset(&entry);
    QWidget* lastSeparator = dock.separators[1];
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);

    rangeRow(0)->removeButton->click();
    ASSERT_EQ(dock.separators.size(), 1u);
    EXPECT_EQ(dock.separators[0], lastSeparator);
    ASSERT_EQ(entry.filter.ruleCount(), 2);
    EXPECT_EQ(entry.filter.rules[0].featureName, "deform");
    EXPECT_EQ(entry.filter.rules[1].featureName, "volume");

    dock.removeRuleWidget(1);
    EXPECT_TRUE(dock.separators.empty());
    ASSERT_EQ(entry.filter.ruleCount(), 1);
    EXPECT_EQ(entry.filter.rules[0].featureName, "deform");
    EXPECT_EQ(changed.count(), 2);

    dock.removeRuleWidget(5);
    dock.removeRuleWidget(-1);
    EXPECT_EQ(changed.count(), 2);
}

TEST_F(FilterDockWidgetTest, RowRequestsCarryTheCurrentIndex)
{
    for (const char* feature : {"area_um", "deform", "volume"})
        entry.filter.addRule(rangeRule(feature, 1.0, 2.0));
    dock.setActiveDataset(&entry);
    dock.setDatasetCount(2);
    FilterRuleWidget* last = rangeRow(2);
    rangeRow(0)->removeButton->click();

    QSignalSpy apply(&dock, &FilterDockWidget::applyRuleToAll);
    last->applyAllButton->click();
    ASSERT_EQ(apply.count(), 1);
    EXPECT_EQ(apply.at(0).at(0).toInt(), 1);  // it moved up when the first went

    dock.setRulePropagationId(1, "{p}");
    QSignalSpy update(&dock, &FilterDockWidget::updateRuleToAll);
    QSignalSpy check(&dock, &FilterDockWidget::checkRuleInAll);
    QSignalSpy uncheck(&dock, &FilterDockWidget::uncheckRuleInAll);
    QSignalSpy remove(&dock, &FilterDockWidget::deleteRuleFromAll);
    last->updateAllButton->click();
    last->checkAllButton->click();
    last->enabledCheck->click();
    last->checkAllButton->click();
    last->deleteAllButton->click();
    EXPECT_EQ(update.at(0).at(0).toInt(), 1);
    EXPECT_EQ(check.at(0).at(0).toInt(), 1);
    EXPECT_EQ(uncheck.at(0).at(0).toInt(), 1);
    EXPECT_EQ(remove.at(0).at(0).toInt(), 1);
}

TEST_F(FilterDockWidgetTest, SetRuleCheckedUpdatesRowAndDataset)
{
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    dock.setActiveDataset(&entry);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);
    dock.setRuleChecked(0, false);
    EXPECT_FALSE(rangeRow(0)->enabledCheck->isChecked());
    EXPECT_FALSE(entry.filter.rules[0].enabled);
    EXPECT_EQ(changed.count(), 1);
    dock.setRuleChecked(3, true);
    EXPECT_EQ(changed.count(), 1);
}

// ---- enabled flag and combine mode ------------------------------------------------

TEST_F(FilterDockWidgetTest, EnabledFlagAndCombineModeEditTheDataset)
{
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    dock.setActiveDataset(&entry);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);

    dock.showExcludedCheck->click();
    EXPECT_EQ(entry.filter.combineMode(), 1);
    dock.filterEnabledCheck->click();
    EXPECT_FALSE(entry.filter.isEnabled());
    EXPECT_EQ(changed.count(), 2);
    EXPECT_EQ(entry.filter.ruleCount(), 1);

    dock.showExcludedCheck->click();
    EXPECT_EQ(entry.filter.combineMode(), 0);
}

TEST_F(FilterDockWidgetTest, AllDatasetsButtonsNeedASecondDataset)
{
    // Never a blank button: out of sight until it has its text.
    for (const QPushButton* button : {dock.enabledAllButton, dock.combineAllButton})
        EXPECT_TRUE(button->isHidden() || !button->text().isEmpty());

    dock.setActiveDataset(&entry);
    dock.setDatasetCount(1);
    dock.setEnabledDiffers(true);
    dock.setCombineModeDiffers(true);
    EXPECT_FALSE(dock.enabledAllButton->isEnabled());
    EXPECT_FALSE(Testing::showsAccent(dock.enabledAllButton));
    EXPECT_EQ(dock.enabledAllButton->text(), "Enable in All Datasets");
    EXPECT_EQ(dock.combineAllButton->text(), "Hide Excluded in All Datasets");
    EXPECT_FALSE(dock.enabledAllButton->isHidden());
    EXPECT_FALSE(dock.combineAllButton->isHidden());

    dock.setDatasetCount(3);
    dock.showExcludedCheck->click();
    dock.filterEnabledCheck->click();
    dock.setEnabledDiffers(true);
    dock.setCombineModeDiffers(false);
    EXPECT_TRUE(dock.enabledAllButton->isEnabled());
    EXPECT_TRUE(Testing::showsAccent(dock.enabledAllButton));
    EXPECT_FALSE(Testing::showsAccent(dock.combineAllButton));
    EXPECT_EQ(dock.enabledAllButton->text(), "Disable in All Datasets");
    EXPECT_EQ(dock.combineAllButton->text(), "Show Excluded in All Datasets");

    QSignalSpy enabledAll(&dock, &FilterDockWidget::enabledChangedForAll);
    QSignalSpy combineAll(&dock, &FilterDockWidget::combineModeChangedForAll);
    dock.enabledAllButton->click();
    dock.combineAllButton->click();
    EXPECT_EQ(enabledAll.at(0), (QList<QVariant>{false}));
    EXPECT_EQ(combineAll.at(0), (QList<QVariant>{1}));
}

// ---- polygons ----------------------------------------------------------------------

TEST_F(FilterDockWidgetTest, EditOnOnePolygonReleasesTheOthersSilently)
{
    entry.filter.addRule(polygonRule("area_um", "deform", 3));
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    entry.filter.addRule(polygonRule("area_um", "deform", 4));
    dock.setActiveDataset(&entry);
    QSignalSpy edit(&dock, &FilterDockWidget::polygonEditRequested);

    polygonRow(0)->editButton->click();
    polygonRow(2)->editButton->click();
    EXPECT_FALSE(polygonRow(0)->editButton->isChecked());
    ASSERT_EQ(edit.count(), 2);
    EXPECT_EQ(edit.at(0), (QList<QVariant>{0, true}));
    EXPECT_EQ(edit.at(1), (QList<QVariant>{2, true}));

    dock.setPolygonEditChecked(2, false);
    EXPECT_FALSE(polygonRow(2)->editButton->isChecked());
    EXPECT_EQ(edit.count(), 2);
}

TEST_F(FilterDockWidgetTest, PolygonButtonAsksToDrawAndToCancel)
{
    dock.setActiveDataset(&entry);
    QSignalSpy draw(&dock, &FilterDockWidget::polygonDrawRequested);
    QSignalSpy cancel(&dock, &FilterDockWidget::polygonDrawCancelRequested);
    dock.addPolygonButton->click();
    dock.addPolygonButton->click();
    EXPECT_EQ(draw.count(), 1);
    EXPECT_EQ(cancel.count(), 1);
    dock.setPolygonButtonChecked(true);
    EXPECT_TRUE(dock.addPolygonButton->isChecked());
    EXPECT_EQ(draw.count(), 1);
}

// ---- groups --------------------------------------------------------------------------

TEST_F(FilterDockWidgetTest, GroupWidgetsShowNamesSwitchesAndRules)
{
    FilterGroup beads{0, "Beads", {rangeRule("volume", 10.0, 20.0)}};
    FilterGroup cells{5, "Cells", {polygonRule("area_um", "deform", 4), rangeRule("deform", 0.01, 0.02)}};
    entry.groupEnabled[5] = true;
    dock.setActiveDataset(&entry);
    dock.setDatasetCount(2);
    dock.rebuildGroupWidgets({&beads, &cells}, entry.reader.get());

    ASSERT_EQ(dock.groupWidgets.size(), 2u);
    EXPECT_EQ(dock.groupWidgets[0]->nameEdit->text(), "Beads");
    EXPECT_FALSE(dock.groupWidgets[0]->enableCheck->isChecked());
    EXPECT_TRUE(dock.groupWidgets[1]->enableCheck->isChecked());
    EXPECT_EQ(dock.groupWidgets[1]->ruleWidgets.size(), 2u);
    EXPECT_TRUE(dock.groupWidgets[1]->propagateButton->isEnabled());

    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    ASSERT_EQ(dock.groupWidgets.size(), 1u);
    EXPECT_EQ(dock.groupWidgets[0]->groupId, 5);
}

// Sessions hold thousands of rules. No parent holds more than a block of rows
// (Qt compares each widget it repaints with all its later siblings), and the
// main window's repeated requests for the same rows in one go build them once.
TEST_F(FilterDockWidgetTest, LongRuleListsAreBuiltInBlocksAndOnce)
{
    for (int i = 0; i < 300; ++i)
        entry.filter.addRule(rangeRule("deform", 0.01, 0.02));
    FilterGroup cells{5, "Cells", std::vector<FilterRule>(300, rangeRule("volume", 1.0, 2.0))};
    dock.setActiveDataset(&entry);
    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    for (const QWidget* widget : dock.findChildren<QWidget*>())
        EXPECT_LE(widget->children().size(), 70) << widget->metaObject()->className();

    QWidget* row = dock.ruleWidgets.at(0);
    FilterGroupWidget* group = dock.groupWidgets.at(0);
    dock.setActiveDataset(&entry);
    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    EXPECT_EQ(dock.ruleWidgets.at(0), row);
    EXPECT_EQ(dock.groupWidgets.at(0), group);

    cells.rules.pop_back();   // other rules are built anew
    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    EXPECT_NE(dock.groupWidgets.at(0), group);
    EXPECT_EQ(dock.groupWidgets.at(0)->ruleWidgets.size(), 299u);
    QCoreApplication::processEvents();   // and so is everything once the event loop ran
    dock.setActiveDataset(&entry);
    EXPECT_NE(dock.ruleWidgets.at(0), row);
}

TEST_F(FilterDockWidgetTest, GroupSignalsAreForwardedWithTheirArguments)
{
    FilterGroup cells{5, "Cells", {rangeRule("deform", 0.01, 0.02), polygonRule("area_um", "deform", 4)}};
    dock.setActiveDataset(&entry);
    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    FilterGroupWidget* group = dock.groupWidgets[0];

    QSignalSpy enable(&dock, &FilterDockWidget::groupEnableChanged);
    QSignalSpy ruleChanged(&dock, &FilterDockWidget::groupRuleChanged);
    QSignalSpy ruleRemoved(&dock, &FilterDockWidget::groupRuleRemoved);
    QSignalSpy polygonEdit(&dock, &FilterDockWidget::groupPolygonEditRequested);
    QSignalSpy addRule(&dock, &FilterDockWidget::addRuleToGroupRequested);
    QSignalSpy remove(&dock, &FilterDockWidget::deleteFilterGroupRequested);
    QSignalSpy changed(&dock, &FilterDockWidget::filterChanged);

    group->enableCheck->click();
    qobject_cast<FilterRuleWidget*>(group->ruleWidgets[0])->invertCheck->click();
    qobject_cast<PolygonRuleWidget*>(group->ruleWidgets[1])->editButton->click();
    qobject_cast<PolygonRuleWidget*>(group->ruleWidgets[1])->removeButton->click();
    group->addRuleButton->click();
    group->deleteButton->click();

    EXPECT_EQ(enable.at(0), (QList<QVariant>{5, true}));
    ASSERT_EQ(ruleChanged.count(), 1);
    EXPECT_EQ(ruleChanged.at(0).at(1).toInt(), 0);
    EXPECT_TRUE(ruleChanged.at(0).at(2).value<FilterRule>().inverted);
    EXPECT_EQ(polygonEdit.at(0), (QList<QVariant>{5, 1, true}));
    EXPECT_EQ(ruleRemoved.at(0), (QList<QVariant>{5, 1}));
    EXPECT_EQ(addRule.at(0), (QList<QVariant>{5}));
    EXPECT_EQ(remove.at(0), (QList<QVariant>{5}));
    // Groups are the main window's: the dataset's own filter is untouched.
    EXPECT_EQ(changed.count(), 0);
    EXPECT_EQ(entry.filter.ruleCount(), 0);
}

TEST_F(FilterDockWidgetTest, GroupMarkersFromTheMainWindow)
{
    FilterGroup cells{5, "Cells", {polygonRule("area_um", "deform", 4)}};
    dock.setActiveDataset(&entry);
    dock.setDatasetCount(2);
    dock.rebuildGroupWidgets({&cells}, entry.reader.get());
    FilterGroupWidget* group = dock.groupWidgets[0];

    dock.setGroupSyncState(5, true);
    EXPECT_TRUE(Testing::showsAccent(group->propagateButton));
    dock.setGroupSyncState(9, false);  // unknown group: nothing
    EXPECT_TRUE(group->differs);

    QSignalSpy polygonEdit(&dock, &FilterDockWidget::groupPolygonEditRequested);
    dock.setGroupPolygonEditChecked(5, 0, true);
    dock.setGroupPolygonEditChecked(5, 3, true);
    EXPECT_TRUE(qobject_cast<PolygonRuleWidget*>(group->ruleWidgets[0])->editButton->isChecked());
    EXPECT_EQ(polygonEdit.count(), 0);
}

TEST_F(FilterDockWidgetTest, FeatureListsReachRowsAndGroups)
{
    entry.filter.addRule(rangeRule("deform", 0.02, 0.05));
    FilterGroup beads{0, "Beads", {rangeRule("volume", 10.0, 20.0)}};
    dock.setActiveDataset(&entry);
    dock.rebuildGroupWidgets({&beads}, entry.reader.get());

    data.reader->setComputedFeature("emodulus", std::vector<double>(5, 1.0));
    dock.refreshFeatureLists();
    auto* groupRow = qobject_cast<FilterRuleWidget*>(dock.groupWidgets[0]->ruleWidgets[0]);
    EXPECT_GE(rangeRow(0)->featureCombo->findData("emodulus"), 0);
    EXPECT_GE(groupRow->featureCombo->findData("emodulus"), 0);
    EXPECT_EQ(dock.groupWidgets[0]->features, data.scalarFeatures());
    EXPECT_EQ(entry.filter.rules[0].minValue, 0.02);
}

// ---- menu and count label ------------------------------------------------------------

TEST_F(FilterDockWidgetTest, MenuActionsBecomeRequests)
{
    dock.setActiveDataset(&entry);
    QSignalSpy applyAll(&dock, &FilterDockWidget::applyToAllRequested);
    QSignalSpy importFilters(&dock, &FilterDockWidget::importMeasurementFiltersRequested);
    QSignalSpy importGroups(&dock, &FilterDockWidget::importGroupsRequested);
    QSignalSpy exportGroups(&dock, &FilterDockWidget::exportGroupsRequested);
    QSignalSpy addGroup(&dock, &FilterDockWidget::addFilterGroupRequested);

    for (QAction* action : dock.findChildren<QAction*>()) {
        if (!action->isSeparator() && !action->menu())
            action->trigger();
    }
    dock.addGroupButton->click();
    EXPECT_EQ(applyAll.count(), 1);
    ASSERT_EQ(importFilters.count(), 2);
    EXPECT_NE(importFilters.at(0).at(0).toBool(), importFilters.at(1).at(0).toBool());
    EXPECT_EQ(importGroups.count(), 1);
    EXPECT_EQ(exportGroups.count(), 1);
    EXPECT_EQ(addGroup.count(), 1);
}

TEST_F(FilterDockWidgetTest, CountTexts)
{
    dock.setEventCounts(0, 0);
    EXPECT_EQ(dock.countLabel->text(), "No events");
    dock.setEventCounts(250, 1000);
    EXPECT_EQ(dock.countLabel->text(), "250 / 1000 events shown (25.0%)");
    dock.setEventCounts(1, 3);
    EXPECT_EQ(dock.countLabel->text(), "1 / 3 events shown (33.3%)");
    dock.setEventCounts(1000, 1000);
    EXPECT_EQ(dock.countLabel->text(), "1000 events (no filter active)");
    dock.setEventCounts(1000, 1000, true);   // rules that every event passes
    EXPECT_EQ(dock.countLabel->text(), "1000 / 1000 events shown (100.0%)");
}

// ---- a narrow dock ---------------------------------------------------------------

// The main window lets the dock be 300 px wide and scrolls what is wider. At
// that width every button shows whole and nothing scrolls sideways: the long
// all-datasets buttons go below their check boxes; with room they stay beside.
TEST_F(FilterDockWidgetTest, AtItsNarrowestEveryButtonShowsWhole)
{
    FilterRule shared = rangeRule("volume", -1234.5, 98765.4);
    shared.propagationId = "{shared}";
    entry.filter.addRule(shared);
    entry.filter.addRule(polygonRule("area_um", "deform", 5));
    FilterGroup cells{5, "Cells", {rangeRule("volume", -1234.5, 98765.4), polygonRule("area_um", "deform", 4)}};
    QScrollArea frame;
    frame.setWidgetResizable(true);
    frame.setFrameShape(QFrame::NoFrame);
    auto* narrow = new FilterDockWidget;
    frame.setWidget(narrow);
    narrow->setDatasetCount(3);
    narrow->setActiveDataset(&entry);
    narrow->rebuildGroupWidgets({&cells}, entry.reader.get());
    narrow->setEnabledDiffers(true);   // the accent's bold face is the wider one
    narrow->setCombineModeDiffers(true);
    frame.resize(300, 900);
    frame.show();
    QCoreApplication::processEvents();

    EXPECT_FALSE(Testing::scrollsSideways(&frame));
    EXPECT_EQ(Testing::buttonsCutAcross(&frame), "");
    EXPECT_EQ(Testing::valuesCut(&frame), "");
    EXPECT_GT(narrow->combineAllButton->y(), narrow->showExcludedCheck->y());

    frame.resize(500, 900);
    QCoreApplication::processEvents();
    EXPECT_NEAR(narrow->combineAllButton->geometry().center().y(),
                narrow->showExcludedCheck->geometry().center().y(), 1);
}
