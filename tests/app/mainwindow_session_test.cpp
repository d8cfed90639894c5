// Session files and filter-group files through the real main window: a saved
// session comes back whole, missing and changed files are asked about, and
// damaged files are refused before anything is closed.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "app/eventtsvwriter.h"
#include "app/exportdialog.h"
#include "calc/flcompensation.h"
#include "mainwindowtesting.h"
#include "rtdc/hdf5lock.h"
#include "app/statsummaryexportdialog.h"
#include "calc/calculationsdockwidget.h"
#include "common/filesizelimit.h"
#include "calc/flrefinement.h"
#include "stats/statisticalevalwindow.h"
#include "widgets/filterdockwidget.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "windows/combineplotwindow.h"
#include "windows/imagegallerywindow.h"

#include <QActionGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDir>
#include <QDeadlineTimer>
#include <QDoubleSpinBox>
#include <QSpinBox>
#include <QEventLoop>
#include <QFile>
#include <QFutureInterface>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpression>
#include <QTableWidget>
#include <QTimer>
#include <QtTest/QTest>

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <functional>
#include <limits>
#include <mutex>
#include <thread>

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

// Events whose value lies in [low, high].
size_t countWithin(const std::vector<double>& values, double low, double high)
{
    return size_t(std::count_if(values.begin(), values.end(), [=](double v) { return v >= low && v <= high; }));
}

// Events the compensation with a spillover of 0.25 from FL2 into FL1 keeps at fl1_max_ctc >= 500.
size_t countCompensatedAbove500(const Fixtures::RtdcFileBuilder& file)
{
    const std::vector<double> fl1 = file.column("fl1_max"), fl2 = file.column("fl2_max");
    size_t kept = 0;
    for (size_t i = 0; i < fl1.size(); ++i)
        kept += fl1[i] - 0.25 * fl2[i] >= 500.0;
    return kept;
}

// A column that the refinement with the defaults of a restored session
// computes from the file; empty when it cannot.
std::vector<double> refinedColumn(const std::string& file, const std::string& name)
{
    RTDCReader reader;
    FLRefinement refinement;
    if (!reader.open(file) || !refinement.compute(&reader, reader.readMetadata(), RefinementSettings()))
        return {};
    return reader.readFeature(name);
}

FilterRule rangeRule(const std::string& feature, double low, double high)
{
    return FilterRule{0, feature, "", low, high, {}, 0, 0, true, false, ""};
}

// Marks the dataset as compensated with that spillover (0.25 from FL2 into
// FL1 unless given), filtered at fl1_max_ctc >= 500 and plotted on the
// compensated peaks, as a session stores it.
void markCompensated(DatasetEntry& ds, double fl1FromFl2 = 0.25, double fl2FromFl1 = 0.0)
{
    SpilloverMatrix spillover(2, 2);
    spillover(0, 0) = spillover(1, 1) = 1.0;
    spillover(0, 1) = fl1FromFl2;
    spillover(1, 0) = fl2FromFl1;
    ds.ctcApplied = true;
    ds.ctcChannels = {1, 2};
    ds.spilloverMatrix = spillover;
    ds.filter.setEnabled(true);
    ds.filter.addRule(rangeRule("fl1_max_ctc", 500.0, 1e9));
    ds.xFeatureName = "fl1_max_ctc";
    ds.yFeatureName = "fl2_max_ctc";
}

class MainWindowSessionTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
    }
    void TearDown() override
    {
        releaseCalculation();   // the window waits for it when it goes
        window.reset();
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
    // The entry of a file, or null.
    DatasetEntry* entryOf(const std::string& name) { return window->findDatasetByPath(dir.file(name)); }
    // Settled, and no calculation runs any more.
    bool calculated()
    {
        QDeadlineTimer deadline(20000);
        while (!settled() || window->calculationRunning()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        QCoreApplication::processEvents();   // what the last completion posted
        return true;
    }
    // Processes events until the condition holds; false after 20 s.
    bool waitUntil(const std::function<bool()>& done)
    {
        QDeadlineTimer deadline(20000);
        while (!done()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
        }
        return true;
    }
    // A calculation that runs until finished() is called, from any thread:
    // what the session's recomputations have to wait for.
    void holdCalculation()
    {
        heldCalculation = QFutureInterface<void>();
        heldCalculation.reportStarted();
        released = false;
        window->calcWatcher->setFuture(heldCalculation.future());
        window->calcRunning = true;
    }
    // Once, from whichever thread comes first.
    void releaseCalculation()
    {
        if (!released.exchange(true))
            heldCalculation.reportFinished();
    }
    // Releases the held calculation after the given time, unless the test has
    // by then: a GUI thread that waits for it would otherwise wait for ever.
    std::thread safetyRelease(std::chrono::milliseconds after)
    {
        return std::thread([this, after] {
            const auto end = std::chrono::steady_clock::now() + after;
            while (!released && std::chrono::steady_clock::now() < end)
                std::this_thread::sleep_for(std::chrono::milliseconds(10));
            releaseCalculation();
        });
    }
    // "Export Data" of every dataset to TSV (or .rtdc) files beside them, the
    // dialog answered as the user would; the number of dialogs that came.
    // With every feature, also those of other datasets, selected when asked.
    int exportAllToTsv(bool tsv = true, bool everyFeature = false)
    {
        int dialogs = 0;
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [&dialogs, tsv, everyFeature] {
            auto* dialog = qobject_cast<ExportDialog*>(QApplication::activeModalWidget());
            if (!dialog || dialog->property("answered").toBool())
                return;
            dialog->setProperty("answered", true);
            ++dialogs;
            dialog->allDatasetsRadio()->setChecked(true);
            (tsv ? dialog->tsvRadio : dialog->rtdcRadio)->setChecked(true);
            for (QPushButton* button : dialog->findChildren<QPushButton*>())
                if (everyFeature && button->text() == "Select All")
                    button->click();
            dialog->accept();
        });
        answer.start(10);
        QMetaObject::invokeMethod(window.get(), "exportData");
        return dialogs;
    }
    // "Export Statistical Summary" of every dataset into the file of that name.
    void exportSummary(const std::string& name)
    {
        QTimer answer;
        QObject::connect(&answer, &QTimer::timeout, [this, name] {
            if (auto* dialog = qobject_cast<StatSummaryExportDialog*>(QApplication::activeModalWidget())) {
                dialog->setAllDatasets(true);
                dialog->outputEdit->setText(path(name));
                dialog->accept();
            }
        });
        answer.start(10);
        QMetaObject::invokeMethod(window.get(), "exportStatSummary");
    }
    // Shows the dataset of that file; its entry.
    DatasetEntry* show(const std::string& name)
    {
        DatasetEntry* ds = entryOf(name);
        window->datasetList->setCurrentRow(window->datasetRowById(ds->id));
        return ds;
    }
    // A session of S1 (compensated, rule fl1_max_ctc >= 500, on the compensated
    // axes) and S2 (shown), loaded while another calculation holds S1's
    // recomputation back; S1 is then shown waiting. The events S1's rule keeps.
    size_t loadWithS1Waiting(const Fixtures::StandardOptions& s1Options = {})
    {
        Fixtures::StandardOptions options = s1Options;
        options.sample = "S1";
        const size_t kept =
            countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 3000, options));
        window->addDataset(path("s1.rtdc"));
        open("s2.rtdc", 1000, "S2");
        markCompensated(*entryOf("s1.rtdc"));
        EXPECT_TRUE(window->writeSessionFile(path("s.RYX")));
        holdCalculation();
        EXPECT_TRUE(window->loadSessionFile(path("s.RYX")));
        EXPECT_TRUE(settled());
        show("s1.rtdc");
        EXPECT_EQ(info(), "Loading: S1 - Waiting for the running calculation...");
        return kept;
    }
    // Sessions of r.rtdc (traces, its refinement marked applied) and s.rtdc
    // (shown): "r.RYX" holds both, "rr.RYX" also a copy of r.rtdc that marks
    // the refinement itself; "c.RYX" holds c.rtdc alone, compensated and
    // filtered. The events c.rtdc's rule keeps.
    size_t writeRefinementSessions()
    {
        Fixtures::StandardOptions options;
        options.sample = "R";
        options.traces = true;
        Fixtures::writeStandardMeasurement(dir.file("r.rtdc"), 20000, options);
        options = {};
        options.sample = "C";
        const size_t kept = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("c.rtdc"), 6000, options));
        window->addDataset(path("r.rtdc"));
        EXPECT_TRUE(settled());
        QMetaObject::invokeMethod(window.get(), "duplicateDataset");
        open("s.rtdc", 1000, "S");
        // Marked only while saving: shown, they would be refined here.
        const auto markRefined = [this](bool refined) {
            for (const auto& ds : window->datasetEntries)
                ds->flRefinementApplied = refined && ds->reader == entryOf("r.rtdc")->reader;
        };
        markRefined(true);
        EXPECT_TRUE(window->writeSessionFile(path("rr.RYX")));
        markRefined(false);
        window->datasetList->setCurrentRow(1);   // the copy
        QMetaObject::invokeMethod(window.get(), "removeDataset");
        markRefined(true);
        EXPECT_TRUE(window->writeSessionFile(path("r.RYX")));
        boxes.answers["Clear Session"] = QMessageBox::Ok;
        QMetaObject::invokeMethod(window.get(), "clearSession");
        window->addDataset(path("c.rtdc"));
        EXPECT_TRUE(settled());
        markCompensated(*entryOf("c.rtdc"));
        EXPECT_TRUE(window->writeSessionFile(path("c.RYX")));
        return kept;
    }
    // Loads a session of writeRefinementSessions() and lets r.rtdc's restored
    // refinement begin; it cannot end while the returned lock is held.
    std::unique_lock<std::recursive_mutex> loadWithRefinementHeld(const std::string& session)
    {
        holdCalculation();   // the refinement waits behind it meanwhile
        EXPECT_TRUE(window->loadSessionFile(path(session)));
        EXPECT_TRUE(settled());
        std::unique_lock<std::recursive_mutex> hold(hdf5Mutex);
        releaseCalculation();
        // Running, and no longer the held one, which has finished.
        EXPECT_TRUE(waitUntil([this] { return window->calculationRunning() && !window->calcWatcher->isFinished(); }));
        return hold;
    }
    // Compensates the shown dataset from the panel and waits for the end.
    void compensateShown()
    {
        QMetaObject::invokeMethod(window.get(), "onCompensateCrosstalk");
        EXPECT_TRUE(calculated());
    }
    // The event rows of an exported TSV file (-1 when there is none).
    int tsvRows(const std::string& name)
    {
        QFile tsv(path(name));
        if (!tsv.open(QIODevice::ReadOnly))
            return -1;
        const QStringList lines = QString::fromUtf8(tsv.readAll())
                                      .split('\n', Qt::SkipEmptyParts)
                                      .filter(QRegularExpression("^[^#]"));   // after the metadata lines
        return int(lines.size()) - 1;   // the header
    }
    // The column titles of an exported TSV file.
    QStringList tsvColumns(const std::string& name)
    {
        QFile tsv(path(name));
        if (!tsv.open(QIODevice::ReadOnly))
            return {};
        const QStringList lines = QString::fromUtf8(tsv.readAll()).split('\n').filter(QRegularExpression("^[^#]"));
        return lines.isEmpty() ? QStringList() : lines.first().split('\t');
    }
    static std::string combo(const QComboBox* box) { return box->currentData().toString().toStdString(); }
    std::string info() const { return window->infoLabel->text().toStdString(); }
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
    QFutureInterface<void> heldCalculation;
    std::atomic<bool> released{true};
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
    EXPECT_EQ(boxes.texts[1], "Failed to write session file: " + path("no/such/folder/s.RYX") + "\nNo such file or directory");
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

#ifdef __unix__
    // A full disk is no failure to open: the groups file says which step failed and why.
    const int group = window->addFilterGroup("Gates");
    {
        const Testing::FileSizeLimit limit(16);
        EXPECT_FALSE(window->writeFilterGroupsFile(path("g.ryxfg"), {group}));
    }
    EXPECT_EQ(boxes.titles.last(), "Export Filter Groups");
    EXPECT_EQ(boxes.texts.last(), "Failed to write: " + path("g.ryxfg") + "\nFile too large");
    EXPECT_FALSE(QFile::exists(path("g.ryxfg")));
#endif
}

