#include "widgets/densityestimation.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <iterator>
#include <random>

using namespace Tessary;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();
constexpr double Inf = std::numeric_limits<double>::infinity();

const std::vector<int> kCandidates = {32,  37,  43,  50,  57,  66,  77,  89,  103, 119,
                                      138, 159, 184, 213, 247, 286, 330, 382, 442, 512};

struct Points {
    std::vector<double> x, y;
};

// Two skewed clusters of different spread plus a sparse tail, with a few exact
// duplicates: the kind of data where shortcuts in a neighbour search fail.
Points skewedPoints(size_t n, unsigned seed)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> tight(0.0, 0.05), wide(0.0, 1.0);
    std::exponential_distribution<double> tail(0.5);
    Points p;
    for (size_t i = 0; i < n; ++i) {
        if (i % 50 == 49 && i > 0) { // duplicate of an earlier point
            p.x.push_back(p.x[i / 2]);
            p.y.push_back(p.y[i / 2]);
        } else if (i % 3 == 0) {
            p.x.push_back(2.0 + tight(rng));
            p.y.push_back(-1.0 + tight(rng));
        } else if (i % 3 == 1) {
            p.x.push_back(wide(rng));
            p.y.push_back(3.0 * wide(rng));
        } else {
            p.x.push_back(tail(rng));
            p.y.push_back(tail(rng) * tail(rng));
        }
    }
    return p;
}

double referenceBandwidth(std::vector<double> v)
{
    const double n = static_cast<double>(v.size());
    const double mean = std::accumulate(v.begin(), v.end(), 0.0) / n;
    double ss = 0.0;
    for (double a : v)
        ss += (a - mean) * (a - mean);
    const double sd = std::sqrt(ss / n);
    std::sort(v.begin(), v.end());
    const double q = sortedQuantile(v, 0.75) - sortedQuantile(v, 0.25);
    const double sigma = q > 0.0 ? std::min(q / 1.34, sd) : sd;
    const double h = sigma * std::pow(n, -1.0 / 6.0);
    return h > 0.0 ? h : 1.0;
}

std::vector<double> referenceKernel(double s)
{
    const int r = std::max(static_cast<int>(std::ceil(4.0 * s)), 1);
    std::vector<double> w;
    for (int k = -r; k <= r; ++k)
        w.push_back(std::exp(-0.5 * (k / s) * (k / s)));
    const double sum = std::accumulate(w.begin(), w.end(), 0.0);
    for (double& a : w)
        a /= sum;
    return w;
}

} // namespace

// ---- sortedQuantile -------------------------------------------------------

TEST(DensityEstimation, SortedQuantileInterpolatesLinearly)
{
    const std::vector<double> v = {1, 2, 3, 4};
    EXPECT_DOUBLE_EQ(sortedQuantile(v, 0.25), 1.75);
    EXPECT_DOUBLE_EQ(sortedQuantile(v, 0.75), 3.25);
    EXPECT_DOUBLE_EQ(sortedQuantile(v, 0.0), 1.0);
    EXPECT_DOUBLE_EQ(sortedQuantile(v, 1.0), 4.0);
    EXPECT_EQ(sortedQuantile({}, 0.5), 0.0);
}

// ---- optimalBinCount ------------------------------------------------------

TEST(DensityEstimation, BinCountOfTooFewPointsIs32)
{
    EXPECT_EQ(optimalBinCount({1, 2, 3}, {4, 5, 6}), 32);
    // Only three of these are usable.
    EXPECT_EQ(optimalBinCount({1, 2, 3, NaN, 5}, {4, 5, 6, 7, Inf}), 32);
}

