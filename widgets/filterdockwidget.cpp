#include "widgets/filterdockwidget.h"

#include "app/datasetentry.h"
#include "app/filtergroup.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filtergroupwidget.h"
#include "widgets/filterrulewidget.h"
#include "widgets/filterwidgetstyle.h"
#include "widgets/flowlayout.h"
#include "widgets/polygonrulewidget.h"

#include <QApplication>
#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
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

// A container for rows or group widgets that is not shown yet. Widgets added
// to a shown layout are shown one by one, and each show lays out every row
// again; added here they cost nothing until the container is shown once.
QWidget* makeRowContainer(QWidget* parent, int spacing, QVBoxLayout*& layout)
{
    auto* container = new QWidget(parent);
    layout = new QVBoxLayout(container);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(spacing);
    return container;
}

// The position of the row that holds widget (or is it), -1 when none does.
int rowHolding(const std::vector<QWidget*>& rows, const QWidget* widget)
{
    for (; widget; widget = widget->parentWidget()) {
        const auto it = std::find(rows.begin(), rows.end(), widget);
        if (it != rows.end())
            return int(it - rows.begin());
    }
    return -1;
}

// Rows of one kind, and group widgets, are built alike: a control keeps its
// position among its row's (or group's) children from one build to the next.
int childIndex(const QWidget* ancestor, const QWidget* widget)
{
    while (widget && widget->parentWidget() != ancestor)
        widget = widget->parentWidget();
    return widget ? int(ancestor->children().indexOf(const_cast<QWidget*>(widget))) : -1;
}

QWidget* childAtIndex(const QWidget* ancestor, int index)
{
    if (!ancestor || index < 0 || index >= ancestor->children().size())
        return nullptr;
    return qobject_cast<QWidget*>(ancestor->children().at(index));
}

bool sameValue(double a, double b)
{
    return a == b || (std::isnan(a) && std::isnan(b));
}

bool sameRule(const FilterRule& a, const FilterRule& b)
{
    const auto sameVertex = [](const std::pair<double, double>& p, const std::pair<double, double>& q) {
        return sameValue(p.first, q.first) && sameValue(p.second, q.second);
    };
    return a.type == b.type && a.featureName == b.featureName && a.featureNameY == b.featureNameY
           && sameValue(a.minValue, b.minValue) && sameValue(a.maxValue, b.maxValue)
           && std::equal(a.polygonVertices.begin(), a.polygonVertices.end(), b.polygonVertices.begin(),
                         b.polygonVertices.end(), sameVertex)
           && a.scaleXMode == b.scaleXMode && a.scaleYMode == b.scaleYMode && a.enabled == b.enabled
           && a.inverted == b.inverted && a.propagationId == b.propagationId;
}

bool sameRules(const std::vector<FilterRule>& a, const std::vector<FilterRule>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), sameRule);
}

bool canTakeFocus(const QWidget* widget)
{
    return widget && widget->isEnabled() && widget->isVisible() && widget->focusPolicy() != Qt::NoFocus;
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
    // The all-datasets buttons go below their check box where the dock is too
    // narrow for both on one line.
    auto* enabledRow = new FlowLayout;
    enabledRow->addWidget(filterEnabledCheck);
    enabledRow->addWidget(enabledAllButton);
    boxLayout->addLayout(enabledRow);

    showExcludedCheck = new QCheckBox("Show Excluded Events", datasetBox);
    showExcludedCheck->setToolTip(
        "Invert the filter result so the events the rules normally reject are shown instead.");
    combineAllButton = new QPushButton(datasetBox);
    combineAllButton->setStyleSheet(FilterStyle::plainSmallButton);
    combineAllButton->setToolTip("Apply this dataset's inversion state to every loaded dataset.");
    auto* combineRow = new FlowLayout;
    combineRow->addWidget(showExcludedCheck);
    combineRow->addWidget(combineAllButton);
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
    scrollLayout = new QVBoxLayout(scrollWidget);
    scrollLayout->setContentsMargins(0, 0, 0, 0);
    scrollLayout->setSpacing(4);
    rulesContainer = makeRowContainer(scrollWidget, 2, rulesLayout);
    scrollLayout->addWidget(rulesContainer);
    groupsContainer = makeRowContainer(scrollWidget, 4, groupsLayout);
    scrollLayout->addWidget(groupsContainer);
    scrollLayout->addStretch();
    // An empty container stays hidden: it takes no room and no spacing.
    rulesContainer->hide();
    groupsContainer->hide();
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
    // The add buttons wrap in a narrow dock; "⋮" keeps the right edge.
    auto* addButtons = new FlowLayout;
    addButtons->addWidget(addRuleButton);
    addButtons->addWidget(addPolygonButton);
    addButtons->addWidget(addGroupButton);
    auto* buttonRow = new QHBoxLayout;
    buttonRow->addLayout(addButtons);
    buttonRow->addWidget(moreButton, 0, Qt::AlignTop);
    boxLayout->addLayout(buttonRow);

    countLabel = new QLabel("No filter active", datasetBox);
    countLabel->setStyleSheet("QLabel { padding: 3px; color: #606468; font-style: italic; }");
    countLabel->setWordWrap(true);   // large counts take a second line, not more width
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
    RowsInput input;
    if (!activeDataset) {
        // The toggled slot ignores this without a dataset.
        filterEnabledCheck->setChecked(false);
        const QSignalBlocker blockExcluded(showExcludedCheck);
        showExcludedCheck->setChecked(false);
        countLabel->setText("No dataset selected");
    } else {
        {
            const QSignalBlocker blockEnabled(filterEnabledCheck);
            const QSignalBlocker blockExcluded(showExcludedCheck);
            filterEnabledCheck->setChecked(activeDataset->filter.isEnabled());
            showExcludedCheck->setChecked(activeDataset->filter.combineMode() == 1);
        }
        countLabel->setText("No filter active");
        input = {activeDataset, activeDataset->reader.get(), scalarFeatures(), activeDataset->filter.rules};
    }
    if (rowsBuiltFrom && *rowsBuiltFrom == input)
        return;
    buildRuleRows(input.features, activeDataset ? activeDataset->reader.get() : nullptr);
    rememberBuilt(rowsBuiltFrom, std::move(input));
}

