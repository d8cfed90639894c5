#include "widgets/pointpickindex.h"

#include <qwt_scale_map.h>

#include <cmath>
#include <limits>
#include <typeinfo>

namespace Tessary {

namespace {

// The grid spans this much beyond the scales on every side (in units of the span), so
// the canvas margins around the scales are covered; other positions scan all points.
constexpr double Margin = 0.5;
constexpr int Cells = int((1.0 + 2 * Margin) / PointPickIndex::Radius + 0.5);

double normalised(const QwtScaleMap& map, double value)
{
    const double span = std::fabs(map.p2() - map.p1());
    return (map.transform(value) - std::min(map.p1(), map.p2())) / span;
}

void fillKey(double* key, const QwtScaleMap& xMap, const QwtScaleMap& yMap)
{
    const QwtTransform* tx = xMap.transformation();
    const QwtTransform* ty = yMap.transformation();
    const double values[10] = {xMap.s1(), xMap.s2(), xMap.p1(), xMap.p2(), yMap.s1(), yMap.s2(), yMap.p1(),
                               yMap.p2(), double(tx ? typeid(*tx).hash_code() % 1000003 : 0),
                               double(ty ? typeid(*ty).hash_code() % 1000003 : 0)};
    std::copy(values, values + 10, key);
}

} // namespace

void PointPickIndex::invalidate()
{
    valid = false;
}

bool PointPickIndex::cellOf(double u, double v, int& cx, int& cy) const
{
    const double fx = (u + Margin) / Radius;
    const double fy = (v + Margin) / Radius;
    if (!(fx >= 0.0 && fx < Cells && fy >= 0.0 && fy < Cells))
        return false;
    cx = int(fx);
    cy = int(fy);
    return true;
}

void PointPickIndex::build(const std::vector<double>& x, const std::vector<double>& y, const QwtScaleMap& xMap,
                           const QwtScaleMap& yMap)
{
    const std::size_t n = std::min(x.size(), y.size());
    std::vector<std::int32_t> cell(n, -1);
    cellStart.assign(std::size_t(Cells) * Cells + 1, 0);
    for (std::size_t i = 0; i < n; ++i) {
        int cx = 0;
        int cy = 0;
        if (cellOf(normalised(xMap, x[i]), normalised(yMap, y[i]), cx, cy)) {
            cell[i] = cy * Cells + cx;
            ++cellStart[std::size_t(cell[i]) + 1];
        }
    }
    for (std::size_t c = 1; c < cellStart.size(); ++c)
        cellStart[c] += cellStart[c - 1];
    order.assign(cellStart.back(), 0);
    std::vector<std::uint32_t> fill(cellStart.begin(), cellStart.end() - 1);
    for (std::size_t i = 0; i < n; ++i)
        if (cell[i] >= 0)
            order[fill[std::size_t(cell[i])]++] = std::uint32_t(i);
}

int PointPickIndex::pick(const std::vector<double>& x, const std::vector<double>& y, const QwtScaleMap& xMap,
                         const QwtScaleMap& yMap, const QPointF& pixel)
{
    const std::size_t n = std::min(x.size(), y.size());
    const double sx = std::fabs(xMap.p2() - xMap.p1());
    const double sy = std::fabs(yMap.p2() - yMap.p1());
    if (n == 0 || sx == 0.0 || sy == 0.0)
        return -1;

    double key[10];
    fillKey(key, xMap, yMap);
    if (!valid || !std::equal(key, key + 10, mapKey) || dataKey != x.data() || sizeKey != n) {
        build(x, y, xMap, yMap);
        std::copy(key, key + 10, mapKey);
        dataKey = x.data();
        sizeKey = n;
        valid = true;
    }

    double best = std::numeric_limits<double>::infinity();
    std::size_t bestIndex = n;
    auto consider = [&](std::size_t i) {
        const double dx = (xMap.transform(x[i]) - pixel.x()) / sx;
        const double dy = (yMap.transform(y[i]) - pixel.y()) / sy;
        const double d2 = dx * dx + dy * dy;
        if (d2 < best || (d2 == best && i < bestIndex)) {
            best = d2;
            bestIndex = i;
        }
    };

    const double u = (pixel.x() - std::min(xMap.p1(), xMap.p2())) / sx;
    const double v = (pixel.y() - std::min(yMap.p1(), yMap.p2())) / sy;
    int cx = 0;
    int cy = 0;
    if (cellOf(u, v, cx, cy) && cx > 0 && cy > 0 && cx < Cells - 1 && cy < Cells - 1) {
        for (int gy = cy - 1; gy <= cy + 1; ++gy)
            for (int gx = cx - 1; gx <= cx + 1; ++gx) {
                const std::size_t c = std::size_t(gy) * Cells + gx;
                for (std::uint32_t k = cellStart[c]; k < cellStart[c + 1]; ++k)
                    consider(order[k]);
            }
    } else {
        for (std::size_t i = 0; i < n; ++i)
            consider(i);
    }
    return (bestIndex < n && best < Radius * Radius) ? int(bestIndex) : -1;
}

} // namespace Tessary
