// The main window's update check, feedback report and help actions.
#include "app/mainwindow.h"

#include "app/feedbacksender.h"
#include "app/updatechecker.h"
#include "mainwindowtesting.h"
#include "netdialogtesting.h"

#include <QLabel>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QSettings>

#include <gtest/gtest.h>

#include <memory>

using namespace Tessary;
using Tessary::Testing::LoopbackServer;

namespace {

class MainWindowHelpTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        // The start-up check would ask the test server too, and open a second box.
        QSettings().setValue("updates/checkOnStartup", false);
    }

    // What the next message box said, and the button the test pressed in it.
    struct Seen {
        bool shown = false;
        QString title, text;
        QStringList buttons;
    };

    // Runs one update check against the server answering `version`, presses
    // `press` in the box it opens (if any) and waits until the check is over.
    Seen runCheck(MainWindow& w, bool silent, const QByteArray& manifest, const QString& press = "Later")
    {
        server.respond(200, manifest);
        w.ensureUpdateChecker()->setManifestUrl(server.url("/tessary_latest.json"));
        auto seen = std::make_shared<Seen>();
        auto watch = Testing::onNextModal([seen, press](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            seen->shown = true;
            seen->title = box->windowTitle();
            seen->text = box->text();
            for (QAbstractButton* b : box->buttons())
                seen->buttons << b->text();
            if (!Testing::clickButton(box, press))
                box->reject();
        }, 1000);
        const int before = server.requests.size();
        w.checkForUpdates(silent);
        (void)QTest::qWaitFor([&] { return server.requests.size() > before; });
        QTest::qWait(150);   // the reply and, when there is one, the box
        return *seen;
    }

    static QByteArray manifest(const char* version, const char* extra = "")
    {
        return QByteArray(R"({"version": ")") + version + "\"" + extra + "}";
    }

    LoopbackServer server;
    Fixtures::TempDir dir;
};

} // namespace

TEST_F(MainWindowHelpTest, CheckerIsMadeOnceAndRemembersTheLastSilentFlag)
{
    MainWindow w;
    EXPECT_EQ(w.updateChecker, nullptr);
    UpdateChecker* checker = w.ensureUpdateChecker();
    EXPECT_EQ(w.ensureUpdateChecker(), checker);
    EXPECT_EQ(checker->parent(), &w);
    runCheck(w, false, manifest("3.3.99"), "OK");
    EXPECT_FALSE(w.lastCheckSilent);
    EXPECT_EQ(w.updateChecker, checker);
}

TEST_F(MainWindowHelpTest, OutcomesOfChecksOnDemandAndSilentOnes)
{
    MainWindow w;
    Seen s = runCheck(w, false, manifest("3.3.99"), "OK");
    EXPECT_EQ(s.title, "Check for Updates");
    EXPECT_EQ(s.text, "You are running the latest version of Tessary (3.3.99).");
    EXPECT_FALSE(runCheck(w, true, manifest("3.3.99")).shown);

    s = runCheck(w, false, "[1, 2]", "OK");
    EXPECT_EQ(s.title, "Check for Updates");
    EXPECT_EQ(s.text, "Could not check for updates.\n\nCould not read version information from the server.");
    EXPECT_FALSE(runCheck(w, true, "[1, 2]").shown);

    s = runCheck(w, true, manifest("3.4.0"));
    EXPECT_EQ(s.title, "Update Available");
    EXPECT_EQ(s.text, "A newer version of Tessary is available.\n\nInstalled: 3.3.99\nLatest: 3.4.0");
    s.buttons.sort();
    EXPECT_EQ(s.buttons, (QStringList{"Ignore This Version", "Later", "Open Downloads..."}));

    s = runCheck(w, false, manifest("3.4.0", R"(, "notes": "Faster density plots")"));
    EXPECT_TRUE(s.text.endsWith("Latest: 3.4.0\n\nWhat's new:\nFaster density plots"));
    EXPECT_FALSE(QSettings().contains("updates/ignoredVersion"));   // "Later" stores nothing
}

