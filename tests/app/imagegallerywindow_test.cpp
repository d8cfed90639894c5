#include "windows/imagegallerywindow.h"

#include "mainwindowtesting.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QListWidget>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

#include <algorithm>

using namespace Tessary;

namespace {

class ImageGalleryWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
        Fixtures::StandardOptions images;
        images.images = true;
        Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 50, images);
        Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 10, images);
        a = Testing::addLoadedDataset(*window, dir.file("a.rtdc"), "A");
        b = Testing::addLoadedDataset(*window, dir.file("b.rtdc"), "B");
    }

    static void settle(ImageGalleryWindow& w)
    {
        w.waitForRendering();
        QCoreApplication::processEvents();
    }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
    DatasetEntry *a = nullptr, *b = nullptr;
};

} // namespace

TEST_F(ImageGalleryWindowTest, RendersTheFirstPageOfFilteredEvents)
{
    ImageGalleryWindow w(window.get(), a->id);
    settle(w);
    EXPECT_EQ(w.pageCount(), 3);   // 50 events, 24 a page
    auto* grid = w.findChild<QListWidget*>();
    ASSERT_EQ(grid->count(), ImageGalleryWindow::kPageSize);
    EXPECT_FALSE(grid->item(0)->icon().isNull());
    EXPECT_EQ(grid->item(0)->text(), "Event 0");
}

TEST_F(ImageGalleryWindowTest, FollowsTheActiveDatasetOnlyWhenAsked)
{
    ImageGalleryWindow w(window.get(), a->id);
    w.onActiveDatasetChanged(b->id);
    EXPECT_EQ(w.datasetId(), a->id);
    w.findChild<QCheckBox*>()->setChecked(true);
    w.onActiveDatasetChanged(b->id);
    EXPECT_EQ(w.datasetId(), b->id);
    settle(w);
    EXPECT_EQ(w.findChild<QListWidget*>()->count(), 10);
}

TEST_F(ImageGalleryWindowTest, RemovalOfItsDatasetClosesItAndLeavesTheMainWindowsList)
{
    // Two galleries on one dataset close while the main window walks its list.
    window->activeDatasetIndex = 0;
    QMetaObject::invokeMethod(window.get(), "openImageGalleryWindow");
    QMetaObject::invokeMethod(window.get(), "openImageGalleryWindow");
    ASSERT_EQ(window->imageGalleryWindows().size(), 2u);
    for (ImageGalleryWindow* g : window->imageGalleryWindows())
        g->waitForRendering();
    window->notifyDatasetRemoved(a->id);
    EXPECT_TRUE(window->imageGalleryWindows().empty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

TEST_F(ImageGalleryWindowTest, UnknownDatasetShowsAnEmptyGallery)
{
    ImageGalleryWindow w(window.get(), 4242);
    settle(w);
    EXPECT_EQ(w.findChild<QListWidget*>()->count(), 0);
    EXPECT_EQ(w.pageCount(), 1);
}

// The main window refreshes every gallery whenever any dataset finishes
// loading or calculating: the user stays on the page and the place they went to.
TEST_F(ImageGalleryWindowTest, RefreshKeepsThePageAndThePlaceOnIt)
{
    Fixtures::StandardOptions images;
    images.images = true;
    Fixtures::writeStandardMeasurement(dir.file("c.rtdc"), 130, images);   // six pages
    DatasetEntry* c = Testing::addLoadedDataset(*window, dir.file("c.rtdc"), "C");
    ImageGalleryWindow w(window.get(), c->id);
    w.resize(420, 320);   // small enough that a page scrolls
    w.show();
    for (QPushButton* button : w.findChildren<QPushButton*>())
        if (button->text() == "Next >") {
            QTest::mouseClick(button, Qt::LeftButton);
            QTest::mouseClick(button, Qt::LeftButton);
        }
    settle(w);
    ASSERT_EQ(w.currentPage(), 2);
    auto* grid = w.findChild<QListWidget*>();
    grid->setCurrentRow(20);
    grid->verticalScrollBar()->setValue(grid->verticalScrollBar()->maximum() / 2);
    const int scrolledTo = grid->verticalScrollBar()->value();
    ASSERT_GT(scrolledTo, 0);

    w.refresh();
    settle(w);
    EXPECT_EQ(w.currentPage(), 2);
    EXPECT_EQ(grid->item(0)->text(), "Event 48");
    EXPECT_EQ(grid->currentRow(), 20);
    EXPECT_EQ(grid->verticalScrollBar()->value(), scrolledTo);

    // While its dataset is being completed the list is empty; the page waits for it.
    c->loaded = false;
    w.refresh();
    settle(w);
    c->loaded = true;
    w.refresh();
    settle(w);
    EXPECT_EQ(w.currentPage(), 2);
    EXPECT_EQ(grid->item(0)->text(), "Event 48");

    // A filter that leaves about 30 events leaves two pages: the gallery shows the last.
    std::vector<double> area = c->reader->readFeature("area_um");
    std::sort(area.begin(), area.end());
    FilterRule rule;
    rule.featureName = "area_um";
    rule.minValue = area.front();
    rule.maxValue = area[29];
    c->filter.addRule(rule);
    const auto kept = std::count_if(area.begin(), area.end(), [&](double v) { return v <= rule.maxValue; });
    w.refresh();
    settle(w);
    ASSERT_EQ(w.pageCount(), 2);
    EXPECT_EQ(w.currentPage(), 1);
    EXPECT_EQ(grid->count(), kept - ImageGalleryWindow::kPageSize);
}
