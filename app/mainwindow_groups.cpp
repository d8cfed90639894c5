// Filter groups edited from the filter dock, rules carried to every dataset by
// their propagation id, the dock's markers where datasets differ, and the soft
// limits of a measurement's online filter turned into rules.
#include "app/mainwindow.h"

#include "app/displaytext.h"
#include "app/sessionfile.h"
#include "rtdc/axistransforms.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"
#include "widgets/scatterplot.h"

#include <QMessageBox>
#include <QUuid>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>

namespace Tessary {

namespace {

// The first rule carrying the propagation id, or -1.
int ruleWithPropagationId(const EventFilter& filter, const std::string& id)
{
    for (size_t i = 0; i < filter.rules.size(); ++i)
        if (filter.rules[i].propagationId == id)
            return int(i);
    return -1;
}

// The form in which a rule is stored in a group: groups are shared by every
// dataset, so a copy there never belongs to a propagated family; a scale mode
// read from a file may be anything, and the gate is drawn on a known one.
FilterRule groupCopy(FilterRule rule)
{
    rule.propagationId.clear();
    rule.scaleXMode = normalizeScaleMode(rule.scaleXMode);
    rule.scaleYMode = normalizeScaleMode(rule.scaleYMode);
    return rule;
}

bool verticesDiffer(const std::vector<std::pair<double, double>>& a, const std::vector<std::pair<double, double>>& b)
{
    if (a.size() != b.size())
        return true;
    for (size_t i = 0; i < a.size(); ++i)
        if (!(a[i].first == b[i].first) || !(a[i].second == b[i].second))   // NaN never equals
            return true;
    return false;
}

// Whether a copy of the active rule in another dataset needs "Update in All"
// (the enabled state is the other marker; names and types are not compared).
bool boundsDiffer(const FilterRule& active, const FilterRule& copy)
{
    if (active.inverted != copy.inverted)
        return true;
    if (active.type == 1)
        return verticesDiffer(active.polygonVertices, copy.polygonVertices) || active.scaleXMode != copy.scaleXMode
               || active.scaleYMode != copy.scaleYMode;
    return !(active.minValue == copy.minValue) || !(active.maxValue == copy.maxValue);
}

// The value of a metadata key as a bound: none when the key is missing, NaN
// when its text is not a number.
std::optional<double> metadataBound(const std::map<std::string, std::string>& section, const std::string& key)
{
    const auto it = section.find(key);
    if (it == section.end())
        return std::nullopt;
    bool ok = false;
    const double value = QString::fromStdString(it->second).trimmed().toDouble(&ok);
    return ok ? value : std::numeric_limits<double>::quiet_NaN();
}

template <typename Fn>
void forEachOtherDataset(std::vector<std::unique_ptr<DatasetEntry>>& list, int activeIndex, Fn fn)
{
    for (size_t i = 0; i < list.size(); ++i)
        if (int(i) != activeIndex && list[i])
            fn(*list[i]);
}

// The active dataset's rule at the index when it carries a propagation id.
const FilterRule* propagatedRule(const DatasetEntry* active, int ruleIndex)
{
    if (!active || ruleIndex < 0 || ruleIndex >= active->filter.ruleCount())
        return nullptr;
    const FilterRule& rule = active->filter.rules[size_t(ruleIndex)];
    return rule.propagationId.empty() ? nullptr : &rule;
}

} // namespace

// ---------------------------------------------------------------------------
// The dock's group requests

void MainWindow::connectGroupSignals()
{
    connect(filterDock, &FilterDockWidget::applyToAllRequested, this, &MainWindow::onApplyFilterToAll);
    connect(filterDock, &FilterDockWidget::applyRuleToAll, this, &MainWindow::onApplyRuleToAll);
    connect(filterDock, &FilterDockWidget::updateRuleToAll, this, &MainWindow::onUpdateRuleToAll);
    connect(filterDock, &FilterDockWidget::uncheckRuleInAll, this, &MainWindow::onUncheckRuleInAll);
    connect(filterDock, &FilterDockWidget::checkRuleInAll, this, &MainWindow::onCheckRuleInAll);
    connect(filterDock, &FilterDockWidget::deleteRuleFromAll, this, &MainWindow::onDeleteRuleFromAll);
    connect(filterDock, &FilterDockWidget::enabledChangedForAll, this, &MainWindow::onEnabledChangedForAll);
    connect(filterDock, &FilterDockWidget::combineModeChangedForAll, this, &MainWindow::onCombineModeChangedForAll);
    connect(filterDock, &FilterDockWidget::importMeasurementFiltersRequested, this,
            &MainWindow::onImportMeasurementFilters);

    connect(filterDock, &FilterDockWidget::addFilterGroupRequested, this, [this] {
        addFilterGroup();
        refreshFilterPanel();
    });
    connect(filterDock, &FilterDockWidget::renameFilterGroupRequested, this, [this](int groupId, const QString& name) {
        renameFilterGroup(groupId, name.toStdString());
        refreshFilterPanel();
    });
    connect(filterDock, &FilterDockWidget::deleteFilterGroupRequested, this, [this](int groupId) {
        removeFilterGroup(groupId);
        refreshFilterPanel();
    });
    connect(filterDock, &FilterDockWidget::groupEnableChanged, this, [this](int groupId, bool enabled) {
        DatasetEntry* ds = activeEntry();
        if (!ds)
            return;
        ds->groupEnabled[groupId] = enabled;
        updatePlot();
    });
    connect(filterDock, &FilterDockWidget::groupEnablePropagateRequested, this, [this](int groupId, bool enabled) {
        setGroupEnabledInAll(groupId, enabled);
        refreshFilterPanel();
    });
    connect(filterDock, &FilterDockWidget::addRuleToGroupRequested, this, &MainWindow::addRangeRuleToGroup);
    connect(filterDock, &FilterDockWidget::groupRuleChanged, this, &MainWindow::updateRuleInGroup);
    connect(filterDock, &FilterDockWidget::groupRuleRemoved, this, [this](int groupId, int ruleIndex) {
        removeRuleFromGroup(groupId, ruleIndex);
        refreshFilterPanel();
    });
}

// ---------------------------------------------------------------------------
// Group operations

void MainWindow::removeFilterGroup(int id)
{
    auto& list = groups.filterGroups();
    const size_t before = list.size();
    list.erase(std::remove_if(list.begin(), list.end(), [id](const auto& group) { return group && group->id == id; }),
               list.end());
    if (list.size() == before)
        return;
    endGroupGateEdit(id, 0);
    for (auto& ds : datasetEntries)
        ds->groupEnabled.erase(id);
    updatePlot();
}

void MainWindow::renameFilterGroup(int id, std::string newName)
{
    if (FilterGroup* group = findFilterGroupById(id))
        group->name = std::move(newName);
}

void MainWindow::addRuleToGroup(int groupId, FilterRule rule)
{
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group)
        return;
    group->rules.push_back(groupCopy(std::move(rule)));
    updatePlot();
}

