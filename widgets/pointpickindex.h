#pragma once

#include <QPointF>

#include <cstdint>
#include <vector>

class QwtScaleMap;

namespace Tessary {

// Finds the point nearest to a pixel position in the plot's normalised metric
// (pixel distances divided by the spans of the two scales), within a radius of 0.05.
// The points are bucketed on a grid of radius-sized cells in that metric, rebuilt
// only when the data or the scale maps change, so a pick looks at a few cells
// instead of every point.
class PointPickIndex
{
public:
    // Forget the grid; call it when the points change.
    void invalidate();

    // The index of the nearest point (lowest index on ties) or -1. A scale whose pixel
    // span is zero picks nothing.
    int pick(const std::vector<double>& x, const std::vector<double>& y, const QwtScaleMap& xMap,
             const QwtScaleMap& yMap, const QPointF& pixel);

    static constexpr double Radius = 0.05;

private:
    void build(const std::vector<double>& x, const std::vector<double>& y, const QwtScaleMap& xMap,
               const QwtScaleMap& yMap);
    bool cellOf(double u, double v, int& cx, int& cy) const;

    bool valid = false;
    double mapKey[10] = {};
    const double* dataKey = nullptr;
    std::size_t sizeKey = 0;
    std::vector<std::uint32_t> cellStart;   // cells + 1 offsets into order
    std::vector<std::uint32_t> order;       // point indices, ascending within a cell
};

} // namespace Tessary
