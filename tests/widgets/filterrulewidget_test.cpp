#include "widgets/filterrulewidget.h"

#include "filtertestdata.h"
#include "common/widgetlook.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace Tessary;
using namespace Tessary::FilterTest;

namespace {

void selectFeature(FilterRuleWidget& row, const std::string& name)
{
    row.featureCombo->setCurrentIndex(row.featureCombo->findData(QString::fromStdString(name)));
}

// Replaces the text of a bound box the way a user does and commits it.
void typeBound(QDoubleSpinBox* spin, const QString& text, bool commit = true)
{
    QTest::keyClick(spin, Qt::Key_A, Qt::ControlModifier);
    QTest::keyClicks(spin, text);
    if (commit)
        QTest::keyClick(spin, Qt::Key_Return);
}

} // namespace

class FilterRuleWidgetTest : public ::testing::Test {
protected:
    Measurement data;
};

// ---- data range and precision --------------------------------------------------

TEST_F(FilterRuleWidgetTest, NewRowCoversFirstFeatureExactly)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    const FilterRule rule = row.rule();
    EXPECT_EQ(rule.featureName, "area_um");
    // The box shows two decimals, the rule keeps the column's extremes, so no
    // event at the edge of the range is dropped.
    EXPECT_EQ(rule.minValue, 10.123456789);
    EXPECT_EQ(rule.maxValue, 50.987654321);
    EXPECT_EQ(row.minSpin->decimals(), 2);
    EXPECT_TRUE(rule.enabled);
    EXPECT_FALSE(rule.inverted);
    EXPECT_TRUE(rule.propagationId.empty());
}

TEST_F(FilterRuleWidgetTest, DecimalsAndStepFollowTheFiniteRange)
{
    struct Case {
        const char* feature;
        int decimals;
        double step;
    };
    const Case cases[] = {{"deform", 6, 0.0005}, {"porosity", 4, 0.005}, {"area_um", 2, 0.40864197532},
                          {"volume", 1, 50.0},   {"const_one", 6, 0.01}};
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    for (const Case& c : cases) {
        selectFeature(row, c.feature);
        EXPECT_EQ(row.minSpin->decimals(), c.decimals) << c.feature;
        EXPECT_EQ(row.maxSpin->decimals(), c.decimals) << c.feature;
        EXPECT_NEAR(row.minSpin->singleStep(), c.step, 1e-9) << c.feature;
    }
}

TEST_F(FilterRuleWidgetTest, ChoosingAFeatureEmitsOnceWithItsRange)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);
    selectFeature(row, "deform");
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(row.rule().minValue, 0.01);
    EXPECT_EQ(row.rule().maxValue, 0.06);
}

TEST_F(FilterRuleWidgetTest, ColumnWithoutFiniteValuesLeavesBoundsAndStaysSilent)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);
    selectFeature(row, "nan_only");
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(row.minSpin->decimals(), 2);
    EXPECT_EQ(row.rule().minValue, 10.123456789);
}

TEST_F(FilterRuleWidgetTest, WithoutReaderShowsNamesAndKeepsDefaults)
{
    FilterRuleWidget row({"area_um", "deform"}, nullptr);
    EXPECT_EQ(row.featureCombo->itemText(0), "area_um");
    EXPECT_EQ(row.rule().minValue, 0.0);
    EXPECT_EQ(row.rule().maxValue, 0.0);
}

// ---- setRule -------------------------------------------------------------------

TEST_F(FilterRuleWidgetTest, SetRuleKeepsExactBoundsAndEmitsOnceWhenComplete)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    FilterRule rule = rangeRule("deform", 0.0123456789, 0.0456789123);
    rule.inverted = true;
    rule.propagationId = "{abc}";

    std::vector<FilterRule> seen;
    QObject::connect(&row, &FilterRuleWidget::ruleChanged, [&] { seen.push_back(row.rule()); });
    row.setRule(rule);

    ASSERT_EQ(seen.size(), 1u);
    // Whoever listens sees the rule's own bounds, not the column's range.
    EXPECT_EQ(seen[0].minValue, 0.0123456789);
    EXPECT_EQ(seen[0].maxValue, 0.0456789123);
    const FilterRule back = row.rule();
    EXPECT_EQ(back.featureName, "deform");
    EXPECT_EQ(back.minValue, 0.0123456789);
    EXPECT_EQ(back.maxValue, 0.0456789123);
    EXPECT_TRUE(back.inverted);
    EXPECT_EQ(back.propagationId, "{abc}");
}

TEST_F(FilterRuleWidgetTest, EditingOneBoundLeavesTheOtherExact)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.show();
    row.setRule(rangeRule("area_um", 12.3456789, 45.6789123));
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);

    typeBound(row.maxSpin, "40");
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(row.rule().maxValue, 40.0);
    EXPECT_EQ(row.rule().minValue, 12.3456789);
}

TEST_F(FilterRuleWidgetTest, TypingCommitsOnceNotPerDigit)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.show();
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);
    typeBound(row.minSpin, "15.25", false);
    EXPECT_EQ(spy.count(), 0);
    QTest::keyClick(row.minSpin, Qt::Key_Return);
    EXPECT_EQ(spy.count(), 1);
    EXPECT_EQ(row.rule().minValue, 15.25);
}

