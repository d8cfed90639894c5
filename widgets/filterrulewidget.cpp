#include "widgets/filterrulewidget.h"

#include "rtdc/rtdcreader.h"
#include "widgets/boundspinbox.h"
#include "widgets/flowlayout.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <utility>

namespace Tessary {

namespace {
const QString unavailableSuffix = QStringLiteral(" (n/a)");

using FiniteRange = std::pair<double, double>;   // lo > hi: no finite value
// The ranges kept while a RangeReuse lives, by reader and feature; null otherwise.
std::map<std::pair<const RTDCReader*, std::string>, FiniteRange>* reusedRanges = nullptr;

FiniteRange finiteRange(RTDCReader& reader, const std::string& name)
{
    if (reusedRanges) {
        const auto it = reusedRanges->find({&reader, name});
        if (it != reusedRanges->end())
            return it->second;
    }
    double lo = std::numeric_limits<double>::infinity();
    double hi = -std::numeric_limits<double>::infinity();
    for (double v : reader.readFeature(name)) {
        if (!std::isfinite(v))
            continue;
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    if (reusedRanges)
        reusedRanges->emplace(std::make_pair(&reader, name), FiniteRange{lo, hi});
    return {lo, hi};
}

QDoubleSpinBox* makeBoundSpin(QWidget* parent, const QString& tooltip)
{
    auto* spin = new BoundSpinBox(parent);
    spin->setRange(-1e15, 1e15);
    spin->setToolTip(tooltip);
    // Each committed value recomputes the plot; typing a number digit by digit
    // must not.
    spin->setKeyboardTracking(false);
    return spin;
}
} // namespace

FilterRuleWidget::FilterRuleWidget(const std::vector<std::string>& features_,
                                   RTDCReader* reader_, QWidget* parent)
    : QWidget(parent), reader(reader_), features(features_)
{
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);

    enabledCheck = new QCheckBox(this);
    enabledCheck->setChecked(true);
    featureCombo = new QComboBox(this);
    featureCombo->setMinimumWidth(140);
    removeButton = makeDeleteButton(this);
    auto* topRow = new QHBoxLayout;
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->addWidget(enabledCheck);
    topRow->addWidget(featureCombo, 1);
    topRow->addWidget(removeButton);
    layout->addLayout(topRow);

    minSpin = makeBoundSpin(this, "Minimum value (inclusive)");
    maxSpin = makeBoundSpin(this, "Maximum value (inclusive)");
    auto* dash = new QLabel(QStringLiteral("\u2013"), this);
    dash->setAlignment(Qt::AlignCenter);
    invertCheck = new QCheckBox("Invert", this);
    invertCheck->setToolTip("Invert this rule (pass events that do NOT match)");
    auto* toMax = new QHBoxLayout;
    toMax->setSpacing(4);
    toMax->addWidget(dash);
    toMax->addWidget(maxSpin);
    // Where the dock is too narrow, the maximum goes below the minimum and
    // "Invert" below the bounds, so every value shows whole.
    auto* bounds = new FlowLayout;
    bounds->setExpandsSideways(false);
    bounds->setSpacing(4);
    bounds->addWidget(minSpin);
    bounds->addLayout(toMax);
    auto* boundsRow = new FlowLayout;
    boundsRow->setContentsMargins(20, 0, 0, 0);
    boundsRow->setSpacing(12);
    boundsRow->addLayout(bounds);
    boundsRow->addWidget(invertCheck);
    layout->addLayout(boundsRow);

    layout->addLayout(allButtons.create(this));
    applyAllButton = allButtons.applyAllButton;
    updateAllButton = allButtons.updateAllButton;
    checkAllButton = allButtons.checkAllButton;
    deleteAllButton = allButtons.deleteAllButton;

    // Installed once filled: a layout set on a widget first posts it a layout
    // request, and Qt compares each request with every pending event, which
    // for thousands of rows built at once costs rows x rows.
    setLayout(layout);

    fillCombo();
    if (featureCombo->count() > 0)
        applyFeatureRange();

    connect(featureCombo, &QComboBox::currentIndexChanged, this, &FilterRuleWidget::onFeatureChanged);
    connect(minSpin, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        minValue = value;
        emit ruleChanged();
    });
    connect(maxSpin, &QDoubleSpinBox::valueChanged, this, [this](double value) {
        maxValue = value;
        emit ruleChanged();
    });
    connect(enabledCheck, &QCheckBox::toggled, this, &FilterRuleWidget::ruleChanged);
    connect(invertCheck, &QCheckBox::toggled, this, &FilterRuleWidget::ruleChanged);
    connect(removeButton, &QPushButton::clicked, this, &FilterRuleWidget::removeRequested);
    connect(applyAllButton, &QPushButton::clicked, this, &FilterRuleWidget::applyRuleToAllRequested);
    connect(updateAllButton, &QPushButton::clicked, this, &FilterRuleWidget::updateRuleToAllRequested);
    connect(checkAllButton, &QPushButton::clicked, this, &FilterRuleWidget::onUncheckCheckClicked);
    connect(deleteAllButton, &QPushButton::clicked, this, &FilterRuleWidget::deleteRuleFromAllRequested);
    connect(enabledCheck, &QCheckBox::toggled, this, &FilterRuleWidget::updateAllDatasetButtons);
}

FilterRuleWidget::RangeReuse::RangeReuse() : outermost(reusedRanges == nullptr)
{
    if (outermost)
        reusedRanges = new std::map<std::pair<const RTDCReader*, std::string>, FiniteRange>;
}

FilterRuleWidget::RangeReuse::~RangeReuse()
{
    if (outermost) {
        delete reusedRanges;
        reusedRanges = nullptr;
    }
}

