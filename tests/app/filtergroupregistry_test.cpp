#include "app/filtergroupregistry.h"

#include "app/datasetentry.h"

#include <gtest/gtest.h>

using namespace Tessary;

namespace {

FilterRule namedRule(const std::string& feature)
{
    FilterRule rule;
    rule.featureName = feature;
    return rule;
}

std::vector<std::string> featureNames(const EventFilter& filter)
{
    std::vector<std::string> names;
    for (const FilterRule& rule : filter.rules)
        names.push_back(rule.featureName);
    return names;
}

} // namespace

class FilterGroupRegistryTest : public ::testing::Test {
protected:
    DatasetEntry& addDataset(int id)
    {
        datasets.push_back(std::make_unique<DatasetEntry>());
        datasets.back()->id = id;
        return *datasets.back();
    }

    FilterGroupRegistry registry;
    FilterGroupRegistry::DatasetList datasets;
};

// ---- adding and finding groups ------------------------------------------------

TEST_F(FilterGroupRegistryTest, DefaultNamesCountFromOneAndIdsAreNeverReused)
{
    EXPECT_EQ(registry.addFilterGroup(datasets), 0);
    EXPECT_EQ(registry.addFilterGroup(datasets), 1);
    EXPECT_EQ(registry.addFilterGroup(datasets), 2);
    EXPECT_EQ(registry.findFilterGroupById(0)->name, "Filter group 1");
    EXPECT_EQ(registry.findFilterGroupById(2)->name, "Filter group 3");

    auto& groups = registry.filterGroups();
    groups.erase(groups.begin() + 1);
    const int id = registry.addFilterGroup(datasets);
    EXPECT_EQ(id, 3);
    EXPECT_EQ(registry.findFilterGroupById(3)->name, "Filter group 4");
    EXPECT_EQ(registry.nextGroupId(), 4);
    EXPECT_EQ(registry.findFilterGroupById(1), nullptr);
}

TEST_F(FilterGroupRegistryTest, GivenNameIsKeptAndGroupsStayInCreationOrder)
{
    registry.setNextGroupId(7);
    registry.addFilterGroup(datasets, "Beads");
    registry.addFilterGroup(datasets, "Cells");
    const std::vector<FilterGroup*> groups = registry.groupPointers();
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0]->id, 7);
    EXPECT_EQ(groups[0]->name, "Beads");
    EXPECT_EQ(groups[1]->id, 8);
    EXPECT_EQ(groups[1]->name, "Cells");
}

// ---- switches -------------------------------------------------------------------

TEST_F(FilterGroupRegistryTest, NewGroupIsExplicitlyOffInOpenDatasets)
{
    DatasetEntry& a = addDataset(10);
    DatasetEntry& b = addDataset(11);
    const int id = registry.addFilterGroup(datasets);
    EXPECT_EQ(a.groupEnabled.count(id), 1u);
    EXPECT_FALSE(a.groupEnabled.at(id));
    EXPECT_FALSE(b.groupEnabled.at(id));

    // A dataset opened later has no entry, which reads as off as well.
    DatasetEntry& later = addDataset(12);
    EXPECT_EQ(later.groupEnabled.count(id), 0u);
    EXPECT_FALSE(FilterGroupRegistry::isGroupEnabled(&later, id));
    EXPECT_FALSE(FilterGroupRegistry::isGroupEnabled(nullptr, id));
}

TEST_F(FilterGroupRegistryTest, SetGroupEnabledFindsTheDatasetById)
{
    DatasetEntry& a = addDataset(10);
    DatasetEntry& b = addDataset(11);
    const int id = registry.addFilterGroup(datasets);

    EXPECT_TRUE(FilterGroupRegistry::setGroupEnabled(datasets, 11, id, true));
    EXPECT_FALSE(FilterGroupRegistry::isGroupEnabled(&a, id));
    EXPECT_TRUE(FilterGroupRegistry::isGroupEnabled(&b, id));

    // An unknown dataset changes nothing and tells the caller to skip its update.
    EXPECT_FALSE(FilterGroupRegistry::setGroupEnabled(datasets, 99, id, true));
    EXPECT_FALSE(FilterGroupRegistry::isGroupEnabled(&a, id));

    FilterGroupRegistry::setGroupEnabledInAll(datasets, id, true);
    EXPECT_TRUE(FilterGroupRegistry::isGroupEnabled(&a, id));
    FilterGroupRegistry::setGroupEnabledInAll(datasets, id, false);
    EXPECT_FALSE(FilterGroupRegistry::isGroupEnabled(&b, id));
}

