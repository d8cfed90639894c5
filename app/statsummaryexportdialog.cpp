#include "app/statsummaryexportdialog.h"

#include "app/datasetentry.h"
#include "app/exportfeaturelist.h"

#include <QCheckBox>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFileInfo>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace Tessary {

StatSummaryExportDialog::StatSummaryExportDialog(const DatasetEntry* current,
                                                 const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                                                 QWidget* parent, const StatSummaryOptions* previous,
                                                 const ColumnsToCome& toCome)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Export Statistical Summary"));
    setMinimumWidth(450);
    auto* layout = new QVBoxLayout(this);

    scope = std::make_unique<ExportScopeGroup>(int(entries.size()), this);
    layout->addWidget(scope->group);
    featureList = std::make_unique<ExportFeatureList>(current, entries, toCome, 200, this);
    layout->addWidget(featureList->group());

    auto* statsGroup = new QGroupBox(QStringLiteral("Statistics"), this);
    auto* statsLayout = new QVBoxLayout(statsGroup);
    QHBoxLayout* row = nullptr;
    const auto newRow = [&] {
        if (row)
            row->addStretch();
        row = new QHBoxLayout;
        statsLayout->addLayout(row);
    };
    const auto addCheck = [&](const char* text, bool checked) {
        auto* check = new QCheckBox(QString::fromUtf8(text), statsGroup);
        check->setChecked(checked);
        row->addWidget(check);
        return check;
    };
    newRow();
    nCheck = addCheck("N", true);
    newRow();
    medianCheck = addCheck("Median", true);
    iqrCheck = addCheck("IQR", true);
    newRow();
    q1Check = addCheck("Q1 (25th)", false);
    q3Check = addCheck("Q3 (75th)", false);
    percentileCheck = addCheck("Percentile:", false);
    percentileSpin = new QDoubleSpinBox(statsGroup);
    percentileSpin->setRange(0.0, 100.0);
    percentileSpin->setDecimals(1);
    percentileSpin->setValue(95.0);
    percentileSpin->setSuffix(QStringLiteral("%"));
    percentileSpin->setMaximumWidth(90);
    percentileSpin->setEnabled(false);
    row->addWidget(percentileSpin);
    newRow();
    meanCheck = addCheck("Mean", false);
    sdCheck = addCheck("SD", false);
    semCheck = addCheck("SEM", false);
    cvCheck = addCheck("CV (%)", false);
    newRow();
    minCheck = addCheck("Min", false);
    maxCheck = addCheck("Max", false);
    skewnessCheck = addCheck("Skewness", false);
    row->addStretch();
    layout->addWidget(statsGroup);

    auto* outputGroup = new QGroupBox(QStringLiteral("Output File"), this);
    auto* outputRow = new QHBoxLayout(outputGroup);
    const QString folder = current ? QFileInfo(QString::fromStdString(current->filePath)).absolutePath() : QString();
    outputEdit = new QLineEdit(folder + QStringLiteral("/statistical_summary.tsv"), outputGroup);
    browseButton = new QPushButton(QStringLiteral("Browse..."), outputGroup);
    outputRow->addWidget(outputEdit, 1);
    outputRow->addWidget(browseButton);
    layout->addWidget(outputGroup);

    addExportButtons(this, layout);

    connect(percentileCheck, &QCheckBox::toggled, percentileSpin, &QWidget::setEnabled);
    connect(browseButton, &QPushButton::clicked, this, &StatSummaryExportDialog::onBrowse);
    connect(featureList->selectAllButton(), &QPushButton::clicked, this, &StatSummaryExportDialog::onSelectAll);
    connect(featureList->deselectAllButton(), &QPushButton::clicked, this, &StatSummaryExportDialog::onDeselectAll);
    connect(scope->currentOnlyRadio, &QRadioButton::toggled, this, &StatSummaryExportDialog::onScopeChanged);

    if (previous)
        restore(*previous);
}

StatSummaryExportDialog::~StatSummaryExportDialog() = default;

void StatSummaryExportDialog::restore(const StatSummaryOptions& previous)
{
    scope->restore(previous.allDatasets);
    featureList->restoreChoices(previous.features, previous.offeredFeatures);
    const std::pair<QCheckBox*, bool> flags[] = {
        {nCheck, previous.statN},       {medianCheck, previous.statMedian}, {iqrCheck, previous.statIqr},
        {meanCheck, previous.statMean}, {sdCheck, previous.statSd},         {semCheck, previous.statSem},
        {q1Check, previous.statQ1},     {q3Check, previous.statQ3},         {minCheck, previous.statMin},
        {maxCheck, previous.statMax},   {cvCheck, previous.statCv},         {skewnessCheck, previous.statSkewness},
        {percentileCheck, previous.statPercentile}};
    for (const auto& [check, on] : flags)
        check->setChecked(on);
    percentileSpin->setValue(previous.percentile);
    if (!previous.outputPath.empty())
        outputEdit->setText(QString::fromStdString(previous.outputPath));
    onScopeChanged();
}

StatSummaryOptions StatSummaryExportDialog::exportOptions() const
{
    StatSummaryOptions options;
    options.features = featureList->checkedFeatures();
    options.allDatasets = scope->allDatasets();
    options.outputPath = outputEdit->text().toStdString();
    options.statN = nCheck->isChecked();
    options.statMedian = medianCheck->isChecked();
    options.statIqr = iqrCheck->isChecked();
    options.statMean = meanCheck->isChecked();
    options.statSd = sdCheck->isChecked();
    options.statSem = semCheck->isChecked();
    options.statQ1 = q1Check->isChecked();
    options.statQ3 = q3Check->isChecked();
    options.statMin = minCheck->isChecked();
    options.statMax = maxCheck->isChecked();
    options.statCv = cvCheck->isChecked();
    options.statSkewness = skewnessCheck->isChecked();
    options.statPercentile = percentileCheck->isChecked();
    options.percentile = percentileSpin->value();
    options.offeredFeatures = featureList->offeredFeatures();
    return options;
}

void StatSummaryExportDialog::onBrowse()
{
    const QString path = QFileDialog::getSaveFileName(this, QStringLiteral("Save Statistical Summary"),
                                                      outputEdit->text(),
                                                      QStringLiteral("TSV files (*.tsv);;All files (*)"));
    if (!path.isEmpty())
        outputEdit->setText(path);
}

void StatSummaryExportDialog::onSelectAll()
{
    featureList->checkVisible();
}

void StatSummaryExportDialog::onDeselectAll()
{
    featureList->uncheckAll();
}

void StatSummaryExportDialog::onScopeChanged()
{
    featureList->showOtherDatasetFeatures(scope->allDatasets());
}

const std::vector<QCheckBox*>& StatSummaryExportDialog::featureChecks() const
{
    return featureList->boxes();
}

void StatSummaryExportDialog::setAllDatasets(bool all)
{
    (all ? scope->allDatasetsRadio : scope->currentOnlyRadio)->setChecked(true);
}

} // namespace Tessary
