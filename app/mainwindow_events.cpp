// The event beside the plot (image, traces, feature values), how an event is
// chosen (spin box, a click or hover on a plotted point), and the metadata tree.
#include "app/mainwindow.h"

#include "calc/calculationsdockwidget.h"
#include "rtdc/rtdcreader.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/traceplot.h"

#include <QDockWidget>
#include <QFont>
#include <QHeaderView>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>

#include <map>
#include <set>

namespace Tessary {

namespace {

// The channel number of a metadata key: the digit right after its prefix.
// Keys whose character there is no digit are skipped rather than failing the
// whole rebuild.
bool channelAfterPrefix(const std::string& key, size_t prefix, int& channel)
{
    if (key.size() <= prefix || key[prefix] < '0' || key[prefix] > '9')
        return false;
    channel = key[prefix] - '0';
    return true;
}

bool keyMatches(const std::string& key, const char* spacedPrefix, const char* spacedPart, const char* underscoredPrefix,
                const char* underscoredPart)
{
    return (key.rfind(spacedPrefix, 0) == 0 && key.find(spacedPart) != std::string::npos)
           || (key.rfind(underscoredPrefix, 0) == 0 && key.find(underscoredPart) != std::string::npos);
}

bool activeReaderHasImages(const DatasetEntry* ds)
{
    return ds && ds->reader && ds->reader->hasImage();
}

} // namespace

void MainWindow::connectEventSignals()
{
    connect(scatterPlot, &ScatterPlot::pointClicked, this, &MainWindow::onPointClicked);
    // Hovering a point shows its event like a click.
    connect(scatterPlot, &ScatterPlot::pointHovered, this, &MainWindow::onPointClicked);
    connect(eventSpin, &QSpinBox::valueChanged, this, &MainWindow::onEventSpinBoxChanged);
    connect(imageViewer, &ImageViewer::showMaskToggled, this, &MainWindow::onMaskToggled);
    connect(calcDockWidget, &CalculationsDockWidget::traceDisplayChanged, this, [this] {
        rebuildTracePlot();
        const DatasetEntry* ds = activeEntry();
        if (ds && ds->currentEventIndex >= 0)
            displayTraces(ds->currentEventIndex);
    });
    // A hidden dock is not filled on a dataset switch; it catches up when shown.
    connect(metadataDock, &QDockWidget::visibilityChanged, this, [this](bool visible) {
        if (visible && metadataTree->topLevelItemCount() == 0)
            populateMetadataTree();
    });
}

// ---------------------------------------------------------------------------
// The shown event

void MainWindow::displayEvent(int eventIndex)
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader)
        return;
    const RTDCReader& reader = *ds->reader;
    int width = 0;
    int height = 0;
    const std::vector<uint8_t> image =
        eventIndex >= 0 ? reader.readImage(size_t(eventIndex), width, height) : std::vector<uint8_t>();
    // An image that cannot be read leaves the viewer as it was.
    if (!image.empty()) {
        const QString info = QStringLiteral("Event %1").arg(eventIndex);
        int maskWidth = 0;
        int maskHeight = 0;
        const std::vector<uint8_t> mask = imageViewer->isMaskShown() && reader.hasMask()
                                              ? reader.readMask(size_t(eventIndex), maskWidth, maskHeight)
                                              : std::vector<uint8_t>();
        if (!mask.empty() && maskWidth == width && maskHeight == height)
            imageViewer->displayImageWithMask(image, mask, width, height, info + QStringLiteral(" (with mask)"));
        else
            imageViewer->displayImage(image, width, height, info);
    }
    displayTraces(eventIndex);
    updateEventTable(eventIndex);
}

void MainWindow::displayTraces(int eventIndex)
{
    tracePlot->clearTraces();
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader || !ds->reader->hasTraces() || !tracePlot->hasTraces() || eventIndex < 0)
        return;
    std::map<std::string, std::vector<float>> traces;
    for (const TraceChannel& channel : tracePlot->channels()) {
        std::vector<float> samples = ds->reader->readTrace(channel.traceName, size_t(eventIndex));
        if (!samples.empty())
            traces[channel.traceName] = std::move(samples);
    }
    tracePlot->setTraces(traces);
}

void MainWindow::updateEventTable(int eventIndex)
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader) {
        eventTable->setRowCount(0);
        return;
    }
    const RTDCReader& reader = *ds->reader;
    std::vector<std::string> names;
    for (const std::string& name : reader.features())
        if (RTDCReader::isScalarFeatureName(name))
            names.push_back(name);
    eventTable->setRowCount(int(names.size()));
    for (size_t row = 0; row < names.size(); ++row) {
        const std::string& name = names[row];
        const QString text = QString::fromStdString(reader.featureLabel(name));
        const QString key = QString::fromStdString(name);
        auto* label = new QTableWidgetItem(text);
        // The label may be elided in a narrow column: the tooltip says it in full.
        label->setToolTip(text == key ? key : QStringLiteral("%1 (%2)").arg(text, key));
        label->setData(Qt::UserRole, key);
        eventTable->setItem(int(row), 0, label);
        const std::vector<double>& column = reader.readFeature(name);
        const bool inColumn = eventIndex >= 0 && size_t(eventIndex) < column.size();
        eventTable->setItem(int(row), 1,
                            new QTableWidgetItem(inColumn ? QString::number(column[size_t(eventIndex)], 'g', 6)
                                                          : QString()));
    }
}

