#include "widgets/densityestimation.h"

#include <armadillo>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>

namespace Tessary {

namespace {

constexpr double kNaN = std::numeric_limits<double>::quiet_NaN();
constexpr double kPi = 3.14159265358979323846;
constexpr int kMinimumPoints = 4;
constexpr int kFallbackBinCount = 32;

// The finite points of an input pair. Refers to the input itself when every
// point is finite, so the common case copies nothing.
class FinitePoints
{
public:
    FinitePoints(const std::vector<double>& x, const std::vector<double>& y)
    {
        const size_t n = std::min(x.size(), y.size());
        size_t firstBad = 0;
        while (firstBad < n && std::isfinite(x[firstBad]) && std::isfinite(y[firstBad]))
            ++firstBad;
        if (firstBad == n) {
            px = x.data();
            py = y.data();
            count = n;
            return;
        }
        indices.reserve(n);
        for (size_t i = 0; i < n; ++i) {
            if (std::isfinite(x[i]) && std::isfinite(y[i]))
                indices.push_back(i);
        }
        fx.resize(indices.size());
        fy.resize(indices.size());
        for (size_t k = 0; k < indices.size(); ++k) {
            fx[k] = x[indices[k]];
            fy[k] = y[indices[k]];
        }
        px = fx.data();
        py = fy.data();
        count = indices.size();
        filtered = true;
    }

    // Writes per-point estimates of the finite points back to their input
    // positions; the other positions of out keep what they hold.
    void scatter(const std::vector<double>& estimates, std::vector<double>& out) const
    {
        if (!filtered) {
            std::copy(estimates.begin(), estimates.end(), out.begin());
            return;
        }
        for (size_t k = 0; k < indices.size(); ++k)
            out[indices[k]] = estimates[k];
    }

