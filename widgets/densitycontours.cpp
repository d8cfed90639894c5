#include "widgets/densitycontours.h"

#include "rtdc/axistransforms.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <unordered_map>

namespace Tessary {

namespace {

// One piece of an isoline inside one cell, from the crossing on edge keyA to
// the crossing on edge keyB. Edge keys are dense numbers (see EdgeKeys).
struct ContourSegment {
    int32_t keyA;
    int32_t keyB;
    ContourPoint pointA;
    ContourPoint pointB;
};

// Numbers the edges between neighbouring cell centres of a G x G grid.
// Horizontal edge (r, c) joins nodes (c, r) and (c + 1, r); vertical edge
// (r, c) joins nodes (c, r) and (c, r + 1). Two cells sharing an edge get the
// same number, and the crossing point is computed from the number alone, so
// both cells produce the identical point.
class EdgeKeys
{
public:
    EdgeKeys(const DensityGrid& grid, double threshold)
        : grid(grid), g(grid.gridSize), horizontalCount(g * (g - 1)), threshold(threshold)
    {
    }

    int32_t horizontal(int r, int c) const { return r * (g - 1) + c; }
    int32_t vertical(int r, int c) const { return horizontalCount + r * g + c; }

    // Where the isoline crosses the edge, linearly interpolated between the
    // two node values (the midpoint when they are equal within 1e-30).
    ContourPoint crossing(int32_t key) const
    {
        const bool isHorizontal = key < horizontalCount;
        const int32_t local = isHorizontal ? key : key - horizontalCount;
        const int r = isHorizontal ? local / (g - 1) : local / g;
        const int c = isHorizontal ? local % (g - 1) : local % g;
        const double a = grid.value(c, r);
        const double b = isHorizontal ? grid.value(c + 1, r) : grid.value(c, r + 1);
        const double pa = isHorizontal ? centreX(c) : centreY(r);
        const double pb = isHorizontal ? centreX(c + 1) : centreY(r + 1);
        double along;
        if (std::abs(b - a) < 1e-30) {
            along = 0.5 * (pa + pb);
        } else {
            const double s = std::min(std::max((threshold - a) / (b - a), 0.0), 1.0);
            along = pa + (pb - pa) * s;
        }
        return isHorizontal ? ContourPoint(along, centreY(r)) : ContourPoint(centreX(c), along);
    }

private:
    double centreX(int c) const { return grid.x0 + (c + 0.5) * grid.dx; }
    double centreY(int r) const { return grid.y0 + (r + 0.5) * grid.dy; }