TEST(DensityEstimation, BinCountMatchesBruteForceCost)
{
    for (unsigned seed : {1u, 2u, 3u}) {
        const Points p = skewedPoints(3000 * seed, seed);
        const auto [xmin, xmax] = std::minmax_element(p.x.begin(), p.x.end());
        const auto [ymin, ymax] = std::minmax_element(p.y.begin(), p.y.end());
        const double rx = *xmax - *xmin, ry = *ymax - *ymin;
        int best = 0;
        double bestCost = 0.0;
        for (int m : kCandidates) {
            std::vector<double> counts(static_cast<size_t>(m) * m, 0.0);
            const double hx = rx / m, hy = ry / m;
            for (size_t i = 0; i < p.x.size(); ++i) {
                const int bx = std::min(static_cast<int>((p.x[i] - *xmin) / hx), m - 1);
                const int by = std::min(static_cast<int>((p.y[i] - *ymin) / hy), m - 1);
                counts[by * m + bx] += 1.0;
            }
            const double mean = p.x.size() / double(m * m);
            double s = 0.0;
            for (double c : counts)
                s += (c - mean) * (c - mean);
            const double cost = (2.0 * mean - s / (m * m)) / ((hx * hy) * (hx * hy));
            if (best == 0 || cost < bestCost) {
                best = m;
                bestCost = cost;
            }
        }
        EXPECT_EQ(optimalBinCount(p.x, p.y), best) << "seed " << seed;
    }
}

TEST(DensityEstimation, BinCountIsACandidateWhenNoCostIsANumber)
{
    // A range so small that the cell area underflows: every cost is infinite.
    // The first candidate stands rather than a count that is none.
    const std::vector<double> x = {0.0, 1e-100, 2e-100, 3e-100, 4e-100};
    EXPECT_EQ(optimalBinCount(x, x), 32);

    // A range that overflows to infinity must neither crash nor leave the list.
    const std::vector<double> huge = {-1e308, -1e307, 0.0, 1e307, 1e308};
    const int m = optimalBinCount(huge, huge);
    EXPECT_NE(std::find(kCandidates.begin(), kCandidates.end(), m), kCandidates.end()) << m;
}

// ---- computePointDensity: input handling ----------------------------------

TEST(DensityEstimation, NeedsFourFinitePoints)
{
    const std::vector<double> x = {1, NaN, 2, 3, Inf, 4, NaN};
    const std::vector<double> y = {1, 5, NaN, 2, 3, 4, 7};
    // Finite pairs: indices 0, 3, 5: three only.
    for (int method : {0, 1, 2}) {
        for (double d : computePointDensity(x, y, method))
            EXPECT_TRUE(std::isnan(d)) << "method " << method;
    }

    const std::vector<double> x4 = {1, NaN, 2.5, 3, Inf, 4, -Inf};
    const std::vector<double> y4 = {1, 5, 1.5, 2, 3, 4, 7};
    for (int method : {0, 1, 2}) {
        const std::vector<double> d = computePointDensity(x4, y4, method);
        ASSERT_EQ(d.size(), x4.size());
        for (size_t i : {0, 2, 3, 5})
            EXPECT_TRUE(std::isfinite(d[i]) && d[i] > 0.0) << "method " << method << " index " << i;
        for (size_t i : {1, 4, 6})
            EXPECT_TRUE(std::isnan(d[i])) << "method " << method << " index " << i;
    }
}

TEST(DensityEstimation, NonFinitePointsDoNotChangeTheOthers)
{
    const Points p = skewedPoints(400, 7);
    Points withGaps = p;
    withGaps.x.insert(withGaps.x.begin() + 100, NaN);
    withGaps.y.insert(withGaps.y.begin() + 100, 1.0);
    withGaps.x.push_back(2.0);
    withGaps.y.push_back(-Inf);
    for (int method : {0, 1, 2}) {
        const std::vector<double> clean = computePointDensity(p.x, p.y, method);
        std::vector<double> gaps = computePointDensity(withGaps.x, withGaps.y, method);
        ASSERT_EQ(gaps.size(), clean.size() + 2);
        EXPECT_TRUE(std::isnan(gaps[100]));
        EXPECT_TRUE(std::isnan(gaps.back()));
        gaps.erase(gaps.begin() + 100);
        for (size_t i = 0; i < clean.size(); ++i)
            ASSERT_DOUBLE_EQ(clean[i], gaps[i]) << "method " << method;
    }
}

TEST(DensityEstimation, UnknownMethodOrMismatchedLengthsGiveNaN)
{
    const Points p = skewedPoints(50, 3);
    for (double d : computePointDensity(p.x, p.y, 3))
        EXPECT_TRUE(std::isnan(d));
    for (double d : computePointDensity(p.x, p.y, -1))
        EXPECT_TRUE(std::isnan(d));
    std::vector<double> shortY(p.y.begin(), p.y.end() - 1);
    const std::vector<double> d = computePointDensity(p.x, shortY, 0);
    EXPECT_EQ(d.size(), p.x.size());
    EXPECT_TRUE(std::all_of(d.begin(), d.end(), [](double v) { return std::isnan(v); }));
}

