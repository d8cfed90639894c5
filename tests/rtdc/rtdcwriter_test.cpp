#include "rtdc/rtdcwriter.h"

#include "fixtures/damagedattributes.h"
#include "fixtures/rtdcfixture.h"
#include "readertesting.h"
#include "rtdc/eventfilter.h"
#include "rtdc/exportfile.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>
#include <regex>

#include <sys/resource.h>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::StderrCapture;
using Testing::startsWith;

namespace {

class RTDCWriterTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { disableHdf5ErrorPrinting(); }

    // Opens a source measurement and keeps its reader and metadata.
    void openSource(const std::string& path)
    {
        ASSERT_TRUE(source.open(path));
        sourceMetadata = source.readMetadata();
    }

    // The whole export sequence as the export of one dataset runs it.
    bool exportAll(const std::string& path, const std::vector<int>& kept, const EventFilter& filter = {},
                   const std::string& changedName = {})
    {
        RTDCWriter writer;
        if (!writer.create(path))
            return false;
        writer.copyMetadata(source);
        writer.writeOfflineFilterMetadata(filter);
        writer.writeExportMetadata(kept.size(), changedName);
        std::vector<std::string> scalars;
        for (const std::string& name : source.features())
            if (RTDCReader::isScalarFeatureName(name))
                scalars.push_back(name);
        writer.writeScalarFeatures(scalars, kept, source);
        writer.writeImages(source, kept);
        writer.writeMasks(source, kept);
        writer.writeTraces(source, kept);
        const bool closed = writer.close();
        leftOutAttributes = writer.leftOutAttributes();
        leftOutTraces = writer.leftOutTraces();
        unreadableImages = writer.unreadableImages();
        unreadableMasks = writer.unreadableMasks();
        fileFailure = writer.fileFailure();
        return closed;
    }

    // Root attribute names of a file, read directly.
    static std::vector<std::string> attributeNames(const std::string& path)
    {
        H5::H5File file(path, H5F_ACC_RDONLY);
        const H5::Group root = file.openGroup("/");
        std::vector<std::string> names;
        for (int i = 0; i < root.getNumAttrs(); ++i)
            names.push_back(root.openAttribute(static_cast<unsigned>(i)).getName());
        return names;
    }

    // Type, extent and values of a numeric root attribute, read directly.
    struct StoredNumbers
    {
        H5::DataType type;
        std::vector<hsize_t> dims;
        std::vector<double> values;
    };
    static StoredNumbers storedNumbers(const std::string& path, const std::string& name)
    {
        H5::H5File file(path, H5F_ACC_RDONLY);
        const H5::Attribute attribute = file.openGroup("/").openAttribute(name);
        StoredNumbers stored{attribute.getDataType(), {}, {}};
        const H5::DataSpace space = attribute.getSpace();
        stored.dims.resize(static_cast<std::size_t>(space.getSimpleExtentNdims()));
        space.getSimpleExtentDims(stored.dims.data());
        stored.values.resize(static_cast<std::size_t>(space.getSimpleExtentNpoints()));
        attribute.read(H5::PredType::NATIVE_DOUBLE, stored.values.data());
        return stored;
    }

    // Gives a root attribute of a written file another text (to tell records of two exports apart).
    static void rewriteStringAttribute(const std::string& path, const std::string& name, const std::string& text)
    {
        H5::H5File file(path, H5F_ACC_RDWR);
        H5::Group root = file.openGroup("/");
        root.removeAttr(name);
        const H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
        root.createAttribute(name, type, H5::DataSpace(H5S_SCALAR)).write(type, text);
    }

    // Runs a step of a new writer with a progress that goes on, then with one
    // that refuses (Cancel): the shares grow block by block up to the whole
    // step, and a refusal stops the step at its first report.
    void expectProgressAndCancel(const std::function<void(RTDCWriter&, const RTDCWriter::StepProgress&)>& step)
    {
        for (const bool cancel : {false, true}) {
            std::vector<double> shares;
            RTDCWriter writer;
            ASSERT_TRUE(writer.create(dir.file("progress.rtdc")));
            step(writer, [&](double share) {
                shares.push_back(share);
                return !cancel;
            });
            ASSERT_FALSE(shares.empty());
            EXPECT_TRUE(std::is_sorted(shares.begin(), shares.end()));
            if (cancel) {
                EXPECT_EQ(shares, std::vector<double>{shares.front()}) << "the step went on after a cancel";
            } else {
                EXPECT_EQ(shares.back(), 1.0);
                EXPECT_GT(shares.size(), 1u);
            }
            EXPECT_LT(shares.front(), 1.0);
        }
    }

    // Files left in the folder (to see that no temporary file stays behind).
    std::vector<std::string> folderEntries() const
    {
        std::vector<std::string> names;
        for (const auto& entry : std::filesystem::directory_iterator(dir.path()))
            names.push_back(entry.path().filename().string());
        std::sort(names.begin(), names.end());
        return names;
    }

    Fixtures::TempDir dir;
    RTDCReader source;
    RTDCMetadata sourceMetadata;
    std::vector<std::string> leftOutAttributes; // of the last exportAll
    std::vector<std::string> leftOutTraces;
    std::vector<int> unreadableImages;
    std::vector<int> unreadableMasks;
    FileFailure fileFailure;
};

FilterRule rangeRule(const std::string& feature, double minValue, double maxValue, bool enabled = true)
{
    FilterRule rule;
    rule.type = 0;
    rule.featureName = feature;
    rule.minValue = minValue;
    rule.maxValue = maxValue;
    rule.enabled = enabled;
    return rule;
}

