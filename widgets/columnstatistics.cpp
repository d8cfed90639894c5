#include "widgets/columnstatistics.h"

#include <algorithm>
#include <cmath>
#include <cstddef>

namespace Tessary {

namespace {

// Linear interpolation between neighbouring ranks: h = (n - 1) p, the value at
// rank floor(h) plus the fraction of the step to the next rank.
struct Percentile
{
    std::size_t k;
    double f;
};

Percentile percentileRank(std::size_t n, double p)
{
    const double h = static_cast<double>(n - 1) * p;
    const double k = std::floor(h);
    return {static_cast<std::size_t>(k), h - k};
}

double interpolate(const std::vector<double>& ordered, std::size_t n, Percentile rank)
{
    // A neighbour of weight 0 takes no part: 0 * inf (or NaN) would turn an
    // exact rank into NaN.
    if (rank.k + 1 >= n || rank.f == 0.0)
        return ordered[rank.k];
    return rank.f * ordered[rank.k + 1] + (1.0 - rank.f) * ordered[rank.k];
}

// Puts the values of the given ranks (ascending) where a full ascending sort
// would put them, in linear time: each selection leaves everything after its
// rank no smaller, so the next one only looks at the rest.
void placeRanks(std::vector<double>& values, std::vector<double>::iterator end,
                const std::vector<std::size_t>& ranks)
{
    auto from = values.begin();
    for (std::size_t rank : ranks) {
        const auto at = values.begin() + static_cast<std::ptrdiff_t>(rank);
        if (at >= end)
            break;
        if (at >= from) {
            std::nth_element(from, at, end);
            from = at + 1;
        }
    }
}

// The sum of the values in order, with the low-order bits that each addition
// rounds off carried along (Neumaier): [1e300, -1e300, 5, 7] sums to 12, and
// ten times 0.1 to 1. Infinite and NaN values give the plain sum.
double compensatedSum(const std::vector<double>& values)
{
    double sum = 0.0;
    double lost = 0.0;
    for (double v : values) {
        const double next = sum + v;
        lost += std::fabs(sum) >= std::fabs(v) ? (sum - next) + v : (v - next) + sum;
        sum = next;
    }
    return std::isfinite(sum) ? sum + lost : sum;
}

} // namespace

ColumnMoments computeColumnMoments(const std::vector<double>& values)
{
    ColumnMoments moments;
    if (values.empty())
        return moments;
    const double n = static_cast<double>(values.size());
    moments.mean = compensatedSum(values) / n;

    // The deviations are taken of values shifted by one of them: equal values
    // then deviate by exactly 0. The mean itself is not shifted, since values
    // of very different sizes would lose the small ones to the shift.
    const auto firstFinite = std::find_if(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
    const double shift = firstFinite != values.end() ? *firstFinite : 0.0;
    double shiftedSum = 0.0;
    for (double v : values)
        shiftedSum += v - shift;
    const double offset = shiftedSum / n;
    for (double v : values) {
        const double d = (v - shift) - offset;
        moments.squares += d * d;
        moments.cubes += d * d * d;
    }
    return moments;
}

ColumnStatistics computeColumnStatistics(const std::vector<double>& values)
{
    ColumnStatistics stats;
    const std::size_t n = values.size();
    if (n == 0)
        return stats;

    const ColumnMoments moments = computeColumnMoments(values);
    stats.mean = moments.mean;
    if (n >= 2)
        stats.sd = std::sqrt(moments.squares / static_cast<double>(n - 1));

    // Plain operator< is no strict weak ordering once NaN is present, and
    // the standard algorithms may then run past the ends of the range. Move the
    // NaN values to the back first and order only the numbers.
    std::vector<double> ordered(values);
    const auto numbersEnd = std::partition(ordered.begin(), ordered.end(),
                                           [](double v) { return !std::isnan(v); });

    const Percentile ranks[3] = {percentileRank(n, 0.25), percentileRank(n, 0.5),
                                 percentileRank(n, 0.75)};
    placeRanks(ordered, numbersEnd,
               {ranks[0].k, ranks[0].k + 1, ranks[1].k, ranks[1].k + 1, ranks[2].k, ranks[2].k + 1});

    stats.q1 = interpolate(ordered, n, ranks[0]);
    stats.median = interpolate(ordered, n, ranks[1]);
    stats.q3 = interpolate(ordered, n, ranks[2]);
    stats.iqr = stats.q3 - stats.q1;
    return stats;
}

} // namespace Tessary
