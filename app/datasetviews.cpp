#include "app/datasetviews.h"

#include "windows/datasetrowlist.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QResizeEvent>
#include <QTextDocument>
#include <QTimer>
#include <QTreeWidgetItemIterator>

#include <algorithm>
#include <cmath>

namespace Tessary {

namespace {

const QString kMime = QString::fromLatin1(DatasetRowList::kMimeType);

QMimeData* datasetMime(const QVariant& id)
{
    auto* mime = new QMimeData;
    if (id.isValid()) {
        const QByteArray text = QByteArray::number(id.toInt());
        mime->setData(kMime, text);
        mime->setText(QString::fromUtf8(text));
    }
    return mime;
}

bool isOwnDatasetDrag(const QDropEvent* event, const QWidget* self)
{
    return event->source() == self && event->mimeData()->hasFormat(kMime);
}

constexpr int kTextMargin = 4;   // on each side of an item's text

// The width an item's text wraps at in a view that wraps its words: what the
// viewport leaves beside the item's indentation, so a long caption takes more
// lines instead of running off the side; none (-1) elsewhere.
qreal wrapWidth(const QStyleOptionViewItem& option, const QModelIndex& index)
{
    const auto* view = qobject_cast<const QAbstractItemView*>(option.widget);
    int indent = 0;
    if (const auto* tree = qobject_cast<const QTreeView*>(view)) {
        if (!tree->wordWrap())
            return -1.0;
        int depth = tree->rootIsDecorated() ? 1 : 0;
        for (QModelIndex parent = index.parent(); parent.isValid(); parent = parent.parent())
            ++depth;
        indent = depth * tree->indentation();
    } else {
        const auto* list = qobject_cast<const QListView*>(view);
        if (!list || !list->wordWrap())
            return -1.0;
    }
    return std::max(1, view->viewport()->width() - indent - 2 * kTextMargin);
}

// The caption laid out as it is drawn. A name without spaces (a file name)
// breaks anywhere rather than being cut at the edge.
void layOutCaption(QTextDocument& doc, const QStyleOptionViewItem& option, const QModelIndex& index)
{
    QTextOption wrapping = doc.defaultTextOption();
    wrapping.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    doc.setDefaultTextOption(wrapping);
    doc.setDefaultFont(option.font);
    doc.setHtml(option.text);
    doc.setTextWidth(wrapWidth(option, index));
}

} // namespace

void HtmlItemDelegate::paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    painter->save();
    if (opt.state & QStyle::State_Selected)
        painter->fillRect(opt.rect, opt.palette.brush(QPalette::Current, QPalette::Highlight));
    QTextDocument doc;
    layOutCaption(doc, opt, index);
    painter->translate(opt.rect.topLeft() + QPoint(kTextMargin, 0));
    doc.drawContents(painter, QRectF(0, 0, opt.rect.width() - 2 * kTextMargin, opt.rect.height()));
    painter->restore();
}

QSize HtmlItemDelegate::sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const
{
    QStyleOptionViewItem opt = option;
    initStyleOption(&opt, index);
    QTextDocument doc;
    layOutCaption(doc, opt, index);
    return QSize(int(std::ceil(doc.idealWidth())) + 2 * kTextMargin, int(std::ceil(doc.size().height())));
}

DatasetListWidget::DatasetListWidget(QWidget* parent)
    : QListWidget(parent)
{
    // Captions wrap to the list's width (the HTML delegate reads wordWrap), so
    // a narrow dock shows every word of them; a resize lays them out anew.
    setWordWrap(true);
    setResizeMode(QListView::Adjust);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void DatasetListWidget::mousePressEvent(QMouseEvent* event)
{
    // A click into the empty area keeps the selection: there is always an active dataset.
    if (event->button() == Qt::LeftButton && !itemAt(event->position().toPoint())) {
        event->accept();
        return;
    }
    QListWidget::mousePressEvent(event);
}

void DatasetListWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (isOwnDatasetDrag(event, this))
        event->acceptProposedAction();
    else
        QListWidget::dragEnterEvent(event);
}

void DatasetListWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (isOwnDatasetDrag(event, this))
        event->acceptProposedAction();
    else
        QListWidget::dragMoveEvent(event);
}

