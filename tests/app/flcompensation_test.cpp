#include "calc/flcompensation.h"

#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <gtest/gtest.h>

#include <cmath>

using namespace Tessary;

namespace {

SpilloverMatrix matrix(std::initializer_list<std::initializer_list<double>> rows)
{
    SpilloverMatrix m(rows.size(), rows.size());
    size_t i = 0;
    for (const auto& row : rows) {
        size_t j = 0;
        for (double v : row)
            m(i, j++) = v;
        ++i;
    }
    return m;
}

} // namespace

TEST(FLCompensationTest, RecoversTrueSignalsOfThreeChannels)
{
    // Element (i, j): share of channel j's dye seen in channel i.
    const SpilloverMatrix s = matrix({{1.0, 0.2, 0.05}, {0.1, 1.0, 0.3}, {0.0, 0.15, 1.0}});
    const std::vector<std::vector<double>> truth = {{100, 0, 50}, {0, 200, 10}, {30, 0, 400}};
    std::vector<std::vector<double>> measured(3, std::vector<double>(3));
    for (size_t e = 0; e < 3; ++e)
        for (size_t i = 0; i < 3; ++i) {
            double sum = 0;
            for (size_t j = 0; j < 3; ++j)
                sum += s(i, j) * truth[j][e];
            measured[i][e] = sum;
        }
    std::vector<std::vector<double>> out;
    ASSERT_TRUE(FLCompensation::compensate(measured, s, out));
    for (size_t c = 0; c < 3; ++c)
        for (size_t e = 0; e < 3; ++e)
            EXPECT_NEAR(out[c][e], truth[c][e], 1e-9);
}

TEST(FLCompensationTest, IdentityLeavesPeaksUnchanged)
{
    const std::vector<std::vector<double>> measured = {{1, 2}, {3, 4}};
    std::vector<std::vector<double>> out;
    ASSERT_TRUE(FLCompensation::compensate(measured, matrix({{1, 0}, {0, 1}}), out));
    EXPECT_EQ(out, measured);
}

TEST(FLCompensationTest, NaNPeakSpoilsOnlyTheChannelsItFeeds)
{
    const double nan = std::nan("");
    std::vector<std::vector<double>> out;
    // Channel 2 sees nothing of channel 1, so channel 1's NaN stays in channel 1.
    ASSERT_TRUE(FLCompensation::compensate({{nan}, {5.0}}, matrix({{1, 0.5}, {0, 1}}), out));
    EXPECT_TRUE(std::isnan(out[0][0]));
    EXPECT_DOUBLE_EQ(out[1][0], 5.0);
}

TEST(FLCompensationTest, RefusesSingularMatrix)
{
    std::vector<std::vector<double>> out = {{7}};
    QString why;
    EXPECT_FALSE(FLCompensation::compensate({{1, 2}, {2, 4}}, matrix({{1, 1}, {1, 1}}), out, &why));
    EXPECT_TRUE(why.contains("singular"));
    EXPECT_EQ(out, (std::vector<std::vector<double>>{{7}}));   // untouched
}

TEST(FLCompensationTest, RefusesNearlySingularMatrix)
{
    std::vector<std::vector<double>> out;
    EXPECT_FALSE(FLCompensation::compensate({{1}, {1}}, matrix({{1, 1}, {1, 1 + 1e-15}}), out));
}

TEST(FLCompensationTest, RefusesMatrixOfWrongSizeOrWithNaN)
{
    std::vector<std::vector<double>> out;
    EXPECT_FALSE(FLCompensation::compensate({{1}, {1}}, matrix({{1}}), out));
    EXPECT_FALSE(FLCompensation::compensate({{1}, {1}}, matrix({{1, std::nan("")}, {0, 1}}), out));
    EXPECT_FALSE(FLCompensation::compensate({}, SpilloverMatrix(), out));
    EXPECT_FALSE(FLCompensation::compensate({{1, 2}, {1}}, matrix({{1, 0}, {0, 1}}), out));
}

TEST(FLCompensationTest, StoresCompensatedColumnsInTheReader)
{
    Fixtures::TempDir dir;
    const std::string path = dir.file("m.rtdc");
    const auto builder = Fixtures::writeStandardMeasurement(path, 50);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path));
    FLCompensation engine;
    int lastProgress = -1;
    QObject::connect(&engine, &FLCompensation::progressChanged, [&](int p) { lastProgress = p; });
    ASSERT_TRUE(engine.compute(&reader, {1, 2}, matrix({{1, 0.25}, {0, 1}})));
    EXPECT_EQ(lastProgress, 100);
    const std::vector<double> fl1 = builder.column("fl1_max"), fl2 = builder.column("fl2_max");
    const std::vector<double>& ctc1 = reader.readFeature("fl1_max_ctc");
    const std::vector<double>& ctc2 = reader.readFeature("fl2_max_ctc");
    ASSERT_EQ(ctc1.size(), 50u);
    for (size_t e = 0; e < 50; ++e) {
        EXPECT_NEAR(ctc1[e], fl1[e] - 0.25 * fl2[e], 1e-6 * (1 + std::abs(fl1[e])));
        EXPECT_NEAR(ctc2[e], fl2[e], 1e-9);
    }
}

TEST(FLCompensationTest, SingularMatrixStoresNothing)
{
    Fixtures::TempDir dir;
    const std::string path = dir.file("m.rtdc");
    Fixtures::writeStandardMeasurement(path, 10);
    RTDCReader reader;
    ASSERT_TRUE(reader.open(path));
    FLCompensation engine;
    EXPECT_FALSE(engine.compute(&reader, {1, 2}, matrix({{1, 2}, {0.5, 1}})));
    EXPECT_FALSE(reader.hasFeature("fl1_max_ctc"));
    EXPECT_FALSE(engine.compute(&reader, {1, 7}, matrix({{1, 0}, {0, 1}})));   // no fl7_max
    EXPECT_FALSE(engine.compute(nullptr, {1, 2}, matrix({{1, 0}, {0, 1}})));
}
