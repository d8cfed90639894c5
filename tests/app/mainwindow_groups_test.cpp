// Groups edited from the filter dock, rules carried to every dataset by their propagation
// id, the dock's "differs" markers and soft limits, through the signals of a real window.
#include "app/mainwindow.h"

#include "app/filtergroupmatrixwindow.h"

#include "mainwindowtesting.h"
#include "widgets/filterdockwidget.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "widgets/scatterplot.h"
#include "common/widgetlook.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QLineEdit>
#include <QTreeWidget>
#include <QPushButton>
#include <QCheckBox>
#include <QTest>

#include <set>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

class MainWindowGroupsTest : public ::testing::Test
{
protected:
    void SetUp() override { Testing::isolateSettings(), window = std::make_unique<MainWindow>(); }

    // Opens a standard measurement (changed by `shape`) and waits for its preload.
    void open(const std::string& name, const std::function<void(Fixtures::RtdcFileBuilder&)>& shape = {})
    {
        Fixtures::RtdcFileBuilder builder = Fixtures::standardMeasurement(200);
        if (shape)
            shape(builder);
        builder.write(dir.file(name));
        window->addDataset(QString::fromStdString(dir.file(name)));
        QDeadlineTimer deadline(20000);
        while ((window->preloadRunning || !active()->loaded) && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        ASSERT_TRUE(active()->loaded);
    }

    DatasetEntry* active() { return window->datasetEntries[size_t(window->activeDatasetIndex)].get(); }
    DatasetEntry* other(int n) // the n-th dataset besides the active one
    {
        for (auto& ds : window->datasetEntries)
            if (ds.get() != active() && n-- == 0)
                return ds.get();
        return nullptr;
    }
    FilterRuleWidget* row(int i) { return qobject_cast<FilterRuleWidget*>(window->filterDock->ruleWidgets[size_t(i)]); }
    FilterDockWidget* dock() { return window->filterDock; }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
};

} // namespace

TEST_F(MainWindowGroupsTest, RulesAppliedToAllAreFollowedByTheirIdAndMarkedWhereTheyDiffer)
{
    open("a.rtdc");
    open("b.rtdc");
    open("c.rtdc");
    dock()->addRuleButton->click();

    emit dock()->applyRuleToAll(0);
    const std::string id = active()->filter.rules[0].propagationId;
    ASSERT_TRUE(id.size() == 38 && id.front() == '{') << id;
    EXPECT_EQ(row(0)->propagationId, id);   // the next row edit must not lose it
    // A second time replaces the copies instead of adding new ones.
    emit dock()->applyRuleToAll(0);
    for (int n = 0; n < 2; ++n)
        ASSERT_TRUE(other(n)->filter.ruleCount() == 1 && other(n)->filter.rules[0].propagationId == id);

    // Update in All reaches only the datasets holding a copy.
    other(1)->filter.rules.clear();
    active()->filter.rules[0].maxValue = 123.0;
    emit dock()->updateRuleToAll(0);
    EXPECT_EQ(other(0)->filter.rules[0].maxValue, 123.0);
    EXPECT_EQ(other(1)->filter.ruleCount(), 0);

    // The row shows where a copy differs, in bounds and in its check.
    window->updatePlot();
    EXPECT_FALSE(row(0)->updateDiffers);
    other(0)->filter.rules[0].minValue -= 1.0;
    other(0)->filter.rules[0].enabled = false;
    window->updatePlot();
    EXPECT_TRUE(row(0)->updateDiffers);
    EXPECT_TRUE(row(0)->checkDiffers);

    other(0)->filter.rules[0].enabled = true;
    emit dock()->uncheckRuleInAll(0);
    EXPECT_FALSE(other(0)->filter.rules[0].enabled);
    EXPECT_EQ(other(0)->filter.rules[0].maxValue, 123.0);   // only the check changes
    EXPECT_FALSE(active()->filter.rules[0].enabled);

    emit dock()->deleteRuleFromAll(0);
    EXPECT_EQ(active()->filter.ruleCount(), 0);
    EXPECT_EQ(other(0)->filter.ruleCount(), 0);

    // The combine-mode marker goes once the whole filter is applied to all.
    active()->filter.setCombineMode(1);
    window->updatePlot();
    EXPECT_TRUE(Testing::showsAccent(dock()->combineAllButton));
    emit dock()->applyToAllRequested();
    EXPECT_EQ(other(1)->filter.combineMode(), 1);
    EXPECT_FALSE(Testing::showsAccent(dock()->combineAllButton));
}

