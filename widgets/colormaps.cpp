#include "widgets/colormaps.h"

#include <qwt_color_map.h>

#include <vector>
#include <utility>

namespace Tessary {

namespace {

struct ColourMapStops
{
    QColor first;
    QColor last;
    std::vector<std::pair<double, QColor>> stops;
};

const QColor Blue(0, 0, 255);
const QColor Cyan(0, 255, 255);
const QColor Green(0, 255, 0);
const QColor Yellow(255, 255, 0);
const QColor Red(255, 0, 0);

ColourMapStops stopsOf(int index)
{
    switch (index) {
    case 1: // Jet
        return {Blue, Red, {{0.25, Cyan}, {0.5, Green}, {0.75, Yellow}}};
    case 2: // Jet+
        return {QColor(100, 0, 180), Red, {{0.2, Blue}, {0.4, Cyan}, {0.6, Green}, {0.8, Yellow}}};
    case 3: // Plasma
        return {QColor(13, 8, 135), QColor(240, 249, 33),
                {{0.25, QColor(126, 3, 168)}, {0.5, QColor(204, 71, 120)}, {0.75, QColor(248, 149, 64)}}};
    case 4: // QVND
        return {QColor(0, 68, 108), QColor(254, 204, 0),
                {{0.25, QColor(0, 171, 173)}, {0.5, QColor(104, 193, 194)}, {0.75, QColor(166, 215, 213)}}};
    case 5: // Grayscale
        return {QColor(0, 0, 0), QColor(255, 255, 255), {}};
    default: // Viridis
        return {QColor(68, 1, 84), QColor(253, 231, 37),
                {{0.25, QColor(59, 82, 139)}, {0.5, QColor(33, 145, 140)}, {0.75, QColor(94, 201, 98)}}};
    }
}

} // namespace

QwtLinearColorMap* createColorMap(int index)
{
    const ColourMapStops colours = stopsOf(index);
    auto* map = new QwtLinearColorMap(colours.first, colours.last, QwtColorMap::RGB);
    for (const auto& stop : colours.stops)
        map->addColorStop(stop.first, stop.second);
    return map;
}

} // namespace Tessary