FilterRule gate(const std::string& x, const std::string& y, int xMode, int yMode)
{
    FilterRule rule;
    rule.type = 1;
    rule.featureName = x;
    rule.featureNameY = y;
    rule.polygonVertices = {{10.0, 0.01}, {80.0, 0.01}, {80.0, 0.2}};
    rule.scaleXMode = xMode;
    rule.scaleYMode = yMode;
    return rule;
}

} // namespace

// ---- round trip of the kept events -------------------------------------------

TEST_F(RTDCWriterTest, KeptEventsRoundTripThroughTheReader)
{
    Fixtures::StandardOptions options;
    options.images = options.masks = options.traces = true;
    options.traceLength = 60;
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 40, options);
    openSource(dir.file("source.rtdc"));
    // A computed column and a computed (smoothed) trace are written like stored ones.
    std::vector<double> doubled(source.readFeature("area_um"));
    for (double& value : doubled)
        value *= 2.0;
    source.setComputedFeature("area_twice", doubled);
    source.setComputedTrace("fl1_smooth_median", "fl1_raw");
    source.setTraceOptions(false, 5, 3.f, false, 5, 3.f, true, 5, false, 5, false, 5);

    const std::vector<int> kept{0, 3, 4, 17, 39};
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), kept));

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    EXPECT_EQ(out.eventCount(), kept.size());
    for (const char* name : {"area_um", "deform", "frame", "time", "area_twice"}) {
        const std::vector<double>& written = out.readFeature(name);
        ASSERT_EQ(written.size(), kept.size()) << name;
        for (std::size_t k = 0; k < kept.size(); ++k)
            EXPECT_EQ(written[k], source.readFeature(name)[kept[k]]) << name << " row " << k;
    }
    ASSERT_TRUE(out.hasImage());
    ASSERT_TRUE(out.hasMask());
    for (std::size_t k = 0; k < kept.size(); ++k) {
        int w1 = 0, h1 = 0, w2 = 0, h2 = 0;
        EXPECT_EQ(out.readImage(k, w1, h1), source.readImage(kept[k], w2, h2)) << "image row " << k;
        EXPECT_EQ(std::make_pair(w1, h1), std::make_pair(90, 40));
        EXPECT_EQ(out.readMask(k, w1, h1), source.readMask(kept[k], w2, h2)) << "mask row " << k;
    }
    ASSERT_TRUE(out.hasTraces());
    EXPECT_EQ(out.traceNames(), source.traceNames());
    EXPECT_EQ(out.traceLength(), 60u);
    for (const std::string& name : source.traceNames())
        for (std::size_t k = 0; k < kept.size(); ++k)
            EXPECT_EQ(out.readTrace(name, k), source.readTrace(name, kept[k])) << name << " row " << k;

    // Every source attribute comes back as the same text, plus the export record.
    const RTDCMetadata metadata = out.readMetadata();
    for (const auto& [key, text] : sourceMetadata.allAttributes)
        EXPECT_EQ(metadata.allAttributes.at(key), text) << key;
    EXPECT_TRUE(out.isInstrumentData());
    EXPECT_EQ(metadata.exportInfo.at("event count"), "5");
    EXPECT_TRUE(std::regex_match(metadata.exportInfo.at("date"), std::regex(R"(\d{4}-\d\d-\d\d)")));
    EXPECT_EQ(metadata.exportInfo.count("changed sample name"), 0u);
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"out.rtdc", "source.rtdc"}));
}

TEST_F(RTDCWriterTest, StacksAreChunkedByEventAndCompressed)
{
    Fixtures::StandardOptions options;
    options.images = options.masks = options.traces = true;
    options.imageHeight = 80;
    options.imageWidth = 250;
    options.traceLength = 30;
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 10, options);
    openSource(dir.file("source.rtdc"));
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {1, 5, 9}));

    H5::H5File file(dir.file("out.rtdc"), H5F_ACC_RDONLY);
    for (const char* path : {"/events/image", "/events/mask"}) {
        const H5::DataSet dataset = file.openDataSet(path);
        hsize_t dims[3] = {0, 0, 0};
        ASSERT_EQ(dataset.getSpace().getSimpleExtentDims(dims), 3);
        EXPECT_EQ(std::vector<hsize_t>(dims, dims + 3), (std::vector<hsize_t>{3, 80, 250})) << path;
        const H5::DSetCreatPropList creation = dataset.getCreatePlist();
        hsize_t chunk[3] = {0, 0, 0};
        creation.getChunk(3, chunk);
        EXPECT_EQ(std::vector<hsize_t>(chunk, chunk + 3), (std::vector<hsize_t>{1, 80, 250})) << path;
        EXPECT_EQ(creation.getNfilters(), 1) << path;
        EXPECT_EQ(dataset.getDataType(), H5::PredType::NATIVE_UINT8) << path;
    }
    const H5::DataSet trace = file.openDataSet("/events/trace/fl1_raw");
    hsize_t chunk[2] = {0, 0};
    trace.getCreatePlist().getChunk(2, chunk);
    EXPECT_EQ(std::vector<hsize_t>(chunk, chunk + 2), (std::vector<hsize_t>{1, 30}));
    EXPECT_EQ(trace.getDataType(), H5::PredType::IEEE_F32LE);
    EXPECT_EQ(file.openDataSet("/events/deform").getDataType(), H5::PredType::IEEE_F64LE);
}

