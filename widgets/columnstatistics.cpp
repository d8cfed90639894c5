#include "widgets/columnstatistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <limits>

namespace Tessary {

namespace {

// The values that ranks of the sorted column hold, found by partial selection
// in ascending rank order: v[0, numbers) are the numbers (NaN moved behind
// them), every rank at or beyond `numbers` holds NaN. v is reordered.
class RankSelector
{
public:
    RankSelector(std::vector<double>& v, std::size_t numbers) : v(v), numbers(numbers) {}

    double at(std::size_t rank)
    {
        if (rank >= numbers)
            return std::numeric_limits<double>::quiet_NaN();
        if (rank >= placed) {
            std::nth_element(v.begin() + static_cast<std::ptrdiff_t>(placed),
                             v.begin() + static_cast<std::ptrdiff_t>(rank),
                             v.begin() + static_cast<std::ptrdiff_t>(numbers));
            placed = rank + 1;
        }
        return v[rank];
    }

private:
    std::vector<double>& v;
    std::size_t numbers;
    std::size_t placed = 0; // v[0, placed) hold their sorted values
};

// Ascending p only: the selector moves forward through the ranks.
double percentile(RankSelector& ranks, std::size_t n, double p)
{
    const double h = static_cast<double>(n - 1) * p;
    const std::size_t k = static_cast<std::size_t>(std::floor(h));
    const double f = h - static_cast<double>(k);
    const double low = ranks.at(k);
    if (k + 1 >= n)
        return low;
    return f * ranks.at(k + 1) + (1.0 - f) * low;
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

    // Plain operator< is no strict weak ordering once NaN is present: move the
    // NaN values to the back first and select only among the numbers. Partial
    // selection gives the values a full sort would put at those ranks.
    std::vector<double> work(values);
    const auto numbersEnd = std::partition(work.begin(), work.end(),
                                           [](double v) { return !std::isnan(v); });
    RankSelector ranks(work, static_cast<std::size_t>(numbersEnd - work.begin()));
    stats.q1 = percentile(ranks, n, 0.25);
    stats.median = percentile(ranks, n, 0.5);
    stats.q3 = percentile(ranks, n, 0.75);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tessary
