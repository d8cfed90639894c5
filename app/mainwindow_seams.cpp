// The least that the views, filter groups, gates and sessions must do so that
// a file can be opened and looked at before they are built in full: each body
// here is replaced by the full one in the file of its concern, and this file
// then goes.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/traceplot.h"
#include "calc/calculationsdockwidget.h"

#include <QComboBox>
#include <QFont>
#include <QHeaderView>
#include <QTableWidget>
#include <QTreeWidget>

#include <map>
#include <set>

namespace Tessary {

bool MainWindow::hierarchicalPathLess(const QString& a, const QString& b)
{
    const QStringList pa = a.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    const QStringList pb = b.split(QLatin1Char('/'), Qt::SkipEmptyParts);
    for (qsizetype i = 0; i < std::min(pa.size(), pb.size()); ++i) {
        const int order = pa[i].compare(pb[i], Qt::CaseInsensitive);
        if (order != 0)
            return order < 0;
    }
    return pa.size() < pb.size();
}

// Minimal: one item per dataset, no folders.
void MainWindow::rebuildDatasetTree()
{
    if (!datasetTree)
        return;
    treeRebuilding = true;
    datasetTree->clear();
    for (size_t i = 0; i < datasetEntries.size(); ++i) {
        auto* item = new QTreeWidgetItem(datasetTree);
        item->setText(0, buildDatasetCaption(datasetEntries[i].get()));
        item->setData(0, Qt::UserRole, datasetEntries[i]->id);
        item->setToolTip(0, QString::fromStdString(datasetEntries[i]->filePath));
        if (int(i) == activeDatasetIndex)
            datasetTree->setCurrentItem(item);
    }
    treeRebuilding = false;
}

// The trace plot's channels from the fluorescence metadata (names, baseline
// offsets, sample rate); without named channels the traces "fl<N>..." give
// channels "FL<N>". Keys whose channel or value is no number are skipped.
void MainWindow::rebuildTracePlot()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader || !ds->reader->hasTraces()) {
        tracePlot->clearTraces();
        tracePlot->hide();
        return;
    }
    std::map<int, std::string> names;
    std::map<int, double> offsets;
    double rate = 0.0;
    const auto channelAt = [](const std::string& key, size_t prefix, int& channel) {
        if (key.size() <= prefix || key[prefix] < '0' || key[prefix] > '9')
            return false;
        channel = key[prefix] - '0';
        return true;
    };
    for (const auto& [key, value] : ds->metadata.fluorescence) {
        const QString text = QString::fromStdString(value);
        bool ok = false;
        int channel = 0;
        if (key == "sample rate" || key == "sample_rate") {
            const double r = text.toDouble(&ok);
            if (ok)
                rate = r;
        } else if ((key.rfind("channel ", 0) == 0 && key.find(" name") != std::string::npos)
                   || (key.rfind("channel_", 0) == 0 && key.find("_name") != std::string::npos)) {
            if (channelAt(key, 8, channel))
                names[channel] = value;
        } else if ((key.rfind("baseline ", 0) == 0 && key.find(" offset") != std::string::npos)
                   || (key.rfind("baseline_", 0) == 0 && key.find("_offset") != std::string::npos)) {
            const double offset = text.toDouble(&ok);
            if (ok && channelAt(key, 9, channel))
                offsets[channel] = offset;
        }
    }
    const std::vector<std::string> traceNames = ds->reader->traceNames();
    if (names.empty()) {
        for (const std::string& trace : traceNames) {
            if (trace.size() >= 3 && trace.rfind("fl", 0) == 0 && trace[2] >= '1' && trace[2] <= '9')
                names.emplace(trace[2] - '0', "FL" + std::string(1, trace[2]));
        }
    }
    if (!(rate > 0.0))
        rate = 1.0;
    tracePlot->createTraceCurves(names, offsets, rate, traceNames, calcDockWidget->showRefinedTrace());
    tracePlot->setVisible(tracePlot->hasTraces());
}

void MainWindow::displayTraces(int eventIndex)
{
    tracePlot->clearTraces();
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader || !ds->reader->hasTraces() || tracePlot->channels().empty())
        return;
    std::map<std::string, std::vector<float>> traces;
    for (const TraceChannel& channel : tracePlot->channels()) {
        std::vector<float> samples = ds->reader->readTrace(channel.traceName, size_t(eventIndex));
        if (!samples.empty())
            traces[channel.traceName] = std::move(samples);
    }
    tracePlot->setTraces(traces);
}