TEST_F(RTDCWriterTest, MissingFramesReadBackAsZeros)
{
    // Image stack shorter than the columns: kept events past its end have no frame.
    std::vector<uint8_t> frames(2 * 4 * 6);
    for (std::size_t i = 0; i < frames.size(); ++i)
        frames[i] = static_cast<uint8_t>(i + 1);
    RtdcFileBuilder b;
    b.feature("area_um", std::vector<float>{1, 2, 3, 4}).image(frames, 2, 4, 6);
    b.write(dir.file("source.rtdc"));
    openSource(dir.file("source.rtdc"));
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {1, 3}));

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    int w = 0, h = 0;
    EXPECT_EQ(out.readImage(0, w, h), b.frame("image", 1));
    EXPECT_EQ(out.readImage(1, w, h), std::vector<uint8_t>(24, 0));
    EXPECT_EQ(unreadableImages, std::vector<int>{3});
}

TEST_F(RTDCWriterTest, DamagedFramesAreStoredBlankAndNamed)
{
    Fixtures::StandardOptions options;
    options.images = options.masks = true;
    options.imageStorage = options.maskStorage = {1, 4};
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 12, options);
    // The first kept image among them: the stack takes its size from the next one.
    Fixtures::damageEventChunk(dir.file("source.rtdc"), "image", 0);
    Fixtures::damageEventChunk(dir.file("source.rtdc"), "image", 7);
    Fixtures::damageEventChunk(dir.file("source.rtdc"), "mask", 3);
    openSource(dir.file("source.rtdc"));
    {
        StderrCapture err;
        ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {0, 3, 7, 8}));
        EXPECT_EQ(err.lines().size(), 3u);   // the reader's line for each frame
    }
    EXPECT_EQ(unreadableImages, (std::vector<int>{0, 7}));
    EXPECT_EQ(unreadableMasks, std::vector<int>{3});
    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    ASSERT_EQ(out.eventCount(), 4u);
    const std::vector<uint8_t> blank(40 * 90, 0);
    int w = 0, h = 0;
    EXPECT_EQ(out.readImage(0, w, h), blank);
    EXPECT_EQ(out.readImage(1, w, h), source.readImage(3, w, h));
    EXPECT_EQ(out.readImage(2, w, h), blank);
    EXPECT_EQ(out.readImage(3, w, h), source.readImage(8, w, h));
    EXPECT_EQ(out.readMask(1, w, h), blank);
    EXPECT_EQ(out.readMask(2, w, h), source.readMask(7, w, h));

    // No kept image reads at all: no stack, and every kept event is named.
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("none.rtdc"), {7, 0}));
    EXPECT_EQ(unreadableImages, (std::vector<int>{7, 0}));
    EXPECT_TRUE(unreadableMasks.empty());
    RTDCReader none;
    ASSERT_TRUE(none.open(dir.file("none.rtdc")));
    EXPECT_FALSE(none.hasImage());
    EXPECT_TRUE(none.hasMask());
}

TEST_F(RTDCWriterTest, LargeStacksSpanningSeveralBlocksRoundTrip)
{
    // Large frames, so that the kept frames fill several write blocks and
    // each block is compressed on several threads.
    constexpr std::size_t n = 120, height = 400, width = 500;
    RtdcFileBuilder b;
    b.feature("deform", std::vector<float>(n, 0.1f))
        .image([](std::size_t i, uint8_t* frame) {
            for (std::size_t p = 0; p < height * width; ++p)
                frame[p] = static_cast<uint8_t>((p * 7 + i * 13 + (p >> 9) * i) & 0xff);
        }, n, height, width, {4, 1});
    b.write(dir.file("source.rtdc"));
    openSource(dir.file("source.rtdc"));
    std::vector<int> kept;
    for (int i = 1; i < static_cast<int>(n); i += 1 + i % 3)
        kept.push_back(i);
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), kept));

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    for (std::size_t k = 0; k < kept.size(); ++k) {
        int w = 0, h = 0;
        ASSERT_EQ(out.readImage(k, w, h), b.frame("image", static_cast<std::size_t>(kept[k]))) << "row " << k;
    }

    // Progress comes block by block up to the whole step; a refusal (Cancel) stops the step.
    expectProgressAndCancel(
        [&](RTDCWriter& writer, const RTDCWriter::StepProgress& progress) { writer.writeImages(source, kept, progress); });
}

// ---- what is left out --------------------------------------------------------

TEST_F(RTDCWriterTest, UnknownShortAndEmptyInputsWriteNothing)
{
    RtdcFileBuilder b;
    b.feature("area_um", std::vector<float>{1, 2, 3, 4}).feature("short", std::vector<float>{1, 2});
    b.write(dir.file("source.rtdc"));
    openSource(dir.file("source.rtdc"));

    StderrCapture err;
    RTDCWriter writer;
    ASSERT_TRUE(writer.create(dir.file("out.rtdc")));
    writer.writeScalarFeatures({"area_um", "no_such_feature", "short"}, {0, 3}, source);
    writer.writeScalarFeatures({"short"}, {}, source);
    // A source without images, masks or traces gives no stacks at all.
    writer.writeImages(source, {0, 3});
    writer.writeMasks(source, {0, 3});
    writer.writeTraces(source, {0, 3});
    ASSERT_TRUE(writer.close());
    EXPECT_TRUE(err.lines().empty());
    // The source's short column is named for the user; a name it does not have is not.
    EXPECT_EQ(writer.leftOutFeatures(), std::vector<std::string>{"short"});

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    EXPECT_EQ(out.features(), std::vector<std::string>{"area_um"});
    EXPECT_EQ(out.readFeature("area_um"), (std::vector<double>{1, 4}));
    EXPECT_FALSE(out.hasImage());
    EXPECT_FALSE(out.hasTraces());
}

