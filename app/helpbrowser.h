#pragma once

#include <QTextBrowser>

class QHelpEngine;

namespace Tessary {

// A text browser that reads "qthelp" pages, images and style sheets from the
// compressed manual through the help engine (not owned).
class HelpBrowser : public QTextBrowser
{
    Q_OBJECT
public:
    HelpBrowser(QHelpEngine* engine, QWidget* parent = nullptr);
    ~HelpBrowser() override;

    // "qthelp" URLs come from the manual only (empty when it lacks the file,
    // never the file system); everything else as QTextBrowser does.
    QVariant loadResource(int type, const QUrl& name) override;

private:
    QHelpEngine* helpEngine = nullptr;
};

} // namespace Tessary