void FilterDockWidget::buildRuleRows(const std::vector<std::string>& features, RTDCReader* reader)
{
    const FocusSpot focus = focusInRows(ruleWidgets);
    ruleWidgets.clear();
    separators.clear();
    QWidget* oldContainer = rulesContainer;
    rulesContainer = makeRowContainer(oldContainer->parentWidget(), 2, rulesLayout);
    const FilterRuleWidget::RangeReuse readEachColumnOnce;
    if (activeDataset) {
        for (const FilterRule& rule : activeDataset->filter.rules) {
            // Filled before it is connected, so filling it emits nowhere.
            const auto fill = [&rule](auto* row) {
                row->setRule(rule);
                return row;
            };
            if (rule.type == 1)
                addRow(fill(new PolygonRuleWidget(reader, listBlockForNext(rulesLayout))));
            else
                addRow(fill(new FilterRuleWidget(features, reader, listBlockForNext(rulesLayout))));
        }
    }
    swapContainer(oldContainer, rulesContainer, !ruleWidgets.empty(), focus);
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
    GroupsInput input{reader, scalarFeatures(), datasetCount, {}, {}};
    for (const FilterGroup* group : groups) {
        if (group) {
            input.groups.push_back(*group);
            input.enabled.push_back(groupEnabled(group->id));
        }
    }
    if (groupsBuiltFrom && *groupsBuiltFrom == input) {
        // As after a rebuild, no group gate shows "Edit" until the main window says so.
        for (FilterGroupWidget* widget : groupWidgets) {
            for (QWidget* row : widget->ruleWidgets) {
                if (auto* polygon = qobject_cast<PolygonRuleWidget*>(row)) {
                    const QSignalBlocker blockEdit(polygon->editButton);
                    polygon->editButton->setChecked(false);
                }
            }
        }
        return;
    }
    std::vector<const FilterGroup*> shown;
    for (const FilterGroup& group : input.groups)
        shown.push_back(&group);
    buildGroupWidgets(shown, reader, input.features);
    rememberBuilt(groupsBuiltFrom, std::move(input));
}