void MainWindow::updateRuleInGroup(int groupId, int ruleIndex, FilterRule rule)
{
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= int(group->rules.size()))
        return;
    group->rules[size_t(ruleIndex)] = groupCopy(std::move(rule));
    // The edited row stays on screen: rebuilding the group widgets under it
    // would take the focus out of the field being typed in.
    suppressFilterPanelRefresh = true;
    updatePlot();
    suppressFilterPanelRefresh = false;
}

void MainWindow::removeRuleFromGroup(int groupId, int ruleIndex)
{
    FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || ruleIndex >= int(group->rules.size()))
        return;
    endGroupGateEdit(groupId, ruleIndex);
    group->rules.erase(group->rules.begin() + ruleIndex);
    updatePlot();
}

// A range rule over the finite values of the active dataset's first scalar
// feature; without a dataset an empty rule.
void MainWindow::addRangeRuleToGroup(int groupId)
{
    FilterRule rule;
    const DatasetEntry* ds = activeEntry();
    if (ds && ds->reader) {
        const std::vector<std::string> features = ds->reader->features();
        const auto first = std::find_if(features.begin(), features.end(), &RTDCReader::isScalarFeatureName);
        if (first != features.end()) {
            rule.featureName = *first;
            double lo = std::numeric_limits<double>::infinity();
            double hi = -lo;
            for (double v : ds->reader->readFeature(rule.featureName)) {
                if (!std::isfinite(v))
                    continue;
                lo = std::min(lo, v);
                hi = std::max(hi, v);
            }
            if (lo <= hi) {
                rule.minValue = lo;
                rule.maxValue = hi;
            }
        }
    }
    addRuleToGroup(groupId, rule);
    refreshFilterPanel();
}

// ---------------------------------------------------------------------------
// The dock's markers and group widgets

