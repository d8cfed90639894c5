#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

class QCheckBox;
class QDialog;
class QGroupBox;
class QPushButton;
class QRadioButton;
class QVBoxLayout;
class QWidget;

namespace Tessary {

struct DatasetEntry;

// Dataset id -> the columns that its restored calculations are still to add:
// offered like the columns it has, since the export waits for them.
using ColumnsToCome = std::map<int, std::vector<std::string>>;

// The parts that the event export and the statistical-summary dialogs share:
// the scope radios, the checkable list of scalar features of all datasets,
// the grey look of what only other datasets have, and the button box.

// The "Export Scope" group: "Current dataset only" (checked) and "All
// datasets (n)", offered only when at least two datasets are open.
struct ExportScopeGroup
{
    QGroupBox* group = nullptr;
    QRadioButton* currentOnlyRadio = nullptr;
    QRadioButton* allDatasetsRadio = nullptr;

    ExportScopeGroup(int datasetCount, QWidget* parent);
    // A remembered scope: all datasets only when remembered and offered.
    void restore(bool allDatasets);
    bool allDatasets() const;
};

// Grey text and the tool tip that says why, for data only other datasets
// have; or the default look and no tool tip.
void markOnlyInOtherDatasets(QWidget* widget, bool onlyInOthers);

// Cancel and a default "Export" button in the accept role, wired to the dialog.
void addExportButtons(QDialog* dialog, QVBoxLayout* layout);

// The feature check boxes, in list order, with the feature of each box in
// parallel: the current dataset's scalar features sorted, then those that
// only other datasets have, sorted among themselves (unchecked and hidden).
class ExportFeatureList
{
public:
    // Builds the "Scalar Features" group with its Select All / Deselect All
    // row and a scroll area of at most maxHeight pixels. The dialog owns the widgets.
    ExportFeatureList(const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                      const ColumnsToCome& toCome, int maxHeight, QWidget* parent);

    QGroupBox* group() const { return box; }
    QPushButton* selectAllButton() const { return selectAll; }
    QPushButton* deselectAllButton() const { return deselectAll; }

    // Checks every visible box; unchecks every box, hidden ones too.
    void checkVisible();
    void uncheckAll();
    // Shows or hides the boxes of features the current dataset lacks.
    void showOtherDatasetFeatures(bool shown);
    void setBoxesEnabled(bool enabled);
    // The choices of the last dialog: a box whose feature that dialog
    // offered is checked exactly when the feature is among the checked ones
    // (hidden boxes too); any other box keeps its first state, since a
    // feature never offered was never chosen or left out.
    void restoreChoices(const std::vector<std::string>& checked, const std::vector<std::string>& offeredBefore);
    // The features of the checked boxes in list order, hidden ones included.
    std::vector<std::string> checkedFeatures() const;
    // The features whose box holds a choice, in list order: every box shown
    // in this dialog, and every box that took a choice of the last one.
    std::vector<std::string> offeredFeatures() const;

    bool isCurrentFeature(const std::string& name) const { return currentFeatures.count(name) > 0; }
    const std::vector<QCheckBox*>& boxes() const { return featureChecks; }
    const std::vector<std::string>& names() const { return featureNames; }

private:
    QGroupBox* box = nullptr;
    QPushButton* selectAll = nullptr;
    QPushButton* deselectAll = nullptr;
    std::vector<QCheckBox*> featureChecks;
    std::vector<std::string> featureNames;
    std::vector<bool> offered;   // in parallel: the box holds a choice (see offeredFeatures)
    std::set<std::string> currentFeatures;
};

} // namespace Tessary
