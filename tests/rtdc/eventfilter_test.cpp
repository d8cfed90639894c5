#include "rtdc/eventfilter.h"

#include "rtdc/axistransforms.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <numeric>
#include <random>

using namespace Tessary;

namespace {

using Polygon = std::vector<std::pair<double, double>>;
const double NaN = std::numeric_limits<double>::quiet_NaN();

FilterRule rangeRule(const std::string& feature, double lo, double hi, bool inverted = false)
{
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = lo;
    rule.maxValue = hi;
    rule.inverted = inverted;
    return rule;
}

FilterRule gate(const std::string& x, const std::string& y, Polygon vertices, int xMode = 0,
                int yMode = 0, bool inverted = false)
{
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = std::move(vertices);
    rule.scaleXMode = xMode;
    rule.scaleYMode = yMode;
    rule.inverted = inverted;
    return rule;
}

std::vector<int> allIndices(std::size_t n)
{
    std::vector<int> v(n);
    std::iota(v.begin(), v.end(), 0);
    return v;
}

const Polygon Square{{0, 0}, {10, 0}, {10, 10}, {0, 10}};

// Rule by rule, event by event, with nothing prepared: what apply must give.
std::vector<int> referenceApply(const EventFilter& filter, const FeatureColumns& columns,
                                std::size_t n)
{
    auto usable = [&](const std::string& name) -> const std::vector<double>* {
        auto it = columns.find(name);
        return it != columns.end() && it->second && it->second->size() >= n ? it->second
                                                                             : nullptr;
    };
    bool anyUsable = false;
    std::vector<int> kept;
    for (std::size_t i = 0; i < n; ++i) {
        bool all = true;
        for (const FilterRule& r : filter.rules) {
            if (!r.enabled)
                continue;
            bool verdict;
            if (r.type == 0 && usable(r.featureName)) {
                const double v = (*usable(r.featureName))[i];
                verdict = (v >= r.minValue && v <= r.maxValue) != r.inverted;
            } else if (r.type == 1 && r.polygonVertices.size() >= 3 && usable(r.featureName)
                       && usable(r.featureNameY)) {
                Polygon t;
                for (const auto& p : r.polygonVertices)
                    t.emplace_back(transformRuleAxisValue(p.first, r.scaleXMode),
                                   transformRuleAxisValue(p.second, r.scaleYMode));
                verdict = pointInPolygon(
                              transformRuleAxisValue((*usable(r.featureName))[i], r.scaleXMode),
                              transformRuleAxisValue((*usable(r.featureNameY))[i], r.scaleYMode),
                              t)
                          != r.inverted;
            } else {
                continue;
            }
            anyUsable = true;
            all = all && verdict;
        }
        if (!anyUsable || (filter.combineMode() == 0 ? all : !all))
            kept.push_back(static_cast<int>(i));
    }
    return kept;
}

// Winding number of a closed polygon around (x, y); independent of the
// even-odd crossing formula.
int windingNumber(double x, double y, const Polygon& poly)
{
    int wn = 0;
    for (std::size_t i = 0; i < poly.size(); ++i) {
        const auto& a = poly[i];
        const auto& b = poly[(i + 1) % poly.size()];
        const double cross = (b.first - a.first) * (y - a.second) - (x - a.first) * (b.second - a.second);
        if (a.second <= y) {
            if (b.second > y && cross > 0)
                ++wn;
        } else if (b.second <= y && cross < 0) {
            --wn;
        }
    }
    return wn;
}

double distanceToSegment(double x, double y, std::pair<double, double> a, std::pair<double, double> b)
{
    const double dx = b.first - a.first, dy = b.second - a.second;
    double t = ((x - a.first) * dx + (y - a.second) * dy) / (dx * dx + dy * dy);
    t = std::clamp(t, 0.0, 1.0);
    return std::hypot(x - (a.first + t * dx), y - (a.second + t * dy));
}

} // namespace

// ---- Rule list operations -------------------------------------------------

TEST(EventFilter, ClearKeepsModeAndEnabledFlag)
{
    EventFilter filter;
    EXPECT_EQ(filter.combineMode(), 0); // a new filter: mode 0, enabled
    EXPECT_TRUE(filter.isEnabled());
    filter.addRule(rangeRule("area_um", 1, 2));
    filter.setCombineMode(1);
    filter.setEnabled(false);
    filter.clear();
    EXPECT_EQ(filter.ruleCount(), 0);
    EXPECT_EQ(filter.combineMode(), 1);
    EXPECT_FALSE(filter.isEnabled());
}

