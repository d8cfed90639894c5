#pragma once
// The two views of the "Datasets" dock and their rich-text delegate. Each
// dataset item carries the dataset id under Qt::UserRole; dragging an item
// hands the id to other windows as "application/x-tessary-dataset".

#include <QListWidget>
#include <QStyledItemDelegate>
#include <QTreeWidget>

namespace Tessary {

// Draws item texts as HTML (the dataset captions use bold names).
class HtmlItemDelegate : public QStyledItemDelegate
{
    Q_OBJECT
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override;
    QSize sizeHint(const QStyleOptionViewItem& option, const QModelIndex& index) const override;
};

class DatasetListWidget : public QListWidget
{
    Q_OBJECT
public:
    explicit DatasetListWidget(QWidget* parent = nullptr);

signals:
    void internalReorderRequested(int fromRow, int toRow);

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    QMimeData* mimeData(const QList<QListWidgetItem*>& items) const override;
};

class DatasetTreeWidget : public QTreeWidget
{
    Q_OBJECT
public:
    explicit DatasetTreeWidget(QWidget* parent = nullptr);
    // The first item whose column-0 user data equals id, or null.
    QTreeWidgetItem* itemForDatasetId(int id) const;

signals:
    void internalReorderRequested(int sourceId, int targetId, bool after);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void startDrag(Qt::DropActions supportedActions) override;
    QMimeData* mimeData(const QList<QTreeWidgetItem*>& items) const override;

private:
    // The source and target items of an internal drop that reorders siblings.
    bool reorderTargets(QDropEvent* event, QTreeWidgetItem*& source, QTreeWidgetItem*& target) const;
};

} // namespace Tessary
