#include "widgets/polygonrulewidget.h"

#include "filtertestdata.h"

#include <QCheckBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Tessary;
using namespace Tessary::FilterTest;

class PolygonRuleWidgetTest : public ::testing::Test {
protected:
    Measurement data;
};

TEST_F(PolygonRuleWidgetTest, CaptionNamesBothFeaturesAndCountsVertices)
{
    PolygonRuleWidget row(data.reader.get());
    row.setRule(polygonRule("area_um", "deform", 5));
    const QString expected = QString::fromStdString(data.reader->featureLabel("area_um")) + " vs "
                             + QString::fromStdString(data.reader->featureLabel("deform"));
    EXPECT_EQ(row.captionLabel->text(), expected);
    EXPECT_EQ(row.pointsLabel->text(), "(5 pts)");
    EXPECT_FALSE(row.featureUnavailable);
    EXPECT_TRUE(row.enabledCheck->isEnabled());
}

TEST_F(PolygonRuleWidgetTest, MissingFeatureMarksCaptionAndDisablesTheSwitch)
{
    PolygonRuleWidget row(data.reader.get());
    row.setRule(polygonRule("area_um", "gone", 4));
    EXPECT_TRUE(row.captionLabel->text().endsWith(" vs gone (n/a)"));
    EXPECT_FALSE(row.enabledCheck->isEnabled());

    PolygonRuleWidget withoutReader(nullptr);
    withoutReader.setRule(polygonRule("area_um", "deform", 3));
    EXPECT_EQ(withoutReader.captionLabel->text(), "area_um vs deform (n/a)");
}

TEST_F(PolygonRuleWidgetTest, RuleComesBackWholeWithTheRowsSwitches)
{
    PolygonRuleWidget row(data.reader.get());
    FilterRule gate = polygonRule("area_um", "deform", 6);
    gate.scaleXMode = 1;
    gate.scaleYMode = 2;
    gate.propagationId = "{gate}";
    row.setRule(gate);

    QSignalSpy spy(&row, &PolygonRuleWidget::ruleChanged);
    row.invertCheck->click();
    row.enabledCheck->click();
    EXPECT_EQ(spy.count(), 2);

    const FilterRule back = row.rule();
    EXPECT_EQ(back.type, 1);
    EXPECT_EQ(back.polygonVertices, gate.polygonVertices);
    EXPECT_EQ(back.scaleXMode, 1);
    EXPECT_EQ(back.scaleYMode, 2);
    EXPECT_EQ(back.propagationId, "{gate}");
    EXPECT_TRUE(back.inverted);
    EXPECT_FALSE(back.enabled);

    row.inGroup = true;
    EXPECT_TRUE(row.rule().enabled);
}

TEST_F(PolygonRuleWidgetTest, SetRuleFillsTheSwitchesSilently)
{
    PolygonRuleWidget row(data.reader.get());
    QSignalSpy spy(&row, &PolygonRuleWidget::ruleChanged);
    FilterRule gate = polygonRule("area_um", "deform", 3);
    gate.enabled = false;
    gate.inverted = true;
    row.setRule(gate);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_FALSE(row.enabledCheck->isChecked());
    EXPECT_TRUE(row.invertCheck->isChecked());
}

TEST_F(PolygonRuleWidgetTest, EditButtonReportsItsState)
{
    PolygonRuleWidget row(data.reader.get());
    row.setRule(polygonRule("area_um", "deform", 3));
    QSignalSpy spy(&row, &PolygonRuleWidget::editToggled);
    row.editButton->click();
    row.editButton->click();
    ASSERT_EQ(spy.count(), 2);
    EXPECT_TRUE(spy.at(0).at(0).toBool());
    EXPECT_FALSE(spy.at(1).at(0).toBool());
}

TEST_F(PolygonRuleWidgetTest, PropagationIdSwitchesTheAllDatasetsButtons)
{
    PolygonRuleWidget row(data.reader.get());
    FilterRule gate = polygonRule("area_um", "deform", 3);
    row.setRule(gate);
    EXPECT_FALSE(row.applyAllButton->isHidden());
    EXPECT_TRUE(row.deleteAllButton->isHidden());

    gate.propagationId = "{p}";
    row.setRule(gate);
    EXPECT_TRUE(row.applyAllButton->isHidden());
    EXPECT_FALSE(row.deleteAllButton->isHidden());
    EXPECT_FALSE(row.deleteAllButton->isEnabled());  // one dataset only
}

TEST(PolygonIcon, SizedForTheDevicePixelRatio)
{
    const QPixmap icon = makePolygonIcon(32, 1.5);
    EXPECT_EQ(icon.width(), 48);
    EXPECT_EQ(icon.height(), 48);
    EXPECT_DOUBLE_EQ(icon.devicePixelRatio(), 1.5);
    const QImage image = icon.toImage();
    EXPECT_EQ(qAlpha(image.pixel(0, 47)), 0);        // outside the shape stays clear
    EXPECT_GT(qAlpha(image.pixel(24, 24)), 0);       // the middle is filled
}