    const double* px = nullptr;
    const double* py = nullptr;
    size_t count = 0;

private:
    std::vector<size_t> indices;
    std::vector<double> fx;
    std::vector<double> fy;
    bool filtered = false;
};

struct Extent {
    double minX = 0.0, maxX = 0.0, minY = 0.0, maxY = 0.0;
};

Extent extentOf(const double* x, const double* y, size_t n)
{
    Extent e;
    if (n == 0)
        return e;
    e.minX = e.maxX = x[0];
    e.minY = e.maxY = y[0];
    for (size_t i = 1; i < n; ++i) {
        e.minX = std::min(e.minX, x[i]);
        e.maxX = std::max(e.maxX, x[i]);
        e.minY = std::min(e.minY, y[i]);
        e.maxY = std::max(e.maxY, y[i]);
    }
    return e;
}

// A data range for binning: a range that is not positive (all values equal)
// becomes 1.0.
double binRange(double lo, double hi)
{
    const double r = hi - lo;
    return r > 0.0 ? r : 1.0;
}

// trunc(v) clamped to [0, bins - 1], decided in floating point so that no
// out-of-range or NaN value reaches the integer conversion.
inline int32_t binIndex(double v, int bins)
{
    if (v >= bins)
        return bins - 1;
    if (v > 0.0)
        return static_cast<int32_t>(v);
    return 0;
}

// Counts points into an m x m histogram (row = y bin) with bins of width
// hx, hy starting at (minX, minY). Works in blocks: the bin numbers of a block
// are computed in a loop the compiler can vectorise, then counted.
void countBins(const double* x, const double* y, size_t n, double minX, double minY, double hx,
               double hy, int m, int32_t* counts, int32_t* binOfPoint)
{
    constexpr size_t kBlock = 1024;
    int32_t block[kBlock];
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t len = std::min(kBlock, n - start);
        int32_t* bins = binOfPoint ? binOfPoint + start : block;
        for (size_t k = 0; k < len; ++k) {
            const int32_t i = binIndex((x[start + k] - minX) / hx, m);
            const int32_t j = binIndex((y[start + k] - minY) / hy, m);
            bins[k] = j * m + i;
        }
        for (size_t k = 0; k < len; ++k)
            ++counts[bins[k]];
    }
}

// The candidate bin counts: 20 geometric steps from 32 to 512.
const std::vector<int>& binCountCandidates()
{
    static const std::vector<int> candidates = [] {
        std::vector<int> c;
        for (int k = 0; k < 20; ++k) {
            const int m = static_cast<int>(std::round(std::exp(k * 2.7725888 / 19.0 + 3.4657359)));
            if (c.empty() || c.back() != m)
                c.push_back(m);
        }
        return c;
    }();
    return candidates;
}

int optimalBinCountOf(const double* x, const double* y, size_t n)
{
    if (n < static_cast<size_t>(kMinimumPoints))
        return kFallbackBinCount;
    const Extent e = extentOf(x, y, n);
    const double rx = binRange(e.minX, e.maxX);
    const double ry = binRange(e.minY, e.maxY);
    const std::vector<int>& candidates = binCountCandidates();

    // Every cost can be NaN (a range so small that the cell area underflows):
    // the first candidate then stands rather than a count that is no candidate.
    int best = candidates.front();
    double bestCost = DBL_MAX;
    std::vector<int32_t> counts(static_cast<size_t>(candidates.back()) * candidates.back());
    for (int m : candidates) {
        const double hx = rx / m;
        const double hy = ry / m;
        const size_t bins = static_cast<size_t>(m) * m;
        std::fill(counts.begin(), counts.begin() + bins, 0);
        countBins(x, y, n, e.minX, e.minY, hx, hy, m, counts.data(), nullptr);
        const double mean = static_cast<double>(n) / static_cast<double>(bins);
        double s = 0.0;
        for (size_t b = 0; b < bins; ++b) {
            const double d = counts[b] - mean;
            s += d * d;
        }
        const double area = hx * hy;
        const double cost = (2.0 * mean - s / static_cast<double>(bins)) / (area * area);
        if (cost < bestCost) {
            bestCost = cost;
            best = m;
        }
    }
    return best;
}

// Quantiles of unsorted values by partial selection, equal to sortedQuantile
// of the sorted values. ps must be ascending; v is reordered.
void selectQuantiles(std::vector<double>& v, const double* ps, size_t count, double* out)
{
    const size_t n = v.size();
    if (n == 0) {
        std::fill(out, out + count, 0.0);
        return;
    }
    size_t placed = 0; // v[0, placed) are the smallest values, v[placed - 1] in its sorted place
    for (size_t q = 0; q < count; ++q) {
        const double pos = static_cast<double>(n - 1) * ps[q];
        const double lf = std::floor(pos);
        const size_t l = std::min(n - 1, static_cast<size_t>(std::max(0.0, lf)));
        const double f = pos - lf;
        if (l + 1 > placed) {
            std::nth_element(v.begin() + placed, v.begin() + l, v.end());
            placed = l + 1;
        }
        double upper = v[l];
        if (f > 0.0 && l + 1 < n)
            upper = *std::min_element(v.begin() + l + 1, v.end());
        out[q] = (1.0 - f) * v[l] + f * upper;
    }
}

// Kernel bandwidth of one axis: sigma * n^(-1/6) with sigma the smaller of the
// standard deviation and IQR / 1.34.
double bandwidthOf(const double* v, size_t n)
{
    const double mean = std::accumulate(v, v + n, 0.0) / static_cast<double>(n);
    double ss = 0.0;
    for (size_t i = 0; i < n; ++i)
        ss += (v[i] - mean) * (v[i] - mean);
    const double sd = std::sqrt(ss / static_cast<double>(n));

    std::vector<double> work(v, v + n);
    const double ps[2] = {0.25, 0.75};
    double quartiles[2];
    selectQuantiles(work, ps, 2, quartiles);
    const double iqr = quartiles[1] - quartiles[0];
    const double sigma = iqr > 0.0 ? std::min(iqr / 1.34, sd) : sd;
    const double h = sigma * std::pow(static_cast<double>(n), -1.0 / 6.0);
    return h > 0.0 ? h : 1.0;
}

// Normalised Gaussian weights for k = -r..r at a bandwidth of s cells, cut at
// four bandwidths.
std::vector<double> gaussianKernel(double s)
{
    const int r = std::max(static_cast<int>(std::ceil(4.0 * s)), 1);
    std::vector<double> w(2 * static_cast<size_t>(r) + 1);
    for (int k = -r; k <= r; ++k)
        w[k + r] = std::exp(-0.5 * (k / s) * (k / s));
    const double sum = std::accumulate(w.begin(), w.end(), 0.0);
    for (double& weight : w)
        weight /= sum;
    return w;
}

// Centred convolution of every column of a column-major G x G matrix with w
// (zeros outside), written to out: dst[i] = sum_k w[k + r] * src[i + k].
void convolveColumns(const double* in, double* out, int g, const std::vector<double>& w,
                     const std::vector<char>& columnUsed)
{
    const int r = static_cast<int>(w.size() / 2);
    for (int col = 0; col < g; ++col) {
        double* dst = out + static_cast<size_t>(col) * g;
        std::fill(dst, dst + g, 0.0);
        if (!columnUsed[col])
            continue;
        const double* src = in + static_cast<size_t>(col) * g;
        for (int k = -r; k <= r; ++k) {
            const double wk = w[k + r];
            const int lo = std::max(0, -k);
            const int hi = std::min(g, g - k);
            for (int i = lo; i < hi; ++i)
                dst[i] += wk * src[i + k];
        }
    }
}

// Centred convolution across columns (each output column is a weighted sum of
// whole neighbouring columns), so the inner loop runs over contiguous memory.
void convolveRows(const double* in, double* out, int g, const std::vector<double>& w)
{
    const int r = static_cast<int>(w.size() / 2);
    std::fill(out, out + static_cast<size_t>(g) * g, 0.0);
    for (int col = 0; col < g; ++col) {
        double* dst = out + static_cast<size_t>(col) * g;
        for (int k = -r; k <= r; ++k) {
            const int from = col + k;
            if (from < 0 || from >= g)
                continue;
            const double wk = w[k + r];
            const double* src = in + static_cast<size_t>(from) * g;
            for (int i = 0; i < g; ++i)
                dst[i] += wk * src[i];
        }
    }
}

DensityGrid kdeGridOf(const double* x, const double* y, size_t n, int gridSize)
{
    DensityGrid grid;
    if (n == 0)
        return grid;
    const int g = gridSize >= 1 ? gridSize : optimalBinCountOf(x, y, n);
    const Extent e = extentOf(x, y, n);
    const double hx = bandwidthOf(x, n);
    const double hy = bandwidthOf(y, n);

    grid.gridSize = g;
    grid.x0 = e.minX - 3.0 * hx;
    grid.y0 = e.minY - 3.0 * hy;
    grid.dx = (e.maxX + 3.0 * hx - grid.x0) / g;
    grid.dy = (e.maxY + 3.0 * hy - grid.y0) / g;

    // Column-major with x along the rows of the matrix: element (i, j) sits at
    // i + j * G, which is the row order of DensityGrid::values.
    arma::mat counts(g, g, arma::fill::zeros);
    double* c = counts.memptr();
    std::vector<char> columnUsed(g, 0);
    for (size_t p = 0; p < n; ++p) {
        const int32_t i = binIndex((x[p] - grid.x0) / grid.dx, g);
        const int32_t j = binIndex((y[p] - grid.y0) / grid.dy, g);
        c[static_cast<size_t>(j) * g + i] += 1.0;
        columnUsed[j] = 1;
    }

    const std::vector<double> kx = gaussianKernel(hx / grid.dx);
    const std::vector<double> ky = gaussianKernel(hy / grid.dy);
    arma::mat alongX(g, g);
    convolveColumns(counts.memptr(), alongX.memptr(), g, kx, columnUsed);
    convolveRows(alongX.memptr(), counts.memptr(), g, ky);
    grid.values.assign(counts.begin(), counts.end());
    return grid;
}

void interpolateInto(const DensityGrid& grid, const double* x, const double* y, size_t n, double* out)
{
    const int g = grid.gridSize;
    const double last = g - 1;
    const double* v = grid.values.data();
    for (size_t p = 0; p < n; ++p) {
        if (!std::isfinite(x[p]) || !std::isfinite(y[p])) {
            out[p] = kNaN;
            continue;
        }
        const double fx = (x[p] - grid.x0) / grid.dx - 0.5;
        const double fy = (y[p] - grid.y0) / grid.dy - 0.5;
        const double i0 = std::floor(fx);
        const double j0 = std::floor(fy);
        const double tx = fx - i0;
        const double ty = fy - j0;
        // Clamp in floating point: a point far outside must not overflow the
        // integer conversion, and the weights keep the unclamped fractions.
        const auto clampIndex = [last](double k) {
            return static_cast<size_t>(std::min(std::max(k, 0.0), last));
        };
        const size_t ia = clampIndex(i0), ib = clampIndex(i0 + 1.0);
        const size_t ja = clampIndex(j0) * g, jb = clampIndex(j0 + 1.0) * g;
        out[p] = (1.0 - tx) * (1.0 - ty) * v[ja + ia] + tx * (1.0 - ty) * v[ja + ib]
                 + (1.0 - tx) * ty * v[jb + ia] + tx * ty * v[jb + ib];
    }
}

std::vector<double> histogramDensityOf(const double* x, const double* y, size_t n, int binCount)
{
    std::vector<double> density(n);
    if (n == 0)
        return density;
    const int m = binCount >= 1 ? binCount : optimalBinCountOf(x, y, n);
    const Extent e = extentOf(x, y, n);
    const double hx = binRange(e.minX, e.maxX) / m;
    const double hy = binRange(e.minY, e.maxY) / m;
    std::vector<int32_t> counts(static_cast<size_t>(m) * m, 0);
    std::vector<int32_t> bins(n);
    countBins(x, y, n, e.minX, e.minY, hx, hy, m, counts.data(), bins.data());
    for (size_t p = 0; p < n; ++p)
        density[p] = counts[bins[p]];
    return density;
}

// Exact k-nearest-neighbour search on a coarse grid of cells. Points are
// stored cell by cell, so a cell's points are one contiguous run.
class NeighbourGrid
{
public:
    NeighbourGrid(const double* x, const double* y, size_t n)
        : g(std::max(static_cast<int>(std::sqrt(n / 20.0)), 1))
    {
        const Extent e = extentOf(x, y, n);
        minX = e.minX;
        minY = e.minY;
        cellW = binRange(e.minX, e.maxX) / g;
        cellH = binRange(e.minY, e.maxY) / g;
        // Slack for rounding where a point's cell was decided: the distance
        // bound below must never exceed the true distance.
        slack = 1e-9 * (std::abs(e.minX) + std::abs(e.maxX) + std::abs(e.minY) + std::abs(e.maxY) + cellW
                        + cellH);

        cellOfPoint.resize(n);
        start.assign(static_cast<size_t>(g) * g + 1, 0);
        for (size_t p = 0; p < n; ++p) {
            const int32_t cx = binIndex((x[p] - minX) / cellW, g);
            const int32_t cy = binIndex((y[p] - minY) / cellH, g);
            cellOfPoint[p] = cy * g + cx;
            ++start[cellOfPoint[p] + 1];
        }
        std::partial_sum(start.begin(), start.end(), start.begin());
        sx.resize(n);
        sy.resize(n);
        order.resize(n);
        std::vector<size_t> fill(start.begin(), start.end() - 1);
        for (size_t p = 0; p < n; ++p) {
            const size_t slot = fill[cellOfPoint[p]]++;
            sx[slot] = x[p];
            sy[slot] = y[p];
            order[slot] = p;
        }
    }

