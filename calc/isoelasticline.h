#pragma once

#include <utility>
#include <vector>

namespace Tessary {

// One line of equal Young's modulus as the scatter plot draws it.
struct IsoelasticLine
{
    double value = 0.0;                              // modulus in kPa, shown in the label
    std::vector<std::pair<double, double>> points;   // (x, y) in drawing order, feature units
};

} // namespace Tessary
