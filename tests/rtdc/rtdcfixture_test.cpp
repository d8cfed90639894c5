// The fixture writer is read back here with the HDF5 API directly: every other
// test trusts that its files hold exactly the types and values it promises.
#include "fixtures/rtdcfixture.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <limits>

using namespace Tessary::Fixtures;

namespace {

template <typename T>
std::vector<T> readAll(const H5::DataSet& set, const H5::DataType& memType)
{
    std::vector<T> values(static_cast<std::size_t>(set.getSpace().getSimpleExtentNpoints()));
    set.read(values.data(), memType);
    return values;
}

std::string readStringAttribute(const H5::Attribute& attr)
{
    H5::StrType type = attr.getStrType();
    std::string value;
    attr.read(type, value);
    return value;
}

} // namespace

TEST(RtdcFixture, IntegerColumnsKeepWidthSignAndExtremes)
{
    TempDir dir;
    RtdcFileBuilder b;
    b.feature("i8", std::vector<int8_t>{-128, -1, 127})
        .feature("u8", std::vector<uint8_t>{0, 1, 255})
        .feature("i16", std::vector<int16_t>{-32768, 0, 32767})
        .feature("u16", std::vector<uint16_t>{0, 1, 65535})
        .feature("i32", std::vector<int32_t>{std::numeric_limits<int32_t>::min(), 0, 7})
        .feature("u32", std::vector<uint32_t>{0, 1, 4294967295u})
        .feature("i64", std::vector<int64_t>{std::numeric_limits<int64_t>::min(), -1, 1})
        .feature("u64", std::vector<uint64_t>{0, (1ULL << 62) + 3, std::numeric_limits<uint64_t>::max()});
    b.write(dir.file("ints.rtdc"));

    H5::H5File file(dir.file("ints.rtdc"), H5F_ACC_RDONLY);
    struct Expect { const char* name; std::size_t size; H5T_sign_t sign; };
    for (const Expect& e : {Expect{"i8", 1, H5T_SGN_2}, Expect{"u8", 1, H5T_SGN_NONE}, Expect{"i16", 2, H5T_SGN_2},
                            Expect{"u16", 2, H5T_SGN_NONE}, Expect{"i32", 4, H5T_SGN_2},
                            Expect{"u32", 4, H5T_SGN_NONE}, Expect{"i64", 8, H5T_SGN_2},
                            Expect{"u64", 8, H5T_SGN_NONE}}) {
        H5::DataSet set = file.openDataSet(std::string("/events/") + e.name);
        ASSERT_EQ(set.getTypeClass(), H5T_INTEGER) << e.name;
        H5::IntType type = set.getIntType();
        EXPECT_EQ(type.getSize(), e.size) << e.name;
        EXPECT_EQ(type.getSign(), e.sign) << e.name;
        EXPECT_EQ(set.getSpace().getSimpleExtentNdims(), 1) << e.name;
    }
    EXPECT_EQ(readAll<int8_t>(file.openDataSet("/events/i8"), H5::PredType::NATIVE_INT8),
              (std::vector<int8_t>{-128, -1, 127}));
    EXPECT_EQ(readAll<uint64_t>(file.openDataSet("/events/u64"), H5::PredType::NATIVE_UINT64),
              (std::vector<uint64_t>{0, (1ULL << 62) + 3, std::numeric_limits<uint64_t>::max()}));
    EXPECT_EQ(b.column("i16"), (std::vector<double>{-32768, 0, 32767}));
}