TEST(EventFilter, RemoveAndReplaceIgnoreIndicesOutOfRange)
{
    EventFilter filter;
    filter.addRule(rangeRule("a", 0, 1));
    filter.addRule(rangeRule("b", 0, 1));
    filter.addRule(rangeRule("c", 0, 1));

    filter.removeRule(-1);
    filter.removeRule(3);
    filter.replaceRule(3, rangeRule("z", 5, 6));
    filter.replaceRule(-1, rangeRule("z", 5, 6));
    ASSERT_EQ(filter.ruleCount(), 3);
    EXPECT_EQ(filter.rules[0].featureName, "a");
    EXPECT_EQ(filter.rules[2].featureName, "c");

    filter.removeRule(1);
    ASSERT_EQ(filter.ruleCount(), 2);
    EXPECT_EQ(filter.rules[0].featureName, "a");
    EXPECT_EQ(filter.rules[1].featureName, "c");

    FilterRule replacement = gate("x", "y", Square, 1, 2, true);
    replacement.enabled = false;
    replacement.propagationId = "{id}";
    filter.replaceRule(1, replacement);
    const FilterRule& r = filter.rules[1];
    EXPECT_EQ(r.type, 1);
    EXPECT_EQ(r.featureNameY, "y");
    EXPECT_EQ(r.polygonVertices, Square);
    EXPECT_EQ(r.scaleXMode, 1);
    EXPECT_EQ(r.scaleYMode, 2);
    EXPECT_TRUE(r.inverted);
    EXPECT_FALSE(r.enabled);
    EXPECT_EQ(r.propagationId, "{id}");
}

TEST(EventFilter, UsedFeaturesInFirstUseOrderWithoutDuplicates)
{
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 0, 1));
    filter.addRule(gate("area_um", "deform", Square));
    EXPECT_EQ(filter.usedFeatures(), (std::vector<std::string>{"area_um", "deform"}));

    FilterRule disabled = rangeRule("bright_avg", 0, 1);
    disabled.enabled = false;
    filter.addRule(disabled);
    FilterRule rangeWithY = rangeRule("size", 0, 1);
    rangeWithY.featureNameY = "ignored";
    filter.addRule(rangeWithY);
    filter.addRule(rangeRule("", 0, 1)); // an empty name is listed too
    filter.addRule(gate("deform", "", Square));
    EXPECT_EQ(filter.usedFeatures(), (std::vector<std::string>{"area_um", "deform", "size", ""}));
}

// ---- Rules that cannot be evaluated ---------------------------------------

TEST(EventFilter, KeepsEverythingWithoutUsableRules)
{
    const std::vector<double> col{1, 2, 3, 4};
    const std::vector<double> shortCol{1, 2, 3};
    FeatureColumns columns{{"a", &col}, {"short", &shortCol}, {"null", nullptr}};

    EventFilter filter;
    EXPECT_EQ(filter.apply(columns, 4), allIndices(4));

    FilterRule disabled = rangeRule("a", 100, 200);
    disabled.enabled = false;
    filter.addRule(disabled);
    filter.addRule(rangeRule("missing", 100, 200));
    filter.addRule(rangeRule("short", 100, 200));
    filter.addRule(rangeRule("null", 100, 200));
    filter.addRule(gate("a", "a", {{0, 0}, {9, 9}})); // two vertices
    filter.addRule(gate("a", "missing", Square));
    FilterRule otherType = rangeRule("a", 100, 200);
    otherType.type = 2;
    filter.addRule(otherType);
    EXPECT_EQ(filter.apply(columns, 4), allIndices(4));
    // Combine mode 1 with nothing usable still keeps everything.
    filter.setCombineMode(1);
    EXPECT_EQ(filter.apply(columns, 4), allIndices(4));
    EXPECT_TRUE(filter.apply(columns, 0).empty());
}