TEST_F(MainWindowGroupsTest, GroupsAddedRenamedFilledAndRemovedFromTheDock)
{
    open("a.rtdc");
    open("b.rtdc");
    emit dock()->addFilterGroupRequested();
    ASSERT_EQ(window->filterGroups().size(), 1u);
    const int id = window->filterGroups()[0]->id;
    ASSERT_EQ(dock()->groupWidgets.size(), 1u);

    // A new range rule covers the finite values of the first feature.
    emit dock()->addRuleToGroupRequested(id);
    FilterGroup* group = window->findFilterGroupById(id);
    ASSERT_EQ(group->rules.size(), 1u);
    const auto& column = active()->reader->readFeature(group->rules[0].featureName);
    EXPECT_EQ(group->rules[0].minValue, *std::min_element(column.begin(), column.end()));
    // Rules from outside lose their id and unknown scale modes.
    FilterRule outside = group->rules[0];
    outside.propagationId = "{x}";
    outside.scaleXMode = 7;
    window->addRuleToGroup(id, outside);
    EXPECT_TRUE(group->rules[1].propagationId.empty() && group->rules[1].scaleXMode == 0);

    emit dock()->groupEnableChanged(id, true);
    EXPECT_EQ(window->buildEffectiveFilter(active()).ruleCount(), 2);
    EXPECT_TRUE(dock()->groupWidgets[0]->differs);
    emit dock()->groupEnablePropagateRequested(id, true);
    EXPECT_TRUE(window->isGroupEnabled(other(0), id));
    EXPECT_FALSE(dock()->groupWidgets[0]->differs);

    emit dock()->renameFilterGroupRequested(id, QString::fromUtf8("Zellen µ"));
    EXPECT_EQ(dock()->groupWidgets[0]->nameEdit->text(), QString::fromUtf8("Zellen µ"));

    // Editing a group rule keeps the widgets on screen.
    FilterGroupWidget* shown = dock()->groupWidgets[0];
    outside.maxValue = -1.0;
    emit dock()->groupRuleChanged(id, 1, outside);
    EXPECT_EQ(group->rules[1].maxValue, -1.0);
    EXPECT_EQ(dock()->groupWidgets[0], shown);

    emit dock()->groupRuleRemoved(id, 5);   // no such rule
    emit dock()->groupRuleRemoved(id, 0);
    EXPECT_EQ(group->rules.size(), 1u);

    emit dock()->deleteFilterGroupRequested(id);
    EXPECT_TRUE(window->filterGroups().empty());
    EXPECT_TRUE(dock()->groupWidgets.empty());
    for (auto& ds : window->datasetEntries)
        EXPECT_EQ(ds->groupEnabled.count(id), 0u);
}

TEST_F(MainWindowGroupsTest, GroupRowsReadOnlyTheShownDatasetsReader)
{
    // A dataset without features never gets a full plot update, which used to
    // be the only rebuild of the group rows.
    const std::string empty = dir.file("empty.rtdc");
    Fixtures::RtdcFileBuilder().withoutEvents().attribute("setup:module composition", "Vireon").write(empty);
    window->addDataset(QString::fromStdString(empty));
    open("a.rtdc");
    const int id = window->addFilterGroup("Gates");
    emit dock()->addRuleToGroupRequested(id);
    ASSERT_EQ(dock()->groupWidgets.at(0)->ruleWidgets.size(), 1u);

    const auto readersOfRows = [this] {
        std::set<const RTDCReader*> readers;
        for (FilterGroupWidget* group : dock()->groupWidgets) {
            readers.insert(group->reader);
            for (QWidget* row : group->ruleWidgets)
                if (auto* range = qobject_cast<FilterRuleWidget*>(row))
                    readers.insert(range->reader);
        }
        return readers;
    };
    QMetaObject::invokeMethod(window.get(), "removeDataset");   // a goes, its reader with it
    ASSERT_EQ(window->datasetEntries.size(), 1u);
    EXPECT_EQ(readersOfRows(), std::set<const RTDCReader*>{active()->reader.get()});
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    EXPECT_EQ(readersOfRows(), std::set<const RTDCReader*>{nullptr});
}

