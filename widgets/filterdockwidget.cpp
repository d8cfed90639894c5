#include "widgets/filterdockwidget.h"

#include "app/datasetentry.h"
#include "app/filtergroup.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "widgets/filterwidgetstyle.h"
#include "widgets/polygonrulewidget.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <type_traits>

namespace Tessary {

namespace {

// Calls visit with the row as the range or the polygon row it is; other
// widgets are skipped.
template <typename Visit>
void visitRuleRow(QWidget* widget, Visit&& visit)
{
    if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
        visit(range);
    else if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget))
        visit(polygon);
}

} // namespace

FilterDockWidget::FilterDockWidget(QWidget* parent) : QWidget(parent)
{
    auto* dockLayout = new QVBoxLayout(this);
    dockLayout->setContentsMargins(0, 0, 0, 0);   // the dock frames it already
    datasetBox = new QGroupBox("Active Dataset Filter", this);
    datasetBox->setEnabled(false);
    dockLayout->addWidget(datasetBox, 1);
    auto* boxLayout = new QVBoxLayout(datasetBox);
    boxLayout->setContentsMargins(4, 6, 4, 6);

    filterEnabledCheck = new QCheckBox("Filtering Enabled", datasetBox);
    filterEnabledCheck->setChecked(true);
    enabledAllButton = new QPushButton(datasetBox);
    enabledAllButton->setStyleSheet(FilterStyle::plainSmallButton);
    enabledAllButton->setToolTip("Apply this dataset's filter-enabled state to every loaded dataset.");
    auto* enabledRow = new QHBoxLayout;
    enabledRow->addWidget(filterEnabledCheck);
    enabledRow->addWidget(enabledAllButton);
    enabledRow->addStretch();
    boxLayout->addLayout(enabledRow);

    showExcludedCheck = new QCheckBox("Show Excluded Events", datasetBox);
    showExcludedCheck->setToolTip(
        "Invert the filter result so the events the rules normally reject are shown instead.");
    combineAllButton = new QPushButton(datasetBox);
    combineAllButton->setStyleSheet(FilterStyle::plainSmallButton);
    combineAllButton->setToolTip("Apply this dataset's inversion state to every loaded dataset.");
    auto* combineRow = new QHBoxLayout;
    combineRow->addWidget(showExcludedCheck);
    combineRow->addWidget(combineAllButton);
    combineRow->addStretch();
    boxLayout->addLayout(combineRow);
    // The two buttons get their text with the first dataset; until then an
    // empty button would look broken, so they stay out of sight.
    enabledAllButton->hide();
    combineAllButton->hide();

    scrollArea = new QScrollArea(datasetBox);
    scrollArea->setWidgetResizable(true);
    scrollArea->setMinimumHeight(100);
    // Rows wider than the dock scroll sideways: they never widen the window.
    scrollArea->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    auto* scrollWidget = new QWidget(scrollArea);
    auto* scrollLayout = new QVBoxLayout(scrollWidget);
    scrollLayout->setContentsMargins(0, 0, 0, 0);
    scrollLayout->setSpacing(4);
    rulesLayout = new QVBoxLayout;
    rulesLayout->setContentsMargins(0, 0, 0, 0);
    rulesLayout->setSpacing(2);
    scrollLayout->addLayout(rulesLayout);
    groupsLayout = new QVBoxLayout;
    groupsLayout->setContentsMargins(0, 0, 0, 0);
    groupsLayout->setSpacing(4);
    scrollLayout->addLayout(groupsLayout);
    scrollLayout->addStretch();
    scrollArea->setWidget(scrollWidget);
    boxLayout->addWidget(scrollArea, 1);

    addRuleButton = new QPushButton("+ Rule", datasetBox);
    addRuleButton->setToolTip("Add a range rule to this dataset's filter");
    addPolygonButton = new QPushButton("+ Polygon", datasetBox);
    addPolygonButton->setCheckable(true);
    addPolygonButton->setStyleSheet(
        "QPushButton:checked { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; }");
    addPolygonButton->setToolTip("Click in the plot to place polygon vertices. Double-click to close "
                                 "the polygon, or press Esc to cancel.");
    addGroupButton = new QPushButton("+ Group", datasetBox);
    addGroupButton->setToolTip("Add a filter group whose rules are shared across all datasets, with "
                               "per-dataset on/off toggles.");
    auto* moreButton = new QPushButton(QStringLiteral("\u22EE"), datasetBox);
    moreButton->setToolTip("More filter actions");
    moreButton->setFixedWidth(moreButton->fontMetrics().horizontalAdvance(QStringLiteral("\u22EE")) + 24);
    moreButton->setStyleSheet("QPushButton::menu-indicator { image: none; subcontrol-origin: padding; "
                              "subcontrol-position: right center; width: 0; }");
    auto* moreMenu = new QMenu(moreButton);
    QAction* applyToAllAction = moreMenu->addAction("Apply Filter to All Datasets");
    applyToAllAction->setToolTip("Copy this dataset's enabled state, combine mode, and rules onto "
                                 "every other dataset (overwrites their existing rules).");
    moreMenu->addSeparator();
    QMenu* importMenu = moreMenu->addMenu("Import Measurement Filters");
    QAction* importActiveAction = importMenu->addAction("For Active Dataset");
    importActiveAction->setToolTip("Import online filter settings from HDF5 metadata (soft limits only)");
    QAction* importAllAction = importMenu->addAction("For All Datasets");
    importAllAction->setToolTip("Import online filter settings into every loaded dataset");
    moreMenu->addSeparator();
    QAction* importGroupsAction = moreMenu->addAction(QStringLiteral("Import Filter Groups\u2026"));
    QAction* exportGroupsAction = moreMenu->addAction(QStringLiteral("Export Filter Groups\u2026"));
    moreMenu->setToolTipsVisible(true);
    importMenu->setToolTipsVisible(true);
    moreButton->setMenu(moreMenu);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addWidget(addRuleButton);
    buttonRow->addWidget(addPolygonButton);
    buttonRow->addWidget(addGroupButton);
    buttonRow->addStretch();
    buttonRow->addWidget(moreButton);
    boxLayout->addLayout(buttonRow);

    countLabel = new QLabel("No filter active", datasetBox);
    countLabel->setStyleSheet("QLabel { padding: 3px; color: #606468; font-style: italic; }");
    boxLayout->addWidget(countLabel);

    connect(applyToAllAction, &QAction::triggered, this, &FilterDockWidget::applyToAllRequested);
    connect(importGroupsAction, &QAction::triggered, this, &FilterDockWidget::importGroupsRequested);
    connect(exportGroupsAction, &QAction::triggered, this, &FilterDockWidget::exportGroupsRequested);
    connect(addGroupButton, &QPushButton::clicked, this, &FilterDockWidget::addFilterGroupRequested);
    connect(importActiveAction, &QAction::triggered, this,
            [this] { emit importMeasurementFiltersRequested(false); });
    connect(importAllAction, &QAction::triggered, this,
            [this] { emit importMeasurementFiltersRequested(true); });
    connect(filterEnabledCheck, &QCheckBox::toggled, this, &FilterDockWidget::onDatasetFilterToggled);
    connect(showExcludedCheck, &QCheckBox::toggled, this, &FilterDockWidget::onCombineModeChanged);
    connect(addRuleButton, &QPushButton::clicked, this, &FilterDockWidget::onAddRule);
    connect(addPolygonButton, &QPushButton::toggled, this, [this](bool on) {
        if (on)
            emit polygonDrawRequested();
        else
            emit polygonDrawCancelRequested();
    });
    connect(enabledAllButton, &QPushButton::clicked, this, [this] {
        if (activeDataset)
            emit enabledChangedForAll(filterEnabledCheck->isChecked());
    });
    connect(combineAllButton, &QPushButton::clicked, this, [this] {
        if (activeDataset)
            emit combineModeChangedForAll(showExcludedCheck->isChecked() ? 1 : 0);
    });
}