// ---- effective filter -------------------------------------------------------------

TEST_F(FilterGroupRegistryTest, EffectiveFilterIsOwnRulesThenSwitchedOnGroupsInOrder)
{
    DatasetEntry& ds = addDataset(1);
    ds.filter.addRule(namedRule("own1"));
    ds.filter.addRule(namedRule("own2"));
    ds.filter.setCombineMode(1);

    const int first = registry.addFilterGroup(datasets);
    const int second = registry.addFilterGroup(datasets);
    const int third = registry.addFilterGroup(datasets);
    registry.findFilterGroupById(first)->rules = {namedRule("g1")};
    registry.findFilterGroupById(second)->rules = {namedRule("g2a"), namedRule("g2b"), namedRule("g2c")};
    registry.findFilterGroupById(third)->rules = {namedRule("g3a"), namedRule("g3b")};
    // Switched on in the reverse order of the groups: the group order still wins.
    FilterGroupRegistry::setGroupEnabled(datasets, 1, third, true);
    FilterGroupRegistry::setGroupEnabled(datasets, 1, first, true);

    const EventFilter effective = registry.buildEffectiveFilter(&ds);
    EXPECT_EQ(featureNames(effective),
              (std::vector<std::string>{"own1", "own2", "g1", "g3a", "g3b"}));
    EXPECT_EQ(effective.combineMode(), 1);
    EXPECT_TRUE(effective.isEnabled());
    // Building it leaves the dataset's own filter alone.
    EXPECT_EQ(ds.filter.ruleCount(), 2);
}

TEST_F(FilterGroupRegistryTest, DisabledOwnFilterDisablesTheGroupsToo)
{
    DatasetEntry& ds = addDataset(1);
    ds.filter.setEnabled(false);
    const int id = registry.addFilterGroup(datasets);
    registry.findFilterGroupById(id)->rules = {namedRule("g")};
    FilterGroupRegistry::setGroupEnabledInAll(datasets, id, true);

    const EventFilter effective = registry.buildEffectiveFilter(&ds);
    EXPECT_FALSE(effective.isEnabled());
    EXPECT_EQ(effective.ruleCount(), 1);
}

TEST_F(FilterGroupRegistryTest, EffectiveFilterOfNoDatasetIsEmptyAndEnabled)
{
    const int id = registry.addFilterGroup(datasets);
    registry.findFilterGroupById(id)->rules = {namedRule("g")};
    const EventFilter effective = registry.buildEffectiveFilter(nullptr);
    EXPECT_EQ(effective.ruleCount(), 0);
    EXPECT_TRUE(effective.isEnabled());
    EXPECT_EQ(effective.combineMode(), 0);
}

// The effective filter must select events, not just list rules: an own range
// rule and a switched-on group gate both take part.
TEST_F(FilterGroupRegistryTest, EffectiveFilterKeepsWhatOwnRulesAndGroupsBothPass)
{
    DatasetEntry& ds = addDataset(1);
    FilterRule own = namedRule("x");
    own.minValue = 2.0;
    own.maxValue = 8.0;
    ds.filter.addRule(own);
    FilterRule groupRule = namedRule("y");
    groupRule.minValue = 0.0;
    groupRule.maxValue = 0.5;
    const int id = registry.addFilterGroup(datasets);
    registry.findFilterGroupById(id)->rules = {groupRule};

    const std::vector<double> x{1, 3, 5, 7, 9};
    const std::vector<double> y{0.1, 0.9, 0.2, 0.3, 0.1};
    const FeatureColumns columns{{"x", &x}, {"y", &y}};
    EXPECT_EQ(registry.buildEffectiveFilter(&ds).apply(columns, 5), (std::vector<int>{1, 2, 3}));
    FilterGroupRegistry::setGroupEnabled(datasets, 1, id, true);
    EXPECT_EQ(registry.buildEffectiveFilter(&ds).apply(columns, 5), (std::vector<int>{2, 3}));
}
