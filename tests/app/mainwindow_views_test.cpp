// The "Datasets" dock: folder view, reordering and files dropped on the window.
#include "app/datasetviews.h"
#include "mainwindowtesting.h"

#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QDockWidget>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QSpinBox>
#include <QUrl>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class MainWindowViewsTest : public ::testing::Test
{
protected:
    QString write(const QString& relative)
    {
        const QString path = QString::fromStdString(dir.path()) + '/' + relative;
        QDir().mkpath(QFileInfo(path).absolutePath());
        Fixtures::writeStandardMeasurement(path.toStdString(), 30, {});
        return path;
    }
    void open(const QStringList& relativePaths)
    {
        for (const QString& relative : relativePaths)
            window.addDataset(write(relative));
        QDeadlineTimer deadline(20000);
        while ((window.preloadRunning || !window.pendingOpenPaths.isEmpty()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    // The datasets' file names in list order.
    QString order()
    {
        QStringList names;
        for (const auto& entry : window.datasets())
            names << QFileInfo(QString::fromStdString(entry->filePath)).baseName();
        return names.join(' ');
    }
    bool drop(const QList<QUrl>& urls)
    {
        QMimeData mime;
        mime.setUrls(urls);
        QDropEvent event(QPointF(10, 10), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        event.setAccepted(false);
        // Straight to the window: the application delivers drops only inside a drag.
        static_cast<QObject*>(&window)->event(&event);
        open({});
        return event.isAccepted();
    }

    Fixtures::TempDir dir;
    bool isolated = (Testing::isolateSettings(), true);   // before the window reads settings
    MainWindow window;
};

} // namespace

TEST_F(MainWindowViewsTest, FolderViewFollowsModeAndDepthAndSwitchesDatasets)
{
    open({"exp/day1/a.rtdc", "exp/day2/b.rtdc", "exp/day1/c.rtdc"});
    window.datasetViewCombo->setCurrentIndex(1);
    QTreeWidget* tree = window.datasetTree;
    ASSERT_EQ(tree->topLevelItemCount(), 1);
    EXPECT_FALSE(tree->topLevelItem(0)->flags() & Qt::ItemIsSelectable);
    EXPECT_EQ(tree->currentItem(), tree->topLevelItem(0)->child(0)->child(1));   // the active c.rtdc

    window.folderDepthSpin->setValue(1);
    ASSERT_EQ(tree->topLevelItemCount(), 2);
    tree->setCurrentItem(tree->topLevelItem(1)->child(0));
    EXPECT_EQ(window.activeDatasetIndex, 1);
    tree->setCurrentItem(tree->topLevelItem(0));   // a folder: nothing
    EXPECT_EQ(window.activeDatasetIndex, 1);
}

// A long caption wraps in the folder view as in the list: nothing of it is
// cut at the side, and the dock keeps its width whichever view it shows.
TEST_F(MainWindowViewsTest, FolderViewWrapsLongCaptionsWithinTheDock)
{
    open({"exp/day1/a.rtdc", "exp/day2/b.rtdc"});
    window.datasets()[1]->displayName = QStringLiteral("a_measurement_of_blood_cells_with_a_rather_long_name %1")
                                            .arg(QString(40, QLatin1Char('x')));
    window.datasetViewCombo->setCurrentIndex(0);
    window.show();
    QCoreApplication::processEvents();
    const int room = window.datasetsDock->widget()->minimumSizeHint().width();
    window.datasetViewCombo->setCurrentIndex(1);
    QCoreApplication::processEvents();
    EXPECT_LE(window.datasetsDock->widget()->minimumSizeHint().width(), room);   // the depth controls widen nothing
    QTreeWidget* tree = window.datasetTree;
    EXPECT_LE(tree->header()->length(), tree->viewport()->width());
    QTreeWidgetItem* shortCaption = tree->topLevelItem(0)->child(0)->child(0);
    QTreeWidgetItem* longCaption = tree->topLevelItem(0)->child(1)->child(0);
    ASSERT_TRUE(shortCaption && longCaption);
    EXPECT_GT(tree->visualItemRect(longCaption).height(), tree->visualItemRect(shortCaption).height());
}

TEST_F(MainWindowViewsTest, ReorderMovesOneDatasetAndKeepsTheActiveOne)
{
    open({"a.rtdc", "b.rtdc", "c.rtdc", "d.rtdc", "e.rtdc", "f.rtdc", "g.rtdc"});
    window.datasetList->setCurrentRow(4);
    const int activeId = window.activeDatasetId();

    // Row 2 dropped on the lower half of row 4 lands behind e.
    emit window.datasetList->internalReorderRequested(2, 5);
    EXPECT_EQ(order(), "a b d e c f g");
    EXPECT_EQ(window.activeDatasetIndex, 3);
    EXPECT_EQ(window.datasetList->item(4)->data(Qt::UserRole).toInt(), window.datasets()[4]->id);
    emit window.datasetList->internalReorderRequested(2, 3);   // upper half of the next row
    EXPECT_EQ(order(), "a b d e c f g");

    window.preloadQueue = {5, 0};
    emit window.datasetList->internalReorderRequested(1, 7);
    EXPECT_EQ(window.preloadQueue, std::deque<int>({4, 0}));
    window.preloadQueue.clear();

    // The tree names datasets by id: d goes behind g.
    emit window.datasetTree->internalReorderRequested(window.datasets()[1]->id, window.datasets()[5]->id, true);
    EXPECT_EQ(order(), "a e c f g d b");
    EXPECT_EQ(window.activeDatasetId(), activeId);
}

TEST_F(MainWindowViewsTest, DroppedFilesAndFoldersOpenTheirRtdcFilesInPathOrder)
{
    write("drop/B/x.rtdc");
    write("drop/a/deep/y.rtdc");
    write("drop/a/z.rtdc");
    Fixtures::writeNotHdf5(dir.file("drop/notes.txt"));   // not taken
    const QString single = write("single/UPPER.RTDC");
    EXPECT_TRUE(drop({QUrl::fromLocalFile(QString::fromStdString(dir.file("drop"))), QUrl::fromLocalFile(single)}));
    // a/deep/y before a/z (deep < z.rtdc), a before B without regard to case.
    EXPECT_EQ(order(), "y z x UPPER");

    Testing::MessageBoxCatcher box;
    box.arm();
    EXPECT_FALSE(drop({QUrl::fromLocalFile(QString::fromStdString(dir.file("drop/notes.txt")))}));
    EXPECT_EQ(box.title, "Invalid File");
    EXPECT_EQ(window.datasets().size(), 4u);
}