void FilterDockWidget::setActiveDataset(DatasetEntry* ds)
{
    activeDataset = ds;
    datasetBox->setEnabled(ds != nullptr);
    refresh();
}

void FilterDockWidget::refresh()
{
    clearRuleRows(rulesLayout, ruleWidgets, separators);
    if (!activeDataset) {
        // The toggled slot ignores this without a dataset.
        filterEnabledCheck->setChecked(false);
        const QSignalBlocker blockExcluded(showExcludedCheck);
        showExcludedCheck->setChecked(false);
        countLabel->setText("No dataset selected");
        return;
    }

    {
        const QSignalBlocker blockEnabled(filterEnabledCheck);
        const QSignalBlocker blockExcluded(showExcludedCheck);
        filterEnabledCheck->setChecked(activeDataset->filter.isEnabled());
        showExcludedCheck->setChecked(activeDataset->filter.combineMode() == 1);
    }
    const std::vector<std::string> features = scalarFeatures();
    RTDCReader* reader = activeDataset->reader.get();
    for (const FilterRule& rule : activeDataset->filter.rules) {
        // Filled before it is connected, so filling it emits nowhere.
        const auto fill = [&rule](auto* row) {
            row->setRule(rule);
            return row;
        };
        if (rule.type == 1)
            addRow(fill(new PolygonRuleWidget(reader, this)));
        else
            addRow(fill(new FilterRuleWidget(features, reader, this)));
    }
    countLabel->setText("No filter active");
}

