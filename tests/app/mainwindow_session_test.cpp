// Session files and filter-group files through the real main window: a saved
// session comes back whole, missing and changed files are asked about, and
// damaged files are refused before anything is closed.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "app/exportdialog.h"
#include "calc/flcompensation.h"
#include "mainwindowtesting.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filterdockwidget.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "windows/combineplotwindow.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>

#include <gtest/gtest.h>

#include <functional>
#include <limits>

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
    const double inf = std::numeric_limits<double>::infinity();
    entry(1)->filter.addRule(FilterRule{0, "area_um", "", -inf, inf, {}, 0, 0, true, false, ""});
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
    ASSERT_EQ(entry(1)->filter.ruleCount(), 2);
    EXPECT_EQ(entry(1)->filter.rules[0].propagationId, "{7f3a}");
    EXPECT_EQ(std::make_pair(entry(1)->filter.rules[1].minValue, entry(1)->filter.rules[1].maxValue),
              std::make_pair(-inf, inf));

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
    setDatasetName(*entry(1), "B %2");   // a marker in the name must come out as typed
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

TEST_F(MainWindowSessionTest, OpeningSessionCannotBeSavedOverAndShowsTheDatasetItNamed)
{
    open("a.rtdc", 300, "A");
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    open("b.rtdc", 200, "B");   // A | A (copy) | B, with B shown
    window->addFilterGroup("Gates");
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));

    // Halfway through, the groups and the per-dataset state are not back yet.
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(window->restoringSession);
    EXPECT_FALSE(window->saveSessionAction->isEnabled());
    EXPECT_FALSE(window->writeSessionFile(path("s.RYX")));
    EXPECT_TRUE(boxes.titles.contains("Save Session"));
    ASSERT_TRUE(settled());
    EXPECT_TRUE(window->saveSessionAction->isEnabled());

    // The duplicate comes last now; the shown dataset is still B.
    ASSERT_EQ(window->datasetEntries.size(), 3u);
    EXPECT_EQ(entry(2)->displayName, "A (copy)");
    EXPECT_EQ(window->activeDatasetIndex, 1);
    EXPECT_EQ(entry(1)->displayName, "B");

    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));   // the file is whole
    ASSERT_TRUE(settled());
    EXPECT_EQ(window->datasetEntries.size(), 3u);
    EXPECT_EQ(groupNames(), std::vector<std::string>{"Gates"});
}

TEST_F(MainWindowSessionTest, ClearingLeavesNothingOfTheWorkBehind)
{
    open("a.rtdc", 300, "A");
    entry(0)->filter.setEnabled(true);
    entry(0)->filter.addRule(FilterRule{0, "deform", "", 0, 0.05, {}, 0, 0, true, false, ""});
    window->updatePlot();
    ASSERT_TRUE(window->buildSessionSummary().contains("Global filter: active"));

    window->addDataset(measurement("b.rtdc", 300, "B"));
    window->addDataset(measurement("c.rtdc", 200, "C"));   // waits for the preload of b
    ASSERT_FALSE(window->pendingOpenPaths.isEmpty());
    boxes.answers["Clear Session"] = QMessageBox::Ok;
    QMetaObject::invokeMethod(window.get(), "clearSession");
    EXPECT_EQ(window->buildSessionSummary(), "Datasets: 0\n");
    EXPECT_TRUE(window->pendingOpenPaths.isEmpty());
    QCoreApplication::processEvents();   // a late end of the preload opens nothing
    ASSERT_TRUE(settled());
    EXPECT_TRUE(window->datasetEntries.empty());
}