    // Density from the k nearest neighbours of the point in storage slot s.
    // dist is scratch space owned by the caller.
    double densityAt(size_t s, size_t k, std::vector<double>& dist) const
    {
        const double px = sx[s], py = sy[s];
        const int32_t cell = cellOfPoint[order[s]];
        const int cx = cell % g, cy = cell / g;
        dist.clear();
        size_t zeros = 0;
        double kth = 0.0;
        bool haveKth = false;
        for (int r = 0; r <= g; ++r) {
            forEachCellOfRing(cx, cy, r, [&](int c) {
                for (size_t q = start[c]; q < start[c + 1]; ++q) {
                    if (q == s)
                        continue;
                    const double ddx = sx[q] - px, ddy = sy[q] - py;
                    const double d2 = ddx * ddx + ddy * ddy;
                    dist.push_back(d2);
                    zeros += d2 == 0.0;
                }
            });
            // k duplicates of the point: nothing can be nearer.
            if (zeros >= k)
                return static_cast<double>(k);
            if (dist.size() >= k) {
                std::nth_element(dist.begin(), dist.begin() + (k - 1), dist.end());
                kth = dist[k - 1];
                haveKth = true;
                dist.resize(k); // only the k smallest can still matter
                // Stop once no point outside the searched block can be nearer
                // than the k-th distance found.
                const double reach = distanceOutsideBlock(px, py, cx, cy, r);
                if (reach * reach >= kth)
                    break;
            }
            if (coversGrid(cx, cy, r))
                break;
        }
        const size_t c = dist.size();
        if (c == 0)
            return 0.0;
        const size_t m = std::min(c, k);
        if (!haveKth) {
            std::nth_element(dist.begin(), dist.begin() + (m - 1), dist.end());
            kth = dist[m - 1];
        }
        return kth > 0.0 ? static_cast<double>(m) / (kPi * kth) : static_cast<double>(m);
    }

