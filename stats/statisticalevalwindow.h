#pragma once

#include <QJsonObject>
#include <QMainWindow>
#include <QMap>

#include <memory>
#include <vector>

class QComboBox;
class QHBoxLayout;
class QLineEdit;
class QTableWidget;

namespace Tessary {

class DatasetRowList;
class MainWindow;
struct DatasetEntry;

// Compares categories of datasets (for example treated and control): each
// category is a panel of datasets, each dataset in one category at most; for
// the chosen feature the window lists, after each dataset's filter rules, the
// number of finite values and their median.
class StatisticalEvalWindow : public QMainWindow
{
    Q_OBJECT
public:
    explicit StatisticalEvalWindow(MainWindow* mainWindow, QWidget* parent = nullptr);

    void onFeaturesChanged();
    void onRemoveDataset(int datasetId);
    void onDatasetRenamed(int datasetId, const QString& name);
    QJsonObject saveState(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const;
    void restoreState(const QJsonObject& state, const QMap<int, int>& sessionIndexToId);

    int categoryCount() const { return int(panels.size()); }
    QString categoryName(int category) const;
    std::vector<int> categoryDatasets(int category) const;
    // Adds a dataset to a category when it exists and is in no category yet.
    bool addDatasetToCategory(int category, int datasetId);
    int addCategory(const QString& name);
    // The results table, for inspection.
    const QTableWidget* results() const { return resultTable; }

signals:
    void windowClosed(StatisticalEvalWindow* window);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    struct Panel
    {
        QWidget* widget = nullptr;
        QLineEdit* nameEdit = nullptr;
        DatasetRowList* rows = nullptr;
    };

    void clearPanels();
    bool inAnyCategory(int datasetId) const;
    void refillFeatureCombo();
    void recompute();
    // Writes one dataset's line of the results into the given row.
    void setResultRow(int row, const QString& category, int datasetId, const std::string& feature);

    MainWindow* mainWindow;
    // The feature a session chose, kept until the datasets that have it are
    // whole: a calculated column is not listed before.
    QString awaitedFeature;
    std::vector<Panel> panels;
    QHBoxLayout* panelLayout = nullptr;
    QComboBox* featureCombo = nullptr;
    QTableWidget* resultTable = nullptr;
};

} // namespace Tessary
