#include "rtdc/featurecatalogue.h"
#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>

using namespace Tessary;

TEST(FeatureCatalogue, TablesHoldTheirEntries)
{
    EXPECT_EQ(featureDefinitions.size(), 105u);
    EXPECT_EQ(instrumentFeatureDefinitions.size(), 4u);
    EXPECT_EQ(fluorescenceSuffixDefinitions.size(), 10u);
    // Every suffix of channels 1 to 3 is in the main catalogue with the composed label.
    for (const auto& [suffix, definition] : fluorescenceSuffixDefinitions) {
        for (const char* channel : {"1", "2", "3"}) {
            const auto entry = featureDefinitions.find(std::string("fl") + channel + suffix);
            ASSERT_NE(entry, featureDefinitions.end()) << channel << suffix;
            EXPECT_EQ(entry->second.label, std::string("FL-") + channel + " " + definition.label);
            EXPECT_EQ(entry->second.unit, definition.unit);
        }
    }
}

TEST(FeatureCatalogue, LabelsCarryTheirUnits)
{
    const struct {
        const char* name;
        bool instrument;
        const char* label;
    } cases[] = {
        {"deform", false, "Deformation"},
        {"deform", true, "Deformation"},
        {"area_um", false, "Area [µm²]"},
        {"volume", false, "Volume [µm³]"},
        {"temp", true, "Chip temperature [°C]"},
        {"emodulus", false, "Young's modulus [kPa]"},
        {"userdef0", true, "Velocity [mm/s]"},
        {"userdef0", false, "User-defined 0"},
        {"userdef9", true, "Cell Type ID"},
        {"userdef3", true, "User-defined 3"},
        {"fl4_max", false, "FL-4 maximum [a.u.]"},
        {"fl12_width_rf", false, "FL-12 width refined [µs]"},
        {"fl2_npeaks", false, "FL-2 number of peaks"},
        {"FL1_max", false, "FL1_max"},
        {"fl_max", false, "fl_max"},
        {"fl12", false, "fl12"},
        {"fl1_total", false, "fl1_total"},
        {"fl1x_max", false, "fl1x_max"},
        {"my_feature", false, "my_feature"},
        {"", false, ""},
    };
    for (const auto& c : cases)
        EXPECT_EQ(featureLabelText(c.name, c.instrument), c.label) << c.name << " " << c.instrument;
}

TEST(FeatureCatalogue, FailedParseLeavesLabelAndUnitUntouched)
{
    std::string label = "keep", unit = "this";
    EXPECT_FALSE(parseFluorescenceFeature("fl7", label, unit));
    EXPECT_FALSE(parseFluorescenceFeature("fl7_", label, unit));
    EXPECT_FALSE(parseFluorescenceFeature("xl7_max", label, unit));
    EXPECT_EQ(label, "keep");
    EXPECT_EQ(unit, "this");
    EXPECT_TRUE(parseFluorescenceFeature("fl7_max_ctc", label, unit));
    EXPECT_EQ(label, "FL-7 maximum, crosstalk-corrected");
    EXPECT_EQ(unit, "a.u.");
}

TEST(FeatureCatalogue, ReaderLabelsFollowTheInstrumentFlag)
{
    Fixtures::TempDir dir;
    Fixtures::StandardOptions options;
    Fixtures::writeStandardMeasurement(dir.file("vireon.rtdc"), 5, options);
    options.moduleComposition = "Other Cytometer";
    Fixtures::writeStandardMeasurement(dir.file("other.rtdc"), 5, options);

    RTDCReader instrument, other;
    ASSERT_TRUE(instrument.open(dir.file("vireon.rtdc")));
    ASSERT_TRUE(other.open(dir.file("other.rtdc")));
    EXPECT_EQ(instrument.featureLabel("userdef0"), "User-defined 0"); // metadata not read yet
    instrument.readMetadata();
    other.readMetadata();
    EXPECT_EQ(instrument.featureLabel("userdef0"), "Velocity [mm/s]");
    EXPECT_EQ(other.featureLabel("userdef0"), "User-defined 0");
    instrument.setComputedFeature("my_score", {1, 2, 3, 4, 5});
    EXPECT_EQ(instrument.featureLabel("my_score"), "my_score");
}