TEST(RtdcFixture, FloatBoolAndStringColumnsHaveTheirFileTypes)
{
    TempDir dir;
    RtdcFileBuilder b;
    b.feature("f32", std::vector<float>{0.5f, NAN, -2.f})
        .feature("f64", std::vector<double>{1e300, -0.0, 3.25})
        .boolFeature("flag", {true, false, true})
        .stringFeature("note", {"a", "µm²", ""})
        .stringFeature("fixed", {"ab", "c"}, StringForm::FixedAscii);
    b.write(dir.file("kinds.rtdc"));

    H5::H5File file(dir.file("kinds.rtdc"), H5F_ACC_RDONLY);
    H5::DataSet f32 = file.openDataSet("/events/f32");
    EXPECT_EQ(f32.getFloatType().getSize(), 4u);
    auto floats = readAll<float>(f32, H5::PredType::NATIVE_FLOAT);
    EXPECT_EQ(floats[0], 0.5f);
    EXPECT_TRUE(std::isnan(floats[1]));
    EXPECT_EQ(file.openDataSet("/events/f64").getFloatType().getSize(), 8u);

    // h5py's bool: an int8 enum whose members are FALSE = 0 and TRUE = 1.
    H5::DataSet flag = file.openDataSet("/events/flag");
    ASSERT_EQ(flag.getTypeClass(), H5T_ENUM);
    H5::EnumType enumType = flag.getEnumType();
    EXPECT_EQ(enumType.getSize(), 1u);
    EXPECT_EQ(enumType.getNmembers(), 2);
    int8_t value = -1;
    enumType.valueOf("TRUE", &value);
    EXPECT_EQ(value, 1);
    EXPECT_EQ(enumType.nameOf(&(value = 0), 16), "FALSE");
    EXPECT_EQ(readAll<int8_t>(flag, H5::PredType::NATIVE_INT8), (std::vector<int8_t>{1, 0, 1}));

    H5::DataSet note = file.openDataSet("/events/note");
    ASSERT_EQ(note.getTypeClass(), H5T_STRING);
    EXPECT_TRUE(note.getStrType().isVariableStr());
    EXPECT_EQ(note.getStrType().getCset(), H5T_CSET_UTF8);
    H5::DataSet fixed = file.openDataSet("/events/fixed");
    EXPECT_FALSE(fixed.getStrType().isVariableStr());
    EXPECT_EQ(fixed.getStrType().getSize(), 2u);
    EXPECT_TRUE(b.column("note").empty());
    EXPECT_EQ(b.column("flag"), (std::vector<double>{1, 0, 1}));
}

TEST(RtdcFixture, RootAttributesOfEveryClass)
{
    TempDir dir;
    RtdcFileBuilder b;
    b.attribute("setup:module composition", "Vireon, µ-Fluor")
        .attribute("experiment:sample", "plain", StringForm::VariableAscii)
        .attribute("experiment:date", "2026-01-15", StringForm::FixedUtf8)
        .attribute("experiment:time", "10:42", StringForm::FixedSpacePad)
        .attribute("experiment:run index", int16_t{-3})
        .attribute("imaging:pixel size", 0.34f)
        .boolAttribute("online_contour:no absdiff", true)
        .polygonFilter("online_filter", "area_um", "deform", {{1, 0.1}, {2, 0.1}, {2, 0.2}, {1, 0.2}})
        .arrayAttribute("online_filter:bad polygon points", std::vector<float>(12, 1.f), {4, 3});
    b.write(dir.file("attrs.rtdc"));

    H5::H5File file(dir.file("attrs.rtdc"), H5F_ACC_RDONLY);
    H5::Group root = file.openGroup("/");
    EXPECT_EQ(root.getNumAttrs(), 9);

    H5::Attribute composition = root.openAttribute("setup:module composition");
    EXPECT_TRUE(composition.getStrType().isVariableStr());
    EXPECT_EQ(composition.getStrType().getCset(), H5T_CSET_UTF8);
    EXPECT_EQ(readStringAttribute(composition), "Vireon, µ-Fluor");
    EXPECT_EQ(root.openAttribute("experiment:sample").getStrType().getCset(), H5T_CSET_ASCII);

    H5::StrType dateType = root.openAttribute("experiment:date").getStrType();
    EXPECT_FALSE(dateType.isVariableStr());
    EXPECT_EQ(dateType.getCset(), H5T_CSET_UTF8);
    EXPECT_EQ(dateType.getSize(), 10u);
    H5::StrType timeType = root.openAttribute("experiment:time").getStrType();
    EXPECT_EQ(timeType.getStrpad(), H5T_STR_SPACEPAD);

    H5::Attribute runIndex = root.openAttribute("experiment:run index");
    EXPECT_EQ(runIndex.getIntType().getSize(), 2u);
    EXPECT_EQ(runIndex.getSpace().getSimpleExtentNdims(), 0);
    long long index = 0;
    runIndex.read(H5::PredType::NATIVE_LLONG, &index);
    EXPECT_EQ(index, -3);
    EXPECT_EQ(root.openAttribute("imaging:pixel size").getFloatType().getSize(), 4u);
    EXPECT_EQ(root.openAttribute("online_contour:no absdiff").getTypeClass(), H5T_ENUM);

    H5::Attribute polygon = root.openAttribute("online_filter:area_um,deform polygon points");
    ASSERT_EQ(polygon.getTypeClass(), H5T_FLOAT);
    hsize_t dims[2] = {0, 0};
    ASSERT_EQ(polygon.getSpace().getSimpleExtentDims(dims), 2);
    EXPECT_EQ(dims[0], 4u);
    EXPECT_EQ(dims[1], 2u);
    float points[8] = {};
    polygon.read(H5::PredType::NATIVE_FLOAT, points);
    EXPECT_FLOAT_EQ(points[4], 2.f);
    EXPECT_FLOAT_EQ(points[5], 0.2f);
}

