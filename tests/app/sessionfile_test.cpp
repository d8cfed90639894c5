// The JSON forms of session files: rules, filters, dataset state, groups and
// the fingerprint hash, read back from well-formed and from damaged objects.
#include "app/sessionfile.h"

#include "app/datasetentry.h"
#include "app/filtergroupregistry.h"
#include "common/filesizelimit.h"
#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <QDir>
#include <QFile>
#include <QJsonDocument>

#include <gtest/gtest.h>

#include <limits>

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
    FilterRule rule{1, "area_um", "deform", -2.5, 7.25, {{1.0, 2.0}, {3.5, -4.0}}, 2, 1, false, true, "{5d1e}"};
    const QJsonObject o = serializeRule(rule);
    EXPECT_EQ(o.value("type").toString(), "Polygon");
    EXPECT_EQ(serializeRule(deserializeRule(o)), o);
    EXPECT_EQ(deserializeRule(o).polygonVertices, rule.polygonVertices);

    // JSON has no infinity: infinite bounds still come back from the file's
    // text, and infinities written as text read as well.
    const double inf = std::numeric_limits<double>::infinity();
    const FilterRule open{0, "area_um", "", -inf, inf, {}, 0, 0, true, false, ""};
    const QByteArray text = QJsonDocument(serializeRule(open)).toJson();
    const FilterRule back = deserializeRule(QJsonDocument::fromJson(text).object());
    EXPECT_EQ(std::make_pair(back.minValue, back.maxValue), std::make_pair(-inf, inf)) << text.toStdString();
    const FilterRule typed = deserializeRule(json(R"({"minValue": "-Infinity", "maxValue": "inf"})"));
    EXPECT_EQ(std::make_pair(typed.minValue, typed.maxValue), std::make_pair(-inf, inf));
}

TEST(SessionFileTest, DamagedRuleAndFilterReadAsDefaults)
{
    const FilterRule rule = deserializeRule(json(R"({"type": "polygon", "minValue": "3", "enabled": "no",
        "polygonVertices": [[1], [2, "x", 9], "bad", [4, 5]], "scaleXMode": 7, "scaleYMode": -1})"));
    EXPECT_EQ(rule.type, 0);   // only exactly "Polygon" is a gate
    EXPECT_EQ(rule.minValue, 0.0);
    EXPECT_TRUE(rule.enabled);
    EXPECT_EQ(rule.polygonVertices, (std::vector<std::pair<double, double>>{{2.0, 0.0}, {4.0, 5.0}}));
    EXPECT_EQ(rule.scaleXMode, 0);
    EXPECT_EQ(rule.scaleYMode, 0);

    EventFilter filter;
    filter.setCombineMode(1);
    filter.addRule(FilterRule());
    restoreDatasetFilter(filter, json(R"({"combineMode": "and"})"));
    EXPECT_FALSE(filter.isEnabled());
    EXPECT_EQ(filter.combineMode(), 0);
    EXPECT_EQ(filter.ruleCount(), 0);

    // A bound that is not a number (null is what a non-finite bound used to
    // become) is no 0: the rule is left out, and counted for a warning.
    const QJsonObject mixed = json(R"({"rules": [{"minValue": null}, {"maxValue": "NaN"}, {"maxValue": 2}]})");
    restoreDatasetFilter(filter, mixed);
    ASSERT_EQ(filter.ruleCount(), 1);
    EXPECT_EQ(filter.rules[0].maxValue, 2.0);
    EXPECT_EQ(countUnreadableRules(mixed.value("rules")), 2);
}

// ---- datasets ---------------------------------------------------------------