void MainWindow::refreshFilterPanel()
{
    const DatasetEntry* ds = activeEntry();
    // A name from a file may be any length: the dock shows it cut, the group
    // keeps it whole (sessions and group files write it back as read).
    std::vector<FilterGroup*> shown = groups.groupPointers();
    std::vector<FilterGroup> cutNames;
    cutNames.reserve(shown.size());   // the pointers into it stay valid
    for (FilterGroup*& group : shown) {
        if (group->name.size() <= size_t(kMaxDisplayNameLength))   // bytes, never fewer than characters
            continue;
        const QString name = QString::fromStdString(group->name);
        if (name.size() > kMaxDisplayNameLength) {
            cutNames.push_back(*group);
            cutNames.back().name = shortenedText(name, kMaxDisplayNameLength).toStdString();
            group = &cutNames.back();
        }
    }
    filterDock->rebuildGroupWidgets(shown, ds ? ds->reader.get() : nullptr);
    if (!ds)
        return;
    for (const auto& group : groups.filterGroups()) {
        const bool on = isGroupEnabled(ds, group->id);
        bool differs = false;
        forEachOtherDataset(datasetEntries, activeDatasetIndex, [&](const DatasetEntry& other) {
            differs = differs || isGroupEnabled(&other, group->id) != on;
        });
        filterDock->setGroupSyncState(group->id, differs);
    }
    // The rebuild made the rows anew, so a group gate being edited on the plot
    // gets its "Edit" button pressed again.
    if (scatterPlot->isEditingPolygon() && scatterPlot->editingPolygonId() >= kFirstGroupGateId) {
        const int local = scatterPlot->editingPolygonId() - kFirstGroupGateId;
        filterDock->setGroupPolygonEditChecked(local / kGateIdsPerGroup, local % kGateIdsPerGroup, true);
    }
    refreshMatrixWindows();
}

void MainWindow::updateFilterSyncState()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds) {
        filterDock->setEnabledDiffers(false);
        filterDock->setCombineModeDiffers(false);
        return;
    }
    bool enabledDiffers = false;
    bool modeDiffers = false;
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [&](const DatasetEntry& other) {
        enabledDiffers = enabledDiffers || other.filter.isEnabled() != ds->filter.isEnabled();
        modeDiffers = modeDiffers || other.filter.combineMode() != ds->filter.combineMode();
    });
    filterDock->setEnabledDiffers(enabledDiffers);
    filterDock->setCombineModeDiffers(modeDiffers);

    for (int i = 0; i < ds->filter.ruleCount(); ++i) {
        const FilterRule& rule = ds->filter.rules[size_t(i)];
        bool updateDiffers = false;
        bool checkDiffers = false;
        if (!rule.propagationId.empty()) {
            for (size_t d = 0; d < datasetEntries.size() && !(updateDiffers && checkDiffers); ++d) {
                const DatasetEntry& other = *datasetEntries[d];
                // A dataset that cannot evaluate the rule does not count as different.
                if (int(d) == activeDatasetIndex || !other.reader || !other.reader->hasFeature(rule.featureName)
                    || (rule.type == 1 && !other.reader->hasFeature(rule.featureNameY)))
                    continue;
                const int j = ruleWithPropagationId(other.filter, rule.propagationId);
                if (j < 0)
                    continue;
                const FilterRule& copy = other.filter.rules[size_t(j)];
                checkDiffers = checkDiffers || copy.enabled != rule.enabled;
                updateDiffers = updateDiffers || boundsDiffer(rule, copy);
            }
        }
        filterDock->setRuleSyncState(i, updateDiffers, checkDiffers);
    }
}

// ---------------------------------------------------------------------------
// Operations on every dataset

void MainWindow::onApplyFilterToAll()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [ds](DatasetEntry& other) {
        other.filter.setEnabled(ds->filter.isEnabled());
        other.filter.setCombineMode(ds->filter.combineMode());
        other.filter.rules = ds->filter.rules;
    });
    updatePlot();
}

void MainWindow::onApplyRuleToAll(int ruleIndex)
{
    DatasetEntry* ds = activeEntry();
    if (!ds || ruleIndex < 0 || ruleIndex >= ds->filter.ruleCount())
        return;
    FilterRule rule = ds->filter.rules[size_t(ruleIndex)];
    if (rule.propagationId.empty()) {
        rule.propagationId = QUuid::createUuid().toString().toStdString();
        ds->filter.replaceRule(ruleIndex, rule);
    }
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [&rule](DatasetEntry& other) {
        const int j = ruleWithPropagationId(other.filter, rule.propagationId);
        if (j >= 0)
            other.filter.replaceRule(j, rule);
        else
            other.filter.addRule(rule);
    });
    // The rows rewrite the filter on their next edit: the row must know the id first.
    filterDock->setRulePropagationId(ruleIndex, rule.propagationId);
    updatePlot();
}

void MainWindow::onUpdateRuleToAll(int ruleIndex)
{
    const FilterRule* rule = propagatedRule(activeEntry(), ruleIndex);
    if (!rule)
        return;
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [rule](DatasetEntry& other) {
        const int j = ruleWithPropagationId(other.filter, rule->propagationId);
        if (j >= 0)
            other.filter.replaceRule(j, *rule);
    });
    updatePlot();
}

void MainWindow::onUncheckRuleInAll(int ruleIndex)
{
    setRuleEnabledInAll(ruleIndex, false);
}