    size_t pointAt(size_t s) const { return order[s]; }

private:
    template<typename F>
    void forEachCellOfRing(int cx, int cy, int r, F&& visit) const
    {
        if (r == 0) {
            visit(cy * g + cx);
            return;
        }
        const int x0 = std::max(cx - r, 0), x1 = std::min(cx + r, g - 1);
        for (int row : {cy - r, cy + r}) {
            if (row < 0 || row >= g)
                continue;
            for (int col = x0; col <= x1; ++col)
                visit(row * g + col);
        }
        const int y0 = std::max(cy - r + 1, 0), y1 = std::min(cy + r - 1, g - 1);
        for (int col : {cx - r, cx + r}) {
            if (col < 0 || col >= g)
                continue;
            for (int row = y0; row <= y1; ++row)
                visit(row * g + col);
        }
    }

    bool coversGrid(int cx, int cy, int r) const
    {
        return cx - r <= 0 && cy - r <= 0 && cx + r >= g - 1 && cy + r >= g - 1;
    }

    // A lower bound of the distance from (px, py) to any point outside the
    // block of cells within Chebyshev distance r of (cx, cy); a side at the
    // grid's border has no points beyond it.
    double distanceOutsideBlock(double px, double py, int cx, int cy, int r) const
    {
        double reach = std::numeric_limits<double>::infinity();
        if (cx - r > 0)
            reach = std::min(reach, px - (minX + (cx - r) * cellW));
        if (cx + r < g - 1)
            reach = std::min(reach, minX + (cx + r + 1) * cellW - px);
        if (cy - r > 0)
            reach = std::min(reach, py - (minY + (cy - r) * cellH));
        if (cy + r < g - 1)
            reach = std::min(reach, minY + (cy + r + 1) * cellH - py);
        return std::max(reach - slack, 0.0);
    }

