#pragma once

#include "app/exportfeaturelist.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QDoubleSpinBox;
class QLineEdit;
class QPushButton;

namespace Tessary {

struct DatasetEntry;
struct ExportScopeGroup;

// What a statistical summary holds, as its dialog was left.
struct StatSummaryOptions
{
    std::vector<std::string> features;   // checked scalar features, in the dialog's order
    bool allDatasets = false;            // every loaded dataset, else the active one
    std::string outputPath;              // UTF-8
    bool statN = true;
    bool statMedian = true;
    bool statIqr = false;
    bool statMean = true;
    bool statSd = true;
    bool statSem = false;
    bool statQ1 = false;
    bool statQ3 = false;
    bool statMin = false;
    bool statMax = false;
    bool statCv = false;
    bool statSkewness = false;
    bool statPercentile = false;
    double percentile = 95.0;            // in percent
    // The features whose boxes the dialog offered, checked or not: only
    // these are remembered as chosen (see ExportOptions).
    std::vector<std::string> offeredFeatures;
};

// Asks for the datasets, features and statistics of a summary table and
// for the file it goes to.
class StatSummaryExportDialog : public QDialog
{
    Q_OBJECT
public:
    // previous: the options of the last summary of this run, or null.
    StatSummaryExportDialog(const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                            QWidget* parent, const StatSummaryOptions* previous, const ColumnsToCome& toCome = {});
    ~StatSummaryExportDialog() override;

    StatSummaryOptions exportOptions() const;

private slots:
    void onBrowse();
    void onSelectAll();
    void onDeselectAll();
    void onScopeChanged();

private:
    void restore(const StatSummaryOptions& previous);

    std::unique_ptr<ExportFeatureList> featureList;
    std::unique_ptr<ExportScopeGroup> scope;

public:
    // The widgets, for the tests that drive the dialog.
    QCheckBox* nCheck = nullptr;
    QCheckBox* medianCheck = nullptr;
    QCheckBox* iqrCheck = nullptr;
    QCheckBox* q1Check = nullptr;
    QCheckBox* q3Check = nullptr;
    QCheckBox* percentileCheck = nullptr;
    QDoubleSpinBox* percentileSpin = nullptr;
    QCheckBox* meanCheck = nullptr;
    QCheckBox* sdCheck = nullptr;
    QCheckBox* semCheck = nullptr;
    QCheckBox* cvCheck = nullptr;
    QCheckBox* minCheck = nullptr;
    QCheckBox* maxCheck = nullptr;
    QCheckBox* skewnessCheck = nullptr;
    QLineEdit* outputEdit = nullptr;
    QPushButton* browseButton = nullptr;
    const std::vector<QCheckBox*>& featureChecks() const;
    void setAllDatasets(bool all);
};

} // namespace Tessary
