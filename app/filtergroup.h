#pragma once

#include "rtdc/filterrule.h"

#include <string>
#include <vector>

namespace Tessary {

// A named list of rules shared by every dataset and switched on per dataset
// (DatasetEntry::groupEnabled).
struct FilterGroup {
    int id = -1;
    std::string name;
    std::vector<FilterRule> rules;
};

} // namespace Tessary
