#pragma once

#include "rtdc/filterrule.h"
#include "widgets/filterwidgetstyle.h"

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;

namespace Tessary {

class RTDCReader;

// One polygon gate: caption of both features, vertex count, invert, an "Edit"
// toggle that asks the plot to edit the gate, and the per-rule all-datasets
// buttons. The gate itself (vertices, scale modes, propagation id) is kept
// whole and handed back unchanged.
class PolygonRuleWidget : public QWidget {
    Q_OBJECT
public:
    // The reader (not owned, may be null) gives the feature labels.
    explicit PolygonRuleWidget(RTDCReader* reader, QWidget* parent = nullptr);

    FilterRule rule() const;
    void setRule(const FilterRule& rule);
    void updateAllDatasetButtons();

    QCheckBox* enabledCheck = nullptr;
    QCheckBox* invertCheck = nullptr;
    QLabel* captionLabel = nullptr;
    QLabel* pointsLabel = nullptr;
    QPushButton* editButton = nullptr;
    QPushButton* removeButton = nullptr;
    RTDCReader* reader = nullptr;
    QPushButton* applyAllButton = nullptr;
    QPushButton* updateAllButton = nullptr;
    QPushButton* checkAllButton = nullptr;
    QPushButton* deleteAllButton = nullptr;
    FilterRule keptRule;  // the gate as last set; carries the propagation id
    bool multiDataset = false;
    bool featureUnavailable = false;
    bool updateDiffers = false;
    bool checkDiffers = false;
    bool inGroup = false;

signals:
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();
    void editToggled(bool on);

private slots:
    void onUncheckCheckClicked();

private:
    RuleAllButtons allButtons;
};

} // namespace Tessary