void FilterDockWidget::setDatasetCount(int n)
{
    datasetCount = n;
    for (QWidget* widget : ruleWidgets) {
        visitRuleRow(widget, [n](auto* row) {
            row->multiDataset = n > 1;
            row->updateAllDatasetButtons();
        });
    }
}

void FilterDockWidget::rebuildGroupWidgets(const std::vector<FilterGroup*>& groups, RTDCReader* reader)
{
    for (FilterGroupWidget* widget : groupWidgets) {
        groupsLayout->removeWidget(widget);
        widget->hide();   // out of sight until it is deleted
        widget->deleteLater();
    }
    groupWidgets.clear();

    const std::vector<std::string> features = scalarFeatures();
    for (const FilterGroup* group : groups) {
        if (!group)
            continue;
        auto* widget = new FilterGroupWidget(group->id, features, reader, this);
        const QString name = QString::fromStdString(group->name);
        if (widget->nameEdit->text() != name) {
            const QSignalBlocker blockName(widget->nameEdit);
            widget->nameEdit->setText(name);
            // A name longer than the box shows its beginning, and in full as tooltip.
            widget->nameEdit->setCursorPosition(0);
            widget->nameEdit->setToolTip(name);
        }
        bool enabled = false;
        if (activeDataset) {
            const auto it = activeDataset->groupEnabled.find(group->id);
            enabled = it != activeDataset->groupEnabled.end() && it->second;
        }
        {
            const QSignalBlocker blockEnable(widget->enableCheck);
            widget->enableCheck->setChecked(enabled);
        }
        widget->updatePropagateButton();
        widget->multiDataset = datasetCount > 1;
        widget->propagateButton->setEnabled(datasetCount > 1);
        widget->updatePropagateButton();
        widget->setRules(group->rules);

        connect(widget, &FilterGroupWidget::renameRequested, this,
                &FilterDockWidget::renameFilterGroupRequested);
        connect(widget, &FilterGroupWidget::deleteRequested, this,
                &FilterDockWidget::deleteFilterGroupRequested);
        connect(widget, &FilterGroupWidget::enableToggled, this, &FilterDockWidget::groupEnableChanged);
        connect(widget, &FilterGroupWidget::enablePropagateRequested, this,
                &FilterDockWidget::groupEnablePropagateRequested);
        connect(widget, &FilterGroupWidget::addRuleRequested, this,
                &FilterDockWidget::addRuleToGroupRequested);
        connect(widget, &FilterGroupWidget::addPolygonRequested, this,
                &FilterDockWidget::addPolygonToGroupRequested);
        connect(widget, &FilterGroupWidget::ruleChanged, this, &FilterDockWidget::groupRuleChanged);
        connect(widget, &FilterGroupWidget::ruleRemoved, this, &FilterDockWidget::groupRuleRemoved);
        connect(widget, &FilterGroupWidget::polygonEditToggled, this,
                &FilterDockWidget::groupPolygonEditRequested);

        groupsLayout->addWidget(widget);
        groupWidgets.push_back(widget);
    }
}

void FilterDockWidget::refreshFeatureLists()
{
    const std::vector<std::string> features = scalarFeatures();
    for (QWidget* widget : ruleWidgets)
        if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
            range->setFeatures(features);
    for (FilterGroupWidget* group : groupWidgets) {
        group->features = features;
        for (QWidget* widget : group->ruleWidgets)
            if (auto* range = qobject_cast<FilterRuleWidget*>(widget))
                range->setFeatures(features);
    }
}

void FilterDockWidget::removeRuleWidget(int index)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    removeRow(ruleWidgets[index]);
}

