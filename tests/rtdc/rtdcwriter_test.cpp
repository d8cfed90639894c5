#include "rtdc/rtdcwriter.h"

#include "fixtures/rtdcfixture.h"
#include "readertesting.h"
#include "rtdc/eventfilter.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

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
        writer.copyMetadata(sourceMetadata);
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
        return writer.close();
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

    static bool hasStringAttribute(const std::string& path, const std::string& name)
    {
        H5::H5File file(path, H5F_ACC_RDONLY);
        const H5::Group root = file.openGroup("/");
        return root.attrExists(name) && root.openAttribute(name).getTypeClass() == H5T_STRING;
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

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    EXPECT_EQ(out.features(), std::vector<std::string>{"area_um"});
    EXPECT_EQ(out.readFeature("area_um"), (std::vector<double>{1, 4}));
    EXPECT_FALSE(out.hasImage());
    EXPECT_FALSE(out.hasTraces());
}

TEST_F(RTDCWriterTest, StepsWithoutAFileDoNothing)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 5);
    openSource(dir.file("source.rtdc"));
    StderrCapture err;
    RTDCWriter writer;
    writer.copyMetadata(sourceMetadata);
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
    filter.addRule(gate("area_um", "deform", 1, 2));
    // A stored mode outside 0..2 is evaluated as linear, so the record says linear.
    filter.addRule(gate("pos_x", "pos_y", 7, -1));
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {0, 1}, filter, "Renamed sample"));

    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("out.rtdc")));
    const RTDCMetadata metadata = out.readMetadata();
    EXPECT_EQ(metadata.offlineFilter.at("area_um min"), "1.500000");
    EXPECT_EQ(metadata.offlineFilter.at("area_um max"), "200.000000");
    EXPECT_EQ(metadata.offlineFilter.count("deform min"), 0u);
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon x scale"), "log");
    EXPECT_EQ(metadata.offlineFilter.at("area_um,deform polygon y scale"), "pseudolog");
    EXPECT_EQ(metadata.offlineFilter.at("pos_x,pos_y polygon x scale"), "linear");
    EXPECT_EQ(metadata.offlineFilter.at("pos_x,pos_y polygon y scale"), "linear");
    ASSERT_EQ(metadata.polygonFilters.size(), 2u);
    EXPECT_EQ(metadata.polygonFilters[0].points.size(), 3u);
    EXPECT_FLOAT_EQ(static_cast<float>(metadata.polygonFilters[0].points[2].second), 0.2f);
    EXPECT_EQ(metadata.exportInfo.at("changed sample name"), "Renamed sample");
}

TEST_F(RTDCWriterTest, DisabledFilterRecordsNothing)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 20);
    openSource(dir.file("source.rtdc"));
    EventFilter filter;
    filter.addRule(rangeRule("area_um", 1.5, 200.0));
    filter.setEnabled(false);
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {0, 1}, filter));
    for (const std::string& name : attributeNames(dir.file("out.rtdc")))
        EXPECT_FALSE(startsWith(name, "offline_filter:")) << name;
}

TEST_F(RTDCWriterTest, OnlinePolygonStaysNumericOtherPolygonsAlsoAsText)
{
    RtdcFileBuilder b = Fixtures::standardMeasurement(10);
    b.polygonFilter("online_filter", "area_um", "deform", {{1, 2}, {3, 4}, {5, 6}})
        .polygonFilter("offline_filter", "pos_x", "pos_y", {{0, 0}, {1, 0}, {1, 1}});
    b.write(dir.file("source.rtdc"));
    openSource(dir.file("source.rtdc"));
    ASSERT_TRUE(exportAll(dir.file("out.rtdc"), {2}));

    const std::string out = dir.file("out.rtdc");
    H5::H5File file(out, H5F_ACC_RDONLY);
    const H5::Attribute online = file.openGroup("/").openAttribute("online_filter:area_um,deform polygon points");
    EXPECT_EQ(online.getDataType(), H5::PredType::IEEE_F32LE);
    hsize_t dims[2] = {0, 0};
    online.getSpace().getSimpleExtentDims(dims);
    EXPECT_EQ(std::vector<hsize_t>(dims, dims + 2), (std::vector<hsize_t>{3, 2}));
    // The offline polygon of the source comes back as its text and as an online polygon.
    EXPECT_TRUE(hasStringAttribute(out, "offline_filter:pos_x,pos_y polygon points"));
    EXPECT_FALSE(hasStringAttribute(out, "online_filter:pos_x,pos_y polygon points"));
    EXPECT_TRUE(file.openGroup("/").attrExists("online_filter:pos_x,pos_y polygon points"));
}

TEST_F(RTDCWriterTest, ReexportReportsDuplicateExportRecordAndKeepsTheFirst)
{
    Fixtures::writeStandardMeasurement(dir.file("source.rtdc"), 10);
    openSource(dir.file("source.rtdc"));
    ASSERT_TRUE(exportAll(dir.file("first.rtdc"), {0, 1, 2, 3}, {}, "First name"));

    RTDCReader first;
    ASSERT_TRUE(first.open(dir.file("first.rtdc")));
    const RTDCMetadata firstMetadata = first.readMetadata();
    RTDCWriter writer;
    StderrCapture err;
    ASSERT_TRUE(writer.create(dir.file("second.rtdc")));
    writer.copyMetadata(firstMetadata);
    writer.writeExportMetadata(2, "Second name");
    writer.writeScalarFeatures({"area_um"}, {0, 1}, first);
    ASSERT_TRUE(writer.close());
    const std::vector<std::string> lines = err.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(startsWith(lines[0], "Error writing export metadata: ")) << lines[0];

    RTDCReader second;
    ASSERT_TRUE(second.open(dir.file("second.rtdc")));
    const RTDCMetadata metadata = second.readMetadata();
    EXPECT_EQ(metadata.exportInfo.at("event count"), "4");
    EXPECT_EQ(metadata.exportInfo.at("changed sample name"), "First name");
    EXPECT_EQ(second.readFeature("area_um").size(), 2u);
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
