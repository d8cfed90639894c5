#include "rtdc/eventfilter.h"

#include "rtdc/axistransforms.h"

#include <algorithm>
#include <cmath>
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

struct RangeEntry
{
    const double* column;
    double minValue;
    double maxValue;
    bool inverted;
};

struct PolygonEntry
{
    const double* xs;
    const double* ys;
    int xMode;
    int yMode;
    bool inverted;
    std::vector<Vertex> vertices; // in transformed (plot) coordinates
    // Points outside this box cannot be inside, so the even-odd loop is
    // skipped for them. The y bounds are exact: no edge is crossed at or
    // above the top vertex or below the bottom one. The x bounds carry a
    // margin wider than the rounding of the crossing formula, so no verdict
    // changes; where that formula could overflow or underflow, x is not boxed.
    double boxMinX, boxMaxX, boxMinY, boxMaxY;

    void buildBox()
    {
        const double inf = std::numeric_limits<double>::infinity();
        boxMinX = boxMinY = -inf;
        boxMaxX = boxMaxY = inf;
        double loX = inf, hiX = -inf, loY = inf, hiY = -inf;
        for (const Vertex& v : vertices) {
            if (!std::isfinite(v.first) || !std::isfinite(v.second))
                return; // leave every point to the full test
            loX = std::min(loX, v.first);
            hiX = std::max(hiX, v.first);
            loY = std::min(loY, v.second);
            hiY = std::max(hiY, v.second);
        }
        boxMinY = loY;
        boxMaxY = hiY;

        for (std::size_t i = 0, j = vertices.size() - 1; i < vertices.size(); j = i++) {
            const double dx = vertices[j].first - vertices[i].first;
            const double dy = vertices[j].second - vertices[i].second;
            const double product = std::fabs(dx * dy);
            if (dx != 0.0 && dy != 0.0
                && !(product >= std::numeric_limits<double>::min() && std::isfinite(product)))
                return;
        }
        const double margin = 1e-9 * (std::fabs(loX) + std::fabs(hiX))
                              + 16 * std::numeric_limits<double>::denorm_min();
        boxMinX = loX - margin;
        boxMaxX = hiX + margin;
    }

    bool contains(double x, double y) const
    {
        // Written so that NaN fails the box as it fails the even-odd loop.
        if (!(y >= boxMinY && y < boxMaxY && x >= boxMinX && x <= boxMaxX))
            return false;
        return evenOddInside(x, y, vertices.data(), vertices.size());
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

std::vector<int> EventFilter::apply(const FeatureColumns& columns, std::size_t n) const
{
    std::vector<int> kept;
    kept.reserve(n);

    std::vector<RangeEntry> ranges;
    std::vector<PolygonEntry> polygons;
    for (const FilterRule& rule : rules) {
        if (!rule.enabled)
            continue;
        if (rule.type == 0) {
            if (const std::vector<double>* column = usableColumn(columns, rule.featureName, n))
                ranges.push_back({column->data(), rule.minValue, rule.maxValue, rule.inverted});
        } else if (rule.type == 1 && rule.polygonVertices.size() >= 3) {
            const std::vector<double>* xs = usableColumn(columns, rule.featureName, n);
            const std::vector<double>* ys = usableColumn(columns, rule.featureNameY, n);
            if (!xs || !ys)
                continue;
            PolygonEntry entry{xs->data(), ys->data(), normalizeScaleMode(rule.scaleXMode),
                               normalizeScaleMode(rule.scaleYMode), rule.inverted, {}, 0, 0, 0, 0};
            entry.vertices.reserve(rule.polygonVertices.size());
            for (const Vertex& v : rule.polygonVertices)
                entry.vertices.emplace_back(transformRuleAxisValue(v.first, entry.xMode),
                                            transformRuleAxisValue(v.second, entry.yMode));
            entry.buildBox();
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
    const unsigned char keepWhen = mode == 0 ? 1 : 0;
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
        for (const PolygonEntry& p : polygons) {
            const double* xs = p.xs + base;
            const double* ys = p.ys + base;
            for (std::size_t k = 0; k < len; ++k) {
                if (!pass[k])
                    continue;
                const double tx = transformRuleAxisValue(xs[k], p.xMode);
                const double ty = transformRuleAxisValue(ys[k], p.yMode);
                pass[k] = p.contains(tx, ty) != p.inverted;
            }
        }
        for (std::size_t k = 0; k < len; ++k)
            if (pass[k] == keepWhen)
                kept.push_back(static_cast<int>(base + k));
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
