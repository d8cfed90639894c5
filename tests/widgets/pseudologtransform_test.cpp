#include "widgets/pseudologtransform.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace Tessary;

TEST(PseudoLogTransform, DefaultsPutTheSeamAtHundred)
{
    const PseudoLogTransform t;
    EXPECT_EQ(t.linearWidth(), 100.0);
    EXPECT_DOUBLE_EQ(t.slope(), 0.005);
    EXPECT_DOUBLE_EQ(t.transform(50.0), 0.25);
    EXPECT_DOUBLE_EQ(t.transform(100.0), 0.5);
    EXPECT_DOUBLE_EQ(t.transform(1000.0), 1.5);
    EXPECT_DOUBLE_EQ(t.invTransform(-1.5), -1000.0);
}

TEST(PseudoLogTransform, BuiltFromSeamValueMatchesTheDataLayer)
{
    // The plots and the filter evaluation must agree to the last bit.
    const PseudoLogTransform t(100.0, 0.5);
    for (double x : {-1e6, -250.0, -100.0, -3.0, 0.0, 42.0, 100.0, 100.0001, 7e4}) {
        EXPECT_EQ(t.transform(x), defaultPseudoLog().forward(x)) << x;
        EXPECT_EQ(t.transform(x), transformRuleAxisValue(x, ScalePseudoLog)) << x;
        EXPECT_EQ(t.invTransform(t.transform(x)), defaultPseudoLog().inverse(t.transform(x)));
    }
    EXPECT_TRUE(std::isnan(t.transform(std::nan(""))));
}

TEST(PseudoLogTransform, CopyKeepsParametersAndDoesNotClamp)
{
    const PseudoLogTransform t(10.0, 2.0);
    std::unique_ptr<QwtTransform> copy(t.copy());
    auto* same = dynamic_cast<PseudoLogTransform*>(copy.get());
    ASSERT_NE(same, nullptr);
    EXPECT_EQ(same->linearWidth(), 10.0);
    EXPECT_DOUBLE_EQ(same->slope(), 0.2);
    EXPECT_EQ(same->transform(-5e8), t.transform(-5e8));
    EXPECT_EQ(t.bounded(-5e8), -5e8);
}
