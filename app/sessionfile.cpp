#include "app/sessionfile.h"

#include "app/datasetentry.h"
#include "app/displaytext.h"
#include "app/filtergroupregistry.h"
#include "rtdc/axistransforms.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/stagedfile.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QJsonDocument>

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <unordered_set>

namespace Tessary {

namespace {

QString text(const std::string& utf8)
{
    return QString::fromStdString(utf8);
}

std::string utf8(const QJsonValue& value)
{
    return value.toString().toStdString();
}

QJsonObject serializeEModulusParams(const EModulusParams& p)
{
    return QJsonObject{
        {QStringLiteral("lutModel"), p.lutModel},
        {QStringLiteral("viscModel"), p.viscModel},
        {QStringLiteral("medium"), p.medium},
        {QStringLiteral("temperature"), p.temperature},
        {QStringLiteral("tempSource"), p.tempSource},
        {QStringLiteral("manualViscosity"), p.manualViscosity},
        {QStringLiteral("channelWidth"), p.channelWidth},
        {QStringLiteral("flowRate"), p.flowRate},
        {QStringLiteral("pixelSize"), p.pixelSize},
        {QStringLiteral("deformFeature"), text(p.deformFeature)},
        {QStringLiteral("applyPixelationCorrection"), p.applyPixelationCorrection},
    };
}

EModulusParams deserializeEModulusParams(const QJsonObject& o)
{
    const EModulusParams d;
    EModulusParams p;
    p.lutModel = o.value(QStringLiteral("lutModel")).toInt(d.lutModel);
    p.viscModel = o.value(QStringLiteral("viscModel")).toInt(d.viscModel);
    p.medium = o.value(QStringLiteral("medium")).toInt(d.medium);
    p.temperature = o.value(QStringLiteral("temperature")).toDouble(d.temperature);
    p.tempSource = o.value(QStringLiteral("tempSource")).toInt(d.tempSource);
    p.manualViscosity = o.value(QStringLiteral("manualViscosity")).toDouble(d.manualViscosity);
    p.channelWidth = o.value(QStringLiteral("channelWidth")).toDouble(d.channelWidth);
    p.flowRate = o.value(QStringLiteral("flowRate")).toDouble(d.flowRate);
    p.pixelSize = o.value(QStringLiteral("pixelSize")).toDouble(d.pixelSize);
    p.deformFeature = o.value(QStringLiteral("deformFeature")).toString(text(d.deformFeature)).toStdString();
    p.applyPixelationCorrection = o.value(QStringLiteral("applyPixelationCorrection")).toBool(d.applyPixelationCorrection);
    return p;
}

// JSON has no infinity (the writer would turn one into null): an infinite
// bound is written as the largest finite double of its sign, which reads back
// as that infinity.
QJsonValue boundValue(double value)
{
    if (std::isinf(value))
        return value > 0 ? std::numeric_limits<double>::max() : std::numeric_limits<double>::lowest();
    return value;
}

// A bound as written above, or an infinity given as text ("inf", "-Infinity");
// NaN when it is not a number: null (a non-finite bound of an older file, or
// NaN) or the text of a NaN. Any other value reads as the default 0.
double readBound(const QJsonValue& value)
{
    constexpr double inf = std::numeric_limits<double>::infinity();
    if (value.isDouble()) {
        const double v = value.toDouble();
        return v == std::numeric_limits<double>::max() ? inf : v == std::numeric_limits<double>::lowest() ? -inf : v;
    }
    if (value.isNull())
        return std::numeric_limits<double>::quiet_NaN();
    const QString text = value.toString().trimmed().toLower();
    if (text == QLatin1String("inf") || text == QLatin1String("+inf") || text == QLatin1String("infinity")
        || text == QLatin1String("+infinity"))
        return inf;
    if (text == QLatin1String("-inf") || text == QLatin1String("-infinity"))
        return -inf;
    if (text == QLatin1String("nan") || text == QLatin1String("+nan") || text == QLatin1String("-nan"))
        return std::numeric_limits<double>::quiet_NaN();
    return 0.0;
}

QJsonArray serializeRules(const std::vector<FilterRule>& rules)
{
    QJsonArray array;
    for (const FilterRule& rule : rules)
        array.append(serializeRule(rule));
    return array;
}

std::vector<FilterRule> deserializeRules(const QJsonValue& value)
{
    std::vector<FilterRule> rules;
    for (const QJsonValue& item : value.toArray()) {
        FilterRule rule = deserializeRule(item.toObject());
        if (boundsReadable(rule))   // the others are refused (the caller warns)
            rules.push_back(std::move(rule));
    }
    return rules;
}

} // namespace

// ---------------------------------------------------------------------------
// Writing

bool writeJsonFile(const QString& path, const QJsonObject& root, QString* problem)
{
    FileFailure failure;
    const QByteArray json = QJsonDocument(root).toJson(QJsonDocument::Indented);
    if (replaceFileContent(path.toStdString(), std::string_view(json.constData(), size_t(json.size())), &failure))
        return true;
    if (problem)
        *problem = QString::fromStdString(failure.reason);
    return false;
}

// ---------------------------------------------------------------------------
// Rules and filters

bool boundsReadable(const FilterRule& rule)
{
    return !std::isnan(rule.minValue) && !std::isnan(rule.maxValue);
}

QJsonObject serializeRule(const FilterRule& rule)
{
    QJsonArray vertices;
    for (const auto& [x, y] : rule.polygonVertices)
        vertices.append(QJsonArray{x, y});
    return QJsonObject{
        {QStringLiteral("type"), rule.type == 1 ? QStringLiteral("Polygon") : QStringLiteral("Range")},
        {QStringLiteral("featureName"), text(rule.featureName)},
        {QStringLiteral("featureNameY"), text(rule.featureNameY)},
        {QStringLiteral("minValue"), boundValue(rule.minValue)},
        {QStringLiteral("maxValue"), boundValue(rule.maxValue)},
        {QStringLiteral("enabled"), rule.enabled},
        {QStringLiteral("inverted"), rule.inverted},
        {QStringLiteral("propagationId"), text(rule.propagationId)},
        {QStringLiteral("polygonVertices"), vertices},
        {QStringLiteral("scaleXMode"), int(rule.scaleXMode)},
        {QStringLiteral("scaleYMode"), int(rule.scaleYMode)},
    };
}

FilterRule deserializeRule(const QJsonObject& o)
{
    FilterRule rule;
    rule.type = o.value(QStringLiteral("type")).toString() == QLatin1String("Polygon") ? 1 : 0;
    rule.featureName = utf8(o.value(QStringLiteral("featureName")));
    rule.featureNameY = utf8(o.value(QStringLiteral("featureNameY")));
    rule.minValue = o.contains(QStringLiteral("minValue")) ? readBound(o.value(QStringLiteral("minValue"))) : 0.0;
    rule.maxValue = o.contains(QStringLiteral("maxValue")) ? readBound(o.value(QStringLiteral("maxValue"))) : 0.0;
    rule.enabled = o.value(QStringLiteral("enabled")).toBool(true);
    rule.inverted = o.value(QStringLiteral("inverted")).toBool(false);
    rule.propagationId = utf8(o.value(QStringLiteral("propagationId")));
    for (const QJsonValue& vertex : o.value(QStringLiteral("polygonVertices")).toArray()) {
        const QJsonArray xy = vertex.toArray();
        if (xy.size() < 2)
            continue;
        rule.polygonVertices.emplace_back(xy.at(0).toDouble(0.0), xy.at(1).toDouble(0.0));
    }
    // A file may hold any number; the axes know only three modes.
    rule.scaleXMode = normalizeScaleMode(o.value(QStringLiteral("scaleXMode")).toInt(0));
    rule.scaleYMode = normalizeScaleMode(o.value(QStringLiteral("scaleYMode")).toInt(0));
    return rule;
}

int countUnreadableRules(const QJsonValue& rules)
{
    int count = 0;
    for (const QJsonValue& rule : rules.toArray())
        count += !boundsReadable(deserializeRule(rule.toObject()));
    return count;
}

int countUnreadableSessionRules(const QJsonObject& root)
{
    int count = 0;
    for (const QJsonValue& ds : root.value(QStringLiteral("datasets")).toArray())
        count += countUnreadableRules(ds.toObject().value(QStringLiteral("filter")).toObject().value(QStringLiteral("rules")));
    for (const QJsonValue& group : root.value(QStringLiteral("filterGroups")).toArray())
        count += countUnreadableRules(group.toObject().value(QStringLiteral("rules")));
    return count;
}

QJsonObject serializeFilter(const EventFilter& filter)
{
    return QJsonObject{
        {QStringLiteral("enabled"), filter.isEnabled()},
        // Every mode but 0 evaluates as "keep the rest".
        {QStringLiteral("combineMode"), filter.combineMode() == 0 ? QStringLiteral("AND") : QStringLiteral("NOT")},
        {QStringLiteral("rules"), serializeRules(filter.rules)},
    };
}

void restoreDatasetFilter(EventFilter& filter, const QJsonObject& o)
{
    filter = EventFilter();
    filter.setEnabled(o.value(QStringLiteral("enabled")).toBool(false));
    filter.setCombineMode(o.value(QStringLiteral("combineMode")).toString() == QLatin1String("NOT") ? 1 : 0);
    for (const FilterRule& rule : deserializeRules(o.value(QStringLiteral("rules"))))
        filter.addRule(rule);
}

// ---------------------------------------------------------------------------
// Fingerprint

QString computeFeatureHash(const RTDCReader& reader)
{
    std::vector<std::string> names = reader.features();
    names.erase(std::remove_if(names.begin(), names.end(),
                               [&reader](const std::string& name) { return reader.isComputedFeature(name); }),
                names.end());
    std::sort(names.begin(), names.end());
    QCryptographicHash hash(QCryptographicHash::Sha256);
    for (const std::string& name : names)
        hash.addData(QByteArrayView(name.data(), qsizetype(name.size())));
    return QString::fromLatin1(hash.result().toHex().left(12));
}

DatasetFingerprint fingerprintOf(const RTDCReader& reader)
{
    DatasetFingerprint found;
    found.fileSize = QFileInfo(QString::fromStdString(reader.filePath())).size();
    found.eventCount = qint64(reader.eventCount());
    found.featureHash = computeFeatureHash(reader);
    return found;
}

DatasetFingerprint readFingerprint(const QJsonObject& o)
{
    DatasetFingerprint expected;
    expected.fileSize = o.value(QStringLiteral("fileSize")).toInteger(0);
    expected.eventCount = o.value(QStringLiteral("eventCount")).toInteger(0);
    expected.featureHash = o.value(QStringLiteral("featureHash")).toString();
    return expected;
}

// ---------------------------------------------------------------------------
// Datasets

QJsonObject serializeDataset(const DatasetEntry& entry, const QDir& sessionFolder, int duplicateOfIndex)
{
    QJsonObject o{
        {QStringLiteral("filePath"), sessionFolder.relativeFilePath(text(entry.filePath))},
        {QStringLiteral("displayName"), entry.fullName},
        {QStringLiteral("xFeatureName"), text(entry.xFeatureName)},
        {QStringLiteral("yFeatureName"), text(entry.yFeatureName)},
        {QStringLiteral("colorFeatureName"), text(entry.colorFeatureName)},
        {QStringLiteral("currentEventIndex"), entry.currentEventIndex},
        {QStringLiteral("contourMode"), entry.contourMode},
        {QStringLiteral("contourFraction1"), entry.contourFraction1},
        {QStringLiteral("contourFraction2"), entry.contourFraction2},
        {QStringLiteral("scaleXMode"), entry.scaleXMode},
        {QStringLiteral("scaleYMode"), entry.scaleYMode},
        {QStringLiteral("flRefinementApplied"), entry.flRefinementApplied},
        {QStringLiteral("ctcApplied"), entry.ctcApplied},
        {QStringLiteral("emodApplied"), entry.emodApplied},
        {QStringLiteral("fcDeformApplied"), entry.fcDeformApplied},
        {QStringLiteral("imageFeaturesApplied"), entry.imageFeaturesApplied},
        {QStringLiteral("isDuplicate"), duplicateOfIndex >= 0},
        {QStringLiteral("duplicateOfIndex"), duplicateOfIndex},
        {QStringLiteral("filter"), serializeFilter(entry.filter)},
    };
    if (entry.ctcApplied && !entry.ctcChannels.empty()) {
        QJsonArray channels;
        for (int channel : entry.ctcChannels)
            channels.append(channel);
        // The matrix of n channels is n x n; should that ever not hold, no
        // values are written (and none read back) rather than values of
        // another shape.
        const size_t n = entry.ctcChannels.size();
        QJsonArray matrix;
        if (entry.spilloverMatrix.rows() == n && entry.spilloverMatrix.cols() == n)
            for (double value : entry.spilloverMatrix.data())
                matrix.append(value);
        o.insert(QStringLiteral("ctcChannels"), channels);
        o.insert(QStringLiteral("spilloverMatrix"), matrix);
    }
    if (entry.emodApplied)
        o.insert(QStringLiteral("emodParams"), serializeEModulusParams(entry.emodParams));

    QJsonObject fingerprint{{QStringLiteral("fileSize"), QFileInfo(text(entry.filePath)).size()}};
    fingerprint.insert(QStringLiteral("eventCount"), entry.reader ? qint64(entry.reader->eventCount()) : qint64(0));
    fingerprint.insert(QStringLiteral("featureHash"), entry.reader ? computeFeatureHash(*entry.reader) : QString());
    o.insert(QStringLiteral("fingerprint"), fingerprint);

    if (!entry.groupEnabled.empty()) {
        QJsonArray switches;
        for (const auto& [groupId, enabled] : entry.groupEnabled)
            switches.append(QJsonObject{{QStringLiteral("groupId"), groupId}, {QStringLiteral("enabled"), enabled}});
        o.insert(QStringLiteral("groupEnabled"), switches);
    }
    return o;
}

QJsonArray serializeDatasets(const std::vector<std::unique_ptr<DatasetEntry>>& entries, const QDir& sessionFolder)
{
    QJsonArray array;
    for (size_t i = 0; i < entries.size(); ++i) {
        int duplicateOf = -1;
        for (size_t j = 0; j < i && duplicateOf < 0; ++j)
            if (entries[i]->reader && entries[j]->reader == entries[i]->reader)
                duplicateOf = int(j);
        array.append(serializeDataset(*entries[i], sessionFolder, duplicateOf));
    }
    return array;
}

void restoreDatasetState(DatasetEntry& entry, const QJsonObject& o)
{
    const DatasetEntry d;
    setDatasetName(entry, o.value(QStringLiteral("displayName")).toString());
    entry.xFeatureName = utf8(o.value(QStringLiteral("xFeatureName")));
    entry.yFeatureName = utf8(o.value(QStringLiteral("yFeatureName")));
    entry.colorFeatureName = utf8(o.value(QStringLiteral("colorFeatureName")));
    entry.currentEventIndex = o.value(QStringLiteral("currentEventIndex")).toInt(d.currentEventIndex);
    // The contour combo box knows modes 0 to 2 only.
    entry.contourMode = std::clamp(o.value(QStringLiteral("contourMode")).toInt(d.contourMode), 0, 2);
    entry.contourFraction1 = o.value(QStringLiteral("contourFraction1")).toDouble(d.contourFraction1);
    entry.contourFraction2 = o.value(QStringLiteral("contourFraction2")).toDouble(d.contourFraction2);
    entry.scaleXMode = normalizeScaleMode(o.value(QStringLiteral("scaleXMode")).toInt(0));
    entry.scaleYMode = normalizeScaleMode(o.value(QStringLiteral("scaleYMode")).toInt(0));
    entry.flRefinementApplied = o.value(QStringLiteral("flRefinementApplied")).toBool(false);
    entry.ctcApplied = o.value(QStringLiteral("ctcApplied")).toBool(false);
    entry.emodApplied = o.value(QStringLiteral("emodApplied")).toBool(false);
    entry.fcDeformApplied = o.value(QStringLiteral("fcDeformApplied")).toBool(false);
    entry.imageFeaturesApplied = o.value(QStringLiteral("imageFeaturesApplied")).toBool(false);

    if (entry.emodApplied) {
        const QJsonValue params = o.value(QStringLiteral("emodParams"));
        if (params.isObject())
            entry.emodParams = deserializeEModulusParams(params.toObject());
        else
            entry.emodApplied = false;
    }
    if (entry.ctcApplied && o.contains(QStringLiteral("ctcChannels")) && o.contains(QStringLiteral("spilloverMatrix"))) {
        for (const QJsonValue& channel : o.value(QStringLiteral("ctcChannels")).toArray())
            entry.ctcChannels.push_back(channel.toInt(0));
        const size_t n = entry.ctcChannels.size();
        const QJsonArray matrix = o.value(QStringLiteral("spilloverMatrix")).toArray();
        if (size_t(matrix.size()) == n * n) {
            entry.spilloverMatrix.resize(n, n);
            for (size_t i = 0; i < n; ++i)
                for (size_t j = 0; j < n; ++j)
                    entry.spilloverMatrix(i, j) = matrix.at(qsizetype(i * n + j)).toDouble(0.0);
        }
    }

    restoreDatasetFilter(entry.filter, o.value(QStringLiteral("filter")).toObject());

    entry.groupEnabled.clear();
    for (const QJsonValue& item : o.value(QStringLiteral("groupEnabled")).toArray()) {
        const QJsonObject s = item.toObject();
        entry.groupEnabled[s.value(QStringLiteral("groupId")).toInt(0)] = s.value(QStringLiteral("enabled")).toBool(false);
    }
}

// ---------------------------------------------------------------------------
// Filter groups

QJsonObject serializeGroup(const FilterGroup& group, bool withId)
{
    QJsonObject o{
        {QStringLiteral("name"), text(group.name)},
        {QStringLiteral("rules"), serializeRules(group.rules)},
    };
    if (withId)
        o.insert(QStringLiteral("id"), group.id);
    return o;
}

FilterGroup deserializeGroup(const QJsonObject& o)
{
    FilterGroup group;
    group.id = o.value(QStringLiteral("id")).toInt(-1);
    group.name = utf8(o.value(QStringLiteral("name")));
    group.rules = deserializeRules(o.value(QStringLiteral("rules")));
    return group;
}

void restoreFilterGroups(FilterGroupRegistry& registry, const QJsonObject& root)
{
    FilterGroupRegistry::GroupList& groups = registry.filterGroups();
    groups.clear();
    // Group ids name gates and per-dataset switches: they stay unique, not
    // negative, and small enough for their gates to be numbered.
    int next = std::clamp(root.value(QStringLiteral("nextGroupId")).toInt(0), 0, kMaxFilterGroupId);
    std::unordered_set<int> ids;
    for (const QJsonValue& value : root.value(QStringLiteral("filterGroups")).toArray()) {
        FilterGroup group = deserializeGroup(value.toObject());
        if (group.id < 0 || group.id > kMaxFilterGroupId || !ids.insert(group.id).second)
            continue;
        next = std::max(next, group.id + 1);
        groups.push_back(std::make_unique<FilterGroup>(std::move(group)));
    }
    registry.setNextGroupId(next);
}

} // namespace Tessary