#ifdef __unix__
// A save over a link writes the file the links lead to, and a file readable
// by its owner alone stays so: the user keeps both as they set them up.
TEST_F(MainWindowSessionTest, SavesGoThroughLinksAndKeepTheFilesMode)
{
    namespace fs = std::filesystem;
    open("a.rtdc", 100, "A");
    const int group = window->addFilterGroup("Gates");
    const std::vector<std::pair<std::string, std::function<bool(const std::string&)>>> saves{
        {"s.RYX", [&](const std::string& name) { return window->writeSessionFile(path(name)); }},
        {"g.ryxfg", [&](const std::string& name) { return window->writeFilterGroupsFile(path(name), {group}); }},
        {"e.tsv", [&](const std::string& name) {
             return writeEventTsv(*entry(0), dir.file(name), {"deform"}, {0, 1}).isEmpty();
         }},
    };
    const auto content = [this](const std::string& name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    fs::create_directory(dir.file("real"));
    for (const auto& [name, save] : saves) {
        // name -> hop-name -> real/name, the second link relative to its folder.
        writeText("real/" + name, "old");
        fs::create_symlink("real/" + name, dir.file("hop-" + name));
        fs::create_symlink(dir.file("hop-" + name), dir.file(name));
        ASSERT_TRUE(save(name)) << name;
        EXPECT_TRUE(fs::is_symlink(dir.file(name)) && fs::is_symlink(dir.file("hop-" + name))) << name;
        EXPECT_NE(content("real/" + name), QByteArray("old")) << name;

        const std::string own = "own-" + name;
        // Neither the default mode of new files nor the private one of the temporary file.
        writeText(own, "old");
        const fs::perms mode = fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read;
        fs::permissions(dir.file(own), mode);
        ASSERT_TRUE(save(own)) << name;
        EXPECT_EQ(fs::status(dir.file(own)).permissions() & fs::perms::all, mode) << name;
        EXPECT_NE(content(own), QByteArray("old")) << name;
    }
    for (const char* folder : {"", "real"})   // no temporary file stays behind
        EXPECT_TRUE(QDir(path(folder)).entryList({".tessary-*"}, QDir::Files | QDir::Hidden).isEmpty()) << folder;
}
#endif

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
    ASSERT_TRUE(calculated());   // B's compensation comes back in the background
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

// While a session loads, a dataset that has loaded but has not got its saved
// state yet is neither shown nor exported nor edited; "Clear Session" asks.
TEST_F(MainWindowSessionTest, HalfLoadedSessionIsNeitherShownNorExportedNorEdited)
{
    Fixtures::StandardOptions options;
    options.sample = "A";
    const std::vector<double> deform =
        Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 3000, options).column("deform");
    window->addDataset(path("a.rtdc"));
    ASSERT_TRUE(settled());
    entry(0)->filter.setEnabled(true);
    entry(0)->filter.addRule(rangeRule("deform", 0.0, 0.03));
    open("b.rtdc", 400000, "B");   // its preload takes a while
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    const size_t kept = countWithin(deform, 0.0, 0.03);
    ASSERT_TRUE(kept > 0 && kept < 3000);
    const int group = window->addFilterGroup("G");
    ASSERT_TRUE(window->writeFilterGroupsFile(path("g.ryxfg"), {group}));

    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    // A has loaded and B is loading: B's preload is held there.
    ASSERT_TRUE(waitUntil([this] { return window->datasetEntries.size() == 2; }));
    std::unique_lock<std::recursive_mutex> holdPreload(hdf5Mutex);
    ASSERT_TRUE(window->restoringSession && !window->preloadWatcher->isFinished());
    DatasetEntry* a = entryOf("a.rtdc");
    ASSERT_NE(a, nullptr);
    window->datasetList->setCurrentRow(0);
    EXPECT_TRUE(window->infoLabel->text().startsWith("Loading: ")) << info();
    EXPECT_FALSE(window->renameEdit->isEnabled());
    window->filterDock->addRuleButton->click();   // would be overwritten by the saved rules
    EXPECT_EQ(a->filter.ruleCount(), 0);
    EXPECT_EQ(exportAllToTsv(), 0);
    EXPECT_EQ(boxes.texts.value(boxes.texts.size() - 1).toStdString(),
              "A session is still being loaded. Export the data once loading has finished.");
    EXPECT_EQ(tsvRows("RYXexport_a.tsv"), -1);
    // The session's groups replace all groups once it is applied.
    EXPECT_FALSE(window->importFilterGroupsFile(path("g.ryxfg")));
    EXPECT_EQ(boxes.texts.last().toStdString(),
              "A session is still being loaded. Import the groups once loading has finished.");
    holdPreload.unlock();

    QMetaObject::invokeMethod(window.get(), "clearSession");   // answered Cancel
    EXPECT_EQ(boxes.titles.last().toStdString(), "Clear Session");
    ASSERT_TRUE(settled());
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    ASSERT_EQ(a->filter.ruleCount(), 1);
    window->datasetList->setCurrentRow(window->datasetRowById(a->id));
    EXPECT_TRUE(window->infoLabel->text().contains(QString("%1/3000 events shown").arg(kept))) << info();
}

// A compensated dataset shown while another calculation runs waits for it,
// then gets its own compensation before it is drawn, with its saved axes.
TEST_F(MainWindowSessionTest, ShownDatasetWaitsForTheRunningCalculationAndKeepsItsAxes)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    const size_t kept = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options));
    window->addDataset(path("s1.rtdc"));
    open("s2.rtdc", 1000, "S2");   // shown when saved
    markCompensated(*entryOf("s1.rtdc"));
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    const QString filtered = QString("%1/6000 events shown").arg(kept);
    const auto showS1 = [this] {
        DatasetEntry* s1 = entryOf("s1.rtdc");
        window->datasetList->setCurrentRow(window->datasetRowById(s1->id));
        return s1;
    };

    holdCalculation();
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    DatasetEntry* s1 = showS1();
    EXPECT_EQ(info(), "Loading: S1 - Waiting for the running calculation...");
    releaseCalculation();
    ASSERT_TRUE(calculated());
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_ctc");
    EXPECT_EQ(combo(window->yFeatureCombo), "fl2_max_ctc");
    EXPECT_TRUE(window->infoLabel->text().contains(filtered)) << info();
    window->datasetList->setCurrentRow(window->datasetRowById(entryOf("s2.rtdc")->id));
    EXPECT_EQ(s1->xFeatureName, "fl1_max_ctc");   // what a session saved now holds

    // Tool windows of a session show it as waiting instead of waiting for it
    // on the GUI thread (the safety release ends the hold should they block),
    // and fill it in, with the feature chosen, once its columns are there.
    s1 = showS1();
    QMetaObject::invokeMethod(window.get(), "openCombinePlotWindow");
    window->combineWindows.back()->addDataset(s1->id);
    QMetaObject::invokeMethod(window.get(), "openStatisticalEvalWindow");
    StatisticalEvalWindow* evaluation = window->statEvalWindows.back();
    evaluation->addDatasetToCategory(0, s1->id);
    auto* featureCombo = evaluation->findChild<QComboBox*>();
    featureCombo->setCurrentIndex(featureCombo->findData("fl1_max_ctc"));
    ASSERT_TRUE(window->writeSessionFile(path("t.RYX")));
    holdCalculation();
    std::thread safety = safetyRelease(std::chrono::seconds(3));
    ASSERT_TRUE(window->loadSessionFile(path("t.RYX")));
    ASSERT_TRUE(settled());
    EXPECT_FALSE(released) << "restoring the tool windows waited for the running calculation";
    const auto shownCell = [this] { return window->combineWindows.at(0)->findChild<QTableWidget*>()->item(0, 1)->text(); };
    const auto countCell = [this] {
        const QTableWidgetItem* item = window->statEvalWindows.at(0)->results()->item(0, 2);
        return item ? item->text() : QString();
    };
    EXPECT_EQ(shownCell(), "waiting");
    EXPECT_EQ(countCell(), "waiting");
    QMetaObject::invokeMethod(window.get(), "openCombinePlotWindow");
    window->combineWindows.back()->addDataset(entryOf("s1.rtdc")->id);
    EXPECT_FALSE(released) << "a combined-plot window waited for the running calculation";
    releaseCalculation();
    safety.join();
    ASSERT_TRUE(calculated());
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_ctc");
    EXPECT_EQ(shownCell(), QString::number(kept));
    EXPECT_EQ(window->statEvalWindows.at(0)->findChild<QComboBox*>()->currentData().toString(), "fl1_max_ctc");
    EXPECT_EQ(countCell(), QString::number(kept));
}

