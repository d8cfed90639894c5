// Polygon gates on the plot: which gates are drawn and under which ids, where
// a newly drawn polygon goes (the active dataset or a filter group), and how an
// edited polygon is written back into its rule. Dataset and group gate ids
// never meet while datasets keep fewer than 1,000,000 rules and groups fewer
// than 10,000.
#include "app/mainwindow.h"

#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"
#include "widgets/polygonrulewidget.h"
#include "widgets/scatterplot.h"

#include <QComboBox>

namespace Tessary {

namespace {

QPolygonF toPolygon(const std::vector<std::pair<double, double>>& vertices)
{
    QPolygonF polygon;
    polygon.reserve(qsizetype(vertices.size()));
    for (const auto& [x, y] : vertices)
        polygon << QPointF(x, y);
    return polygon;
}

std::vector<std::pair<double, double>> toVertices(const QPolygonF& polygon)
{
    std::vector<std::pair<double, double>> vertices;
    vertices.reserve(size_t(polygon.size()));
    for (const QPointF& p : polygon)
        vertices.emplace_back(p.x(), p.y());
    return vertices;
}

std::string currentFeature(const QComboBox* combo)
{
    return combo->currentData(Qt::UserRole).toString().toStdString();
}

} // namespace

void MainWindow::connectPolygonSignals()
{
    connect(scatterPlot, &ScatterPlot::polygonCompleted, this, &MainWindow::onPolygonCompleted);
    connect(scatterPlot, &ScatterPlot::polygonDrawingStopped, this, [this] {
        filterDock->setPolygonButtonChecked(false);
        polygonTargetGroupId = -1;
    });
    connect(scatterPlot, &ScatterPlot::polygonEdited, this, &MainWindow::onPolygonEdited);
    connect(scatterPlot, &ScatterPlot::polygonEditingStopped, this, &MainWindow::onPolygonEditingStopped);
    connect(filterDock, &FilterDockWidget::polygonEditRequested, this, &MainWindow::onPolygonEditRequested);
    connect(filterDock, &FilterDockWidget::addPolygonToGroupRequested, this, [this](int groupId) {
        polygonTargetGroupId = groupId;
        filterDock->setPolygonButtonChecked(true);
        beginPolygonDrawing();
    });
    connect(filterDock, &FilterDockWidget::groupPolygonEditRequested, this,
            [this](int groupId, int ruleIndex, bool on) { editGroupPolygon(groupId, ruleIndex, on); });
}

MainWindow::PolygonDrawContext MainWindow::polygonDrawContextNow() const
{
    return {activeDatasetId(), currentFeature(xFeatureCombo), currentFeature(yFeatureCombo),
            scaleXCombo->currentIndex(), scaleYCombo->currentIndex()};
}

void MainWindow::beginPolygonDrawing()
{
    polygonDrawContext = polygonDrawContextNow();
    scatterPlot->startPolygonDrawing();
}

void MainWindow::endPolygonDrawingOutOfContext()
{
    // Vertices are kept in the coordinates of the plot they were placed on; on
    // another dataset, other axes or other scales they would mean other events.
    if (scatterPlot->isDrawingPolygon() && polygonDrawContextNow() != polygonDrawContext)
        scatterPlot->cancelPolygonDrawing();
}

bool MainWindow::gateOnPlotAxes(const FilterRule& rule) const
{
    return rule.type == 1 && rule.featureName == currentFeature(xFeatureCombo)
           && rule.featureNameY == currentFeature(yFeatureCombo);
}

FilterRule* MainWindow::gateRule(int id)
{
    if (id >= kFirstGroupGateId) {
        FilterGroup* group = findFilterGroupById((id - kFirstGroupGateId) / kGateIdsPerGroup);
        const size_t j = size_t((id - kFirstGroupGateId) % kGateIdsPerGroup);
        return group && j < group->rules.size() ? &group->rules[j] : nullptr;
    }
    DatasetEntry* ds = activeEntry();
    return ds && id >= 0 && id < ds->filter.ruleCount() ? &ds->filter.rules[size_t(id)] : nullptr;
}

bool MainWindow::editedGateInPlace()
{
    const int id = scatterPlot->editingPolygonId();
    const FilterRule* rule = gateRule(id);
    if (!rule || !gateOnPlotAxes(*rule) || activeDatasetId() != polygonEditDatasetId)
        return false;
    // While the dataset is shown its rules are the dock's rows: the row the
    // edit began on must still stand at the gate's index, or a deleted or
    // moved rule has handed its id to another one. (Group rules move only
    // through removeRuleFromGroup, which ends the edit itself.)
    if (id < kFirstGroupGateId)
        return size_t(id) < filterDock->ruleWidgets.size() && filterDock->ruleWidgets[size_t(id)] == polygonEditRow;
    return true;
}

void MainWindow::endGroupGateEdit(int groupId, int fromRule)
{
    if (!scatterPlot->isEditingPolygon())
        return;
    const int edited = scatterPlot->editingPolygonId();
    if (edited >= groupGateId(groupId, fromRule) && edited < groupGateId(groupId + 1, 0))
        scatterPlot->stopPolygonEditing();
}

void MainWindow::updatePolygonOverlays()
{
    // An edit whose gate has left the plot (another dataset shown, other axes,
    // the rule gone or changed) ends here: its vertices must not be written into
    // whatever rule now holds that id.
    if (scatterPlot->isEditingPolygon() && !editedGateInPlace())
        scatterPlot->stopPolygonEditing();
    scatterPlot->clearPolygonGates();
    const DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    // The gate being edited is shown by the edit curve alone.
    const int edited = scatterPlot->isEditingPolygon() ? scatterPlot->editingPolygonId() : -1;
    const auto addGates = [&](const std::vector<FilterRule>& rules, int firstId) {
        for (size_t j = 0; j < rules.size(); ++j) {
            const FilterRule& rule = rules[j];
            const int id = firstId + int(j);
            if (id != edited && gateOnPlotAxes(rule))
                scatterPlot->addPolygonGate(id, toPolygon(rule.polygonVertices), rule.enabled, rule.scaleXMode,
                                            rule.scaleYMode);
        }
    };
    addGates(ds->filter.rules, 0);
    for (const auto& group : groups.filterGroups())
        if (isGroupEnabled(ds, group->id))
            addGates(group->rules, groupGateId(group->id, 0));
}

void MainWindow::onPolygonCompleted(QPolygonF polygon)
{
    DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    FilterRule rule;
    rule.type = 1;
    rule.featureName = currentFeature(xFeatureCombo);
    rule.featureNameY = currentFeature(yFeatureCombo);
    rule.polygonVertices = toVertices(polygon);
    rule.scaleXMode = scaleXCombo->currentIndex();
    rule.scaleYMode = scaleYCombo->currentIndex();
    rule.enabled = true;
    rule.inverted = false;
    if (polygonTargetGroupId >= 0) {
        addRuleToGroup(polygonTargetGroupId, rule);
        polygonTargetGroupId = -1;
        refreshFilterPanel();
        return;
    }
    ds->filter.addRule(rule);
    filterDock->setActiveDataset(ds);   // the rows are rebuilt from the rules
    updatePlot();
}

void MainWindow::onPolygonEditRequested(int ruleIndex, bool on)
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || ruleIndex < 0 || ruleIndex >= ds->filter.ruleCount())
        return;
    const FilterRule& rule = ds->filter.rules[size_t(ruleIndex)];
    if (rule.type != 1)
        return;
    if (!on) {
        scatterPlot->stopPolygonEditing();
        return;
    }
    if (gateOnPlotAxes(rule)) {
        polygonEditDatasetId = ds->id;
        polygonEditRow = size_t(ruleIndex) < filterDock->ruleWidgets.size()
                             ? filterDock->ruleWidgets[size_t(ruleIndex)] : nullptr;
        scatterPlot->startPolygonEditing(ruleIndex, toPolygon(rule.polygonVertices));
    } else
        filterDock->setPolygonEditChecked(ruleIndex, false);   // a gate of other axes cannot be edited here
}

