#include "widgets/densityestimation.h"

#include <armadillo>

#include <algorithm>
#include <atomic>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <limits>
#include <numeric>
#include <system_error>
#include <thread>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#define TESSARY_DENSITY_SSE2 1
#endif

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
// out-of-range or NaN value (NaN gives 0) reaches the integer conversion.
// Written without branches so that loops over it vectorise.
inline int32_t binIndex(double v, int bins)
{
    return static_cast<int32_t>(std::min(std::max(0.0, v), static_cast<double>(bins - 1)));
}

// Bin numbers j * m + i of len points for bins of width hx, hy from (minX,
// minY), as binIndex gives them. The bin-count rule runs this over every point
// twenty times and the divisions dominate, so on x86-64 two points share each
// division instruction.
void binNumbers(const double* x, const double* y, size_t len, double minX, double minY, double hx, double hy,
                int m, int32_t* out)
{
    size_t k = 0;
#ifdef TESSARY_DENSITY_SSE2
    const __m128d lowX = _mm_set1_pd(minX), lowY = _mm_set1_pd(minY);
    const __m128d widthX = _mm_set1_pd(hx), widthY = _mm_set1_pd(hy);
    const __m128d zero = _mm_setzero_pd(), top = _mm_set1_pd(m - 1);
    for (; k + 2 <= len; k += 2) {
        // max(q, 0) yields 0 for NaN, as binIndex does.
        const __m128d qx = _mm_div_pd(_mm_sub_pd(_mm_loadu_pd(x + k), lowX), widthX);
        const __m128d qy = _mm_div_pd(_mm_sub_pd(_mm_loadu_pd(y + k), lowY), widthY);
        const __m128i ix = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(qx, zero), top));
        const __m128i iy = _mm_cvttpd_epi32(_mm_min_pd(_mm_max_pd(qy, zero), top));
        out[k] = _mm_cvtsi128_si32(iy) * m + _mm_cvtsi128_si32(ix);
        out[k + 1] = _mm_cvtsi128_si32(_mm_srli_si128(iy, 4)) * m + _mm_cvtsi128_si32(_mm_srli_si128(ix, 4));
    }
#endif
    for (; k < len; ++k)
        out[k] = binIndex((y[k] - minY) / hy, m) * m + binIndex((x[k] - minX) / hx, m);
}

