#pragma once

#include <QMainWindow>
#include <QString>
#include <QStringList>

class QHelpEngine;
class QLineEdit;
class QSplitter;

namespace Tessary {

class HelpBrowser;

// The user manual: contents, keyword index and full-text search beside a page
// browser. The help collection is rebuilt in the user's cache folder each time
// a window opens, so a stale collection never hides a newer manual.
class HelpWindow : public QMainWindow
{
    Q_OBJECT
public:
    HelpWindow(const QString& qchPath, QWidget* parent = nullptr);

    // Where the collection lives: the cache folder's "tessary-help.qhc".
    static QString collectionPath();

    QHelpEngine* engine() const { return helpEngine; }
    HelpBrowser* pageBrowser() const { return browser; }

private:
    QHelpEngine* helpEngine = nullptr;   // child of the window
    HelpBrowser* browser = nullptr;
    QSplitter* splitter = nullptr;
    QLineEdit* indexFilter = nullptr;
};

// The places the manual "tessary.qch" is looked for, in order: the "data"
// folder one level above the application folder, then the one inside it.
QStringList manualCandidates(const QString& applicationFolder);
// The first candidate that exists, or an empty string.
QString findManual(const QString& applicationFolder);

// Opens the manual in a new help window (deleted on close), or says where it
// was looked for when there is none. The application folder defaults to the
// executable's.
void openManual(QWidget* parent, const QString& applicationFolder = QString());

} // namespace Tessary
