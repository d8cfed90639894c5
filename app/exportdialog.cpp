#include "app/exportdialog.h"

#include "app/datasetentry.h"
#include "app/exportfeaturelist.h"
#include "rtdc/rtdcreader.h"

#include <algorithm>

#include <QCheckBox>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tessary {

ExportDialog::ExportDialog(const DatasetEntry* current, const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                           bool expertMode, QWidget* parent, const ExportOptions* previous,
                           const ColumnsToCome& toCome)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Data"));
    setMinimumWidth(400);
    auto* layout = new QVBoxLayout(this);

    // Images, masks and traces: present in the current dataset, and anywhere.
    using Presence = bool (RTDCReader::*)() const;
    const Presence present[3] = {&RTDCReader::hasImage, &RTDCReader::hasMask, &RTDCReader::hasTraces};
    for (int kind = 0; kind < 3; ++kind) {
        const auto has = [&](const DatasetEntry* entry) {
            return entry && entry->reader && (*entry->reader.*present[kind])();
        };
        DataBox& box = dataBoxes[kind];
        box.here = box.anywhere = has(current);
        for (const auto& entry : entries)
            box.anywhere = box.anywhere || has(entry.get());
    }

    scope = std::make_unique<ExportScopeGroup>(int(entries.size()), this);
    layout->addWidget(scope->group);

    auto* formatGroup = new QGroupBox(QStringLiteral("Export Format"), this);
    auto* formatRow = new QHBoxLayout(formatGroup);
    rtdcRadio = new QRadioButton(QStringLiteral(".rtdc (HDF5)"), formatGroup);
    rtdcRadio->setChecked(true);
    tsvRadio = new QRadioButton(QStringLiteral(".tsv (Tab-separated)"), formatGroup);
    aviRadio = new QRadioButton(QStringLiteral(".avi (Video)"), formatGroup);
    formatRow->addWidget(rtdcRadio);
    formatRow->addWidget(tsvRadio);
    formatRow->addWidget(aviRadio);
    formatRow->addStretch();
    layout->addWidget(formatGroup);

    aviOptionsGroup = new QGroupBox(QStringLiteral("AVI Options"), this);
    auto* aviLayout = new QVBoxLayout(aviOptionsGroup);
    auto* codecRow = new QHBoxLayout;
    mjpegRadio = new QRadioButton(QStringLiteral("MJPEG (compressed)"), aviOptionsGroup);
    mjpegRadio->setChecked(true);
    rawRadio = new QRadioButton(QStringLiteral("Raw (uncompressed)"), aviOptionsGroup);
    codecRow->addWidget(mjpegRadio);
    codecRow->addWidget(rawRadio);
    codecRow->addStretch();
    aviLayout->addLayout(codecRow);
    skipDuplicatesCheck = new QCheckBox(
        QStringLiteral("Skip duplicate frames (exclude multiple events from the same video frame)"), aviOptionsGroup);
    aviLayout->addWidget(skipDuplicatesCheck);
    reanalysisCheck = new QCheckBox(QStringLiteral("For reanalysis (prepend 100 frames of the average image)"),
                                    aviOptionsGroup);
    reanalysisCheck->setVisible(expertMode);
    aviLayout->addWidget(reanalysisCheck);
    aviOptionsGroup->setVisible(false);
    layout->addWidget(aviOptionsGroup);

    featureList = std::make_unique<ExportFeatureList>(current, entries, toCome, 250, this);
    layout->addWidget(featureList->group());

    auto* dataGroup = new QGroupBox(QStringLiteral("Non-scalar Data"), this);
    auto* dataRow = new QHBoxLayout(dataGroup);
    imagesCheck = new QCheckBox(QStringLiteral("Images"), dataGroup);
    masksCheck = new QCheckBox(QStringLiteral("Masks"), dataGroup);
    tracesCheck = new QCheckBox(QStringLiteral("Traces"), dataGroup);
    dataBoxes[0].check = imagesCheck;
    dataBoxes[1].check = masksCheck;
    dataBoxes[2].check = tracesCheck;
    for (DataBox& box : dataBoxes) {
        // Checked and enabled exactly when the current dataset has the data.
        box.wanted = box.here;
        box.check->setChecked(box.here);
        box.check->setEnabled(box.here);
        dataRow->addWidget(box.check);
        // The availability rules change the boxes with their signals blocked:
        // only the user's clicks reach the choice.
        connect(box.check, &QCheckBox::toggled, this, [&box](bool on) {
            box.wanted = on;
            box.chosen = true;
        });
    }
    dataRow->addStretch();
    layout->addWidget(dataGroup);

    auto* outputGroup = new QGroupBox(QStringLiteral("Output Directory"), this);
    auto* outputLayout = new QVBoxLayout(outputGroup);
    customDirectoryCheck = new QCheckBox(
        QStringLiteral("Export All to a Custom Directory (default: original file locations)"), outputGroup);
    outputLayout->addWidget(customDirectoryCheck);
    auto* directoryRow = new QHBoxLayout;
    const QString sourceFolder =
        current ? QFileInfo(QString::fromStdString(current->filePath)).absolutePath() : QString();
    directoryEdit = new QLineEdit(sourceFolder, outputGroup);
    directoryEdit->setEnabled(false);
    browseButton = new QPushButton(QStringLiteral("Browse..."), outputGroup);
    browseButton->setEnabled(false);
    directoryRow->addWidget(directoryEdit, 1);
    directoryRow->addWidget(browseButton);
    outputLayout->addLayout(directoryRow);
    layout->addWidget(outputGroup);

    addExportButtons(this, layout);

    connect(customDirectoryCheck, &QCheckBox::toggled, this, [this](bool on) {
        directoryEdit->setEnabled(on);
        browseButton->setEnabled(on);
    });
    connect(browseButton, &QPushButton::clicked, this, &ExportDialog::onBrowseDir);
    connect(featureList->selectAllButton(), &QPushButton::clicked, this, &ExportDialog::onSelectAll);
    connect(featureList->deselectAllButton(), &QPushButton::clicked, this, &ExportDialog::onDeselectAll);
    // The scope radios are exclusive: one of them sees every change.
    connect(scope->currentOnlyRadio, &QRadioButton::toggled, this, &ExportDialog::onScopeChanged);
    for (QRadioButton* radio : {rtdcRadio, tsvRadio, aviRadio})
        connect(radio, &QRadioButton::toggled, this, &ExportDialog::onFormatChanged);

    if (previous)
        restore(*previous);
}

