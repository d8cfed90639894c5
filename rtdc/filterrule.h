#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

namespace Tessary {

// One range rule (type 0) or polygon gate (type 1). The field names are the
// keys of the rule's JSON form in session and filter-group files.
struct FilterRule
{
    int32_t type = 0;          // 0 range rule, 1 polygon gate; anything else is never evaluated
    std::string featureName;   // range feature, or x feature of a gate
    std::string featureNameY;  // y feature of a gate
    double minValue = 0.0;     // inclusive
    double maxValue = 0.0;     // inclusive
    // Gate vertices in feature values (not transformed), in drawing order;
    // the polygon closes implicitly.
    std::vector<std::pair<double, double>> polygonVertices;
    int32_t scaleXMode = 0;    // axis scale mode the gate was drawn on
    int32_t scaleYMode = 0;
    bool enabled = true;
    bool inverted = false;
    std::string propagationId; // shared by the copies of one rule across datasets
};

} // namespace Tessary
