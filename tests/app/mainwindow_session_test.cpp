// Session files and filter-group files through the real main window: a saved
// session comes back whole, missing and changed files are asked about, and
// damaged files are refused before anything is closed.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "mainwindowtesting.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filterdockwidget.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "windows/combineplotwindow.h"

#include <QActionGroup>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>

using namespace Tessary;

namespace {

// Answers every message box while it lives: with the button given for its
// title, else by rejecting it (Cancel or No). Remembers titles and texts.
class BoxAnswers
{
public:
    BoxAnswers()
    {
        QObject::connect(&timer, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box || box->property("answered").toBool())
                return;
            box->setProperty("answered", true);
            titles << box->windowTitle();
            texts << box->text();
            if (whileShown)
                whileShown(box->windowTitle());
            if (QAbstractButton* button = box->button(answers.value(box->windowTitle(), QMessageBox::NoButton)))
                button->click();
            else
                box->reject();
        });
        timer.start(5);
    }
    QMap<QString, QMessageBox::StandardButton> answers;
    std::function<void(const QString& title)> whileShown;   // runs before the box is answered
    QStringList titles;
    QStringList texts;

private:
    QTimer timer;
};

class MainWindowSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }

    QString measurement(const std::string& name, std::size_t n, const std::string& sample)
    {
        Fixtures::StandardOptions options;
        options.sample = sample;
        Fixtures::writeStandardMeasurement(dir.file(name), n, options);
        return path(name);
    }
    void open(const std::string& name, std::size_t n, const std::string& sample)
    {
        window->addDataset(measurement(name, n, sample));
        ASSERT_TRUE(settled());
    }
    QString path(const std::string& name) const { return QString::fromStdString(dir.file(name)); }
    void writeText(const std::string& name, const QByteArray& text)
    {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text) == text.size());
    }
    bool settled()
    {
        QDeadlineTimer deadline(20000);
        while (window->preloadRunning || window->restoringSession || !window->pendingOpenPaths.isEmpty()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
    // Two measurements, the first duplicated behind them.
    void openTwoAndDuplicate()
    {
        open("a.rtdc", 300, "A");
        open("b.rtdc", 200, "B");
        window->datasetList->setCurrentRow(0);
        QMetaObject::invokeMethod(window.get(), "duplicateDataset");
        ASSERT_EQ(window->datasetEntries.size(), 3u);
    }
    DatasetEntry* entry(int index) { return window->datasetEntries[size_t(index)].get(); }
    std::vector<std::string> groupNames()
    {
        std::vector<std::string> names;
        for (const auto& g : window->filterGroups())
            names.push_back(g->name);
        return names;
    }

    Fixtures::TempDir dir;
    BoxAnswers boxes;
    std::unique_ptr<MainWindow> window;
};

} // namespace

// ---- sessions ---------------------------------------------------------------

TEST_F(MainWindowSessionTest, SavedSessionComesBackWhole)
{
    openTwoAndDuplicate();
    const int gates = window->addFilterGroup("Gates");
    FilterRule rule{0, "deform", "", 0, 0.05, {}, 0, 0, true, false, "{7f3a}"};
    window->findFilterGroupById(gates)->rules.push_back(rule);
    window->setGroupEnabled(entry(0)->id, gates, true);
    entry(1)->filter.addRule(rule);
    entry(1)->filter.setCombineMode(1);
    window->colorMapGroup->actions()[3]->trigger();

    // The panels of the shown dataset are what gets saved for it.
    window->datasetList->setCurrentRow(1);
    window->scaleXCombo->setCurrentIndex(2);
    window->colorFeatureCombo->setCurrentIndex(window->colorFeatureCombo->findData("__density_kde__"));

    QMetaObject::invokeMethod(window.get(), "openCombinePlotWindow");
    window->combineWindows[0]->addDataset(entry(1)->id);
    window->combineWindows[0]->addDataset(entry(2)->id);
    QMetaObject::invokeMethod(window.get(), "openStatisticalEvalWindow");
    window->statEvalWindows[0]->addDatasetToCategory(0, entry(0)->id);

    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    EXPECT_EQ(window->infoLabel->text(), "Session saved: s.RYX");

    // Loading over open work closes it without the clearing question.
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(boxes.titles.isEmpty()) << boxes.titles.join(", ").toStdString();

    ASSERT_EQ(window->datasetEntries.size(), 3u);
    EXPECT_EQ(entry(2)->displayName, "A (copy)");
    EXPECT_EQ(entry(2)->reader, entry(0)->reader);

    EXPECT_EQ(groupNames(), std::vector<std::string>{"Gates"});
    EXPECT_TRUE(window->isGroupEnabled(entry(0), gates));
    ASSERT_EQ(entry(1)->filter.ruleCount(), 1);
    EXPECT_EQ(entry(1)->filter.rules[0].propagationId, "{7f3a}");

    EXPECT_EQ(window->activeDatasetIndex, 1);
    EXPECT_EQ(window->scaleXCombo->currentIndex(), 2);
    EXPECT_EQ(window->colorFeatureCombo->currentData().toString(), "__density_kde__");
    EXPECT_TRUE(window->colorMapGroup->actions()[3]->isChecked());

    ASSERT_EQ(window->combineWindows.size() + window->statEvalWindows.size(), 2u);
    EXPECT_EQ(window->combineWindows[0]->datasetIds(), (std::vector<int>{entry(1)->id, entry(2)->id}));
    EXPECT_EQ(window->statEvalWindows[0]->categoryDatasets(0), std::vector<int>{entry(0)->id});
    EXPECT_EQ(window->infoLabel->text(), "Session loaded: 3 dataset(s)");
}

