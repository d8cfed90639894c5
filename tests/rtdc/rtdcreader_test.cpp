#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"
#include "readertesting.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <limits>
#include <malloc.h>
#include <thread>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::StderrCapture;
using Testing::startsWith;

namespace {

class RTDCReaderTest : public ::testing::Test
{
protected:
    std::string write(const RtdcFileBuilder& builder, const std::string& name = "t.rtdc")
    {
        const std::string path = dir.file(name);
        builder.write(path);
        return path;
    }
    // A file written directly, for shapes the builder does not make.
    std::string writeRaw(const std::function<void(H5::H5File&)>& fill)
    {
        const std::string path = dir.file("raw.rtdc");
        H5::H5File file(path, H5F_ACC_TRUNC);
        fill(file);
        return path;
    }

    Fixtures::TempDir dir;
};

} // namespace

// ---- stored column types ------------------------------------------------------

TEST_F(RTDCReaderTest, EveryIntegerWidthAndSignReadsExactly)
{
    RtdcFileBuilder b;
    b.feature("i8", std::vector<int8_t>{-128, -1, 127})
        .feature("u8", std::vector<uint8_t>{0, 1, 255})
        .feature("i16", std::vector<int16_t>{-32768, -1, 32767})
        .feature("u16", std::vector<uint16_t>{0, 1, 65535})
        .feature("i32", std::vector<int32_t>{std::numeric_limits<int32_t>::min(), -1, 2147483647})
        .feature("u32", std::vector<uint32_t>{0, 1, 4294967295u})
        .feature("i64", std::vector<int64_t>{-(int64_t(1) << 53), -1, int64_t(1) << 53})
        // Above 2^63: the signed 64-bit memory type would turn these into garbage.
        .feature("u64", std::vector<uint64_t>{0, (uint64_t(1) << 63) + 2048, std::numeric_limits<uint64_t>::max()});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_EQ(reader.readFeature("i8"), (std::vector<double>{-128, -1, 127}));
    EXPECT_EQ(reader.readFeature("u8"), (std::vector<double>{0, 1, 255}));
    EXPECT_EQ(reader.readFeature("i16"), (std::vector<double>{-32768, -1, 32767}));
    EXPECT_EQ(reader.readFeature("u16"), (std::vector<double>{0, 1, 65535}));
    EXPECT_EQ(reader.readFeature("i32"), (std::vector<double>{-2147483648.0, -1, 2147483647}));
    EXPECT_EQ(reader.readFeature("u32"), (std::vector<double>{0, 1, 4294967295.0}));
    EXPECT_EQ(reader.readFeature("i64"), (std::vector<double>{-9007199254740992.0, -1, 9007199254740992.0}));
    EXPECT_EQ(reader.readFeature("u64"), (std::vector<double>{0, 9223372036854777856.0, 18446744073709551616.0}));
    EXPECT_EQ(reader.eventCount(), 3u);
}

TEST_F(RTDCReaderTest, FloatColumnsKeepTheirStoredValues)
{
    RtdcFileBuilder b;
    b.feature("f32", std::vector<float>{0.1f, -3.5e-7f, 1e30f}).feature("f64", std::vector<double>{0.1, -1e-300, 1e300});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_EQ(reader.readFeature("f32"), (std::vector<double>{double(0.1f), double(-3.5e-7f), double(1e30f)}));
    EXPECT_EQ(reader.readFeature("f64"), (std::vector<double>{0.1, -1e-300, 1e300}));
}

TEST_F(RTDCReaderTest, BoolEnumColumnReadsAsZeroAndOne)
{
    RtdcFileBuilder b;
    b.boolFeature("flag", {true, false, true});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_EQ(reader.readFeature("flag"), (std::vector<double>{1, 0, 1}));
}

TEST_F(RTDCReaderTest, StringColumnIsListedAndReadsAsZeros)
{
    RtdcFileBuilder b;
    b.feature("area_um", std::vector<float>{1, 2}).stringFeature("label", {"a", "bc"});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_TRUE(reader.hasFeature("label"));
    StderrCapture capture;
    EXPECT_EQ(reader.readFeature("label"), (std::vector<double>{0, 0}));
    EXPECT_TRUE(capture.lines().empty());
}

