#include "widgets/densitycontours.h"

#include "rtdc/axistransforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace Tessary;

namespace {

constexpr double NaN = std::numeric_limits<double>::quiet_NaN();

// Even-odd test of a point against closed polylines.
bool insideLines(const std::vector<ContourPolyline>& lines, double px, double py)
{
    bool inside = false;
    for (const ContourPolyline& line : lines) {
        for (size_t i = 0, j = line.size() - 1; i < line.size(); j = i++) {
            const auto& [xi, yi] = line[i];
            const auto& [xj, yj] = line[j];
            if ((yi > py) != (yj > py) && px < (xj - xi) * (py - yi) / (yj - yi) + xi)
                inside = !inside;
        }
    }
    return inside;
}

double cross(const ContourPoint& o, const ContourPoint& a, const ContourPoint& b)
{
    return (a.first - o.first) * (b.second - o.second) - (a.second - o.second) * (b.first - o.first);
}

// Number of line pieces that properly cross the segment p-q.
int crossings(const std::vector<ContourPolyline>& lines, const ContourPoint& p, const ContourPoint& q)
{
    int count = 0;
    for (const ContourPolyline& line : lines) {
        for (size_t i = 0; i + 1 < line.size(); ++i) {
            const ContourPoint& a = line[i];
            const ContourPoint& b = line[i + 1];
            const double d1 = cross(p, q, a), d2 = cross(p, q, b);
            const double d3 = cross(a, b, p), d4 = cross(a, b, q);
            if (((d1 > 0 && d2 < 0) || (d1 < 0 && d2 > 0)) && ((d3 > 0 && d4 < 0) || (d3 < 0 && d4 > 0)))
                ++count;
        }
    }
    return count;
}

// A smooth random surface of narrow bumps that falls to zero at the border,
// so every isoline closes.
DensityGrid randomSmoothGrid(std::mt19937& rng, int g)
{
    std::uniform_real_distribution<double> pos(2.0, g - 3.0), width(0.7, 2.0), height(0.5, 1.5);
    DensityGrid grid;
    grid.gridSize = g;
    grid.x0 = -3.0;
    grid.y0 = 7.0;
    grid.dx = 0.25;
    grid.dy = 0.5;
    grid.values.assign(g * g, 0.0);
    for (int b = 0; b < 12; ++b) {
        const double cx = pos(rng), cy = pos(rng), w = width(rng), h = height(rng);
        for (int r = 0; r < g; ++r)
            for (int c = 0; c < g; ++c)
                grid.values[r * g + c] += h * std::exp(-((c - cx) * (c - cx) + (r - cy) * (r - cy)) / (2 * w * w));
    }
    for (int r = 0; r < g; ++r)
        for (int c = 0; c < g; ++c)
            grid.values[r * g + c] *= std::sin(M_PI * c / (g - 1)) * std::sin(M_PI * r / (g - 1));
    return grid;
}

ContourPoint node(const DensityGrid& grid, int c, int r)
{
    return {grid.x0 + (c + 0.5) * grid.dx, grid.y0 + (r + 0.5) * grid.dy};
}

struct Cloud {
    std::vector<double> x, y;
};

Cloud gaussianCloud(size_t n, unsigned seed, double mx, double my, double sx, double sy)
{
    std::mt19937 rng(seed);
    std::normal_distribution<double> nx(mx, sx), ny(my, sy);
    Cloud c;
    for (size_t i = 0; i < n; ++i) {
        c.x.push_back(nx(rng));
        c.y.push_back(ny(rng));
    }
    return c;
}

} // namespace

// ---- levels ---------------------------------------------------------------

