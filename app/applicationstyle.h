#pragma once
// The program's look: a fixed light palette and one style sheet for every
// widget, so the program looks the same whatever the desktop theme is.

#include <QPalette>
#include <QString>

namespace Tessary {

QPalette applicationPalette();
QString applicationStyleSheet();

} // namespace Tessary