void MainWindow::rebuildTracePlot()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader) {
        tracePlot->hide();
        return;
    }
    if (!ds->reader->hasTraces()) {
        tracePlot->clearTraces();
        tracePlot->hide();
        return;
    }
    std::map<int, std::string> names;
    std::map<int, double> offsets;
    double rate = 0.0;
    for (const auto& [key, value] : ds->metadata.fluorescence) {
        bool ok = false;
        const double number = QString::fromStdString(value).trimmed().toDouble(&ok);
        int channel = 0;
        if (key == "sample rate" || key == "sample_rate") {
            if (ok)
                rate = number;
        } else if (keyMatches(key, "channel ", " name", "channel_", "_name")) {
            if (channelAfterPrefix(key, 8, channel))
                names[channel] = value;
        } else if (keyMatches(key, "baseline ", " offset", "baseline_", "_offset")) {
            if (ok && channelAfterPrefix(key, 9, channel))
                offsets[channel] = number;
        }
    }
    const std::vector<std::string> traceNames = ds->reader->traceNames();
    if (names.empty()) {
        for (const std::string& trace : traceNames)
            if (trace.size() >= 3 && trace.rfind("fl", 0) == 0 && trace[2] >= '1' && trace[2] <= '9')
                names.emplace(trace[2] - '0', "FL" + std::string(1, trace[2]));
    }
    if (!(rate > 0.0))
        rate = 1.0;
    tracePlot->createTraceCurves(names, offsets, rate, traceNames, calcDockWidget->showRefinedTrace());
    tracePlot->setVisible(tracePlot->hasTraces());
}

// ---------------------------------------------------------------------------
// Choosing the event

void MainWindow::onEventSpinBoxChanged(int index)
{
    DatasetEntry* ds = activeEntry();
    if (!activeReaderHasImages(ds) || index < 0 || std::uint64_t(index) >= ds->reader->eventCount())
        return;
    ds->currentEventIndex = index;
    if (!plottedEventIndices.empty())
        highlightEvent(index);
    else
        scatterPlot->highlightPoint(index);
    displayEvent(index);
}

void MainWindow::onPointClicked(int index)
{
    DatasetEntry* ds = activeEntry();
    if (!activeReaderHasImages(ds))
        return;
    // A point of a filtered plot stands for the event behind it, not for the
    // event with the point's position as index.
    int event = index;
    if (!plottedEventIndices.empty()) {
        if (index < 0 || size_t(index) >= plottedEventIndices.size())
            return;
        event = plottedEventIndices[size_t(index)];
    }
    if (event < 0 || std::uint64_t(event) >= ds->reader->eventCount())
        return;
    ds->currentEventIndex = event;
    {
        const QSignalBlocker block(eventSpin);
        eventSpin->setValue(event);
    }
    scatterPlot->highlightPoint(index);
    displayEvent(event);
}

void MainWindow::onMaskToggled(bool)
{
    const DatasetEntry* ds = activeEntry();
    if (ds && ds->currentEventIndex >= 0)
        displayEvent(ds->currentEventIndex);
}

// ---------------------------------------------------------------------------
// Metadata

void MainWindow::showMetadata()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader || !ds->reader->isOpen())
        return;
    metadataDock->show();
    metadataDock->raise();
    if (metadataTree->topLevelItemCount() == 0)
        populateMetadataTree();
}

void MainWindow::addMetadataSection(const QString& title, const std::map<std::string, std::string>& entries)
{
    if (entries.empty())
        return;
    auto* top = new QTreeWidgetItem(metadataTree, {title});
    QFont bold = top->font(0);
    bold.setWeight(QFont::Bold);
    top->setFont(0, bold);
    for (const auto& [key, value] : entries)
        new QTreeWidgetItem(top, {QString::fromStdString(key), QString::fromStdString(value)});
}

void MainWindow::populateMetadataTree()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds)
        return;
    metadataTree->clear();
    const RTDCMetadata& m = ds->metadata;
    addMetadataSection(QStringLiteral("Experiment"), m.experiment);
    addMetadataSection(QStringLiteral("Setup"), m.setup);
    addMetadataSection(QStringLiteral("Imaging"), m.imaging);
    addMetadataSection(QStringLiteral("Online Contour"), m.onlineContour);
    addMetadataSection(QStringLiteral("Fluorescence"), m.fluorescence);
    addMetadataSection(QStringLiteral("Online Filter"), m.onlineFilter);
    addMetadataSection(QStringLiteral("Offline Filter"), m.offlineFilter);
    addMetadataSection(QStringLiteral("Export"), m.exportInfo);
    // Attributes of the sections not listed above, under their full names.
    static const std::set<std::string> listed{"experiment",    "setup",          "imaging",      "online_contour",
                                              "online_filter", "offline_filter", "fluorescence", "export"};
    std::map<std::string, std::string> other;
    for (const auto& [name, value] : m.allAttributes) {
        const size_t colon = name.find(':');
        if (colon != std::string::npos && !listed.count(name.substr(0, colon)))
            other.emplace(name, value);
    }
    addMetadataSection(QStringLiteral("Other"), other);
    metadataTree->expandAll();
    metadataTree->resizeColumnToContents(0);
}

} // namespace Tessary