// Duplicating a dataset that waits for its restored calculation waits too:
// the copy starts with its source's axes and filter, and keeps them. While a
// session loads, it is refused like every action on its datasets.
TEST_F(MainWindowSessionTest, DuplicateOfAWaitingDatasetWaitsAndKeepsItsAxesAndFilter)
{
    const size_t kept = loadWithS1Waiting();
    QString waitText;
    QTimer release;   // the held calculation ends while the wait shows
    QObject::connect(&release, &QTimer::timeout, [&] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (progress && waitText.isEmpty()) {
            waitText = progress->labelText();
            releaseCalculation();
        }
    });
    release.start(10);
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    EXPECT_TRUE(waitText.startsWith("Restoring the session's calculations")) << waitText.toStdString();
    ASSERT_EQ(window->datasetEntries.size(), 3u);
    DatasetEntry* copy = entry(2);
    EXPECT_EQ(copy->displayName, "S1 (copy)");
    EXPECT_EQ(window->activeDatasetIndex, 2);
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_ctc");
    EXPECT_TRUE(window->infoLabel->text().contains(QString("%1/3000 events shown").arg(kept))) << info();
    ASSERT_TRUE(calculated());
    show("s2.rtdc");
    EXPECT_EQ(copy->xFeatureName, "fl1_max_ctc");   // what a session saved now holds
    EXPECT_EQ(copy->filter.ruleCount(), 1);

    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(window->restoringSession && window->datasetEntries.size() == 1);
    window->datasetList->setCurrentRow(0);
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    EXPECT_EQ(boxes.texts.value(boxes.texts.size() - 1).toStdString(),
              "A session is still being loaded. Duplicate the dataset once loading has finished.");
    ASSERT_TRUE(calculated());
    EXPECT_EQ(window->datasetEntries.size(), 2u);
}

// A copy starts with its source's calculation state: once the source is
// removed, a saved session still has the copy's compensation recomputed, and
// the copy's rule on the compensated peak keeps what it kept before.
TEST_F(MainWindowSessionTest, CopyKeepsItsCalculationsOnceItsSourceIsGone)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    const auto s1 = Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options);
    // What numpy keeps: the first row of [[1, 0.15], [0.08, 1]]^-1 m at or above 500.
    const std::vector<double> fl1 = s1.column("fl1_max"), fl2 = s1.column("fl2_max");
    size_t kept = 0;
    for (size_t i = 0; i < fl1.size(); ++i)
        kept += (fl1[i] - 0.15 * fl2[i]) / (1.0 - 0.15 * 0.08) >= 500.0;
    ASSERT_TRUE(kept > 0 && kept < 6000);
    const QString shown = QString("%1/6000 events shown").arg(kept);

    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    const auto compensateFromTable = [this] {
        auto* table = window->calcDockWidget->findChild<QTableWidget*>();
        table->item(0, 1)->setText("0.15");
        table->item(1, 0)->setText("0.08");
        compensateShown();
    };
    // The first dataset removed, the session saved and loaded: the copy is left.
    const auto keepOnlyTheCopy = [this] {
        window->datasetList->setCurrentRow(0);
        QMetaObject::invokeMethod(window.get(), "removeDataset");
        ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
        ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
        ASSERT_TRUE(calculated());
        ASSERT_EQ(window->datasetEntries.size(), 1u);
    };
    compensateFromTable();
    ASSERT_TRUE(entry(0)->ctcApplied);
    entry(0)->filter.addRule(rangeRule("fl1_max_ctc", 500.0, 1e9));
    window->refreshPanelsForDataset();
    ASSERT_TRUE(window->infoLabel->text().contains(shown)) << info();
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    ASSERT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_TRUE(entry(1)->ctcApplied);
    EXPECT_EQ(entry(1)->ctcChannels, std::vector<int>({1, 2}));

    keepOnlyTheCopy();
    const DatasetEntry* copy = entry(0);
    EXPECT_EQ(copy->displayName, "S1 (copy)");
    EXPECT_TRUE(window->infoLabel->text().contains(shown)) << info();
    EXPECT_TRUE(copy->ctcApplied);
    EXPECT_EQ(copy->ctcChannels, std::vector<int>({1, 2}));

    // Copied first, then the copy compensated: the source is marked as well,
    // and the copy, left alone, keeps its columns through a session.
    boxes.answers["Clear Session"] = QMessageBox::Ok;
    QMetaObject::invokeMethod(window.get(), "clearSession");
    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    compensateFromTable();
    EXPECT_TRUE(entry(0)->ctcApplied);
    entry(1)->filter.addRule(rangeRule("fl1_max_ctc", 500.0, 1e9));
    keepOnlyTheCopy();
    EXPECT_TRUE(window->infoLabel->text().contains(shown)) << info();
}

// A session's copy shares its source's reader, and with it the columns that
// the source's restored calculation is still to bring: shown meanwhile, it
// waits as well, also when it carries no calculation state of its own (as
// sessions stored copies before).
TEST_F(MainWindowSessionTest, SessionCopyWaitsForItsSourcesCalculation)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    const size_t kept = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options));
    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    open("s2.rtdc", 1000, "S2");
    markCompensated(*entry(0));
    markCompensated(*entry(1));
    entry(1)->ctcApplied = false;   // its rule and axes name the source's columns
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));

    holdCalculation();
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    const DatasetEntry* copy = window->datasetEntries.back().get();
    ASSERT_EQ(copy->displayName, "S1 (copy)");
    window->datasetList->setCurrentRow(window->datasetRowById(copy->id));
    EXPECT_EQ(info(), "Loading: S1 (copy) - Waiting for the running calculation...");
    EXPECT_TRUE(window->plotXValues.empty());
    releaseCalculation();
    ASSERT_TRUE(calculated());
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_ctc");
    EXPECT_TRUE(window->infoLabel->text().contains(QString("%1/6000 events shown").arg(kept))) << info();
}

