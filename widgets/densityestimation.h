#pragma once

#include <cstddef>
#include <vector>

namespace Tessary {

// Point-density estimates for colouring scatter plots and tracing contours.
// Every function works on the coordinates it is given (callers pass plot
// coordinates) and ignores points whose x or y is NaN or infinite; such points
// get NaN wherever a per-point result is returned. Plain computation, no Qt,
// safe to call from any thread.

// Methods of computePointDensity.
enum DensityMethod : int {
    KernelDensity = 0,
    HistogramDensity = 1,
    NearestNeighbourDensity = 2,
};

// A kernel density estimate on a square grid of G x G cells. Row j is y bin j,
// column i is x bin i: the value of cell (i, j) is values[j * G + i]. Cell
// (i, j) covers [x0 + i*dx, x0 + (i+1)*dx) x [y0 + j*dy, y0 + (j+1)*dy).
// Values are smoothed event counts per cell (unnormalised). No values means
// no estimate.
struct DensityGrid {
    std::vector<double> values;
    int gridSize = 0;
    double x0 = 0.0;
    double y0 = 0.0;
    double dx = 1.0;
    double dy = 1.0;

    // True when the grid holds no usable estimate (no values, or a size or
    // cell width that cannot be read).
    bool isEmpty() const;
    double value(int i, int j) const { return values[static_cast<std::size_t>(j) * gridSize + i]; }
};

// One density per input point (x and y of the same length, else all NaN).
// method: 0 kernel estimate, 1 histogram, 2 nearest neighbours; any other
// method, or fewer than 4 finite points, gives all NaN.
std::vector<double> computePointDensity(const std::vector<double>& x, const std::vector<double>& y,
                                        int method);

// The bin count (one of 20 geometric steps from 32 to 512) that minimises a
// two-dimensional histogram cost; 32 for fewer than 4 finite points.
int optimalBinCount(const std::vector<double>& x, const std::vector<double>& y);

// Gaussian kernel estimate binned on a grid; gridSize < 1 asks for
// optimalBinCount. No finite point gives an empty grid.
DensityGrid computeKdeGrid(const std::vector<double>& x, const std::vector<double>& y, int gridSize);

// The grid read bilinearly between cell centres at each point; points beyond
// the outermost centres take the edge values. An empty grid or a non-finite
// point gives NaN.
std::vector<double> interpolateGrid(const DensityGrid& grid, const std::vector<double>& x,
                                    const std::vector<double>& y);

// The count of each point's bin in a binCount x binCount histogram over the
// data range; binCount < 1 asks for optimalBinCount.
std::vector<double> computeHistogramDensity(const std::vector<double>& x, const std::vector<double>& y,
                                            int binCount);

// Neighbours per unit area from the exact k nearest neighbours, k = trunc(sqrt(n)).
std::vector<double> computeKnnDensity(const std::vector<double>& x, const std::vector<double>& y);

// The quantile p of an ascending vector with linear interpolation; 0.0 when
// the vector is empty.
double sortedQuantile(const std::vector<double>& sorted, double p);

// The value that an ascending sort of the numbers in values (NaN left out)
// puts at position rank, found without sorting; a rank past the end reads the
// largest. NaN when values hold no number.
double selectNthSmallest(const std::vector<double>& values, std::size_t rank);

} // namespace Tessary