TEST(EventFilter, ShorterColumnOnlyDisablesItsOwnRule)
{
    const std::vector<double> a{1, 5, 9};
    const std::vector<double> b{1, 5};
    EventFilter filter;
    filter.addRule(rangeRule("a", 4, 10));
    filter.addRule(rangeRule("b", 100, 200));
    EXPECT_EQ(filter.apply({{"a", &a}, {"b", &b}}, 3), (std::vector<int>{1, 2}));
    // Usability depends on n: over the first two events "b" takes part.
    EXPECT_TRUE(filter.apply({{"a", &a}, {"b", &b}}, 2).empty());
}

// ---- Range rules ------------------------------------------------------------

TEST(EventFilter, RangeBoundsAreInclusive)
{
    const std::vector<double> col{0.999, 1.0, 1.5, 2.0, 2.001};
    EventFilter filter;
    filter.addRule(rangeRule("a", 1.0, 2.0));
    EXPECT_EQ(filter.apply({{"a", &col}}, col.size()), (std::vector<int>{1, 2, 3}));
}

TEST(EventFilter, ReversedRangeKeepsNothingAndEverythingInverted)
{
    const std::vector<double> col{1, 2, 3, NaN};
    EventFilter filter;
    filter.addRule(rangeRule("a", 3, 1));
    EXPECT_TRUE(filter.apply({{"a", &col}}, 4).empty());
    filter.rules[0].inverted = true;
    EXPECT_EQ(filter.apply({{"a", &col}}, 4), allIndices(4));
}

TEST(EventFilter, NaNFailsARangeAndPassesItInverted)
{
    const std::vector<double> col{NaN, 5.0, NaN};
    EventFilter filter;
    filter.addRule(rangeRule("a", -1e300, 1e300));
    EXPECT_EQ(filter.apply({{"a", &col}}, 3), (std::vector<int>{1}));
    filter.rules[0].inverted = true;
    EXPECT_EQ(filter.apply({{"a", &col}}, 3), (std::vector<int>{0, 2}));
}

// ---- Polygon gates ----------------------------------------------------------

TEST(EventFilter, SquareGateOnLinearAxes)
{
    const std::vector<double> x{5, 15, 5, 0.5};
    const std::vector<double> y{5, 5, NaN, 9.5};
    EventFilter filter;
    filter.addRule(gate("x", "y", Square));
    EXPECT_EQ(filter.apply({{"x", &x}, {"y", &y}}, 4), (std::vector<int>{0, 3}));
    filter.rules[0].inverted = true;
    EXPECT_EQ(filter.apply({{"x", &x}, {"y", &y}}, 4), (std::vector<int>{1, 2}));
}

TEST(EventFilter, TriangleIsEvaluatedTwoVerticesAreNot)
{
    const std::vector<double> x{1, 9};
    const std::vector<double> y{3, 8};
    EventFilter filter;
    filter.addRule(gate("x", "y", {{0, 0}, {10, 0}, {10, 10}})); // below the diagonal
    EXPECT_EQ(filter.apply({{"x", &x}, {"y", &y}}, 2), (std::vector<int>{1}));
}

// A log axis puts zero, negative and NaN values where 1 lies (plot position 0).
TEST(EventFilter, LogGateTestsNonPositiveValuesAtOne)
{
    const std::vector<double> x{0.0, -3.0, NaN, 1.0, 50.0};
    const std::vector<double> y{1.0, 1.0, 1.0, 1.0, 1.0};
    const FeatureColumns columns{{"x", &x}, {"y", &y}};
    EventFilter around;
    around.addRule(gate("x", "y", {{0.5, 0.5}, {2, 0.5}, {2, 2}, {0.5, 2}}, ScaleLog, ScaleLog));
    EXPECT_EQ(around.apply(columns, 5), (std::vector<int>{0, 1, 2, 3}));

    EventFilter away;
    away.addRule(gate("x", "y", {{10, 0.5}, {100, 0.5}, {100, 2}, {10, 2}}, ScaleLog, ScaleLog));
    EXPECT_EQ(away.apply(columns, 5), (std::vector<int>{4}));
}