FilterRule FilterRuleWidget::rule() const
{
    FilterRule result;
    result.type = 0;
    // Until the user picks a listed feature, the rule keeps its own.
    result.featureName =
        featureUnavailable ? unavailableFeature : featureCombo->currentData().toString().toStdString();
    result.minValue = minValue;
    result.maxValue = maxValue;
    result.enabled = inGroup || enabledCheck->isChecked();
    result.inverted = invertCheck->isChecked();
    result.propagationId = propagationId;
    return result;
}

void FilterRuleWidget::setRule(const FilterRule& rule)
{
    {
        const QSignalBlocker blockEnabled(enabledCheck);
        const QSignalBlocker blockInvert(invertCheck);
        const QSignalBlocker blockCombo(featureCombo);
        const QSignalBlocker blockMin(minSpin);
        const QSignalBlocker blockMax(maxSpin);

        enabledCheck->setChecked(rule.enabled);
        invertCheck->setChecked(rule.inverted);

        const QString name = QString::fromStdString(rule.featureName);
        const int index = featureCombo->findData(name);
        if (index >= 0) {
            featureCombo->setCurrentIndex(index);
            // Leaves an "(n/a)" item behind when one was selected before, and
            // sets decimals and step for this feature's range.
            applyFeatureRange();
            featureUnavailable = false;
            unavailableFeature.clear();
        } else {
            if (!name.isEmpty()) {
                featureCombo->addItem(name + unavailableSuffix, name);
                featureCombo->setCurrentIndex(featureCombo->count() - 1);
            } else {
                featureCombo->setCurrentIndex(-1);   // a rule without a feature shows none
            }
            featureUnavailable = true;
            unavailableFeature = rule.featureName;
        }

        // The rule's own bounds win over the data range, exactly as given.
        minValue = rule.minValue;
        maxValue = rule.maxValue;
        showBounds();
    }
    propagationId = rule.propagationId;
    updateAllDatasetButtons();
    setBoundsEnabled();
    emit ruleChanged();
}

void FilterRuleWidget::setFeatures(const std::vector<std::string>& list)
{
    if (list == features)
        return;
    features = list;
    const QString current = featureUnavailable ? QString::fromStdString(unavailableFeature)
                                               : featureCombo->currentData().toString();
    {
        const QSignalBlocker blockCombo(featureCombo);
        featureCombo->clear();
        fillCombo();
        const int index = featureCombo->findData(current);
        if (index < 0 && !current.isEmpty()) {
            featureCombo->addItem(current + unavailableSuffix, current);
            featureCombo->setCurrentIndex(featureCombo->count() - 1);
            featureUnavailable = true;
            unavailableFeature = current.toStdString();
        } else if (index < 0 && featureUnavailable) {
            featureCombo->setCurrentIndex(-1);   // still no feature of its own to show
        } else {
            if (index >= 0)
                featureCombo->setCurrentIndex(index);
            featureUnavailable = false;
            unavailableFeature.clear();
        }
    }
    setBoundsEnabled();
}

void FilterRuleWidget::updateAllDatasetButtons()
{
    allButtons.update(inGroup, !propagationId.empty(), enabledCheck->isChecked(), multiDataset,
                      updateDiffers, checkDiffers);
}

void FilterRuleWidget::onFeatureChanged(int)
{
    if (applyFeatureRange())
        emit ruleChanged();
}

void FilterRuleWidget::onUncheckCheckClicked()
{
    if (enabledCheck->isChecked())
        emit checkRuleInAllRequested();
    else
        emit uncheckRuleInAllRequested();
}

void FilterRuleWidget::fillCombo()
{
    for (const std::string& name : features) {
        const QString text = reader ? QString::fromStdString(reader->featureLabel(name))
                                    : QString::fromStdString(name);
        featureCombo->addItem(text, QString::fromStdString(name));
    }
}

void FilterRuleWidget::setBoundsEnabled()
{
    enabledCheck->setEnabled(!featureUnavailable);
    minSpin->setEnabled(!featureUnavailable);
    maxSpin->setEnabled(!featureUnavailable);
}

bool FilterRuleWidget::applyFeatureRange()
{
    const std::string name = featureCombo->currentData().toString().toStdString();
    if (!reader || name.empty() || std::find(features.begin(), features.end(), name) == features.end())
        return false;

    if (featureUnavailable) {
        for (int i = featureCombo->count() - 1; i >= 0; --i) {
            if (featureCombo->itemText(i).endsWith(unavailableSuffix)) {
                const QSignalBlocker blockCombo(featureCombo);
                featureCombo->removeItem(i);
                break;
            }
        }
        featureUnavailable = false;
        unavailableFeature.clear();
        setBoundsEnabled();
    }

    const auto [lo, hi] = finiteRange(*reader, name);
    if (lo > hi)
        return false;

    const double range = hi - lo;
    const int decimals = range < 0.1 ? 6 : range < 1 ? 4 : range < 100 ? 2 : 1;
    const double step = range > 0 ? range / 100 : 0.01;
    const QSignalBlocker blockMin(minSpin);
    const QSignalBlocker blockMax(maxSpin);
    for (QDoubleSpinBox* spin : {minSpin, maxSpin}) {
        spin->setDecimals(decimals);
        spin->setSingleStep(step);
    }
    minValue = lo;
    maxValue = hi;
    showBounds();
    return true;
}

void FilterRuleWidget::showBounds()
{
    const QSignalBlocker blockMin(minSpin);
    const QSignalBlocker blockMax(maxSpin);
    minSpin->setValue(minValue);
    maxSpin->setValue(maxValue);
}

} // namespace Tessary