// ---- listing -----------------------------------------------------------------

TEST_F(RTDCReaderTest, FeaturesAreSortedAndFramesAreNotScalar)
{
    RtdcFileBuilder b;
    b.feature("time", std::vector<double>{1, 2}).feature("area_um", std::vector<float>{1, 2})
        .image(std::vector<uint8_t>(2 * 3 * 4, 7), 2, 3, 4);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_EQ(reader.features(), (std::vector<std::string>{"area_um", "image", "time"}));
    EXPECT_TRUE(reader.hasImage());
    EXPECT_FALSE(reader.hasMask());
    EXPECT_FALSE(RTDCReader::isScalarFeatureName("image"));
    EXPECT_FALSE(RTDCReader::isScalarFeatureName("mask"));
    EXPECT_FALSE(RTDCReader::isScalarFeatureName("contour"));
    EXPECT_TRUE(RTDCReader::isScalarFeatureName("deform"));
    EXPECT_EQ(reader.eventCount(), 2u);
}

TEST_F(RTDCReaderTest, FileWithoutEventsOpensEmpty)
{
    RtdcFileBuilder b;
    b.withoutEvents().attribute("experiment:sample", "x");
    RTDCReader reader;
    StderrCapture capture;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_TRUE(reader.features().empty());
    EXPECT_EQ(reader.eventCount(), 0u);
    EXPECT_FALSE(reader.hasImage());
    EXPECT_FALSE(reader.hasMask());
    EXPECT_FALSE(reader.hasTraces());
    EXPECT_TRUE(reader.readFeature("deform").empty());
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(RTDCReaderTest, ClosedReaderGivesEmptyResults)
{
    RTDCReader reader;
    EXPECT_FALSE(reader.isOpen());
    EXPECT_TRUE(reader.features().empty());
    EXPECT_EQ(reader.eventCount(), 0u);
    EXPECT_TRUE(reader.readFeature("deform").empty());
    int width = -1, height = -1;
    EXPECT_TRUE(reader.readImage(0, width, height).empty());
    EXPECT_EQ(width, -1);
    EXPECT_TRUE(reader.readTrace("fl1_raw", 0).empty());
}

// ---- damaged input -----------------------------------------------------------

TEST_F(RTDCReaderTest, NonHdf5FileFailsWithOneLine)
{
    Fixtures::writeNotHdf5(dir.file("plain.rtdc"));
    RTDCReader reader;
    StderrCapture capture;
    EXPECT_FALSE(reader.open(dir.file("plain.rtdc")));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(startsWith(lines[0], "Error opening file: ")) << lines[0];
    EXPECT_FALSE(reader.isOpen());
    EXPECT_TRUE(reader.features().empty());
}

TEST_F(RTDCReaderTest, MissingFileFailsWithOneLine)
{
    RTDCReader reader;
    StderrCapture capture;
    EXPECT_FALSE(reader.open(dir.file("absent.rtdc")));
    EXPECT_EQ(capture.lines().size(), 1u);
}

TEST_F(RTDCReaderTest, TruncatedFileNeverCrashes)
{
    Fixtures::StandardOptions options;
    options.images = options.masks = options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("full.rtdc"), 300, options);
    const std::size_t size = Fixtures::fileSize(dir.file("full.rtdc"));
    for (const std::size_t bytes : {std::size_t(0), std::size_t(100), size / 10, size / 2, size - 100}) {
        Fixtures::writeTruncatedCopy(dir.file("full.rtdc"), dir.file("cut.rtdc"), bytes);
        RTDCReader reader;
        StderrCapture capture;
        if (reader.open(dir.file("cut.rtdc"))) {
            reader.readMetadata();
            for (const std::string& name : reader.features()) {
                if (!RTDCReader::isScalarFeatureName(name))
                    continue;
                const auto& column = reader.readFeature(name);
                EXPECT_TRUE(column.empty() || column.size() == reader.eventCount()) << name;
            }
            int width = 0, height = 0;
            reader.readImage(299, width, height);
            reader.readMask(299, width, height);
            reader.readTrace("fl1_raw", 299);
        }
        for (const std::string& line : capture.lines())
            EXPECT_TRUE(startsWith(line, "Error ") || startsWith(line, "Warning: ")) << bytes << ": " << line;
    }
}

