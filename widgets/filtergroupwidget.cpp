#include "widgets/filtergroupwidget.h"

#include "widgets/filterrulewidget.h"
#include "widgets/filterwidgetstyle.h"
#include "widgets/flowlayout.h"
#include "widgets/polygonrulewidget.h"

#include <QCheckBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QVBoxLayout>

namespace Tessary {

namespace {
QPushButton* makeGroupAddButton(const QString& text, int minWidth, const QString& tooltip,
                                QWidget* parent)
{
    auto* button = new QPushButton(text, parent);
    button->setFixedHeight(16);
    button->setMinimumWidth(minWidth);
    button->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    button->setStyleSheet(FilterStyle::groupAddButton(minWidth));
    button->setToolTip(tooltip);
    return button;
}
} // namespace

FilterGroupWidget::FilterGroupWidget(int groupId_, const std::vector<std::string>& features_,
                                     RTDCReader* reader_, QWidget* parent)
    : QGroupBox(parent), groupId(groupId_), features(features_), reader(reader_)
{
    auto* layout = new QVBoxLayout;
    layout->setContentsMargins(8, 4, 8, 4);
    layout->setSpacing(4);

    enableCheck = new QCheckBox(this);
    enableCheck->setToolTip("Enable this group for the active dataset");
    nameEdit = new QLineEdit(this);
    nameEdit->setMinimumWidth(120);
    propagateButton = new QPushButton(this);
    propagateButton->setFixedHeight(16);
    propagateButton->setStyleSheet(FilterStyle::plainSmallButton);
    propagateButton->setToolTip("Apply this group's enabled/disabled state to every dataset");
    deleteButton = makeDeleteButton(this);
    deleteButton->setToolTip("Delete this filter group");
    auto* nameRow = new QHBoxLayout;
    nameRow->setSpacing(4);
    nameRow->addWidget(enableCheck);
    nameRow->addWidget(nameEdit, 1);
    // The propagate button goes below the name where the dock is too narrow
    // for both; "×" keeps the right edge.
    auto* nameAndPropagate = new FlowLayout;
    nameAndPropagate->setSpacing(4);
    nameAndPropagate->addLayout(nameRow);
    nameAndPropagate->addWidget(propagateButton);
    auto* headerRow = new QHBoxLayout;
    headerRow->setSpacing(4);
    headerRow->addLayout(nameAndPropagate);
    headerRow->addWidget(deleteButton, 0, Qt::AlignTop);
    layout->addLayout(headerRow);

    addRuleButton = makeGroupAddButton("+ Rule", 70, "Add a range rule to this group", this);
    addPolygonButton = makeGroupAddButton(
        "+ Polygon", 90, "Draw a polygon gate on the scatter plot and add it to this group", this);
    auto* addRow = new QHBoxLayout;
    addRow->setContentsMargins(20, 0, 0, 0);
    addRow->setSpacing(4);
    addRow->addWidget(addRuleButton);
    addRow->addWidget(addPolygonButton);
    addRow->addStretch();
    layout->addLayout(addRow);

    layout->addWidget(makeRuleSeparator(this));

    rulesLayout = new QVBoxLayout;
    rulesLayout->setContentsMargins(20, 0, 0, 0);
    rulesLayout->setSpacing(2);
    layout->addLayout(rulesLayout);

    // Installed once filled, as FilterRuleWidget explains.
    setLayout(layout);

    updatePropagateButton();

    // Only a name the user changed renames the group: the box may show a long
    // name cut, and leaving it untouched must keep the name whole.
    connect(nameEdit, &QLineEdit::editingFinished, this, [this] {
        if (!nameEdit->isModified())
            return;
        nameEdit->setModified(false);
        emit renameRequested(groupId, nameEdit->text());
    });
    connect(enableCheck, &QCheckBox::toggled, this, [this](bool checked) {
        updatePropagateButton();
        emit enableToggled(groupId, checked);
    });
    connect(propagateButton, &QPushButton::clicked, this,
            [this] { emit enablePropagateRequested(groupId, enableCheck->isChecked()); });
    connect(addRuleButton, &QPushButton::clicked, this, [this] { emit addRuleRequested(groupId); });
    connect(addPolygonButton, &QPushButton::clicked, this,
            [this] { emit addPolygonRequested(groupId); });
    connect(deleteButton, &QPushButton::clicked, this, [this] { emit deleteRequested(groupId); });
}

void FilterGroupWidget::setRules(const std::vector<FilterRule>& rules)
{
    clearRuleRows(rulesLayout, ruleWidgets, separators);

    // A group shows its rules only while a dataset with a reader is active.
    if (!reader)
        return;

    const FilterRuleWidget::RangeReuse readEachColumnOnce;
    for (std::size_t i = 0; i < rules.size(); ++i) {
        QWidget* row = nullptr;
        QWidget* block = listBlockForNext(rulesLayout);
        if (rules[i].type != 0) {
            auto* polygon = new PolygonRuleWidget(reader, block);
            polygon->setRule(rules[i]);
            attachRow(polygon, static_cast<int>(i));
            connect(polygon, &PolygonRuleWidget::editToggled, this,
                    [this, i](bool on) { emit polygonEditToggled(groupId, static_cast<int>(i), on); });
            row = polygon;
        } else {
            auto* range = new FilterRuleWidget(features, reader, block);
            range->setRule(rules[i]);
            attachRow(range, static_cast<int>(i));
            row = range;
        }
        appendRuleRow(rulesLayout, ruleWidgets, separators, row);
    }
}

void FilterGroupWidget::updatePropagateButton()
{
    propagateButton->setText(enableCheck->isChecked() ? "Check in All Datasets"
                                                      : "Uncheck in All Datasets");
    setSmallButtonAccent(propagateButton, multiDataset && differs);
}

template <typename Row>
void FilterGroupWidget::attachRow(Row* row, int index)
{
    if (!row->inGroup) {
        row->inGroup = true;
        row->enabledCheck->hide();
        {
            const QSignalBlocker blockEnabled(row->enabledCheck);
            row->enabledCheck->setChecked(true);
        }
        row->updateAllDatasetButtons();
    }
    connect(row, &Row::ruleChanged, this,
            [this, row, index] { emit ruleChanged(groupId, index, row->rule()); });
    connect(row, &Row::removeRequested, this, [this, index] { emit ruleRemoved(groupId, index); });
}

} // namespace Tessary