TEST(RtdcFixture, CompressedFramesMatchAcrossWriteBlocks)
{
    // 3000 frames of 48 x 96 pixels are written in more than one block; the
    // frames past the first block must still be the ones the builder reports.
    TempDir dir;
    StandardOptions options;
    options.images = true;
    options.masks = true;
    options.imageStorage = {32, 4};
    options.maskStorage = {50, 1};
    RtdcFileBuilder b = writeStandardMeasurement(dir.file("frames.rtdc"), 3000, options);

    H5::H5File file(dir.file("frames.rtdc"), H5F_ACC_RDONLY);
    H5::DataSet image = file.openDataSet("/events/image");
    H5::DSetCreatPropList plist = image.getCreatePlist();
    EXPECT_EQ(plist.getLayout(), H5D_CHUNKED);
    EXPECT_EQ(plist.getNfilters(), 1);
    hsize_t dims[3] = {};
    ASSERT_EQ(image.getSpace().getSimpleExtentDims(dims), 3);
    EXPECT_EQ(dims[0], 3000u);
    EXPECT_EQ(dims[1], options.imageHeight);
    EXPECT_EQ(dims[2], options.imageWidth);

    const std::size_t pixels = options.imageHeight * options.imageWidth;
    for (hsize_t index : {hsize_t{0}, hsize_t{2500}, hsize_t{2999}}) {
        for (const char* name : {"image", "mask"}) {
            H5::DataSet set = file.openDataSet(std::string("/events/") + name);
            H5::DataSpace space = set.getSpace();
            hsize_t start[3] = {index, 0, 0}, count[3] = {1, dims[1], dims[2]};
            space.selectHyperslab(H5S_SELECT_SET, count, start);
            H5::DataSpace memory(2, count + 1);
            std::vector<uint8_t> frame(pixels);
            set.read(frame.data(), H5::PredType::NATIVE_UINT8, memory, space);
            EXPECT_EQ(frame, b.frame(name, index)) << name << " " << index;
        }
    }
    // The mask covers the drawn cell: some pixels in, most out, only 0 and 255.
    auto mask = b.frame("mask", 2500);
    const auto inside = std::count(mask.begin(), mask.end(), 255);
    EXPECT_GT(inside, 0);
    EXPECT_LT(inside, static_cast<long>(pixels / 2));
    EXPECT_EQ(inside + std::count(mask.begin(), mask.end(), 0), static_cast<long>(pixels));
}