TEST(DensityEstimation, AllPointsEqual)
{
    const std::vector<double> x(30, 5.0), y(30, -2.0);
    const std::vector<double> kde = computePointDensity(x, y, 0);
    for (double d : kde)
        EXPECT_GT(d, 0.0);
    // So large that the bandwidth of 1.0 vanishes against the values.
    for (double huge : {1e17, -3e300}) {
        const std::vector<double> big(30, huge);
        for (const auto& [xs, ys] : {std::pair{big, y}, std::pair{x, big}})
            for (double d : computePointDensity(xs, ys, 0))
                EXPECT_GT(d, 0.0) << huge;
    }
    // Everything lands in bin (0, 0).
    for (double d : computePointDensity(x, y, 1))
        EXPECT_EQ(d, 30.0);
    // Duplicates: the density is k = trunc(sqrt(30)) = 5.
    for (double d : computePointDensity(x, y, 2))
        EXPECT_EQ(d, 5.0);
}

// ---- kernel estimate ------------------------------------------------------

TEST(DensityEstimation, KernelGridMatchesDirectKernelSum)
{
    const Points p = skewedPoints(1500, 11);
    const int g = 40;
    const DensityGrid grid = computeKdeGrid(p.x, p.y, g);
    ASSERT_EQ(grid.gridSize, g);
    ASSERT_EQ(grid.values.size(), size_t(g * g));

    const double hx = referenceBandwidth(p.x), hy = referenceBandwidth(p.y);
    const double xmin = *std::min_element(p.x.begin(), p.x.end());
    const double xmax = *std::max_element(p.x.begin(), p.x.end());
    const double ymin = *std::min_element(p.y.begin(), p.y.end());
    const double ymax = *std::max_element(p.y.begin(), p.y.end());
    EXPECT_DOUBLE_EQ(grid.x0, xmin - 3 * hx);
    EXPECT_DOUBLE_EQ(grid.y0, ymin - 3 * hy);
    EXPECT_DOUBLE_EQ(grid.dx, (xmax + 3 * hx - grid.x0) / g);
    EXPECT_DOUBLE_EQ(grid.dy, (ymax + 3 * hy - grid.y0) / g);

    // Every point spreads its weight directly over the cells around its own.
    const std::vector<double> kx = referenceKernel(hx / grid.dx), ky = referenceKernel(hy / grid.dy);
    const int rx = int(kx.size() / 2), ry = int(ky.size() / 2);
    std::vector<double> expected(g * g, 0.0);
    for (size_t k = 0; k < p.x.size(); ++k) {
        const int i = std::clamp(int((p.x[k] - grid.x0) / grid.dx), 0, g - 1);
        const int j = std::clamp(int((p.y[k] - grid.y0) / grid.dy), 0, g - 1);
        for (int a = -rx; a <= rx; ++a)
            for (int b = -ry; b <= ry; ++b)
                if (i + a >= 0 && i + a < g && j + b >= 0 && j + b < g)
                    expected[(j + b) * g + (i + a)] += kx[a + rx] * ky[b + ry];
    }
    double total = 0.0;
    for (int c = 0; c < g * g; ++c) {
        ASSERT_NEAR(grid.values[c], expected[c], 1e-9) << "cell " << c;
        total += grid.values[c];
    }
    // Three bandwidths of margin keep nearly all weight inside the grid.
    EXPECT_NEAR(total, double(p.x.size()), 0.01 * p.x.size());
}

TEST(DensityEstimation, KernelDensityIsTheGridReadAtThePoints)
{
    const Points p = skewedPoints(2000, 5);
    const DensityGrid grid = computeKdeGrid(p.x, p.y, 0);
    EXPECT_EQ(grid.gridSize, optimalBinCount(p.x, p.y));
    EXPECT_EQ(computePointDensity(p.x, p.y, 0), interpolateGrid(grid, p.x, p.y));
}

