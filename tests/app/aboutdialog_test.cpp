#include "app/aboutdialog.h"

#include "fixtures/rtdcfixture.h"
#include "netdialogtesting.h"

#include <QDir>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

const QStringList kDocuments{"Software License Agreement.md", "Softwarelizenzvereinbarung.md",
                             "(EN) TessaryTHIRD PARTY SOFTWARE NOTICES.md",
                             "(DE) Tessary THIRD PARTY SOFTWARE NOTICES.md", "third party licenses"};

class AboutDialogTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        root = QString::fromStdString(dir.path());
        QDir(root).mkpath("bin");
        appFolder = root + "/bin";
    }

    void makeLicenses(const QString& relative, const QStringList& documents = kDocuments) const
    {
        const QString folder = root + "/" + relative;
        QDir().mkpath(folder);
        for (const QString& name : documents) {
            if (name == "third party licenses") {
                QDir(folder).mkpath(name);
                continue;
            }
            QFile f(folder + "/" + name);
            ASSERT_TRUE(f.open(QIODevice::WriteOnly));
            f.write("# text\n");
        }
    }

    // Activates a link and returns the warning it gave (empty for none).
    static QString activate(AboutDialog& about, const QString& link)
    {
        QString text;
        auto watch = Testing::onNextModal([&](QWidget* w) {
            auto* box = static_cast<QMessageBox*>(w);
            text = box->windowTitle() + "|" + box->text();
            box->accept();
        }, 300);
        emit about.linksLabel()->linkActivated(link);
        return text;
    }

    Fixtures::TempDir dir;
    QString root, appFolder;
};

} // namespace

TEST_F(AboutDialogTest, ShowsVersionDescriptionAndLibraries)
{
    AboutDialog about(nullptr, appFolder);
    EXPECT_EQ(about.windowTitle(), "About Tessary");
    EXPECT_TRUE(about.isModal());
    QStringList texts;
    for (QLabel* label : about.findChildren<QLabel*>())
        texts << label->text();
    EXPECT_TRUE(texts.contains("<div style='font-size:18px; font-weight:bold;'>Tessary v3.3.99</div>"));
    EXPECT_TRUE(texts.contains("Data analysis and visualization tool for Vireon RT-DC data."));
    EXPECT_TRUE(texts.contains("Built with Qt6, QWT, HDF5, OpenCV, Armadillo."));
    auto* buttons = about.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    EXPECT_EQ(buttons->standardButtons(), QDialogButtonBox::Close);
}

TEST_F(AboutDialogTest, LicenceFolderBesideTheExecutableComesFirst)
{
    EXPECT_TRUE(AboutDialog::licensesFolderIn(appFolder).isEmpty());
    makeLicenses("share/tessary/licenses");
    EXPECT_EQ(AboutDialog::licensesFolderIn(appFolder), root + "/share/tessary/licenses");
    makeLicenses("bin/licenses");
    EXPECT_EQ(AboutDialog::licensesFolderIn(appFolder), root + "/bin/licenses");
    // A file of that name is no folder.
    Fixtures::TempDir other;
    const QString otherApp = QString::fromStdString(other.path());
    QFile file(otherApp + "/licenses");
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    EXPECT_TRUE(AboutDialog::licensesFolderIn(otherApp).isEmpty());
}

TEST_F(AboutDialogTest, WithoutLicenceFolderTheBoxSaysSo)
{
    AboutDialog about(nullptr, appFolder);
    EXPECT_EQ(about.linksLabel()->text(), "<i>License files are not bundled with this build.</i>");
    EXPECT_EQ(activate(about, "app:license-en"), "About|License files are not available in this build.");
}

TEST_F(AboutDialogTest, LinksNameEveryShippedDocument)
{
    makeLicenses("bin/licenses");
    AboutDialog about(nullptr, appFolder);
    const QString links = about.linksLabel()->text();
    EXPECT_EQ(about.linksLabel()->textFormat(), Qt::RichText);
    EXPECT_FALSE(about.linksLabel()->openExternalLinks());
    QStringList hrefs;
    QRegularExpressionMatchIterator it = QRegularExpression("href=\"([^\"]+)\"").globalMatch(links);
    while (it.hasNext())
        hrefs << it.next().captured(1);
    EXPECT_EQ(hrefs, (QStringList{"app:license-en", "app:license-de", "app:notice-en", "app:notice-de",
                                  "app:thirdparty-folder"}));
    QStringList documents;
    for (const QString& href : hrefs)
        documents << AboutDialog::documentForLink(href);
    EXPECT_EQ(documents, kDocuments);
    EXPECT_TRUE(AboutDialog::documentForLink("APP:LICENSE-EN").isEmpty());   // whole string, case counts
}

TEST_F(AboutDialogTest, TheBuildShipsEveryDocumentTheLinksName)
{
    // The build lays the manual into bin/data and the licences into bin/licenses.
    const QString bin = QDir::cleanPath(QFileInfo(QStringLiteral(TESSARY_BUILT_MANUAL)).absolutePath() + "/..");
    const QString folder = AboutDialog::licensesFolderIn(bin);
    ASSERT_FALSE(folder.isEmpty());
    for (const QString& name : kDocuments)
        EXPECT_TRUE(QFileInfo::exists(folder + "/" + name)) << name.toStdString();
    EXPECT_TRUE(QFileInfo(folder + "/third party licenses").isDir());
    EXPECT_FALSE(QDir(folder + "/third party licenses").entryList(QDir::Files).isEmpty());
}

TEST_F(AboutDialogTest, LinksOpenTheirDocumentsWithTheDesktop)
{
    makeLicenses("bin/licenses");
    Testing::UrlRecorder desktop({"file", "https"});
    AboutDialog about(nullptr, appFolder);
    EXPECT_EQ(activate(about, "app:notice-en"), "");
    EXPECT_EQ(activate(about, "app:thirdparty-folder"), "");
    EXPECT_EQ(activate(about, "https://example.org/licences?x=1"), "");   // any other link, unchanged
    ASSERT_EQ(desktop.urls.size(), 3);
    EXPECT_EQ(desktop.urls[0], QUrl::fromLocalFile(root + "/bin/licenses/(EN) TessaryTHIRD PARTY SOFTWARE NOTICES.md"));
    EXPECT_EQ(desktop.urls[1], QUrl::fromLocalFile(root + "/bin/licenses/third party licenses"));
    EXPECT_EQ(desktop.urls[2], QUrl("https://example.org/licences?x=1"));
}

TEST_F(AboutDialogTest, MissingDocumentGivesItsFullPath)
{
    makeLicenses("bin/licenses", {"Software License Agreement.md"});
    Testing::UrlRecorder desktop({"file"});
    AboutDialog about(nullptr, appFolder);
    EXPECT_EQ(activate(about, "app:license-de"),
              "About|Could not find:\n" + root + "/bin/licenses/Softwarelizenzvereinbarung.md"
                  + "\n\nThe licenses folder is shipped alongside the application; this build appears to be missing it.");
    EXPECT_TRUE(desktop.urls.isEmpty());
}
