#pragma once

#include "rtdc/filterrule.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

namespace Tessary {

// Feature name -> column, as read from a dataset. The columns are only
// referenced, never copied; they must outlive the call that uses them.
using FeatureColumns = std::unordered_map<std::string, const std::vector<double>*>;

// A dataset's rule list and how its verdicts combine. A value type: copy it
// freely; apply() reads only its arguments and may run on any thread.
class EventFilter
{
public:
    EventFilter() = default;

    void addRule(const FilterRule& rule);
    void clear(); // removes the rules; combine mode and enabled flag stay
    void removeRule(int index);                         // out of range: no change
    void replaceRule(int index, const FilterRule& rule); // out of range: no change
    int ruleCount() const;

    // 0 keeps the events that pass every usable rule; any other value keeps
    // exactly the rest (those failing at least one).
    int combineMode() const { return mode; }
    void setCombineMode(int combineMode) { mode = combineMode; }
    // Callers decide whether to apply a disabled filter; apply() ignores it.
    bool isEnabled() const { return enabled; }
    void setEnabled(bool on) { enabled = on; }

    // Features apply() may read, first use first, without duplicates.
    std::vector<std::string> usedFeatures() const;

    // Indices of the kept events among the first n, ascending. A rule whose
    // column is absent, null or shorter than n is skipped; with no usable
    // rule every index is kept.
    std::vector<int> apply(const FeatureColumns& columns, std::size_t n) const;
    // Whether apply() would judge the events by at least one enabled rule.
    bool hasUsableRule(const FeatureColumns& columns, std::size_t n) const;
    // The same filter with only the rules apply() would judge by: what a
    // record of the kept events may state.
    EventFilter usableRulesOnly(const FeatureColumns& columns, std::size_t n) const;

    std::vector<FilterRule> rules;

private:
    int32_t mode = 0;
    bool enabled = true;
};

// Even-odd test with a ray towards +x; the polygon closes implicitly. A NaN
// coordinate is outside; an empty list contains nothing.
bool pointInPolygon(double x, double y, const std::vector<std::pair<double, double>>& vertices);

} // namespace Tessary