TEST(DensityEstimation, KernelGridOfNoPointIsEmpty)
{
    EXPECT_TRUE(computeKdeGrid({}, {}, 0).isEmpty());
    EXPECT_TRUE(computeKdeGrid({NaN, 1.0}, {2.0, Inf}, 10).isEmpty());
}

// ---- interpolateGrid ------------------------------------------------------

TEST(DensityEstimation, InterpolationIsExactAtCellCentres)
{
    DensityGrid grid;
    grid.gridSize = 5;
    grid.x0 = -1.0;
    grid.y0 = 10.0;
    grid.dx = 0.5;
    grid.dy = 2.0;
    std::mt19937 rng(1);
    std::uniform_real_distribution<double> u(0.0, 10.0);
    for (int c = 0; c < 25; ++c)
        grid.values.push_back(u(rng));

    std::vector<double> x, y;
    for (int j = 0; j < 5; ++j)
        for (int i = 0; i < 5; ++i) {
            x.push_back(grid.x0 + (i + 0.5) * grid.dx);
            y.push_back(grid.y0 + (j + 0.5) * grid.dy);
        }
    EXPECT_EQ(interpolateGrid(grid, x, y), grid.values);

    // Halfway between two centres: the mean of the two.
    const std::vector<double> mid = interpolateGrid(grid, {grid.x0 + 1.0 * grid.dx}, {grid.y0 + 0.5 * grid.dy});
    EXPECT_NEAR(mid[0], 0.5 * (grid.value(0, 0) + grid.value(1, 0)), 1e-12);

    // Beyond the outermost centres the edge values hold, however far away.
    const std::vector<double> out = interpolateGrid(grid, {-1e300, 1e300, grid.x0 + 0.25, NaN},
                                                    {grid.y0 + 1.0, 1e300, -Inf, 0.0});
    EXPECT_NEAR(out[0], grid.value(0, 0), 1e-12);
    EXPECT_NEAR(out[1], grid.value(4, 4), 1e-12);
    EXPECT_TRUE(std::isnan(out[2]));
    EXPECT_TRUE(std::isnan(out[3]));
}

TEST(DensityEstimation, InterpolationOfAnEmptyGridGivesNaN)
{
    DensityGrid empty;
    const std::vector<double> d = interpolateGrid(empty, {1.0, 2.0}, {3.0, 4.0});
    ASSERT_EQ(d.size(), 2u);
    EXPECT_TRUE(std::isnan(d[0]) && std::isnan(d[1]));

    // Size that does not match the values: no read past the end.
    DensityGrid broken;
    broken.gridSize = 4;
    broken.values = {1.0, 2.0};
    EXPECT_TRUE(std::isnan(interpolateGrid(broken, {0.0}, {0.0})[0]));
}

// ---- histogram ------------------------------------------------------------

TEST(DensityEstimation, HistogramCountsEachPointsBin)
{
    // Range 0..4 in 4 bins of width 1; the maximum falls into the last bin.
    const std::vector<double> x = {0.0, 0.5, 0.9, 1.0, 3.5, 4.0, 2.0};
    const std::vector<double> y = {0.0, 0.2, 0.9, 0.1, 3.9, 4.0, 2.5};
    const std::vector<double> d = computeHistogramDensity(x, y, 4);
    EXPECT_EQ(d, (std::vector<double>{3, 3, 3, 1, 2, 2, 1}));

    // Whole-number data put many points exactly on bin edges.
    std::mt19937 rng(8);
    std::uniform_int_distribution<int> whole(-10, 30);
    std::vector<double> wx, wy;
    for (int i = 0; i < 999; ++i) {
        wx.push_back(whole(rng));
        wy.push_back(0.5 * whole(rng));
    }
    for (int m : {1, 4, 8, 41, 77}) {
        const double hx = 40.0 / m, hy = 20.0 / m;
        std::vector<int> counts(m * m, 0), bin(wx.size());
        for (size_t k = 0; k < wx.size(); ++k) {
            const int i = std::min(int((wx[k] + 10.0) / hx), m - 1);
            const int j = std::min(int((wy[k] + 5.0) / hy), m - 1);
            bin[k] = j * m + i;
            ++counts[bin[k]];
        }
        const std::vector<double> fast = computeHistogramDensity(wx, wy, m);
        for (size_t k = 0; k < wx.size(); ++k)
            ASSERT_EQ(fast[k], counts[bin[k]]) << "bins " << m << " point " << k;
    }

    const std::vector<double> gaps = computeHistogramDensity({0.0, NaN, 4.0}, {0.0, 1.0, 4.0}, 2);
    EXPECT_EQ(gaps[0], 1.0);
    EXPECT_TRUE(std::isnan(gaps[1]));
    EXPECT_EQ(gaps[2], 1.0);
}

