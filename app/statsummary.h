#pragma once

#include <functional>
#include <string>
#include <vector>

namespace Tessary {

struct StatSummaryOptions;

// The p-th percentile (p in percent) of ascending values, interpolated
// linearly between neighbouring ranks; 0 for no values.
double sortedPercentile(const std::vector<double>& ascending, double p);

// One column of the statistical summary: its name and its value for the
// ascending finite values of one feature. Only "N" is written for no values.
struct SummaryStatistic
{
    std::string name;
    std::function<double(const std::vector<double>&)> value;
    bool isCount = false;
};

// The chosen statistics in the summary's column order.
std::vector<SummaryStatistic> chosenSummaryStatistics(const StatSummaryOptions& options);

// The finite values of a column at the kept indices, sorted ascending.
// Indices beyond the column are left out.
std::vector<double> sortedFiniteValues(const std::vector<double>& column, const std::vector<int>& indices);

} // namespace Tessary
