#include "windows/imagegallerywindow.h"

#include "mainwindowtesting.h"

#include <QCoreApplication>
#include <QCheckBox>
#include <QListWidget>

#include <gtest/gtest.h>

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