// ---- nearest neighbours ---------------------------------------------------

TEST(DensityEstimation, NearestNeighbourOfTwoPoints)
{
    const std::vector<double> d = computeKnnDensity({0.0, 3.0}, {0.0, 4.0});
    EXPECT_DOUBLE_EQ(d[0], 1.0 / (M_PI * 25.0));
    EXPECT_DOUBLE_EQ(d[1], 1.0 / (M_PI * 25.0));
    EXPECT_EQ(computeKnnDensity({7.0}, {1.0}), std::vector<double>{1.0});
}

TEST(DensityEstimation, NearestNeighboursAreExact)
{
    // Skewed clusters; the same with one axis a thousand times narrower (as
    // deformation against area); points on a line; points on a level line.
    std::vector<Points> cases = {skewedPoints(1200, 21), skewedPoints(3000, 22), skewedPoints(2000, 23)};
    for (double& v : cases[2].y)
        v *= 1e-3;
    Points line, level;
    std::mt19937 rng(5);
    std::exponential_distribution<double> gap(1.0);
    double t = 0.0;
    for (int i = 0; i < 1500; ++i) {
        t += gap(rng);
        line.x.push_back(t);
        line.y.push_back(2.0 * t + 1.0);
        level.x.push_back(t * t);
        level.y.push_back(4.0);
    }
    cases.push_back(line);
    cases.push_back(level);

    // Reference: every distance, fully sorted.
    for (size_t c = 0; c < cases.size(); ++c) {
        const Points& p = cases[c];
        const size_t n = p.x.size();
        const size_t k = size_t(std::sqrt(double(n)));
        const std::vector<double> fast = computeKnnDensity(p.x, p.y);
        std::vector<double> d2;
        for (size_t i = 0; i < n; ++i) {
            d2.clear();
            for (size_t j = 0; j < n; ++j)
                if (j != i)
                    d2.push_back((p.x[i] - p.x[j]) * (p.x[i] - p.x[j]) + (p.y[i] - p.y[j]) * (p.y[i] - p.y[j]));
            std::sort(d2.begin(), d2.end());
            const double expected = d2[k - 1] > 0.0 ? k / (M_PI * d2[k - 1]) : double(k);
            ASSERT_DOUBLE_EQ(fast[i], expected) << "case " << c << " point " << i;
        }
    }
}

TEST(DensityEstimation, NthSmallestMatchesASort)
{
    std::mt19937 rng(3);
    std::lognormal_distribution<double> spread(0.0, 3.0);
    std::uniform_int_distribution<int> few(0, 5);
    for (int trial = 0; trial < 4; ++trial) {
        std::vector<double> v;
        for (int i = 0; i < 20000; ++i) {
            // Heavy tails, ties and NaN.
            const double a = trial % 2 ? spread(rng) : double(few(rng));
            v.push_back(i % 97 == 0 ? NaN : (i % 2 ? a : -a));
        }
        std::vector<double> sorted;
        std::copy_if(v.begin(), v.end(), std::back_inserter(sorted), [](double a) { return !std::isnan(a); });
        std::sort(sorted.begin(), sorted.end());
        for (size_t rank : {size_t(0), size_t(1), sorted.size() / 4, sorted.size() / 2, sorted.size() - 1})
            EXPECT_EQ(selectNthSmallest(v, rank), sorted[rank]) << "trial " << trial << " rank " << rank;
        EXPECT_EQ(selectNthSmallest(v, sorted.size() + 10), sorted.back());
    }
    EXPECT_TRUE(std::isnan(selectNthSmallest({NaN, NaN}, 0)));
    EXPECT_TRUE(std::isnan(selectNthSmallest({}, 0)));
    EXPECT_EQ(selectNthSmallest({2.0, 2.0, 2.0}, 1), 2.0);
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(selectNthSmallest({inf, 1.0, -inf, 3.0}, 1), 1.0);
}
