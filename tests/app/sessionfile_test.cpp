// The JSON forms of session files: rules, filters, dataset state, groups and
// the fingerprint hash, read back from well-formed and from damaged objects.
#include "app/sessionfile.h"

#include "app/datasetentry.h"
#include "app/filtergroupregistry.h"
#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <QDir>
#include <QJsonDocument>

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

QJsonObject json(const char* text)
{
    return QJsonDocument::fromJson(QByteArray(text)).object();
}

} // namespace

// ---- rules and filters ------------------------------------------------------

TEST(SessionFileTest, RuleRoundTripKeepsEveryField)
{
    FilterRule rule;
    rule.type = 1;
    rule.featureName = "area_um";
    rule.featureNameY = "deform";
    rule.minValue = -2.5;
    rule.maxValue = 7.25;
    rule.polygonVertices = {{1.0, 2.0}, {3.5, -4.0}, {0.0, 9.0}};
    rule.scaleXMode = 2;
    rule.scaleYMode = 1;
    rule.enabled = false;
    rule.inverted = true;
    rule.propagationId = "{5d1e}";
    const QJsonObject o = serializeRule(rule);
    EXPECT_EQ(o.value("type").toString(), "Polygon");
    const FilterRule back = deserializeRule(o);
    EXPECT_EQ(back.type, 1);
    EXPECT_EQ(back.featureName, "area_um");
    EXPECT_EQ(back.featureNameY, "deform");
    EXPECT_EQ(back.minValue, -2.5);
    EXPECT_EQ(back.maxValue, 7.25);
    EXPECT_EQ(back.polygonVertices, rule.polygonVertices);
    EXPECT_EQ(back.scaleXMode, 2);
    EXPECT_EQ(back.scaleYMode, 1);
    EXPECT_FALSE(back.enabled);
    EXPECT_TRUE(back.inverted);
    EXPECT_EQ(back.propagationId, "{5d1e}");
}

TEST(SessionFileTest, DamagedRuleReadsAsDefaults)
{
    const FilterRule rule = deserializeRule(json(R"({"type": "polygon", "minValue": "3", "enabled": "no",
        "polygonVertices": [[1], [2, "x", 9], "bad", [4, 5]], "scaleXMode": 7, "scaleYMode": -1})"));
    EXPECT_EQ(rule.type, 0);   // only exactly "Polygon" is a gate
    EXPECT_EQ(rule.minValue, 0.0);
    EXPECT_TRUE(rule.enabled);
    const std::vector<std::pair<double, double>> vertices{{2.0, 0.0}, {4.0, 5.0}};
    EXPECT_EQ(rule.polygonVertices, vertices);
    EXPECT_EQ(rule.scaleXMode, 0);
    EXPECT_EQ(rule.scaleYMode, 0);
}

TEST(SessionFileTest, FilterCombineModeAndEnabledDefaults)
{
    EventFilter filter;
    filter.setCombineMode(1);
    filter.addRule(FilterRule());
    restoreDatasetFilter(filter, json(R"({"combineMode": "and"})"));
    EXPECT_FALSE(filter.isEnabled());
    EXPECT_EQ(filter.combineMode(), 0);
    EXPECT_EQ(filter.ruleCount(), 0);
    restoreDatasetFilter(filter, json("{}"));
    EXPECT_EQ(filter.combineMode(), 0);

    EventFilter saved;
    saved.setCombineMode(1);
    FilterRule rule;
    rule.featureName = "deform";
    saved.addRule(rule);
    saved.addRule(rule);
    restoreDatasetFilter(filter, serializeFilter(saved));
    EXPECT_TRUE(filter.isEnabled());
    EXPECT_EQ(filter.combineMode(), 1);
    EXPECT_EQ(filter.ruleCount(), 2);
}

// ---- datasets ---------------------------------------------------------------