ExportDialog::~ExportDialog() = default;

void ExportDialog::restore(const ExportOptions& previous)
{
    scope->restore(previous.allDatasets);
    (previous.formatAvi ? aviRadio : previous.formatTsv ? tsvRadio : rtdcRadio)->setChecked(true);
    (previous.mjpeg ? mjpegRadio : rawRadio)->setChecked(true);
    skipDuplicatesCheck->setChecked(previous.skipDuplicateFrames);
    if (!reanalysisCheck->isHidden())
        reanalysisCheck->setChecked(previous.forReanalysis);
    featureList->restoreChoices(previous.features, previous.offeredFeatures);
    const bool remembered[3] = {previous.images, previous.masks, previous.traces};
    for (int kind = 0; kind < 3; ++kind) {
        dataBoxes[kind].wanted = remembered[kind];
        dataBoxes[kind].chosen = true;
    }
    customDirectoryCheck->setChecked(previous.useCustomDirectory);
    if (!previous.outputDirectory.empty())
        directoryEdit->setText(QString::fromStdString(previous.outputDirectory));
    updateAvailability();
}

ExportOptions ExportDialog::exportOptions() const
{
    ExportOptions options;
    options.features = featureList->checkedFeatures();
    // The choice, not what the format or the data forces on the boxes: the
    // options are remembered for the next export.
    options.images = dataBoxes[0].choice();
    options.masks = dataBoxes[1].choice();
    options.traces = dataBoxes[2].choice();
    options.formatTsv = tsvRadio->isChecked();
    options.formatAvi = aviRadio->isChecked();
    options.mjpeg = mjpegRadio->isChecked();
    options.skipDuplicateFrames = skipDuplicatesCheck->isChecked();
    options.forReanalysis = reanalysisCheck->isChecked();
    options.useCustomDirectory = customDirectoryCheck->isChecked();
    options.outputDirectory = directoryEdit->text().toStdString();
    options.allDatasets = scope->allDatasets();
    options.offeredFeatures = featureList->offeredFeatures();
    return options;
}

void ExportDialog::onBrowseDir()
{
    const QString folder = QFileDialog::getExistingDirectory(this, QStringLiteral("Select Output Directory"),
                                                             directoryEdit->text(), QFileDialog::ShowDirsOnly);
    if (!folder.isEmpty())
        directoryEdit->setText(folder);
}

void ExportDialog::onSelectAll()
{
    featureList->checkVisible();
}

void ExportDialog::onDeselectAll()
{
    featureList->uncheckAll();
}

void ExportDialog::onScopeChanged()
{
    updateAvailability();
}

void ExportDialog::onFormatChanged()
{
    updateAvailability();
}

void ExportDialog::updateAvailability()
{
    const bool all = scope->allDatasets();
    const bool tsv = tsvRadio->isChecked();
    const bool avi = aviRadio->isChecked();

    aviOptionsGroup->setVisible(avi);
    // The explicit minimum width keeps the layout from widening a dialog on
    // screen, so the AVI options would be cut off at its right edge.
    if (avi && isVisible())
        resize(std::max(width(), sizeHint().width()), height());
    featureList->setBoxesEnabled(!avi);
    if (!avi)
        featureList->showOtherDatasetFeatures(all);

    for (const DataBox& box : dataBoxes) {
        const QSignalBlocker blocker(box.check);
        if (tsv || avi) {
            box.check->setEnabled(false);
            box.check->setChecked(false);
            box.check->setToolTip(avi ? QStringLiteral("Only images are exported in AVI format")
                                      : QStringLiteral("Not available in TSV format"));
        } else {
            // The choice holds where the data exists; a box without data is off.
            const bool exists = all ? box.anywhere : box.here;
            box.check->setEnabled(exists);
            box.check->setChecked(exists && box.wanted);
            markOnlyInOtherDatasets(box.check, all && box.anywhere && !box.here);
        }
    }
    if (avi) {
        const QSignalBlocker blocker(imagesCheck);
        imagesCheck->setChecked(true);
        imagesCheck->setEnabled(false);
        imagesCheck->setToolTip(QStringLiteral("Images are always included in AVI export"));
    }
}

bool ExportDialog::DataBox::choice() const
{
    return (chosen || check->isEnabled()) ? wanted : true;
}

QRadioButton* ExportDialog::currentOnlyRadio() const
{
    return scope->currentOnlyRadio;
}

QRadioButton* ExportDialog::allDatasetsRadio() const
{
    return scope->allDatasetsRadio;
}

const std::vector<QCheckBox*>& ExportDialog::featureChecks() const
{
    return featureList->boxes();
}

} // namespace Tessary
