#include "rtdc/tracesmoothing.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Tessary;

// ---- Hampel filter -------------------------------------------------------------

TEST(TraceSmoothing, HampelReplacesAnOutlierByTheUpperWindowMedian)
{
    // At sample 4 the window {2,3,4,100,5,6} has six values: the median is the
    // upper middle value 5 (not 4 or 4.5); its MAD is 2, so 95 > 3 * 1.4826 * 2.
    std::vector<float> x = {1, 2, 3, 4, 100, 5, 6};
    hampelFilter(x, 3, 3.0f);
    EXPECT_EQ(x, (std::vector<float>{1, 2, 3, 4, 5, 5, 6}));
}

TEST(TraceSmoothing, HampelReplacesSpikeInNoise)
{
    std::vector<float> x;
    for (int i = 0; i < 40; ++i)
        x.push_back(0.1f * float((i * 7) % 5) - 0.2f);
    const std::vector<float> clean = x;
    x[20] = 1000.0f;
    hampelFilter(x, 5, 3.0f);
    EXPECT_NE(x[20], 1000.0f);
    EXPECT_LE(std::fabs(x[20]), 0.2f + 1e-6f);
    for (std::size_t i = 0; i < x.size(); ++i) {
        if (i != 20) {
            EXPECT_EQ(x[i], clean[i]) << i;
        }
    }
}

TEST(TraceSmoothing, HampelKeepsOutlierOfAConstantTrace)
{
    // The deviations of a constant window have a median of 0: nothing counts as outlier.
    std::vector<float> x(15, 2.0f);
    x[7] = 50.0f;
    const std::vector<float> before = x;
    hampelFilter(x, 5, 3.0f);
    EXPECT_EQ(x, before);
}

TEST(TraceSmoothing, HampelOfNothingIsNothing)
{
    std::vector<float> x;
    hampelFilter(x, 5, 3.0f);
    EXPECT_TRUE(x.empty());
}

// ---- moving median and mean -------------------------------------------------------

TEST(TraceSmoothing, MissingSamplesRankAboveEveryNumber)
{
    // One NaN in seven: every window of eleven is mostly numbers, so every
    // median is a number and the spikes are still replaced.
    std::vector<float> x;
    for (int i = 0; i < 210; ++i)
        x.push_back(i % 7 == 3 ? std::nanf("") : float((i * 37) % 11));
    std::vector<float> median = x;
    movingMedian(median, 5);
    for (std::size_t i = 0; i < median.size(); ++i)
        EXPECT_FALSE(std::isnan(median[i])) << i;
    x[100] = 1000.0f;
    hampelFilter(x, 5, 3.0f);
    EXPECT_LT(x[100], 11.0f);
}

TEST(TraceSmoothing, MovingMedianUsesClippedWindows)
{
    std::vector<float> x = {5, 1, 4, 2, 3};
    movingMedian(x, 1);
    // Windows {5,1} {5,1,4} {1,4,2} {4,2,3} {2,3}; even windows take the upper value.
    EXPECT_EQ(x, (std::vector<float>{5, 4, 2, 3, 3}));
}

TEST(TraceSmoothing, MovingMeanShrinksAtTheEnds)
{
    std::vector<float> x = {1, 2, 3, 4, 5, 6, 7, 8};
    movingMean(x, 3);
    // Sample 0 averages samples 0..3, sample 4 averages 1..7, sample 7 averages 4..7.
    EXPECT_EQ(x, (std::vector<float>{2.5f, 3.0f, 3.5f, 4.0f, 5.0f, 5.5f, 6.0f, 6.5f}));
}

TEST(TraceSmoothing, ZeroWindowLeavesTheTrace)
{
    const std::vector<float> input = {3, 1, 2};
    std::vector<float> x = input;
    movingMean(x, 0);
    movingMedian(x, 0);
    EXPECT_EQ(x, input);
}

// ---- Savitzky-Golay -----------------------------------------------------------------

TEST(TraceSmoothing, SavitzkyGolayCoefficientsOfHalfWindowThree)
{
    // An impulse of 21 shows the coefficients (-2, 3, 6, 7, 6, 3, -2).
    std::vector<float> x(13, 0.0f);
    x[6] = 21.0f;
    savitzkyGolaySmooth(x, 3);
    const std::vector<float> expected = {0, 0, 0, -2, 3, 6, 7, 6, 3, -2, 0, 0, 0};
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_NEAR(x[i], expected[i], 1e-5f) << i;
}

TEST(TraceSmoothing, SavitzkyGolayNeedsAFullWindow)
{
    std::vector<float> six = {1, 9, 2, 8, 3, 7};
    const std::vector<float> before = six;
    savitzkyGolaySmooth(six, 3);
    EXPECT_EQ(six, before);

    std::vector<float> seven = {1, 9, 2, 8, 3, 7, 4};
    savitzkyGolaySmooth(seven, 3);
    EXPECT_NEAR(seven[3], (-2 * 1 + 3 * 9 + 6 * 2 + 7 * 8 + 6 * 3 + 3 * 7 - 2 * 4) / 21.0f, 1e-5f);
    seven[3] = 8;
    EXPECT_EQ(seven, (std::vector<float>{1, 9, 2, 8, 3, 7, 4}));
}

TEST(TraceSmoothing, SavitzkyGolayKeepsAParabola)
{
    std::vector<float> x;
    for (int i = 0; i < 21; ++i)
        x.push_back(float((i - 10) * (i - 10)));
    const std::vector<float> parabola = x;
    savitzkyGolaySmooth(x, 5);
    for (std::size_t i = 0; i < x.size(); ++i)
        EXPECT_NEAR(x[i], parabola[i], 1e-3f) << i;
}

// ---- the chain -----------------------------------------------------------------------

TEST(TraceSmoothing, ChainRunsEnabledStepsInOrder)
{
    std::vector<float> input;
    for (int i = 0; i < 60; ++i)
        input.push_back(std::sin(0.3f * float(i)) + (i == 30 ? 40.0f : 0.0f));

    TraceOptions options;
    options.medianEnabled = options.rollingAvgEnabled = true;
    std::vector<float> expected = input;
    hampelFilter(expected, 5, 3.0f);
    hampelFilter(expected, 11, 3.0f);
    movingMedian(expected, 3);
    movingMean(expected, 3);
    savitzkyGolaySmooth(expected, 3);
    std::vector<float> chained = input;
    applyTraceOptions(chained, options);
    EXPECT_EQ(chained, expected);

    TraceOptions off;
    off.hampel1Enabled = off.hampel2Enabled = off.savgolEnabled = false;
    std::vector<float> untouched = input;
    applyTraceOptions(untouched, off);
    EXPECT_EQ(untouched, input);
}