TEST_F(MainWindowSessionTest, MissingAndChangedFilesAreAskedAboutBeforeLoading)
{
    openTwoAndDuplicate();
    entry(1)->displayName = "B %2";   // a marker in the name must come out as typed
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    boxes.answers["Clear Session"] = QMessageBox::Ok;
    QMetaObject::invokeMethod(window.get(), "clearSession");
    ASSERT_TRUE(window->datasetEntries.empty());
    ASSERT_TRUE(QFile::remove(path("a.rtdc")));
    measurement("b.rtdc", 250, "B");

    boxes.titles.clear();
    boxes.texts.clear();
    boxes.answers["Dataset Changed"] = QMessageBox::Yes;   // "Dataset Not Found" is answered No
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    ASSERT_EQ(boxes.titles, (QStringList{"Dataset Not Found", "Dataset Changed"}));
    EXPECT_TRUE(boxes.texts[1].startsWith("Dataset \"B %2\" may have changed"));
    EXPECT_TRUE(boxes.texts[1].contains("Expected: 200 events"));
    EXPECT_TRUE(boxes.texts[1].contains("Found: 250 events"));
    // The duplicate of the skipped dataset is dropped with it.
    ASSERT_EQ(window->datasetEntries.size(), 1u);
    EXPECT_EQ(entry(0)->reader->eventCount(), 250u);

    // Behind the questions the closed dataset's rules and groups are gone from the filter dock.
    FilterRule rule;
    rule.featureName = "area_um";
    rule.maxValue = 1e9;
    entry(0)->filter.addRule(rule);
    window->filterDock->setActiveDataset(entry(0));
    emit window->filterDock->addFilterGroupRequested();
    const auto shownRows = [this] {
        int shown = 0;
        for (const QWidget* row : window->filterDock->findChildren<QWidget*>())
            shown += (qobject_cast<const FilterRuleWidget*>(row) || qobject_cast<const FilterGroupWidget*>(row))
                     && row->isVisibleTo(window->filterDock);
        return shown;
    };
    ASSERT_EQ(shownRows(), 2);
    int shownBehindBox = -1;
    boxes.whileShown = [&](const QString& title) {
        if (title == "Dataset Not Found")
            shownBehindBox = shownRows();
    };
    boxes.answers.remove("Dataset Changed");
    // Run from the event loop, as the menu does: widgets deleted later stay
    // alive through the message box's own loop.
    bool loaded = false;
    QEventLoop loop;
    QTimer::singleShot(0, &loop, [&] {
        loaded = window->loadSessionFile(path("s.RYX"));
        loop.quit();
    });
    loop.exec();
    ASSERT_TRUE(loaded);
    ASSERT_TRUE(settled());
    EXPECT_EQ(shownBehindBox, 0);
    EXPECT_TRUE(window->datasetEntries.empty());
    EXPECT_EQ(window->infoLabel->text(), "Session loaded: 0 dataset(s)");
}

