#include "app/filtergroupmatrixwindow.h"

#include "mainwindowtesting.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QPointer>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class FilterGroupsMatrixWindowTest : public ::testing::Test
{
protected:
    // Opens a small measurement per relative path, the way the menu does.
    void open(const QStringList& relativePaths)
    {
        for (const QString& relative : relativePaths) {
            const QString path = QString::fromStdString(dir.path()) + '/' + relative;
            QDir().mkpath(QFileInfo(path).absolutePath());
            Fixtures::writeStandardMeasurement(path.toStdString(), 30, {});
            window.addDataset(path);
        }
        QDeadlineTimer deadline(20000);
        while ((window.preloadRunning || !window.pendingOpenPaths.isEmpty()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    }
    QCheckBox* cell(int row, int column) const
    {
        return grid->itemWidget(grid->topLevelItem(row), column)->findChild<QCheckBox*>();
    }
    bool on(int index, int groupId) { return window.isGroupEnabled(window.datasets()[size_t(index)].get(), groupId); }

    Fixtures::TempDir dir;
    bool isolated = (Testing::isolateSettings(), true);   // before the window reads settings
    MainWindow window;
    QTreeWidget* grid = nullptr;
};

} // namespace

TEST_F(FilterGroupsMatrixWindowTest, CellsSwitchOneDatasetAndClicksOnNamesAndHeadersSwitchInBulk)
{
    FilterGroupsMatrixWindow matrix(&window);
    grid = matrix.grid();
    EXPECT_EQ(grid->columnCount(), 1);
    EXPECT_EQ(grid->topLevelItemCount(), 0);

    open({"a.rtdc", "b.rtdc"});
    const int g1 = window.addFilterGroup("Singlets");
    const int g2 = window.addFilterGroup();
    window.setGroupEnabled(window.datasets()[1]->id, g2, true);
    matrix.refresh();
    ASSERT_EQ(grid->columnCount(), 3);
    EXPECT_EQ(grid->headerItem()->text(2), "Filter group 2");
    EXPECT_TRUE(cell(1, 2)->isChecked());
    // Rebuilding wrote nothing back.
    EXPECT_FALSE(on(0, g1) || on(0, g2) || on(1, g1));

    cell(0, 1)->click();
    EXPECT_TRUE(on(0, g1));
    EXPECT_FALSE(on(1, g1) || on(0, g2));

    emit grid->header()->sectionClicked(1);   // on for some: on for all
    EXPECT_TRUE(on(1, g1) && cell(1, 1)->isChecked());
    emit grid->header()->sectionClicked(1);   // on for all: off for all
    emit grid->header()->sectionClicked(0);
    EXPECT_FALSE(on(0, g1) || on(1, g1));

    emit grid->itemClicked(grid->topLevelItem(0), 1);   // inside a cell: nothing
    EXPECT_FALSE(on(0, g1) || on(0, g2));
    emit grid->itemClicked(grid->topLevelItem(1), 0);   // g2 on already: both on
    EXPECT_TRUE(on(1, g1) && on(1, g2));
    emit grid->itemClicked(grid->topLevelItem(1), 0);
    EXPECT_FALSE(on(1, g1) || on(1, g2) || on(0, g1));
}

TEST_F(FilterGroupsMatrixWindowTest, FollowsTheMainWindowsDatasetsAndFolders)
{
    open({"day1/a.rtdc", "day2/b.rtdc", "day1/c.rtdc"});
    window.addFilterGroup();
    window.filterGroupsMatrixAction->trigger();
    ASSERT_EQ(window.matrixWindows.size(), 1u);
    FilterGroupsMatrixWindow* opened = window.matrixWindows.front();
    grid = opened->grid();
    grid->header()->resizeSection(0, 333);   // the user's width survives rebuilds

    window.datasetViewCombo->setCurrentIndex(1);   // folders, depth 2
    ASSERT_EQ(grid->topLevelItemCount(), 1);
    QTreeWidgetItem* day1 = grid->topLevelItem(0)->child(0);
    EXPECT_EQ(day1->text(0), "day1");
    EXPECT_EQ(day1->childCount(), 2);
    emit grid->itemClicked(day1, 0);   // a folder row: nothing
    EXPECT_FALSE(on(0, 0));

    window.datasetViewCombo->setCurrentIndex(0);
    window.renameEdit->setText("Renamed");
    emit window.renameEdit->editingFinished();
    EXPECT_EQ(grid->topLevelItem(2)->text(0), "Renamed");
    QMetaObject::invokeMethod(&window, "removeDataset");
    EXPECT_EQ(grid->topLevelItemCount(), 2);
    EXPECT_EQ(grid->header()->sectionSize(0), 333);

    // Ticking a cell switches its group and leaves the grid as it stands.
    QPointer<QCheckBox> box = cell(0, 1);
    box->click();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    ASSERT_FALSE(box.isNull());
    EXPECT_EQ(cell(0, 1), box.data());
    EXPECT_TRUE(on(0, 0));

    opened->close();
    EXPECT_TRUE(window.matrixWindows.empty());
}