// Sessions stored copies without their calculation state: such a copy shares
// its source's columns, so it takes the source's state once the source's
// restored calculation has run, or when the source is closed while that
// calculation runs or waits in the queue (taking its place there), and is
// saved with it from then on.
TEST_F(MainWindowSessionTest, SessionCopyWithoutCalculationStateTakesItsSources)
{
    Fixtures::StandardOptions options;
    options.sample = "R";
    options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("r.rtdc"), 4000, options);
    const std::vector<double> refined = refinedColumn(dir.file("r.rtdc"), "fl2_max_rf");
    const size_t keptR = countWithin(refined, 200.0, std::numeric_limits<double>::infinity());
    ASSERT_TRUE(keptR > 0 && keptR < refined.size());
    options = {};
    options.sample = "S1";
    const size_t keptS = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options));

    for (const std::string name : {"r.rtdc", "s1.rtdc"}) {
        window->addDataset(path(name));
        ASSERT_TRUE(settled());
        QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    }
    open("t.rtdc", 1000, "T");   // compensated after s1.rtdc
    window->datasetList->setCurrentRow(0);   // shown at loading: r.rtdc is refined first
    for (int i : {0, 1}) {
        entry(i)->filter.setEnabled(true);
        entry(i)->filter.addRule(rangeRule("fl2_max_rf", 200.0, 1e9));
        markCompensated(*entry(i + 2));
    }
    markCompensated(*entry(4));
    entry(0)->flRefinementApplied = true;
    entry(3)->ctcApplied = false;
    ASSERT_TRUE(window->writeSessionFile(path("old.RYX")));
    const auto copyCounts = [this] {
        std::vector<size_t> counts;
        for (const QString name : {"R (copy)", "S1 (copy)"})
            for (const auto& ds : window->datasetEntries)
                if (ds->displayName == name)
                    counts.push_back(window->filteredEventIndices(ds->id, false).size());
        return counts;
    };
    const auto removeSource = [this](const std::string& name) {
        show(name);   // the source: copies of a session come last
        QMetaObject::invokeMethod(window.get(), "removeDataset");
    };
    const auto removeSources = [&] {
        for (const std::string name : {"s1.rtdc", "r.rtdc"})
            removeSource(name);
    };

    // Both sources closed while the refinement runs and the compensation
    // waits; the copy waits where its source did, before t.rtdc.
    auto hold = loadWithRefinementHeld("old.RYX");
    removeSource("s1.rtdc");
    ASSERT_FALSE(window->queuedRecomputations().empty());
    EXPECT_EQ(window->queuedRecomputations().front(), window->datasetEntries.back()->id);   // S1 (copy)
    removeSource("r.rtdc");
    EXPECT_TRUE(window->calculationRunning());
    hold.unlock();
    ASSERT_TRUE(calculated());
    EXPECT_EQ(copyCounts(), std::vector<size_t>({keptR, keptS}));

    // Settled first, then the sources closed, saved and loaded.
    ASSERT_TRUE(window->loadSessionFile(path("old.RYX")));
    ASSERT_TRUE(calculated());
    EXPECT_EQ(copyCounts(), std::vector<size_t>({keptR, keptS}));
    removeSources();
    ASSERT_TRUE(window->writeSessionFile(path("new.RYX")));
    ASSERT_TRUE(window->loadSessionFile(path("new.RYX")));
    ASSERT_TRUE(calculated());
    EXPECT_EQ(copyCounts(), std::vector<size_t>({keptR, keptS}));
}

// Closing the datasets of a restored refinement stops it: after "Clear
// Session" a file opened by hand is compensated at once, and a session loaded
// next is restored at once. The refinement stores nothing.
TEST_F(MainWindowSessionTest, ClearingOrLoadingStopsTheRefinementOfTheClosedDatasets)
{
    const size_t keptC = writeRefinementSessions();
    auto hold = loadWithRefinementHeld("r.RYX");
    std::shared_ptr<RTDCReader> refined = entryOf("r.rtdc")->reader;
    QMetaObject::invokeMethod(window.get(), "clearSession");   // answered OK
    EXPECT_FALSE(window->calculationRunning());
    hold.unlock();
    open("d.rtdc", 1000, "D");
    compensateShown();
    EXPECT_FALSE(boxes.texts.contains("Another calculation is running."));
    EXPECT_TRUE(entryOf("d.rtdc")->ctcApplied);
    ASSERT_TRUE(waitUntil([&refined] { return refined.use_count() == 1; }));   // it has returned
    EXPECT_FALSE(refined->isComputedFeature("fl1_max_rf"));

    hold = loadWithRefinementHeld("r.RYX");
    refined = entryOf("r.rtdc")->reader;
    ASSERT_TRUE(window->loadSessionFile(path("c.RYX")));
    EXPECT_FALSE(window->calculationRunning());
    hold.unlock();
    ASSERT_TRUE(settled());
    EXPECT_EQ(info().find("Waiting for the running calculation"), std::string::npos) << info();
    ASSERT_TRUE(calculated());
    EXPECT_TRUE(window->infoLabel->text().contains(QString("%1/6000 events shown").arg(keptC))) << info();
    ASSERT_TRUE(waitUntil([&refined] { return refined.use_count() == 1; }));
    EXPECT_FALSE(refined->isComputedFeature("fl1_max_rf"));
}

// Removing the dataset of a restored refinement stops it, and the next
// calculation starts at once; a copy on the same reader that awaits the
// refinement itself keeps it going and gets its columns.
TEST_F(MainWindowSessionTest, RemovingADatasetStopsItsRefinementUnlessACopyAwaitsIt)
{
    writeRefinementSessions();
    auto hold = loadWithRefinementHeld("rr.RYX");
    ASSERT_EQ(window->datasetEntries.size(), 3u);
    const int copyId = window->datasetEntries.back()->id;
    show("r.rtdc");
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    EXPECT_TRUE(window->calculationRunning());
    show("r.rtdc");   // the copy now
    EXPECT_EQ(info(), "Loading: R (copy) - Restoring calculations...");
    hold.unlock();
    ASSERT_TRUE(calculated());
    const DatasetEntry* copy = window->findDatasetById(copyId);
    EXPECT_TRUE(copy->flRefinementApplied);
    EXPECT_TRUE(copy->reader->isComputedFeature("fl1_max_rf"));
    EXPECT_TRUE(window->isDatasetWhole(copyId));

    hold = loadWithRefinementHeld("r.RYX");
    const std::shared_ptr<RTDCReader> refined = entryOf("r.rtdc")->reader;
    show("r.rtdc");
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    EXPECT_FALSE(window->calculationRunning());
    hold.unlock();
    ASSERT_EQ(window->activeDatasetId(), entryOf("s.rtdc")->id);
    compensateShown();
    EXPECT_FALSE(boxes.texts.contains("Another calculation is running."));
    EXPECT_TRUE(entryOf("s.rtdc")->ctcApplied);
    ASSERT_TRUE(waitUntil([&refined] { return refined.use_count() == 1; }));
    EXPECT_FALSE(refined->isComputedFeature("fl1_max_rf"));
}