TEST(DensityContours, LevelReadsTheSortedDensities)
{
    const std::vector<double> d = {5, 1, 4, 2, 3};
    EXPECT_EQ(contourLevelForFraction(d, 0.5), 3.0);  // index floor(2.5) = 2
    EXPECT_EQ(contourLevelForFraction(d, 0.1), 1.0);  // index 0
    EXPECT_EQ(contourLevelForFraction(d, 0.99), 5.0); // index 4
    EXPECT_EQ(contourLevelForFraction(d, 0.0), 0.0);
    EXPECT_EQ(contourLevelForFraction(d, 1.0), 0.0);
    EXPECT_EQ(contourLevelForFraction(d, NaN), 0.0);
    EXPECT_EQ(contourLevelForFraction({}, 0.5), 0.0);
    // NaN takes no place in the order.
    EXPECT_EQ(contourLevelForFraction({NaN, 2.0, NaN, 1.0}, 0.5), 2.0);
    EXPECT_EQ(contourLevelForFraction({NaN, NaN}, 0.5), 0.0);
}

// ---- tracing --------------------------------------------------------------

TEST(DensityContours, LineReachingTheBorderStaysOpen)
{
    // Values rise along x: the level 1.5 runs straight up between columns 1 and 2.
    DensityGrid grid;
    grid.gridSize = 4;
    for (int r = 0; r < 4; ++r)
        for (int c = 0; c < 4; ++c)
            grid.values.push_back(c);
    const std::vector<ContourPolyline> lines = traceIsolines(grid, 1.5);
    ASSERT_EQ(lines.size(), 1u);
    const ContourPolyline& line = lines[0];
    ASSERT_EQ(line.size(), 4u);
    for (const ContourPoint& p : line)
        EXPECT_DOUBLE_EQ(p.first, 2.0); // halfway between centres 1.5 and 2.5
    EXPECT_DOUBLE_EQ(std::min(line.front().second, line.back().second), 0.5);
    EXPECT_DOUBLE_EQ(std::max(line.front().second, line.back().second), 3.5);
}

TEST(DensityContours, NearlyEqualValuesCrossAtTheMidpoint)
{
    DensityGrid grid;
    grid.gridSize = 2;
    grid.values = {0.0, 1e-31, 0.0, 1e-31};
    const std::vector<ContourPolyline> lines = traceIsolines(grid, 5e-32);
    ASSERT_EQ(lines.size(), 1u);
    ASSERT_EQ(lines[0].size(), 2u);
    EXPECT_DOUBLE_EQ(lines[0][0].first, 1.0);
    EXPECT_DOUBLE_EQ(lines[0][1].first, 1.0);
}

TEST(DensityContours, DegenerateGridsGiveNoLines)
{
    DensityGrid empty;
    EXPECT_TRUE(traceIsolines(empty, 1.0).empty());
    DensityGrid one;
    one.gridSize = 1;
    one.values = {3.0};
    EXPECT_TRUE(traceIsolines(one, 1.0).empty());
    DensityGrid broken; // size and values disagree
    broken.gridSize = 3;
    broken.values = {1.0, 2.0, 3.0};
    EXPECT_TRUE(traceIsolines(broken, 1.5).empty());
    DensityGrid flat;
    flat.gridSize = 3;
    flat.values.assign(9, 2.0);
    EXPECT_TRUE(traceIsolines(flat, 1.0).empty());
    EXPECT_TRUE(traceIsolines(flat, 3.0).empty());
}

TEST(DensityContours, ClosedLinesEncloseExactlyTheHighNodes)
{
    std::mt19937 rng(42);
    for (int trial = 0; trial < 20; ++trial) {
        const DensityGrid grid = randomSmoothGrid(rng, 24);
        const double peak = *std::max_element(grid.values.begin(), grid.values.end());
        for (double level : {0.2, 0.5, 0.8}) {
            const double t = level * peak;
            const std::vector<ContourPolyline> lines = traceIsolines(grid, t);
            ASSERT_FALSE(lines.empty());
            for (const ContourPolyline& line : lines) {
                ASSERT_GE(line.size(), 4u);
                ASSERT_EQ(line.front(), line.back()) << "a closed line repeats its first point";
            }
            for (int r = 0; r < grid.gridSize; ++r)
                for (int c = 0; c < grid.gridSize; ++c) {
                    const ContourPoint p = node(grid, c, r);
                    ASSERT_EQ(insideLines(lines, p.first, p.second), grid.value(c, r) >= t)
                        << "trial " << trial << " node " << c << "," << r;
                }
        }
    }
}

