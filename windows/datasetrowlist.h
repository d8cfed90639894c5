#pragma once

#include <QJsonArray>
#include <QListWidget>
#include <QMap>

#include <memory>
#include <vector>

namespace Tessary {

struct DatasetEntry;

// Rows of datasets in a tool window, one per dataset id, in the order they were
// added. Accepts datasets dragged from the main window's dataset views
// ("application/x-tessary-dataset", the id as decimal text) and announces them
// with datasetDropped; the window decides whether to add them.
class DatasetRowList : public QListWidget
{
    Q_OBJECT
public:
    static const char* const kMimeType;

    explicit DatasetRowList(QWidget* parent = nullptr);

    // Adds a row; false when the id already has one.
    bool addDataset(int datasetId, const QString& name);
    // True when a row was removed.
    bool removeDataset(int datasetId);
    // True when a row was renamed.
    bool renameDataset(int datasetId, const QString& name);
    bool containsDataset(int datasetId) const;
    std::vector<int> datasetIds() const;

    // The rows as positions in entries (-1 for an id that is not there).
    QJsonArray toSessionIndices(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const;
    // Session positions back to ids through indexToId; unknown positions are skipped.
    static std::vector<int> idsFromSessionIndices(const QJsonArray& indices, const QMap<int, int>& indexToId);

    // The dataset id carried by drag data, or -1.
    static int datasetIdFromMime(const QMimeData* mime);

signals:
    void datasetDropped(int datasetId);

protected:
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dragMoveEvent(QDragMoveEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    QListWidgetItem* itemFor(int datasetId) const;
};

} // namespace Tessary