TEST_F(MainWindowHelpTest, IgnoredVersionStaysQuietOnlyForSilentChecks)
{
    MainWindow w;
    EXPECT_TRUE(runCheck(w, true, manifest("3.4.0"), "Ignore This Version").shown);
    EXPECT_EQ(QSettings().value("updates/ignoredVersion").toString(), "3.4.0");

    EXPECT_FALSE(runCheck(w, true, manifest("3.4.0")).shown);
    EXPECT_TRUE(runCheck(w, false, manifest("3.4.0")).shown);
    EXPECT_TRUE(runCheck(w, true, manifest("3.4.1")).shown);
    EXPECT_EQ(QSettings().value("updates/ignoredVersion").toString(), "3.4.0");
}

TEST_F(MainWindowHelpTest, OpenDownloadsOpensThePageOfTheManifestOrTheDefault)
{
    MainWindow w;
    Testing::UrlRecorder desktop({"http", "https"});
    runCheck(w, false, manifest("3.4.0", R"(, "url": "https://downloads.example/tessary/3.4.0")"), "Open Downloads...");
    runCheck(w, false, manifest("3.4.0"), "Open Downloads...");
    ASSERT_EQ(desktop.urls.size(), 2);
    EXPECT_EQ(desktop.urls[0], QUrl("https://downloads.example/tessary/3.4.0"));
    EXPECT_EQ(desktop.urls[1], server.url("/"));
}

TEST_F(MainWindowHelpTest, SummaryOfNoDatasetsIsOneLine)
{
    MainWindow w;
    EXPECT_EQ(w.buildSessionSummary(), "Datasets: 0\n");
}

TEST_F(MainWindowHelpTest, SummaryListsStateButNeitherPathsNorSampleNames)
{
    MainWindow w;
    auto first = std::make_unique<DatasetEntry>();
    first->id = 7;
    first->filePath = "/home/lab/secret-project/patient42.rtdc";
    first->displayName = "Patient 42 blood";
    first->loaded = false;
    first->metadata.experiment = {{"sample", "Patient 42 blood"}, {"run index", "3"}, {"date", "2026-12-01"}};
    first->metadata.setup = {{"flow rate", "0.04"}, {"chip region", "channel"}};
    first->metadata.offlineFilter = {{"area_um min", "10"}};   // not a section of the summary
    first->metadata.exportInfo = {{"changed sample name", "Renamed sample"}, {"software", "x"}};
    FilterRule range;
    range.featureName = "deform";
    range.minValue = 0.0123456789;
    range.maxValue = 100;
    FilterRule gate;
    gate.type = 1;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    gate.polygonVertices = {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0.5, 2}};
    gate.inverted = true;
    first->filter.rules = {range, gate};
    first->filter.setEnabled(false);
    first->emodApplied = true;
    first->flRefinementApplied = true;
    first->imageFeaturesApplied = true;   // not one of the listed calculations
    auto second = std::make_unique<DatasetEntry>();
    second->id = 8;
    second->loaded = true;
    second->metadata.experiment = {{"sample", "only the sample"}};
    w.datasetEntries.push_back(std::move(first));
    w.datasetEntries.push_back(std::move(second));
    w.lastPlotFiltered = true;

    const QString summary = w.buildSessionSummary();
    EXPECT_EQ(summary, "Datasets: 2\n"
                       "Global filter: active\n"
                       "\n--- Dataset 1 ---\n"
                       "Loaded: no\n"
                       "[experiment]\n"
                       "  date: 2026-12-01\n"
                       "  run index: 3\n"
                       "[setup]\n"
                       "  chip region: channel\n"
                       "  flow rate: 0.04\n"
                       "[export]\n"
                       "  software: x\n"
                       "Filter rules (2, enabled=no):\n"
                       "  range deform [0.0123457, 100]\n"
                       "  polygon area_um/deform (5 verts) [inverted]\n"
                       "Calculations: fl-refinement, emodulus\n"
                       "\n--- Dataset 2 ---\n"
                       "Loaded: yes\n"
                       "[experiment]\n");
    EXPECT_FALSE(summary.contains("secret-project"));
    EXPECT_FALSE(summary.contains("Patient"));
    EXPECT_FALSE(summary.contains("Renamed"));
}

TEST_F(MainWindowHelpTest, SummaryCountsTheEventsOfAReader)
{
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 250);
    MainWindow w;
    ASSERT_NE(Testing::addLoadedDataset(w, dir.file("m.rtdc"), "m"), nullptr);
    const QString summary = w.buildSessionSummary();
    EXPECT_TRUE(summary.startsWith("Datasets: 1\n\n--- Dataset 1 ---\nEvents: 250\nLoaded: yes\n[experiment]\n"))
        << summary.toStdString();
    EXPECT_FALSE(summary.contains(QString::fromStdString(dir.path())));
    EXPECT_FALSE(summary.contains("Synthetic sample"));
}

