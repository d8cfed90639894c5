#include "calc/flrefinement.h"

#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cmath>

using namespace Tessary;

namespace {

std::vector<float> triangle(size_t length, size_t peakAt, float height, float halfBase)
{
    std::vector<float> t(length);
    for (size_t i = 0; i < length; ++i)
        t[i] = std::max(0.0f, height * (1.0f - std::abs(float(i) - float(peakAt)) / halfBase));
    return t;
}

// A measurement with fluorescence traces, written and opened.
struct TracedMeasurement
{
    explicit TracedMeasurement(size_t events)
    {
        Fixtures::StandardOptions options;
        options.traces = true;
        Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), events, options);
        opened = reader.open(dir.file("m.rtdc"));
        metadata = reader.readMetadata();
    }
    Fixtures::TempDir dir;
    RTDCReader reader;
    RTDCMetadata metadata;
    bool opened = false;
};

} // namespace

TEST(FLRefinementTest, PeakOfATriangleHasItsHalfWidth)
{
    // A triangle of half base 10 is 10 samples wide at half height.
    const FLRefinement::Peak p = FLRefinement::findPeak(triangle(100, 40, 1000, 10), 1.0, 400);
    EXPECT_DOUBLE_EQ(p.height, 1000);
    EXPECT_DOUBLE_EQ(p.position, 40);
    EXPECT_NEAR(p.width, 10.0, 1e-9);
}

TEST(FLRefinementTest, SamplePeriodScalesPositionAndWidth)
{
    const FLRefinement::Peak p = FLRefinement::findPeak(triangle(100, 40, 1000, 10), 0.5, 400);
    EXPECT_DOUBLE_EQ(p.position, 20);
    EXPECT_NEAR(p.width, 5.0, 1e-9);
}

TEST(FLRefinementTest, PeakCutByTheTraceEndIsMeasuredToTheEnd)
{
    const FLRefinement::Peak p = FLRefinement::findPeak(triangle(20, 0, 1000, 10), 1.0, 400);
    EXPECT_DOUBLE_EQ(p.position, 0);
    EXPECT_NEAR(p.width, 5.0, 1e-9);
}

TEST(FLRefinementTest, LowPeakKeepsHeightButNoPositionOrWidth)
{
    const FLRefinement::Peak p = FLRefinement::findPeak(triangle(50, 20, 300, 5), 1.0, 400);
    EXPECT_DOUBLE_EQ(p.height, 300);
    EXPECT_TRUE(std::isnan(p.position));
    EXPECT_TRUE(std::isnan(p.width));
}

TEST(FLRefinementTest, EmptyOrNaNTraceGivesNaN)
{
    EXPECT_TRUE(std::isnan(FLRefinement::findPeak({}, 1.0, 0).height));
    EXPECT_TRUE(std::isnan(FLRefinement::findPeak({NAN, NAN}, 1.0, 0).height));
}

TEST(FLRefinementTest, StoresRefinedFeaturesOfEveryChannel)
{
    TracedMeasurement m(30);
    ASSERT_TRUE(m.opened);
    RTDCReader& reader = m.reader;
    FLRefinement engine;
    RefinementSettings settings;
    settings.peakThreshold = 0.0;
    ASSERT_TRUE(engine.compute(&reader, m.metadata, settings));
    for (const char* name : {"fl1_max_rf", "fl1_pos_rf", "fl1_width_rf", "fl2_max_rf", "fl2_pos_rf", "fl2_width_rf"}) {
        ASSERT_TRUE(reader.hasFeature(name)) << name;
        EXPECT_EQ(reader.readFeature(name).size(), 30u) << name;
    }
    const std::vector<std::string> traces = reader.traceNames();
    EXPECT_NE(std::find(traces.begin(), traces.end(), "fl1_median_rf"), traces.end());
    // Each refined height is the maximum of its refined trace.
    const std::vector<float> row = reader.readTrace("fl2_median_rf", 7);
    EXPECT_DOUBLE_EQ(reader.readFeature("fl2_max_rf")[7], *std::max_element(row.begin(), row.end()));
}

// A stop ends the run it was requested for within an event, storing nothing;
// the next run has its own and refines.
TEST(FLRefinementTest, StopEndsOnlyItsOwnRun)
{
    TracedMeasurement m(400);
    ASSERT_TRUE(m.opened);
    FLRefinement engine;
    std::atomic<bool> stop{false};
    int lastPercent = 0;
    QObject::connect(&engine, &FLRefinement::progressChanged, [&](int percent) {
        lastPercent = percent;
        if (percent >= 10)
            stop = true;
    });
    EXPECT_FALSE(engine.compute(&m.reader, m.metadata, RefinementSettings(), &stop));
    EXPECT_EQ(lastPercent, 10);
    EXPECT_FALSE(m.reader.hasFeature("fl1_max_rf"));

    std::atomic<bool> next{false};
    EXPECT_TRUE(engine.compute(&m.reader, m.metadata, RefinementSettings(), &next));
    EXPECT_TRUE(m.reader.hasFeature("fl1_max_rf"));
}

TEST(FLRefinementTest, DatasetWithoutTracesIsRefused)
{
    Fixtures::TempDir dir;
    const std::string path = dir.file("m.rtdc");
    Fixtures::writeStandardMeasurement(path, 5);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path));
    FLRefinement engine;
    EXPECT_FALSE(engine.compute(&reader, reader.readMetadata(), RefinementSettings()));
    EXPECT_FALSE(engine.compute(nullptr, RTDCMetadata(), RefinementSettings()));
    EXPECT_FALSE(reader.hasFeature("fl1_max_rf"));

    // A channel number beyond int names no channel (and throws nothing).
    Fixtures::standardMeasurement(5).trace("fl99999999999_raw", std::vector<int16_t>(50, 1), 5, 10).write(dir.file("odd.rtdc"));
    RTDCReader odd;
    ASSERT_TRUE(odd.open(dir.file("odd.rtdc")));
    ASSERT_TRUE(odd.hasTraces());
    EXPECT_FALSE(engine.compute(&odd, odd.readMetadata(), RefinementSettings()));
}
