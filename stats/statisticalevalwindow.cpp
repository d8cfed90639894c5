#include "stats/statisticalevalwindow.h"

#include "app/datasetentry.h"
#include "app/mainwindow.h"
#include "rtdc/rtdcreader.h"
#include "widgets/savedialoghelpers.h"
#include "windows/datasetrowlist.h"

#include <QCloseEvent>
#include <QComboBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QJsonArray>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSplitter>
#include <QTableWidget>
#include <QVBoxLayout>

#include <algorithm>
#include <cmath>
#include <set>

namespace Tessary {

namespace {

// The median of values that are all finite.
double median(std::vector<double> v)
{
    if (v.empty())
        return std::nan("");
    const size_t mid = v.size() / 2;
    std::nth_element(v.begin(), v.begin() + long(mid), v.end());
    const double upper = v[mid];
    if (v.size() % 2)
        return upper;
    return (upper + *std::max_element(v.begin(), v.begin() + long(mid))) / 2.0;
}

} // namespace

StatisticalEvalWindow::StatisticalEvalWindow(MainWindow* mainWindow, QWidget* parent)
    : QMainWindow(parent)
    , mainWindow(mainWindow)
{
    setWindowTitle(QStringLiteral("Statistical Evaluation"));
    resize(900, 600);

    featureCombo = new QComboBox;
    featureCombo->setMinimumWidth(220);
    auto* addCategoryButton = new QPushButton(QStringLiteral("Add Category"));
    auto* panelsHost = new QWidget;
    panelLayout = new QHBoxLayout(panelsHost);
    panelLayout->setContentsMargins(0, 0, 0, 0);

    resultTable = new QTableWidget(0, 4);
    resultTable->setHorizontalHeaderLabels({QStringLiteral("Category"), QStringLiteral("Dataset"),
                                            QStringLiteral("Events"), QStringLiteral("Median")});
    resultTable->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    resultTable->verticalHeader()->setVisible(false);
    resultTable->setEditTriggers(QAbstractItemView::NoEditTriggers);
    resultTable->setAlternatingRowColors(true);

    auto* central = new QWidget;
    auto* layout = new QVBoxLayout(central);
    auto* top = new QHBoxLayout;
    top->addWidget(new QLabel(QStringLiteral("Feature")));
    top->addWidget(featureCombo);
    top->addStretch(1);
    top->addWidget(addCategoryButton);
    layout->addLayout(top);
    auto* splitter = new QSplitter(Qt::Vertical);
    splitter->addWidget(panelsHost);
    splitter->addWidget(resultTable);
    layout->addWidget(splitter, 1);
    setCentralWidget(central);

    addKeepOnTopAction(this);

    connect(addCategoryButton, &QPushButton::clicked, this,
            [this] { addCategory(QStringLiteral("Category %1").arg(panels.size() + 1)); });
    connect(featureCombo, &QComboBox::currentIndexChanged, this, [this] { recompute(); });
    connect(featureCombo, &QComboBox::activated, this, [this] { awaitedFeature.clear(); });   // the user chose

    addCategory(QStringLiteral("Category 1"));
    addCategory(QStringLiteral("Category 2"));
    refillFeatureCombo();
}

int StatisticalEvalWindow::addCategory(const QString& name)
{
    Panel panel;
    panel.widget = new QWidget;
    auto* layout = new QVBoxLayout(panel.widget);
    layout->setContentsMargins(0, 0, 0, 0);
    panel.nameEdit = new QLineEdit(name);
    panel.rows = new DatasetRowList;
    layout->addWidget(panel.nameEdit);
    layout->addWidget(panel.rows, 1);
    panelLayout->addWidget(panel.widget);
    const int index = int(panels.size());
    panels.push_back(panel);
    connect(panel.rows, &DatasetRowList::datasetDropped, this, [this, rows = panel.rows](int id) {
        for (size_t i = 0; i < panels.size(); ++i)
            if (panels[i].rows == rows)
                addDatasetToCategory(int(i), id);
    });
    connect(panel.nameEdit, &QLineEdit::editingFinished, this, [this] { recompute(); });
    return index;
}

void StatisticalEvalWindow::clearPanels()
{
    for (Panel& p : panels)
        delete p.widget;
    panels.clear();
}

QString StatisticalEvalWindow::categoryName(int category) const
{
    return category >= 0 && category < int(panels.size()) ? panels[size_t(category)].nameEdit->text() : QString();
}

std::vector<int> StatisticalEvalWindow::categoryDatasets(int category) const
{
    return category >= 0 && category < int(panels.size()) ? panels[size_t(category)].rows->datasetIds() : std::vector<int>();
}

bool StatisticalEvalWindow::addDatasetToCategory(int category, int datasetId)
{
    const DatasetEntry* ds = mainWindow->findDatasetById(datasetId);
    if (!ds || category < 0 || category >= int(panels.size()) || inAnyCategory(datasetId))
        return false;
    if (!panels[size_t(category)].rows->addDataset(datasetId, ds->displayName))
        return false;
    refillFeatureCombo();
    recompute();
    return true;
}

bool StatisticalEvalWindow::inAnyCategory(int datasetId) const
{
    for (const Panel& p : panels) {
        const std::vector<int> ids = p.rows->datasetIds();
        if (std::find(ids.begin(), ids.end(), datasetId) != ids.end())
            return true;
    }
    return false;
}

void StatisticalEvalWindow::refillFeatureCombo()
{
    // The features every whole dataset of the window has, calculated ones
    // included; the others join once they are whole.
    std::set<std::string> common;
    bool first = true;
    bool allWhole = true;
    const RTDCReader* labels = nullptr;
    for (const Panel& p : panels)
        for (int id : p.rows->datasetIds()) {
            const DatasetEntry* ds = mainWindow->findDatasetById(id);
            if (!ds || !ds->reader)
                continue;
            if (!mainWindow->isDatasetWhole(id)) {
                allWhole = false;
                continue;
            }
            std::set<std::string> names;
            for (const std::string& f : ds->reader->features())
                if (RTDCReader::isScalarFeatureName(f))
                    names.insert(f);
            if (!labels)
                labels = ds->reader.get();
            if (first)
                common = std::move(names);
            else {
                std::set<std::string> both;
                std::set_intersection(common.begin(), common.end(), names.begin(), names.end(),
                                      std::inserter(both, both.begin()));
                common = std::move(both);
            }
            first = false;
        }
    const QString current = awaitedFeature.isEmpty() ? featureCombo->currentData().toString() : awaitedFeature;
    const QSignalBlocker block(featureCombo);
    featureCombo->clear();
    for (const std::string& f : common)
        featureCombo->addItem(QString::fromStdString(labels->featureLabel(f)), QString::fromStdString(f));
    const int keep = featureCombo->findData(current);
    featureCombo->setCurrentIndex(keep >= 0 ? keep : (featureCombo->count() ? 0 : -1));
    // The choice waits while it may still come with a calculation.
    awaitedFeature = keep < 0 && !allWhole ? current : QString();
}

void StatisticalEvalWindow::recompute()
{
    const std::string feature = featureCombo->currentData().toString().toStdString();
    // The rows are rewritten in place, so a recomputation keeps the row the
    // user selected and the place the table is scrolled to.
    int r = 0;
    for (const Panel& p : panels)
        for (int id : p.rows->datasetIds())
            setResultRow(r++, p.nameEdit->text(), id, feature);
    resultTable->setRowCount(r);
}

void StatisticalEvalWindow::setResultRow(int row, const QString& category, int datasetId, const std::string& feature)
{
    if (row >= resultTable->rowCount())
        resultTable->setRowCount(row + 1);
    const DatasetEntry* ds = mainWindow->findDatasetById(datasetId);
    QString events, medianText;
    if (ds && !mainWindow->isDatasetWhole(datasetId))
        events = QStringLiteral("waiting");
    else if (ds && !feature.empty() && ds->reader->hasFeature(feature)) {
        // The evaluation applies the rules whether or not the filter is switched on.
        const std::vector<int> kept = mainWindow->filteredEventIndices(datasetId, true);
        const std::vector<double>& column = ds->reader->readFeature(feature);
        // Only finite values enter the statistics, and the count says how many did.
        std::vector<double> values;
        values.reserve(kept.size());
        for (int i : kept)
            if (size_t(i) < column.size() && std::isfinite(column[size_t(i)]))
                values.push_back(column[size_t(i)]);
        events = QString::number(values.size());
        medianText = QString::number(median(values), 'g', 6);
    }
    const QStringList cells{category, ds ? ds->displayName : QStringLiteral("(missing)"), events, medianText};
    for (int c = 0; c < int(cells.size()); ++c) {
        if (QTableWidgetItem* item = resultTable->item(row, c))
            item->setText(cells[c]);
        else
            resultTable->setItem(row, c, new QTableWidgetItem(cells[c]));
    }
}

void StatisticalEvalWindow::onFeaturesChanged()
{
    refillFeatureCombo();
    recompute();
}

void StatisticalEvalWindow::onRemoveDataset(int datasetId)
{
    for (Panel& p : panels)
        p.rows->removeDataset(datasetId);
    refillFeatureCombo();
    recompute();
}

void StatisticalEvalWindow::onDatasetRenamed(int datasetId, const QString& name)
{
    for (Panel& p : panels)
        p.rows->renameDataset(datasetId, name);
    recompute();
}

QJsonObject StatisticalEvalWindow::saveState(const std::vector<std::unique_ptr<DatasetEntry>>& entries) const
{
    QJsonArray categories;
    for (const Panel& p : panels)
        categories.append(QJsonObject{{QStringLiteral("name"), p.nameEdit->text()},
                                      {QStringLiteral("datasets"), p.rows->toSessionIndices(entries)}});
    return QJsonObject{{QStringLiteral("categories"), categories},
                       {QStringLiteral("feature"), awaitedFeature.isEmpty() ? featureCombo->currentData().toString()
                                                                            : awaitedFeature}};
}

void StatisticalEvalWindow::restoreState(const QJsonObject& state, const QMap<int, int>& sessionIndexToId)
{
    clearPanels();
    for (const QJsonValue& v : state.value(QStringLiteral("categories")).toArray()) {
        const QJsonObject category = v.toObject();
        const int index = addCategory(category.value(QStringLiteral("name")).toString(
            QStringLiteral("Category %1").arg(panels.size() + 1)));
        for (int id : DatasetRowList::idsFromSessionIndices(category.value(QStringLiteral("datasets")).toArray(), sessionIndexToId))
            if (const DatasetEntry* ds = mainWindow->findDatasetById(id); ds && !inAnyCategory(id))
                panels[size_t(index)].rows->addDataset(id, ds->displayName);
    }
    if (panels.empty()) {
        addCategory(QStringLiteral("Category 1"));
        addCategory(QStringLiteral("Category 2"));
    }
    awaitedFeature = state.value(QStringLiteral("feature")).toString();
    refillFeatureCombo();
    recompute();
}

void StatisticalEvalWindow::closeEvent(QCloseEvent* event)
{
    emit windowClosed(this);
    event->accept();
}

} // namespace Tessary