// The gate's straight edges are straight in plot coordinates, so the axes'
// modes decide which events lie under a slanted edge.
TEST(EventFilter, GateEdgesAreStraightInPlotCoordinates)
{
    const Polygon triangle{{0, 0}, {10000, 0}, {10000, 1.5}};
    const std::vector<double> x{1000.0};
    const std::vector<double> y{0.8};
    const FeatureColumns columns{{"x", &x}, {"y", &y}};
    EventFilter pseudo;
    pseudo.addRule(gate("x", "y", triangle, ScalePseudoLog, ScaleLinear));
    EXPECT_EQ(pseudo.apply(columns, 1), (std::vector<int>{0}));
    EventFilter linear;
    linear.addRule(gate("x", "y", triangle, ScaleLinear, ScaleLinear));
    EXPECT_TRUE(linear.apply(columns, 1).empty());
    // An unknown mode is a linear axis, as the plot draws it.
    EventFilter unknown;
    unknown.addRule(gate("x", "y", triangle, 7, -2));
    EXPECT_TRUE(unknown.apply(columns, 1).empty());
}

// ---- Combining --------------------------------------------------------------

TEST(EventFilter, CombineModeOneIsTheExactComplement)
{
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-50.0, 150.0);
    const std::size_t n = 5000;
    std::vector<double> a(n), b(n), c(n);
    for (std::size_t i = 0; i < n; ++i) {
        a[i] = i % 97 == 0 ? NaN : u(rng);
        b[i] = u(rng);
        c[i] = u(rng);
    }
    const FeatureColumns columns{{"a", &a}, {"b", &b}, {"c", &c}};

    EventFilter single;
    single.addRule(rangeRule("a", 0, 100));
    EventFilter several = single;
    several.addRule(rangeRule("b", 20, 120, true));
    several.addRule(gate("b", "c", {{0, 0}, {120, 10}, {60, 140}, {-20, 90}}, 2, 0));
    several.addRule(gate("a", "c", {{1, 1}, {140, 2}, {90, 140}}, 1, 1, true));

    for (const EventFilter& base : {single, several}) {
        EventFilter keep = base, rest = base;
        rest.setCombineMode(1);
        const std::vector<int> kept = keep.apply(columns, n);
        const std::vector<int> other = rest.apply(columns, n);
        EXPECT_TRUE(std::is_sorted(other.begin(), other.end()));
        std::vector<int> both;
        std::merge(kept.begin(), kept.end(), other.begin(), other.end(), std::back_inserter(both));
        EXPECT_EQ(both, allIndices(n)); // disjoint and together everything
        EXPECT_FALSE(kept.empty());
        EXPECT_FALSE(other.empty());
        rest.setCombineMode(4); // any other value means the same
        EXPECT_EQ(rest.apply(columns, n), other);
    }
}

// Random filters of every kind against the plain rule-by-rule evaluation:
// the block sweep and the bounding boxes must not change a single verdict.
TEST(EventFilter, AgreesWithRuleByRuleEvaluation)
{
    std::mt19937_64 rng(12345);
    const std::size_t n = 3001; // not a multiple of any block size
    std::uniform_real_distribution<double> u(-300.0, 3000.0);
    std::uniform_int_distribution<int> mode(-1, 3);
    std::bernoulli_distribution coin(0.5);

    for (int round = 0; round < 40; ++round) {
        std::vector<std::vector<double>> cols(3, std::vector<double>(n));
        for (auto& col : cols)
            for (double& v : col)
                v = coin(rng) && coin(rng) && coin(rng) && coin(rng) ? NaN : u(rng);
        const FeatureColumns columns{{"a", &cols[0]}, {"b", &cols[1]}, {"c", &cols[2]}};

        EventFilter filter;
        filter.setCombineMode(round % 2);
        const int ruleCount = 1 + round % 5;
        for (int r = 0; r < ruleCount; ++r) {
            const std::string fx(1, static_cast<char>('a' + r % 3));
            const std::string fy(1, static_cast<char>('a' + (r + 1) % 3));
            if (coin(rng)) {
                const double lo = u(rng), hi = u(rng);
                filter.addRule(rangeRule(fx, std::min(lo, hi), std::max(lo, hi), coin(rng)));
            } else {
                Polygon poly(3 + r * 2);
                for (auto& p : poly)
                    p = {u(rng), u(rng)};
                // Events exactly on vertices and vertex rows are the hard cases.
                for (std::size_t k = 0; k < poly.size() && k < 20; ++k) {
                    cols[r % 3][k * 7] = poly[k].first;
                    cols[(r + 1) % 3][k * 7] = poly[k].second;
                    cols[(r + 1) % 3][k * 7 + 1] = poly[k].second;
                }
                filter.addRule(gate(fx, fy, poly, mode(rng), mode(rng), coin(rng)));
            }
        }
        if (round % 7 == 0)
            filter.rules[0].enabled = false;
        EXPECT_EQ(filter.apply(columns, n), referenceApply(filter, columns, n)) << round;
    }
}

