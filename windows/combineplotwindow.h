#pragma once

#include <QJsonObject>
#include <QMainWindow>
#include <QMap>

#include <memory>
#include <vector>

class QTableWidget;

namespace Tessary {

class DatasetRowList;
class MainWindow;
struct DatasetEntry;

// A window that compares several datasets side by side. It holds a list of
// datasets (added from the active dataset or dropped from the main window's
// dataset views) and shows for each how many events pass its effective filter.
class CombinePlotWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit CombinePlotWindow(MainWindow* mainWindow, QWidget* parent = nullptr);

    void refresh();
    void onDatasetRemoved(int datasetId);
    void onDatasetRenamed(int datasetId, const QString& name);
    // Dataset references are positions in entries ("datasetSessionIndex").
    QJsonObject saveState(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const;
    void restoreState(const QJsonObject& state, const QMap<int, int>& sessionIndexToId);

    // Adds the dataset when it exists and is not shown yet; true when added.
    bool addDataset(int datasetId);
    std::vector<int> datasetIds() const;

signals:
    void windowClosed(CombinePlotWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void redraw();

    MainWindow* mainWindow;
    DatasetRowList* rowList = nullptr;
    QTableWidget* summaryTable = nullptr;
};

} // namespace Tessary