// The image (with the mask when asked for), the traces and the event's values.
void MainWindow::displayEvent(int eventIndex)
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader)
        return;
    const RTDCReader& reader = *ds->reader;
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> image = reader.readImage(size_t(eventIndex), width, height);
    if (!image.empty()) {
        const QString info = QStringLiteral("Event %1").arg(eventIndex);
        int mw = 0;
        int mh = 0;
        const std::vector<uint8_t> mask = imageViewer->isMaskShown() && reader.hasMask()
                                              ? reader.readMask(size_t(eventIndex), mw, mh)
                                              : std::vector<uint8_t>();
        if (!mask.empty() && mw == width && mh == height)
            imageViewer->displayImageWithMask(image, mask, width, height, info + QStringLiteral(" (with mask)"));
        else
            imageViewer->displayImage(image, width, height, info);
    }
    displayTraces(eventIndex);
    eventTable->setRowCount(0);
    for (const std::string& name : reader.features()) {
        if (!RTDCReader::isScalarFeatureName(name))
            continue;
        const std::vector<double>& column = reader.readFeature(name);
        const int row = eventTable->rowCount();
        eventTable->insertRow(row);
        auto* label = new QTableWidgetItem(QString::fromStdString(reader.featureLabel(name)));
        label->setToolTip(QString::fromStdString(name));
        eventTable->setItem(row, 0, label);
        if (eventIndex >= 0 && size_t(eventIndex) < column.size())
            eventTable->setItem(row, 1, new QTableWidgetItem(QString::number(column[size_t(eventIndex)], 'g', 6)));
    }
    eventTable->resizeColumnsToContents();
}

void MainWindow::populateMetadataTree()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    metadataTree->clear();
    const RTDCMetadata& m = ds->metadata;
    const std::pair<const char*, const std::map<std::string, std::string>*> sections[] = {
        {"Experiment", &m.experiment},         {"Setup", &m.setup},
        {"Imaging", &m.imaging},               {"Online Contour", &m.onlineContour},
        {"Fluorescence", &m.fluorescence},     {"Online Filter", &m.onlineFilter},
        {"Offline Filter", &m.offlineFilter},  {"Export", &m.exportInfo},
    };
    const auto addSection = [this](const QString& title, const std::map<std::string, std::string>& entries) {
        if (entries.empty())
            return;
        auto* top = new QTreeWidgetItem(metadataTree, {title});
        QFont bold = top->font(0);
        bold.setWeight(QFont::Bold);
        top->setFont(0, bold);
        for (const auto& [key, value] : entries)
            new QTreeWidgetItem(top, {QString::fromStdString(key), QString::fromStdString(value)});
    };
    for (const auto& [title, entries] : sections)
        addSection(QString::fromLatin1(title), *entries);
    // Attributes of sections not named above, under their full names.
    static const std::set<std::string> known{"experiment", "setup", "imaging", "online_contour", "online_filter",
                                             "offline_filter", "fluorescence", "export"};
    std::map<std::string, std::string> other;
    for (const auto& [name, value] : m.allAttributes) {
        const size_t colon = name.find(':');
        if (colon != std::string::npos && !known.count(name.substr(0, colon)))
            other.emplace(name, value);
    }
    addSection(QStringLiteral("Other"), other);
    metadataTree->expandAll();
    metadataTree->resizeColumnToContents(0);
}

// The gates of the active dataset and of its switched-on groups on the shown axes.
void MainWindow::updatePolygonOverlays()
{
    scatterPlot->clearPolygonGates();
    const DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    const std::string x = xFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    const std::string y = yFeatureCombo->currentData(Qt::UserRole).toString().toStdString();
    const int edited = scatterPlot->isEditingPolygon() ? scatterPlot->editingPolygonId() : -1;
    const auto addGates = [&](const std::vector<FilterRule>& rules, int firstId) {
        for (size_t j = 0; j < rules.size(); ++j) {
            const FilterRule& rule = rules[j];
            const int id = firstId + int(j);
            if (rule.type != 1 || rule.featureName != x || rule.featureNameY != y || id == edited)
                continue;
            QPolygonF polygon;
            for (const auto& [vx, vy] : rule.polygonVertices)
                polygon << QPointF(vx, vy);
            scatterPlot->addPolygonGate(id, polygon, rule.enabled, rule.scaleXMode, rule.scaleYMode);
        }
    };
    addGates(ds->filter.rules, 0);
    for (const auto& group : groups.filterGroups())
        if (isGroupEnabled(ds, group->id))
            addGates(group->rules, (group->id + 100) * 10000);
}

// Minimal: sessions restore nothing yet; the restore ends.
void MainWindow::createSessionDuplicates() {}

void MainWindow::finalizeSessionLoad()
{
    restoringSession = false;
    pendingSession = QJsonObject();
}

} // namespace Tessary
