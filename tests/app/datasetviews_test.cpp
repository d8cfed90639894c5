#include "app/datasetviews.h"

#include <QCoreApplication>
#include <QMimeData>

#include <gtest/gtest.h>

#include <memory>

using namespace Tessary;

namespace {

// Reaches the protected drag data of the list.
struct ListProbe : DatasetListWidget
{
    ListProbe()
    {
        for (int id : {10, 11, 12, 13, 14}) {
            auto* item = new QListWidgetItem(QStringLiteral("<b>%1</b>").arg(id), this);
            item->setData(Qt::UserRole, id);
        }
        resize(200, 300);
        show();
        QCoreApplication::processEvents();
    }

    std::unique_ptr<QMimeData> mimeFor(int row) const { return std::unique_ptr<QMimeData>(mimeData({item(row)})); }
};

} // namespace

TEST(DatasetViewsTest, DraggedRowCarriesItsDatasetId)
{
    ListProbe list;
    const auto mime = list.mimeFor(2);
    EXPECT_EQ(mime->data("application/x-tessary-dataset"), QByteArray("12"));
    EXPECT_EQ(mime->text(), "12");
}

TEST(DatasetViewsTest, TreeFindsDatasetItemsButNotFolders)
{
    DatasetTreeWidget tree;
    auto* folder = new QTreeWidgetItem(&tree, QStringList{"folder"});
    auto* leaf = new QTreeWidgetItem(folder, QStringList{"a"});
    leaf->setData(0, Qt::UserRole, 7);
    EXPECT_EQ(tree.itemForDatasetId(7), leaf);
    EXPECT_EQ(tree.itemForDatasetId(8), nullptr);
}

TEST(DatasetViewsTest, HtmlCaptionIsMeasuredWithoutTags)
{
    DatasetListWidget list;
    HtmlItemDelegate delegate;
    auto* item = new QListWidgetItem("<b>Sample &lt;1&gt;</b> (20 events)", &list);
    QStyleOptionViewItem option;
    option.font = list.font();
    const QSize html = delegate.sizeHint(option, list.indexFromItem(item));
    QFontMetrics metrics(list.font());
    // The tags take no room; the shown text is "Sample <1> (20 events)".
    EXPECT_LT(html.width(), metrics.horizontalAdvance(item->text()));
    EXPECT_GT(html.width(), metrics.horizontalAdvance("Sample <1> (20 events)") / 2);
}