// Coordinates where the crossing formula overflows or underflows must not be
// decided by the bounding box either.
TEST(EventFilter, AgreesAtExtremeScales)
{
    for (double scale : {1e-300, 1e-160, 1e-5, 1e150, 1e200, 1e300}) {
        const Polygon poly{{-scale, -scale}, {scale, -0.5 * scale}, {0.3 * scale, scale},
                           {-2 * scale, 0.2 * scale}};
        std::vector<double> x, y;
        for (double fx : {-1e60, -3.0, -2.0, -1.5, -1.0, 0.0, 0.3, 0.9, 1.0, 1.1, 2.0, 1e60})
            for (double fy : {-1.0, -0.5, -0.25, 0.0, 0.2, 0.5, 1.0, 1.5}) {
                x.push_back(fx * scale);
                y.push_back(fy * scale);
            }
        EventFilter filter;
        filter.addRule(gate("x", "y", poly));
        const FeatureColumns columns{{"x", &x}, {"y", &y}};
        EXPECT_EQ(filter.apply(columns, x.size()), referenceApply(filter, columns, x.size()))
            << scale;
    }
}

// ---- pointInPolygon ---------------------------------------------------------

TEST(EventFilter, PointInPolygonEdgeInputs)
{
    EXPECT_FALSE(pointInPolygon(0, 0, {}));
    EXPECT_TRUE(pointInPolygon(5, 5, Square));
    EXPECT_FALSE(pointInPolygon(NaN, 5, Square));
    EXPECT_FALSE(pointInPolygon(5, NaN, Square));
    EXPECT_FALSE(pointInPolygon(15, 5, Square));
    // Self-intersecting bow tie: even-odd leaves the overlap of a doubly wound
    // star empty.
    const Polygon star{{0, 0}, {4, 10}, {8, 0}, {-1, 6}, {9, 6}};
    EXPECT_FALSE(pointInPolygon(4, 4.5, star));
    EXPECT_TRUE(pointInPolygon(4, 8, star));
}

// Against the winding number on random simple (star-shaped) polygons, away
// from the edges where rounding may decide either way.
TEST(EventFilter, PointInPolygonMatchesWindingNumberAwayFromEdges)
{
    std::mt19937_64 rng(99);
    std::uniform_real_distribution<double> angle(0.0, 2 * M_PI);
    std::uniform_real_distribution<double> radius(0.5, 5.0);
    std::uniform_real_distribution<double> coord(-6.0, 6.0);
    int insideCount = 0, checked = 0;
    for (int p = 0; p < 200; ++p) {
        std::vector<double> angles(3 + p % 10);
        for (double& a : angles)
            a = angle(rng);
        std::sort(angles.begin(), angles.end());
        Polygon poly;
        for (double a : angles) {
            const double r = radius(rng);
            poly.emplace_back(r * std::cos(a), r * std::sin(a));
        }
        std::vector<double> xs, ys;
        for (int k = 0; k < 200; ++k) {
            const double x = coord(rng), y = coord(rng);
            double nearest = std::numeric_limits<double>::infinity();
            for (std::size_t i = 0; i < poly.size(); ++i)
                nearest = std::min(nearest, distanceToSegment(x, y, poly[i], poly[(i + 1) % poly.size()]));
            if (nearest < 1e-9)
                continue;
            const bool expected = windingNumber(x, y, poly) != 0;
            EXPECT_EQ(pointInPolygon(x, y, poly), expected);
            xs.push_back(x);
            ys.push_back(y);
            insideCount += expected;
            ++checked;
        }
        // The fast path of apply sees the same points.
        EventFilter filter;
        filter.addRule(gate("x", "y", poly));
        std::vector<int> expectedKept;
        for (std::size_t k = 0; k < xs.size(); ++k)
            if (windingNumber(xs[k], ys[k], poly) != 0)
                expectedKept.push_back(static_cast<int>(k));
        EXPECT_EQ(filter.apply({{"x", &xs}, {"y", &ys}}, xs.size()), expectedKept);
    }
    EXPECT_GT(insideCount, checked / 20);
}