void MainWindow::onCheckRuleInAll(int ruleIndex)
{
    setRuleEnabledInAll(ruleIndex, true);
}

// Only the check of each copy changes; its bounds stay as they are.
void MainWindow::setRuleEnabledInAll(int ruleIndex, bool enabled)
{
    const FilterRule* rule = propagatedRule(activeEntry(), ruleIndex);
    if (!rule)
        return;
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [rule, enabled](DatasetEntry& other) {
        const int j = ruleWithPropagationId(other.filter, rule->propagationId);
        if (j >= 0)
            other.filter.rules[size_t(j)].enabled = enabled;
    });
    filterDock->setRuleChecked(ruleIndex, enabled);   // rewrites the active rule from its row
    updatePlot();
}

void MainWindow::onDeleteRuleFromAll(int ruleIndex)
{
    const FilterRule* rule = propagatedRule(activeEntry(), ruleIndex);
    if (!rule)
        return;
    const std::string id = rule->propagationId;   // the row removal below rewrites the active rules
    forEachOtherDataset(datasetEntries, activeDatasetIndex, [&id](DatasetEntry& other) {
        other.filter.removeRule(ruleWithPropagationId(other.filter, id));
    });
    filterDock->removeRuleWidget(ruleIndex);
    updatePlot();
}

void MainWindow::onEnabledChangedForAll(bool enabled)
{
    forEachOtherDataset(datasetEntries, activeDatasetIndex,
                        [enabled](DatasetEntry& other) { other.filter.setEnabled(enabled); });
    updatePlot();
}

void MainWindow::onCombineModeChangedForAll(int mode)
{
    forEachOtherDataset(datasetEntries, activeDatasetIndex,
                        [mode](DatasetEntry& other) { other.filter.setCombineMode(mode); });
    updatePlot();
}

// ---------------------------------------------------------------------------
// Soft limits of the measurement

void MainWindow::onImportMeasurementFilters(bool toAll)
{
    DatasetEntry* active = activeEntry();
    int added = 0;
    int refused = 0;
    if (toAll) {
        for (auto& ds : datasetEntries)
            added += importOnlineFilterRules(ds.get(), &refused);
    } else {
        if (!active)
            return;
        added = importOnlineFilterRules(active, &refused);
    }
    const QString title = QStringLiteral("Import Measurement Filters");
    if (added > 0) {
        filterDock->setActiveDataset(active);   // its rows show the new rules
        updatePlot();
    } else if (refused == 0) {
        QMessageBox::information(this, title, QStringLiteral("No features with soft limit enabled found."),
                                 QMessageBox::Ok);
    }
    if (refused > 0)
        QMessageBox::warning(this, title,
                             QStringLiteral("%1 soft limit(s) have a bound that is not a number and were left out.")
                                 .arg(refused));
}

// Each "<feature> soft limit" set to "1" gives a range rule from the
// feature's " min" and " max" keys; "<x>,<y> soft limit" gives the polygon
// filter the file records for x and y. A limit whose keys are missing gives no
// rule; one whose bound is not a number (a text, "nan") is refused and counted,
// as rules of session and filter-group files are. The others still count.
int MainWindow::importOnlineFilterRules(DatasetEntry* ds, int* refused)
{
    if (!ds)
        return 0;
    const std::map<std::string, std::string>& section = ds->metadata.onlineFilter;
    static const std::string suffix = " soft limit";
    int added = 0;
    for (const auto& [key, value] : section) {
        if (key.size() <= suffix.size() || key.compare(key.size() - suffix.size(), suffix.size(), suffix) != 0
            || value != "1")
            continue;
        const std::string base = key.substr(0, key.size() - suffix.size());
        FilterRule rule;
        const size_t comma = base.find(',');
        if (comma != std::string::npos) {
            const std::string x = base.substr(0, comma);
            const std::string y = base.substr(comma + 1);
            const auto& polygons = ds->metadata.polygonFilters;
            const auto polygon = std::find_if(polygons.begin(), polygons.end(), [&](const PolygonFilterInfo& p) {
                return p.xFeature == x && p.yFeature == y && !p.points.empty();
            });
            if (polygon == polygons.end())
                continue;
            rule.type = 1;
            rule.featureName = x;
            rule.featureNameY = y;
            rule.polygonVertices = polygon->points;
        } else {
            const std::optional<double> low = metadataBound(section, base + " min");
            const std::optional<double> high = metadataBound(section, base + " max");
            if (!low || !high)
                continue;
            rule.featureName = base;
            rule.minValue = *low;
            rule.maxValue = *high;
            if (!boundsReadable(rule)) {
                if (refused)
                    ++*refused;
                continue;
            }
        }
        ds->filter.addRule(rule);
        ++added;
    }
    if (added > 0)
        ds->filter.setEnabled(true);
    return added;
}

} // namespace Tessary