TEST_F(RTDCReaderTest, UnknownAndEmptyNamesGiveTheSharedEmptyColumnSilently)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.1f}).group("/events/trace");
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    StderrCapture capture;
    const auto& unknown = reader.readFeature("nothing");
    EXPECT_TRUE(unknown.empty());
    EXPECT_EQ(&unknown, &reader.readFeature(""));
    EXPECT_EQ(&unknown, &reader.readFeature("trace"));
    EXPECT_EQ(&unknown, &reader.readFeature("trace/fl1_raw"));
    EXPECT_EQ(&unknown, &reader.readFeature("/"));
    EXPECT_TRUE(capture.lines().empty());
}

TEST_F(RTDCReaderTest, MultiDimensionalDatasetsAreNeverReadAsColumns)
{
    // A rule loaded from a session may name "image": reading it as a column
    // must not size a buffer by its first extent and read all frames into it.
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.1f, 0.2f})
        .dataset("/events/area_um", std::vector<float>{1, 2, 3, 4}, {2, 2})
        .image(std::vector<uint8_t>(2 * 8 * 8, 9), 2, 8, 8);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_FALSE(reader.hasFeature("area_um"));
    StderrCapture capture;
    EXPECT_TRUE(reader.readFeature("area_um").empty());
    EXPECT_TRUE(reader.readFeature("image").empty());
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u); // for "image", which is listed
    EXPECT_TRUE(startsWith(lines[0], "Error reading feature 'image': ")) << lines[0];
}

TEST_F(RTDCReaderTest, FramesOfTheWrongRankCountAsAbsent)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.1f, 0.2f})
        .dataset("/events/image", std::vector<uint8_t>{1, 2}, {})
        .dataset("/events/mask", std::vector<uint8_t>{1, 2, 3, 4}, {2, 2});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    EXPECT_FALSE(reader.hasImage());
    EXPECT_FALSE(reader.hasMask());
    EXPECT_EQ(reader.features(), std::vector<std::string>{"deform"});
    int width = -1, height = -1;
    EXPECT_TRUE(reader.readImage(0, width, height).empty());
    EXPECT_TRUE(reader.readMask(0, width, height).empty());
    EXPECT_EQ(width, -1);
    EXPECT_EQ(height, -1);
}

TEST_F(RTDCReaderTest, ExtentsTheFileCannotHoldAreUnreadableAndTheRestWorks)
{
    // Extents far beyond the file, stored sparsely (nothing is written). The
    // bogus column sorts first: the event count must not come from it.
    const std::string path = writeRaw([](H5::H5File& file) {
        H5::Group events = file.createGroup("/events");
        const hsize_t huge = hsize_t(1) << 40;
        H5::DSetCreatPropList chunked;
        const hsize_t columnChunk = 1024;
        chunked.setChunk(1, &columnChunk);
        events.createDataSet("area_um", H5::PredType::IEEE_F64LE, H5::DataSpace(1, &huge), chunked);
        const hsize_t n = 3;
        const float deform[3] = {0.1f, 0.2f, 0.3f};
        events.createDataSet("deform", H5::PredType::IEEE_F32LE, H5::DataSpace(1, &n))
            .write(deform, H5::PredType::NATIVE_FLOAT);
        // Frames of 100000 x 100000 pixels; masks of a camera's size stay readable.
        const hsize_t frames[3] = {3, 100000, 100000};
        const hsize_t frameChunk[3] = {1, 64, 64};
        H5::DSetCreatPropList frameProps;
        frameProps.setChunk(3, frameChunk);
        events.createDataSet("image", H5::PredType::STD_U8LE, H5::DataSpace(3, frames), frameProps);
        const hsize_t masks[3] = {3, 80, 250};
        events.createDataSet("mask", H5::PredType::STD_U8LE, H5::DataSpace(3, masks))
            .write(std::vector<uint8_t>(3 * 80 * 250, 1).data(), H5::PredType::NATIVE_UINT8);
    });
    RTDCReader reader;
    StderrCapture capture;
    ASSERT_TRUE(reader.open(path));
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[0], "Error reading feature 'area_um': ")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], "Error reading image: ")) << lines[1];

    EXPECT_EQ(reader.features(), (std::vector<std::string>{"deform", "mask"}));
    EXPECT_EQ(reader.eventCount(), 3u);
    EXPECT_TRUE(reader.readFeature("area_um").empty());
    EXPECT_EQ(reader.readFeature("deform"), (std::vector<double>{double(0.1f), double(0.2f), double(0.3f)}));
    EXPECT_FALSE(reader.hasImage());
    int width = 0, height = 0;
    EXPECT_TRUE(reader.readImage(0, width, height).empty());
    EXPECT_EQ(reader.readMask(2, width, height).size(), 80u * 250u);
    reader.preloadFeatures();
}

