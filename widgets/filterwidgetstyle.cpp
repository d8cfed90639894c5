#include "widgets/filterwidgetstyle.h"

#include "widgets/flowlayout.h"

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
    auto* layout = new QHBoxLayout;
    layout->setContentsMargins(0, 4, 0, 4);
    layout->addStretch(1);
    auto* line = new QWidget(separator);
    line->setFixedSize(140, 1);
    line->setStyleSheet("background-color: #c8c8c8;");
    layout->addWidget(line);
    layout->addStretch(1);
    separator->setLayout(layout);   // once filled, as the rows do (see FilterRuleWidget)
    return separator;
}

QPushButton* makeDeleteButton(QWidget* parent)
{
    auto* button = new QPushButton(QStringLiteral("\u00D7"), parent);
    button->setFixedSize(20, 24);
    button->setStyleSheet(FilterStyle::deleteButton);
    return button;
}

QWidget* listBlockForNext(QVBoxLayout* list)
{
    if (const int count = list->count(); count > 0) {
        QWidget* last = list->itemAt(count - 1)->widget();
        if (last && last->layout() && last->layout()->count() < kListBlockSize)
            return last;
    }
    auto* block = new QWidget(list->parentWidget());
    auto* blockLayout = new QVBoxLayout(block);
    blockLayout->setContentsMargins(0, 0, 0, 0);
    blockLayout->setSpacing(list->spacing());   // rows keep the list's spacing across blocks
    list->addWidget(block);
    return block;
}

void appendToList(QVBoxLayout* list, QWidget* widget)
{
    listBlockForNext(list)->layout()->addWidget(widget);
}

void removeFromList(QWidget* widget)
{
    QWidget* block = widget->parentWidget();
    if (block && block->layout())
        block->layout()->removeWidget(widget);
    widget->hide();
    widget->deleteLater();
    if (block && block->layout() && block->layout()->count() == 0) {
        if (QWidget* list = block->parentWidget(); list && list->layout())
            list->layout()->removeWidget(block);
        block->hide();
        block->deleteLater();
    }
}

void appendRuleRow(QVBoxLayout* list, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators, QWidget* row)
{
    // A row and the separator above it share a block (which may hold one
    // widget more than kListBlockSize then).
    QWidget* block = listBlockForNext(list);
    if (!rows.empty()) {
        QWidget* separator = makeRuleSeparator(block);
        block->layout()->addWidget(separator);
        separators.push_back(separator);
    }
    block->layout()->addWidget(row);
    rows.push_back(row);
}

void clearRuleRows(QVBoxLayout* list, std::vector<QWidget*>& rows,
                   std::vector<QWidget*>& separators)
{
    // The rows and separators go with their blocks; items are taken from the
    // back, so no removal scans the layout.
    for (int i = list->count() - 1; i >= 0; --i) {
        QLayoutItem* item = list->takeAt(i);
        if (QWidget* block = item->widget()) {
            block->hide();
            block->deleteLater();
        }
        delete item;
    }
    rows.clear();
    separators.clear();
}

void setSmallButtonAccent(QPushButton* button, bool accent)
{
    // Every rule row sets its buttons' looks a few times while it is filled;
    // each new sheet is parsed and polished again.
    const QLatin1String sheet(accent ? FilterStyle::accentSmallButton : FilterStyle::plainSmallButton);
    if (button->styleSheet() != sheet)
        button->setStyleSheet(sheet);
}

QLayout* RuleAllButtons::create(QWidget* parent)
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

    auto* row = new FlowLayout;
    row->setContentsMargins(20, 0, 0, 0);
    row->setSpacing(4);
    row->addWidget(applyAllButton);
    row->addWidget(updateAllButton);
    row->addWidget(checkAllButton);
    row->addWidget(deleteAllButton);
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
