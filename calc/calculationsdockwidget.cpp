#include "calc/calculationsdockwidget.h"

#include "app/datasetentry.h"
#include "rtdc/metadatanumber.h"
#include "rtdc/rtdcreader.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QVBoxLayout>

#include <cmath>
#include <set>

namespace Tessary {

namespace {

QDoubleSpinBox* makeDoubleSpin(double min, double max, double value, int decimals, const QString& suffix)
{
    auto* spin = new QDoubleSpinBox;
    spin->setRange(min, max);
    spin->setDecimals(decimals);
    spin->setValue(value);
    spin->setSuffix(suffix);
    return spin;
}

QSpinBox* makeSpin(int min, int max, int value)
{
    auto* spin = new QSpinBox;
    spin->setRange(min, max);
    spin->setValue(value);
    return spin;
}

} // namespace

CalculationsDockWidget::CalculationsDockWidget(QWidget* parent)
    : QWidget(parent)
{
    auto* content = new QWidget;
    auto* column = new QVBoxLayout(content);
    column->setContentsMargins(6, 6, 6, 6);
    column->setSpacing(8);
    column->addWidget(emodGroup = buildEmodulusSection());
    column->addWidget(ctcGroup = buildCrosstalkSection());
    column->addWidget(refineGroup = buildRefinementSection());
    column->addWidget(fourierGroup = buildFourierSection());
    column->addWidget(imageGroup = buildImageFeaturesSection());
    column->addWidget(dimRedGroup = buildDimReductionSection());
    column->addStretch(1);

    auto* scroll = new QScrollArea;
    scroll->setWidgetResizable(true);
    scroll->setFrameShape(QFrame::NoFrame);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);   // the sections follow the dock's width
    scroll->setWidget(content);

    progressBar = new QProgressBar;
    progressBar->setRange(0, 100);
    progressBar->setValue(0);

    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 4);
    outer->addWidget(scroll, 1);
    outer->addWidget(progressBar);

    setActiveDataset(nullptr);
}

QGroupBox* CalculationsDockWidget::buildEmodulusSection()
{
    auto* box = new QGroupBox(QStringLiteral("Young's Modulus"));
    auto* form = new QFormLayout(box);
    lutCombo = new QComboBox;
    lutCombo->addItem(QStringLiteral("LUT_LE_2D_FEM.txt"));
    viscModelCombo = new QComboBox;
    viscModelCombo->addItem(QStringLiteral("Herold-2017"));
    mediumCombo = new QComboBox;
    mediumCombo->addItems({QStringLiteral("Other (manual viscosity)"), QStringLiteral("LumevaB")});
    mediumCombo->setCurrentIndex(1);
    tempSourceCombo = new QComboBox;
    tempSourceCombo->addItems({QStringLiteral("Manual"), QStringLiteral("Per event"), QStringLiteral("From metadata")});
    tempSourceCombo->setCurrentIndex(2);
    temperatureSpin = makeDoubleSpin(0.0, 60.0, 23.0, 1, QStringLiteral(" °C"));
    manualViscositySpin = makeDoubleSpin(0.0, 1000.0, 0.0, 3, QStringLiteral(" mPa·s"));
    channelWidthSpin = makeDoubleSpin(1.0, 1000.0, 20.0, 1, QStringLiteral(" µm"));
    flowRateSpin = makeDoubleSpin(0.0, 100.0, 0.04, 4, QStringLiteral(" µL/s"));
    pixelSizeSpin = makeDoubleSpin(0.01, 10.0, 0.34, 3, QStringLiteral(" µm"));
    deformFeatureCombo = new QComboBox;
    deformFeatureCombo->addItem(QStringLiteral("deform"));
    deformFeatureLabel = new QLabel(QStringLiteral("Deformation"));
    pixelationCheck = new QCheckBox(QStringLiteral("Pixelation correction"));
    pixelationCheck->setChecked(true);
    emodulusButton = new QPushButton(QStringLiteral("Compute Young's Modulus"));
    assessQualityButton = new QPushButton(QStringLiteral("Assess Quality"));

    form->addRow(QStringLiteral("Look-up table"), lutCombo);
    form->addRow(QStringLiteral("Viscosity model"), viscModelCombo);
    form->addRow(QStringLiteral("Medium"), mediumCombo);
    form->addRow(QStringLiteral("Temperature from"), tempSourceCombo);
    form->addRow(QStringLiteral("Temperature"), temperatureSpin);
    form->addRow(QStringLiteral("Viscosity"), manualViscositySpin);
    form->addRow(QStringLiteral("Channel width"), channelWidthSpin);
    form->addRow(QStringLiteral("Flow rate"), flowRateSpin);
    form->addRow(QStringLiteral("Pixel size"), pixelSizeSpin);
    form->addRow(deformFeatureLabel, deformFeatureCombo);
    form->addRow(pixelationCheck);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(emodulusButton);
    buttons->addWidget(assessQualityButton);
    form->addRow(buttons);

    const auto syncManual = [this] {
        manualViscositySpin->setEnabled(mediumCombo->currentIndex() == 0);
        temperatureSpin->setEnabled(tempSourceCombo->currentIndex() == 0);
    };
    connect(mediumCombo, &QComboBox::currentIndexChanged, this, syncManual);
    connect(tempSourceCombo, &QComboBox::currentIndexChanged, this, syncManual);
    syncManual();
    connect(emodulusButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeEmodulus);
    connect(assessQualityButton, &QPushButton::clicked, this, &CalculationsDockWidget::assessEmodQuality);
    return box;
}