TEST_F(MainWindowGroupsTest, SoftLimitsOfTheMeasurementBecomeRules)
{
    open("plain.rtdc");
    Testing::MessageBoxCatcher box;
    box.arm();
    emit dock()->importMeasurementFiltersRequested(false);
    EXPECT_EQ(box.title, "Import Measurement Filters");
    EXPECT_EQ(box.text, "No features with soft limit enabled found.");

    open("limits.rtdc", [](Fixtures::RtdcFileBuilder& b) {
        b.boolAttribute("online_filter:area_um soft limit", true)   // read as "1"
            .attribute("online_filter:area_um min", 20.0)
            .attribute("online_filter:area_um max", 200.0)
            .attribute("online_filter:deform soft limit", "True")
            .attribute("online_filter:deform min", 0.0)
            .attribute("online_filter:deform max", 0.1)
            .attribute("online_filter:bright_avg soft limit", "1")
            .attribute("online_filter:bright_avg min", "nan")      // not a number: refused
            .attribute("online_filter:bright_avg max", 200.0)
            .attribute("online_filter:aspect soft limit", "1")
            .attribute("online_filter:aspect min", 1.0)
            .attribute("online_filter:aspect max", "none")         // not a number either
            .attribute("online_filter:size_x soft limit", "1")      // no bounds recorded: no rule
            .attribute("online_filter:area_um,deform soft limit", "1")
            .attribute("online_filter:size_x,size_y soft limit", "1")
            .polygonFilter("online_filter", "size_x", "size_y", {{1, 1}, {5, 1}, {5, 5}});
    });
    active()->filter.setEnabled(false);
    Testing::MessageBoxCatcher refused;
    refused.arm();
    emit dock()->importMeasurementFiltersRequested(false);
    EXPECT_EQ(refused.title, "Import Measurement Filters");
    EXPECT_EQ(refused.text, "2 soft limit(s) have a bound that is not a number and were left out.");
    const auto& rules = active()->filter.rules;
    ASSERT_EQ(rules.size(), 2u);
    EXPECT_EQ(rules[0].featureName, "area_um");
    EXPECT_EQ(rules[0].minValue, 20.0);
    EXPECT_EQ(rules[0].maxValue, 200.0);
    EXPECT_EQ(rules[1].featureNameY, "size_y");
    EXPECT_EQ(rules[1].polygonVertices.size(), 3u);
    EXPECT_TRUE(active()->filter.isEnabled());
    EXPECT_EQ(dock()->ruleWidgets.size(), 2u);   // the rows show them

    refused.arm();
    emit dock()->importMeasurementFiltersRequested(true);
    EXPECT_EQ(refused.seen, 2);
    EXPECT_EQ(active()->filter.ruleCount(), 4);   // importing again adds again
    EXPECT_EQ(other(0)->filter.ruleCount(), 0);
}

