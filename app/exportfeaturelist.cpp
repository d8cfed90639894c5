#include "app/exportfeaturelist.h"

#include "app/datasetentry.h"
#include "rtdc/rtdcreader.h"

#include <QCheckBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QScrollArea>
#include <QVBoxLayout>

#include <algorithm>

namespace Tessary {

namespace {

std::set<std::string> scalarFeatures(const DatasetEntry* entry, const ColumnsToCome& toCome)
{
    std::set<std::string> names;
    if (!entry || !entry->reader)
        return names;
    for (const std::string& name : entry->reader->features())
        if (RTDCReader::isScalarFeatureName(name))
            names.insert(name);
    if (const auto coming = toCome.find(entry->id); coming != toCome.end())
        names.insert(coming->second.begin(), coming->second.end());
    return names;
}

} // namespace

ExportScopeGroup::ExportScopeGroup(int datasetCount, QWidget* parent)
{
    group = new QGroupBox(QStringLiteral("Export Scope"), parent);
    auto* layout = new QVBoxLayout(group);
    currentOnlyRadio = new QRadioButton(QStringLiteral("Current dataset only"), group);
    currentOnlyRadio->setChecked(true);
    allDatasetsRadio = new QRadioButton(QStringLiteral("All datasets (%1)").arg(datasetCount), group);
    allDatasetsRadio->setEnabled(datasetCount >= 2);
    layout->addWidget(currentOnlyRadio);
    layout->addWidget(allDatasetsRadio);
}

void ExportScopeGroup::restore(bool allDatasets)
{
    if (allDatasets && allDatasetsRadio->isEnabled())
        allDatasetsRadio->setChecked(true);
    else
        currentOnlyRadio->setChecked(true);
}

bool ExportScopeGroup::allDatasets() const
{
    return allDatasetsRadio->isChecked();
}

void markOnlyInOtherDatasets(QWidget* widget, bool onlyInOthers)
{
    if (onlyInOthers) {
        QPalette palette = widget->palette();
        palette.setColor(QPalette::WindowText, QColor(160, 160, 160));
        widget->setPalette(palette);
        widget->setToolTip(QStringLiteral("Not available in current dataset (available in other datasets)"));
    } else {
        widget->setPalette(QPalette());
        widget->setToolTip(QString());
    }
}

void addExportButtons(QDialog* dialog, QVBoxLayout* layout)
{
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* exportButton = buttons->addButton(QStringLiteral("Export"), QDialogButtonBox::AcceptRole);
    exportButton->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);
}

ExportFeatureList::ExportFeatureList(const DatasetEntry* current,
                                     const std::vector<std::unique_ptr<DatasetEntry>>& entries,
                                     const ColumnsToCome& toCome, int maxHeight, QWidget* parent)
{
    currentFeatures = scalarFeatures(current, toCome);
    std::set<std::string> others;
    for (const auto& entry : entries) {
        if (entry.get() == current)
            continue;
        for (const std::string& name : scalarFeatures(entry.get(), toCome))
            if (!currentFeatures.count(name))
                others.insert(name);
    }

    box = new QGroupBox(QStringLiteral("Scalar Features"), parent);
    auto* layout = new QVBoxLayout(box);
    auto* buttonRow = new QHBoxLayout;
    selectAll = new QPushButton(QStringLiteral("Select All"), box);
    deselectAll = new QPushButton(QStringLiteral("Deselect All"), box);
    buttonRow->addWidget(selectAll);
    buttonRow->addWidget(deselectAll);
    buttonRow->addStretch();
    layout->addLayout(buttonRow);

    auto* scroll = new QScrollArea(box);
    scroll->setWidgetResizable(true);
    scroll->setMaximumHeight(maxHeight);
    auto* inner = new QWidget(scroll);
    auto* list = new QVBoxLayout(inner);
    list->setSpacing(2);
    const RTDCReader* labels = current ? current->reader.get() : nullptr;
    const auto addBox = [&](const std::string& name, bool here) {
        const std::string label = labels ? labels->featureLabel(name) : name;
        auto* check = new QCheckBox(QString::fromStdString(label + "  [" + name + "]"), inner);
        check->setChecked(here);
        if (!here) {
            check->setVisible(false);
            markOnlyInOtherDatasets(check, true);
        }
        list->addWidget(check);
        featureChecks.push_back(check);
        featureNames.push_back(name);
        offered.push_back(here);
    };
    // std::set orders by bytes, the order of the list.
    for (const std::string& name : currentFeatures)
        addBox(name, true);
    for (const std::string& name : others)
        addBox(name, false);
    list->addStretch();
    scroll->setWidget(inner);
    layout->addWidget(scroll);
}

void ExportFeatureList::checkVisible()
{
    for (QCheckBox* check : featureChecks)
        if (!check->isHidden())
            check->setChecked(true);
}

void ExportFeatureList::uncheckAll()
{
    for (QCheckBox* check : featureChecks)
        check->setChecked(false);
}

void ExportFeatureList::showOtherDatasetFeatures(bool shown)
{
    for (size_t i = 0; i < featureChecks.size(); ++i) {
        if (!isCurrentFeature(featureNames[i])) {
            featureChecks[i]->setVisible(shown);
            offered[i] = offered[i] || shown;
        }
    }
}

void ExportFeatureList::setBoxesEnabled(bool enabled)
{
    for (QCheckBox* check : featureChecks)
        check->setEnabled(enabled);
}

void ExportFeatureList::restoreChoices(const std::vector<std::string>& checked,
                                       const std::vector<std::string>& offeredBefore)
{
    const auto named = [](const std::vector<std::string>& names, const std::string& name) {
        return std::find(names.begin(), names.end(), name) != names.end();
    };
    for (size_t i = 0; i < featureChecks.size(); ++i) {
        if (!named(offeredBefore, featureNames[i]))
            continue;
        featureChecks[i]->setChecked(named(checked, featureNames[i]));
        offered[i] = true;   // the choice goes on to the next dialog
    }
}

std::vector<std::string> ExportFeatureList::checkedFeatures() const
{
    std::vector<std::string> checked;
    for (size_t i = 0; i < featureChecks.size(); ++i)
        if (featureChecks[i]->isChecked())
            checked.push_back(featureNames[i]);
    return checked;
}

std::vector<std::string> ExportFeatureList::offeredFeatures() const
{
    std::vector<std::string> names;
    for (size_t i = 0; i < featureNames.size(); ++i)
        if (offered[i])
            names.push_back(featureNames[i]);
    return names;
}

} // namespace Tessary
