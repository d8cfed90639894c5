#pragma once

// Filter-group files (".ryxfg"): chosen groups with their names and rules,
// without ids or per-dataset switches, so that they can be carried into
// other work. The rules use the rule form of the session files.

#include "app/filtergroup.h"

#include <QByteArray>
#include <QJsonObject>
#include <QString>

#include <memory>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

class QWidget;

namespace Tessary {

// The root object: "formatVersion" 1 and "groups" in the given order.
QJsonObject filterGroupsFileObject(const std::vector<const FilterGroup*>& groups);

// The groups of a file's bytes, in file order, with empty ids and propagation
// ids cleared (the rules become independent copies); a group without a name
// keeps an empty one. Nothing when the bytes are not a JSON object, with the
// parser's message in parseError. A missing or empty "groups" gives an empty list.
// Rules with a bound that is not a number are left out and counted in unreadableRules.
std::optional<std::vector<FilterGroup>> parseFilterGroupsFile(const QByteArray& bytes, QString* parseError,
                                                              int* unreadableRules = nullptr);

// The group names taken while groups are imported, and for each base the
// counter to try next, so that naming many groups of one name stays linear.
// Names are only ever added, so no smaller counter can become free.
struct TakenGroupNames {
    std::unordered_set<std::string> names;
    std::unordered_map<std::string, int> nextCounter;
};
TakenGroupNames takenGroupNames(const std::vector<std::unique_ptr<FilterGroup>>& groups);

// The name an imported group gets: the base ("Imported group" when empty) when
// it is not taken, else the base followed by " (2)", " (3)", ... until a name
// is free. The name returned is taken from then on.
std::string uniqueGroupName(const std::string& base, TakenGroupNames& taken);

// A modal chooser of the groups to export, all checked at first. The ids of
// the checked groups in list order, or nothing when cancelled.
std::vector<int> chooseFilterGroupsToExport(QWidget* parent, const std::vector<std::unique_ptr<FilterGroup>>& groups);

} // namespace Tessary
