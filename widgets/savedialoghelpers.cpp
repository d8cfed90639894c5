#include "widgets/savedialoghelpers.h"

#include <QAction>
#include <QMainWindow>
#include <QMenu>
#include <QMenuBar>
#include <QRegularExpression>
#include <QStringList>

namespace Tessary {

QString ensureFilterSuffix(const QString& fileName, const QString& selectedFilter)
{
    if (fileName.isEmpty())
        return fileName;

    static const QRegularExpression pattern(QStringLiteral("\\*\\.([A-Za-z0-9.]+)"));

    QStringList suffixes;
    auto it = pattern.globalMatch(selectedFilter);
    while (it.hasNext()) {
        QString suffix = QLatin1Char('.') + it.next().captured(1).toLower();
        while (suffix.endsWith(QLatin1Char('.')))
            suffix.chop(1);
        if (suffix.size() > 1 && !suffixes.contains(suffix))
            suffixes.append(suffix);
    }
    if (suffixes.isEmpty())
        return fileName;

    const QString lowered = fileName.toLower();
    for (const QString& suffix : suffixes) {
        if (lowered.endsWith(suffix))
            return fileName;
    }
    return fileName + suffixes.first();
}

QAction* addKeepOnTopAction(QMainWindow* window)
{
    if (!window)
        return nullptr;

    QMenuBar* bar = window->menuBar();
    QMenu* viewMenu = nullptr;
    for (QAction* action : bar->actions()) {
        QMenu* menu = action->menu();
        if (!menu)
            continue;
        QString title = menu->title();
        title.remove(QLatin1Char('&'));
        if (title.compare(QLatin1String("View"), Qt::CaseInsensitive) == 0) {
            viewMenu = menu;
            break;
        }
    }
    if (!viewMenu)
        viewMenu = bar->addMenu(QObject::tr("&View"));

    auto* action = new QAction(QObject::tr("Keep on &Top"), window);
    action->setCheckable(true);
    action->setChecked(false);
    action->setToolTip(QObject::tr("Keep this window above the main window."));
    viewMenu->addAction(action);

    QObject::connect(action, &QAction::toggled, window, [window](bool onTop) {
        // Changing a window flag hides the window; remember where it was so the
        // user sees no jump when it comes back.
        const QPoint position = window->pos();
        const QSize size = window->size();
        window->setWindowFlag(Qt::WindowStaysOnTopHint, onTop);
        window->show();
        window->resize(size);
        window->move(position);
    });
    return action;
}

} // namespace Tessary