    const DensityGrid& grid;
    int g;
    int32_t horizontalCount;
    double threshold;
};

// Edge pairs per case (bit k set when corner k is at or above the level).
// Corners: 0 = (c, r), 1 = (c + 1, r), 2 = (c + 1, r + 1), 3 = (c, r + 1);
// edges: 0 = corners 0-1, 1 = corners 1-2, 2 = corners 3-2, 3 = corners 0-3.
// -1 ends a list. The saddles 5 and 10 are decided separately.
constexpr int8_t kCaseEdges[16][4] = {
    {-1, -1, -1, -1}, {0, 3, -1, -1}, {0, 1, -1, -1}, {3, 1, -1, -1},
    {1, 2, -1, -1},   {-1, -1, -1, -1}, {0, 2, -1, -1}, {3, 2, -1, -1},
    {3, 2, -1, -1},   {0, 2, -1, -1}, {-1, -1, -1, -1}, {1, 2, -1, -1},
    {3, 1, -1, -1},   {0, 1, -1, -1}, {0, 3, -1, -1},   {-1, -1, -1, -1},
};
// Segments that cut off corners 1 and 3, and segments that cut off corners 0 and 2.
constexpr int8_t kCutCorners13[4] = {0, 1, 3, 2};
constexpr int8_t kCutCorners02[4] = {0, 3, 1, 2};

std::vector<ContourSegment> cellSegments(const DensityGrid& grid, double threshold, const EdgeKeys& keys)
{
    std::vector<ContourSegment> segments;
    const int g = grid.gridSize;
    // Which nodes are at or above the level, decided once per node.
    std::vector<uint8_t> high(grid.values.size());
    for (size_t i = 0; i < high.size(); ++i)
        high[i] = grid.values[i] >= threshold;
    for (int r = 0; r + 1 < g; ++r) {
        const uint8_t* below = high.data() + static_cast<size_t>(r) * g;
        const uint8_t* above = below + g;
        for (int c = 0; c + 1 < g; ++c) {
            const int cell = below[c] | below[c + 1] << 1 | above[c + 1] << 2 | above[c] << 3;
            if (cell == 0 || cell == 15)
                continue;
            const double v[4] = {grid.value(c, r), grid.value(c + 1, r), grid.value(c + 1, r + 1),
                                 grid.value(c, r + 1)};
            const int8_t* edges = kCaseEdges[cell];
            if (cell == 5 || cell == 10) {
                // A saddle follows the density at the cell's centre (the mean
                // of the corners): when it reaches the level, the two high
                // corners are joined through the cell and the low ones cut off.
                const bool centreHigh = (v[0] + v[1] + v[2] + v[3]) / 4.0 >= threshold;
                const bool cut13 = (cell == 5) == centreHigh;
                edges = cut13 ? kCutCorners13 : kCutCorners02;
            }
            const int32_t edgeKey[4] = {keys.horizontal(r, c), keys.vertical(r, c + 1),
                                        keys.horizontal(r + 1, c), keys.vertical(r, c)};
            for (int k = 0; k < 4 && edges[k] >= 0; k += 2) {
                const int32_t a = edgeKey[edges[k]];
                const int32_t b = edgeKey[edges[k + 1]];
                segments.push_back({a, b, keys.crossing(a), keys.crossing(b)});
            }
        }
    }
    return segments;
}

// Joins segments that share an edge into polylines. An edge is shared by at
// most two segments (one from each neighbouring cell), so the index holds two
// slots per touched edge, in segment order.
std::vector<ContourPolyline> joinSegments(const std::vector<ContourSegment>& segments)
{
    using Slots = std::array<int32_t, 2>;
    std::unordered_map<int32_t, Slots> index;
    index.reserve(2 * segments.size());
    const auto attach = [&index](int32_t key, int32_t segment) {
        const auto [it, added] = index.try_emplace(key, Slots{segment, -1});
        if (!added)
            it->second[1] = segment;
    };
    for (size_t s = 0; s < segments.size(); ++s) {
        attach(segments[s].keyA, static_cast<int32_t>(s));
        attach(segments[s].keyB, static_cast<int32_t>(s));
    }

    std::vector<char> visited(segments.size(), 0);
    // Follows unvisited segments from an edge, appending the far point of each.
    const auto walk = [&](int32_t key, ContourPolyline& points) {
        for (;;) {
            const Slots& slot = index.find(key)->second;
            int32_t next = -1;
            for (int k = 0; k < 2; ++k) {
                if (slot[k] >= 0 && !visited[slot[k]]) {
                    next = slot[k];
                    break;
                }
            }
            if (next < 0)
                return;
            visited[next] = 1;
            const ContourSegment& seg = segments[next];
            const bool forward = seg.keyA == key;
            points.push_back(forward ? seg.pointB : seg.pointA);
            key = forward ? seg.keyB : seg.keyA;
        }
    };

    std::vector<ContourPolyline> polylines;
    ContourPolyline behind;
    for (size_t s = 0; s < segments.size(); ++s) {
        if (visited[s])
            continue;
        visited[s] = 1;
        ContourPolyline line{segments[s].pointA, segments[s].pointB};
        walk(segments[s].keyB, line);
        behind.clear();
        walk(segments[s].keyA, behind);
        line.insert(line.begin(), behind.rbegin(), behind.rend());
        polylines.push_back(std::move(line));
    }
    return polylines;
}

} // namespace

std::vector<ContourPolyline> traceIsolines(const DensityGrid& grid, double threshold)
{
    if (grid.isEmpty() || grid.gridSize < 2)
        return {};
    const EdgeKeys keys(grid, threshold);
    const std::vector<ContourSegment> segments = cellSegments(grid, threshold, keys);
    if (segments.empty())
        return {};
    return joinSegments(segments);
}

double contourLevelForFraction(const std::vector<double>& densities, double fraction)
{
    if (!(fraction > 0.0 && fraction < 1.0))
        return 0.0;
    const size_t n = static_cast<size_t>(
        std::count_if(densities.begin(), densities.end(), [](double v) { return !std::isnan(v); }));
    if (n == 0)
        return 0.0;
    return selectNthSmallest(densities, std::min(n - 1, static_cast<size_t>(std::floor(n * fraction))));
}

std::vector<DensityContour> buildDensityContours(const std::vector<double>& x, const std::vector<double>& y,
                                                 const std::vector<double>& fractions, int gridSize)
{
    if (x.size() != y.size() || fractions.empty())
        return {};
    // Points with a non-finite coordinate take no part: the grid leaves them
    // out, their interpolated density is NaN, and the levels skip NaN.
    const size_t finite = static_cast<size_t>(std::count_if(x.begin(), x.end(), [&](const double& xi) {
        return std::isfinite(xi) && std::isfinite(y[&xi - x.data()]);
    }));
    if (finite < 4)
        return {};
    const DensityGrid grid = computeKdeGrid(x, y, gridSize);
    if (grid.isEmpty())
        return {};
    return contoursFromGrid(grid, interpolateGrid(grid, x, y), fractions);
}

std::vector<DensityContour> contoursFromGrid(const DensityGrid& grid, const std::vector<double>& density,
                                             const std::vector<double>& fractions)
{
    std::vector<DensityContour> contours;
    contours.reserve(fractions.size());
    for (double f : fractions) {
        DensityContour contour;
        contour.fraction = f;
        contour.threshold = contourLevelForFraction(density, f);
        if (contour.threshold > 0.0)
            contour.polylines = traceIsolines(grid, contour.threshold);
        contours.push_back(std::move(contour));
    }
    return contours;
}

std::vector<DensityContour> computeDensityContours(const std::vector<double>& x, const std::vector<double>& y,
                                                   const std::vector<double>& fractions, int xScaleMode,
                                                   int yScaleMode)
{
    std::vector<DensityContour> contours =
        buildDensityContours(transformAxisValues(x, xScaleMode), transformAxisValues(y, yScaleMode), fractions, 0);
    if (xScaleMode != ScaleLinear || yScaleMode != ScaleLinear) {
        for (DensityContour& contour : contours) {
            for (ContourPolyline& line : contour.polylines) {
                for (ContourPoint& p : line)
                    inverseTransformAxisRange(p.first, p.second, xScaleMode, yScaleMode);
            }
        }
    }
    return contours;
}

} // namespace Tessary