    int g;
    double minX = 0.0, minY = 0.0, cellW = 1.0, cellH = 1.0, slack = 0.0;
    std::vector<int32_t> cellOfPoint; // by input index
    std::vector<size_t> start;        // first storage slot of each cell, plus the end
    std::vector<double> sx, sy;       // coordinates by storage slot
    std::vector<size_t> order;        // input index by storage slot
};

std::vector<double> knnDensityOf(const double* x, const double* y, size_t n)
{
    std::vector<double> density(n, 1.0);
    if (n < 2)
        return density;
    const size_t k = std::max<size_t>(static_cast<size_t>(std::sqrt(static_cast<double>(n))), 1);
    const NeighbourGrid grid(x, y, n);
    std::vector<double> dist;
    dist.reserve(4 * k);
    for (size_t s = 0; s < n; ++s)
        density[grid.pointAt(s)] = grid.densityAt(s, k, dist);
    return density;
}

} // namespace

bool DensityGrid::isEmpty() const
{
    return gridSize < 1 || values.size() != static_cast<size_t>(gridSize) * gridSize
           || !(std::isfinite(dx) && dx > 0.0) || !(std::isfinite(dy) && dy > 0.0)
           || !std::isfinite(x0) || !std::isfinite(y0);
}

std::vector<double> computePointDensity(const std::vector<double>& x, const std::vector<double>& y, int method)
{
    std::vector<double> result(x.size(), kNaN);
    if (x.size() != y.size())
        return result;
    const FinitePoints pts(x, y);
    if (pts.count < static_cast<size_t>(kMinimumPoints))
        return result;
    std::vector<double> estimates;
    switch (method) {
    case KernelDensity: {
        const DensityGrid grid = kdeGridOf(pts.px, pts.py, pts.count, 0);
        estimates.resize(pts.count);
        interpolateInto(grid, pts.px, pts.py, pts.count, estimates.data());
        break;
    }
    case HistogramDensity:
        estimates = histogramDensityOf(pts.px, pts.py, pts.count, 0);
        break;
    case NearestNeighbourDensity:
        estimates = knnDensityOf(pts.px, pts.py, pts.count);
        break;
    default:
        return result;
    }
    pts.scatter(estimates, result);
    return result;
}

