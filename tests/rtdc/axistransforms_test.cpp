#include "rtdc/axistransforms.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <random>

using namespace Tessary;

namespace {

const double NaN = std::numeric_limits<double>::quiet_NaN();

double relativeError(double a, double b)
{
    return std::fabs(a - b) / std::max(1.0, std::fabs(b));
}

} // namespace

TEST(AxisTransforms, PseudoLogMeetsTheKnownPoints)
{
    const PseudoLogFormula& f = defaultPseudoLog();
    EXPECT_DOUBLE_EQ(f.forward(0.0), 0.0);
    EXPECT_DOUBLE_EQ(f.forward(50.0), 0.25);
    EXPECT_DOUBLE_EQ(f.forward(100.0), 0.5);
    EXPECT_DOUBLE_EQ(f.forward(1000.0), 1.5);
    EXPECT_DOUBLE_EQ(f.forward(-1000.0), -1.5);
    EXPECT_DOUBLE_EQ(f.forward(-50.0), -0.25);

    EXPECT_DOUBLE_EQ(f.inverse(0.25), 50.0);
    EXPECT_DOUBLE_EQ(f.inverse(0.5), 100.0);
    EXPECT_DOUBLE_EQ(f.inverse(1.5), 1000.0);
    EXPECT_DOUBLE_EQ(f.inverse(-1.5), -1000.0);
}

TEST(AxisTransforms, PseudoLogIsContinuousAndRisingAcrossTheSeam)
{
    const PseudoLogFormula& f = defaultPseudoLog();
    const double justAbove = f.forward(100.0001);
    EXPECT_GT(justAbove, 0.5);
    EXPECT_LT(justAbove, 0.5 + 1e-6);
    EXPECT_LT(f.forward(-100.0001), -0.5);
    EXPECT_GT(f.forward(-100.0001), -0.5 - 1e-6);
    EXPECT_LT(f.forward(99.9999), 0.5);
}

TEST(AxisTransforms, PseudoLogKeepsNaN)
{
    EXPECT_TRUE(std::isnan(defaultPseudoLog().forward(NaN)));
    EXPECT_TRUE(std::isnan(defaultPseudoLog().inverse(NaN)));
}

TEST(AxisTransforms, PseudoLogRoundTripsOverManyDecades)
{
    std::mt19937_64 rng(7);
    std::uniform_real_distribution<double> exponent(-6.0, 12.0);
    std::bernoulli_distribution negative(0.5);
    const PseudoLogFormula& f = defaultPseudoLog();
    for (int i = 0; i < 20000; ++i) {
        double x = std::pow(10.0, exponent(rng));
        if (negative(rng))
            x = -x;
        EXPECT_LE(relativeError(f.inverse(f.forward(x)), x), 1e-12) << x;
    }
    // The seam itself and a non-default width.
    EXPECT_LE(relativeError(f.inverse(f.forward(100.0)), 100.0), 1e-12);
    const PseudoLogFormula narrow(10.0, 0.1);
    for (double x : {-1e5, -10.0, -3.0, 0.0, 7.5, 10.0, 11.0, 4.2e7})
        EXPECT_LE(relativeError(narrow.inverse(narrow.forward(x)), x), 1e-12) << x;
}

TEST(AxisTransforms, AxisValuesLinearAreCopied)
{
    const std::vector<double> in{-5.0, 0.0, 3.5, 1e9};
    EXPECT_EQ(transformAxisValues(in, ScaleLinear), in);
    const std::vector<double> withNaN = transformAxisValues({NaN}, ScaleLinear);
    ASSERT_EQ(withNaN.size(), 1u);
    EXPECT_TRUE(std::isnan(withNaN[0]));
    EXPECT_TRUE(transformAxisValues({}, ScaleLog).empty());
}

TEST(AxisTransforms, AxisValuesLogUseBaseTenAndZeroForNonPositive)
{
    const std::vector<double> out = transformAxisValues({100.0, 0.0, -5.0, NaN, 1.0}, ScaleLog);
    ASSERT_EQ(out.size(), 5u);
    EXPECT_DOUBLE_EQ(out[0], 2.0);
    EXPECT_EQ(out[1], 0.0);
    EXPECT_EQ(out[2], 0.0);
    EXPECT_EQ(out[3], 0.0);
    EXPECT_EQ(out[4], 0.0);
}