// Counts points into an m x m histogram (row = y bin) with bins of width
// hx, hy starting at (minX, minY), block by block; binOfPoint, when given,
// receives every point's bin number.
void countBins(const double* x, const double* y, size_t n, double minX, double minY, double hx,
               double hy, int m, int32_t* counts, int32_t* binOfPoint)
{
    constexpr size_t kBlock = 1024;
    int32_t block[kBlock];
    for (size_t start = 0; start < n; start += kBlock) {
        const size_t len = std::min(kBlock, n - start);
        int32_t* bins = binOfPoint ? binOfPoint + start : block;
        binNumbers(x + start, y + start, len, minX, minY, hx, hy, m, bins);
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

// Calls work(i) for i in [0, count) on up to eight threads (the calling one
// among them), handing out indices one at a time; jobs of fewer than
// minimumPerThread items per thread stay on the calling thread. work must not
// throw.
template<typename Work>
void parallelFor(size_t count, size_t minimumPerThread, Work&& work)
{
    const size_t hardware = std::max(std::thread::hardware_concurrency(), 1u);
    const size_t threads = std::min({hardware, size_t(8), count / std::max<size_t>(minimumPerThread, 1)});
    if (threads <= 1) {
        for (size_t i = 0; i < count; ++i)
            work(i);
        return;
    }
    std::atomic<size_t> next{0};
    const auto run = [&] {
        for (size_t i = next++; i < count; i = next++)
            work(i);
    };
    std::vector<std::thread> pool;
    pool.reserve(threads - 1);
    try {
        for (size_t t = 1; t < threads; ++t)
            pool.emplace_back(run);
    } catch (const std::system_error&) {
        // No more threads to be had: the ones running and this one share the work.
    }
    run();
    for (std::thread& thread : pool)
        thread.join();
}

int optimalBinCountOf(const double* x, const double* y, size_t n)
{
    if (n < static_cast<size_t>(kMinimumPoints))
        return kFallbackBinCount;
    const Extent e = extentOf(x, y, n);
    const double rx = binRange(e.minX, e.maxX);
    const double ry = binRange(e.minY, e.maxY);
    const std::vector<int>& candidates = binCountCandidates();

    // The histograms are independent: large inputs count them in parallel.
    std::vector<double> costs(candidates.size());
    parallelFor(candidates.size(), n >= 200000 ? 1 : candidates.size() + 1, [&](size_t c) {
        const int m = candidates[c];
        const double hx = rx / m;
        const double hy = ry / m;
        const size_t bins = static_cast<size_t>(m) * m;
        std::vector<int32_t> counts(bins, 0);
        countBins(x, y, n, e.minX, e.minY, hx, hy, m, counts.data(), nullptr);
        const double mean = static_cast<double>(n) / static_cast<double>(bins);
        double s = 0.0;
        for (size_t b = 0; b < bins; ++b) {
            const double d = counts[b] - mean;
            s += d * d;
        }
        const double area = hx * hy;
        costs[c] = (2.0 * mean - s / static_cast<double>(bins)) / (area * area);
    });

    // Every cost can be NaN or infinite (a range so small that the cell area
    // underflows): the first candidate then stands rather than a count that
    // is no candidate. On equal costs the smaller count stays.
    int best = candidates.front();
    double bestCost = DBL_MAX;
    for (size_t c = 0; c < candidates.size(); ++c) {
        if (costs[c] < bestCost) {
            bestCost = costs[c];
            best = candidates[c];
        }
    }
    return best;
}

// Order statistics of v at the given ascending ranks (the values a full
// ascending sort puts there), NaN left out. The values are first counted into
// buckets over their range; since the bucket number rises with the value, a
// rank lies in a known bucket, and only the few buckets holding wanted ranks
// are gathered and searched with nth_element. low, high and numbers are the
// smallest and largest number in v and how many numbers it holds.
void selectOrderStatisticsIn(const double* v, size_t n, double low, double high, size_t numbers,
                             const size_t* ranks, size_t count, double* out)
{
    if (numbers == 0) {
        std::fill(out, out + count, kNaN);
        return;
    }
    constexpr int kBuckets = 4096;
    const double scale = kBuckets / (high - low);
    if (!(std::isfinite(scale) && scale > 0.0)) {
        // One value throughout, or a range beyond double: select directly.
        std::vector<double> work;
        work.reserve(numbers);
        for (size_t q = 0; q < n; ++q) {
            if (!std::isnan(v[q]))
                work.push_back(v[q]);
        }
        for (size_t q = 0; q < count; ++q) {
            const size_t r = std::min(ranks[q], numbers - 1);
            std::nth_element(work.begin(), work.begin() + r, work.end());
            out[q] = work[r];
        }
        return;
    }

    // Bucket number of every value (NaN: one past the last bucket), then the
    // count of values in the buckets below each bucket.
    std::vector<uint16_t> bucket(n);
    for (size_t q = 0; q < n; ++q)
        bucket[q] = v[q] == v[q] ? static_cast<uint16_t>(binIndex((v[q] - low) * scale, kBuckets)) : kBuckets;
    std::vector<size_t> before(kBuckets + 2, 0);
    for (size_t q = 0; q < n; ++q)
        ++before[bucket[q] + 1];
    std::partial_sum(before.begin(), before.end(), before.begin());

    std::vector<int> slotOfBucket(kBuckets + 1, -1);
    std::vector<int> bucketOfRank(count);
    std::vector<std::vector<double>> gathered;
    for (size_t q = 0; q < count; ++q) {
        const size_t r = std::min(ranks[q], numbers - 1);
        const int b = static_cast<int>(std::upper_bound(before.begin(), before.begin() + kBuckets + 1, r)
                                       - before.begin())
                      - 1;
        bucketOfRank[q] = b;
        if (slotOfBucket[b] < 0) {
            slotOfBucket[b] = static_cast<int>(gathered.size());
            gathered.emplace_back();
            gathered.back().reserve(before[b + 1] - before[b]);
        }
    }
    for (size_t q = 0; q < n; ++q) {
        const int slot = slotOfBucket[bucket[q]];
        if (slot >= 0)
            gathered[slot].push_back(v[q]);
    }
    for (size_t q = 0; q < count; ++q) {
        const int b = bucketOfRank[q];
        std::vector<double>& values = gathered[slotOfBucket[b]];
        const size_t local = std::min(ranks[q], numbers - 1) - before[b];
        std::nth_element(values.begin(), values.begin() + local, values.end());
        out[q] = values[local];
    }
}

// The same when nothing is known about v.
void selectOrderStatistics(const double* v, size_t n, const size_t* ranks, size_t count, double* out)
{
    // min and max skip NaN by themselves (every comparison with NaN is false).
    double low = std::numeric_limits<double>::infinity();
    double high = -low;
    size_t numbers = 0;
    for (size_t p = 0; p < n; ++p) {
        low = std::min(low, v[p]);
        high = std::max(high, v[p]);
        numbers += v[p] == v[p];
    }
    selectOrderStatisticsIn(v, n, low, high, numbers, ranks, count, out);
}

// Sum of n values in four running parts, so the additions overlap.
double sumOf(const double* v, size_t n, double shift, bool squared)
{
    double part[4] = {0.0, 0.0, 0.0, 0.0};
    size_t p = 0;
    for (; p + 4 <= n; p += 4) {
        for (int k = 0; k < 4; ++k) {
            const double d = v[p + k] - shift;
            part[k] += squared ? d * d : d;
        }
    }
    for (; p < n; ++p) {
        const double d = v[p] - shift;
        part[0] += squared ? d * d : d;
    }
    return (part[0] + part[1]) + (part[2] + part[3]);
}

// Kernel bandwidth of one axis (finite values from low to high): sigma * n^(-1/6) with sigma the smaller of the
// standard deviation and IQR / 1.34.
double bandwidthOf(const double* v, size_t n, double low, double high)
{
    const double mean = sumOf(v, n, 0.0, false) / static_cast<double>(n);
    const double sd = std::sqrt(sumOf(v, n, mean, true) / static_cast<double>(n));

    // The quartiles as sortedQuantile reads them from the sorted values.
    size_t ranks[4];
    double weights[2];
    for (int q = 0; q < 2; ++q) {
        const double pos = static_cast<double>(n - 1) * (q == 0 ? 0.25 : 0.75);
        const double l = std::floor(pos);
        ranks[2 * q] = static_cast<size_t>(l);
        ranks[2 * q + 1] = std::min(n - 1, static_cast<size_t>(l) + 1);
        weights[q] = pos - l;
    }
    double values[4];
    selectOrderStatisticsIn(v, n, low, high, n, ranks, 4, values);
    const double q1 = (1.0 - weights[0]) * values[0] + weights[0] * values[1];
    const double q3 = (1.0 - weights[1]) * values[2] + weights[1] * values[3];
    const double iqr = q3 - q1;
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

// The occupied stretch [first, last] of each line of a grid; first > last
// marks an empty line.
struct Span {
    int first = std::numeric_limits<int>::max();
    int last = -1;
    bool isEmpty() const { return first > last; }
    void include(int i)
    {
        first = std::min(first, i);
        last = std::max(last, i);
    }
};

// Centred convolution of every line (G contiguous values) of a G x G matrix
// with w, zeros outside: dst[i] = sum_k w[k + r] * src[i + k]. Only the
// occupied stretch of each line is read. Returns the stretch of columns any
// output line occupies.
Span convolveLines(const double* in, double* out, int g, const std::vector<double>& w,
                   const std::vector<Span>& occupied)
{
    const int r = static_cast<int>(w.size() / 2);
    Span reach;
    for (int line = 0; line < g; ++line) {
        double* dst = out + static_cast<size_t>(line) * g;
        std::fill(dst, dst + g, 0.0);
        const Span& span = occupied[line];
        if (span.isEmpty())
            continue;
        reach.include(std::max(span.first - r, 0));
        reach.include(std::min(span.last + r, g - 1));
        const double* src = in + static_cast<size_t>(line) * g;
        for (int k = -r; k <= r; ++k) {
            const double wk = w[k + r];
            const int lo = std::max(0, span.first - k);
            const int hi = std::min(g - 1, span.last - k);
            for (int i = lo; i <= hi; ++i)
                dst[i] += wk * src[i + k];
        }
    }
    return reach;
}

// Centred convolution across lines: each output line is the weighted sum of
// whole neighbouring lines, so the inner loop runs over contiguous memory
// (restricted to the columns that hold anything).
void convolveAcrossLines(const double* in, double* out, int g, const std::vector<double>& w,
                         const std::vector<Span>& occupied, Span columns)
{
    const int r = static_cast<int>(w.size() / 2);
    std::fill(out, out + static_cast<size_t>(g) * g, 0.0);
    if (columns.isEmpty())
        return;
    for (int line = 0; line < g; ++line) {
        double* dst = out + static_cast<size_t>(line) * g;
        for (int k = -r; k <= r; ++k) {
            const int from = line + k;
            if (from < 0 || from >= g || occupied[from].isEmpty())
                continue;
            const double wk = w[k + r];
            const double* src = in + static_cast<size_t>(from) * g;
            for (int i = columns.first; i <= columns.last; ++i)
                dst[i] += wk * src[i];
        }
    }
}

// The width of one of g cells from x0 to hi + 3h. Values so large that the
// bandwidth vanishes against them leave no room between x0 and the upper end
// (both round to the data); the cells then span the extent the bandwidth
// gives. 0 when not even that is a finite width (the values overflow it).
double cellWidth(double lo, double hi, double h, double x0, int g)
{
    const double dx = (hi + 3.0 * h - x0) / g;
    if (dx > 0.0 && std::isfinite(dx))
        return dx;
    const double nominal = ((hi - lo) + 6.0 * h) / g;
    return nominal > 0.0 && std::isfinite(nominal) ? nominal : 0.0;
}

DensityGrid kdeGridOf(const double* x, const double* y, size_t n, int gridSize)
{
    DensityGrid grid;
    if (n == 0)
        return grid;
    const int g = gridSize >= 1 ? gridSize : optimalBinCountOf(x, y, n);
    const Extent e = extentOf(x, y, n);
    const double hx = bandwidthOf(x, n, e.minX, e.maxX);
    const double hy = bandwidthOf(y, n, e.minY, e.maxY);

    grid.gridSize = g;
    grid.x0 = e.minX - 3.0 * hx;
    grid.y0 = e.minY - 3.0 * hy;
    grid.dx = cellWidth(e.minX, e.maxX, hx, grid.x0, g);
    grid.dy = cellWidth(e.minY, e.maxY, hy, grid.y0, g);
    // Without finite cells there is no estimate (and the kernel radius below
    // would be no number).
    if (!(grid.dx > 0.0) || !(grid.dy > 0.0) || !std::isfinite(grid.x0) || !std::isfinite(grid.y0))
        return grid;

    // Column-major with x along the rows of the matrix: element (i, j) sits at
    // i + j * G, which is the row order of DensityGrid::values. So a "line"
    // below is one y bin.
    std::vector<int32_t> binned(static_cast<size_t>(g) * g, 0);
    countBins(x, y, n, grid.x0, grid.y0, grid.dx, grid.dy, g, binned.data(), nullptr);
    arma::mat counts(g, g);
    double* c = counts.memptr();
    std::vector<Span> occupied(g);
    for (int j = 0; j < g; ++j) {
        for (int i = 0; i < g; ++i) {
            const int32_t count = binned[static_cast<size_t>(j) * g + i];
            c[static_cast<size_t>(j) * g + i] = count;
            if (count > 0)
                occupied[j].include(i);
        }
    }

    // Separable smoothing: along x within each y bin, then along y.
    arma::mat alongX(g, g);
    const Span columns = convolveLines(counts.memptr(), alongX.memptr(), g, gaussianKernel(hx / grid.dx), occupied);
    convolveAcrossLines(alongX.memptr(), counts.memptr(), g, gaussianKernel(hy / grid.dy), occupied, columns);
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

// Exact k-nearest-neighbour search on a grid of square cells, about 20
// points per cell on average. Square cells keep the search rings round in the
// metric of the coordinates even when one axis spans a thousand times the
// other (area against deformation). Points are stored cell by cell, so the
// points of a cell are one contiguous run.
class NeighbourGrid
{
public:
    NeighbourGrid(const double* x, const double* y, size_t n)
    {
        const Extent e = extentOf(x, y, n);
        minX = e.minX;
        minY = e.minY;
        const double spanX = e.maxX - e.minX, spanY = e.maxY - e.minY;
        const double target = std::max(std::floor(std::sqrt(n / 20.0)), 1.0);
        const double cells = target * target;
        // Square cells over the data's box; a box flatter than one cell is
        // cut along its long side only.
        side = std::sqrt(spanX / cells) * std::sqrt(spanY);
        if (!(side > 0.0) || side > spanY || side > spanX)
            side = std::max(spanX, spanY) / cells;
        if (!(std::isfinite(side) && side > 0.0))
            side = 1.0; // all points equal, or a span beyond double: one cell
        const auto cellsAlong = [&](double span) {
            return static_cast<int>(std::min(std::max(std::ceil(span / side), 1.0), cells + 1.0));
        };
        nx = cellsAlong(spanX);
        ny = cellsAlong(spanY);
        // Slack for rounding where a point's cell was decided: the distance
        // bound below must never exceed the true distance.
        slack = 1e-9 * (std::abs(e.minX) + std::abs(e.maxX) + std::abs(e.minY) + std::abs(e.maxY) + side);

        std::vector<int32_t> cellOf(n);
        start.assign(static_cast<size_t>(nx) * ny + 1, 0);
        for (size_t p = 0; p < n; ++p) {
            const int32_t cx = binIndex((x[p] - minX) / side, nx);
            const int32_t cy = binIndex((y[p] - minY) / side, ny);
            cellOf[p] = cy * nx + cx;
            ++start[cellOf[p] + 1];
        }
        std::partial_sum(start.begin(), start.end(), start.begin());
        sx.resize(n);
        sy.resize(n);
        order.resize(n);
        cellOfSlot.resize(n);
        std::vector<size_t> fill(start.begin(), start.end() - 1);
        for (size_t p = 0; p < n; ++p) {
            const size_t slot = fill[cellOf[p]]++;
            sx[slot] = x[p];
            sy[slot] = y[p];
            order[slot] = p;
            cellOfSlot[slot] = cellOf[p];
        }
    }

    // Density from the k nearest neighbours of the point in storage slot s:
    // m / (pi d^2) with d the distance of the m-th nearest, m = min(k, others).
    // Rings of cells are searched while a point outside them could still be
    // nearer than the k-th found. dist is scratch space owned by the caller.
    double densityAt(size_t s, size_t k, std::vector<double>& dist) const
    {
        const double px = sx[s], py = sy[s];
        const int cx = cellOfSlot[s] % nx, cy = cellOfSlot[s] / nx;
        dist.clear();
        size_t zeros = 0;
        double kth = 0.0;
        bool haveKth = false;
        for (int r = 0;; ++r) {
            forEachCellOfRing(cx, cy, r, [&](int c) {
                for (size_t q = start[c]; q < start[c + 1]; ++q) {
                    const double ddx = sx[q] - px, ddy = sy[q] - py;
                    const double d2 = ddx * ddx + ddy * ddy;
                    dist.push_back(d2);
                    zeros += d2 == 0.0;
                }
            });
            if (r == 0) {
                // The point itself was counted in its own cell.
                dist.erase(std::find(dist.begin(), dist.end(), 0.0));
                --zeros;
            }
            // k duplicates of the point: nothing can be nearer.
            if (zeros >= k)
                return static_cast<double>(k);
            if (dist.size() >= k) {
                std::nth_element(dist.begin(), dist.begin() + (k - 1), dist.end());
                kth = dist[k - 1];
                haveKth = true;
                dist.resize(k); // only the k smallest can still matter
                const double reach = distanceOutsideBlock(px, py, cx, cy, r);
                if (reach * reach >= kth)
                    break;
            }
            if (cx - r <= 0 && cy - r <= 0 && cx + r >= nx - 1 && cy + r >= ny - 1)
                break; // every cell searched
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
    // The cells at Chebyshev distance exactly r from (cx, cy) inside the grid.
    template<typename F>
    void forEachCellOfRing(int cx, int cy, int r, F&& visit) const
    {
        if (r == 0) {
            visit(cy * nx + cx);
            return;
        }
        const int x0 = std::max(cx - r, 0), x1 = std::min(cx + r, nx - 1);
        for (int row : {cy - r, cy + r}) {
            if (row < 0 || row >= ny)
                continue;
            for (int col = x0; col <= x1; ++col)
                visit(row * nx + col);
        }
        const int y0 = std::max(cy - r + 1, 0), y1 = std::min(cy + r - 1, ny - 1);
        for (int col : {cx - r, cx + r}) {
            if (col < 0 || col >= nx)
                continue;
            for (int row = y0; row <= y1; ++row)
                visit(row * nx + col);
        }
    }

    // A lower bound of the distance from (px, py) to any point outside the
    // block of cells within Chebyshev distance r of (cx, cy); a side at the
    // grid's border has no points beyond it.
    double distanceOutsideBlock(double px, double py, int cx, int cy, int r) const
    {
        double reach = std::numeric_limits<double>::infinity();
        if (cx - r > 0)
            reach = std::min(reach, px - (minX + (cx - r) * side));
        if (cx + r < nx - 1)
            reach = std::min(reach, minX + (cx + r + 1) * side - px);
        if (cy - r > 0)
            reach = std::min(reach, py - (minY + (cy - r) * side));
        if (cy + r < ny - 1)
            reach = std::min(reach, minY + (cy + r + 1) * side - py);
        return std::max(reach - slack, 0.0);
    }

    int nx = 1, ny = 1;
    double minX = 0.0, minY = 0.0, side = 1.0, slack = 0.0;
    std::vector<size_t> start;       // first storage slot of each cell, plus the end
    std::vector<double> sx, sy;      // coordinates by storage slot
    std::vector<size_t> order;       // input index by storage slot
    std::vector<int32_t> cellOfSlot; // cell by storage slot
};

std::vector<double> knnDensityOf(const double* x, const double* y, size_t n)
{
    std::vector<double> density(n, 1.0);
    if (n < 2)
        return density;
    const size_t k = std::max<size_t>(static_cast<size_t>(std::sqrt(static_cast<double>(n))), 1);
    const NeighbourGrid grid(x, y, n);
    // Blocks of neighbouring points (storage order is cell order) share the
    // cache; each block has its own scratch space.
    constexpr size_t kBlock = 512;
    parallelFor((n + kBlock - 1) / kBlock, 4, [&](size_t block) {
        std::vector<double> dist;
        dist.reserve(4 * k);
        const size_t end = std::min(n, (block + 1) * kBlock);
        for (size_t s = block * kBlock; s < end; ++s)
            density[grid.pointAt(s)] = grid.densityAt(s, k, dist);
    });
    return density;
}

} // namespace

double selectNthSmallest(const std::vector<double>& values, size_t rank)
{
    double result = kNaN;
    selectOrderStatistics(values.data(), values.size(), &rank, 1, &result);
    return result;
}

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
        estimates.assign(pts.count, kNaN);
        if (!grid.isEmpty())
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