// In a saddle cell the lines either join the two high corners through the
// cell or separate them; the density at the centre (the mean of the corners)
// decides. Checked from the traced lines alone: the diagonal between the high
// corners crosses no line when they are joined, and two lines otherwise.
TEST(DensityContours, SaddlesFollowTheCentreDensity)
{
    std::mt19937 rng(7);
    int joined = 0, separated = 0;
    for (int trial = 0; trial < 150; ++trial) {
        const DensityGrid grid = randomSmoothGrid(rng, 30);
        const double peak = *std::max_element(grid.values.begin(), grid.values.end());
        for (double level : {0.15, 0.3, 0.45, 0.6}) {
            const double t = level * peak;
            const std::vector<ContourPolyline> lines = traceIsolines(grid, t);
            for (int r = 0; r + 1 < grid.gridSize; ++r)
                for (int c = 0; c + 1 < grid.gridSize; ++c) {
                    const double v0 = grid.value(c, r), v1 = grid.value(c + 1, r);
                    const double v2 = grid.value(c + 1, r + 1), v3 = grid.value(c, r + 1);
                    const bool h0 = v0 >= t, h1 = v1 >= t, h2 = v2 >= t, h3 = v3 >= t;
                    const bool saddle02 = h0 && h2 && !h1 && !h3;
                    const bool saddle13 = h1 && h3 && !h0 && !h2;
                    if (!saddle02 && !saddle13)
                        continue;
                    const bool centreHigh = (v0 + v1 + v2 + v3) / 4.0 >= t;
                    const ContourPoint c0 = node(grid, c, r), c1 = node(grid, c + 1, r);
                    const ContourPoint c2 = node(grid, c + 1, r + 1), c3 = node(grid, c, r + 1);
                    const int highCuts = saddle02 ? crossings(lines, c0, c2) : crossings(lines, c1, c3);
                    const int lowCuts = saddle02 ? crossings(lines, c1, c3) : crossings(lines, c0, c2);
                    EXPECT_EQ(highCuts, centreHigh ? 0 : 2) << "trial " << trial << " cell " << c << "," << r;
                    EXPECT_EQ(lowCuts, centreHigh ? 2 : 0) << "trial " << trial << " cell " << c << "," << r;
                    ++(centreHigh ? joined : separated);
                }
        }
    }
    // Both kinds of saddle must have occurred, or the test proves nothing.
    EXPECT_GT(joined, 3);
    EXPECT_GT(separated, 3);
}

// ---- contours of points ---------------------------------------------------

TEST(DensityContours, TooLittleInputGivesNoContours)
{
    EXPECT_TRUE(buildDensityContours({1, 2, 3}, {1, 2, 3}, {0.5}, 0).empty());
    EXPECT_TRUE(buildDensityContours({1, 2, 3, NaN}, {1, 2, 3, 4}, {0.5}, 0).empty());
    EXPECT_TRUE(buildDensityContours({1, 2, 3, 4}, {1, 2, 4, 3}, {}, 0).empty());
    EXPECT_TRUE(buildDensityContours({1, 2, 3, 4}, {1, 2, 4}, {0.5}, 0).empty());
}

TEST(DensityContours, FractionsOutsideTheOpenIntervalKeepTheirRecord)
{
    const Cloud cloud = gaussianCloud(500, 3, 0.0, 0.0, 1.0, 1.0);
    const std::vector<DensityContour> contours = buildDensityContours(cloud.x, cloud.y, {0.0, 1.0, 1.5}, 0);
    ASSERT_EQ(contours.size(), 3u);
    EXPECT_EQ(contours[2].fraction, 1.5);
    for (const DensityContour& c : contours) {
        EXPECT_EQ(c.threshold, 0.0);
        EXPECT_TRUE(c.polylines.empty());
    }
}

