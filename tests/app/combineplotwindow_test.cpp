#include "windows/combineplotwindow.h"

#include "mainwindowtesting.h"
#include "windows/datasetrowlist.h"

#include <QDropEvent>
#include <QJsonArray>
#include <QMimeData>
#include <QTableWidget>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class CombinePlotWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
        Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 40);
        bArea = Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 60).column("area_um");
        a = Testing::addLoadedDataset(*window, dir.file("a.rtdc"), "A");
        b = Testing::addLoadedDataset(*window, dir.file("b.rtdc"), "B");
        ASSERT_TRUE(a && b);
    }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
    DatasetEntry* a = nullptr;
    DatasetEntry* b = nullptr;
    std::vector<double> bArea;
};

} // namespace

TEST_F(CombinePlotWindowTest, SaveWritesListPositionsNotIds)
{
    CombinePlotWindow w(window.get());
    ASSERT_TRUE(w.addDataset(b->id));
    ASSERT_TRUE(w.addDataset(a->id));
    EXPECT_FALSE(w.addDataset(a->id));    // shown once
    EXPECT_FALSE(w.addDataset(12345));    // no such dataset
    const QJsonArray rows = w.saveState(window->datasets()).value("datasets").toArray();
    ASSERT_EQ(rows.size(), 2);
    EXPECT_EQ(rows[0].toObject().value("datasetSessionIndex").toInt(), 1);
    EXPECT_EQ(rows[1].toObject().value("datasetSessionIndex").toInt(), 0);
}

TEST_F(CombinePlotWindowTest, RestoreMapsSessionIndicesToTodaysIds)
{
    CombinePlotWindow saved(window.get());
    saved.addDataset(a->id);
    saved.addDataset(b->id);
    const QJsonObject state = saved.saveState(window->datasets());

    // After a session load the ids differ: index 0 now stands for b, index 1 for a.
    CombinePlotWindow restored(window.get());
    restored.restoreState(state, QMap<int, int>{{0, b->id}, {1, a->id}});
    EXPECT_EQ(restored.datasetIds(), (std::vector<int>{b->id, a->id}));
}

TEST_F(CombinePlotWindowTest, RestoreSkipsIndicesOutsideTheMap)
{
    QJsonObject state{{"datasets", QJsonArray{QJsonObject{{"datasetSessionIndex", 0}}, QJsonObject{{"datasetSessionIndex", -1}},
                                              QJsonObject{{"datasetSessionIndex", 7}}, QJsonObject{{"other", 1}}}}};
    CombinePlotWindow w(window.get());
    w.restoreState(state, QMap<int, int>{{0, a->id}});
    EXPECT_EQ(w.datasetIds(), std::vector<int>{a->id});
    w.restoreState(QJsonObject(), QMap<int, int>());   // missing keys: defaults
    EXPECT_TRUE(w.datasetIds().empty());
}

TEST_F(CombinePlotWindowTest, RowsFollowRenamesAndRemovals)
{
    CombinePlotWindow w(window.get());
    w.addDataset(a->id);
    w.addDataset(b->id);
    a->displayName = "Renamed";   // the main window renames, then tells its tool windows
    w.onDatasetRenamed(a->id, "Renamed");
    auto* table = w.findChild<QTableWidget*>();
    EXPECT_EQ(w.findChild<DatasetRowList*>()->item(0)->text(), "Renamed");
    EXPECT_EQ(table->item(0, 0)->text(), "Renamed");
    w.onDatasetRemoved(a->id);
    EXPECT_EQ(w.datasetIds(), std::vector<int>{b->id});
    EXPECT_EQ(table->rowCount(), 1);
}

TEST_F(CombinePlotWindowTest, RefreshDropsDatasetsThatAreGone)
{
    CombinePlotWindow w(window.get());
    w.addDataset(a->id);
    w.addDataset(b->id);
    const int goneId = a->id;
    window->datasets().erase(window->datasets().begin());
    w.refresh();
    EXPECT_EQ(w.datasetIds(), std::vector<int>{b->id});
    EXPECT_EQ(window->findDatasetById(goneId), nullptr);
}

TEST_F(CombinePlotWindowTest, SummaryCountsEventsThatPassTheFilter)
{
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = 0.0;
    rule.maxValue = 60.0;
    b->filter.addRule(rule);
    const auto kept = std::count_if(bArea.begin(), bArea.end(), [](double v) { return v >= 0.0 && v <= 60.0; });
    ASSERT_GT(kept, 0);
    ASSERT_LT(kept, 60);
    CombinePlotWindow w(window.get());
    w.addDataset(b->id);
    auto* table = w.findChild<QTableWidget*>();
    EXPECT_EQ(table->item(0, 1)->text(), QString::number(kept));
    EXPECT_EQ(table->item(0, 2)->text(), "60");
    EXPECT_EQ(table->item(0, 3)->text(), QString::number(100.0 * double(kept) / 60.0, 'f', 1) + "%");

    b->filter.setEnabled(false);   // a switched-off filter counts every event
    w.refresh();
    EXPECT_EQ(table->item(0, 1)->text(), "60");
}

TEST_F(CombinePlotWindowTest, DroppedDatasetJoinsOnce)
{
    CombinePlotWindow w(window.get());
    auto* list = w.findChild<DatasetRowList*>();
    emit list->datasetDropped(b->id);
    emit list->datasetDropped(b->id);
    emit list->datasetDropped(999);
    EXPECT_EQ(w.datasetIds(), std::vector<int>{b->id});
}

TEST_F(CombinePlotWindowTest, CloseEventAnnouncesTheWindow)
{
    CombinePlotWindow w(window.get());
    CombinePlotWindow* announced = nullptr;
    QObject::connect(&w, &CombinePlotWindow::windowClosed, [&](CombinePlotWindow* x) { announced = x; });
    w.show();
    w.close();
    EXPECT_EQ(announced, &w);
}
