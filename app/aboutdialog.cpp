#include "app/aboutdialog.h"

#include "app/updatechecker.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QUrl>
#include <QVBoxLayout>

namespace Tessary {

namespace {

struct LicenseLink {
    const char* link;
    const char* document;
};

// The names are those of the shipped files, exactly.
constexpr LicenseLink kLicenseLinks[] = {
    {"app:license-en", "Software License Agreement.md"},
    {"app:license-de", "Softwarelizenzvereinbarung.md"},
    {"app:notice-en", "(EN) TessaryTHIRD PARTY SOFTWARE NOTICES.md"},
    {"app:notice-de", "(DE) Tessary THIRD PARTY SOFTWARE NOTICES.md"},
    {"app:thirdparty-folder", "third party licenses"},
};

} // namespace

AboutDialog::AboutDialog(QWidget* parent, const QString& folder)
    : QDialog(parent)
    , applicationFolder(folder.isEmpty() ? QCoreApplication::applicationDirPath() : folder)
{
    setWindowTitle(QStringLiteral("About Tessary"));
    setModal(true);
    setMinimumWidth(420);   // keeps each line of links on one line
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(20, 16, 20, 12);
    layout->setSpacing(10);

    auto* title = new QLabel(QStringLiteral("<div style='font-size:18px; font-weight:bold;'>Tessary v%1</div>")
                                 .arg(UpdateChecker::currentVersion()),
                             this);
    title->setTextFormat(Qt::RichText);
    layout->addWidget(title);

    auto* description = new QLabel(QStringLiteral("Data analysis and visualization tool for Vireon RT-DC data."), this);
    description->setWordWrap(true);
    layout->addWidget(description);

    const QStringList libraries{QStringLiteral("Qt6"), QStringLiteral("QWT"), QStringLiteral("HDF5"),
                                QStringLiteral("OpenCV"), QStringLiteral("Armadillo")};
    auto* built = new QLabel(QStringLiteral("Built with %1.").arg(libraries.join(QStringLiteral(", "))), this);
    built->setWordWrap(true);
    layout->addWidget(built);

    layout->addSpacing(4);

    links = new QLabel(this);
    links->setTextFormat(Qt::RichText);
    links->setWordWrap(true);
    links->setOpenExternalLinks(false);
    if (!licensesFolder().isEmpty())
        links->setText(QStringLiteral(
            "<b>License:</b> <a href=\"app:license-en\">English</a> &middot; <a href=\"app:license-de\">Deutsch</a><br>"
            "<b>Third-party notices:</b> <a href=\"app:notice-en\">English</a> &middot; "
            "<a href=\"app:notice-de\">Deutsch</a><br>"
            "<a href=\"app:thirdparty-folder\">Open third-party license texts folder\u2026</a>"));
    else
        links->setText(QStringLiteral("<i>License files are not bundled with this build.</i>"));
    connect(links, &QLabel::linkActivated, this, &AboutDialog::onLinkActivated);
    layout->addWidget(links);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
    layout->addWidget(buttons);
}

QString AboutDialog::licensesFolderIn(const QString& folder)
{
    const QDir dir(folder);
    QStringList candidates;
    for (const QString& relative : {QStringLiteral("licenses"), QStringLiteral("../share/tessary/licenses")}) {
        const QString candidate = QDir::cleanPath(dir.filePath(relative));
        if (!candidates.contains(candidate))
            candidates << candidate;
    }
    for (const QString& candidate : candidates)
        if (QFileInfo(candidate).isDir())
            return candidate;
    return QString();
}

QString AboutDialog::licensesFolder() const
{
    return licensesFolderIn(applicationFolder);
}

QString AboutDialog::documentForLink(const QString& link)
{
    for (const LicenseLink& entry : kLicenseLinks)
        if (link == QLatin1String(entry.link))
            return QString::fromUtf8(entry.document);
    return QString();
}

void AboutDialog::onLinkActivated(QString url)
{
    const QString folder = licensesFolder();
    if (folder.isEmpty()) {
        QMessageBox::warning(this, QStringLiteral("About"), QStringLiteral("License files are not available in this build."));
        return;
    }
    const QString document = documentForLink(url);
    if (!document.isEmpty())
        showLicenseFile(QDir(folder).filePath(document));
    else
        QDesktopServices::openUrl(QUrl(url));
}

void AboutDialog::showLicenseFile(const QString& path)
{
    if (!QFileInfo::exists(path)) {
        QMessageBox::warning(this, QStringLiteral("About"),
                             QStringLiteral("Could not find:\n") + path
                                 + QStringLiteral("\n\nThe licenses folder is shipped alongside the application; "
                                                  "this build appears to be missing it."));
        return;
    }
    if (!QDesktopServices::openUrl(QUrl::fromLocalFile(path)))
        QMessageBox::warning(this, QStringLiteral("About"), QStringLiteral("Could not open:\n") + path);
}

} // namespace Tessary
