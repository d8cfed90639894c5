#pragma once

#include <vector>

namespace Tessary {

// Summary of one column of feature values.
struct ColumnStatistics
{
    double mean = 0.0;
    double sd = 0.0;     // sample standard deviation (n - 1), 0 for one value
    double q1 = 0.0;
    double median = 0.0;
    double q3 = 0.0;
    double iqr = 0.0;    // q3 - q1
};

// The mean of values (a compensated sum, so values of very different sizes
// keep the small ones) and the sums of their squared and cubed deviations from
// it. The deviations are summed around one of the values, so a column of equal
// values (a chip temperature) has exactly no spread, where the rounding of a
// plain mean would leave a tiny one. An empty column gives zeros; NaN gives NaN.
struct ColumnMoments
{
    double mean = 0.0;
    double squares = 0.0;
    double cubes = 0.0;
};
ColumnMoments computeColumnMoments(const std::vector<double>& values);

// Mean, sample standard deviation and the quartiles (linear interpolation
// between neighbouring ranks) of values. An empty column gives all zeros. A
// column holding NaN gives a NaN mean and SD; NaN ranks after every number, so
// a quartile that takes a value from those ranks is NaN too. Linear time: the
// ranks are selected, not sorted.
ColumnStatistics computeColumnStatistics(const std::vector<double>& values);

} // namespace Tessary