TEST(SessionFileTest, CalculationStateRestoresOnlyWhenComplete)
{
    DatasetEntry entry;
    restoreDatasetState(entry, json(R"({"emodApplied": true, "ctcApplied": true, "ctcChannels": [1, 2, 3],
        "spilloverMatrix": [1, 0, 0, 0, 1, 0, 0, 1], "currentEventIndex": "x", "contourMode": 9, "scaleXMode": "2",
        "groupEnabled": [{"groupId": 4, "enabled": true}, {"groupId": 6}]})"));
    EXPECT_FALSE(entry.emodApplied);   // no parameters to recompute with
    EXPECT_TRUE(entry.ctcApplied);
    EXPECT_EQ(entry.ctcChannels, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(entry.spilloverMatrix.empty());   // 8 values do not make a 3 x 3 matrix
    EXPECT_EQ(entry.currentEventIndex, -1);
    EXPECT_EQ(entry.contourMode, 2);
    EXPECT_EQ(entry.scaleXMode, 0);
    EXPECT_EQ(entry.groupEnabled, (std::unordered_map<int, bool>{{4, true}, {6, false}}));

    DatasetEntry other;
    restoreDatasetState(other, json(R"({"emodApplied": true, "emodParams": {"medium": 3, "deformFeature": "deform_fc"},
        "ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0.25, 0.5, 1]})"));
    EXPECT_TRUE(other.emodApplied);
    EXPECT_EQ(other.emodParams.medium, 3);
    EXPECT_EQ(other.emodParams.deformFeature, "deform_fc");
    EXPECT_EQ(other.emodParams.pixelSize, 0.34);
    EXPECT_TRUE(other.emodParams.applyPixelationCorrection);
    ASSERT_EQ(other.spilloverMatrix.rows(), 2u);
    EXPECT_EQ(other.spilloverMatrix(0, 1), 0.25);
    EXPECT_EQ(other.spilloverMatrix(1, 0), 0.5);
}

TEST(SessionFileTest, DatasetsAreWrittenRelativeWithDuplicatesMarked)
{
    Fixtures::TempDir dir;
    std::vector<std::unique_ptr<DatasetEntry>> entries;
    for (int i = 0; i < 3; ++i) {
        entries.push_back(std::make_unique<DatasetEntry>());
        entries.back()->filePath = dir.file("sub/m" + std::to_string(i) + ".rtdc");
        entries.back()->reader = std::make_shared<RTDCReader>();
    }
    entries[2]->reader = entries[0]->reader;
    // A compensation whose matrix does not fit its channels writes no values
    // rather than reading past the matrix.
    entries[1]->ctcApplied = true;
    entries[1]->ctcChannels = {1, 2};
    const QJsonArray array = serializeDatasets(entries, QDir(QString::fromStdString(dir.path())));
    ASSERT_EQ(array.size(), 3);
    EXPECT_EQ(array[0].toObject().value("filePath").toString(), "sub/m0.rtdc");
    EXPECT_FALSE(array[1].toObject().value("isDuplicate").toBool());
    EXPECT_TRUE(array[2].toObject().value("isDuplicate").toBool());
    EXPECT_EQ(array[2].toObject().value("duplicateOfIndex").toInt(), 0);
    EXPECT_EQ(array[0].toObject().value("duplicateOfIndex").toInt(), -1);
    EXPECT_FALSE(array[0].toObject().contains("ctcChannels"));

    DatasetEntry back;
    restoreDatasetState(back, array[1].toObject());
    EXPECT_TRUE(back.ctcApplied);
    EXPECT_EQ(back.ctcChannels, (std::vector<int>{1, 2}));
    EXPECT_TRUE(back.spilloverMatrix.empty());
}

TEST(SessionFileTest, FeatureHashIgnoresCalculatedFeatures)
{
    Fixtures::TempDir dir;
    Fixtures::RtdcFileBuilder builder;
    builder.feature("area_um", {10.f, 20.f}).feature("deform", {0.1f, 0.2f});
    builder.write(dir.file("a.rtdc"));
    builder.feature("bright_avg", {1.f, 2.f});
    builder.write(dir.file("b.rtdc"));
    RTDCReader a;
    RTDCReader b;
    ASSERT_TRUE(a.open(dir.file("a.rtdc")));
    ASSERT_TRUE(b.open(dir.file("b.rtdc")));
    const QString hash = computeFeatureHash(a);
    EXPECT_EQ(hash.size(), 12);
    EXPECT_EQ(hash, hash.toLower());
    a.setComputedFeature("emodulus", {1.0, 2.0});
    EXPECT_EQ(computeFeatureHash(a), hash);
    EXPECT_NE(computeFeatureHash(b), hash);
    EXPECT_EQ(fingerprintOf(a).eventCount, 2);
    // A session without a fingerprint always differs.
    EXPECT_NE(readFingerprint(QJsonObject()), fingerprintOf(a));
}

// ---- filter groups ----------------------------------------------------------

TEST(SessionFileTest, GroupsWithBadIdsAreDroppedAndTheCounterEndsAboveAll)
{
    FilterGroupRegistry registry;
    std::vector<std::unique_ptr<DatasetEntry>> none;
    registry.addFilterGroup(none, "old");
    restoreFilterGroups(registry, json(R"({"nextGroupId": 5, "filterGroups": [
        {"id": 3, "name": "A", "rules": [{"type": "Range", "featureName": "deform"}]},
        {"id": -1, "name": "negative"}, {"name": "no id"}, {"id": 7, "name": "B"}, {"id": 3, "name": "again"}]})"));
    ASSERT_EQ(registry.filterGroups().size(), 2u);
    EXPECT_EQ(registry.filterGroups()[0]->name, "A");
    EXPECT_EQ(registry.filterGroups()[0]->rules.size(), 1u);
    EXPECT_EQ(registry.filterGroups()[1]->id, 7);
    EXPECT_EQ(registry.nextGroupId(), 8);
}
