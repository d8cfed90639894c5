#include "widgets/columnstatistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Tessary {

namespace {

double percentileOfSorted(const std::vector<double>& sorted, double p)
{
    const std::size_t n = sorted.size();
    const double h = static_cast<double>(n - 1) * p;
    const std::size_t k = static_cast<std::size_t>(std::floor(h));
    const double f = h - static_cast<double>(k);
    if (k + 1 >= n)
        return sorted[k];
    return f * sorted[k + 1] + (1.0 - f) * sorted[k];
}

} // namespace

ColumnStatistics computeColumnStatistics(const std::vector<double>& values)
{
    ColumnStatistics stats;
    const std::size_t n = values.size();
    if (n == 0)
        return stats;

    double sum = 0.0;
    for (double v : values)
        sum += v;
    stats.mean = sum / static_cast<double>(n);

    if (n >= 2) {
        double squares = 0.0;
        for (double v : values) {
            const double d = v - stats.mean;
            squares += d * d;
        }
        stats.sd = std::sqrt(squares / static_cast<double>(n - 1));
    }

    // Plain operator< is no strict weak ordering once NaN is present, and
    // std::sort may then run past the ends of the range. Move the NaN values to
    // the back first and sort only the numbers.
    std::vector<double> sorted(values);
    const auto numbersEnd = std::partition(sorted.begin(), sorted.end(),
                                           [](double v) { return !std::isnan(v); });
    std::sort(sorted.begin(), numbersEnd);

    stats.q1 = percentileOfSorted(sorted, 0.25);
    stats.median = percentileOfSorted(sorted, 0.5);
    stats.q3 = percentileOfSorted(sorted, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tessary
