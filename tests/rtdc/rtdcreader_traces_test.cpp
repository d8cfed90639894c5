#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"
#include "readertesting.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::StderrCapture;
using Testing::startsWith;

namespace {

constexpr std::size_t events = 4;
constexpr std::size_t length = 30;

// Small noise around 0 with one spike per row, as int16 and as float32.
std::vector<int16_t> int16Rows()
{
    std::vector<int16_t> rows(events * length);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = int16_t(int(i * 7 % 5) - 2 - (i % length == 10 ? 30000 : 0));
    return rows;
}

std::vector<float> floatRows()
{
    std::vector<float> rows(events * length);
    for (std::size_t i = 0; i < rows.size(); ++i)
        rows[i] = 0.25f * float(i % 4) + (i % length == 12 ? 500.5f : 0.0f);
    return rows;
}

class RTDCReaderTracesTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        RtdcFileBuilder b;
        b.feature("deform", std::vector<float>(events, 0.1f))
            .trace("fl1_raw", int16Rows(), events, length)
            .trace("fl1_median", floatRows(), events, length, {2, 4})
            .trace("fl1_max_pos", std::vector<float>(events * length, 1.f), events, length)
            .dataset("/events/trace/fl2_raw", std::vector<float>(events, 1.f), {});
        b.write(dir.file("t.rtdc"));
        builder = b;
        ASSERT_TRUE(reader.open(dir.file("t.rtdc")));
    }

    Fixtures::TempDir dir;
    RtdcFileBuilder builder;
    RTDCReader reader;
};

std::vector<float> smoothed(std::vector<float> row, const TraceOptions& options = {})
{
    applyTraceOptions(row, options);
    return row;
}

} // namespace

// ---- stored traces --------------------------------------------------------------

TEST_F(RTDCReaderTracesTest, ListsOnlyMedianAndRawTracesOfRankTwo)
{
    EXPECT_TRUE(reader.hasTraces());
    EXPECT_EQ(reader.traceNames(), (std::vector<std::string>{"fl1_median", "fl1_raw"}));
    EXPECT_EQ(reader.traceLength(), length);
    EXPECT_TRUE(reader.readTrace("fl2_raw", 0).empty()); // rank 1 counts as absent
    EXPECT_TRUE(reader.readTrace("fl1_max_pos", 0).empty());
}

TEST_F(RTDCReaderTracesTest, RowsOfEveryIntegerAndFloatTypeReadExactly)
{
    for (std::size_t index = 0; index < events; ++index) {
        EXPECT_EQ(reader.readTrace("fl1_raw", index), builder.traceRow("fl1_raw", index)) << index;
        EXPECT_EQ(reader.readTrace("fl1_median", index), builder.traceRow("fl1_median", index)) << index;
    }
    EXPECT_EQ(reader.readTrace("fl1_raw", 0)[10], -30002.0f);

    // Converted files store other types: unsigned 16-bit samples above 32767
    // and 32-bit ones beyond the 16-bit range keep their values.
    std::vector<uint16_t> unsignedRows(events * length);
    std::vector<int32_t> wideRows(events * length);
    for (std::size_t i = 0; i < unsignedRows.size(); ++i) {
        unsignedRows[i] = uint16_t(32000 + i * 1117 % 33536);
        wideRows[i] = int32_t(i % 2 ? 70000 + i : -90000 - int32_t(i));
    }
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>(events, 0.1f))
        .dataset("/events/trace/fl3_raw", unsignedRows, {events, length})
        .dataset("/events/trace/fl4_raw", wideRows, {events, length});
    b.write(dir.file("converted.rtdc"));
    RTDCReader converted;
    ASSERT_TRUE(converted.open(dir.file("converted.rtdc")));
    for (std::size_t index = 0; index < events; ++index) {
        const auto first = std::ptrdiff_t(index * length);
        EXPECT_EQ(converted.readTrace("fl3_raw", index),
                  std::vector<float>(unsignedRows.begin() + first, unsignedRows.begin() + first + length)) << index;
        EXPECT_EQ(converted.readTrace("fl4_raw", index),
                  std::vector<float>(wideRows.begin() + first, wideRows.begin() + first + length)) << index;
    }
}

TEST_F(RTDCReaderTracesTest, IndexPastTheEndGivesAnEmptyRowSilently)
{
    reader.setComputedTrace("fl1_median_rf", "fl1_raw");
    StderrCapture capture;
    EXPECT_TRUE(reader.readTrace("fl1_raw", events).empty());
    EXPECT_TRUE(reader.readTrace("fl1_median_rf", events).empty());
    EXPECT_TRUE(reader.readTrace("", 0).empty());
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(RTDCReaderTracesTest, FileWithoutTraceGroupHasNoTraces)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.1f});
    b.write(dir.file("plain.rtdc"));
    RTDCReader plain;
    ASSERT_TRUE(plain.open(dir.file("plain.rtdc")));
    EXPECT_FALSE(plain.hasTraces());
    EXPECT_EQ(plain.traceLength(), 0u);
    EXPECT_TRUE(plain.readTrace("fl1_raw", 0).empty());
}

