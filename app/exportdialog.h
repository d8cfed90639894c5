#pragma once

#include "app/exportfeaturelist.h"

#include <QDialog>

#include <memory>
#include <string>
#include <vector>

class QCheckBox;
class QGroupBox;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace Tessary {

struct DatasetEntry;
struct ExportScopeGroup;

// What an event export writes, as the export dialog was left.
struct ExportOptions
{
    std::vector<std::string> features;   // checked scalar features, in the dialog's order
    // Images, masks and traces: the user's choice, written where a dataset
    // has that data. A box that the format or missing data holds off keeps
    // the choice made before, so the next .rtdc export starts from it.
    bool images = false;
    bool masks = false;
    bool traces = false;
    bool formatTsv = false;
    bool formatAvi = false;              // neither format flag: .rtdc
    bool mjpeg = true;                   // AVI: MJPEG, else uncompressed
    bool skipDuplicateFrames = false;    // AVI: one frame per camera frame number
    bool forReanalysis = false;          // AVI: 100 frames of the average image first
    bool useCustomDirectory = false;
    std::string outputDirectory;         // UTF-8
    bool allDatasets = false;            // every dataset, else the active one
    // The features whose boxes the dialog offered, checked or not: only
    // these are remembered as chosen; a feature the next dialog lists
    // beyond them starts as it would without remembered options.
    std::vector<std::string> offeredFeatures;
};

// Asks which datasets, format, features and non-scalar data to export and
// where to. Features and data that only other datasets have are offered,
// greyed, when all datasets are exported.
class ExportDialog : public QDialog
{
    Q_OBJECT
public:
    // previous: the options of the last accepted export of this run, or null.
    ExportDialog(const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                 bool expertMode, QWidget* parent, const ExportOptions* previous,
                 const ColumnsToCome& toCome = {});
    ~ExportDialog() override;

    ExportOptions exportOptions() const;

private slots:
    void onBrowseDir();
    void onSelectAll();
    void onDeselectAll();
    void onScopeChanged();
    void onFormatChanged();

private:
    // One of the "Images", "Masks", "Traces" boxes with its data and the choice it stands for.
    struct DataBox
    {
        QCheckBox* check = nullptr;
        bool here = false;       // the current dataset has the data
        bool anywhere = false;   // the current or another dataset has it
        // The user's (or the remembered) choice, which the box shows wherever
        // its data exists; formats without such data only grey it out.
        bool wanted = false;
        // Whether a click or the last export made that choice. A box never
        // offered (no such data yet) reports "export it where it exists".
        bool chosen = false;
        bool choice() const;
    };
    void updateAvailability();
    void restore(const ExportOptions& previous);

    std::unique_ptr<ExportFeatureList> featureList;
    std::unique_ptr<ExportScopeGroup> scope;
    DataBox dataBoxes[3];   // images, masks, traces

public:
    // The widgets, for the tests that drive the dialog.
    QRadioButton* rtdcRadio = nullptr;
    QRadioButton* tsvRadio = nullptr;
    QRadioButton* aviRadio = nullptr;
    QGroupBox* aviOptionsGroup = nullptr;
    QRadioButton* mjpegRadio = nullptr;
    QRadioButton* rawRadio = nullptr;
    QCheckBox* skipDuplicatesCheck = nullptr;
    QCheckBox* reanalysisCheck = nullptr;
    QCheckBox* imagesCheck = nullptr;
    QCheckBox* masksCheck = nullptr;
    QCheckBox* tracesCheck = nullptr;
    QCheckBox* customDirectoryCheck = nullptr;
    QLineEdit* directoryEdit = nullptr;
    QPushButton* browseButton = nullptr;
    QRadioButton* currentOnlyRadio() const;
    QRadioButton* allDatasetsRadio() const;
    const std::vector<QCheckBox*>& featureChecks() const;
};

} // namespace Tessary