// Every action of the menus and of the dataset list's context menu, and every
// plot setting, while the shown dataset waits for its restored calculation:
// none shows, changes, copies or exports it as if it were whole, and none
// waits for it on the GUI thread. Once whole it shows its own settings.
TEST_F(MainWindowSessionTest, NoActionTreatsAWaitingDatasetAsWhole)
{
    Fixtures::StandardOptions images;
    images.images = true;
    const size_t kept = loadWithS1Waiting(images);
    DatasetEntry* s1 = entryOf("s1.rtdc");
    const QStringList files = QDir(QString::fromStdString(dir.path())).entryList(QDir::Files);
    std::thread safety = safetyRelease(std::chrono::seconds(10));

    // Whatever the actions open is turned down: dialogs rejected, waits
    // cancelled (message boxes are rejected by the fixture).
    QStringList waits;
    QString menuChoice;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        if (auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget()); menu && !menuChoice.isEmpty()) {
            for (QAction* action : menu->actions())
                if (action->text() == menuChoice)
                    menu->setActiveAction(action);
            menuChoice.clear();
            // Chosen from outside this handler: a timer does not fire again
            // while its own handler runs, and the wait behind the entry must
            // be answered by it.
            QTimer::singleShot(0, menu, [menu] { QTest::keyClick(menu, Qt::Key_Return); });
            return;
        }
        QWidget* modal = QApplication::activeModalWidget();
        if (auto* progress = qobject_cast<QProgressDialog*>(modal)) {
            waits << progress->windowTitle();
            progress->cancel();
        } else if (auto* dialog = qobject_cast<QDialog*>(modal); dialog && !qobject_cast<QMessageBox*>(modal)) {
            dialog->reject();
        }
    });
    answer.start(5);

    std::vector<QAction*> actions;
    const std::function<void(const QMenu*)> collect = [&](const QMenu* menu) {
        for (QAction* action : menu->actions())
            if (action->menu())
                collect(action->menu());
            else if (!action->isSeparator() && action->text() != "E&xit")   // quitting has its own test
                actions.push_back(action);
    };
    for (const QAction* top : window->menuBar()->actions())
        collect(top->menu());
    ASSERT_GE(actions.size(), 25u);
    for (QAction* action : actions)
        action->trigger();
    menuChoice = "Duplicate Dataset";
    emit window->datasetList->customContextMenuRequested(QPoint(4, 4));
    EXPECT_EQ(waits, QStringList({"Export", "Export", "Export", "Duplicate Dataset"}));

    // The plot settings show another dataset's: the user cannot change them.
    for (QWidget* control : std::vector<QWidget*>{
             window->xFeatureCombo, window->yFeatureCombo, window->colorFeatureCombo, window->scaleXCombo,
             window->scaleYCombo, window->contourModeCombo, window->contourInnerSpin, window->contourOuterSpin,
             window->isoelasticsCheck, window->isoelasticLabelsCheck, window->applyPlotSettingsButton,
             window->renameEdit, window->eventSpin}) {
        EXPECT_FALSE(control->isEnabled()) << control->metaObject()->className();
        QTest::keyClick(control, Qt::Key_Down);
        QTest::keyClick(control, Qt::Key_Space);
    }
    // Tool windows opened meanwhile show it as waiting.
    CombinePlotWindow* combine = window->combineWindows.at(0);
    for (QPushButton* button : combine->findChildren<QPushButton*>())
        if (button->text() == "Add Active Dataset")
            button->click();
    const QTableWidget* rows = combine->findChild<QTableWidget*>();
    ASSERT_EQ(rows->rowCount(), 1);
    EXPECT_EQ(rows->item(0, 1)->text(), "waiting");
    ASSERT_EQ(window->imageGalleryWindows().size(), 1u);
    const auto galleryShows = [this](const QString& text) {
        for (const QLabel* label : window->imageGalleryWindows().at(0)->findChildren<QLabel*>())
            if (label->text().contains(text))
                return true;
        return false;
    };
    EXPECT_TRUE(galleryShows("Waiting for the dataset"));

    EXPECT_FALSE(released) << "an action waited for the running calculation on the GUI thread";
    EXPECT_EQ(window->datasetEntries.size(), 2u);
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files), files);
    EXPECT_TRUE(info().rfind("Loading: S1", 0) == 0) << info();
    EXPECT_TRUE(window->plotXValues.empty());
    EXPECT_EQ(s1->xFeatureName, "fl1_max_ctc");
    EXPECT_EQ(s1->filter.ruleCount(), 1);
    EXPECT_EQ(std::make_tuple(s1->scaleXMode, s1->scaleYMode, s1->contourMode), std::make_tuple(0, 0, 0));

    releaseCalculation();
    safety.join();
    ASSERT_TRUE(calculated());
    EXPECT_TRUE(window->infoLabel->text().contains(QString("%1/3000 events shown").arg(kept))) << info();
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_ctc");
    EXPECT_TRUE(window->scaleXCombo->isEnabled());
    EXPECT_EQ(window->scaleXCombo->currentIndex(), s1->scaleXMode);
    EXPECT_EQ(rows->item(0, 1)->text(), QString::number(kept));
    EXPECT_TRUE(galleryShows(QString("(%1 events)").arg(kept)));
}

// A saved spillover matrix that cannot be inverted: the user is told, the
// dataset no longer claims the compensation, and the export says so.
TEST_F(MainWindowSessionTest, RestoredCalculationThatCannotBeRecomputedIsReportedAndNotClaimed)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options);
    window->addDataset(path("s1.rtdc"));
    open("s2.rtdc", 1000, "S2");
    markCompensated(*entryOf("s1.rtdc"), 1.0, 1.0);
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));

    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(calculated());
    const qsizetype report = boxes.titles.indexOf("Load Session");
    ASSERT_GE(report, 0) << boxes.titles.join(", ").toStdString();
    EXPECT_TRUE(boxes.texts[report].contains("crosstalk compensation of dataset \"S1\"")
                && boxes.texts[report].contains("rules on its columns are not applied"))
        << boxes.texts[report].toStdString();
    EXPECT_FALSE(entryOf("s1.rtdc")->ctcApplied);

    EXPECT_EQ(exportAllToTsv(), 1);
    EXPECT_EQ(tsvRows("RYXexport_s1.tsv"), 6000);   // the rule could not judge them
    EXPECT_EQ(boxes.titles.last().toStdString(), "Export");
    EXPECT_TRUE(boxes.texts.last().contains("S1: crosstalk compensation")) << boxes.texts.last().toStdString();
    EXPECT_FALSE(boxes.texts.last().contains("successfully"));

    // So does the summary, whose N counts every event of S1.
    exportSummary("summary.tsv");
    EXPECT_TRUE(boxes.texts.last().startsWith("Statistical summary exported to:")
                && boxes.texts.last().contains("S1: crosstalk compensation"))
        << boxes.texts.last().toStdString();
    // The .rtdc file's filter record states no rule that did not choose its events.
    EXPECT_EQ(exportAllToTsv(false), 1);
    RTDCReader exported;
    ASSERT_TRUE(exported.open(dir.file("RYXexport_s1.rtdc")));
    EXPECT_EQ(exported.eventCount(), 6000u);
    for (const auto& [key, value] : exported.readMetadata().offlineFilter)
        EXPECT_EQ(key.find("fl1_max_ctc"), std::string::npos) << key;
}