void DatasetListWidget::dropEvent(QDropEvent* event)
{
    if (!isOwnDatasetDrag(event, this)) {
        QListWidget::dropEvent(event);
        return;
    }
    const QPoint pos = event->position().toPoint();
    int target = count();
    if (QListWidgetItem* under = itemAt(pos)) {
        target = row(under);
        if (pos.y() > visualItemRect(under).center().y())
            ++target;
    }
    const int id = event->mimeData()->data(kMime).toInt();
    int source = -1;
    for (int i = 0; i < count(); ++i)
        if (item(i)->data(Qt::UserRole).toInt() == id)
            source = i;
    if (source < 0 || source == target || target == source + 1) {
        event->ignore();
        return;
    }
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QTimer::singleShot(0, this, [this, source, target] { emit internalReorderRequested(source, target); });
}

void DatasetListWidget::startDrag(Qt::DropActions)
{
    // Copy only: a drop elsewhere must never take the row away.
    QListWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetListWidget::mimeData(const QList<QListWidgetItem*>& items) const
{
    return datasetMime(items.isEmpty() ? QVariant() : items.first()->data(Qt::UserRole));
}

DatasetTreeWidget::DatasetTreeWidget(QWidget* parent)
    : QTreeWidget(parent)
{
    // As in the list, captions wrap to the view's width: nothing is cut at
    // the side, and a long caption never asks the dock for more room.
    setWordWrap(true);
    header()->setStretchLastSection(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
}

void DatasetTreeWidget::resizeEvent(QResizeEvent* event)
{
    QTreeWidget::resizeEvent(event);
    // The tree keeps its row heights until told: a new width wraps anew.
    if (event->size().width() != event->oldSize().width())
        scheduleDelayedItemsLayout();
}

QTreeWidgetItem* DatasetTreeWidget::itemForDatasetId(int id) const
{
    for (QTreeWidgetItemIterator it(const_cast<DatasetTreeWidget*>(this)); *it; ++it) {
        const QVariant data = (*it)->data(0, Qt::UserRole);
        if (data.isValid() && data.toInt() == id)
            return *it;
    }
    return nullptr;
}

void DatasetTreeWidget::dragEnterEvent(QDragEnterEvent* event)
{
    if (isOwnDatasetDrag(event, this))
        event->acceptProposedAction();
    else
        QTreeWidget::dragEnterEvent(event);
}

bool DatasetTreeWidget::reorderTargets(QDropEvent* event, QTreeWidgetItem*& source, QTreeWidgetItem*& target) const
{
    target = itemAt(event->position().toPoint());
    source = itemForDatasetId(event->mimeData()->data(kMime).toInt());
    // Reordering happens only among the datasets of one folder.
    return source && target && source != target && target->data(0, Qt::UserRole).isValid()
           && source->parent() == target->parent();
}

void DatasetTreeWidget::dragMoveEvent(QDragMoveEvent* event)
{
    if (!isOwnDatasetDrag(event, this)) {
        QTreeWidget::dragMoveEvent(event);
        return;
    }
    QTreeWidgetItem *source = nullptr, *target = nullptr;
    if (reorderTargets(event, source, target))
        event->acceptProposedAction();
    else
        event->ignore();
}

void DatasetTreeWidget::dropEvent(QDropEvent* event)
{
    if (!isOwnDatasetDrag(event, this)) {
        QTreeWidget::dropEvent(event);
        return;
    }
    QTreeWidgetItem *source = nullptr, *target = nullptr;
    if (!reorderTargets(event, source, target)) {
        event->ignore();
        return;
    }
    const bool after = event->position().toPoint().y() > visualItemRect(target).center().y();
    const int sourceId = source->data(0, Qt::UserRole).toInt();
    const int targetId = target->data(0, Qt::UserRole).toInt();
    event->setDropAction(Qt::CopyAction);
    event->accept();
    QTimer::singleShot(0, this, [this, sourceId, targetId, after] { emit internalReorderRequested(sourceId, targetId, after); });
}

void DatasetTreeWidget::startDrag(Qt::DropActions)
{
    QTreeWidget::startDrag(Qt::CopyAction);
}

QMimeData* DatasetTreeWidget::mimeData(const QList<QTreeWidgetItem*>& items) const
{
    return datasetMime(items.isEmpty() ? QVariant() : items.first()->data(0, Qt::UserRole));
}

} // namespace Tessary