void FilterDockWidget::setRuleChecked(int index, bool checked)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    visitRuleRow(ruleWidgets[index], [checked](auto* row) {
        {
            const QSignalBlocker blockEnabled(row->enabledCheck);
            row->enabledCheck->setChecked(checked);
        }
        row->updateAllDatasetButtons();
    });
    syncFilterFromRows();
    emit filterChanged();
}

void FilterDockWidget::setRulePropagationId(int index, const std::string& id)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    visitRuleRow(ruleWidgets[index], [&id](auto* row) {
        // A polygon row keeps its id in its kept gate.
        if constexpr (std::is_same_v<decltype(row), PolygonRuleWidget*>)
            row->keptRule.propagationId = id;
        else
            row->propagationId = id;
        row->updateAllDatasetButtons();
    });
}

void FilterDockWidget::setRuleSyncState(int index, bool updateDiffers, bool checkDiffers)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    visitRuleRow(ruleWidgets[index], [&](auto* row) {
        const bool changed = row->updateDiffers != updateDiffers || row->checkDiffers != checkDiffers;
        row->updateDiffers = updateDiffers;
        row->checkDiffers = checkDiffers;
        if (changed)
            row->updateAllDatasetButtons();
    });
}

void FilterDockWidget::updateAllButton(QPushButton* button, const QString& text, bool differs)
{
    button->setText(text);
    button->show();
    button->setEnabled(datasetCount > 1);
    setSmallButtonAccent(button, datasetCount > 1 && differs);
}

void FilterDockWidget::setEnabledDiffers(bool differs)
{
    updateAllButton(enabledAllButton,
                    filterEnabledCheck->isChecked() ? "Enable in All Datasets" : "Disable in All Datasets",
                    differs);
}

void FilterDockWidget::setCombineModeDiffers(bool differs)
{
    updateAllButton(combineAllButton,
                    showExcludedCheck->isChecked() ? "Show Excluded in All Datasets"
                                                   : "Hide Excluded in All Datasets",
                    differs);
}

void FilterDockWidget::setGroupSyncState(int groupId, bool differs)
{
    for (FilterGroupWidget* widget : groupWidgets) {
        if (widget->groupId != groupId)
            continue;
        if (widget->differs != differs) {
            widget->differs = differs;
            widget->updatePropagateButton();
        }
        return;
    }
}

void FilterDockWidget::setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on)
{
    for (FilterGroupWidget* widget : groupWidgets) {
        if (widget->groupId != groupId)
            continue;
        if (ruleIndex < 0 || ruleIndex >= static_cast<int>(widget->ruleWidgets.size()))
            return;
        if (auto* polygon = qobject_cast<PolygonRuleWidget*>(widget->ruleWidgets[ruleIndex])) {
            const QSignalBlocker blockEdit(polygon->editButton);
            polygon->editButton->setChecked(on);
        }
        return;
    }
}

void FilterDockWidget::setPolygonEditChecked(int index, bool on)
{
    if (index < 0 || index >= static_cast<int>(ruleWidgets.size()))
        return;
    if (auto* polygon = qobject_cast<PolygonRuleWidget*>(ruleWidgets[index])) {
        const QSignalBlocker blockEdit(polygon->editButton);
        polygon->editButton->setChecked(on);
    }
}

void FilterDockWidget::setPolygonButtonChecked(bool on)
{
    const QSignalBlocker blockPolygon(addPolygonButton);
    addPolygonButton->setChecked(on);
}

void FilterDockWidget::setEventCounts(std::size_t shown, std::size_t total, bool filterActive)
{
    if (total == 0) {
        countLabel->setText("No events");
    } else if (shown != total || filterActive) {
        const double percent = 100.0 * static_cast<double>(shown) / static_cast<double>(total);
        countLabel->setText(QString("%1 / %2 events shown (%3%)")
                                .arg(shown)
                                .arg(total)
                                .arg(percent, 0, 'f', 1));
    } else {
        countLabel->setText(QString("%1 events (no filter active)").arg(total));
    }
}

void FilterDockWidget::syncFilterFromRows()
{
    if (!activeDataset)
        return;
    std::vector<FilterRule> rules;
    rules.reserve(ruleWidgets.size());
    for (QWidget* widget : ruleWidgets)
        visitRuleRow(widget, [&rules](auto* row) { rules.push_back(row->rule()); });
    activeDataset->filter.clear();
    for (const FilterRule& rule : rules)
        activeDataset->filter.addRule(rule);
}

