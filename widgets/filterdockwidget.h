#pragma once

#include "app/filtergroup.h"
#include "rtdc/filterrule.h"
#include "widgets/filtermetatypes.h"

#include <QString>
#include <QWidget>

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QPushButton;
class QScrollArea;
class QVBoxLayout;

namespace Tessary {

struct DatasetEntry;
class FilterGroupWidget;
class RTDCReader;

// Content of the "Filters" dock: edits the active dataset's own filter
// (enabled flag, combine mode, rules) and shows the filter groups with their
// per-dataset switch. It writes nothing but the active dataset's filter; every
// other request leaves as a signal for the main window, which fills the dock
// through the public operations below.
class FilterDockWidget : public QWidget {
    Q_OBJECT
public:
    explicit FilterDockWidget(QWidget* parent = nullptr);

    // Not owned; null disables the dock. Rebuilds the rule rows, not the groups.
    void setActiveDataset(DatasetEntry* ds);
    void refresh();
    void setDatasetCount(int n);
    // Groups are not owned; reader is the active dataset's reader or null.
    void rebuildGroupWidgets(const std::vector<FilterGroup*>& groups, RTDCReader* reader);
    void refreshFeatureLists();
    void removeRuleWidget(int index);
    void setRuleChecked(int index, bool checked);
    void setRulePropagationId(int index, const std::string& id);
    void setRuleSyncState(int index, bool updateDiffers, bool checkDiffers);
    void setEnabledDiffers(bool differs);
    void setCombineModeDiffers(bool differs);
    void setGroupSyncState(int groupId, bool differs);
    void setGroupPolygonEditChecked(int groupId, int ruleIndex, bool on);
    void setPolygonEditChecked(int index, bool on);
    void setPolygonButtonChecked(bool on);
    // filterActive: a rule judged the events, so the counts say how many passed
    // even when every one did.
    void setEventCounts(std::size_t shown, std::size_t total, bool filterActive = false);

    // Rewrites the active dataset's rule list from the rows, keeping its
    // enabled flag and combine mode.
    void syncFilterFromRows();

    QCheckBox* filterEnabledCheck = nullptr;
    QPushButton* enabledAllButton = nullptr;
    QCheckBox* showExcludedCheck = nullptr;
    QPushButton* combineAllButton = nullptr;
    QPushButton* addRuleButton = nullptr;
    QPushButton* addPolygonButton = nullptr;
    QPushButton* addGroupButton = nullptr;
    QVBoxLayout* rulesLayout = nullptr;
    QScrollArea* scrollArea = nullptr;
    QLabel* countLabel = nullptr;
    QGroupBox* datasetBox = nullptr;
    QVBoxLayout* groupsLayout = nullptr;
    std::vector<FilterGroupWidget*> groupWidgets;
    std::vector<QWidget*> ruleWidgets;
    std::vector<QWidget*> separators;
    DatasetEntry* activeDataset = nullptr;
    int datasetCount = 0;

signals:
    void filterChanged();
    void applyToAllRequested();
    void applyRuleToAll(int ruleIndex);
    void updateRuleToAll(int ruleIndex);
    void uncheckRuleInAll(int ruleIndex);
    void checkRuleInAll(int ruleIndex);
    void deleteRuleFromAll(int ruleIndex);
    void enabledChangedForAll(bool enabled);
    void combineModeChangedForAll(int mode);
    void polygonDrawRequested();
    void polygonDrawCancelRequested();
    void polygonEditRequested(int ruleIndex, bool on);
    void importMeasurementFiltersRequested(bool toAll);
    void addFilterGroupRequested();
    void renameFilterGroupRequested(int groupId, QString newName);
    void deleteFilterGroupRequested(int groupId);
    void groupEnableChanged(int groupId, bool enabled);
    void groupEnablePropagateRequested(int groupId, bool enabled);
    void addRuleToGroupRequested(int groupId);
    void addPolygonToGroupRequested(int groupId);
    void groupRuleChanged(int groupId, int ruleIndex, Tessary::FilterRule rule);
    void groupRuleRemoved(int groupId, int ruleIndex);
    void groupPolygonEditRequested(int groupId, int ruleIndex, bool on);
    void importGroupsRequested();
    void exportGroupsRequested();

private slots:
    void onAddRule();
    void onRuleChanged();
    void onCombineModeChanged();
    void onDatasetFilterToggled(bool checked);

private:
    // Where the keyboard focus is within the rule rows or the group widgets.
    struct FocusSpot {
        bool inside = false;   // the focus is in the part being rebuilt
        int groupId = -1;      // -1: the dataset's own rows
        int row = -1;          // -1: not in a row (a group's header)
        int child = -1;        // index among the row's (or group's) children
    };

    // What the rows, or the group widgets, were built from. The main window
    // asks for the same rebuild several times in one go (switching datasets,
    // loading a session, importing groups), and with thousands of rules each
    // costs seconds and a second set of widgets: a rebuild from the same
    // input before the event loop runs again is left out.
    struct RowsInput {
        const DatasetEntry* dataset = nullptr;
        const RTDCReader* reader = nullptr;
        std::vector<std::string> features;
        std::vector<FilterRule> rules;
        bool operator==(const RowsInput& other) const;
    };
    struct GroupsInput {
        const RTDCReader* reader = nullptr;
        std::vector<std::string> features;
        int datasetCount = 0;
        std::vector<FilterGroup> groups;
        std::vector<bool> enabled;   // for the active dataset, per group
        bool operator==(const GroupsInput& other) const;
    };

    std::vector<std::string> scalarFeatures() const;
    bool groupEnabled(int groupId) const;
    // Remembers input as built until the event loop runs again.
    template <typename Input>
    void rememberBuilt(std::optional<Input>& built, Input input);
    void buildRuleRows(const std::vector<std::string>& features, RTDCReader* reader);
    void buildGroupWidgets(const std::vector<const FilterGroup*>& groups, RTDCReader* reader,
                           const std::vector<std::string>& features);
    FocusSpot focusInRows(const std::vector<QWidget*>& rows) const;
    FocusSpot focusInGroups() const;
    void restoreFocus(const FocusSpot& spot);
    // Puts a filled, not yet shown container in the place of the old one, shows
    // it when it holds rows, moves the focus and lets the old one go.
    void swapContainer(QWidget* old, QWidget* fresh, bool hasRows, const FocusSpot& focus);
    // Appends a filled row to the dataset's rows and connects it.
    template <typename Row>
    void addRow(Row* row);
    template <typename Row>
    void connectRow(Row* row);
    void removeRow(QWidget* row);
    int rowIndex(const QWidget* row) const;
    void updateAllButton(QPushButton* button, const QString& text, bool differs);

    QVBoxLayout* scrollLayout = nullptr;
    // The rows and the group widgets each live in a container of their own;
    // a rebuild fills a new one before it is shown (see swapContainer).
    QWidget* rulesContainer = nullptr;
    QWidget* groupsContainer = nullptr;
    std::optional<RowsInput> rowsBuiltFrom;
    std::optional<GroupsInput> groupsBuiltFrom;
};

} // namespace Tessary