TEST_F(RTDCWriterTest, UnreadableOrUnwritableTracesAreLeftOutAndNamed)
{
    Fixtures::StandardOptions options;
    options.traces = true;
    const std::string path = dir.file("source.rtdc");
    const auto ramp = [](std::size_t i, int16_t* row, std::size_t length) {
        for (std::size_t k = 0; k < length; ++k)
            row[k] = static_cast<int16_t>(100 * i + k + 1);
    };
    RtdcFileBuilder b = Fixtures::standardMeasurement(10, options);
    // fl2_raw lacks the rows of events 8 and 9, and its rows are so long
    // that a block of the export holds two: those two fill the block that
    // held events 0 and 4. fl2_median has a damaged row (event 4); fl3_raw
    // holds 50 samples among traces of 100, and its first kept row (event 0)
    // is damaged.
    constexpr std::size_t longRow = 700000;
    b.trace("fl2_raw", [&](std::size_t i, int16_t* row) { ramp(i, row, longRow); }, 8, longRow)
        .trace("fl2_median", [&](std::size_t i, int16_t* row) { ramp(i, row, 100); }, 10, 100, {1, 4})
        .trace("fl3_raw", [&](std::size_t i, int16_t* row) { ramp(i, row, 50); }, 10, 50, {1, 4});
    b.write(path);
    Fixtures::damageEventChunk(path, "trace/fl2_median", 4);
    Fixtures::damageEventChunk(path, "trace/fl3_raw", 0);
    // 2^40 samples per event, sorting first among the traces.
    Fixtures::addUnstoredTrace(path, "fl1_median", 10, std::uint64_t(1) << 40);
    {
        StderrCapture err;
        openSource(path);
        const std::vector<std::string> lines = err.lines();
        ASSERT_EQ(lines.size(), 1u);
        EXPECT_TRUE(startsWith(lines[0], "Error reading trace 'fl1_median': ")) << lines[0];
    }
    EXPECT_EQ(source.traceNames(), (std::vector<std::string>{"fl1_raw", "fl2_median", "fl2_raw", "fl3_raw"}));
    EXPECT_EQ(source.traceLength(), 100u);
    // A computed trace whose name the file cannot take fails alone.
    source.setComputedTrace("fl1/smooth_median", "fl1_raw");

    const std::vector<int> kept{0, 4, 8, 9};
    RTDCWriter writer;
    StderrCapture err;
    ASSERT_TRUE(writer.create(dir.file("out.rtdc")));
    writer.writeTraces(source, kept);
    ASSERT_TRUE(writer.close());
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_TRUE(startsWith(lines[0], "Error writing trace 'fl1/smooth_median': ")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], "Error reading trace 'fl2_median' at index 4: ")) << lines[1];
    EXPECT_TRUE(startsWith(lines[2], "Error reading trace 'fl3_raw' at index 0: ")) << lines[2];
    EXPECT_EQ(writer.leftOutTraces(), (std::vector<std::string>{"fl1_median", "fl1/smooth_median"}));
    const std::vector<RTDCWriter::TraceRows> zeroRows{{"fl2_median", {4}}, {"fl2_raw", {8, 9}}, {"fl3_raw", {0}}};
    EXPECT_EQ(writer.unreadableTraceRows(), zeroRows);

    // Every readable row as the source holds it, in the trace's own length;
    // the named rows are zeros.
    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    EXPECT_EQ(out.traceNames(), (std::vector<std::string>{"fl1_raw", "fl2_median", "fl2_raw", "fl3_raw"}));
    for (const std::string& name : out.traceNames()) {
        const std::size_t length = name == "fl3_raw" ? 50 : name == "fl2_raw" ? longRow : 100;
        std::vector<int> zeros;
        for (const auto& [trace, events] : zeroRows)
            if (trace == name)
                zeros = events;
        for (std::size_t k = 0; k < kept.size(); ++k) {
            const bool named = std::find(zeros.begin(), zeros.end(), kept[k]) != zeros.end();
            EXPECT_EQ(out.readTrace(name, k), named ? std::vector<float>(length, 0.0f) : b.traceRow(name, kept[k]))
                << name << " row " << k;
        }
    }

    // A trace none of whose kept rows can be read is left out and named.
    ASSERT_TRUE(exportAll(dir.file("late.rtdc"), {8, 9}));
    EXPECT_EQ(leftOutTraces, (std::vector<std::string>{"fl1_median", "fl1/smooth_median", "fl2_raw"}));
    ASSERT_TRUE(out.open(dir.file("late.rtdc")));
    EXPECT_EQ(out.traceNames(), (std::vector<std::string>{"fl1_raw", "fl2_median", "fl3_raw"}));
}

TEST_F(RTDCWriterTest, StepsWithoutAFileDoNothing)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 5);
    openSource(dir.file("source.rtdc"));
    StderrCapture err;
    RTDCWriter writer;
    writer.copyMetadata(source);
    writer.writeExportMetadata(5, "x");
    writer.writeScalarFeatures({"area_um"}, {0}, source);
    EXPECT_FALSE(writer.close());
    EXPECT_TRUE(err.lines().empty());
}

// ---- metadata ----------------------------------------------------------------

