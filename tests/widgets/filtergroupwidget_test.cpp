#include "widgets/filtergroupwidget.h"

#include "filtertestdata.h"
#include "widgets/filterrulewidget.h"
#include "widgets/polygonrulewidget.h"
#include "common/widgetlook.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Tessary;
using namespace Tessary::FilterTest;

class FilterGroupWidgetTest : public ::testing::Test {
protected:
    Measurement data;
    std::vector<FilterRule> rules{rangeRule("deform", 0.0123456789, 0.05),
                                  polygonRule("area_um", "deform", 4),
                                  rangeRule("volume", 10.0, 2000.0)};
};

TEST_F(FilterGroupWidgetTest, RowsFollowTheRulesWithSeparatorsBetween)
{
    FilterGroupWidget group(7, data.scalarFeatures(), data.reader.get());
    group.setRules(rules);
    ASSERT_EQ(group.ruleWidgets.size(), 3u);
    EXPECT_EQ(group.separators.size(), 2u);
    EXPECT_NE(qobject_cast<FilterRuleWidget*>(group.ruleWidgets[0]), nullptr);
    EXPECT_NE(qobject_cast<PolygonRuleWidget*>(group.ruleWidgets[1]), nullptr);
    EXPECT_EQ(qobject_cast<FilterRuleWidget*>(group.ruleWidgets[0])->rule().minValue, 0.0123456789);

    group.setRules({});
    EXPECT_TRUE(group.ruleWidgets.empty());
    EXPECT_TRUE(group.separators.empty());
}

TEST_F(FilterGroupWidgetTest, NoRowsWithoutReader)
{
    FilterGroupWidget group(0, data.scalarFeatures(), nullptr);
    group.setRules(rules);
    EXPECT_TRUE(group.ruleWidgets.empty());
}

TEST_F(FilterGroupWidgetTest, GroupRowsAreAlwaysOnAndWithoutAllDatasetsButtons)
{
    FilterGroupWidget group(0, data.scalarFeatures(), data.reader.get());
    FilterRule off = rules[0];
    off.enabled = false;
    group.setRules({off, rules[1]});
    auto* range = qobject_cast<FilterRuleWidget*>(group.ruleWidgets[0]);
    auto* polygon = qobject_cast<PolygonRuleWidget*>(group.ruleWidgets[1]);
    EXPECT_TRUE(range->enabledCheck->isHidden());
    EXPECT_TRUE(range->applyAllButton->isHidden());
    EXPECT_TRUE(polygon->enabledCheck->isHidden());
    EXPECT_TRUE(polygon->applyAllButton->isHidden());
    EXPECT_TRUE(range->rule().enabled);
}

TEST_F(FilterGroupWidgetTest, RowEditsCarryGroupIdIndexAndRule)
{
    FilterGroupWidget group(7, data.scalarFeatures(), data.reader.get());
    group.setRules(rules);
    QSignalSpy changed(&group, &FilterGroupWidget::ruleChanged);
    QSignalSpy removed(&group, &FilterGroupWidget::ruleRemoved);
    QSignalSpy edit(&group, &FilterGroupWidget::polygonEditToggled);

    auto* third = qobject_cast<FilterRuleWidget*>(group.ruleWidgets[2]);
    third->invertCheck->click();
    ASSERT_EQ(changed.count(), 1);
    EXPECT_EQ(changed.at(0).at(0).toInt(), 7);
    EXPECT_EQ(changed.at(0).at(1).toInt(), 2);
    const FilterRule rule = changed.at(0).at(2).value<FilterRule>();
    EXPECT_EQ(rule.featureName, "volume");
    EXPECT_TRUE(rule.inverted);
    EXPECT_EQ(rule.minValue, 10.0);

    qobject_cast<PolygonRuleWidget*>(group.ruleWidgets[1])->editButton->click();
    ASSERT_EQ(edit.count(), 1);
    EXPECT_EQ(edit.at(0), (QList<QVariant>{7, 1, true}));

    qobject_cast<FilterRuleWidget*>(group.ruleWidgets[0])->removeButton->click();
    ASSERT_EQ(removed.count(), 1);
    EXPECT_EQ(removed.at(0), (QList<QVariant>{7, 0}));
}

TEST_F(FilterGroupWidgetTest, HeaderSignalsCarryTheGroupId)
{
    FilterGroupWidget group(3, {}, nullptr);
    group.show();
    QSignalSpy rename(&group, &FilterGroupWidget::renameRequested);
    QSignalSpy toggled(&group, &FilterGroupWidget::enableToggled);
    QSignalSpy propagate(&group, &FilterGroupWidget::enablePropagateRequested);
    QSignalSpy addRule(&group, &FilterGroupWidget::addRuleRequested);
    QSignalSpy addPolygon(&group, &FilterGroupWidget::addPolygonRequested);
    QSignalSpy remove(&group, &FilterGroupWidget::deleteRequested);

    group.nameEdit->setFocus();
    QTest::keyClicks(group.nameEdit, "Beads");
    QTest::keyClick(group.nameEdit, Qt::Key_Return);
    group.enableCheck->click();
    group.propagateButton->click();
    group.addRuleButton->click();
    group.addPolygonButton->click();
    group.deleteButton->click();

    ASSERT_GE(rename.count(), 1);
    EXPECT_EQ(rename.at(0), (QList<QVariant>{3, QString("Beads")}));
    EXPECT_EQ(toggled.at(0), (QList<QVariant>{3, true}));
    EXPECT_EQ(propagate.at(0), (QList<QVariant>{3, true}));
    EXPECT_EQ(addRule.at(0), (QList<QVariant>{3}));
    EXPECT_EQ(addPolygon.at(0), (QList<QVariant>{3}));
    EXPECT_EQ(remove.at(0), (QList<QVariant>{3}));
}

TEST_F(FilterGroupWidgetTest, PropagateButtonFollowsSwitchAndDifference)
{
    FilterGroupWidget group(0, {}, nullptr);
    EXPECT_EQ(group.propagateButton->text(), "Uncheck in All Datasets");
    group.enableCheck->click();
    EXPECT_EQ(group.propagateButton->text(), "Check in All Datasets");

    group.differs = true;
    group.updatePropagateButton();
    EXPECT_FALSE(Testing::showsAccent(group.propagateButton));
    group.multiDataset = true;
    group.updatePropagateButton();
    EXPECT_TRUE(Testing::showsAccent(group.propagateButton));
}