QGroupBox* CalculationsDockWidget::buildCrosstalkSection()
{
    auto* box = new QGroupBox(QStringLiteral("Crosstalk Compensation"));
    auto* layout = new QVBoxLayout(box);
    auto* hint = new QLabel(QStringLiteral("Spillover: row = detecting channel, column = dye of channel."));
    hint->setWordWrap(true);
    hint->setStyleSheet(QStringLiteral("font-weight: 400; color: #60646c;"));
    crosstalkTable = new QTableWidget(0, 0);
    crosstalkTable->setMinimumHeight(90);
    crosstalkTable->horizontalHeader()->setSectionResizeMode(QHeaderView::Stretch);
    compensateButton = new QPushButton(QStringLiteral("Compensate Crosstalk"));
    layout->addWidget(hint);
    layout->addWidget(crosstalkTable);
    layout->addWidget(compensateButton);
    connect(compensateButton, &QPushButton::clicked, this, &CalculationsDockWidget::compensateCrosstalk);
    return box;
}

QGroupBox* CalculationsDockWidget::buildRefinementSection()
{
    auto* box = new QGroupBox(QStringLiteral("Fluorescence Refinement"));
    auto* grid = new QFormLayout(box);
    const auto row = [grid](QCheckBox* check, QWidget* a, QWidget* b = nullptr) {
        auto* h = new QHBoxLayout;
        h->addWidget(a);
        if (b)
            h->addWidget(b);
        grid->addRow(check, h);
    };
    hampel1Check = new QCheckBox(QStringLiteral("Hampel 1"));
    hampel1Check->setChecked(true);
    hampel1WindowSpin = makeSpin(1, 100, 5);
    hampel1ThresholdSpin = makeDoubleSpin(0.1, 20.0, 3.0, 1, QString());
    row(hampel1Check, hampel1WindowSpin, hampel1ThresholdSpin);
    hampel2Check = new QCheckBox(QStringLiteral("Hampel 2"));
    hampel2Check->setChecked(true);
    hampel2WindowSpin = makeSpin(1, 100, 11);
    hampel2ThresholdSpin = makeDoubleSpin(0.1, 20.0, 3.0, 1, QString());
    row(hampel2Check, hampel2WindowSpin, hampel2ThresholdSpin);
    medianCheck = new QCheckBox(QStringLiteral("Moving median"));
    medianWindowSpin = makeSpin(1, 100, 3);
    row(medianCheck, medianWindowSpin);
    rollingAvgCheck = new QCheckBox(QStringLiteral("Rolling average"));
    rollingAvgWindowSpin = makeSpin(1, 100, 3);
    row(rollingAvgCheck, rollingAvgWindowSpin);
    savgolCheck = new QCheckBox(QStringLiteral("Savitzky-Golay"));
    savgolCheck->setChecked(true);
    savgolWindowSpin = makeSpin(1, 100, 3);
    row(savgolCheck, savgolWindowSpin);
    peakThresholdSpin = makeDoubleSpin(0.0, 1e6, 400.0, 1, QString());
    grid->addRow(QStringLiteral("Peak threshold"), peakThresholdSpin);
    showRefinedTraceCheck = new QCheckBox(QStringLiteral("Show Refined Trace"));
    showRefinedTraceCheck->setChecked(true);
    grid->addRow(showRefinedTraceCheck);
    refineButton = new QPushButton(QStringLiteral("Refine Fluorescence"));
    grid->addRow(refineButton);
    connect(refineButton, &QPushButton::clicked, this, &CalculationsDockWidget::refineFluorescence);
    connect(showRefinedTraceCheck, &QCheckBox::toggled, this, &CalculationsDockWidget::traceDisplayChanged);
    return box;
}

