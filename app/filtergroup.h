#pragma once

#include "rtdc/filterrule.h"

#include <string>
#include <vector>

namespace Tessary {

// The largest group id whose polygon gates can be numbered on the plot
// ((id + 100) * 10000 + rule index stays within an int).
constexpr int kMaxFilterGroupId = 214000;

// A named list of rules shared by every dataset and switched on per dataset
// (DatasetEntry::groupEnabled).
struct FilterGroup {
    int id = -1;
    std::string name;
    std::vector<FilterRule> rules;
};

} // namespace Tessary