TEST_F(RTDCWriterTest, OfflineFilterRecordsEnabledRulesWithScaleWords)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 20);
    openSource(dir.file("source.rtdc"));
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 1.5, 200.0));
    filter.addRule(rangeRule("deform", 0.0, 0.1, false));
    // A second rule on one feature (a group's beside the dataset's own): the
    // first one's record stays and the rules after it are still recorded.
    filter.addRule(rangeRule("area_um", 5.0, 50.0));
    // The events an inverted rule keeps lie outside its range: no record.
    FilterRule outside = rangeRule("bright_avg", 0.0, 10.0);
    outside.inverted = true;
    filter.addRule(outside);
    filter.addRule(gate("area_um", "deform", 1, 2));
    // A stored mode outside 0..2 is evaluated as linear, so the record says linear.
    filter.addRule(gate("pos_x", "pos_y", 7, -1));
    // Six decimals hold every kept value: bounds round outward, unless six
    // decimals already give them.
    filter.addRule(rangeRule("size_x", 10.0000002, 10.0000004));
    filter.addRule(rangeRule("size_y", -0.21433530747890472, 0.21433530747890472));
    filter.addRule(rangeRule("aspect", -0.1, 9.999999));
    filter.addRule(rangeRule("bright_sd", -9.9999999, 1e-9));
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {0, 1}, filter, "Renamed sample"));
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_TRUE(startsWith(lines[0], "Warning: offline filter rule on 'area_um' not recorded")) << lines[0];
    EXPECT_TRUE(startsWith(lines[1], "Warning: inverted offline filter rule on 'bright_avg' not recorded"))
        << lines[1];

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    const RTDCMetadata metadata = out.readMetadata();
    EXPECT_EQ(metadata.offlineFilter.at("area_um min"), "1.500000");
    EXPECT_EQ(metadata.offlineFilter.at("area_um max"), "200.000000");
    EXPECT_EQ(metadata.offlineFilter.at("size_x min"), "10.000000");
    EXPECT_EQ(metadata.offlineFilter.at("size_x max"), "10.000001");
    EXPECT_EQ(metadata.offlineFilter.at("size_y min"), "-0.214336");
    EXPECT_EQ(metadata.offlineFilter.at("size_y max"), "0.214336");
    EXPECT_EQ(metadata.offlineFilter.at("aspect min"), "-0.100000");
    EXPECT_EQ(metadata.offlineFilter.at("aspect max"), "9.999999");
    EXPECT_EQ(metadata.offlineFilter.at("bright_sd min"), "-10.000000");
    EXPECT_EQ(metadata.offlineFilter.at("bright_sd max"), "0.000001");
    EXPECT_EQ(metadata.offlineFilter.count("deform min"), 0u);
    EXPECT_EQ(metadata.offlineFilter.count("bright_avg min"), 0u);
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon x scale"), "log");
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon y scale"), "pseudolog");
    EXPECT_EQ(metadata.offlineFilter.at("pos_x,pos_y polygon x scale"), "linear");
    EXPECT_EQ(metadata.offlineFilter.at("pos_x,pos_y polygon y scale"), "linear");
    ASSERT_EQ(metadata.polygonFilters.size(), 2u);
    EXPECT_EQ(metadata.polygonFilters[0].points.size(), 3u);
    EXPECT_FLOAT_EQ(static_cast<float>(metadata.polygonFilters[0].points[2].second), 0.2f);
    EXPECT_EQ(metadata.exportInfo.at("changed sample name"), "Renamed sample");
}

TEST_F(RTDCWriterTest, DisabledOrInvertingFilterRecordsNothing)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 20);
    openSource(dir.file("source.rtdc"));
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 1.5, 200.0));
    filter.setEnabled(false);
    ASSERT_TRUE(exportAll(dir.file("off.rtdc"), {0, 1}, filter));
    // Combine mode 1 keeps the events that fail a rule: every range would be contradicted.
    filter.setEnabled(true);
    filter.setCombineMode(1);
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("rest.rtdc"), {0, 1}, filter));
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(startsWith(lines[0], "Warning: offline filter not recorded")) << lines[0];
    for (const char* out : {"off.rtdc", "rest.rtdc"})
        for (const std::string& name : attributeNames(dir.file(out)))
            EXPECT_FALSE(startsWith(name, "offline_filter:")) << out << ": " << name;
}