QGroupBox* CalculationsDockWidget::buildFourierSection()
{
    auto* box = new QGroupBox(QStringLiteral("Fourier Deformation"));
    auto* layout = new QVBoxLayout(box);
    fourierButton = new QPushButton(QStringLiteral("Compute Fourier Deformation"));
    layout->addWidget(fourierButton);
    connect(fourierButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeFourierDeform);
    return box;
}

QGroupBox* CalculationsDockWidget::buildImageFeaturesSection()
{
    auto* box = new QGroupBox(QStringLiteral("Image Features"));
    auto* layout = new QVBoxLayout(box);
    imageFeaturesButton = new QPushButton(QStringLiteral("Compute Image Features"));
    layout->addWidget(imageFeaturesButton);
    connect(imageFeaturesButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeImageFeatures);
    return box;
}

QGroupBox* CalculationsDockWidget::buildDimReductionSection()
{
    auto* box = new QGroupBox(QStringLiteral("Dimension Reduction"));
    auto* layout = new QVBoxLayout(box);
    featureList = new QListWidget;
    featureList->setMinimumHeight(100);
    dimRedButton = new QPushButton(QStringLiteral("Compute Dimension Reduction"));
    saveReferenceButton = new QPushButton(QStringLiteral("Save Reference..."));
    loadReferenceButton = new QPushButton(QStringLiteral("Load Reference..."));
    layout->addWidget(featureList);
    layout->addWidget(dimRedButton);
    auto* row = new QHBoxLayout;
    row->addWidget(saveReferenceButton);
    row->addWidget(loadReferenceButton);
    layout->addLayout(row);
    connect(dimRedButton, &QPushButton::clicked, this, &CalculationsDockWidget::computeDimReduction);
    connect(saveReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::saveDimRedReference);
    connect(loadReferenceButton, &QPushButton::clicked, this, &CalculationsDockWidget::loadDimRedReference);
    return box;
}

void CalculationsDockWidget::setExtraSectionsVisible(bool visible)
{
    extraVisible = visible;
    refineGroup->setVisible(visible);
    fourierGroup->setVisible(visible);
    imageGroup->setVisible(visible);
    dimRedGroup->setVisible(visible);
    deformFeatureLabel->setVisible(visible);
    deformFeatureCombo->setVisible(visible);
    if (!visible) {
        const QSignalBlocker block(deformFeatureCombo);
        deformFeatureCombo->setCurrentIndex(0);   // "deform"
    }
}

void CalculationsDockWidget::setActiveDataset(DatasetEntry* entry)
{
    activeEntry = entry;
    updateFeatureList(entry);
    if (!entry) {
        setupCrosstalkTable({});   // no dataset, no matrix
        setRefineEnabled(false);
        setCompensateEnabled(false);
        setEmodulusEnabled(false);
        setAssessQualityEnabled(false);
        setFourierDeformEnabled(false);
        setImageFeaturesEnabled(false);
    }
    dimRedButton->setEnabled(entry != nullptr);
    saveReferenceButton->setEnabled(entry != nullptr);
    loadReferenceButton->setEnabled(entry != nullptr);
}

void CalculationsDockWidget::setRefineEnabled(bool enabled) { refineButton->setEnabled(enabled); }
void CalculationsDockWidget::setCompensateEnabled(bool enabled) { compensateButton->setEnabled(enabled); }
void CalculationsDockWidget::setEmodulusEnabled(bool enabled) { emodulusButton->setEnabled(enabled); }
void CalculationsDockWidget::setAssessQualityEnabled(bool enabled) { assessQualityButton->setEnabled(enabled); }
void CalculationsDockWidget::setFourierDeformEnabled(bool enabled) { fourierButton->setEnabled(enabled); }
void CalculationsDockWidget::setImageFeaturesEnabled(bool enabled) { imageFeaturesButton->setEnabled(enabled); }

