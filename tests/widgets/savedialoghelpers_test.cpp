#include "widgets/savedialoghelpers.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

QMenu* menuTitled(QMainWindow& window, const QString& title)
{
    for (QAction* action : window.menuBar()->actions()) {
        if (action->menu() && action->menu()->title() == title)
            return action->menu();
    }
    return nullptr;
}

} // namespace

// --- ensureFilterSuffix ------------------------------------------------------

TEST(SaveDialogHelpers, AppendsSuffixOfSelectedFilter)
{
    EXPECT_EQ(ensureFilterSuffix("plot", "PNG Image (*.png)"), "plot.png");
    EXPECT_EQ(ensureFilterSuffix("groups", "Tessary Filter Groups (*.ryxfg)"), "groups.ryxfg");
    // Another format's suffix is not this filter's suffix.
    EXPECT_EQ(ensureFilterSuffix("plot.svg", "PNG Image (*.png)"), "plot.svg.png");
}

TEST(SaveDialogHelpers, KeepsNameEndingWithSuffixInAnyCase)
{
    EXPECT_EQ(ensureFilterSuffix("plot.png", "PNG Image (*.png)"), "plot.png");
    EXPECT_EQ(ensureFilterSuffix("plot.PNG", "PNG Image (*.png)"), "plot.PNG");
    EXPECT_EQ(ensureFilterSuffix("shot.JPG", "Images (*.PNG *.JPG)"), "shot.JPG");
}

TEST(SaveDialogHelpers, FilterWithSeveralPatternsKeepsAnyAndAddsTheFirst)
{
    const QString filter = "Images (*.png *.jpg)";
    EXPECT_EQ(ensureFilterSuffix("a.png", filter), "a.png");
    EXPECT_EQ(ensureFilterSuffix("a.jpg", filter), "a.jpg");
    EXPECT_EQ(ensureFilterSuffix("a", filter), "a.png");
}

TEST(SaveDialogHelpers, CompoundSuffix)
{
    EXPECT_EQ(ensureFilterSuffix("archive", "Archives (*.tar.gz)"), "archive.tar.gz");
    EXPECT_EQ(ensureFilterSuffix("archive.tar.gz", "Archives (*.tar.gz)"), "archive.tar.gz");
    // A pattern ending in a dot contributes its suffix without the dot.
    EXPECT_EQ(ensureFilterSuffix("data", "Odd (*.txt.)"), "data.txt");
}

TEST(SaveDialogHelpers, FilterWithoutPatternOrCancelledDialogChangesNothing)
{
    EXPECT_EQ(ensureFilterSuffix("plot", "All Files (*)"), "plot");
    EXPECT_EQ(ensureFilterSuffix("plot", ""), "plot");
    EXPECT_EQ(ensureFilterSuffix("plot", "Everything (*.*)"), "plot");
    EXPECT_EQ(ensureFilterSuffix("", "PNG Image (*.png)"), "");
}

TEST(SaveDialogHelpers, NonAsciiNameKeepsItsCharacters)
{
    EXPECT_EQ(ensureFilterSuffix(QString::fromUtf8("Zellgröße_µm"), "PNG Image (*.png)"),
              QString::fromUtf8("Zellgröße_µm.png"));
}

// --- addKeepOnTopAction ------------------------------------------------------

TEST(SaveDialogHelpers, NullWindowGivesNoAction)
{
    EXPECT_EQ(addKeepOnTopAction(nullptr), nullptr);
}

TEST(SaveDialogHelpers, ActionJoinsExistingViewMenuAtItsEnd)
{
    QMainWindow window;
    window.menuBar()->addMenu("&File");
    QMenu* view = window.menuBar()->addMenu("&View");
    view->addAction("Zoom");

    QAction* action = addKeepOnTopAction(&window);
    ASSERT_NE(action, nullptr);
    EXPECT_EQ(window.menuBar()->actions().size(), 2);
    ASSERT_EQ(view->actions().size(), 2);
    EXPECT_EQ(view->actions().last(), action);
    EXPECT_EQ(action->text(), "Keep on &Top");
    EXPECT_EQ(action->toolTip(), "Keep this window above the main window.");
    EXPECT_TRUE(action->isCheckable());
    EXPECT_FALSE(action->isChecked());
    EXPECT_EQ(action->parent(), &window);
}

TEST(SaveDialogHelpers, ViewMenuIsFoundIgnoringCaseAndAmpersands)
{
    QMainWindow window;
    QMenu* view = window.menuBar()->addMenu("V&IEW");
    addKeepOnTopAction(&window);
    EXPECT_EQ(window.menuBar()->actions().size(), 1);
    EXPECT_EQ(view->actions().size(), 1);
}

TEST(SaveDialogHelpers, WindowWithoutMenusGetsNewViewMenu)
{
    QMainWindow window;
    QAction* action = addKeepOnTopAction(&window);
    QMenu* view = menuTitled(window, "&View");
    ASSERT_NE(view, nullptr);
    ASSERT_EQ(view->actions().size(), 1);
    EXPECT_EQ(view->actions().first(), action);
}

TEST(SaveDialogHelpers, ToggleKeepsPlaceAndSize)
{
    QMainWindow window;
    window.resize(420, 310);
    window.move(130, 90);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    const QPoint position = window.pos();
    const QSize size = window.size();

    QAction* action = addKeepOnTopAction(&window);
    action->setChecked(true);
    EXPECT_TRUE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), position);
    EXPECT_EQ(window.size(), size);

    action->setChecked(false);
    EXPECT_FALSE(window.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_TRUE(window.isVisible());
    EXPECT_EQ(window.pos(), position);
    EXPECT_EQ(window.size(), size);
}
