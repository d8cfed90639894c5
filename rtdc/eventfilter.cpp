#include "rtdc/eventfilter.h"

#include "rtdc/axistransforms.h"

#include <algorithm>
#include <cmath>
#include <iterator>
#include <limits>

namespace Tessary {

namespace {

using Vertex = std::pair<double, double>;

// The even-odd loop shared by pointInPolygon and apply, so the fast path
// cannot drift from the plain test. Comparisons with NaN are false, so a NaN
// coordinate never flips the state.
inline bool evenOddInside(double x, double y, const Vertex* v, std::size_t count)
{
    bool inside = false;
    for (std::size_t i = 0, j = count - 1; i < count; j = i++) {
        const double xi = v[i].first, yi = v[i].second;
        const double xj = v[j].first, yj = v[j].second;
        if ((yi > y) != (yj > y) && x < (xj - xi) * (y - yi) / (yj - yi) + xi)
            inside = !inside;
    }
    return inside;
}

const std::vector<double>* usableColumn(const FeatureColumns& columns, const std::string& name,
                                        std::size_t n)
{
    const auto it = columns.find(name);
    if (it == columns.end() || it->second == nullptr || it->second->size() < n)
        return nullptr;
    return it->second;
}

// Whether apply() judges the events by this rule: it is enabled, of a known
// type, a gate has an area, and its columns are there.
bool ruleUsable(const FilterRule& rule, const FeatureColumns& columns, std::size_t n)
{
    if (!rule.enabled || !usableColumn(columns, rule.featureName, n))
        return false;
    return rule.type == 0
           || (rule.type == 1 && rule.polygonVertices.size() >= 3 && usableColumn(columns, rule.featureNameY, n));
}

struct RangeEntry
{
    const double* column;
    double minValue;
    double maxValue;
    bool inverted;
};

// One polygon edge as the crossing formula reads it; dx and dy are the same
// differences the formula would compute, so the results are bit-identical.
struct Edge
{
    double xi, yi, dx, dy;
};

struct PolygonEntry
{
    const double* xs;
    const double* ys;
    int xMode;
    int yMode;
    bool inverted;
    std::vector<Vertex> vertices; // in transformed (plot) coordinates

    // Which edges the even-odd rule can count depends only on where y lies
    // among the vertices' y values: on [Y[k], Y[k+1]) exactly the edges with
    // (yi > y) != (yj > y) are fixed. Each slab lists them, so a point meets
    // only the edges its ray can cross, usually two. Below the lowest vertex
    // and at or above the highest, no edge counts: that is the exact y extent
    // of the bounding box.
    std::vector<double> slabY;
    std::vector<std::size_t> slabStart; // slab k: edges [slabStart[k], slabStart[k+1])
    std::vector<Edge> slabEdges;
    bool useSlabs = false;
    // The x extent of the box carries a margin wider than the rounding of the
    // crossing formula, so no verdict changes; where that formula could
    // overflow or underflow, x is not boxed.
    double boxMinX = -std::numeric_limits<double>::infinity();
    double boxMaxX = std::numeric_limits<double>::infinity();

    void prepare()
    {
        for (const Vertex& v : vertices)
            if (!std::isfinite(v.first) || !std::isfinite(v.second))
                return; // leave every point to the plain loop
        prepareBoxX();
        prepareSlabs();
    }

    void prepareBoxX()
    {
        double loX = std::numeric_limits<double>::infinity(), hiX = -loX;
        for (std::size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i++) {
            const double dx = vertices[j].first - vertices[i].first;
            const double dy = vertices[j].second - vertices[i].second;
            const double product = std::fabs(dx * dy);
            if (dx != 0.0 && dy != 0.0
                && !(product >= std::numeric_limits<double>::min() && std::isfinite(product)))
                return;
            loX = std::min(loX, vertices[i].first);
            hiX = std::max(hiX, vertices[i].first);
        }
        const double margin = 1e-9 * (std::fabs(loX) + std::fabs(hiX))
                              + 16 * std::numeric_limits<double>::denorm_min();
        boxMinX = loX - margin;
        boxMaxX = hiX + margin;
    }