void CalculationsDockWidget::setupCrosstalkTable(const std::vector<int>& channels)
{
    tableChannels = channels;
    const int n = int(channels.size());
    crosstalkTable->clear();
    crosstalkTable->setRowCount(n);
    crosstalkTable->setColumnCount(n);
    QStringList labels;
    for (int c : channels)
        labels << QStringLiteral("FL%1").arg(c);
    crosstalkTable->setHorizontalHeaderLabels(labels);
    crosstalkTable->setVerticalHeaderLabels(labels);
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            auto* item = new QTableWidgetItem(i == j ? QStringLiteral("1") : QStringLiteral("0"));
            item->setTextAlignment(Qt::AlignCenter);
            if (i == j)
                item->setFlags(item->flags() & ~Qt::ItemIsEditable);   // a channel sees all of its own light
            crosstalkTable->setItem(i, j, item);
        }
}

void CalculationsDockWidget::setCrosstalkMatrix(const SpilloverMatrix& spillover, const std::vector<int>& channels)
{
    if (channels != tableChannels)
        setupCrosstalkTable(channels);
    const size_t n = channels.size();
    if (spillover.rows() != n || spillover.cols() != n)
        return;
    for (size_t i = 0; i < n; ++i)
        for (size_t j = 0; j < n; ++j)
            crosstalkTable->item(int(i), int(j))->setText(QString::number(spillover(i, j), 'g', 6));
}

std::optional<SpilloverMatrix> CalculationsDockWidget::crosstalkMatrix(QString* invalidCell) const
{
    const int n = crosstalkTable->rowCount();
    SpilloverMatrix m{size_t(n), size_t(n)};
    for (int i = 0; i < n; ++i)
        for (int j = 0; j < n; ++j) {
            // A decimal comma is taken as typed; "15%" or "0.08x" is not guessed at.
            bool ok = false;
            const QTableWidgetItem* item = crosstalkTable->item(i, j);
            const double v = item ? item->text().trimmed().replace(',', '.').toDouble(&ok) : 0.0;
            if (!ok || !std::isfinite(v)) {
                if (invalidCell)
                    *invalidCell = QStringLiteral("in row FL%1, column FL%2 (\"%3\")")
                                       .arg(tableChannels[size_t(i)])
                                       .arg(tableChannels[size_t(j)])
                                       .arg(item ? item->text() : QString());
                return std::nullopt;
            }
            m(i, j) = v;
        }
    return m;
}

void CalculationsDockWidget::resetProgress()
{
    progressBar->setFormat(QStringLiteral("%p%"));
    progressBar->setValue(0);
}

EModulusParams CalculationsDockWidget::emodulusParamsFromMetadata(const RTDCMetadata& metadata, bool hasPerEventTemperature) const
{
    EModulusParams p = emodulusParams();
    p.channelWidth = metadataNumber(metadata.setup, "channel width").value_or(20.0);
    p.flowRate = metadataNumber(metadata.setup, "flow rate").value_or(0.04);
    p.pixelSize = metadataNumber(metadata.imaging, "pixel size").value_or(0.34);
    const std::optional<double> measuredTemperature = metadataNumber(metadata.setup, "temperature");
    p.temperature = measuredTemperature.value_or(23.0);
    if (hasPerEventTemperature)
        p.tempSource = 1;
    else if (measuredTemperature)
        p.tempSource = 2;
    const auto medium = metadata.setup.find("medium");
    if (medium != metadata.setup.end())
        p.medium = QString::fromStdString(medium->second).compare(QStringLiteral("LumevaB"), Qt::CaseInsensitive) == 0 ? 1 : 0;
    return p;
}