void MainWindow::editGroupPolygon(int groupId, int ruleIndex, bool on)
{
    if (!on) {
        scatterPlot->stopPolygonEditing();
        return;
    }
    const FilterGroup* group = findFilterGroupById(groupId);
    if (!group || ruleIndex < 0 || size_t(ruleIndex) >= group->rules.size())
        return;
    const FilterRule& rule = group->rules[size_t(ruleIndex)];
    // A gate of other axes stays unedited; its button stays as the user left it.
    if (gateOnPlotAxes(rule)) {
        polygonEditDatasetId = activeDatasetId();
        polygonEditRow = nullptr;
        scatterPlot->startPolygonEditing(groupGateId(groupId, ruleIndex), toPolygon(rule.polygonVertices));
    }
}

void MainWindow::onPolygonEdited(int id, QPolygonF polygon)
{
    FilterRule* rule = gateRule(id);
    if (!rule || rule->type != 1 || !scatterPlot->isEditingPolygon() || scatterPlot->editingPolygonId() != id
        || !editedGateInPlace())
        return;
    rule->polygonVertices = toVertices(polygon);
    // The dock rewrites the dataset's rules from its rows after every row edit:
    // the row must hold the new vertices, or the next edit there would undo them.
    if (id < kFirstGroupGateId && size_t(id) < filterDock->ruleWidgets.size())
        if (auto* row = qobject_cast<PolygonRuleWidget*>(filterDock->ruleWidgets[size_t(id)]))
            row->setRule(*rule);
    updatePlot();
}

void MainWindow::onPolygonEditingStopped(int id)
{
    if (id < kFirstGroupGateId)
        filterDock->setPolygonEditChecked(id, false);
    refreshFilterPanel();
    updatePolygonOverlays();
}

} // namespace Tessary