    void prepareSlabs()
    {
        // Only finite vertices get here (prepare), so no NaN reaches the sort.
        for (const Vertex& v : vertices)
            slabY.push_back(v.second);
        std::sort(slabY.begin(), slabY.end());
        slabY.erase(std::unique(slabY.begin(), slabY.end()), slabY.end());
        // A wildly winding outline could list most edges in most slabs; the
        // plain loop serves it as well.
        const std::size_t limit = 64 * vertices.size() + 4096;
        slabStart.push_back(0);
        for (std::size_t k = 0; k + 1 < slabY.size(); ++k) {
            const double y = slabY[k];
            for (std::size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i++) {
                const Vertex& a = vertices[i];
                const Vertex& b = vertices[j];
                if ((a.second > y) != (b.second > y))
                    slabEdges.push_back({a.first, a.second, b.first - a.first, b.second - a.second});
            }
            if (slabEdges.size() > limit)
                return;
            slabStart.push_back(slabEdges.size());
        }
        useSlabs = true;
    }

    bool contains(double x, double y) const
    {
        if (!useSlabs)
            return evenOddInside(x, y, vertices.data(), vertices.size());
        // Written so that NaN fails the box as it fails the even-odd loop.
        // One branch for the whole box (bitwise &): points in and out of a
        // gate alternate unpredictably.
        if (!((x >= boxMinX) & (x <= boxMaxX) & (y >= slabY.front()) & (y < slabY.back())))
            return false;
        std::size_t below; // number of vertex rows at or under y
        if (slabY.size() <= 16) {
            below = 0;
            for (double row : slabY)
                below += row <= y;
        } else {
            below = static_cast<std::size_t>(
                std::upper_bound(slabY.begin(), slabY.end(), y) - slabY.begin());
        }
        const std::size_t slab = below - 1;
        bool inside = false;
        for (std::size_t e = slabStart[slab]; e < slabStart[slab + 1]; ++e) {
            const Edge& edge = slabEdges[e];
            inside ^= x < edge.dx * (y - edge.yi) / edge.dy + edge.xi;
        }
        return inside;
    }
};

} // namespace

void EventFilter::addRule(const FilterRule& rule)
{
    rules.push_back(rule);
}

void EventFilter::clear()
{
    rules.clear();
}

void EventFilter::removeRule(int index)
{
    if (index >= 0 && index < ruleCount())
        rules.erase(rules.begin() + index);
}

void EventFilter::replaceRule(int index, const FilterRule& rule)
{
    if (index >= 0 && index < ruleCount())
        rules[static_cast<std::size_t>(index)] = rule;
}

int EventFilter::ruleCount() const
{
    return static_cast<int>(rules.size());
}

std::vector<std::string> EventFilter::usedFeatures() const
{
    std::vector<std::string> names;
    auto add = [&names](const std::string& name) {
        if (std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    };
    for (const FilterRule& rule : rules) {
        if (!rule.enabled)
            continue;
        add(rule.featureName);
        if (rule.type == 1 && !rule.featureNameY.empty())
            add(rule.featureNameY);
    }
    return names;
}

bool EventFilter::hasUsableRule(const FeatureColumns& columns, std::size_t n) const
{
    return std::any_of(rules.begin(), rules.end(),
                       [&columns, n](const FilterRule& rule) { return ruleUsable(rule, columns, n); });
}

EventFilter EventFilter::usableRulesOnly(const FeatureColumns& columns, std::size_t n) const
{
    EventFilter usable = *this;
    usable.rules.clear();
    std::copy_if(rules.begin(), rules.end(), std::back_inserter(usable.rules),
                 [&columns, n](const FilterRule& rule) { return ruleUsable(rule, columns, n); });
    return usable;
}

std::vector<int> EventFilter::apply(const FeatureColumns& columns, std::size_t n) const
{
    std::vector<int> kept;
    kept.reserve(n);

    std::vector<RangeEntry> ranges;
    std::vector<PolygonEntry> polygons;
    for (const FilterRule& rule : rules) {
        if (!ruleUsable(rule, columns, n))
            continue;
        const double* xs = usableColumn(columns, rule.featureName, n)->data();
        if (rule.type == 0) {
            ranges.push_back({xs, rule.minValue, rule.maxValue, rule.inverted});
        } else {
            PolygonEntry entry;
            entry.xs = xs;
            entry.ys = usableColumn(columns, rule.featureNameY, n)->data();
            entry.xMode = normalizeScaleMode(rule.scaleXMode);
            entry.yMode = normalizeScaleMode(rule.scaleYMode);
            entry.inverted = rule.inverted;
            entry.vertices.reserve(rule.polygonVertices.size());
            for (const Vertex& v : rule.polygonVertices)
                entry.vertices.emplace_back(transformRuleAxisValue(v.first, entry.xMode),
                                            transformRuleAxisValue(v.second, entry.yMode));
            entry.prepare();
            polygons.push_back(std::move(entry));
        }
    }

    if (ranges.empty() && polygons.empty()) {
        for (std::size_t i = 0; i < n; ++i)
            kept.push_back(static_cast<int>(i));
        return kept;
    }

    // Events are judged a block at a time: every range rule sweeps the block
    // without branches, then only the events still passing meet the gates.
    // Each event's outcome is the one the rule-by-rule test would give.
    constexpr std::size_t BlockSize = 1024;
    unsigned char pass[BlockSize];
    unsigned short survivors[BlockSize];
    const unsigned char keepWhen = mode == 0 ? 1 : 0;
    const PseudoLogFormula& pseudoLog = defaultPseudoLog();
    int blockKept[BlockSize];
    for (std::size_t base = 0; base < n; base += BlockSize) {
        const std::size_t len = std::min(BlockSize, n - base);
        std::fill(pass, pass + len, static_cast<unsigned char>(1));
        for (const RangeEntry& r : ranges) {
            const double* column = r.column + base;
            const unsigned char flip = r.inverted ? 1 : 0;
            for (std::size_t k = 0; k < len; ++k) {
                const double v = column[k];
                const unsigned char inRange = (v >= r.minValue) & (v <= r.maxValue);
                pass[k] &= inRange ^ flip;
            }
        }
        if (!polygons.empty()) {
            std::size_t count = 0;
            for (std::size_t k = 0; k < len; ++k) {
                survivors[count] = static_cast<unsigned short>(k);
                count += pass[k];
            }
            for (const PolygonEntry& p : polygons) {
                const double* xs = p.xs + base;
                const double* ys = p.ys + base;
                std::size_t still = 0;
                for (std::size_t s = 0; s < count; ++s) {
                    const std::size_t k = survivors[s];
                    const double tx = transformRuleAxisValue(xs[k], p.xMode, pseudoLog);
                    const double ty = transformRuleAxisValue(ys[k], p.yMode, pseudoLog);
                    const unsigned char verdict = p.contains(tx, ty) != p.inverted;
                    pass[k] = verdict;
                    survivors[still] = static_cast<unsigned short>(k);
                    still += verdict;
                }
                count = still;
            }
        }
        // Collected without branches, appended in one copy: the result was
        // reserved, so only the pages it fills are ever touched.
        std::size_t count = 0;
        for (std::size_t k = 0; k < len; ++k) {
            blockKept[count] = static_cast<int>(base + k);
            count += pass[k] == keepWhen;
        }
        kept.insert(kept.end(), blockKept, blockKept + count);
    }
    return kept;
}

bool pointInPolygon(double x, double y, const std::vector<std::pair<double, double>>& vertices)
{
    if (vertices.empty())
        return false;
    return evenOddInside(x, y, vertices.data(), vertices.size());
}

} // namespace Tessary