void CalculationsDockWidget::showDatasetParameters(const RTDCMetadata& metadata, bool hasPerEventTemperature)
{
    const EModulusParams p = emodulusParamsFromMetadata(metadata, hasPerEventTemperature);
    const QSignalBlocker b1(channelWidthSpin), b2(flowRateSpin), b3(pixelSizeSpin), b4(temperatureSpin),
        b5(mediumCombo), b6(tempSourceCombo);
    channelWidthSpin->setValue(p.channelWidth);
    flowRateSpin->setValue(p.flowRate);
    pixelSizeSpin->setValue(p.pixelSize);
    temperatureSpin->setValue(p.temperature);
    mediumCombo->setCurrentIndex(p.medium == 1 ? 1 : 0);
    tempSourceCombo->setCurrentIndex(p.tempSource);
    manualViscositySpin->setEnabled(mediumCombo->currentIndex() == 0);
    temperatureSpin->setEnabled(tempSourceCombo->currentIndex() == 0);
}

EModulusParams CalculationsDockWidget::emodulusParams() const
{
    EModulusParams p;
    p.lutModel = lutCombo->currentIndex();
    p.viscModel = viscModelCombo->currentIndex();
    p.medium = mediumCombo->currentIndex();
    p.temperature = temperatureSpin->value();
    p.tempSource = tempSourceCombo->currentIndex();
    p.manualViscosity = manualViscositySpin->value();
    p.channelWidth = channelWidthSpin->value();
    p.flowRate = flowRateSpin->value();
    p.pixelSize = pixelSizeSpin->value();
    p.deformFeature = deformFeatureCombo->currentText().toStdString();
    p.applyPixelationCorrection = pixelationCheck->isChecked();
    return p;
}

RefinementSettings CalculationsDockWidget::refinementSettings() const
{
    RefinementSettings s;
    s.hampel1Enabled = hampel1Check->isChecked();
    s.hampel1Window = hampel1WindowSpin->value();
    s.hampel1Threshold = hampel1ThresholdSpin->value();
    s.hampel2Enabled = hampel2Check->isChecked();
    s.hampel2Window = hampel2WindowSpin->value();
    s.hampel2Threshold = hampel2ThresholdSpin->value();
    s.medianEnabled = medianCheck->isChecked();
    s.medianWindow = medianWindowSpin->value();
    s.rollingAverageEnabled = rollingAvgCheck->isChecked();
    s.rollingAverageWindow = rollingAvgWindowSpin->value();
    s.savitzkyGolayEnabled = savgolCheck->isChecked();
    s.savitzkyGolayWindow = savgolWindowSpin->value();
    s.peakThreshold = peakThresholdSpin->value();
    return s;
}

void CalculationsDockWidget::updateFeatureList(DatasetEntry* entry)
{
    std::set<QString> checked;
    for (int i = 0; i < featureList->count(); ++i)
        if (featureList->item(i)->checkState() == Qt::Checked)
            checked.insert(featureList->item(i)->data(Qt::UserRole).toString());
    const QSignalBlocker block(featureList);
    featureList->clear();
    if (!entry || !entry->reader)
        return;
    for (const std::string& name : entry->reader->features()) {
        if (!RTDCReader::isScalarFeatureName(name))
            continue;
        const QString key = QString::fromStdString(name);
        auto* item = new QListWidgetItem(QString::fromStdString(entry->reader->featureLabel(name)), featureList);
        item->setData(Qt::UserRole, key);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(checked.count(key) ? Qt::Checked : Qt::Unchecked);
    }
}

std::vector<std::string> CalculationsDockWidget::checkedFeatures() const
{
    std::vector<std::string> names;
    for (int i = 0; i < featureList->count(); ++i)
        if (featureList->item(i)->checkState() == Qt::Checked)
            names.push_back(featureList->item(i)->data(Qt::UserRole).toString().toStdString());
    return names;
}

void CalculationsDockWidget::setDeformationSources(bool hasFourier, bool hasOdd)
{
    const QString current = deformFeatureCombo->currentText();
    const QSignalBlocker block(deformFeatureCombo);
    deformFeatureCombo->clear();
    deformFeatureCombo->addItem(QStringLiteral("deform"));
    if (hasFourier)
        deformFeatureCombo->addItem(QStringLiteral("deform_fc"));
    if (hasOdd)
        deformFeatureCombo->addItem(QStringLiteral("deform_odd"));
    const int keep = extraVisible ? deformFeatureCombo->findText(current) : 0;
    deformFeatureCombo->setCurrentIndex(keep < 0 ? 0 : keep);
}

bool CalculationsDockWidget::showRefinedTrace() const
{
    return showRefinedTraceCheck->isChecked();
}

} // namespace Tessary
