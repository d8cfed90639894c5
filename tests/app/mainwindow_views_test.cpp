// The "Datasets" dock: folder view, reordering and files dropped on the window.
#include "app/datasetviews.h"
#include "mainwindowtesting.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QDropEvent>
#include <QMimeData>
#include <QSpinBox>
#include <QUrl>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class MainWindowViewsTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }

    QString write(const QString& relative)
    {
        const QString path = QString::fromStdString(dir.path()) + '/' + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        Fixtures::writeStandardMeasurement(path.toStdString(), 30, {});
        return path;
    }
    void waitForPreloads()
    {
        QDeadlineTimer deadline(20000);
        while ((window->preloadRunning || !window->pendingPaths.isEmpty()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    void open(const QStringList& relativePaths)
    {
        for (const QString& relative : relativePaths)
            window->addDataset(write(relative));
        waitForPreloads();
    }
    // The file names of the datasets in list order.
    QStringList order() const
    {
        QStringList names;
        for (const auto& entry : window->datasets())
            names << QFileInfo(QString::fromStdString(entry->filePath)).fileName();
        return names;
    }
    bool drop(const QList<QUrl>& urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        event.setAccepted(false);
        // Straight to the window: the application delivers drops only inside a drag.
        static_cast<QObject*>(window.get())->event(&event);
        waitForPreloads();
        return event.isAccepted();
    }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowViewsTest, FolderViewGroupsByFolderAndFollowsTheDepth)
{
    open({"exp/day1/a.rtdc", "exp/day2/b.rtdc", "exp/day1/c.rtdc"});
    window->datasetViewCombo->setCurrentIndex(1);
    EXPECT_EQ(QSettings().value("datasetView/mode").toInt(), 1);
    QTreeWidget* tree = window->datasetTree;
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    QTreeWidgetItem* exp = tree->topLevelItem(0);
    EXPECT_EQ(exp->text(0), "exp");
    EXPECT_FALSE(exp->flags() & Qt::ItemIsSelectable);
    ASSERT_EQ(exp->childCount(), 2);
    EXPECT_EQ(exp->child(0)->childCount(), 2);
    // The active dataset (the last opened) is the current item.
    EXPECT_EQ(tree->currentItem(), exp->child(0)->child(1));
    EXPECT_EQ(tree->currentItem()->data(0, Qt::UserRole).toInt(), window->activeDatasetId());

    window->folderDepthSpin->setValue(1);
    EXPECT_EQ(QSettings().value("datasetView/depth").toInt(), 1);
    EXPECT_EQ(tree->topLevelItemCount(), 2);

    // Choosing a dataset in the tree switches to it; a folder does nothing.
    tree->setCurrentItem(tree->topLevelItem(1)->child(0));
    EXPECT_EQ(window->activeDatasetIndex, 1);
    tree->setCurrentItem(tree->topLevelItem(0));
    EXPECT_EQ(window->activeDatasetIndex, 1);
}

TEST_F(MainWindowViewsTest, ReorderMovesOneDatasetAndKeepsTheActiveOne)
{
    open({"a.rtdc", "b.rtdc", "c.rtdc", "d.rtdc", "e.rtdc", "f.rtdc", "g.rtdc"});
    window->datasetList->setCurrentRow(4);
    const int activeId = window->activeDatasetId();

    // Row 2 dropped on the lower half of row 4: it lands behind e.rtdc.
    emit window->datasetList->internalReorderRequested(2, 5);
    EXPECT_EQ(order(), QStringList({"a.rtdc", "b.rtdc", "d.rtdc", "e.rtdc", "c.rtdc", "f.rtdc", "g.rtdc"}));
    EXPECT_EQ(window->activeDatasetId(), activeId);
    EXPECT_EQ(window->activeDatasetIndex, 3);
    EXPECT_EQ(window->datasetList->currentRow(), 3);
    EXPECT_EQ(window->datasetList->item(4)->data(Qt::UserRole).toInt(), window->datasets()[4]->id);

    // Onto itself or the upper half of the next row: nothing moves.
    emit window->datasetList->internalReorderRequested(2, 2);
    emit window->datasetList->internalReorderRequested(2, 3);
    EXPECT_EQ(order()[2], "d.rtdc");

    // Queued preloads keep pointing at their datasets.
    window->preloadQueue = {5, 0};
    emit window->datasetList->internalReorderRequested(1, 7);
    EXPECT_EQ(window->preloadQueue, std::deque<int>({4, 0}));
    EXPECT_EQ(order()[6], "b.rtdc");
    window->preloadQueue.clear();

    // The tree names datasets by id: d.rtdc goes behind g.rtdc.
    const int d = window->datasets()[1]->id;
    const int g = window->datasets()[5]->id;
    emit window->datasetTree->internalReorderRequested(d, g, true);
    EXPECT_EQ(order(), QStringList({"a.rtdc", "e.rtdc", "c.rtdc", "f.rtdc", "g.rtdc", "d.rtdc", "b.rtdc"}));
    EXPECT_EQ(window->activeDatasetId(), activeId);
}

TEST_F(MainWindowViewsTest, DroppedFilesAndFoldersOpenTheirRtdcFilesInPathOrder)
{
    write("drop/B/x.rtdc");
    write("drop/a/deep/y.rtdc");
    write("drop/a/z.rtdc");
    QDir().mkpath(QString::fromStdString(dir.file("drop/a/ignored.rtdc.d")));
    Fixtures::writeNotHdf5(dir.file("drop/notes.txt"));
    const QString single = write("single/UPPER.RTDC");
    ASSERT_TRUE(drop({QUrl::fromLocalFile(QString::fromStdString(dir.file("drop"))), QUrl::fromLocalFile(single)})) << order().join(" ").toStdString();
    // a/deep/y before a/z (deep < z.rtdc), a before B without regard to case.
    EXPECT_EQ(order(), QStringList({"y.rtdc", "z.rtdc", "x.rtdc", "UPPER.RTDC"}));

    Testing::MessageBoxCatcher box;
    box.arm();
    EXPECT_FALSE(drop({QUrl::fromLocalFile(QString::fromStdString(dir.file("drop/notes.txt")))}));
    EXPECT_EQ(box.title, "Invalid File");
    EXPECT_EQ(box.text, "Please drop .rtdc file(s) or folders containing them.");
    EXPECT_EQ(window->datasets().size(), 4u);
}