// A click in the dock that rebuilds the group widgets takes the clicked control
// away; the keyboard focus must not fall through to the next widget of the
// window, the dataset's name field, where typing renames the dataset.
TEST_F(MainWindowGroupsTest, ClicksThatRebuildGroupRowsKeepTheFocusInTheDock)
{
    window->show();
    open("a.rtdc");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const QString name = active()->displayName;
    emit dock()->addFilterGroupRequested();
    emit dock()->addFilterGroupRequested();
    const int id = window->filterGroups().at(0)->id;
    const int second = window->filterGroups().at(1)->id;
    const auto group = [this](int n) { return dock()->groupWidgets.at(size_t(n)); };
    const auto settle = [] {
        for (int i = 0; i < 5; ++i)
            QCoreApplication::processEvents();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    };
    // Clicks the widget (and lets the rest of the gesture happen), then types
    // "12" and Return where the focus went.
    const auto clickThenType = [&](QWidget* target, const char* what, const std::function<void()>& then = {},
                                   QWidget* home = nullptr) {
        QTest::mouseClick(target, Qt::LeftButton, {}, target->rect().center());
        if (then)
            then();
        settle();
        QWidget* focus = QApplication::focusWidget();
        EXPECT_TRUE(focus && (home ? home : dock())->isAncestorOf(focus))
            << what << ": focus on " << (focus ? focus->metaObject()->className() : "nothing");
        QTest::keyClicks(focus ? focus : window.get(), "12");
        QTest::keyClick(focus ? focus : window.get(), Qt::Key_Return);
        settle();
        EXPECT_EQ(active()->displayName, name) << what;
    };

    clickThenType(group(0)->addRuleButton, "+ Rule");
    ASSERT_EQ(window->findFilterGroupById(id)->rules.size(), 1u);
    EXPECT_EQ(QApplication::focusWidget(), group(0)->addRuleButton);   // the rebuilt one
    clickThenType(group(0)->enableCheck, "enable box");
    EXPECT_EQ(QApplication::focusWidget(), group(0)->enableCheck);
    clickThenType(group(0)->addRuleButton, "+ Rule again");
    auto* groupRow = qobject_cast<FilterRuleWidget*>(group(0)->ruleWidgets.at(1));
    ASSERT_TRUE(groupRow);
    clickThenType(groupRow->removeButton, "rule delete");
    EXPECT_EQ(window->findFilterGroupById(id)->rules.size(), 1u);
    // A gate drawn for the group is added when the plot closes the polygon;
    // drawing gave the plot the focus (for Esc), and it keeps it.
    clickThenType(
        group(0)->addPolygonButton, "polygon add",
        [this] { emit window->scatterPlot->polygonCompleted(QPolygonF({{0, 0}, {1e3, 0}, {1e3, 1}})); },
        window->scatterPlot);
    EXPECT_EQ(window->findFilterGroupById(id)->rules.size(), 2u);
    clickThenType(group(1)->deleteButton, "group delete");
    EXPECT_EQ(window->findFilterGroupById(second), nullptr);

    // The dataset's own rows: the row below takes the place of a deleted one.
    dock()->addRuleButton->click();
    dock()->addRuleButton->click();
    settle();
    clickThenType(row(0)->removeButton, "dataset rule delete");
    EXPECT_EQ(QApplication::focusWidget(), row(0)->removeButton);
}

// A name from a file may be a megabyte: everything that shows it shows it cut,
// and the group keeps it whole, also when its box takes and loses the focus.
TEST_F(MainWindowGroupsTest, LongGroupNamesFromFilesAreShownCutAndKeptWhole)
{
    window->show();
    open("a.rtdc");
    window->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    const std::string name(1000000, 'G');
    const QString path = QString::fromStdString(dir.file("long.ryxfg"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(R"({"formatVersion": 1, "groups": [{"name": ")" + QByteArray::fromStdString(name) + R"(", "rules": []}]})");
    file.close();
    ASSERT_TRUE(window->importFilterGroupsFile(path));
    ASSERT_EQ(window->filterGroups().size(), 1u);

    QLineEdit* box = dock()->groupWidgets.at(0)->nameEdit;
    EXPECT_LE(box->text().size(), 200);
    EXPECT_TRUE(box->text().startsWith("GGG"));
    EXPECT_LE(box->toolTip().size(), 200);
    FilterGroupsMatrixWindow matrix(window.get());
    auto* grid = matrix.findChild<QTreeWidget*>();
    ASSERT_TRUE(grid && grid->columnCount() == 2);
    EXPECT_LE(grid->headerItem()->text(1).size(), 200);

    box->setFocus();
    dock()->addGroupButton->setFocus();   // leaves the box unchanged
    QCoreApplication::processEvents();
    EXPECT_EQ(window->filterGroups().at(0)->name, name);
}