// A copy's own session entry decides its calculations: a part whose restore
// failed stays unrestored, its rules not applied, though its source computes
// those columns on the file they share, and a part it saved keeps its state.
// A source's state that a copy took over at a removal, and that cannot be
// restored, is named as the source's.
TEST_F(MainWindowSessionTest, CopyStaysAsItsOwnSessionEntrySaid)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    const size_t kept = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options));
    const auto named = [this](const QString& name) -> DatasetEntry* {
        for (const auto& ds : window->datasetEntries)
            if (ds->displayName == name)
                return ds.get();
        return nullptr;
    };
    // A matrix for three channels cannot be restored on a file with two.
    const auto markUnrestorable = [](DatasetEntry& ds) {
        markCompensated(ds);
        ds.ctcChannels = {1, 2, 3};
        ds.spilloverMatrix = SpilloverMatrix(3, 3);
    };
    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    markCompensated(*entry(0));
    markUnrestorable(*entry(1));
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));   // the copy shown
    window->datasetList->setCurrentRow(0);
    ASSERT_TRUE(window->writeSessionFile(path("source-shown.RYX")));
    // Whichever restore runs first, the copy's own state does not fit its
    // file: its rule keeps every event and the user is told.
    const auto expectCopyUnrestored = [&](const char* session) {
        DatasetEntry* failed = named("S1 (copy)");
        ASSERT_NE(failed, nullptr) << session;
        EXPECT_TRUE(boxes.texts.join("\n").contains(
            "The crosstalk compensation of dataset \"S1 (copy)\" saved in the session could not be restored."))
            << session;
        EXPECT_FALSE(failed->ctcApplied) << session;
        EXPECT_EQ(window->unrestoredCalculations(*failed), QStringList{"crosstalk compensation"}) << session;
        EXPECT_EQ(window->filteredEventIndices(failed->id, false).size(), 6000u) << session;
        EXPECT_EQ(window->filteredEventIndices(named("S1")->id, false).size(), kept) << session;
    };
    for (const char* session : {"source-shown.RYX", "s.RYX"}) {
        boxes.texts.clear();
        ASSERT_TRUE(window->loadSessionFile(path(session)));
        ASSERT_TRUE(calculated());
        expectCopyUnrestored(session);
    }
    // Shown while another calculation runs, the copy's restore is tried first.
    boxes.texts.clear();
    holdCalculation();
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    releaseCalculation();
    ASSERT_TRUE(calculated());
    expectCopyUnrestored("s.RYX, held");
    // Its export holds neither a cut by that rule nor the columns its source computed.
    EXPECT_EQ(exportAllToTsv(), 1);
    EXPECT_EQ(tsvRows("RYXexport_s1_2.tsv"), 6000);
    EXPECT_FALSE(tsvColumns("RYXexport_s1_2.tsv").join('|').contains("crosstalk"));
    EXPECT_TRUE(tsvColumns("RYXexport_s1.tsv").join('|').contains("crosstalk"));

    // A copy that saved a matrix of its own keeps it when its source's
    // restore is done first.
    boxes.answers["Clear Session"] = QMessageBox::Ok;
    QMetaObject::invokeMethod(window.get(), "clearSession");
    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    markCompensated(*entry(0));
    markCompensated(*entry(1), 0.15, 0.08);
    open("s2.rtdc", 1000, "S2");
    ASSERT_TRUE(window->writeSessionFile(path("o.RYX")));
    ASSERT_TRUE(window->loadSessionFile(path("o.RYX")));
    ASSERT_TRUE(calculated());
    ASSERT_NE(named("S1 (copy)"), nullptr);
    EXPECT_EQ(named("S1 (copy)")->spilloverMatrix(0, 1), 0.15);

    // The source removed while its compensation waits, whose matrix cannot
    // be inverted: the copy takes it over, and it fails there.
    QMetaObject::invokeMethod(window.get(), "clearSession");
    window->addDataset(path("s1.rtdc"));
    ASSERT_TRUE(settled());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    markCompensated(*entry(0), 1.0, 1.0);
    markCompensated(*entry(1));
    entry(1)->ctcApplied = false;
    ASSERT_TRUE(window->writeSessionFile(path("h.RYX")));
    holdCalculation();
    ASSERT_TRUE(window->loadSessionFile(path("h.RYX")));
    ASSERT_TRUE(settled());
    show("s1.rtdc");
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    releaseCalculation();
    ASSERT_TRUE(calculated());
    EXPECT_TRUE(boxes.texts.join("\n").contains(
        "The crosstalk compensation of dataset \"S1\" saved in the session, which \"S1 (copy)\" took over when "
        "\"S1\" was removed, could not be restored."))
        << boxes.texts.join("\n").toStdString();
}

// Quitting while a restored refinement runs stops it: the window goes at
// once, and the refinement stores nothing.
TEST_F(MainWindowSessionTest, QuittingStopsARestoredRefinement)
{
    Fixtures::StandardOptions options;
    options.sample = "R";
    options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("r.rtdc"), 20000, options);
    window->addDataset(path("r.rtdc"));
    ASSERT_TRUE(settled());
    entryOf("r.rtdc")->flRefinementApplied = true;
    open("s2.rtdc", 100, "S2");
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    ASSERT_TRUE(window->calculationRunning());
    const std::shared_ptr<RTDCReader> reader = entryOf("r.rtdc")->reader;
    window->close();
    window.reset();
    EXPECT_FALSE(reader->isComputedFeature("fl1_max_rf"));
}

