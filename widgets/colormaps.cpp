#include "widgets/colormaps.h"

#include <qwt_color_map.h>

namespace Tessary {

QwtLinearColorMap* createColorMap(int index)
{
    QwtLinearColorMap* map = nullptr;
    switch (index) {
    case 1:
        map = new QwtLinearColorMap(QColor(0, 0, 255), QColor(255, 0, 0), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(0, 255, 255));
        map->addColorStop(0.5, QColor(0, 255, 0));
        map->addColorStop(0.75, QColor(255, 255, 0));
        break;
    case 2:
        map = new QwtLinearColorMap(QColor(100, 0, 180), QColor(255, 0, 0), QwtColorMap::RGB);
        map->addColorStop(0.2, QColor(0, 0, 255));
        map->addColorStop(0.4, QColor(0, 255, 255));
        map->addColorStop(0.6, QColor(0, 255, 0));
        map->addColorStop(0.8, QColor(255, 255, 0));
        break;
    case 3:
        map = new QwtLinearColorMap(QColor(13, 8, 135), QColor(240, 249, 33), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(126, 3, 168));
        map->addColorStop(0.5, QColor(204, 71, 120));
        map->addColorStop(0.75, QColor(248, 149, 64));
        break;
    case 4:
        map = new QwtLinearColorMap(QColor(0, 68, 108), QColor(254, 204, 0), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(0, 171, 173));
        map->addColorStop(0.5, QColor(104, 193, 194));
        map->addColorStop(0.75, QColor(166, 215, 213));
        break;
    case 5:
        map = new QwtLinearColorMap(QColor(0, 0, 0), QColor(255, 255, 255), QwtColorMap::RGB);
        break;
    default:
        map = new QwtLinearColorMap(QColor(68, 1, 84), QColor(253, 231, 37), QwtColorMap::RGB);
        map->addColorStop(0.25, QColor(59, 82, 139));
        map->addColorStop(0.5, QColor(33, 145, 140));
        map->addColorStop(0.75, QColor(94, 201, 98));
        break;
    }
    return map;
}

} // namespace Tessary