TEST_F(MainWindowSessionTest, FailedSavesAndDamagedSessionsChangeNothing)
{
    QMetaObject::invokeMethod(window.get(), "saveSession");
    open("a.rtdc", 100, "A");
    EXPECT_FALSE(window->writeSessionFile(path("no/such/folder/s.RYX")));
    writeText("broken.RYX", "{\"version\": 1,");
    writeText("zero.RYX", "{\"version\": 0}");
    for (const char* name : {"none.RYX", "broken.RYX", "zero.RYX"})
        EXPECT_FALSE(window->loadSessionFile(path(name)));
    ASSERT_EQ(boxes.texts.size(), 5);
    EXPECT_EQ(boxes.texts[0], "No datasets loaded to save.");
    EXPECT_EQ(boxes.texts[1], "Failed to write session file: " + path("no/such/folder/s.RYX"));
    EXPECT_EQ(boxes.texts[2], "Failed to read session file: " + path("none.RYX"));
    EXPECT_TRUE(boxes.texts[3].startsWith("Invalid session file: "));
    EXPECT_EQ(boxes.texts[4], "Unrecognized session file format.");
    EXPECT_EQ(window->datasetEntries.size(), 1u);

    // A newer version loads after a warning; values of the wrong type read as defaults.
    writeText("new.RYX", R"({"version": 2, "datasets": 5, "mainWindow": [], "filterGroups": {"id": 1},
        "nextGroupId": "x", "combineWindows": [1], "statEvalWindows": "none"})");
    ASSERT_TRUE(window->loadSessionFile(path("new.RYX")));
    ASSERT_TRUE(settled());
    EXPECT_EQ(boxes.titles.last(), "Warning");
    EXPECT_TRUE(boxes.texts.last().startsWith("This session was saved by a newer version of Tessary."));
    EXPECT_TRUE(window->datasetEntries.empty());
    EXPECT_EQ(window->combineWindows.size(), 1u);
}

// ---- filter-group files -----------------------------------------------------

TEST_F(MainWindowSessionTest, FilterGroupsTravelAsNewGroupsSwitchedOff)
{
    open("a.rtdc", 100, "A");
    const int gates = window->addFilterGroup("Gates");
    const int other = window->addFilterGroup("Other");
    const FilterRule rule{1, "area_um", "deform", 0, 0, {{0, 0}, {1, 0}, {1, 1}}, 0, 0, true, false, "{1234}"};
    window->findFilterGroupById(gates)->rules = {rule, rule};
    window->setGroupEnabled(entry(0)->id, gates, true);

    ASSERT_TRUE(window->writeFilterGroupsFile(path("g.ryxfg"), {other, gates}));
    EXPECT_EQ(window->infoLabel->text(), "Exported 2 filter group(s).");
    ASSERT_TRUE(window->importFilterGroupsFile(path("g.ryxfg")));
    EXPECT_EQ(window->infoLabel->text(), "Imported 2 filter group(s).");
    ASSERT_EQ(groupNames(), (std::vector<std::string>{"Gates", "Other", "Other (2)", "Gates (2)"}));
    const FilterGroup* copy = window->filterGroups()[3].get();
    ASSERT_EQ(copy->rules.size(), 2u);
    EXPECT_TRUE(copy->rules[0].propagationId.empty());
    EXPECT_EQ(entry(0)->groupEnabled.at(copy->id), false);

    writeText("names.ryxfg", R"({"groups": [{"name": "Gates"}, {"name": "Gates", "id": 0}, {}]})");
    ASSERT_TRUE(window->importFilterGroupsFile(path("names.ryxfg")));
    EXPECT_EQ(groupNames().back(), "Imported group");
    EXPECT_EQ(groupNames()[5], "Gates (4)");

    writeText("array.ryxfg", "[1, 2]");
    writeText("empty.ryxfg", R"({"formatVersion": 1, "groups": []})");
    EXPECT_FALSE(window->importFilterGroupsFile(path("array.ryxfg")));
    EXPECT_FALSE(window->importFilterGroupsFile(path("empty.ryxfg")));
    EXPECT_EQ(boxes.texts, (QStringList{"File is not a valid filter-groups JSON: no error occurred",
                                        "The file contains no filter groups."}));
    EXPECT_EQ(window->filterGroups().size(), 7u);
}
