#pragma once

#include "app/filtergroup.h"
#include "rtdc/eventfilter.h"

#include <memory>
#include <string>
#include <vector>

namespace Tessary {

struct DatasetEntry;

// The main window's filter groups in creation order with the id counter, and
// the per-dataset switches. Owned by the main window, which passes its dataset
// list to the operations that touch datasets and runs the plot update itself
// (the registry never refreshes anything).
class FilterGroupRegistry {
public:
    using GroupList = std::vector<std::unique_ptr<FilterGroup>>;
    using DatasetList = std::vector<std::unique_ptr<DatasetEntry>>;

    // The groups in order; this order is the order of the group widgets and of
    // the group rules in an effective filter. The registry owns the groups.
    GroupList& filterGroups() { return groups; }
    const GroupList& filterGroups() const { return groups; }
    // Non-owning pointers in group order, as the filter dock takes them.
    std::vector<FilterGroup*> groupPointers() const;

    // Only session load and session clearing set the counter; ids are never
    // reused otherwise.
    int nextGroupId() const { return nextId; }
    void setNextGroupId(int id) { nextId = id; }

    // The first group with that id, or null.
    FilterGroup* findFilterGroupById(int id) const;

    // Appends a group with the next id, named "Filter group <id + 1>" when name
    // is empty, and switches it off explicitly in every dataset. Returns its id.
    int addFilterGroup(DatasetList& datasets, const std::string& name = std::string());

    // False for a null dataset or a group the dataset has no switch for.
    static bool isGroupEnabled(const DatasetEntry* ds, int groupId);
    // Sets the switch of the first dataset with that id. Returns false (and
    // changes nothing) for an unknown dataset id, so the caller skips its plot update.
    static bool setGroupEnabled(DatasetList& datasets, int datasetId, int groupId, bool enabled);
    static void setGroupEnabledInAll(DatasetList& datasets, int groupId, bool enabled);

    // The dataset's own rules, enabled flag and combine mode, followed by the
    // rules of each switched-on group in group order. A disabled own filter
    // therefore disables the groups too. A copy, safe to hand to background work.
    EventFilter buildEffectiveFilter(const DatasetEntry* ds) const;

private:
    GroupList groups;
    int nextId = 0;
};

} // namespace Tessary
