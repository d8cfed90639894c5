#pragma once

#include "calc/emodulusparams.h"
#include "calc/refinementsettings.h"
#include "calc/spillovermatrix.h"

#include <QWidget>

#include <optional>
#include <vector>

class QCheckBox;
class QComboBox;
class QDoubleSpinBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QProgressBar;
class QPushButton;
class QSpinBox;
class QTableWidget;

namespace Tessary {

struct DatasetEntry;
struct RTDCMetadata;

// The "Calculations" panel: Young's modulus and crosstalk compensation, and,
// hidden unless the expert sections are shown, fluorescence refinement,
// Fourier deformation, image features and dimension reduction. It edits
// through its signals and never calls the main window.
class CalculationsDockWidget : public QWidget
{
    Q_OBJECT
public:
    explicit CalculationsDockWidget(QWidget* parent = nullptr);

    // Shows or hides the four expert sections and the deformation choice.
    void setExtraSectionsVisible(bool visible);
    bool extraSectionsVisible() const { return extraVisible; }

    // Follows the entry (not owned; null disables every compute button and
    // empties the crosstalk table).
    void setActiveDataset(DatasetEntry* entry);

    void setRefineEnabled(bool enabled);
    void setCompensateEnabled(bool enabled);
    void setEmodulusEnabled(bool enabled);
    void setAssessQualityEnabled(bool enabled);
    void setFourierDeformEnabled(bool enabled);
    void setImageFeaturesEnabled(bool enabled);

    // An n x n table for the channels, identity to start with.
    void setupCrosstalkTable(const std::vector<int>& channels);
    // Writes a stored matrix into the table; ignored when it does not fit.
    void setCrosstalkMatrix(const SpilloverMatrix& spillover, const std::vector<int>& channels);
    // The table as a matrix, or nothing when a cell does not hold a finite
    // number; invalidCell then names the first such cell ("row FL1, column FL2").
    std::optional<SpilloverMatrix> crosstalkMatrix(QString* invalidCell = nullptr) const;
    std::vector<int> crosstalkChannels() const { return tableChannels; }

    void showDatasetParameters(const RTDCMetadata& metadata, bool hasPerEventTemperature);
    EModulusParams emodulusParamsFromMetadata(const RTDCMetadata& metadata, bool hasPerEventTemperature) const;
    // The parameters as the panel shows them.
    EModulusParams emodulusParams() const;
    RefinementSettings refinementSettings() const;

    // Refills the list of input features for the entry, keeping check states.
    void updateFeatureList(DatasetEntry* entry);
    std::vector<std::string> checkedFeatures() const;

    // Which deformation features the dataset offers besides "deform"; the
    // choice is shown only with the expert sections.
    void setDeformationSources(bool hasFourier, bool hasOdd);

    bool showRefinedTrace() const;

    // The progress bar as it is between calculations.
    void resetProgress();

    QProgressBar* progressBar = nullptr;

signals:
    void refineFluorescence();
    void traceDisplayChanged();
    void compensateCrosstalk();
    void computeEmodulus();
    void assessEmodQuality();
    void computeFourierDeform();
    void computeImageFeatures();
    void computeDimReduction();
    void saveDimRedReference();
    void loadDimRedReference();

private:
    QGroupBox* buildEmodulusSection();
    QGroupBox* buildCrosstalkSection();
    QGroupBox* buildRefinementSection();
    QGroupBox* buildFourierSection();
    QGroupBox* buildImageFeaturesSection();
    QGroupBox* buildDimReductionSection();

    DatasetEntry* activeEntry = nullptr;
    bool extraVisible = true;

    QGroupBox* emodGroup = nullptr;
    QComboBox* lutCombo = nullptr;
    QComboBox* viscModelCombo = nullptr;
    QComboBox* mediumCombo = nullptr;
    QComboBox* tempSourceCombo = nullptr;
    QDoubleSpinBox* temperatureSpin = nullptr;
    QDoubleSpinBox* manualViscositySpin = nullptr;
    QDoubleSpinBox* channelWidthSpin = nullptr;
    QDoubleSpinBox* flowRateSpin = nullptr;
    QDoubleSpinBox* pixelSizeSpin = nullptr;
    QLabel* deformFeatureLabel = nullptr;
    QComboBox* deformFeatureCombo = nullptr;
    QCheckBox* pixelationCheck = nullptr;
    QPushButton* emodulusButton = nullptr;
    QPushButton* assessQualityButton = nullptr;

    QGroupBox* ctcGroup = nullptr;
    QTableWidget* crosstalkTable = nullptr;
    QPushButton* compensateButton = nullptr;
    std::vector<int> tableChannels;

    QGroupBox* refineGroup = nullptr;
    QCheckBox* hampel1Check = nullptr;
    QSpinBox* hampel1WindowSpin = nullptr;
    QDoubleSpinBox* hampel1ThresholdSpin = nullptr;
    QCheckBox* hampel2Check = nullptr;
    QSpinBox* hampel2WindowSpin = nullptr;
    QDoubleSpinBox* hampel2ThresholdSpin = nullptr;
    QCheckBox* medianCheck = nullptr;
    QSpinBox* medianWindowSpin = nullptr;
    QCheckBox* rollingAvgCheck = nullptr;
    QSpinBox* rollingAvgWindowSpin = nullptr;
    QCheckBox* savgolCheck = nullptr;
    QSpinBox* savgolWindowSpin = nullptr;
    QDoubleSpinBox* peakThresholdSpin = nullptr;
    QCheckBox* showRefinedTraceCheck = nullptr;
    QPushButton* refineButton = nullptr;

    QGroupBox* fourierGroup = nullptr;
    QPushButton* fourierButton = nullptr;
    QGroupBox* imageGroup = nullptr;
    QPushButton* imageFeaturesButton = nullptr;
    QGroupBox* dimRedGroup = nullptr;
    QListWidget* featureList = nullptr;
    QPushButton* dimRedButton = nullptr;
    QPushButton* saveReferenceButton = nullptr;
    QPushButton* loadReferenceButton = nullptr;
};

} // namespace Tessary