TEST_F(RTDCReaderTest, EventsThatIsNotAGroupGivesOneLine)
{
    const std::string path = writeRaw([](H5::H5File& file) {
        const hsize_t n = 3;
        file.createDataSet("events", H5::PredType::IEEE_F64LE, H5::DataSpace(1, &n));
    });
    RTDCReader reader;
    StderrCapture capture;
    ASSERT_TRUE(reader.open(path));
    EXPECT_TRUE(reader.features().empty());
    const auto lines = capture.lines();
    ASSERT_GE(lines.size(), 1u);
    EXPECT_TRUE(startsWith(lines[0], "Error caching features: ")) << lines[0];
}

// ---- images and masks ----------------------------------------------------------

TEST_F(RTDCReaderTest, FramesReadExactlyFromContiguousAndCompressedStorage)
{
    for (const Fixtures::Storage storage : {Fixtures::Storage{}, Fixtures::Storage{4, 5}}) {
        Fixtures::StandardOptions options;
        options.images = options.masks = true;
        options.imageStorage = storage;
        const auto b = Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 25, options);
        RTDCReader reader;
        ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
        ASSERT_TRUE(reader.hasImage());
        ASSERT_TRUE(reader.hasMask());
        for (const std::size_t index : {std::size_t(0), std::size_t(5), std::size_t(24)}) {
            int width = 0, height = 0;
            EXPECT_EQ(reader.readImage(index, width, height), b.frame("image", index)) << index;
            EXPECT_EQ(width, int(options.imageWidth));
            EXPECT_EQ(height, int(options.imageHeight));
            EXPECT_EQ(reader.readMask(index, width, height), b.frame("mask", index)) << index;
        }
    }
}

TEST_F(RTDCReaderTest, OnlyEightBitFramesAreReadAndOtherTypesAreRefused)
{
    std::vector<uint8_t> frames = {0, 1, 1, 0, 1, 1, 0, 255};
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0, 0})
        .image(frames, 2, 2, 2)
        .mask(frames, 2, 2, 2, {}, Fixtures::MaskForm::BoolEnum);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    int width = 0, height = 0;
    EXPECT_EQ(reader.readImage(1, width, height), (std::vector<uint8_t>{1, 1, 0, 255}));
    EXPECT_EQ(reader.readMask(1, width, height), (std::vector<uint8_t>{1, 1, 0, 1}));

    // Values of a 16-bit camera, negative values or floats scaled 0-1 would be
    // clipped to 8 bits: such a stack counts as absent, named once.
    const std::vector<std::size_t> dims{2, 2, 2};
    const auto refused = [&](const std::string& frameName, const RtdcFileBuilder& stacks) {
        RTDCReader other;
        StderrCapture capture;
        ASSERT_TRUE(other.open(write(stacks, "other.rtdc")));
        const auto lines = capture.lines();
        ASSERT_EQ(lines.size(), 1u) << frameName;
        EXPECT_TRUE(startsWith(lines[0], "Error reading " + frameName + ": frames stored as ")) << lines[0];
        EXPECT_FALSE(frameName == "image" ? other.hasImage() : other.hasMask());
        EXPECT_EQ(other.features(), (std::vector<std::string>{"deform", frameName == "image" ? "mask" : "image"}));
        EXPECT_TRUE(other.readImage(0, width, height).size() + other.readMask(0, width, height).size() == 4u);
    };
    RtdcFileBuilder stacks = b;
    refused("image", stacks.dataset("/events/image", std::vector<uint16_t>(8, 49800), dims));
    refused("image", stacks.dataset("/events/image", std::vector<int16_t>(8, -3), dims));
    refused("image", stacks.dataset("/events/image", std::vector<float>(8, 0.5f), dims));
    stacks = b;
    refused("mask", stacks.dataset("/events/mask", std::vector<int8_t>(8, -1), dims));
}