int optimalBinCount(const std::vector<double>& x, const std::vector<double>& y)
{
    if (x.size() != y.size())
        return kFallbackBinCount;
    const FinitePoints pts(x, y);
    return optimalBinCountOf(pts.px, pts.py, pts.count);
}

DensityGrid computeKdeGrid(const std::vector<double>& x, const std::vector<double>& y, int gridSize)
{
    if (x.size() != y.size())
        return DensityGrid();
    const FinitePoints pts(x, y);
    return kdeGridOf(pts.px, pts.py, pts.count, gridSize);
}

std::vector<double> interpolateGrid(const DensityGrid& grid, const std::vector<double>& x,
                                    const std::vector<double>& y)
{
    std::vector<double> result(x.size(), kNaN);
    if (grid.isEmpty() || x.size() != y.size())
        return result;
    interpolateInto(grid, x.data(), y.data(), x.size(), result.data());
    return result;
}

std::vector<double> computeHistogramDensity(const std::vector<double>& x, const std::vector<double>& y,
                                            int binCount)
{
    std::vector<double> result(x.size(), kNaN);
    if (x.size() != y.size())
        return result;
    const FinitePoints pts(x, y);
    pts.scatter(histogramDensityOf(pts.px, pts.py, pts.count, binCount), result);
    return result;
}

std::vector<double> computeKnnDensity(const std::vector<double>& x, const std::vector<double>& y)
{
    std::vector<double> result(x.size(), kNaN);
    if (x.size() != y.size())
        return result;
    const FinitePoints pts(x, y);
    pts.scatter(knnDensityOf(pts.px, pts.py, pts.count), result);
    return result;
}

double sortedQuantile(const std::vector<double>& sorted, double p)
{
    const size_t n = sorted.size();
    if (n == 0)
        return 0.0;
    if (std::isnan(p))
        return kNaN;
    // p outside [0, 1] reads the nearest end rather than past it.
    const double pos = static_cast<double>(n - 1) * std::min(std::max(p, 0.0), 1.0);
    const double lf = std::floor(pos);
    const size_t l = std::min(static_cast<size_t>(lf), n - 1);
    const double f = pos - lf;
    return (1.0 - f) * sorted[l] + f * sorted[std::min(n - 1, l + 1)];
}

} // namespace Tessary