TEST(SessionFileTest, CalculationStateRestoresOnlyWhenComplete)
{
    DatasetEntry entry;
    restoreDatasetState(entry, json(R"({"emodApplied": true, "ctcApplied": true, "ctcChannels": [1, 2, 3],
        "spilloverMatrix": [1, 0, 0, 0, 1, 0, 0, 1], "currentEventIndex": "x", "contourMode": 9,
        "groupEnabled": [{"groupId": 4, "enabled": true}, {"groupId": 6}]})"));
    EXPECT_FALSE(entry.emodApplied);   // no parameters to recompute with
    EXPECT_TRUE(entry.ctcApplied);
    EXPECT_EQ(entry.ctcChannels, (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(entry.spilloverMatrix.empty());   // 8 values do not make a 3 x 3 matrix
    EXPECT_EQ(entry.currentEventIndex, -1);
    EXPECT_EQ(entry.contourMode, 2);
    EXPECT_EQ(entry.groupEnabled, (std::unordered_map<int, bool>{{4, true}, {6, false}}));

    DatasetEntry other;
    restoreDatasetState(other, json(R"({"emodApplied": true, "emodParams": {"medium": 3, "deformFeature": "deform_fc"},
        "ctcApplied": true, "ctcChannels": [1, 2], "spilloverMatrix": [1, 0.25, 0.5, 1]})"));
    EXPECT_TRUE(other.emodApplied);
    EXPECT_EQ(other.emodParams.medium, 3);
    EXPECT_EQ(other.emodParams.deformFeature, "deform_fc");
    ASSERT_EQ(other.spilloverMatrix.rows(), 2u);
    EXPECT_EQ(other.spilloverMatrix(0, 1), 0.25);
    EXPECT_EQ(other.spilloverMatrix(1, 0), 0.5);
}

TEST(SessionFileTest, MatrixOfTheWrongShapeIsNotWritten)
{
    // Should the matrix not fit its channels, no values are written rather
    // than values read past the matrix.
    DatasetEntry entry;
    entry.ctcApplied = true;
    entry.ctcChannels = {1, 2};
    DatasetEntry back;
    restoreDatasetState(back, serializeDataset(entry, QDir(), -1));
    EXPECT_TRUE(back.ctcApplied);
    EXPECT_EQ(back.ctcChannels, (std::vector<int>{1, 2}));
    EXPECT_TRUE(back.spilloverMatrix.empty());
}

TEST(SessionFileTest, FeatureHashIgnoresCalculatedFeatures)
{
    Fixtures::TempDir dir;
    Fixtures::RtdcFileBuilder builder;
    builder.feature("area_um", {10.f, 20.f}).feature("deform", {0.1f, 0.2f}).write(dir.file("a.rtdc"));
    builder.feature("bright_avg", {1.f, 2.f}).write(dir.file("b.rtdc"));
    RTDCReader a;
    RTDCReader b;
    ASSERT_TRUE(a.open(dir.file("a.rtdc")) && b.open(dir.file("b.rtdc")));
    const QString hash = computeFeatureHash(a);
    EXPECT_EQ(hash.size(), 12);
    a.setComputedFeature("emodulus", {1.0, 2.0});
    EXPECT_EQ(computeFeatureHash(a), hash);
    EXPECT_NE(computeFeatureHash(b), hash);
}

// ---- writing ----------------------------------------------------------------

#ifdef __unix__
using Testing::FileSizeLimit;

TEST(SessionFileTest, WriteThatDoesNotFitLeavesTheOldFileAndNothingElse)
{
    Fixtures::TempDir dir;
    const QString path = QString::fromStdString(dir.file("s.RYX"));
    const QJsonObject old{{"version", 1}};
    ASSERT_TRUE(writeJsonFile(path, old));
    // Smaller than the device's buffer, so the failure shows only when it is written out.
    const QJsonObject large{{"version", 1}, {"notes", QString(3000, 'x')}};
    {
        FileSizeLimit limit(1024);
        EXPECT_FALSE(writeJsonFile(path, large));
        EXPECT_FALSE(writeJsonFile(QString::fromStdString(dir.file("new.RYX")), large));
    }
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object(), old);
    EXPECT_EQ(QDir(QString::fromStdString(dir.path())).entryList(QDir::Files | QDir::Hidden), QStringList{"s.RYX"});
    EXPECT_TRUE(writeJsonFile(path, large));
}
#endif

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

    // Ids too large to number their gates are refused, and so is such a counter.
    restoreFilterGroups(registry, json(R"({"nextGroupId": 2000000000, "filterGroups": [{"id": 2000000000}]})"));
    EXPECT_TRUE(registry.filterGroups().empty());
    EXPECT_LE(registry.nextGroupId(), kMaxFilterGroupId);
}