// A filtered export reads a few frames of every chunk; the chunks it leaves
// partly read must not stay cached until the reader closes.
TEST_F(RTDCReaderTest, ReadingEveryTwentiethFrameKeepsTheHeapBounded)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "the sanitizer's allocator keeps its own accounts";
#endif
    constexpr std::size_t events = 4000;
    Fixtures::StandardOptions options;
    options.images = options.masks = true;
    options.imageHeight = 64;
    options.imageWidth = 160;
    options.imageStorage = options.maskStorage = Fixtures::Storage{32, 1};
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), events, options);
    const std::size_t stackBytes = 2 * events * options.imageHeight * options.imageWidth;
    const auto heapInUse = [] {
        const struct mallinfo2 info = mallinfo2();
        return info.uordblks + info.hblkhd;
    };

    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
    const std::size_t before = heapInUse();
    int width = 0, height = 0;
    for (std::size_t index = 0; index < events; index += 20) {
        ASSERT_FALSE(reader.readImage(index, width, height).empty()) << index;
        ASSERT_FALSE(reader.readMask(index, width, height).empty()) << index;
    }
    const std::size_t grown = heapInUse() - std::min(before, heapInUse());
    EXPECT_LT(grown, stackBytes / 4) << "of stacks of " << stackBytes << " bytes";
}

TEST_F(RTDCReaderTest, FrameIndexPastTheEndLeavesSizeUntouched)
{
    RtdcFileBuilder b;
    b.image(std::vector<uint8_t>(3 * 2 * 2, 1), 3, 2, 2);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    int width = 17, height = 19;
    StderrCapture capture;
    EXPECT_TRUE(reader.readImage(3, width, height).empty());
    EXPECT_EQ(width, 17);
    EXPECT_EQ(height, 19);
    EXPECT_TRUE(capture.lines().empty());
}

// ---- computed columns ----------------------------------------------------------

TEST_F(RTDCReaderTest, ComputedColumnShadowsStoredOneAndIsListedOnce)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.5f, 0.5f}).feature("time", std::vector<double>{0, 1});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    reader.setComputedFeature("deform", {0.1, 0.2});
    reader.setComputedFeature("emodulus", {1.0, 2.0});
    EXPECT_EQ(reader.readFeature("deform"), (std::vector<double>{0.1, 0.2}));
    EXPECT_TRUE(reader.isComputedFeature("deform"));
    EXPECT_FALSE(reader.isComputedFeature("time"));
    EXPECT_EQ(reader.features(), (std::vector<std::string>{"deform", "emodulus", "time"}));
    EXPECT_EQ(reader.readFeature("emodulus"), (std::vector<double>{1.0, 2.0}));
}

TEST_F(RTDCReaderTest, ComputedColumnAfterPreloadStillShadows)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>{0.5f});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    reader.preloadFeatures();
    reader.setComputedFeature("deform", {0.25});
    EXPECT_EQ(reader.readFeature("deform"), std::vector<double>{0.25});
}