TEST_F(MainWindowHelpTest, FeedbackFromTheMenuHasNoErrorSection)
{
    MainWindow w;
    QAction* feedback = nullptr;
    for (QAction* a : w.menuBar()->actions())
        if (a->text() == "&Help")
            for (QAction* item : a->menu()->actions())
                if (item->text() == "Send &Feedback...")
                    feedback = item;
    ASSERT_NE(feedback, nullptr);

    QString preview, firstLabel;
    auto watch = Testing::onNextModal([&](QWidget* modal) {
        firstLabel = modal->findChildren<QLabel*>().value(0)->text();
        for (QPlainTextEdit* e : modal->findChildren<QPlainTextEdit*>())
            if (e->isReadOnly())
                preview = e->toPlainText();
        Testing::clickButton(modal, "Cancel");
    });
    feedback->trigger();
    EXPECT_TRUE(firstLabel.startsWith("The information below"));
    EXPECT_TRUE(preview.startsWith("=== Tessary Feedback Report ===\nVersion: 3.3.99\n"));
    EXPECT_TRUE(preview.contains("\n=== Session ===\nDatasets: 0\n\n\n=== Log ===\n"));
    EXPECT_FALSE(preview.contains("=== Error ==="));
    ASSERT_NE(w.feedbackSender, nullptr);
    EXPECT_EQ(w.feedbackSender->parent(), &w);
    EXPECT_TRUE(server.requests.isEmpty());
}

TEST_F(MainWindowHelpTest, ErrorBoxLeadsToAReportOfThatError)
{
    MainWindow w;
    w.ensureFeedbackSender()->setServerUrl(server.url());
    QString errorLabel;
    QByteArray sentBox;
    // Error box -> "Send Feedback..." -> feedback dialog -> "Send" -> upload.
    Testing::ModalWatch inner;
    auto watch = Testing::onNextModal([&](QWidget* box) {
        inner = Testing::onNextModal([&](QWidget* dialog) {
            errorLabel = dialog->findChildren<QLabel*>().value(0)->text();
            for (QPlainTextEdit* e : dialog->findChildren<QPlainTextEdit*>())
                if (!e->isReadOnly())
                    e->setPlainText("Happened on opening.");
            Testing::clickButton(dialog, "Send");
        }, 5000, box);
        Testing::clickButton(box, "Send Feedback...");
    });
    w.onUnhandledException("Unexpected Error", "boom <3");
    EXPECT_EQ(errorLabel, "<b>Error:</b> Unexpected Error<br>boom &lt;3");
    EXPECT_FALSE(w.errorDialogOpen);

    QString thanks;
    watch = Testing::onNextModal([&](QWidget* box) {
        thanks = box->windowTitle();
        static_cast<QMessageBox*>(box)->accept();
    });
    ASSERT_TRUE(QTest::qWaitFor([&] { return !thanks.isEmpty(); }));
    EXPECT_EQ(thanks, "Feedback Sent");
    ASSERT_EQ(server.requests.size(), 1);
    const QByteArray& body = server.requests[0].body;
    EXPECT_TRUE(body.contains("=== Error ===\nTitle: Unexpected Error\nMessage: boom <3\n\n"
                              "=== User Comment ===\nHappened on opening.\n\n=== Session ===\nDatasets: 0\n"));
}
