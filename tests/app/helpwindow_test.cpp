#include "app/helpwindow.h"

#include "app/helpbrowser.h"
#include "fixtures/rtdcfixture.h"
#include "mainwindowtesting.h"
#include "netdialogtesting.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpEngine>
#include <QMessageBox>
#include <QSplitter>
#include <QTabWidget>
#include <QTextDocument>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

const QString kBuiltManual = QStringLiteral(TESSARY_BUILT_MANUAL);

class HelpWindowTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();   // also puts the cache folder in a test location
        root = QString::fromStdString(dir.path());
        QDir(root).mkpath("app");
        appFolder = root + "/app";
    }

    // Copies the built manual into <root>/<relative>/tessary.qch.
    void placeManual(const QString& relative) const
    {
        QDir(root).mkpath(relative);
        ASSERT_TRUE(QFile::copy(kBuiltManual, root + "/" + relative + "/tessary.qch"));
    }

    static QList<HelpWindow*> openWindows()
    {
        QList<HelpWindow*> windows;
        for (QWidget* w : QApplication::topLevelWidgets())
            if (auto* h = qobject_cast<HelpWindow*>(w))
                windows << h;
        return windows;
    }

    Fixtures::TempDir dir;
    QString root, appFolder;
};

} // namespace

TEST_F(HelpWindowTest, ManualIsLookedForAboveTheApplicationFolderFirst)
{
    EXPECT_EQ(manualCandidates(appFolder),
              (QStringList{appFolder + "/../data/tessary.qch", appFolder + "/data/tessary.qch"}));
    EXPECT_TRUE(findManual(appFolder).isEmpty());

    placeManual("app/data");
    EXPECT_EQ(findManual(appFolder), appFolder + "/data/tessary.qch");
    placeManual("data");   // copies in both places: the one above wins
    EXPECT_EQ(findManual(appFolder), appFolder + "/../data/tessary.qch");
}

TEST_F(HelpWindowTest, MissingManualSaysWhereItWasLookedFor)
{
    QWidget parent;
    QString title, text;
    auto watch = Testing::onNextModal([&](QWidget* w) {
        title = w->windowTitle();
        text = static_cast<QMessageBox*>(w)->text();
        static_cast<QMessageBox*>(w)->accept();
    });
    openManual(&parent, appFolder);
    EXPECT_EQ(title, "Manual Not Found");
    EXPECT_EQ(text, "Could not find the help file (tessary.qch).\n\nSearched in:\n" + appFolder
                        + "/../data/tessary.qch\n" + appFolder + "/data/tessary.qch");
    EXPECT_TRUE(openWindows().isEmpty());
}

TEST_F(HelpWindowTest, WindowShowsTheManualsStartPage)
{
    ASSERT_TRUE(QFileInfo::exists(kBuiltManual)) << kBuiltManual.toStdString();
    HelpWindow window(kBuiltManual);
    EXPECT_EQ(window.windowTitle(), "Tessary Manual");
    EXPECT_EQ(window.size(), QSize(900, 600));
    EXPECT_TRUE(QFileInfo::exists(HelpWindow::collectionPath()));
    EXPECT_TRUE(HelpWindow::collectionPath().endsWith("/tessary-help.qhc"));

    auto* splitter = qobject_cast<QSplitter*>(window.centralWidget());
    ASSERT_NE(splitter, nullptr);
    auto* tabs = qobject_cast<QTabWidget*>(splitter->widget(0));
    ASSERT_NE(tabs, nullptr);
    EXPECT_EQ(tabs->tabText(0), "Contents");
    EXPECT_EQ(tabs->tabText(1), "Index");
    EXPECT_EQ(tabs->tabText(2), "Search");
    EXPECT_EQ(splitter->widget(1), window.pageBrowser());

    EXPECT_EQ(window.pageBrowser()->source(), QUrl("qthelp://tessary.manual/manual/index.html"));
    EXPECT_TRUE(window.pageBrowser()->toPlainText().contains("Tessary analyses measurements"));
    EXPECT_EQ(window.pageBrowser()->document()->metaInformation(QTextDocument::DocumentTitle), "Tessary Manual");
    EXPECT_FALSE(window.engine()->registeredDocumentations().isEmpty());
}

TEST_F(HelpWindowTest, ManualPagesComeOnlyFromTheManual)
{
    HelpWindow window(kBuiltManual);
    HelpBrowser* browser = window.pageBrowser();
    const QByteArray css = browser->loadResource(QTextDocument::StyleSheetResource,
                                                 QUrl("qthelp://tessary.manual/manual/style.css")).toByteArray();
    EXPECT_TRUE(css.contains("#00abad"));
    // The pages of the plot and the calculations say what this version leaves out.
    for (const char* page : {"calculations.html", "plot.html"}) {
        const QByteArray html = browser->loadResource(QTextDocument::HtmlResource,
                                                      QUrl(QStringLiteral("qthelp://tessary.manual/manual/") + page))
                                    .toByteArray();
        EXPECT_TRUE(html.contains("This version does not compute")) << page;
    }
    // A page the manual lacks is empty, even when a file of that name exists.
    QFile stray(root + "/manual/missing.html");
    QDir(root).mkpath("manual");
    ASSERT_TRUE(stray.open(QIODevice::WriteOnly));
    stray.write("<p>from disk</p>");
    stray.close();
    EXPECT_TRUE(browser->loadResource(QTextDocument::HtmlResource, QUrl("qthelp://tessary.manual/manual/missing.html"))
                    .toByteArray().isEmpty());
    // The scheme is compared as it is: any other scheme goes to the text browser.
    const QVariant file = browser->loadResource(QTextDocument::HtmlResource, QUrl::fromLocalFile(stray.fileName()));
    EXPECT_TRUE(file.toByteArray().contains("from disk"));
}

TEST_F(HelpWindowTest, EachOpeningMakesAWindowAndAFreshCollection)
{
    placeManual("data");
    QWidget parent;
    openManual(&parent, appFolder);
    const QString collection = HelpWindow::collectionPath();
    ASSERT_TRUE(QFileInfo::exists(collection));
    // The first window's engine may still be writing its search index (with
    // its own transient journal), so only the fresh collection is checked.
    openManual(&parent, appFolder);
    EXPECT_TRUE(QFileInfo::exists(collection));

    const QList<HelpWindow*> windows = parent.findChildren<HelpWindow*>();
    ASSERT_EQ(windows.size(), 2);
    for (HelpWindow* w : windows) {
        EXPECT_TRUE(w->isVisible());
        EXPECT_TRUE(w->testAttribute(Qt::WA_DeleteOnClose));
        EXPECT_TRUE(w->isWindow());
    }
    windows[0]->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(parent.findChildren<HelpWindow*>().size(), 1);
}

TEST_F(HelpWindowTest, UnreadableManualStillOpensAnEmptyWindow)
{
    QFile bad(root + "/data/tessary.qch");
    QDir(root).mkpath("data");
    ASSERT_TRUE(bad.open(QIODevice::WriteOnly));
    bad.write("not a help file");
    bad.close();
    HelpWindow window(bad.fileName());
    EXPECT_TRUE(window.pageBrowser()->toPlainText().trimmed().isEmpty());
}