TEST_F(RTDCWriterTest, MetadataIsCopiedAsStored)
{
    RtdcFileBuilder b = Fixtures::standardMeasurement(10);
    b.attribute("setup:temperature", -3.0e-7) // below what six decimals show
        .attribute("imaging:exposure", 2.5f)
        .attribute("experiment:run index", int32_t(-3))
        .arrayAttribute("user:offsets", std::vector<uint16_t>{1, 2, 3}, {3})
        .attribute("experiment:comment", "fixed text", Fixtures::StringForm::FixedAscii)
        .polygonFilter("online_filter", "area_um", "deform", {{1, 2}, {3, 4}, {5, 6}})
        .polygonFilter("offline_filter", "pos_x", "pos_y", {{0, 0}, {1, 0}, {1, 1}})
        // Attributes without a value: fields left empty, which the copy keeps as they are.
        .arrayAttribute("user:no offsets", std::vector<uint16_t>{}, {0, 3})
        .emptyAttribute("experiment:note")
        .emptyAttribute("setup:chip identifier", Fixtures::StringForm::FixedAscii);
    b.write(dir.file("source.rtdc"));
    const std::vector<std::string> valueless{"setup:null extent", "setup:empty extent", "user:no offsets",
                                             "experiment:note", "setup:chip identifier"};
    {
        H5::H5File file(dir.file("source.rtdc"), H5F_ACC_RDWR);
        H5::Group root = file.openGroup("/");
        root.createAttribute("setup:null extent", H5::PredType::IEEE_F64LE, H5::DataSpace(H5S_NULL));
        const hsize_t none[1] = {0};
        root.createAttribute("setup:empty extent", H5::PredType::IEEE_F64LE, H5::DataSpace(1, none));
        // A reference means nothing outside the source file: it cannot be copied.
        hobj_ref_t events = 0;
        file.reference(&events, "/events");
        root.createAttribute("user:events", H5::PredType::STD_REF_OBJ, H5::DataSpace(H5S_SCALAR))
            .write(H5::PredType::STD_REF_OBJ, &events);
    }
    openSource(dir.file("source.rtdc"));
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {2}));
    EXPECT_EQ(leftOutAttributes, std::vector<std::string>{"user:events"});

    const std::string out = dir.file("out.rtdc");
    const StoredNumbers temperature = storedNumbers(out, "setup:temperature");
    EXPECT_EQ(temperature.type, H5::PredType::IEEE_F64LE);
    EXPECT_TRUE(temperature.dims.empty());
    EXPECT_EQ(temperature.values, std::vector<double>{-3.0e-7});
    EXPECT_EQ(storedNumbers(out, "imaging:exposure").type, H5::PredType::IEEE_F32LE);
    EXPECT_EQ(storedNumbers(out, "experiment:run index").type, H5::PredType::STD_I32LE);
    const StoredNumbers offsets = storedNumbers(out, "user:offsets");
    EXPECT_EQ(offsets.type, H5::PredType::STD_U16LE);
    EXPECT_EQ(offsets.values, (std::vector<double>{1, 2, 3}));
    // Every polygon stays a polygon of its own section.
    EXPECT_EQ(storedNumbers(out, "offline_filter:pos_x,pos_y polygon points").dims, (std::vector<hsize_t>{3, 2}));
    const std::vector<std::string> names = attributeNames(out);
    for (const char* absent : {"online_filter:pos_x,pos_y polygon points", "user:events"})
        EXPECT_EQ(std::count(names.begin(), names.end(), absent), 0) << absent;

    // The reader's text of the copy is that of the source; fields without a value stay absent.
    RTDCReader copy;
    ASSERT_TRUE(copy.open(out));
    const RTDCMetadata metadata = copy.readMetadata();
    EXPECT_EQ(metadata.experiment.at("run index"), "-3");
    for (const auto& [key, text] : sourceMetadata.allAttributes)
        EXPECT_EQ(metadata.allAttributes.at(key), text) << key;
    for (const std::string& name : valueless)
        EXPECT_EQ(metadata.allAttributes.count(name), 0u) << name;

    // Null extents stay null and empty ones keep their rank, of the same type,
    // also in an export of the export.
    openSource(out);
    ASSERT_TRUE(exportAll(dir.file("again.rtdc"), {0}));
    EXPECT_TRUE(leftOutAttributes.empty());
    const H5::H5File sourceFile(dir.file("source.rtdc"), H5F_ACC_RDONLY);
    for (const std::string& written : {out, dir.file("again.rtdc")}) {
        const H5::H5File copyFile(written, H5F_ACC_RDONLY);
        for (const std::string& name : valueless) {
            const H5::Attribute stored = sourceFile.openGroup("/").openAttribute(name);
            const H5::Attribute copied = copyFile.openGroup("/").openAttribute(name);
            EXPECT_EQ(copied.getDataType(), stored.getDataType()) << name;
            const H5::DataSpace storedSpace = stored.getSpace();
            const H5::DataSpace copiedSpace = copied.getSpace();
            EXPECT_EQ(copiedSpace.getSimpleExtentType(), storedSpace.getSimpleExtentType()) << name;
            EXPECT_EQ(copiedSpace.getSimpleExtentNdims(), storedSpace.getSimpleExtentNdims()) << name;
            EXPECT_EQ(copiedSpace.getSimpleExtentNpoints(), 0) << name;
        }
    }
    EXPECT_EQ(err.lines(), std::vector<std::string>{"Warning: failed to write attribute 'user:events': it refers to "
                                                    "objects of the source file"});
}