void FilterDockWidget::buildGroupWidgets(const std::vector<const FilterGroup*>& groups, RTDCReader* reader,
                                         const std::vector<std::string>& features)
{
    const FocusSpot focus = focusInGroups();
    groupWidgets.clear();
    QWidget* oldContainer = groupsContainer;
    groupsContainer = makeRowContainer(oldContainer->parentWidget(), 4, groupsLayout);
    const FilterRuleWidget::RangeReuse readEachColumnOnce;
    for (const FilterGroup* group : groups) {
        auto* widget = new FilterGroupWidget(group->id, features, reader, listBlockForNext(groupsLayout));
        const QString name = QString::fromStdString(group->name);
        if (widget->nameEdit->text() != name) {
            const QSignalBlocker blockName(widget->nameEdit);
            widget->nameEdit->setText(name);
            // A name longer than the box shows its beginning, and in full as tooltip.
            widget->nameEdit->setCursorPosition(0);
            widget->nameEdit->setToolTip(name);
        }
        {
            const QSignalBlocker blockEnable(widget->enableCheck);
            widget->enableCheck->setChecked(groupEnabled(group->id));
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

        appendToList(groupsLayout, widget);
        groupWidgets.push_back(widget);
    }
    swapContainer(oldContainer, groupsContainer, !groupWidgets.empty(), focus);
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
    addRow(new FilterRuleWidget(features, activeDataset->reader.get(), listBlockForNext(rulesLayout)));
    rulesContainer->show();
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

bool FilterDockWidget::groupEnabled(int groupId) const
{
    if (!activeDataset)
        return false;
    const auto it = activeDataset->groupEnabled.find(groupId);
    return it != activeDataset->groupEnabled.end() && it->second;
}

template <typename Input>
void FilterDockWidget::rememberBuilt(std::optional<Input>& built, Input input)
{
    built = std::move(input);
    QTimer::singleShot(0, this, [&built] { built.reset(); });
}

bool FilterDockWidget::RowsInput::operator==(const RowsInput& other) const
{
    return dataset == other.dataset && reader == other.reader && features == other.features
           && sameRules(rules, other.rules);
}

bool FilterDockWidget::GroupsInput::operator==(const GroupsInput& other) const
{
    if (reader != other.reader || features != other.features || datasetCount != other.datasetCount
        || enabled != other.enabled || groups.size() != other.groups.size())
        return false;
    for (std::size_t i = 0; i < groups.size(); ++i) {
        const FilterGroup& a = groups[i];
        const FilterGroup& b = other.groups[i];
        if (a.id != b.id || a.name != b.name || !sameRules(a.rules, b.rules))
            return false;
    }
    return true;
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

FilterDockWidget::FocusSpot FilterDockWidget::focusInRows(const std::vector<QWidget*>& rows) const
{
    QWidget* focus = QApplication::focusWidget();
    const int row = rowHolding(rows, focus);
    if (row < 0)
        return {};
    return {true, -1, row, childIndex(rows[size_t(row)], focus)};
}

FilterDockWidget::FocusSpot FilterDockWidget::focusInGroups() const
{
    QWidget* focus = QApplication::focusWidget();
    const std::vector<QWidget*> groups(groupWidgets.begin(), groupWidgets.end());
    const int index = rowHolding(groups, focus);
    if (index < 0)
        return {};
    const FilterGroupWidget* group = groupWidgets[size_t(index)];
    const int row = rowHolding(group->ruleWidgets, focus);
    if (row < 0)
        return {true, group->groupId, -1, childIndex(group, focus)};
    return {true, group->groupId, row, childIndex(group->ruleWidgets[size_t(row)], focus)};
}

// The same control of the rebuilt group or row; where that is gone, the
// group's (or the dock's) "+ Rule", else the scroll area: never a widget
// outside the dock, where a key typed next would change something else.
void FilterDockWidget::restoreFocus(const FocusSpot& spot)
{
    const std::vector<QWidget*>* rows = &ruleWidgets;
    QWidget* owner = addRuleButton;
    QWidget* anchor = nullptr;
    if (spot.groupId >= 0) {
        rows = nullptr;
        owner = nullptr;
        for (FilterGroupWidget* group : groupWidgets) {
            if (group->groupId == spot.groupId) {
                rows = &group->ruleWidgets;
                owner = group->addRuleButton;
                anchor = spot.row < 0 ? group : nullptr;
            }
        }
    }
    if (rows && spot.row >= 0 && spot.row < int(rows->size()))
        anchor = (*rows)[size_t(spot.row)];
    for (QWidget* candidate : {childAtIndex(anchor, spot.child), owner, static_cast<QWidget*>(scrollArea)}) {
        if (canTakeFocus(candidate)) {
            candidate->setFocus(Qt::OtherFocusReason);
            return;
        }
    }
    setFocus(Qt::OtherFocusReason);
}

void FilterDockWidget::swapContainer(QWidget* old, QWidget* fresh, bool hasRows, const FocusSpot& focus)
{
    delete scrollLayout->replaceWidget(old, fresh);
    // Showing polishes the new widgets. Their polish requests, still queued,
    // make Qt compare each layout request posted to them with every pending
    // event (rows x rows); dropped at once, they cost one pass.
    if (hasRows)
        QCoreApplication::removePostedEvents(nullptr, QEvent::PolishRequest);
    fresh->setVisible(hasRows);   // one layout pass for all its rows
    // Before the old container goes out of sight: hiding the focus widget
    // would hand the focus to the next widget of the window.
    if (focus.inside)
        restoreFocus(focus);
    old->hide();
    old->deleteLater();
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
    FocusSpot focus = focusInRows({row});
    if (index >= 0)
        ruleWidgets.erase(ruleWidgets.begin() + index);
    // The row that takes the place of the removed one, or "+ Rule", has the focus.
    focus.row = index;
    if (focus.inside)
        restoreFocus(focus);
    removeFromList(row);
    if (index >= 0 && !separators.empty()) {
        const int last = static_cast<int>(separators.size()) - 1;
        const int position = std::min(std::max(index - 1, 0), last);
        QWidget* separator = separators[position];
        separators.erase(separators.begin() + position);
        removeFromList(separator);
    }
    rulesContainer->setVisible(!ruleWidgets.empty());
    syncFilterFromRows();
    emit filterChanged();
}

} // namespace Tessary
