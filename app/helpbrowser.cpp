#include "app/helpbrowser.h"

#include <QHelpEngine>

namespace Tessary {

HelpBrowser::HelpBrowser(QHelpEngine* engine, QWidget* parent)
    : QTextBrowser(parent)
    , helpEngine(engine)
{
}

HelpBrowser::~HelpBrowser() = default;

QVariant HelpBrowser::loadResource(int type, const QUrl& name)
{
    if (name.scheme() == QLatin1String("qthelp"))
        return QVariant(helpEngine ? helpEngine->fileData(name) : QByteArray());
    return QTextBrowser::loadResource(type, name);
}

} // namespace Tessary