TEST(AxisTransforms, AxisValuesPseudoLogMatchTheFormula)
{
    const std::vector<double> out = transformAxisValues({NaN, 1000.0, -50.0}, ScalePseudoLog);
    ASSERT_EQ(out.size(), 3u);
    EXPECT_TRUE(std::isnan(out[0]));
    EXPECT_DOUBLE_EQ(out[1], 1.5);
    EXPECT_DOUBLE_EQ(out[2], -0.25);
}

TEST(AxisTransforms, RuleValuesLogUseNaturalLogAndOneForNonPositive)
{
    EXPECT_NEAR(transformRuleAxisValue(std::exp(1.0), ScaleLog), 1.0, 1e-15);
    EXPECT_EQ(transformRuleAxisValue(-3.0, ScaleLog), 0.0);
    EXPECT_EQ(transformRuleAxisValue(0.0, ScaleLog), 0.0);
    EXPECT_EQ(transformRuleAxisValue(NaN, ScaleLog), 0.0);
    // 0.0 is where the value 1 lies.
    EXPECT_EQ(transformRuleAxisValue(1.0, ScaleLog), 0.0);
    EXPECT_DOUBLE_EQ(transformRuleAxisValue(1000.0, ScalePseudoLog), 1.5);
    EXPECT_EQ(transformRuleAxisValue(-7.25, ScaleLinear), -7.25);
}

TEST(AxisTransforms, InverseRangeUndoesEachAxisByItsOwnMode)
{
    double x = 2.0, y = 1.5;
    inverseTransformAxisRange(x, y, ScaleLog, ScalePseudoLog);
    EXPECT_DOUBLE_EQ(x, 100.0);
    EXPECT_DOUBLE_EQ(y, 1000.0);

    std::mt19937_64 rng(11);
    std::uniform_real_distribution<double> value(1e-3, 1e6);
    for (int i = 0; i < 2000; ++i) {
        const double vx = value(rng), vy = -value(rng);
        for (int xm : {0, 1, 2})
            for (int ym : {0, 2}) {
                double px = transformAxisValues({vx}, xm)[0];
                double py = transformAxisValues({vy}, ym)[0];
                inverseTransformAxisRange(px, py, xm, ym);
                EXPECT_LE(relativeError(px, vx), 1e-12);
                EXPECT_LE(relativeError(py, vy), 1e-12);
            }
    }
}

// Modes outside 0..2 used to be drawn pseudo-logarithmically by one transform
// but inverted and gated linearly by the others, so a gate kept a region
// other than the one shown. Every transform now reads them as linear, as the
// plot axes do.
TEST(AxisTransforms, UnknownModesAreLinearInEveryTransform)
{
    const std::vector<double> in{-2000.0, -5.0, 0.0, 50.0, 1e4};
    for (int mode : {-1, 3, 5, 7, 1000}) {
        EXPECT_EQ(normalizeScaleMode(mode), ScaleLinear);
        EXPECT_EQ(transformAxisValues(in, mode), in) << mode;
        for (double v : in) {
            EXPECT_EQ(transformRuleAxisValue(v, mode), v) << mode;
            double x = v, y = v;
            inverseTransformAxisRange(x, y, mode, mode);
            EXPECT_EQ(x, v);
            EXPECT_EQ(y, v);
        }
    }
    for (int mode : {0, 1, 2})
        EXPECT_EQ(normalizeScaleMode(mode), mode);
}

// Plot coordinates and gate coordinates must order values the same way in
// every mode, or a gate drawn on the plot keeps a different region.
TEST(AxisTransforms, RuleAndPlotTransformsAgreeUpToTheLogBase)
{
    const std::vector<double> in{-1e5, -150.0, -1.0, 0.0, 0.3, 42.0, 100.0, 7e6, NaN};
    for (int mode : {-3, 0, 1, 2, 9}) {
        const std::vector<double> plot = transformAxisValues(in, mode);
        for (std::size_t i = 0; i < in.size(); ++i) {
            const double rule = transformRuleAxisValue(in[i], mode);
            const double expected = mode == ScaleLog ? plot[i] * std::log(10.0) : plot[i];
            if (std::isnan(expected))
                EXPECT_TRUE(std::isnan(rule)) << mode << " " << in[i];
            else
                EXPECT_NEAR(rule, expected, 1e-12 * std::max(1.0, std::fabs(expected)))
                    << mode << " " << in[i];
        }
    }
}
