#pragma once

#include "rtdc/filterrule.h"
#include "widgets/filtermetatypes.h"

#include <QGroupBox>
#include <QString>

#include <string>
#include <vector>

class QCheckBox;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

namespace Tessary {

class RTDCReader;

// One filter group in the filter dock: name, the active dataset's switch, the
// button that copies the switch to every dataset, "+ Rule", "+ Polygon",
// delete, and one row per rule. The widget never changes the group: every edit
// leaves as a signal carrying the group id, and the main window rebuilds the
// widget after each change of the group's rules.
class FilterGroupWidget : public QGroupBox {
    Q_OBJECT
public:
    // The reader (not owned, may be null) gives labels and columns to the rows.
    FilterGroupWidget(int groupId, const std::vector<std::string>& features, RTDCReader* reader,
                      QWidget* parent = nullptr);

    // Rebuilds the rule rows; shows none without a reader.
    void setRules(const std::vector<FilterRule>& rules);
    void updatePropagateButton();

    int groupId = -1;
    std::vector<std::string> features;  // offered to new range rows
    RTDCReader* reader = nullptr;
    QLineEdit* nameEdit = nullptr;
    QCheckBox* enableCheck = nullptr;
    QPushButton* propagateButton = nullptr;
    QPushButton* addRuleButton = nullptr;
    QPushButton* addPolygonButton = nullptr;
    QPushButton* deleteButton = nullptr;
    QVBoxLayout* rulesLayout = nullptr;
    std::vector<QWidget*> ruleWidgets;
    std::vector<QWidget*> separators;
    bool multiDataset = false;
    bool differs = false;  // another dataset has this group switched the other way

signals:
    void renameRequested(int groupId, QString newName);
    void deleteRequested(int groupId);
    void enableToggled(int groupId, bool enabled);
    void enablePropagateRequested(int groupId, bool enabled);
    void addRuleRequested(int groupId);
    void addPolygonRequested(int groupId);
    void ruleChanged(int groupId, int ruleIndex, Tessary::FilterRule rule);
    void ruleRemoved(int groupId, int ruleIndex);
    void polygonEditToggled(int groupId, int ruleIndex, bool on);

private:
    template <typename Row>
    void attachRow(Row* row, int index);
};

} // namespace Tessary
