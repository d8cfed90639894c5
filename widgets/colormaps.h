#pragma once

class QwtLinearColorMap;

namespace Tessary {

// The six colour maps of the plots, by the index stored in "settings/colorMapIndex":
// 0 Viridis, 1 Jet, 2 Jet+, 3 Plasma, 4 QVND, 5 Grayscale; other indices give Viridis.
// The caller owns the map (and usually hands it to a curve or a scale widget).
QwtLinearColorMap* createColorMap(int index);

} // namespace Tessary