TEST_F(RTDCReaderTracesTest, RowsLongerThanAnyInstrumentRecordsAreUnreadable)
{
    // 10^8 samples per event claimed by a file of a few kB; it sorts first,
    // so it would decide the trace length.
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>(events, 0.1f)).trace("fl2_raw", floatRows(), events, length);
    b.write(dir.file("long.rtdc"));
    Fixtures::addUnstoredTrace(dir.file("long.rtdc"), "fl1_raw", events, 100000000);
    RTDCReader damaged;
    StderrCapture capture;
    ASSERT_TRUE(damaged.open(dir.file("long.rtdc")));
    EXPECT_TRUE(damaged.readTrace("fl1_raw", 0).empty());
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(startsWith(lines[0], "Error reading trace 'fl1_raw': ")) << lines[0];
    EXPECT_EQ(damaged.traceNames(), std::vector<std::string>{"fl2_raw"});
    EXPECT_EQ(damaged.unreadableTraces(), std::vector<std::string>{"fl1_raw"});
    EXPECT_EQ(damaged.traceLength(), length);
    EXPECT_EQ(damaged.readTrace("fl2_raw", 1), builder.traceRow("fl1_median", 1));
}

// ---- computed traces -------------------------------------------------------------

TEST_F(RTDCReaderTracesTest, ComputedTraceIsTheSourceThroughTheDefaultChain)
{
    reader.setComputedTrace("fl1_median_rf", "fl1_raw");
    EXPECT_EQ(reader.traceNames(), (std::vector<std::string>{"fl1_median", "fl1_median_rf", "fl1_raw"}));
    const std::vector<float> raw = builder.traceRow("fl1_raw", 1);
    std::vector<float> expected = raw;
    hampelFilter(expected, 5, 3.0f);
    hampelFilter(expected, 11, 3.0f);
    savitzkyGolaySmooth(expected, 3);
    EXPECT_EQ(reader.readTrace("fl1_median_rf", 1), expected);
    EXPECT_NE(expected, raw);
    EXPECT_EQ(reader.readTrace("fl1_median_rf", 1), expected); // from the cache
}

TEST_F(RTDCReaderTracesTest, EveryStepOffGivesTheSourceRow)
{
    reader.setComputedTrace("fl1_raw_rf", "fl1_raw");
    reader.setTraceOptions(false, 5, 3.0f, false, 11, 3.0f, false, 3, false, 3, false, 3);
    EXPECT_EQ(reader.readTrace("fl1_raw_rf", 2), builder.traceRow("fl1_raw", 2));
}

TEST_F(RTDCReaderTracesTest, NewOptionsApplyToTheNextRead)
{
    reader.setComputedTrace("fl1_median_rf", "fl1_median");
    const auto first = reader.readTrace("fl1_median_rf", 0);
    EXPECT_EQ(first, smoothed(builder.traceRow("fl1_median", 0)));
    reader.setTraceOptions(false, 5, 3.0f, false, 11, 3.0f, true, 2, true, 1, false, 3);
    TraceOptions options;
    options.hampel1Enabled = options.hampel2Enabled = options.savgolEnabled = false;
    options.medianEnabled = options.rollingAvgEnabled = true;
    options.medianWindow = 2;
    options.rollingAvgWindow = 1;
    EXPECT_EQ(reader.readTrace("fl1_median_rf", 0), smoothed(builder.traceRow("fl1_median", 0), options));
}

TEST_F(RTDCReaderTracesTest, ChangingTheSourceEmptiesTheCache)
{
    reader.setComputedTrace("fl1_rf", "fl1_raw");
    EXPECT_EQ(reader.readTrace("fl1_rf", 0), smoothed(builder.traceRow("fl1_raw", 0)));
    reader.setComputedTrace("fl1_rf", "fl1_median");
    EXPECT_EQ(reader.readTrace("fl1_rf", 0), smoothed(builder.traceRow("fl1_median", 0)));
    EXPECT_EQ(reader.traceNames().size(), 3u);
}

TEST_F(RTDCReaderTracesTest, ComputedTraceOfAComputedTraceSmoothsTwice)
{
    reader.setComputedTrace("fl1_a", "fl1_raw");
    reader.setComputedTrace("fl1_b", "fl1_a");
    EXPECT_EQ(reader.readTrace("fl1_b", 3), smoothed(smoothed(builder.traceRow("fl1_raw", 3))));
}

TEST_F(RTDCReaderTracesTest, SourceChainLeadingBackIsRefused)
{
    reader.setComputedTrace("fl1_a", "fl1_raw");
    reader.setComputedTrace("fl1_b", "fl1_a");
    StderrCapture capture;
    reader.setComputedTrace("fl1_a", "fl1_b"); // would loop a -> b -> a
    reader.setComputedTrace("fl1_c", "fl1_c");
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[0], "Error registering computed trace 'fl1_a'")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], "Error registering computed trace 'fl1_c'")) << lines[1];
    // The earlier registration stands, and reading ends.
    EXPECT_EQ(reader.readTrace("fl1_a", 0), smoothed(builder.traceRow("fl1_raw", 0)));
    EXPECT_EQ(reader.traceNames().size(), 4u);
}

TEST_F(RTDCReaderTracesTest, ComputedTraceOfAMissingSourceIsEmpty)
{
    reader.setComputedTrace("fl3_median_rf", "fl3_raw");
    StderrCapture capture;
    EXPECT_TRUE(reader.readTrace("fl3_median_rf", 0).empty());
    EXPECT_TRUE(capture.lines().empty());
}
