#pragma once

#include "widgets/densityestimation.h"

#include <utility>
#include <vector>

namespace Tessary {

// One point of a contour, (x, y).
using ContourPoint = std::pair<double, double>;
// Points in drawing order; a closed line ends with the point it starts with.
using ContourPolyline = std::vector<ContourPoint>;

// The isolines of the kernel density at the level below which a given
// fraction of the events lie.
struct DensityContour {
    double fraction = 0.0;  // the requested fraction, for example 0.5
    double threshold = 0.0; // the density at which the lines run
    std::vector<ContourPolyline> polylines; // empty when threshold <= 0 or nothing crosses it
};

// Contours of feature values plotted on axes with the given scale modes
// (0 linear, 1 log, 2 pseudo-log): the density is estimated in plot
// coordinates and the lines come back as feature values. One record per
// fraction, in the order given.
std::vector<DensityContour> computeDensityContours(const std::vector<double>& x, const std::vector<double>& y,
                                                   const std::vector<double>& fractions, int xScaleMode,
                                                   int yScaleMode);

// The same in the given coordinates; gridSize < 1 chooses the grid size from
// the data. Points with a non-finite coordinate are left out. Empty unless
// there are at least 4 such points, x and y have the same length and a
// fraction is given.
std::vector<DensityContour> buildDensityContours(const std::vector<double>& x, const std::vector<double>& y,
                                                 const std::vector<double>& fractions, int gridSize);

// The contours of a grid already built, with the grid read at the points
// that built it (interpolateGrid): the second half of buildDensityContours,
// for callers that keep the grid, such as a density colouring of the same points.
std::vector<DensityContour> contoursFromGrid(const DensityGrid& grid, const std::vector<double>& density,
                                             const std::vector<double>& fractions);

// The density that the given fraction of the point densities lie below:
// sorted(d)[min(N-1, floor(N*f))], NaN left out; 0.0 when d holds no number
// or f is outside (0, 1).
double contourLevelForFraction(const std::vector<double>& densities, double fraction);

// Marching squares over the grid's cell centres at the threshold; segments
// joined into polylines.
std::vector<ContourPolyline> traceIsolines(const DensityGrid& grid, double threshold);

} // namespace Tessary
