#include "app/filtergroupregistry.h"

#include "app/datasetentry.h"

namespace Tessary {

std::vector<FilterGroup*> FilterGroupRegistry::groupPointers() const
{
    std::vector<FilterGroup*> result;
    result.reserve(groups.size());
    for (const auto& group : groups)
        result.push_back(group.get());
    return result;
}

FilterGroup* FilterGroupRegistry::findFilterGroupById(int id) const
{
    for (const auto& group : groups)
        if (group->id == id)
            return group.get();
    return nullptr;
}

int FilterGroupRegistry::addFilterGroup(DatasetList& datasets, const std::string& name)
{
    auto group = std::make_unique<FilterGroup>();
    group->id = nextId++;
    group->name = name.empty() ? "Filter group " + std::to_string(group->id + 1) : name;
    const int id = group->id;
    groups.push_back(std::move(group));
    for (auto& ds : datasets)
        if (ds)
            ds->groupEnabled[id] = false;
    return id;
}

bool FilterGroupRegistry::isGroupEnabled(const DatasetEntry* ds, int groupId)
{
    if (!ds)
        return false;
    const auto it = ds->groupEnabled.find(groupId);
    return it != ds->groupEnabled.end() && it->second;
}

bool FilterGroupRegistry::setGroupEnabled(DatasetList& datasets, int datasetId, int groupId,
                                          bool enabled)
{
    for (auto& ds : datasets) {
        if (ds && ds->id == datasetId) {
            ds->groupEnabled[groupId] = enabled;
            return true;
        }
    }
    return false;
}

void FilterGroupRegistry::setGroupEnabledInAll(DatasetList& datasets, int groupId, bool enabled)
{
    for (auto& ds : datasets)
        if (ds)
            ds->groupEnabled[groupId] = enabled;
}

EventFilter FilterGroupRegistry::buildEffectiveFilter(const DatasetEntry* ds) const
{
    EventFilter effective;
    if (!ds)
        return effective;
    effective.setEnabled(ds->filter.isEnabled());
    effective.setCombineMode(ds->filter.combineMode());
    for (const FilterRule& rule : ds->filter.rules)
        effective.addRule(rule);
    for (const auto& group : groups) {
        if (!isGroupEnabled(ds, group->id))
            continue;
        for (const FilterRule& rule : group->rules)
            effective.addRule(rule);
    }
    return effective;
}

} // namespace Tessary