TEST_F(RTDCReaderTest, ReplacedColumnStaysAliveForEarlierReaders)
{
    RTDCReader reader;
    reader.setComputedFeature("emodulus", std::vector<double>(1000, 1.0));
    const std::vector<double>& first = reader.readFeature("emodulus");
    reader.setComputedFeature("emodulus", std::vector<double>(1000, 2.0));
    // The first column is still the one the earlier caller saw, unchanged.
    EXPECT_EQ(first, std::vector<double>(1000, 1.0));
    EXPECT_EQ(reader.readFeature("emodulus"), std::vector<double>(1000, 2.0));
}

TEST_F(RTDCReaderTest, RecomputingWhileAnotherThreadReadsIsSafe)
{
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>(5000, 0.5f));
    RTDCReader reader;
    ASSERT_TRUE(reader.open(write(b)));
    reader.setComputedFeature("emodulus", std::vector<double>(5000, 0.0));
    std::atomic<bool> done{false};
    std::thread calculation([&] {
        for (int round = 1; round <= 200; ++round)
            reader.setComputedFeature("emodulus", std::vector<double>(5000, double(round)));
        for (int extra = 0; extra < 50; ++extra)
            reader.setComputedFeature("extra" + std::to_string(extra), {1.0});
        done = true;
    });
    while (!done) {
        const std::vector<double>& column = reader.readFeature("emodulus");
        const double first = column.front();
        EXPECT_TRUE(std::all_of(column.begin(), column.end(), [&](double v) { return v == first; }));
        const auto names = reader.features();
        EXPECT_TRUE(std::is_sorted(names.begin(), names.end()));
        reader.hasFeature("extra10");
        reader.isComputedFeature("extra10");
    }
    calculation.join();
    EXPECT_EQ(reader.readFeature("emodulus").front(), 200.0);
    EXPECT_EQ(reader.features().size(), 52u);
}

TEST_F(RTDCReaderTest, TwoThreadsReadDifferentColumnsCompletely)
{
    const auto b = Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 20000);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
    std::vector<double> a, c;
    std::thread first([&] { a = reader.readFeature("area_um"); });
    std::thread second([&] { c = reader.readFeature("deform"); });
    reader.preloadFeatures();
    first.join();
    second.join();
    EXPECT_EQ(a, b.column("area_um"));
    EXPECT_EQ(c, b.column("deform"));
    EXPECT_EQ(reader.readFeature("time"), b.column("time"));
}

TEST_F(RTDCReaderTest, PreloadCachesEveryScalarColumnOnce)
{
    Fixtures::StandardOptions options;
    options.images = true;
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 50, options);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
    StderrCapture capture;
    reader.preloadFeatures();
    EXPECT_TRUE(capture.lines().empty()); // "image" is not taken for a column
    const std::vector<double>* before = &reader.readFeature("area_um");
    EXPECT_EQ(before, &reader.readFeature("area_um"));
    EXPECT_EQ(before->size(), 50u);
}

TEST_F(RTDCReaderTest, OpeningAgainForgetsComputedState)
{
    Fixtures::StandardOptions options;
    options.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("a.rtdc"), 10, options);
    RtdcFileBuilder other;
    other.feature("deform", std::vector<float>{0.5f});
    RTDCReader reader;
    ASSERT_TRUE(reader.open(dir.file("a.rtdc")));
    reader.setComputedFeature("emodulus", std::vector<double>(10, 1.0));
    reader.setComputedTrace("fl1_median_rf", "fl1_raw");
    ASSERT_FALSE(reader.readTrace("fl1_median_rf", 0).empty());
    ASSERT_TRUE(reader.open(write(other)));
    EXPECT_FALSE(reader.isComputedFeature("emodulus"));
    EXPECT_FALSE(reader.hasFeature("emodulus"));
    EXPECT_TRUE(reader.readFeature("emodulus").empty());
    EXPECT_TRUE(reader.traceNames().empty());
    EXPECT_TRUE(reader.readTrace("fl1_median_rf", 0).empty());
    EXPECT_EQ(reader.features(), std::vector<std::string>{"deform"});
}
