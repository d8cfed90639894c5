#include "rtdc/rtdcmetadata.h"
#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"
#include "readertesting.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <cstdint>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Fixtures::StringForm;

namespace {

class RTDCMetadataTest : public ::testing::Test
{
protected:
    RTDCMetadata read(RtdcFileBuilder& builder)
    {
        builder.feature("deform", std::vector<float>{0.1f});
        builder.write(dir.file("m.rtdc"));
        EXPECT_TRUE(reader.open(dir.file("m.rtdc")));
        return reader.readMetadata();
    }

    Fixtures::TempDir dir;
    RTDCReader reader;
};

} // namespace

// ---- strings in every form that common tools write --------------------------

TEST_F(RTDCMetadataTest, StringAttributesOfEveryFormReadAsStored)
{
    RtdcFileBuilder b;
    b.attribute("experiment:sample", "Zellprobe µ-Kanal", StringForm::VariableUtf8)
        .attribute("experiment:date", "2024-05-01", StringForm::VariableAscii)
        .attribute("experiment:time", "Grüße", StringForm::FixedUtf8)
        .attribute("setup:chip region", "channel", StringForm::FixedAscii)
        .attribute("setup:medium", "LumevaB", StringForm::FixedSpacePad);
    const RTDCMetadata m = read(b);
    EXPECT_EQ(m.experiment.at("sample"), "Zellprobe µ-Kanal");
    EXPECT_EQ(m.experiment.at("date"), "2024-05-01");
    EXPECT_EQ(m.experiment.at("time"), "Grüße");
    EXPECT_EQ(m.setup.at("chip region"), "channel");
    EXPECT_EQ(m.setup.at("medium"), "LumevaB");
    EXPECT_EQ(m.allAttributes.at("experiment:sample"), "Zellprobe µ-Kanal");
}

TEST_F(RTDCMetadataTest, FixedLengthStringShorterThanItsFieldLosesThePadding)
{
    // Written directly: a 16-byte field holding a 6-character text.
    {
        RtdcFileBuilder b;
        b.feature("deform", std::vector<float>{0.1f});
        b.write(dir.file("m.rtdc"));
        H5::H5File file(dir.file("m.rtdc"), H5F_ACC_RDWR);
        H5::StrType type(H5::PredType::C_S1, 16);
        type.setStrpad(H5T_STR_NULLPAD);
        char text[16] = "Vireon";
        file.openGroup("/").createAttribute("setup:module composition", type, H5::DataSpace()).write(type, text);
    }
    ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
    EXPECT_EQ(reader.readMetadata().setup.at("module composition"), "Vireon");
    EXPECT_TRUE(reader.isInstrumentData());
}

TEST_F(RTDCMetadataTest, AttributesWithoutAValueAreAbsent)
{
    RtdcFileBuilder b;
    b.emptyAttribute("experiment:sample")
        .emptyAttribute("setup:medium", StringForm::VariableAscii)
        .emptyAttribute("setup:chip region", StringForm::FixedAscii)
        .arrayAttribute("online_filter:area_um,deform polygon points", std::vector<float>{}, {0, 2})
        .attribute("setup:module composition", "Vireon")
        .attribute("experiment:date", "");
    Testing::StderrCapture capture;
    const RTDCMetadata m = read(b);
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_EQ(m.allAttributes.size(), 2u);
    EXPECT_EQ(m.experiment.count("sample"), 0u);
    EXPECT_EQ(m.experiment.at("date"), "");
    EXPECT_TRUE(m.polygonFilters.empty());
    EXPECT_TRUE(reader.isInstrumentData());
}

