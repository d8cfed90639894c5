#pragma once

// The JSON forms of the session file (".RYX"): rules, filters, datasets with
// their fingerprint, and filter groups. The rule form is shared with the
// filter-group files. Readers look keys up by name; a missing key or a value
// of the wrong JSON type reads as the key's default.

#include "app/filtergroup.h"
#include "rtdc/eventfilter.h"
#include "rtdc/filterrule.h"

#include <QJsonArray>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <vector>

class QDir;

namespace Tessary {

struct DatasetEntry;
class FilterGroupRegistry;
class RTDCReader;

// The format version written into every session file.
constexpr int kSessionFormatVersion = 1;

// Writes the object as indented JSON (session and filter-group files). The
// text goes to a temporary file that replaces the target only once all of it
// is written, so on failure (a full disk) an existing file stays as it was
// and nothing new is left behind. False on any failure, with the system's
// reason in *problem.
bool writeJsonFile(const QString& path, const QJsonObject& root, QString* problem = nullptr);

// Infinite bounds are written as the largest finite double of their sign and
// read back as infinities, also from the text "inf", "-inf" or "Infinity". A
// bound that is not a number (null, "nan") reads as NaN, and the readers of
// rule lists below leave such a rule out.
QJsonObject serializeRule(const FilterRule& rule);
// False when a bound is not a number: such a rule is refused wherever rules
// come in (session and filter-group files, a measurement's soft limits).
bool boundsReadable(const FilterRule& rule);
FilterRule deserializeRule(const QJsonObject& object);
// The rules left out for a bound that is not a number: of one rule array, and
// of a session root (dataset filters and groups).
int countUnreadableRules(const QJsonValue& rules);
int countUnreadableSessionRules(const QJsonObject& root);

QJsonObject serializeFilter(const EventFilter& filter);
// Replaces the filter by a new one read from the object.
void restoreDatasetFilter(EventFilter& filter, const QJsonObject& object);

// SHA-256 over the sorted names of the stored (not calculated) features, the
// first 12 lower-case hexadecimal characters.
QString computeFeatureHash(const RTDCReader& reader);

// What identifies a dataset's file: its size, event count and feature hash.
struct DatasetFingerprint {
    qint64 fileSize = 0;
    qint64 eventCount = 0;
    QString featureHash;

    bool operator==(const DatasetFingerprint& other) const
    {
        return fileSize == other.fileSize && eventCount == other.eventCount && featureHash == other.featureHash;
    }
    bool operator!=(const DatasetFingerprint& other) const { return !(*this == other); }
};
// The fingerprint of the file the reader has open.
DatasetFingerprint fingerprintOf(const RTDCReader& reader);
DatasetFingerprint readFingerprint(const QJsonObject& object);

// One dataset object. The file path is written relative to sessionFolder;
// duplicateOfIndex is the list index of the first entry sharing the reader,
// or -1 for the first entry of each reader.
QJsonObject serializeDataset(const DatasetEntry& entry, const QDir& sessionFolder, int duplicateOfIndex);
// The "datasets" array of a list of entries, duplicates marked.
QJsonArray serializeDatasets(const std::vector<std::unique_ptr<DatasetEntry>>& entries, const QDir& sessionFolder);
// Sets the entry's name, plot settings, calculation state, own filter and
// group switches from a dataset object (reader, metadata and path stay).
void restoreDatasetState(DatasetEntry& entry, const QJsonObject& object);

// A group object: "name" and "rules", plus "id" when withId is set.
QJsonObject serializeGroup(const FilterGroup& group, bool withId);
// A group with "id" (default -1), "name" and its rules.
FilterGroup deserializeGroup(const QJsonObject& object);

// Replaces every group of the registry by those of the session root object
// ("filterGroups", "nextGroupId"). Groups with a negative id, or with an id
// taken by an earlier group, are dropped; the counter ends above every id.
void restoreFilterGroups(FilterGroupRegistry& registry, const QJsonObject& root);

} // namespace Tessary
