#include "windows/datasetrowlist.h"

#include "app/datasetentry.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>

namespace Tessary {

const char* const DatasetRowList::kMimeType = "application/x-tessary-dataset";

DatasetRowList::DatasetRowList(QWidget* parent)
    : QListWidget(parent)
{
    setAcceptDrops(true);
    setDropIndicatorShown(true);
    setDragDropMode(QAbstractItemView::DropOnly);
    setSelectionMode(QAbstractItemView::SingleSelection);
}

QListWidgetItem* DatasetRowList::itemFor(int datasetId) const
{
    for (int i = 0; i < count(); ++i)
        if (item(i)->data(Qt::UserRole).toInt() == datasetId)
            return item(i);
    return nullptr;
}

bool DatasetRowList::addDataset(int datasetId, const QString& name)
{
    if (itemFor(datasetId))
        return false;
    auto* row = new QListWidgetItem(name, this);
    row->setData(Qt::UserRole, datasetId);
    return true;
}

bool DatasetRowList::removeDataset(int datasetId)
{
    QListWidgetItem* row = itemFor(datasetId);
    delete row;
    return row != nullptr;
}

bool DatasetRowList::renameDataset(int datasetId, const QString& name)
{
    QListWidgetItem* row = itemFor(datasetId);
    if (!row)
        return false;
    row->setText(name);
    return true;
}

bool DatasetRowList::containsDataset(int datasetId) const
{
    return itemFor(datasetId) != nullptr;
}

std::vector<int> DatasetRowList::datasetIds() const
{
    std::vector<int> ids;
    for (int i = 0; i < count(); ++i)
        ids.push_back(item(i)->data(Qt::UserRole).toInt());
    return ids;
}

QJsonArray DatasetRowList::toSessionIndices(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const
{
    QJsonArray out;
    for (int id : datasetIds()) {
        int index = -1;
        for (size_t i = 0; i < entries.size(); ++i)
            if (entries[i] && entries[i]->id == id) {
                index = int(i);
                break;
            }
        out.append(index);
    }
    return out;
}

std::vector<int> DatasetRowList::idsFromSessionIndices(const QJsonArray& indices, const QMap<int, int>& indexToId)
{
    std::vector<int> ids;
    for (const QJsonValue& v : indices) {
        if (!v.isDouble())
            continue;
        const auto it = indexToId.constFind(v.toInt(-1));
        if (it != indexToId.constEnd())
            ids.push_back(it.value());
    }
    return ids;
}

int DatasetRowList::datasetIdFromMime(const QMimeData* mime)
{
    if (!mime || !mime->hasFormat(QString::fromLatin1(kMimeType)))
        return -1;
    bool ok = false;
    const int id = QString::fromUtf8(mime->data(QString::fromLatin1(kMimeType))).trimmed().toInt(&ok);
    return ok && id >= 0 ? id : -1;
}

void DatasetRowList::dragEnterEvent(QDragEnterEvent* event)
{
    if (datasetIdFromMime(event->mimeData()) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void DatasetRowList::dragMoveEvent(QDragMoveEvent* event)
{
    if (datasetIdFromMime(event->mimeData()) >= 0)
        event->acceptProposedAction();
    else
        event->ignore();
}

void DatasetRowList::dropEvent(QDropEvent* event)
{
    const int id = datasetIdFromMime(event->mimeData());
    if (id < 0) {
        event->ignore();
        return;
    }
    event->acceptProposedAction();
    emit datasetDropped(id);
}

} // namespace Tessary
