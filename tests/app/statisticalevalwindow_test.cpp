#include "stats/statisticalevalwindow.h"

#include "mainwindowtesting.h"
#include "windows/datasetrowlist.h"

#include <QComboBox>
#include <QJsonArray>
#include <QScrollBar>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace Tessary;

namespace {

class StatisticalEvalWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
        areaA = Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 41).column("area_um");
        Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 30);
        Fixtures::writeStandardMeasurement(dir.file("c.rtdc"), 20);
        a = Testing::addLoadedDataset(*window, dir.file("a.rtdc"), "A");
        b = Testing::addLoadedDataset(*window, dir.file("b.rtdc"), "B");
        c = Testing::addLoadedDataset(*window, dir.file("c.rtdc"), "C");
    }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
    DatasetEntry *a = nullptr, *b = nullptr, *c = nullptr;
    std::vector<double> areaA;
};

} // namespace

TEST_F(StatisticalEvalWindowTest, StartsWithTwoEmptyCategories)
{
    StatisticalEvalWindow w(window.get());
    EXPECT_EQ(w.categoryCount(), 2);
    EXPECT_TRUE(w.categoryDatasets(0).empty());
    EXPECT_TRUE(w.categoryDatasets(5).empty());
}

TEST_F(StatisticalEvalWindowTest, SaveAndRestoreRoundTripThroughTheIndexMap)
{
    StatisticalEvalWindow saved(window.get());
    saved.addDatasetToCategory(0, a->id);
    saved.addDatasetToCategory(1, c->id);
    saved.addDatasetToCategory(1, b->id);
    const QJsonObject state = saved.saveState(window->datasets());
    const QJsonArray categories = state.value("categories").toArray();
    ASSERT_EQ(categories.size(), 2);
    EXPECT_EQ(categories[1].toObject().value("datasets").toArray(), (QJsonArray{2, 1}));

    // Index 1 (b) did not come back from the session; 0 and 2 stand for new ids.
    StatisticalEvalWindow restored(window.get());
    restored.addCategory("extra");   // replaced by the restore
    restored.restoreState(state, QMap<int, int>{{0, c->id}, {2, a->id}});
    ASSERT_EQ(restored.categoryCount(), 2);
    EXPECT_EQ(restored.categoryName(0), "Category 1");
    EXPECT_EQ(restored.categoryDatasets(0), std::vector<int>{c->id});
    EXPECT_EQ(restored.categoryDatasets(1), std::vector<int>{a->id});
}

TEST_F(StatisticalEvalWindowTest, ADatasetJoinsOneCategoryAndLeavesItOnRemoval)
{
    StatisticalEvalWindow w(window.get());
    EXPECT_TRUE(w.addDatasetToCategory(0, a->id));
    EXPECT_FALSE(w.addDatasetToCategory(1, a->id));
    EXPECT_FALSE(w.addDatasetToCategory(0, a->id));
    EXPECT_TRUE(w.addDatasetToCategory(1, b->id));
    EXPECT_EQ(w.results()->rowCount(), 2);
    w.onRemoveDataset(a->id);
    EXPECT_TRUE(w.categoryDatasets(0).empty());
    EXPECT_EQ(w.categoryDatasets(1), std::vector<int>{b->id});
    EXPECT_EQ(w.results()->rowCount(), 1);
}

TEST_F(StatisticalEvalWindowTest, RenameShowsInResults)
{
    StatisticalEvalWindow w(window.get());
    w.addDatasetToCategory(0, b->id);
    b->displayName = "Control";
    w.onDatasetRenamed(b->id, "Control");
    EXPECT_EQ(w.results()->item(0, 1)->text(), "Control");
}

