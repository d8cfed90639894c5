#include "widgets/columnstatistics.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

using namespace Tessary;

namespace {
const double NaN = std::numeric_limits<double>::quiet_NaN();
const double Inf = std::numeric_limits<double>::infinity();
}

TEST(ColumnStatistics, EmptyColumnGivesZeros)
{
    const ColumnStatistics s = computeColumnStatistics({});
    EXPECT_EQ(s.mean, 0.0);
    EXPECT_EQ(s.sd, 0.0);
    EXPECT_EQ(s.q1, 0.0);
    EXPECT_EQ(s.median, 0.0);
    EXPECT_EQ(s.q3, 0.0);
    EXPECT_EQ(s.iqr, 0.0);
}

TEST(ColumnStatistics, SingleOrEqualValuesHaveNoSpread)
{
    const ColumnStatistics s = computeColumnStatistics({5.0});
    EXPECT_EQ(s.mean, 5.0);
    EXPECT_EQ(s.sd, 0.0);
    EXPECT_EQ(s.q1, 5.0);
    EXPECT_EQ(s.median, 5.0);
    EXPECT_EQ(s.q3, 5.0);
    EXPECT_EQ(s.iqr, 0.0);

    // The plain mean of ten 0.1 differs from 0.1 in its last bit.
    const ColumnStatistics equal = computeColumnStatistics(std::vector<double>(10, 0.1));
    EXPECT_EQ(equal.mean, 0.1);
    EXPECT_EQ(equal.sd, 0.0);
}

TEST(ColumnStatistics, SampleSdAndInterpolatedQuartiles)
{
    // Sample SD of 1..4 is sqrt(5/3); type-7 quartiles interpolate between ranks.
    const ColumnStatistics s = computeColumnStatistics({1, 2, 3, 4});
    EXPECT_DOUBLE_EQ(s.mean, 2.5);
    EXPECT_DOUBLE_EQ(s.sd, std::sqrt(5.0 / 3.0));
    EXPECT_DOUBLE_EQ(s.q1, 1.75);
    EXPECT_DOUBLE_EQ(s.median, 2.5);
    EXPECT_DOUBLE_EQ(s.q3, 3.25);
    EXPECT_DOUBLE_EQ(s.iqr, 1.5);
}

TEST(ColumnStatistics, UnsortedInputIsSortedForQuartiles)
{
    const std::vector<double> values{10, 1, 4};
    const ColumnStatistics s = computeColumnStatistics(values);
    EXPECT_DOUBLE_EQ(s.q1, 2.5);
    EXPECT_DOUBLE_EQ(s.median, 4.0);
    EXPECT_DOUBLE_EQ(s.q3, 7.0);
    EXPECT_DOUBLE_EQ(s.mean, 5.0);
    // The caller's column keeps its order.
    EXPECT_EQ(values, (std::vector<double>{10, 1, 4}));
}

TEST(ColumnStatistics, KnownValuesOfLargerColumn)
{
    // 2, 4, 4, 4, 5, 5, 7, 9: mean 5, sum of squares 32, sample SD sqrt(32/7);
    // h = 1.75 -> 4; h = 3.5 -> 4.5; h = 5.25 -> 5 + 0.25 * 2 = 5.5.
    const ColumnStatistics s = computeColumnStatistics({9, 4, 2, 5, 4, 7, 4, 5});
    EXPECT_DOUBLE_EQ(s.mean, 5.0);
    EXPECT_DOUBLE_EQ(s.sd, std::sqrt(32.0 / 7.0));
    EXPECT_DOUBLE_EQ(s.q1, 4.0);
    EXPECT_DOUBLE_EQ(s.median, 4.5);
    EXPECT_DOUBLE_EQ(s.q3, 5.5);
    EXPECT_DOUBLE_EQ(s.iqr, 1.5);

    // Values far apart in size: the small ones still count in the mean.
    EXPECT_EQ(computeColumnStatistics({1e300, -1e300, 5, 7}).mean, 3.0);
    EXPECT_EQ(computeColumnStatistics({1e300, 5, -1e300, 7}).mean, 3.0);
}

TEST(ColumnStatistics, NaNMakesMeanAndSdNaNAndSortsLast)
{
    // The numbers 1..4 come first in the order, the NaN values after them.
    const ColumnStatistics s = computeColumnStatistics({NaN, 3, 1, NaN, 4, 2, NaN});
    EXPECT_TRUE(std::isnan(s.mean));
    EXPECT_TRUE(std::isnan(s.sd));
    // Sorted: 1 2 3 4 NaN NaN NaN; h(0.25) = 1.5 -> 2.5. The median (h = 3)
    // is rank 3 exactly; its NaN neighbour has weight 0. Q3 (h = 4.5) is NaN.
    EXPECT_DOUBLE_EQ(s.q1, 2.5);
    EXPECT_DOUBLE_EQ(s.median, 4.0);
    EXPECT_TRUE(std::isnan(s.q3));
}

TEST(ColumnStatistics, InfinityNextToAnExactRankLeavesItAlone)
{
    // Sorted: 1 2 3 inf inf; the median (h = 2) is rank 2 exactly, and its
    // upper neighbour, of weight 0, is infinite.
    const ColumnStatistics s = computeColumnStatistics({Inf, 3, 1, Inf, 2});
    EXPECT_DOUBLE_EQ(s.median, 3.0);
    EXPECT_EQ(s.q3, Inf);
}

TEST(ColumnStatistics, ManyNaNAmongNumbersStaysSound)
{
    // Large enough for introsort's unguarded partitioning, which runs off the
    // range with a comparison that is not a strict weak ordering.
    std::mt19937 random(7);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> values;
    for (int i = 0; i < 20000; ++i)
        values.push_back(i % 3 == 0 ? NaN : uniform(random));
    const ColumnStatistics s = computeColumnStatistics(values);
    EXPECT_TRUE(std::isnan(s.mean));
    EXPECT_GE(s.q1, 0.0);
    EXPECT_LE(s.q1, 1.0);
    EXPECT_LE(s.q1, s.median);
}

TEST(ColumnStatistics, QuartilesMatchFullySortedColumnForManySizes)
{
    // The quartiles are picked without sorting everything; compare with the
    // ranks of a fully sorted copy, for sizes where the ranks coincide or touch.
    std::mt19937 random(11);
    std::uniform_int_distribution<int> value(0, 20); // many ties
    for (std::size_t n = 1; n <= 40; ++n) {
        std::vector<double> values(n);
        for (double& v : values)
            v = value(random);
        std::vector<double> sorted(values);
        std::sort(sorted.begin(), sorted.end());
        const auto at = [&sorted, n](double p) {
            const double h = (n - 1) * p;
            const std::size_t k = static_cast<std::size_t>(h);
            const double f = h - k;
            return k + 1 >= n ? sorted[k] : f * sorted[k + 1] + (1 - f) * sorted[k];
        };
        const ColumnStatistics s = computeColumnStatistics(values);
        EXPECT_DOUBLE_EQ(s.q1, at(0.25)) << "n = " << n;
        EXPECT_DOUBLE_EQ(s.median, at(0.5)) << "n = " << n;
        EXPECT_DOUBLE_EQ(s.q3, at(0.75)) << "n = " << n;
    }
}
