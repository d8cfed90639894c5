#pragma once

#include <QString>

class QAction;
class QMainWindow;

namespace Tessary {

// Completes a file name from a save dialog with the suffix of the filter the
// user picked ("PNG Image (*.png)" turns "plot" into "plot.png"). A name that
// already ends with one of the filter's suffixes (any case), an empty name and
// a filter without a concrete pattern leave the name unchanged. No file access.
QString ensureFilterSuffix(const QString& fileName, const QString& selectedFilter);

// Adds a checkable "Keep on &Top" action to the window's "&View" menu (creating
// the menu when the menu bar has none) that keeps the window above the others
// without moving or resizing it. The action is a child of the window. Returns
// nullptr when window is null.
QAction* addKeepOnTopAction(QMainWindow* window);

} // namespace Tessary
