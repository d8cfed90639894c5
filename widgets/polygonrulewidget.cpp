#include "widgets/polygonrulewidget.h"

#include "rtdc/rtdcreader.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tessary {

PolygonRuleWidget::PolygonRuleWidget(RTDCReader* reader_, QWidget* parent)
    : QWidget(parent), reader(reader_)
{
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(0, 4, 0, 4);
    layout->setSpacing(2);

    enabledCheck = new QCheckBox(this);
    enabledCheck->setChecked(true);
    auto* iconLabel = new QLabel(this);
    iconLabel->setFixedSize(32, 32);
    iconLabel->setPixmap(makePolygonIcon(32, devicePixelRatioF()));
    iconLabel->setAlignment(Qt::AlignCenter);
    iconLabel->setToolTip("Polygon gate");
    captionLabel = new QLabel(this);
    captionLabel->setWordWrap(true);
    pointsLabel = new QLabel(this);
    pointsLabel->setStyleSheet("color: #787c82;");
    removeButton = makeDeleteButton(this);
    auto* topRow = new QHBoxLayout;
    topRow->setContentsMargins(0, 0, 0, 0);
    topRow->addWidget(enabledCheck);
    topRow->addWidget(iconLabel, 0, Qt::AlignVCenter);
    topRow->addWidget(captionLabel, 1);
    topRow->addWidget(pointsLabel, 0, Qt::AlignVCenter);
    topRow->addWidget(removeButton);
    layout->addLayout(topRow);

    invertCheck = new QCheckBox("Invert", this);
    invertCheck->setToolTip("Invert this rule (pass events that do NOT match)");
    editButton = new QPushButton("Edit", this);
    editButton->setCheckable(true);
    editButton->setFixedHeight(16);
    editButton->setStyleSheet(FilterStyle::editButton);
    editButton->setToolTip("Edit polygon: drag vertices to reshape, left-click on an edge to add a "
                           "vertex, right-click a vertex to delete. Press Esc or click Edit again "
                           "to finish.");
    auto* optionsRow = new QHBoxLayout;
    optionsRow->setContentsMargins(20, 0, 0, 0);
    optionsRow->setSpacing(8);
    optionsRow->addWidget(invertCheck);
    optionsRow->addStretch();
    optionsRow->addWidget(editButton);
    layout->addLayout(optionsRow);

    layout->addLayout(allButtons.create(this));
    applyAllButton = allButtons.applyAllButton;
    updateAllButton = allButtons.updateAllButton;
    checkAllButton = allButtons.checkAllButton;
    deleteAllButton = allButtons.deleteAllButton;

    // Installed once filled, as FilterRuleWidget explains.
    setLayout(layout);

    connect(enabledCheck, &QCheckBox::toggled, this, &PolygonRuleWidget::ruleChanged);
    connect(invertCheck, &QCheckBox::toggled, this, &PolygonRuleWidget::ruleChanged);
    connect(removeButton, &QPushButton::clicked, this, &PolygonRuleWidget::removeRequested);
    connect(applyAllButton, &QPushButton::clicked, this, &PolygonRuleWidget::applyRuleToAllRequested);
    connect(updateAllButton, &QPushButton::clicked, this, &PolygonRuleWidget::updateRuleToAllRequested);
    connect(checkAllButton, &QPushButton::clicked, this, &PolygonRuleWidget::onUncheckCheckClicked);
    connect(deleteAllButton, &QPushButton::clicked, this, &PolygonRuleWidget::deleteRuleFromAllRequested);
    connect(enabledCheck, &QCheckBox::toggled, this, &PolygonRuleWidget::updateAllDatasetButtons);
    connect(editButton, &QPushButton::toggled, this, &PolygonRuleWidget::editToggled);
}

FilterRule PolygonRuleWidget::rule() const
{
    FilterRule result = keptRule;
    result.enabled = inGroup || enabledCheck->isChecked();
    result.inverted = invertCheck->isChecked();
    return result;
}

void PolygonRuleWidget::setRule(const FilterRule& rule)
{
    keptRule = rule;
    {
        const QSignalBlocker blockEnabled(enabledCheck);
        const QSignalBlocker blockInvert(invertCheck);
        enabledCheck->setChecked(rule.enabled);
        invertCheck->setChecked(rule.inverted);
    }

    QString xLabel = QString::fromStdString(rule.featureName);
    QString yLabel = QString::fromStdString(rule.featureNameY);
    if (reader) {
        xLabel = QString::fromStdString(reader->featureLabel(rule.featureName));
        yLabel = QString::fromStdString(reader->featureLabel(rule.featureNameY));
    }
    featureUnavailable = !reader || !reader->hasFeature(rule.featureName)
                         || !reader->hasFeature(rule.featureNameY);

    QString caption = xLabel + " vs " + yLabel;
    if (featureUnavailable)
        caption += " (n/a)";
    captionLabel->setText(caption);
    pointsLabel->setText(QString("(%1 pts)").arg(rule.polygonVertices.size()));

    enabledCheck->setEnabled(!featureUnavailable);
    updateAllDatasetButtons();
}

void PolygonRuleWidget::updateAllDatasetButtons()
{
    allButtons.update(inGroup, !keptRule.propagationId.empty(), enabledCheck->isChecked(),
                      multiDataset, updateDiffers, checkDiffers);
}

void PolygonRuleWidget::onUncheckCheckClicked()
{
    if (enabledCheck->isChecked())
        emit checkRuleInAllRequested();
    else
        emit uncheckRuleInAllRequested();
}

} // namespace Tessary