TEST_F(RTDCMetadataTest, ThousandsOfAttributesAreAllRead)
{
    RtdcFileBuilder b;
    for (int i = 0; i < 3000; ++i)
        b.attribute("user:key " + std::to_string(i), int32_t(i));
    b.polygonFilter("online_filter", "b", "c", {{1, 2}, {3, 4}, {5, 6}})
        .polygonFilter("online_filter", "a", "b", {{1, 2}, {3, 4}, {5, 6}})
        .attribute("setup:module composition", "Vireon");
    const RTDCMetadata m = read(b);
    EXPECT_EQ(m.allAttributes.size(), 3003u);
    EXPECT_EQ(m.allAttributes.at("user:key 2999"), "2999");
    ASSERT_EQ(m.polygonFilters.size(), 2u);
    EXPECT_EQ(m.polygonFilters[0].xFeature, "a");   // in name order
}

// ---- numbers -----------------------------------------------------------------

TEST_F(RTDCMetadataTest, NumbersAreWrittenAsTheProgramShowsThem)
{
    RtdcFileBuilder b;
    b.attribute("imaging:pixel size", 0.34)
        .attribute("imaging:frame rate", 2000.0f)
        .attribute("experiment:run index", int32_t(-3))
        .attribute("experiment:event count", std::numeric_limits<uint64_t>::max())
        .attribute("online_contour:bin kernel", int8_t(-128))
        .boolAttribute("online_contour:no absdiff", true);
    const RTDCMetadata m = read(b);
    EXPECT_EQ(m.imaging.at("pixel size"), "0.340000");
    EXPECT_EQ(m.allAttributes.at("imaging:pixel size"), "0.340000");
    EXPECT_EQ(m.imaging.at("frame rate"), "2000.000000");
    EXPECT_EQ(m.experiment.at("run index"), "-3");
    EXPECT_EQ(m.experiment.at("event count"), "18446744073709551615");
    EXPECT_EQ(m.onlineContour.at("bin kernel"), "-128");
    EXPECT_EQ(m.onlineContour.at("no absdiff"), "1");
}

// ---- filing by section ----------------------------------------------------------

TEST_F(RTDCMetadataTest, AttributesAreFiledByTheTextBeforeTheFirstColon)
{
    RtdcFileBuilder b;
    b.attribute("setup:flow rate", 0.04)
        .attribute("online_filter:area_um min", 10.0)
        .attribute("offline_filter:enable", int32_t(1))
        .attribute("fluorescence:channel 1 name", "FL1")
        .attribute("export:changed sample name", "renamed")
        .attribute("user:note", "elsewhere")
        .attribute("nocolon", "x")
        .attribute("experiment:a:b", "two colons");
    const RTDCMetadata m = read(b);
    EXPECT_EQ(m.setup.at("flow rate"), "0.040000");
    EXPECT_EQ(m.onlineFilter.at("area_um min"), "10.000000");
    EXPECT_EQ(m.offlineFilter.at("enable"), "1");
    EXPECT_EQ(m.fluorescence.at("channel 1 name"), "FL1");
    EXPECT_EQ(m.exportInfo.at("changed sample name"), "renamed");
    EXPECT_EQ(m.experiment.at("a:b"), "two colons");
    EXPECT_EQ(m.allAttributes.at("user:note"), "elsewhere");
    EXPECT_EQ(m.allAttributes.at("nocolon"), "x");
    EXPECT_EQ(m.allAttributes.size(), 8u);
    const std::size_t filed = m.experiment.size() + m.setup.size() + m.imaging.size() + m.onlineContour.size()
        + m.onlineFilter.size() + m.offlineFilter.size() + m.fluorescence.size() + m.exportInfo.size();
    EXPECT_EQ(filed, 6u);
}

// ---- instrument check -------------------------------------------------------------

TEST_F(RTDCMetadataTest, InstrumentNameAmongOtherWordsMarksTheFile)
{
    RtdcFileBuilder b;
    b.attribute("setup:module composition", "Cell Flow, Vireon Sorter, Fluorescence");
    read(b);
    EXPECT_TRUE(reader.isInstrumentData());
}

