#include "app/datasetentry.h"

#include <gtest/gtest.h>

using namespace Tessary;

TEST(DatasetEntry, NewEntryDefaults)
{
    const DatasetEntry entry;
    EXPECT_EQ(entry.id, -1);
    EXPECT_EQ(entry.reader, nullptr);
    EXPECT_TRUE(entry.displayName.isEmpty());
    EXPECT_EQ(entry.currentEventIndex, -1);
    EXPECT_FALSE(entry.loaded);
    EXPECT_TRUE(entry.filter.isEnabled());
    EXPECT_EQ(entry.filter.ruleCount(), 0);
    EXPECT_EQ(entry.filter.combineMode(), 0);
    EXPECT_EQ(entry.contourMode, 0);
    EXPECT_DOUBLE_EQ(entry.contourFraction1, 0.1);
    EXPECT_DOUBLE_EQ(entry.contourFraction2, 0.67);
    EXPECT_EQ(entry.scaleXMode, 0);
    EXPECT_EQ(entry.scaleYMode, 0);
    EXPECT_FALSE(entry.flRefinementApplied || entry.ctcApplied || entry.emodApplied
                 || entry.fcDeformApplied || entry.imageFeaturesApplied);
    EXPECT_TRUE(entry.ctcChannels.empty());
    EXPECT_EQ(entry.spilloverMatrix.rows(), 0u);
    EXPECT_EQ(entry.spilloverMatrix.cols(), 0u);
    EXPECT_TRUE(entry.groupEnabled.empty());
}

TEST(DatasetEntry, YoungsModulusDefaults)
{
    const EModulusParams p = DatasetEntry().emodParams;
    EXPECT_EQ(p.lutModel, 0);
    EXPECT_EQ(p.viscModel, 0);
    EXPECT_EQ(p.medium, 1);
    EXPECT_DOUBLE_EQ(p.temperature, 23.0);
    EXPECT_EQ(p.tempSource, 2);
    EXPECT_DOUBLE_EQ(p.manualViscosity, 0.0);
    EXPECT_DOUBLE_EQ(p.channelWidth, 20.0);
    EXPECT_DOUBLE_EQ(p.flowRate, 0.04);
    EXPECT_DOUBLE_EQ(p.pixelSize, 0.34);
    EXPECT_EQ(p.deformFeature, "deform");
    EXPECT_TRUE(p.applyPixelationCorrection);
}

TEST(DatasetEntry, SpilloverMatrixIsRowMajorAndZeroFilled)
{
    SpilloverMatrix m;
    m.resize(2, 2);
    m(0, 1) = 0.25;
    m(1, 0) = 0.5;
    EXPECT_EQ(m.data(), (std::vector<double>{0.0, 0.25, 0.5, 0.0}));
    m.resize(3, 3);
    EXPECT_EQ(m.data(), std::vector<double>(9, 0.0));
}