TEST_F(StatisticalEvalWindowTest, MedianOfTheChosenFeatureAppliesRulesEvenWhenFilterIsOff)
{
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 0.0;
    rule.maxValue = 60.0;
    a->filter.addRule(rule);
    a->filter.setEnabled(false);
    std::vector<double> kept;
    std::copy_if(areaA.begin(), areaA.end(), std::back_inserter(kept), [](double v) { return v >= 0 && v <= 60; });
    ASSERT_FALSE(kept.empty());
    std::sort(kept.begin(), kept.end());
    const double median = kept.size() % 2 ? kept[kept.size() / 2] : (kept[kept.size() / 2 - 1] + kept[kept.size() / 2]) / 2;

    StatisticalEvalWindow w(window.get());
    w.addDatasetToCategory(0, a->id);
    auto* combo = w.findChild<QComboBox*>();
    combo->setCurrentIndex(combo->findData("area_um"));
    EXPECT_EQ(w.results()->item(0, 2)->text(), QString::number(kept.size()));
    EXPECT_NEAR(w.results()->item(0, 3)->text().toDouble(), median, 1e-4 * median);
}

// The count is the number of values the median is taken of: NaN values are in neither.
TEST_F(StatisticalEvalWindowTest, FeaturesGoByTheirLabelsAndNaNIsNotCounted)
{
    Fixtures::RtdcFileBuilder builder;
    builder.feature("area_um", std::vector<double>{4, std::nan(""), 1, 9, std::nan("")})
        .feature("bright_sd", std::vector<double>{1, 2, 3, 4, 5});
    builder.write(dir.file("d.rtdc"));
    const DatasetEntry* d = Testing::addLoadedDataset(*window, dir.file("d.rtdc"), "D");
    ASSERT_NE(d, nullptr);

    StatisticalEvalWindow w(window.get());
    w.addDatasetToCategory(0, d->id);
    auto* combo = w.findChild<QComboBox*>();
    const int area = combo->findData("area_um");
    ASSERT_GE(area, 0);
    EXPECT_EQ(combo->itemText(area).toStdString(), d->reader->featureLabel("area_um"));
    EXPECT_NE(combo->itemText(combo->findData("bright_sd")), "bright_sd");
    combo->setCurrentIndex(area);
    EXPECT_EQ(w.results()->item(0, 2)->text(), "3");
    EXPECT_EQ(w.results()->item(0, 3)->text(), "4");
}

TEST_F(StatisticalEvalWindowTest, DroppedDatasetJoinsThePanelItWasDroppedOn)
{
    StatisticalEvalWindow w(window.get());
    const QList<DatasetRowList*> lists = w.findChildren<DatasetRowList*>();
    ASSERT_EQ(lists.size(), 2);
    emit lists[1]->datasetDropped(c->id);
    EXPECT_TRUE(w.categoryDatasets(0).empty());
    EXPECT_EQ(w.categoryDatasets(1), std::vector<int>{c->id});
}

// Every plot update of the main window recomputes the evaluation: the feature,
// the row and the place in the results that the user went to stay.
TEST_F(StatisticalEvalWindowTest, RecomputationKeepsTheChosenFeatureRowAndScroll)
{
    StatisticalEvalWindow w(window.get());
    for (int i = 0; i < 12; ++i)
        w.addDatasetToCategory(i % 2, Testing::addLoadedDataset(*window, dir.file("a.rtdc"), QString("A%1").arg(i))->id);
    w.resize(600, 320);
    w.show();
    auto* combo = w.findChild<QComboBox*>();
    combo->setCurrentIndex(combo->findData("deform"));
    auto* table = w.findChild<QTableWidget*>();
    table->setCurrentCell(9, 1);
    table->verticalScrollBar()->setValue(table->verticalScrollBar()->maximum());
    const int scrolledTo = table->verticalScrollBar()->value();
    ASSERT_GT(scrolledTo, 0);

    w.onFeaturesChanged();
    QCoreApplication::processEvents();   // the table lays its rows out again
    EXPECT_EQ(combo->currentData().toString(), "deform");
    EXPECT_EQ(table->rowCount(), 12);
    EXPECT_EQ(table->currentRow(), 9);
    EXPECT_TRUE(table->item(9, 1)->isSelected());
    EXPECT_EQ(table->verticalScrollBar()->value(), scrolledTo);
}