TEST_F(RTDCMetadataTest, InstrumentNameIsCaseSensitiveAndOnlyInSetup)
{
    RtdcFileBuilder b;
    b.attribute("setup:module composition", "vireon sorter").attribute("experiment:module composition", "Vireon");
    read(b);
    EXPECT_FALSE(reader.isInstrumentData());
}

TEST_F(RTDCMetadataTest, ClosedReaderGivesAnEmptyRecord)
{
    const RTDCMetadata m = reader.readMetadata();
    EXPECT_TRUE(m.allAttributes.empty());
    EXPECT_TRUE(m.polygonFilters.empty());
    EXPECT_FALSE(reader.isInstrumentData());
}

// ---- polygon filters -----------------------------------------------------------

TEST_F(RTDCMetadataTest, PolygonAttributeGivesVerticesAndText)
{
    RtdcFileBuilder b;
    b.polygonFilter("online_filter", "area_um", "deform", {{10, 0.01}, {80, 0.01}, {80, 0.1}, {10, 0.1}});
    const RTDCMetadata m = read(b);
    ASSERT_EQ(m.polygonFilters.size(), 1u);
    const PolygonFilterInfo& p = m.polygonFilters[0];
    EXPECT_EQ(p.xFeature, "area_um");
    EXPECT_EQ(p.yFeature, "deform");
    ASSERT_EQ(p.points.size(), 4u);
    EXPECT_EQ(p.points[2], std::make_pair(80.0, double(0.1f)));
    EXPECT_EQ(m.onlineFilter.at("area_um,deform polygon points"),
              "(10.000000,0.010000), (80.000000,0.010000), (80.000000,0.100000), (10.000000,0.100000)");
}

TEST_F(RTDCMetadataTest, ArraysThatAreNotPolygonsAreSkipped)
{
    RtdcFileBuilder b;
    b.arrayAttribute("online_filter:a,b polygon points", std::vector<float>(12, 1.f), {4, 3})
        .arrayAttribute("online_filter:c,d polygon points", std::vector<float>(4, 1.f), {4})
        .arrayAttribute("online_filter:ab polygon points", std::vector<float>(8, 1.f), {4, 2})
        .arrayAttribute("online_filter:a,b polygon", std::vector<float>(8, 1.f), {4, 2})
        .arrayAttribute("a,b polygon points", std::vector<float>(8, 1.f), {4, 2})
        .arrayAttribute("online_filter:e,f polygon points", std::vector<int32_t>(8, 1), {4, 2});
    const RTDCMetadata m = read(b);
    EXPECT_TRUE(m.polygonFilters.empty());
    EXPECT_TRUE(m.allAttributes.empty());
}

TEST_F(RTDCMetadataTest, PolygonOfAnySectionIsListed)
{
    RtdcFileBuilder b;
    b.polygonFilter("user", "x", "y,z", {{1, 2}, {3, 4}, {5, 6}});
    const RTDCMetadata m = read(b);
    ASSERT_EQ(m.polygonFilters.size(), 1u);
    EXPECT_EQ(m.polygonFilters[0].xFeature, "x");
    EXPECT_EQ(m.polygonFilters[0].yFeature, "y,z");
    EXPECT_EQ(m.allAttributes.count("user:x,y,z polygon points"), 1u);
}

TEST_F(RTDCMetadataTest, StandardMeasurementIsInstrumentData)
{
    Fixtures::writeStandardMeasurement(dir.file("s.rtdc"), 10);
    ASSERT_TRUE(reader.open(dir.file("s.rtdc")));
    Testing::StderrCapture capture;
    const RTDCMetadata m = reader.readMetadata();
    EXPECT_TRUE(capture.lines().empty());
    EXPECT_TRUE(reader.isInstrumentData());
    EXPECT_EQ(m.experiment.at("sample"), "Synthetic sample");
    EXPECT_EQ(m.imaging.at("pixel size"), "0.340000");
}
