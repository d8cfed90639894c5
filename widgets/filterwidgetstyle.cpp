#include "widgets/filterwidgetstyle.h"

#include <QHBoxLayout>
#include <QPainter>
#include <QPolygonF>
#include <QPushButton>
#include <QVBoxLayout>
#include <QWidget>

#include <cmath>

namespace Tessary {

namespace FilterStyle {
const char* const plainSmallButton = "QPushButton { padding: 2px 8px; min-height: 16px; }";
const char* const accentSmallButton =
    "QPushButton { padding: 2px 8px; min-height: 16px; background-color: #a6d7d5; "
    "color: #00abad; border: 1px solid #00abad; font-weight: bold; }";
const char* const deleteButton =
    "QPushButton { padding: 0; min-height: 24px; min-width: 20px; max-width: 20px; "
    "font-size: 16px; color: #606468; border-radius: 4px; }"
    "QPushButton:hover { color: #d32f2f; background-color: #fde8e8; border-color: #d32f2f; }";
const char* const editButton =
    "QPushButton { padding: 2px 8px; min-height: 16px; }"
    "QPushButton:checked { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; }";

QString groupAddButton(int minWidth)
{
    return QStringLiteral("QPushButton { padding: 2px 8px; min-height: 16px; min-width: %1px; }")
        .arg(minWidth);
}
} // namespace FilterStyle

QPixmap makePolygonIcon(int size, double ratio)
{
    const int pixels = static_cast<int>(std::lround(size * ratio));
    QPixmap pixmap(pixels, pixels);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);

    static const QPointF shape[] = {{0.08, 0.40}, {0.30, 0.12}, {0.62, 0.05}, {0.92, 0.28},
                                    {0.70, 0.48}, {0.95, 0.78}, {0.55, 0.92}, {0.18, 0.72}};
    QPolygonF polygon;
    for (const QPointF& p : shape)
        polygon << p * size;

    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setBrush(QColor("#a6d7d5"));
    painter.setPen(QPen(QColor("#00abad"), 1.4));
    painter.drawPolygon(polygon, Qt::OddEvenFill);
    return pixmap;
}

QWidget* makeRuleSeparator(QWidget* parent)
{
    auto* separator = new QWidget(parent);
    auto* layout = new QHBoxLayout(separator);
    layout->setContentsMargins(0, 4, 0, 4);
    layout->addStretch(1);
    auto* line = new QWidget(separator);
    line->setFixedSize(140, 1);
    line->setStyleSheet("background-color: #c8c8c8;");
    layout->addWidget(line);
    layout->addStretch(1);
    return separator;
}

QPushButton* makeDeleteButton(QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("\u00D7"), parent);
    button->setFixedSize(20, 24);
    button->setStyleSheet(FilterStyle::deleteButton);
    return button;
}

void appendRuleRow(QVBoxLayout* layout, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators, QWidget* row)
{
    if (!rows.empty()) {
        QWidget* separator = makeRuleSeparator(layout->parentWidget());
        layout->addWidget(separator);
        separators.push_back(separator);
    }
    layout->addWidget(row);
    rows.push_back(row);
}

void clearRuleRows(QVBoxLayout* layout, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators)
{
    // Thousands of rows must clear in linear time. Removing a widget from a
    // layout, and deleting a child of a laid-out widget, each scan the whole
    // layout; so the layout's items (rows and separators only) are taken from
    // the back, and the widgets move into one hidden holder that is deleted
    // later with all of them at once.
    for (int i = layout->count() - 1; i >= 0; --i)
        delete layout->takeAt(i);
    if (rows.empty() && separators.empty())
        return;
    auto* discarded = new QWidget(layout->parentWidget());
    discarded->hide();
    for (std::vector<QWidget*>* list : {&rows, &separators}) {
        for (QWidget* widget : *list)
            widget->setParent(discarded);
        list->clear();
    }
    discarded->deleteLater();
}

void setSmallButtonAccent(QPushButton* button, bool accent)
{
    button->setStyleSheet(accent ? FilterStyle::accentSmallButton : FilterStyle::plainSmallButton);
}

QHBoxLayout* RuleAllButtons::create(QWidget* parent)
{
    auto makeButton = [parent](const QString& text) {
        auto* button = new QPushButton(text, parent);
        button->setFixedHeight(16);
        button->setStyleSheet(FilterStyle::plainSmallButton);
        return button;
    };
    applyAllButton = makeButton("Apply to All");
    updateAllButton = makeButton("Update in All");
    checkAllButton = makeButton("Uncheck in All");
    deleteAllButton = makeButton("Delete from All");
    updateAllButton->hide();
    checkAllButton->hide();
    deleteAllButton->hide();

    auto* row = new QHBoxLayout;
    row->setContentsMargins(20, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(applyAllButton);
    row->addWidget(updateAllButton);
    row->addWidget(checkAllButton);
    row->addWidget(deleteAllButton);
    row->addStretch();
    return row;
}

void RuleAllButtons::update(bool inGroup, bool hasPropagationId, bool ruleChecked,
                            bool multiDataset, bool updateDiffers, bool checkDiffers)
{
    if (inGroup) {
        applyAllButton->hide();
        updateAllButton->hide();
        checkAllButton->hide();
        deleteAllButton->hide();
        return;
    }
    applyAllButton->setVisible(!hasPropagationId);
    updateAllButton->setVisible(hasPropagationId);
    checkAllButton->setVisible(hasPropagationId);
    deleteAllButton->setVisible(hasPropagationId);

    checkAllButton->setText(ruleChecked ? "Check in All" : "Uncheck in All");
    for (QPushButton* button : {applyAllButton, updateAllButton, checkAllButton, deleteAllButton})
        button->setEnabled(multiDataset);

    setSmallButtonAccent(applyAllButton, false);
    setSmallButtonAccent(deleteAllButton, false);
    setSmallButtonAccent(updateAllButton, hasPropagationId && multiDataset && updateDiffers);
    setSmallButtonAccent(checkAllButton, hasPropagationId && multiDataset && checkDiffers);
}

} // namespace Tessary