TEST_F(RTDCWriterTest, LargeAttributesAreCopiedAndDamagedOnesAreNamed)
{
    // A calibration table of 160 kB, in a source whose format holds it.
    std::vector<double> table(20000);
    for (std::size_t i = 0; i < table.size(); ++i)
        table[i] = 0.25 * double(i);
    RtdcFileBuilder large = Fixtures::standardMeasurement(10);
    large.arrayAttribute("setup:calibration table", table, {table.size()});
    large.write(dir.file("large.rtdc"), RtdcFileBuilder::FileFormat::Hdf5v18);
    openSource(dir.file("large.rtdc"));
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("large out.rtdc"), {1, 2}));
    EXPECT_TRUE(err.lines().empty());
    EXPECT_TRUE(leftOutAttributes.empty());
    const StoredNumbers copied = storedNumbers(dir.file("large out.rtdc"), "setup:calibration table");
    EXPECT_EQ(copied.dims, std::vector<hsize_t>{table.size()});
    EXPECT_EQ(copied.values, table);

    // A type whose fields do not fit its size: writing a value of it overruns
    // the library's buffers, so the export runs in a child process.
    RtdcFileBuilder many = Fixtures::standardMeasurement(10);
    for (int i = 0; i < 200; ++i)
        many.attribute("user:note " + std::to_string(i), "text " + std::to_string(i));
    many.write(dir.file("damaged.rtdc"));
    Fixtures::addDamagedFloatAttribute(dir.file("damaged.rtdc"), "user:damaged");
    openSource(dir.file("damaged.rtdc"));
    EXPECT_EXIT(
        {
            const bool exported = exportAll(dir.file("damaged out.rtdc"), {1, 2});
            H5close();
            std::_Exit(exported && leftOutAttributes == std::vector<std::string>{"user:damaged"} ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "^Warning: failed to write attribute 'user:damaged': its data type is damaged\n$");
    const std::vector<std::string> names = attributeNames(dir.file("damaged out.rtdc"));
    EXPECT_EQ(std::count(names.begin(), names.end(), "user:damaged"), 0);
    EXPECT_EQ(std::count(names.begin(), names.end(), "user:note 199"), 1);

    // The copy reports its progress, and a refusal (Cancel) stops it at once.
    StderrCapture warnings;
    expectProgressAndCancel(
        [&](RTDCWriter& writer, const RTDCWriter::StepProgress& progress) { writer.copyMetadata(source, progress); });
}

TEST_F(RTDCWriterTest, DamagedCompoundLeavesTheExportsAttributesReadable)
{
    // A member offset damaged into the member before it: an attribute of that
    // type in the export would make every reader fail on the root group's
    // attributes, so it must not reach the file at all.
    const std::string path = dir.file("source.rtdc");
    Fixtures::standardMeasurement(10).write(path);
    Fixtures::addShapedAttribute(path, "user:records", Fixtures::AttributeShape::Compound);
    Fixtures::damageMemberOffset(path, "user:records");
    openSource(path);
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {1, 2}));
    EXPECT_EQ(leftOutAttributes, std::vector<std::string>{"user:records"});
    EXPECT_EQ(err.lines(), std::vector<std::string>{"Warning: failed to write attribute 'user:records': its data "
                                                    "type is damaged"});

    // Every other attribute lists and reads, through the library and through our reader.
    std::vector<std::string> expected = attributeNames(path);
    expected.erase(std::find(expected.begin(), expected.end(), "user:records"));
    expected.insert(expected.end(), {"export:date", "export:event count"});
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> listed;
    {
        const H5::H5File out(dir.file("out.rtdc"), H5F_ACC_RDONLY);
        hsize_t position = 0;
        const auto collect = [](hid_t, const char* name, const H5A_info_t*, void* names) -> herr_t {
            static_cast<std::vector<std::string>*>(names)->emplace_back(name);
            return 0;
        };
        EXPECT_GE(H5Aiterate2(out.getId(), H5_INDEX_NAME, H5_ITER_INC, &position, collect, &listed), 0);
    }
    EXPECT_EQ(listed, expected);
    RTDCReader exported;
    ASSERT_TRUE(exported.open(dir.file("out.rtdc")));
    RTDCMetadata metadata = exported.readMetadata();
    EXPECT_EQ(metadata.exportInfo.count("event count"), 1u);
    metadata.allAttributes.erase("export:date");
    metadata.allAttributes.erase("export:event count");
    EXPECT_EQ(metadata.allAttributes, sourceMetadata.allAttributes);
}

TEST_F(RTDCWriterTest, ReexportRecordsItsOwnExportAndFilter)
{
    RtdcFileBuilder b = Fixtures::standardMeasurement(30);
    b.attribute("setup:flow rate", 1.23456e-05)
        .polygonFilter("online_filter", "area_um", "deform", {{1, 2}, {3, 4}, {5, 6}});
    b.write(dir.file("source.rtdc"));
    openSource(dir.file("source.rtdc"));
    EventFilter firstFilter;
    firstFilter.addRule(rangeRule("area_um", 0.0, 1000.0));
    firstFilter.addRule(rangeRule("deform", 0.0, 1.0));
    firstFilter.addRule(gate("area_um", "deform", 0, 0));
    ASSERT_TRUE(exportAll(dir.file("first.rtdc"), {0, 1, 2, 3, 4, 5, 6, 7, 8, 9}, firstFilter, "First name"));
    rewriteStringAttribute(dir.file("first.rtdc"), "export:date", "2001-02-03");

    // Filter the export again and export it again.
    openSource(dir.file("first.rtdc"));
    EventFilter secondFilter;
    secondFilter.addRule(rangeRule("area_um", 5.0, 500.0));
    secondFilter.addRule(rangeRule("pos_x", 1.0, 2.0));
    FilterRule secondGate = gate("area_um", "deform", 1, 2);
    secondGate.polygonVertices = {{20.0, 0.02}, {60.0, 0.02}, {60.0, 0.1}, {20.0, 0.1}};
    secondFilter.addRule(secondGate);
    StderrCapture err;
    ASSERT_TRUE(exportAll(dir.file("second.rtdc"), {1, 2, 3}, secondFilter, "Second name"));
    EXPECT_TRUE(err.lines().empty());

    RTDCReader second;
    ASSERT_TRUE(second.open(dir.file("second.rtdc")));
    EXPECT_EQ(second.eventCount(), 3u);
    const RTDCMetadata metadata = second.readMetadata();
    EXPECT_EQ(metadata.exportInfo.at("event count"), "3");
    EXPECT_EQ(metadata.exportInfo.at("date"), exportDateText());
    EXPECT_EQ(metadata.exportInfo.at("changed sample name"), "Second name");
    // The second export's rules replace the first's of the same names; the
    // first's others still hold for the events kept from it.
    EXPECT_EQ(metadata.offlineFilter.at("area_um min"), "5.000000");
    EXPECT_EQ(metadata.offlineFilter.at("area_um max"), "500.000000");
    EXPECT_EQ(metadata.offlineFilter.at("pos_x min"), "1.000000");
    EXPECT_EQ(metadata.offlineFilter.at("deform max"), "1.000000");
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon x scale"), "log");
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon y scale"), "pseudolog");
    const std::string out = dir.file("second.rtdc");
    EXPECT_EQ(storedNumbers(out, "offline_filter:area_um,deform polygon points").dims,
              (std::vector<hsize_t>{4, 2}));
    EXPECT_EQ(storedNumbers(out, "online_filter:area_um,deform polygon points").values,
              (std::vector<double>{1, 2, 3, 4, 5, 6}));
    const StoredNumbers flowRate = storedNumbers(out, "setup:flow rate");
    EXPECT_EQ(flowRate.type, H5::PredType::IEEE_F64LE);
    EXPECT_EQ(flowRate.values, std::vector<double>{1.23456e-05});

    // Without a changed name the copied one goes too: the file opens under its sample.
    ASSERT_TRUE(exportAll(dir.file("third.rtdc"), {1}));
    RTDCReader third;
    ASSERT_TRUE(third.open(dir.file("third.rtdc")));
    EXPECT_EQ(third.readMetadata().exportInfo.count("changed sample name"), 0u);
}

