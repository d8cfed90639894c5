#pragma once

#include "rtdc/filterrule.h"
#include "widgets/filterwidgetstyle.h"

#include <QWidget>

#include <string>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QPushButton;

namespace Tessary {

class RTDCReader;

// One range rule: feature, inclusive bounds, invert, and the per-rule
// all-datasets buttons. The row keeps the rule's exact bounds; the spin boxes
// only display them, so a rule passes through the row unchanged until the user
// edits a box.
class FilterRuleWidget : public QWidget {
    Q_OBJECT
public:
    // The reader (not owned, may be null) gives labels and columns.
    FilterRuleWidget(const std::vector<std::string>& features, RTDCReader* reader,
                     QWidget* parent = nullptr);

    // Rows built together read each column once: while a RangeReuse lives,
    // the finite range of a reader's column is computed for the first row
    // that needs it and reused by the others (nothing changes a column during
    // one synchronous build). Scopes may nest; GUI thread only.
    class RangeReuse {
    public:
        RangeReuse();
        ~RangeReuse();
        RangeReuse(const RangeReuse&) = delete;
        RangeReuse& operator=(const RangeReuse&) = delete;

    private:
        bool outermost = false;
    };

    FilterRule rule() const;
    // Fills the row without intermediate signals and then emits ruleChanged once.
    void setRule(const FilterRule& rule);
    // Offers another feature list; keeps the bounds and emits nothing.
    void setFeatures(const std::vector<std::string>& features);
    void updateAllDatasetButtons();

    QCheckBox* enabledCheck = nullptr;
    QCheckBox* invertCheck = nullptr;
    QComboBox* featureCombo = nullptr;
    QDoubleSpinBox* minSpin = nullptr;
    QDoubleSpinBox* maxSpin = nullptr;
    QPushButton* removeButton = nullptr;
    RTDCReader* reader = nullptr;
    QPushButton* applyAllButton = nullptr;
    QPushButton* updateAllButton = nullptr;
    QPushButton* checkAllButton = nullptr;
    QPushButton* deleteAllButton = nullptr;
    std::string propagationId;
    bool multiDataset = false;
    bool featureUnavailable = false;
    bool updateDiffers = false;
    bool checkDiffers = false;
    bool inGroup = false;
    std::vector<std::string> features;

signals:
    void ruleChanged();
    void removeRequested();
    void applyRuleToAllRequested();
    void updateRuleToAllRequested();
    void uncheckRuleInAllRequested();
    void checkRuleInAllRequested();
    void deleteRuleFromAllRequested();

private slots:
    void onFeatureChanged(int index);
    void onUncheckCheckClicked();

private:
    void fillCombo();
    void setBoundsEnabled();
    // Takes the finite range of the current feature as the bounds; false when
    // nothing changed (no reader, unlisted feature, no finite value).
    bool applyFeatureRange();
    void showBounds();

    RuleAllButtons allButtons;
    std::string unavailableFeature;   // the rule's own feature while featureUnavailable
    double minValue = 0.0;
    double maxValue = 0.0;
};

} // namespace Tessary