TEST(DensityContours, HigherFractionLiesInsideTheLowerOne)
{
    const Cloud cloud = gaussianCloud(20000, 11, 5.0, -2.0, 1.0, 0.3);
    const std::vector<DensityContour> contours = buildDensityContours(cloud.x, cloud.y, {0.5, 0.9}, 0);
    ASSERT_EQ(contours.size(), 2u);
    EXPECT_EQ(contours[0].fraction, 0.5);
    EXPECT_EQ(contours[1].fraction, 0.9);
    EXPECT_GT(contours[1].threshold, contours[0].threshold);
    for (const DensityContour& c : contours) {
        ASSERT_EQ(c.polylines.size(), 1u) << "fraction " << c.fraction;
        EXPECT_EQ(c.polylines[0].front(), c.polylines[0].back());
    }
    for (const ContourPoint& p : contours[1].polylines[0])
        EXPECT_TRUE(insideLines(contours[0].polylines, p.first, p.second));
    // The cluster's centre is inside both.
    EXPECT_TRUE(insideLines(contours[1].polylines, 5.0, -2.0));

    // About half of the points lie inside the 0.5 contour.
    size_t inside = 0;
    for (size_t i = 0; i < cloud.x.size(); ++i)
        inside += insideLines(contours[0].polylines, cloud.x[i], cloud.y[i]);
    EXPECT_NEAR(double(inside) / cloud.x.size(), 0.5, 0.03);
}

TEST(DensityContours, NonFinitePointsAreLeftOut)
{
    const Cloud cloud = gaussianCloud(800, 5, 0.0, 0.0, 1.0, 2.0);
    Cloud gaps = cloud;
    gaps.x.insert(gaps.x.begin() + 10, NaN);
    gaps.y.insert(gaps.y.begin() + 10, 0.0);
    gaps.x.push_back(1.0);
    gaps.y.push_back(std::numeric_limits<double>::infinity());
    const auto expected = buildDensityContours(cloud.x, cloud.y, {0.3, 0.7}, 0);
    const auto actual = buildDensityContours(gaps.x, gaps.y, {0.3, 0.7}, 0);
    ASSERT_EQ(actual.size(), expected.size());
    for (size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(actual[i].threshold, expected[i].threshold);
        EXPECT_EQ(actual[i].polylines, expected[i].polylines);
    }
}

TEST(DensityContours, ScaledAxesReturnFeatureValues)
{
    std::mt19937 rng(9);
    std::lognormal_distribution<double> lx(3.0, 1.0), ly(6.0, 0.5);
    std::vector<double> x, y;
    for (int i = 0; i < 3000; ++i) {
        x.push_back(lx(rng));
        y.push_back(ly(rng));
    }
    const std::vector<double> fractions = {0.5};
    // 7 is no scale mode: it must be read the same way going and coming back.
    for (int modeX : {0, 1, 2, 7})
        for (int modeY : {0, 1, 2, 7}) {
            const auto traced = buildDensityContours(transformAxisValues(x, modeX), transformAxisValues(y, modeY),
                                                     fractions, 0);
            const auto contours = computeDensityContours(x, y, fractions, modeX, modeY);
            ASSERT_EQ(contours.size(), 1u);
            ASSERT_FALSE(contours[0].polylines.empty());
            EXPECT_EQ(contours[0].threshold, traced[0].threshold);
            ASSERT_EQ(contours[0].polylines.size(), traced[0].polylines.size());
            const ContourPoint& plotted = traced[0].polylines[0][0];
            const ContourPoint& feature = contours[0].polylines[0][0];
            const auto back = [](double v, int mode) {
                return mode == 1 ? std::pow(10.0, v) : mode == 2 ? defaultPseudoLog().inverse(v) : v;
            };
            EXPECT_DOUBLE_EQ(feature.first, back(plotted.first, modeX)) << modeX << modeY;
            EXPECT_DOUBLE_EQ(feature.second, back(plotted.second, modeY)) << modeX << modeY;

            // In feature values the contour still encloses about half the events.
            size_t inside = 0;
            for (size_t i = 0; i < x.size(); ++i)
                inside += insideLines(contours[0].polylines, x[i], y[i]);
            EXPECT_NEAR(double(inside) / x.size(), 0.5, 0.05) << modeX << modeY;
        }
}