// A rule on a calculated column holds for a dataset that was never shown after
// the session was loaded: in the export and in the evaluation window.
TEST_F(MainWindowSessionTest, CalculatedColumnsComeBackForDatasetsNotShown)
{
    open("a.rtdc", 300, "A");
    Fixtures::StandardOptions options;
    options.sample = "B";
    const auto builder = Fixtures::writeStandardMeasurement(dir.file("b.rtdc"), 400, options);
    window->addDataset(path("b.rtdc"));
    ASSERT_TRUE(settled());
    window->datasetList->setCurrentRow(0);
    DatasetEntry* b = entry(1);
    SpilloverMatrix spillover(2, 2);
    spillover(0, 0) = spillover(1, 1) = 1.0;
    spillover(0, 1) = 0.25;
    b->ctcApplied = true;
    b->ctcChannels = {1, 2};
    b->spilloverMatrix = spillover;
    ASSERT_TRUE(window->flCompensation->compute(b->reader.get(), {1, 2}, spillover));
    FilterRule corrected;
    corrected.featureName = "fl1_max_ctc";
    corrected.minValue = 500.0;
    corrected.maxValue = 1e9;
    b->filter.addRule(corrected);
    QMetaObject::invokeMethod(window.get(), "openStatisticalEvalWindow");
    ASSERT_TRUE(window->statEvalWindows[0]->addDatasetToCategory(0, b->id));
    auto* featureCombo = window->statEvalWindows[0]->findChild<QComboBox*>();
    featureCombo->setCurrentIndex(featureCombo->findData("fl1_max_ctc"));
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));

    // What numpy keeps: fl1 - 0.25 fl2 >= 500.
    const std::vector<double> fl1 = builder.column("fl1_max"), fl2 = builder.column("fl2_max");
    size_t kept = 0;
    for (size_t i = 0; i < fl1.size(); ++i)
        kept += fl1[i] - 0.25 * fl2[i] >= 500.0;
    ASSERT_GT(kept, 0u);
    ASSERT_LT(kept, fl1.size());

    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    ASSERT_EQ(window->activeDatasetIndex, 0);
    ASSERT_EQ(window->statEvalWindows.size(), 1u);
    const QTableWidget* results = window->statEvalWindows[0]->results();
    ASSERT_EQ(results->rowCount(), 1);
    ASSERT_NE(results->item(0, 2), nullptr);
    EXPECT_EQ(results->item(0, 2)->text(), QString::number(kept));

    QTimer dialogs;
    QObject::connect(&dialogs, &QTimer::timeout, [] {
        auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        dialog->allDatasetsRadio()->setChecked(true);
        dialog->tsvRadio->setChecked(true);
        for (QCheckBox* check : dialog->findChildren<QCheckBox*>())
            if (check->text().endsWith("[fl1_max_ctc]"))
                check->setChecked(true);
        dialog->accept();
    });
    dialogs.start(10);
    QMetaObject::invokeMethod(window.get(), "exportData");
    EXPECT_EQ(boxes.texts.last(), "Exported 2 dataset(s) successfully.");
    QFile tsv(path("RYXexport_b.tsv"));
    ASSERT_TRUE(tsv.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(tsv.readAll())
                                  .split('\n', Qt::SkipEmptyParts)
                                  .filter(QRegularExpression("^[^#]"));   // the metadata lines first
    ASSERT_FALSE(lines.isEmpty());
    EXPECT_TRUE(lines[0].contains("FL-1 maximum, crosstalk-corrected")) << lines[0].toStdString();
    EXPECT_EQ(size_t(lines.size() - 1), kept);
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

    // A rule whose bound is not a number is refused with a warning, not read as 0.
    writeText("names.ryxfg", R"({"groups": [{"name": "Gates", "rules": [{"minValue": "nan"}, {"maxValue": 1}]},
        {"name": "Gates", "id": 0}, {}]})");
    ASSERT_TRUE(window->importFilterGroupsFile(path("names.ryxfg")));
    EXPECT_EQ(groupNames().back(), "Imported group");
    EXPECT_EQ(groupNames()[5], "Gates (4)");
    EXPECT_EQ(window->filterGroups()[4]->rules.size(), 1u);
    EXPECT_EQ(boxes.texts.value(0), "1 filter rule(s) of this file have a bound that is not a number and were left out.");
    boxes.texts.clear();

    writeText("array.ryxfg", "[1, 2]");
    writeText("empty.ryxfg", R"({"formatVersion": 1, "groups": []})");
    EXPECT_FALSE(window->importFilterGroupsFile(path("array.ryxfg")));
    EXPECT_FALSE(window->importFilterGroupsFile(path("empty.ryxfg")));
    EXPECT_EQ(boxes.texts, (QStringList{"File is not a valid filter-groups JSON: no error occurred",
                                        "The file contains no filter groups."}));
    EXPECT_EQ(window->filterGroups().size(), 7u);
}