// An export waits for the session's recomputations behind a progress dialog
// whose Cancel ends the export.
TEST_F(MainWindowSessionTest, ExportWaitsForRecomputationsWithProgressAndCancel)
{
    Fixtures::StandardOptions options;
    options.sample = "S1";
    const size_t kept = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("s1.rtdc"), 6000, options));
    window->addDataset(path("s1.rtdc"));
    open("s2.rtdc", 1000, "S2");
    markCompensated(*entryOf("s1.rtdc"));
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));
    holdCalculation();   // s1's recomputation waits behind it
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(settled());
    std::thread release([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(1500));
        releaseCalculation();
    });

    QString waitText;
    QTimer cancel;
    QObject::connect(&cancel, &QTimer::timeout, [&waitText] {
        auto* progress = qobject_cast<QProgressDialog*>(QApplication::activeModalWidget());
        if (!progress || !waitText.isEmpty())
            return;
        waitText = progress->labelText();
        for (QPushButton* button : progress->findChildren<QPushButton*>())
            if (button->text() == "Cancel")
                button->click();
    });
    cancel.start(10);
    EXPECT_EQ(exportAllToTsv(), 1);   // the shown S2 is whole: the dialog comes, then the wait for S1
    EXPECT_TRUE(waitText.startsWith("Restoring the session's calculations")) << waitText.toStdString();
    EXPECT_EQ(tsvRows("RYXexport_s1.tsv"), -1);
    cancel.stop();

    // Waits for the end this time. The dialog offered the columns that the
    // wait brings, so S1's file has them whatever the timing.
    EXPECT_EQ(exportAllToTsv(true, true), 1);
    release.join();
    EXPECT_EQ(boxes.texts.last().toStdString(), "Exported 2 dataset(s) successfully.");
    EXPECT_EQ(tsvRows("RYXexport_s1.tsv"), int(kept));
    const QStringList columns = tsvColumns("RYXexport_s1.tsv");
    EXPECT_EQ(columns.filter("maximum, crosstalk-corrected").size(), 2) << columns.join(", ").toStdString();
}

// The main road: a session of a compensated, a refined and a filtered dataset,
// each shown while another is still being restored, then every dataset
// exported; each file holds exactly the events its rules keep.
TEST_F(MainWindowSessionTest, RestoredSessionExportsWhatEachDatasetsRulesKeep)
{
    Fixtures::StandardOptions options;
    options.sample = "C";
    const size_t keptC = countCompensatedAbove500(Fixtures::writeStandardMeasurement(dir.file("c.rtdc"), 3000, options));
    options.sample = "R";
    options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("r.rtdc"), 4000, options);
    // R keeps the events whose refined FL-2 peak lies at or above their median:
    // a count that only the restored refinement can give.
    const std::vector<double> refined = refinedColumn(dir.file("r.rtdc"), "fl2_max_rf");
    ASSERT_EQ(refined.size(), 4000u);
    std::vector<double> sorted = refined;
    std::nth_element(sorted.begin(), sorted.begin() + 2000, sorted.end());
    const double medianR = sorted[2000];
    const size_t keptR = countWithin(refined, medianR, 1e9);
    options.sample = "F";
    options.traces = false;
    const size_t eventsF = 300000;   // its preload takes a while
    const size_t keptF =
        countWithin(Fixtures::writeStandardMeasurement(dir.file("f.rtdc"), eventsF, options).column("deform"), 0.0, 0.03);
    ASSERT_TRUE(keptC > 0 && keptC < 3000 && keptR > 0 && keptR < 4000 && keptF > 0 && keptF < eventsF);
    for (const char* name : {"c.rtdc", "r.rtdc", "f.rtdc"}) {
        window->addDataset(path(name));
        ASSERT_TRUE(settled());
    }
    markCompensated(*entryOf("c.rtdc"));
    DatasetEntry* r = entryOf("r.rtdc");
    r->flRefinementApplied = true;
    r->filter.setEnabled(true);
    r->filter.addRule(rangeRule("fl2_max_rf", medianR, 1e9));
    r->xFeatureName = "fl1_max_rf";
    r->yFeatureName = "fl2_max_rf";
    entryOf("f.rtdc")->filter.setEnabled(true);
    entryOf("f.rtdc")->filter.addRule(rangeRule("deform", 0.0, 0.03));
    ASSERT_TRUE(window->writeSessionFile(path("s.RYX")));   // F shown

    const auto show = [this](const std::string& name) {
        window->datasetList->setCurrentRow(window->datasetRowById(entryOf(name)->id));
        return window->infoLabel->text();
    };
    const auto drawn = [](size_t kept, size_t total) { return QString("%1/%2 events shown").arg(kept).arg(total); };

    // C and R have loaded, F is loading (held there): they wait for their state.
    ASSERT_TRUE(window->loadSessionFile(path("s.RYX")));
    ASSERT_TRUE(waitUntil([this] { return window->datasetEntries.size() == 3; }));
    {
        const std::lock_guard<std::recursive_mutex> holdPreload(hdf5Mutex);
        ASSERT_TRUE(window->restoringSession && !window->preloadWatcher->isFinished());
        EXPECT_TRUE(show("c.rtdc").startsWith("Loading: ")) << info();
        EXPECT_TRUE(show("r.rtdc").startsWith("Loading: ")) << info();
    }

    // Applied: F is shown filtered while C and R are recomputed in the
    // background, one after the other (held there).
    ASSERT_TRUE(settled());
    std::unique_lock<std::recursive_mutex> holdRecompute(hdf5Mutex);   // the refinement reads traces
    ASSERT_TRUE(window->calculationRunning());
    EXPECT_EQ(window->plotXValues.size(), keptF);   // the label tells that the session loaded
    EXPECT_TRUE(show("r.rtdc").startsWith("Loading: R - ")) << info();
    const QString c = show("c.rtdc");
    EXPECT_TRUE(c.startsWith("Loading: C - ") || c.contains(drawn(keptC, 3000))) << c.toStdString();

    // The export of every dataset waits for what is still being restored.
    holdRecompute.unlock();
    EXPECT_EQ(exportAllToTsv(), 1);
    EXPECT_EQ(boxes.texts.last().toStdString(), "Exported 3 dataset(s) successfully.");
    EXPECT_EQ(tsvRows("RYXexport_c.tsv"), int(keptC));
    EXPECT_EQ(tsvRows("RYXexport_r.tsv"), int(keptR));
    EXPECT_EQ(tsvRows("RYXexport_f.tsv"), int(keptF));

    ASSERT_TRUE(calculated());
    EXPECT_TRUE(show("r.rtdc").contains(drawn(keptR, 4000))) << info();
    EXPECT_EQ(combo(window->xFeatureCombo), "fl1_max_rf");
    EXPECT_TRUE(show("c.rtdc").contains(drawn(keptC, 3000))) << info();
    EXPECT_EQ(combo(window->yFeatureCombo), "fl2_max_ctc");
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
