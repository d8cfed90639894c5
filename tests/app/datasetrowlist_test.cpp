#include "windows/datasetrowlist.h"

#include <QDropEvent>
#include <QJsonArray>
#include <QMimeData>
#include <QSignalSpy>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

// Reaches the protected drop handler the way a drag from the main window would.
struct DropProbe : DatasetRowList
{
    bool drop(QMimeData& mime)
    {
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        dropEvent(&event);
        return event.isAccepted();
    }
};

} // namespace

TEST(DatasetRowListTest, DropOfDatasetFormatAnnouncesTheId)
{
    DropProbe list;
    QSignalSpy dropped(&list, &DatasetRowList::datasetDropped);
    QMimeData mime;
    mime.setData("application/x-tessary-dataset", "17");
    EXPECT_TRUE(list.drop(mime));
    ASSERT_EQ(dropped.count(), 1);
    EXPECT_EQ(dropped.at(0).at(0).toInt(), 17);
}

TEST(DatasetRowListTest, OtherDropsAreRefused)
{
    DropProbe list;
    QSignalSpy dropped(&list, &DatasetRowList::datasetDropped);
    QMimeData text;
    text.setText("17");
    EXPECT_FALSE(list.drop(text));
    QMimeData junk;
    junk.setData("application/x-tessary-dataset", "seventeen");
    EXPECT_FALSE(list.drop(junk));
    QMimeData negative;
    negative.setData("application/x-tessary-dataset", "-3");
    EXPECT_FALSE(list.drop(negative));
    EXPECT_EQ(dropped.count(), 0);
}

TEST(DatasetRowListTest, RowsAreKeyedById)
{
    DatasetRowList list;
    EXPECT_TRUE(list.addDataset(4, "four"));
    EXPECT_TRUE(list.addDataset(2, "two"));
    EXPECT_FALSE(list.addDataset(4, "again"));
    EXPECT_TRUE(list.renameDataset(2, "deux"));
    EXPECT_FALSE(list.renameDataset(9, "none"));
    EXPECT_EQ(list.item(1)->text(), "deux");
    EXPECT_TRUE(list.removeDataset(4));
    EXPECT_FALSE(list.removeDataset(4));
    EXPECT_EQ(list.datasetIds(), std::vector<int>{2});
}

TEST(DatasetRowListTest, SessionIndicesGoThroughTheMap)
{
    const QJsonArray indices{2, 0, 5, "x", -1};
    EXPECT_EQ(DatasetRowList::idsFromSessionIndices(indices, QMap<int, int>{{0, 10}, {2, 30}}), (std::vector<int>{30, 10}));
}