TEST_F(FilterRuleWidgetTest, MissingFeatureIsMarkedUntilAListedOneIsChosen)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    const int listed = row.featureCombo->count();
    row.setRule(rangeRule("gone", 1.5, 2.5));

    EXPECT_EQ(row.featureCombo->count(), listed + 1);
    EXPECT_EQ(row.featureCombo->currentText(), "gone (n/a)");
    EXPECT_TRUE(row.featureUnavailable);
    EXPECT_FALSE(row.minSpin->isEnabled());
    EXPECT_FALSE(row.enabledCheck->isEnabled());
    // The rule itself is untouched.
    EXPECT_EQ(row.rule().featureName, "gone");
    EXPECT_EQ(row.rule().minValue, 1.5);

    selectFeature(row, "volume");
    EXPECT_EQ(row.featureCombo->count(), listed);
    EXPECT_FALSE(row.featureUnavailable);
    EXPECT_TRUE(row.minSpin->isEnabled());
    EXPECT_EQ(row.rule().maxValue, 5000.0);

    // A rule without a feature (a damaged file) shows none and keeps its own
    // empty name and bounds, also through a new feature list, until one is picked.
    FilterRuleWidget blank(data.scalarFeatures(), data.reader.get());
    blank.setRule(rangeRule("", 1.5, 2.5));
    EXPECT_EQ(blank.featureCombo->currentIndex(), -1);
    blank.setFeatures({"area_um", "volume"});
    EXPECT_EQ(blank.featureCombo->currentIndex(), -1);
    EXPECT_EQ(blank.rule().featureName, "");
    EXPECT_EQ(std::make_pair(blank.rule().minValue, blank.rule().maxValue), std::make_pair(1.5, 2.5));
    selectFeature(blank, "volume");
    EXPECT_EQ(blank.rule().featureName, "volume");
    EXPECT_EQ(blank.rule().maxValue, 5000.0);
}

TEST_F(FilterRuleWidgetTest, NewFeatureListKeepsBoundsAndStaysSilent)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.setRule(rangeRule("deform", 0.0111111, 0.0555555));
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);

    row.setFeatures({"area_um", "volume"});
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(row.featureCombo->currentText(), "deform (n/a)");
    EXPECT_FALSE(row.maxSpin->isEnabled());
    EXPECT_EQ(row.rule().minValue, 0.0111111);

    row.setFeatures(data.scalarFeatures());
    EXPECT_EQ(row.featureCombo->currentData().toString(), "deform");
    EXPECT_TRUE(row.maxSpin->isEnabled());
    EXPECT_EQ(row.rule().maxValue, 0.0555555);
}

// ---- enable, invert, group rows ------------------------------------------------

TEST_F(FilterRuleWidgetTest, ToggleAndInvertReachTheRule)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    QSignalSpy spy(&row, &FilterRuleWidget::ruleChanged);
    row.enabledCheck->click();
    row.invertCheck->click();
    EXPECT_EQ(spy.count(), 2);
    EXPECT_FALSE(row.rule().enabled);
    EXPECT_TRUE(row.rule().inverted);

    row.inGroup = true;  // a group's rule is always on
    EXPECT_TRUE(row.rule().enabled);
}

// ---- all-datasets buttons ------------------------------------------------------

TEST_F(FilterRuleWidgetTest, ApplyToAllUntilPropagatedThenThreeButtons)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.multiDataset = true;
    row.updateAllDatasetButtons();
    EXPECT_FALSE(row.applyAllButton->isHidden());
    EXPECT_TRUE(row.updateAllButton->isHidden());
    EXPECT_TRUE(row.checkAllButton->isHidden());
    EXPECT_TRUE(row.deleteAllButton->isHidden());

    FilterRule rule = row.rule();
    rule.propagationId = "{id}";
    row.setRule(rule);
    EXPECT_TRUE(row.applyAllButton->isHidden());
    EXPECT_FALSE(row.updateAllButton->isHidden());
    EXPECT_FALSE(row.deleteAllButton->isHidden());
    EXPECT_EQ(row.checkAllButton->text(), "Check in All");
    EXPECT_TRUE(row.checkAllButton->isEnabled());

    row.enabledCheck->click();
    EXPECT_EQ(row.checkAllButton->text(), "Uncheck in All");
}

TEST_F(FilterRuleWidgetTest, PropagatedRowWithOneDatasetHasDisabledPlainButtons)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.propagationId = "{id}";
    row.updateDiffers = true;
    row.checkDiffers = true;
    row.updateAllDatasetButtons();
    for (QPushButton* b : {row.updateAllButton, row.checkAllButton, row.deleteAllButton}) {
        EXPECT_FALSE(b->isHidden());
        EXPECT_FALSE(b->isEnabled());
        EXPECT_FALSE(Testing::showsAccent(b));
    }

    row.multiDataset = true;
    row.updateAllDatasetButtons();
    EXPECT_TRUE(Testing::showsAccent(row.updateAllButton));
    EXPECT_TRUE(Testing::showsAccent(row.checkAllButton));
    EXPECT_FALSE(Testing::showsAccent(row.deleteAllButton));
}

TEST_F(FilterRuleWidgetTest, CheckButtonAsksForThisRowsState)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.propagationId = "{id}";
    row.multiDataset = true;
    row.updateAllDatasetButtons();
    QSignalSpy check(&row, &FilterRuleWidget::checkRuleInAllRequested);
    QSignalSpy uncheck(&row, &FilterRuleWidget::uncheckRuleInAllRequested);
    row.checkAllButton->click();
    row.enabledCheck->click();
    row.checkAllButton->click();
    EXPECT_EQ(check.count(), 1);
    EXPECT_EQ(uncheck.count(), 1);
}

TEST_F(FilterRuleWidgetTest, GroupRowHidesEveryAllDatasetsButton)
{
    FilterRuleWidget row(data.scalarFeatures(), data.reader.get());
    row.inGroup = true;
    row.propagationId = "{id}";
    row.updateAllDatasetButtons();
    for (QPushButton* b : {row.applyAllButton, row.updateAllButton, row.checkAllButton, row.deleteAllButton})
        EXPECT_TRUE(b->isHidden());
}
