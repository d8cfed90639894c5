#include "app/filtergroupmatrixwindow.h"

#include "mainwindowtesting.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QHeaderView>
#include <QLineEdit>
#include <QTreeWidget>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class FilterGroupsMatrixWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }

    // Opens a small measurement per relative path, the way the menu does.
    void open(const QStringList& relativePaths)
    {
        for (const QString& relative : relativePaths) {
            const QString path = QString::fromStdString(dir.path()) + '/' + relative;
            QDir().mkpath(QFileInfo(path).absolutePath());
            Fixtures::writeStandardMeasurement(path.toStdString(), 30, {});
            window->addDataset(path);
        }
        QDeadlineTimer deadline(20000);
        while ((window->preloadRunning || !window->pendingPaths.isEmpty()) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_EQ(window->datasets().size(), size_t(relativePaths.size()));
    }

    QTreeWidget* grid() const { return matrix->grid(); }
    QCheckBox* cell(int row, int column) const
    {
        QWidget* w = grid()->itemWidget(grid()->topLevelItem(row), column);
        return w ? w->findChild<QCheckBox*>() : nullptr;
    }
    bool on(int datasetIndex, int groupId) const
    {
        return window->isGroupEnabled(window->datasets()[size_t(datasetIndex)].get(), groupId);
    }
    int id(int datasetIndex) const { return window->datasets()[size_t(datasetIndex)]->id; }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<FilterGroupsMatrixWindow> matrix;
};

} // namespace

TEST_F(FilterGroupsMatrixWindowTest, GridHasAColumnPerGroupAndARowPerDataset)
{
    matrix = std::make_unique<FilterGroupsMatrixWindow>(window.get());
    EXPECT_EQ(matrix->windowTitle(), QString::fromUtf8("Filter Groups \u2013 Datasets Matrix"));
    EXPECT_EQ(grid()->columnCount(), 1);
    EXPECT_EQ(grid()->headerItem()->text(0), "Dataset");
    EXPECT_EQ(grid()->topLevelItemCount(), 0);

    open({"a.rtdc", "b.rtdc"});
    const int first = window->addFilterGroup("Singlets");
    const int second = window->addFilterGroup();
    window->setGroupEnabled(id(1), second, true);
    matrix->refresh();
    ASSERT_EQ(grid()->columnCount(), 3);
    EXPECT_EQ(grid()->headerItem()->text(1), "Singlets");
    EXPECT_EQ(grid()->headerItem()->text(2), "Filter group 2");
    ASSERT_EQ(grid()->topLevelItemCount(), 2);
    EXPECT_EQ(grid()->topLevelItem(1)->data(0, Qt::UserRole).toInt(), id(1));
    EXPECT_FALSE(cell(1, 1)->isChecked());
    EXPECT_TRUE(cell(1, 2)->isChecked());
    // Rebuilding wrote nothing back.
    EXPECT_FALSE(on(0, first) || on(0, second) || on(1, first));
    EXPECT_TRUE(on(1, second));

    // A cell switches its own dataset and group only.
    cell(0, 1)->click();
    EXPECT_TRUE(on(0, first));
    EXPECT_FALSE(on(1, first) || on(0, second));
    cell(0, 1)->click();
    EXPECT_FALSE(on(0, first));
}

TEST_F(FilterGroupsMatrixWindowTest, HeaderAndNameClicksToggleInBulk)
{
    open({"a.rtdc", "b.rtdc"});
    const int g1 = window->addFilterGroup();
    const int g2 = window->addFilterGroup();
    window->setGroupEnabled(id(0), g1, true);
    matrix = std::make_unique<FilterGroupsMatrixWindow>(window.get());
    QHeaderView* header = grid()->header();

    emit header->sectionClicked(1);   // on for some: on for all
    EXPECT_TRUE(on(0, g1) && on(1, g1));
    EXPECT_TRUE(cell(1, 1)->isChecked());
    emit header->sectionClicked(1);   // on for all: off for all
    EXPECT_FALSE(on(0, g1) || on(1, g1));
    emit header->sectionClicked(0);
    emit header->sectionClicked(3);
    EXPECT_FALSE(on(0, g1) || on(0, g2) || on(1, g1) || on(1, g2));

    QTreeWidgetItem* second = grid()->topLevelItem(1);
    emit grid()->itemClicked(second, 1);   // inside a cell: nothing
    EXPECT_FALSE(on(1, g1) || on(1, g2));
    emit grid()->itemClicked(second, 0);
    EXPECT_TRUE(on(1, g1) && on(1, g2));
    EXPECT_FALSE(on(0, g1) || on(0, g2));
    emit grid()->itemClicked(grid()->topLevelItem(1), 0);
    EXPECT_FALSE(on(1, g1) || on(1, g2));
}

TEST_F(FilterGroupsMatrixWindowTest, FollowsTheMainWindowsDatasetsAndFolders)
{
    open({"day1/a.rtdc", "day2/b.rtdc", "day1/c.rtdc"});
    window->addFilterGroup();
    window->filterGroupsMatrixAction->trigger();
    ASSERT_EQ(window->matrixWindows.size(), 1u);
    FilterGroupsMatrixWindow* opened = window->matrixWindows.front();
    QTreeWidget* rows = opened->grid();
    ASSERT_EQ(rows->topLevelItemCount(), 3);
    rows->header()->resizeSection(0, 333);   // the user's width survives rebuilds

    window->datasetViewCombo->setCurrentIndex(1);   // folders, depth 2
    ASSERT_EQ(rows->topLevelItemCount(), 1);
    QTreeWidgetItem* top = rows->topLevelItem(0);
    ASSERT_EQ(top->childCount(), 2);
    EXPECT_EQ(top->child(0)->text(0), "day1");
    EXPECT_FALSE(top->child(0)->data(0, Qt::UserRole).isValid());
    EXPECT_EQ(top->child(0)->childCount(), 2);
    const int before = int(window->datasets()[0]->groupEnabled.size());
    emit rows->itemClicked(top->child(0), 0);   // a folder row: nothing
    EXPECT_EQ(int(window->datasets()[0]->groupEnabled.size()), before);
    EXPECT_FALSE(on(0, 0));

    window->datasetViewCombo->setCurrentIndex(0);
    window->renameEdit->setText("Renamed");
    emit window->renameEdit->editingFinished();
    EXPECT_EQ(rows->topLevelItem(2)->text(0), "Renamed");
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    ASSERT_EQ(rows->topLevelItemCount(), 2);
    EXPECT_EQ(rows->header()->sectionSize(0), 333);

    opened->close();
    EXPECT_TRUE(window->matrixWindows.empty());
}
