#include "app/helpwindow.h"

#include "app/helpbrowser.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHelpContentWidget>
#include <QHelpEngine>
#include <QHelpIndexWidget>
#include <QHelpLink>
#include <QHelpSearchEngine>
#include <QHelpSearchQueryWidget>
#include <QHelpSearchResultWidget>
#include <QLineEdit>
#include <QMessageBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QVBoxLayout>

namespace Tessary {

QString HelpWindow::collectionPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::CacheLocation) + QStringLiteral("/tessary-help.qhc");
}

HelpWindow::HelpWindow(const QString& qchPath, QWidget* parent)
    : QMainWindow(parent)
{
    setWindowTitle(QStringLiteral("Tessary Manual"));
    resize(900, 600);

    // A fresh collection each time: a failed deletion only leaves the old one.
    QDir().mkpath(QStandardPaths::writableLocation(QStandardPaths::CacheLocation));
    const QString collection = collectionPath();
    QFile::remove(collection);
    QFile::remove(collection + QStringLiteral("-journal"));

    helpEngine = new QHelpEngine(collection, this);
    helpEngine->setReadOnly(false);
    helpEngine->setupData();
    helpEngine->registerDocumentation(qchPath);

    auto* tabs = new QTabWidget;
    tabs->addTab(helpEngine->contentWidget(), QStringLiteral("Contents"));

    auto* indexPage = new QWidget;
    auto* indexLayout = new QVBoxLayout(indexPage);
    indexLayout->setContentsMargins(4, 4, 4, 4);
    indexFilter = new QLineEdit;
    indexFilter->setPlaceholderText(QStringLiteral("Filter keywords..."));
    indexLayout->addWidget(indexFilter);
    indexLayout->addWidget(helpEngine->indexWidget());
    tabs->addTab(indexPage, QStringLiteral("Index"));

    QHelpSearchEngine* search = helpEngine->searchEngine();
    auto* searchPage = new QWidget;
    auto* searchLayout = new QVBoxLayout(searchPage);
    searchLayout->setContentsMargins(4, 4, 4, 4);
    searchLayout->addWidget(search->queryWidget());
    searchLayout->addWidget(search->resultWidget());
    tabs->addTab(searchPage, QStringLiteral("Search"));

    browser = new HelpBrowser(helpEngine);
    browser->setOpenExternalLinks(false);

    splitter = new QSplitter(Qt::Horizontal);
    splitter->addWidget(tabs);
    splitter->addWidget(browser);
    splitter->setStretchFactor(0, 0);
    splitter->setStretchFactor(1, 1);
    splitter->setSizes({250, 650});
    setCentralWidget(splitter);

    // The manual is short: show its whole table of contents once it is read.
    connect(helpEngine->contentModel(), &QHelpContentModel::contentsCreated, helpEngine->contentWidget(),
            [this] { helpEngine->contentWidget()->expandAll(); });
    connect(helpEngine->contentWidget(), &QHelpContentWidget::linkActivated, browser,
            [this](const QUrl& url) { browser->setSource(url); });
    connect(helpEngine->indexWidget(), &QHelpIndexWidget::documentActivated, browser,
            [this](const QHelpLink& link, const QString&) { browser->setSource(link.url); });
    connect(indexFilter, &QLineEdit::textChanged, helpEngine->indexWidget(),
            [this](const QString& text) { helpEngine->indexWidget()->filterIndices(text, QString()); });
    connect(search->queryWidget(), &QHelpSearchQueryWidget::search, search,
            [search] { search->search(search->queryWidget()->searchInput()); });
    connect(search->resultWidget(), &QHelpSearchResultWidget::requestShowLink, browser,
            [this](const QUrl& url) { browser->setSource(url); });

    search->reindexDocumentation();

    QUrl start;
    start.setScheme(QStringLiteral("qthelp"));
    start.setHost(QHelpEngineCore::namespaceName(qchPath));
    start.setPath(QStringLiteral("/manual/index.html"));
    browser->setSource(start);
}

QStringList manualCandidates(const QString& applicationFolder)
{
    return {applicationFolder + QStringLiteral("/../data/tessary.qch"),
            applicationFolder + QStringLiteral("/data/tessary.qch")};
}

QString findManual(const QString& applicationFolder)
{
    for (const QString& candidate : manualCandidates(applicationFolder))
        if (QFileInfo::exists(candidate))
            return candidate;
    return QString();
}

void openManual(QWidget* parent, const QString& applicationFolder)
{
    const QString folder = applicationFolder.isEmpty() ? QCoreApplication::applicationDirPath() : applicationFolder;
    const QString manual = findManual(folder);
    if (manual.isEmpty()) {
        QMessageBox::warning(parent, QStringLiteral("Manual Not Found"),
                             QStringLiteral("Could not find the help file (tessary.qch).\n\nSearched in:\n%1")
                                 .arg(manualCandidates(folder).join(QLatin1Char('\n'))),
                             QMessageBox::Ok);
        return;
    }
    auto* window = new HelpWindow(manual, parent);
    window->setAttribute(Qt::WA_DeleteOnClose);
    window->show();
}

} // namespace Tessary