// ---- files on disk -----------------------------------------------------------

TEST_F(RTDCWriterTest, CreateFailsInAFolderThatCannotHoldTheFile)
{
    Fixtures::writeNotHdf5(dir.file("plain"));
    for (const std::string& path : {dir.file("missing/out.rtdc"), dir.file("plain/out.rtdc")}) {
        StderrCapture err;
        RTDCWriter writer;
        EXPECT_FALSE(writer.create(path)) << path;
        writer.writeExportMetadata(1, {});
        EXPECT_FALSE(writer.close());
        const std::vector<std::string> lines = err.lines();
        ASSERT_EQ(lines.size(), 1u) << path;
        EXPECT_TRUE(startsWith(lines[0], "Error creating file: ")) << lines[0];
        // The system's reason, which the library keeps to its own error stack.
        EXPECT_EQ(writer.fileFailure().step, FileFailure::Create) << path;
        EXPECT_EQ(writer.fileFailure().reason, path == dir.file("missing/out.rtdc") ? "No such file or directory"
                                                                                      : "Not a directory");
    }
    EXPECT_EQ(folderEntries(), std::vector<std::string>{"plain"});
}

TEST_F(RTDCWriterTest, ExistingTargetIsReplacedOnlyByAClosedExport)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 10);
    openSource(dir.file("source.rtdc"));
    const std::string target = dir.file("target.rtdc");
    Fixtures::writeNotHdf5(target);
    const std::size_t originalSize = Fixtures::fileSize(target);
    {
        RTDCWriter abandoned;
        ASSERT_TRUE(abandoned.create(target));
        abandoned.writeScalarFeatures({"area_um"}, {0, 1}, source);
        EXPECT_EQ(Fixtures::fileSize(target), originalSize);
        // Destroyed without close, as when an exception ends the export.
    }
    EXPECT_EQ(Fixtures::fileSize(target), originalSize);
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"source.rtdc", "target.rtdc"}));

    ASSERT_TRUE(exportAll(target, {0, 1}));
    RTDCReader out;
    ASSERT_TRUE(out.open(target));
    EXPECT_EQ(out.eventCount(), 2u);
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"source.rtdc", "target.rtdc"}));
}

TEST_F(RTDCWriterTest, ExportOntoAFullDiskFailsOnceAndLeavesTheTargetAsItWas)
{
    Fixtures::StandardOptions options;
    options.images = true;
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 300, options);
    openSource(dir.file("source.rtdc"));
    const std::string target = dir.file("target.rtdc");
    Fixtures::writeNotHdf5(target);
    const std::size_t originalSize = Fixtures::fileSize(target);
    std::vector<int> kept(300);
    std::iota(kept.begin(), kept.end(), 0);
    // In a child process whose files cannot grow beyond 64 KiB, which refuses
    // writes as a full disk does. The child shuts the library down as the
    // program does at its end: a file the library failed to close crashes it there.
    EXPECT_EXIT(
        {
            std::signal(SIGXFSZ, SIG_IGN);
            rlimit limit{};
            getrlimit(RLIMIT_FSIZE, &limit);
            limit.rlim_cur = 64 * 1024;
            setrlimit(RLIMIT_FSIZE, &limit);
            const bool exported = exportAll(target, kept);
            H5close();
            const bool toldWhy = fileFailure.step == FileFailure::Write && fileFailure.reason == "File too large";
            std::_Exit(exported ? 1 : toldWhy ? 0 : 2);
        },
        ::testing::ExitedWithCode(0), "^Error writing file '[^']*target.rtdc': File too large\n$");
    EXPECT_EQ(Fixtures::fileSize(target), originalSize);
    EXPECT_EQ(folderEntries(), (std::vector<std::string>{"source.rtdc", "target.rtdc"}));
}

TEST_F(RTDCWriterTest, CreatingAgainFinishesTheFirstFile)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 10);
    openSource(dir.file("source.rtdc"));
    RTDCWriter writer;
    ASSERT_TRUE(writer.create(dir.file("a.rtdc")));
    writer.writeScalarFeatures({"deform"}, {4}, source);
    ASSERT_TRUE(writer.create(dir.file("b.rtdc")));
    writer.writeScalarFeatures({"deform"}, {5, 6}, source);
    ASSERT_TRUE(writer.close());
    RTDCReader a, b;
    ASSERT_TRUE(a.open(dir.file("a.rtdc")));
    ASSERT_TRUE(b.open(dir.file("b.rtdc")));
    EXPECT_EQ(a.eventCount(), 1u);
    EXPECT_EQ(b.eventCount(), 2u);
}

TEST_F(RTDCWriterTest, NonAsciiPathsWork)
{
    const std::string folder = dir.file("Messung \xc3\xa4\xc3\xb6\xc3\xbc \xce\xbcm");
    std::filesystem::create_directory(std::filesystem::u8path(folder));
    const std::string sourcePath = folder + "/Probe \xe2\x82\xac.rtdc";
    Fixtures::writeStandardMeasurement(sourcePath, 6);
    openSource(sourcePath);
    const std::string target = folder + "/RYXexport_Probe \xe2\x82\xac.rtdc";
    ASSERT_TRUE(exportAll(target, {1, 2}));
    RTDCReader out;
    ASSERT_TRUE(out.open(target));
    EXPECT_EQ(out.eventCount(), 2u);
}