void FilterDockWidget::onAddRule()
{
    if (!activeDataset || !activeDataset->reader)
        return;
    const std::vector<std::string> features = scalarFeatures();
    if (features.empty())
        return;
    addRow(new FilterRuleWidget(features, activeDataset->reader.get(), this));
    syncFilterFromRows();
    emit filterChanged();
}

void FilterDockWidget::onRuleChanged()
{
    syncFilterFromRows();
    emit filterChanged();
}

void FilterDockWidget::onCombineModeChanged()
{
    if (!activeDataset)
        return;
    activeDataset->filter.setCombineMode(showExcludedCheck->isChecked() ? 1 : 0);
    emit filterChanged();
}

void FilterDockWidget::onDatasetFilterToggled(bool checked)
{
    if (!activeDataset)
        return;
    activeDataset->filter.setEnabled(checked);
    emit filterChanged();
}

std::vector<std::string> FilterDockWidget::scalarFeatures() const
{
    std::vector<std::string> result;
    if (!activeDataset || !activeDataset->reader)
        return result;
    for (const std::string& name : activeDataset->reader->features())
        if (RTDCReader::isScalarFeatureName(name))
            result.push_back(name);
    return result;
}

int FilterDockWidget::rowIndex(const QWidget* row) const
{
    const auto it = std::find(ruleWidgets.begin(), ruleWidgets.end(), row);
    return it == ruleWidgets.end() ? -1 : static_cast<int>(it - ruleWidgets.begin());
}

template <typename Row>
void FilterDockWidget::addRow(Row* row)
{
    row->multiDataset = datasetCount > 1;
    row->updateAllDatasetButtons();
    appendRuleRow(rulesLayout, ruleWidgets, separators, row);
    connectRow(row);
}

template <typename Row>
void FilterDockWidget::connectRow(Row* row)
{
    connect(row, &Row::ruleChanged, this, &FilterDockWidget::onRuleChanged);
    connect(row, &Row::removeRequested, this, [this, row] { removeRow(row); });
    // The index is looked up when the signal arrives: rows shift as others go.
    auto forward = [this, row](void (FilterDockWidget::*signal)(int)) {
        return [this, row, signal] {
            const int index = rowIndex(row);
            if (index >= 0)
                emit(this->*signal)(index);
        };
    };
    connect(row, &Row::applyRuleToAllRequested, this, forward(&FilterDockWidget::applyRuleToAll));
    connect(row, &Row::updateRuleToAllRequested, this, forward(&FilterDockWidget::updateRuleToAll));
    connect(row, &Row::uncheckRuleInAllRequested, this, forward(&FilterDockWidget::uncheckRuleInAll));
    connect(row, &Row::checkRuleInAllRequested, this, forward(&FilterDockWidget::checkRuleInAll));
    connect(row, &Row::deleteRuleFromAllRequested, this, forward(&FilterDockWidget::deleteRuleFromAll));

    if constexpr (std::is_same_v<Row, PolygonRuleWidget>) {
        connect(row, &PolygonRuleWidget::editToggled, this, [this, row](bool on) {
            const int index = rowIndex(row);
            if (index < 0)
                return;
            if (on) {
                for (QWidget* widget : ruleWidgets) {
                    auto* other = qobject_cast<PolygonRuleWidget*>(widget);
                    if (other && other != row) {
                        const QSignalBlocker blockEdit(other->editButton);
                        other->editButton->setChecked(false);
                    }
                }
            }
            emit polygonEditRequested(index, on);
        });
    }
}

void FilterDockWidget::removeRow(QWidget* row)
{
    const int index = rowIndex(row);
    if (index >= 0)
        ruleWidgets.erase(ruleWidgets.begin() + index);
    rulesLayout->removeWidget(row);
    row->deleteLater();
    if (index >= 0 && !separators.empty()) {
        const int last = static_cast<int>(separators.size()) - 1;
        const int position = std::min(std::max(index - 1, 0), last);
        QWidget* separator = separators[position];
        separators.erase(separators.begin() + position);
        rulesLayout->removeWidget(separator);
        separator->deleteLater();
    }
    syncFilterFromRows();
    emit filterChanged();
}

} // namespace Tessary