TEST(RtdcFixture, StandardMeasurementIsInstrumentDataAndDeterministic)
{
    TempDir dir;
    StandardOptions options;
    options.traces = true;
    RtdcFileBuilder b = writeStandardMeasurement(dir.file("std.rtdc"), 400, options);

    H5::H5File file(dir.file("std.rtdc"), H5F_ACC_RDONLY);
    const std::string composition = readStringAttribute(file.openGroup("/").openAttribute("setup:module composition"));
    EXPECT_NE(composition.find("Vireon"), std::string::npos);
    for (const char* name : {"area_um", "deform", "bright_avg", "fl1_max", "time", "index"}) {
        H5::DataSet set = file.openDataSet(std::string("/events/") + name);
        EXPECT_EQ(set.getSpace().getSimpleExtentNpoints(), 400) << name;
    }
    EXPECT_FALSE(file.nameExists("/events/image"));
    H5::DataSet raw = file.openDataSet("/events/trace/fl1_raw");
    EXPECT_EQ(raw.getIntType().getSize(), 2u);
    hsize_t dims[2] = {};
    raw.getSpace().getSimpleExtentDims(dims);
    EXPECT_EQ(dims[1], options.traceLength);
    auto rows = readAll<int16_t>(raw, H5::PredType::NATIVE_INT16);
    auto row = b.traceRow("fl1_raw", 399);
    ASSERT_EQ(row.size(), options.traceLength);
    for (std::size_t k = 0; k < row.size(); ++k)
        ASSERT_EQ(rows[399 * options.traceLength + k], row[k]);

    // Same seed, same values; another seed, other values.
    EXPECT_EQ(standardMeasurement(400, options).column("deform"), b.column("deform"));
    options.seed = 7;
    EXPECT_NE(standardMeasurement(400, options).column("deform"), b.column("deform"));
    const auto area = b.column("area_um");
    EXPECT_TRUE(std::all_of(area.begin(), area.end(), [](double a) { return a > 0 && std::isfinite(a); }));
}

TEST(RtdcFixture, DamagedAndUnusualFiles)
{
    TempDir dir;
    RtdcFileBuilder().withoutEvents().attribute("setup:module composition", "Vireon").write(dir.file("none.rtdc"));
    {
        H5::H5File file(dir.file("none.rtdc"), H5F_ACC_RDONLY);
        EXPECT_FALSE(file.nameExists("/events"));
    }
    RtdcFileBuilder()
        .dataset("/events/area_um", std::vector<float>(6, 1.f), {2, 3})
        .dataset("/events/image", std::vector<uint8_t>(4, 9), {})
        .group("/events/trace")
        .write(dir.file("ranks.rtdc"));
    {
        H5::H5File file(dir.file("ranks.rtdc"), H5F_ACC_RDONLY);
        EXPECT_EQ(file.openDataSet("/events/area_um").getSpace().getSimpleExtentNdims(), 2);
        EXPECT_EQ(file.openDataSet("/events/image").getSpace().getSimpleExtentNdims(), 1);
        EXPECT_EQ(file.openGroup("/events/trace").getNumObjs(), 0u);
    }

    // No events at all: empty columns, and frames whose chunking is dropped.
    StandardOptions empty;
    empty.images = true;
    empty.imageStorage = {10, 4};
    RtdcFileBuilder none = standardMeasurement(0, empty);
    none.feature("flags", {uint8_t{}}).dataset("/events/flags", std::vector<uint8_t>{}, {});
    none.write(dir.file("empty.rtdc"));
    {
        H5::H5File file(dir.file("empty.rtdc"), H5F_ACC_RDONLY);
        EXPECT_EQ(file.openDataSet("/events/deform").getSpace().getSimpleExtentNpoints(), 0);
        EXPECT_EQ(file.openDataSet("/events/flags").getSpace().getSimpleExtentNpoints(), 0);
        EXPECT_EQ(file.openDataSet("/events/image").getSpace().getSimpleExtentNpoints(), 0);
    }

    writeNotHdf5(dir.file("text.rtdc"));
    EXPECT_FALSE(H5::H5File::isHdf5(dir.file("text.rtdc")));
    writeStandardMeasurement(dir.file("whole.rtdc"), 100);
    writeTruncatedCopy(dir.file("whole.rtdc"), dir.file("cut.rtdc"), fileSize(dir.file("whole.rtdc")) / 2);
    EXPECT_EQ(fileSize(dir.file("cut.rtdc")), fileSize(dir.file("whole.rtdc")) / 2);

    EXPECT_THROW(RtdcFileBuilder().feature("x", std::vector<float>{1}).write(dir.path() + "/missing/x.rtdc"),
                 std::runtime_error);
    EXPECT_THROW(RtdcFileBuilder().dataset("/events/x", std::vector<float>(5), {2, 2}), std::invalid_argument);
}

TEST(RtdcFixture, TempDirRemovesItsContents)
{
    std::string path;
    {
        TempDir dir;
        path = dir.path();
        writeNotHdf5(dir.file("a.txt"));
        EXPECT_TRUE(std::filesystem::exists(dir.file("a.txt")));
    }
    EXPECT_FALSE(std::filesystem::exists(path));
}
