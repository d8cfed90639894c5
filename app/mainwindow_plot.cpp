// Bringing the screen in line with the active dataset: the panels after a
// load or a switch, and the plot update with its colouring, overlays, info
// label and everything that follows the plot.
#include "app/mainwindow.h"

#include "calc/calculationsdockwidget.h"
#include "calc/emodulus.h"
#include "calc/flcompensation.h"
#include "calc/flrefinement.h"
#include "calc/fourierdeform.h"
#include "calc/imagefeatures.h"
#include "rtdc/axistransforms.h"
#include "rtdc/rtdcreader.h"
#include "widgets/densitycontours.h"
#include "widgets/filterdockwidget.h"
#include "widgets/imageviewer.h"
#include "widgets/scatterplot.h"
#include "widgets/statisticsdockwidget.h"
#include "widgets/traceplot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDockWidget>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSignalBlocker>
#include <QSpinBox>
#include <QTableWidget>
#include <QTreeWidget>
#include <QtConcurrent>

#include <algorithm>
#include <cmath>

namespace Tessary {

namespace {

constexpr int kBottomAxis = 2;   // QwtAxis::XBottom
constexpr int kLeftAxis = 0;     // QwtAxis::YLeft

bool isDensityKey(const std::string& key)
{
    return key.rfind("__density_", 0) == 0;
}

std::string comboKey(const QComboBox* combo)
{
    return combo->currentData(Qt::UserRole).toString().toStdString();
}

// Selects the item whose data is exactly name; false when there is none.
bool selectByData(QComboBox* combo, const std::string& name)
{
    const int index = combo->findData(QString::fromStdString(name), Qt::UserRole, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

// Flow rate, reservoir and run index of a measurement, as the caption and the
// info label list them.
QStringList measurementParts(const DatasetEntry& entry)
{
    QStringList parts;
    const auto& setup = entry.metadata.setup;
    if (const auto it = setup.find("flow rate"); it != setup.end()) {
        bool ok = false;
        const double rate = QString::fromStdString(it->second).toDouble(&ok);
        if (ok)
            parts << QStringLiteral("%1 µL/s").arg(QString::number(rate, 'g', 4));
    }
    if (const auto it = setup.find("chip region"); it != setup.end() && it->second == "reservoir")
        parts << QStringLiteral("Reservoir");
    if (const auto it = entry.metadata.experiment.find("run index"); it != entry.metadata.experiment.end())
        parts << QStringLiteral("#%1").arg(QString::fromStdString(it->second));
    return parts;
}

} // namespace

QString MainWindow::buildDatasetCaption(const DatasetEntry* entry)
{
    QStringList parts = measurementParts(*entry);
    parts << QStringLiteral("%1 events").arg(entry->reader ? qulonglong(entry->reader->eventCount()) : 0);
    return QStringLiteral("<b>%1</b> (%2)").arg(entry->displayName.toHtmlEscaped(), parts.join(QStringLiteral(", ")));
}

// ---------------------------------------------------------------------------
// Panels

void MainWindow::refreshPanelsForDataset()
{
    DatasetEntry* ds = activeEntry();
    if (!ds || !ds->loaded || !ds->reader)
        return;
    // Its saved axes and rules may name calculated columns: the panels are
    // filled once its restored calculations are back, never with a fallback
    // before. They run in the background, ahead of the other datasets' and
    // after a calculation that is running; the end of its own fills the
    // panels (onRecomputedColumns).
    if (datasetReadiness(ds->id) == DatasetReadiness::Calculating) {
        panelsWaitingId = ds->id;
        // Its own recomputation goes first, or its source's for a duplicate.
        for (int id : awaitedRecomputations(*ds))
            recomputeFirst(id);
        showDatasetPending(ds, restoringCalculationsText(*ds));
        updateCalculationControls();
        return;
    }
    panelsWaitingId = -1;
    RTDCReader* reader = ds->reader.get();
    plotSettingsGroup->setEnabled(true);
    renameEdit->setEnabled(true);
    {
        const QSignalBlocker block(renameEdit);
        renameEdit->setText(ds->displayName);
    }

    updateCalculationControls();

    {
        const QSignalBlocker bx(xFeatureCombo), by(yFeatureCombo), bc(colorFeatureCombo);
        loadColorByOptions();
        if (!ds->xFeatureName.empty())
            selectByData(xFeatureCombo, ds->xFeatureName);
        if (!ds->yFeatureName.empty())
            selectByData(yFeatureCombo, ds->yFeatureName);
        if (!ds->colorFeatureName.empty())
            selectByData(colorFeatureCombo, ds->colorFeatureName);
    }
    {
        const QSignalBlocker bm(contourModeCombo), bi(contourInnerSpin), bo(contourOuterSpin);
        contourModeCombo->setCurrentIndex(ds->contourMode);
        contourInnerSpin->setValue(ds->contourFraction1 * 100.0);
        contourOuterSpin->setValue(ds->contourFraction2 * 100.0);
    }
    {
        const QSignalBlocker bx(scaleXCombo), by(scaleYCombo);
        scaleXCombo->setCurrentIndex(ds->scaleXMode);
        scaleYCombo->setCurrentIndex(ds->scaleYMode);
    }
    scatterPlot->setScaleMode(kBottomAxis, ds->scaleXMode);
    scatterPlot->setScaleMode(kLeftAxis, ds->scaleYMode);

    const int events = int(std::min<std::uint64_t>(reader->eventCount(), std::uint64_t(INT32_MAX)));
    {
        const QSignalBlocker block(eventSpin);
        eventSpin->setRange(0, std::max(0, events - 1));
        eventSpin->setEnabled(events != 0 && reader->hasImage());   // without images the views ignore it
        if (ds->currentEventIndex >= 0 && ds->currentEventIndex < events) {
            eventSpin->setValue(ds->currentEventIndex);
        } else {
            eventSpin->setValue(0);
            ds->currentEventIndex = 0;
        }
    }
    imageViewer->setMaskAvailable(reader->hasMask());
    rebuildTracePlot();
    metadataTree->clear();
    if (metadataDock->isVisible())
        populateMetadataTree();
    filterDock->setActiveDataset(ds);

    updatePlot();
    if (ds->currentEventIndex >= 0)
        highlightEvent(ds->currentEventIndex);
    // The table and the traces follow the shown event whether or not there are
    // images; a dataset without images (or events) leaves the viewer empty.
    const bool eventShown = ds->currentEventIndex >= 0 && ds->currentEventIndex < events;
    if (!reader->hasImage() || !eventShown)
        imageViewer->clearImage();
    if (eventShown) {
        displayEvent(ds->currentEventIndex);
    } else {
        tracePlot->clearTraces();
        eventTable->setRowCount(0);
    }
}

void MainWindow::loadColorByOptions()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader)
        return;
    xFeatureCombo->clear();
    yFeatureCombo->clear();
    colorFeatureCombo->clear();
    colorFeatureCombo->addItem(QStringLiteral("None"), QString());
    colorFeatureCombo->addItem(QStringLiteral("Density (KDE)"), QStringLiteral("__density_kde__"));
    if (expertModeAction && expertModeAction->isChecked()) {
        colorFeatureCombo->addItem(QStringLiteral("Density (Histogram)"), QStringLiteral("__density_hist__"));
        colorFeatureCombo->addItem(QStringLiteral("Density (kNN)"), QStringLiteral("__density_knn__"));
    }
    for (const std::string& name : ds->reader->features()) {
        if (!RTDCReader::isScalarFeatureName(name))
            continue;
        const QString label = QString::fromStdString(ds->reader->featureLabel(name));
        const QString data = QString::fromStdString(name);
        xFeatureCombo->addItem(label, data);
        yFeatureCombo->addItem(label, data);
        colorFeatureCombo->addItem(label, data);
    }
    selectByData(xFeatureCombo, "area_um");
    selectByData(yFeatureCombo, "deform");
    colorFeatureCombo->setCurrentIndex(0);
}

void MainWindow::updateFeatureSelection()
{
    // Another dataset preloading does not matter; the shown one must have loaded.
    const DatasetEntry* ds = activeEntry();
    if (ds && ds->loaded && ds->reader && ds->reader->isOpen())
        updatePlot();
}

void MainWindow::refreshFeaturesAndPlot()
{
    // A dataset that is not whole gets its lists when it is filled.
    if (activeEntry() && !panelsShowActiveDataset())
        return;
    const QString x = xFeatureCombo->currentData(Qt::UserRole).toString();
    const QString y = yFeatureCombo->currentData(Qt::UserRole).toString();
    const QString colour = colorFeatureCombo->currentData(Qt::UserRole).toString();
    {
        // Half-filled combo boxes must not reach the plot: an update with the
        // wrong names would use up the zoom-reset request and reset the zoom.
        const QSignalBlocker bx(xFeatureCombo), by(yFeatureCombo), bc(colorFeatureCombo);
        loadColorByOptions();
        calcDockWidget->updateFeatureList(activeEntry());
        filterDock->refreshFeatureLists();
        selectByData(xFeatureCombo, x.toStdString());
        selectByData(yFeatureCombo, y.toStdString());
        selectByData(colorFeatureCombo, colour.toStdString());
    }
    updatePlot();
    // The event table lists the features too: the new ones get their rows.
    const DatasetEntry* ds = activeEntry();
    if (ds && ds->loaded && ds->reader && ds->currentEventIndex >= 0
        && std::uint64_t(ds->currentEventIndex) < ds->reader->eventCount())
        updateEventTable(ds->currentEventIndex);
}

void MainWindow::onFilterChanged()
{
    updatePlot();
}

// ---------------------------------------------------------------------------
// The plot update

void MainWindow::updatePlot()
{
    DatasetEntry* ds = activeEntry();
    // Until the active dataset is whole, the panels still show another one.
    if (!ds || !panelsShowActiveDataset() || !ds->reader->isOpen())
        return;
    endPolygonDrawingOutOfContext();
    if (ds->reader->eventCount() == 0) {
        // Columns without rows are no damage: the dataset has nothing to show,
        // like one without "/events".
        showEmptyPlot();
        return;
    }
    const std::string xName = comboKey(xFeatureCombo);
    const std::string yName = comboKey(yFeatureCombo);
    if (xName.empty() || yName.empty()) {
        // A dataset without features (no "/events"): show that it has nothing,
        // not the points of the dataset shown before.
        const std::vector<std::string> features = ds->reader->features();
        if (std::none_of(features.begin(), features.end(), &RTDCReader::isScalarFeatureName))
            showEmptyPlot();
        return;
    }
    RTDCReader* reader = ds->reader.get();
    const std::vector<double>& xColumn = reader->readFeature(xName);
    const std::vector<double>& yColumn = reader->readFeature(yName);
    if (xColumn.empty() || yColumn.empty()) {
        QMessageBox::warning(this, QStringLiteral("Error"), QStringLiteral("Failed to read feature data."));
        return;
    }
    const size_t total = size_t(reader->eventCount());

    const EventFilter filter = buildEffectiveFilter(ds);
    const bool filterActive = filter.isEnabled() && filter.ruleCount() > 0;
    std::vector<int> kept;
    bool ruleApplied = false;
    if (filterActive) {
        const FeatureColumns columns = filterColumns(filter, *ds);
        kept = filter.apply(columns, total);
        ruleApplied = filter.hasUsableRule(columns, total);
    }

    const std::string colourKey = comboKey(colorFeatureCombo);
    const bool density = isDensityKey(colourKey);
    const std::vector<double>* colourColumn = nullptr;
    if (!colourKey.empty() && !density) {
        colourColumn = &reader->readFeature(colourKey);
        if (colourColumn->empty())
            colourColumn = nullptr;   // unreadable: drawn without colour
    }

    // Gather the shown events. A damaged file can have columns shorter than
    // the event count: an event whose index lies outside any column is not drawn.
    const size_t count = filterActive ? kept.size() : total;
    size_t limit = std::min(xColumn.size(), yColumn.size());
    if (colourColumn)
        limit = std::min(limit, colourColumn->size());
    std::vector<double> xs, ys, cs;
    std::vector<int> events;
    xs.reserve(count);
    ys.reserve(count);
    events.reserve(count);
    if (colourColumn)
        cs.reserve(count);
    for (size_t k = 0; k < count; ++k) {
        const size_t e = filterActive ? size_t(kept[k]) : k;
        if (e >= limit)
            continue;
        xs.push_back(xColumn[e]);
        ys.push_back(yColumn[e]);
        if (colourColumn)
            cs.push_back((*colourColumn)[e]);
        events.push_back(int(e));
    }

    plotXLabel = QString::fromStdString(reader->featureLabel(xName));
    plotYLabel = QString::fromStdString(reader->featureLabel(yName));
    plotColorLabel.clear();

    const int xMode = scaleXCombo->currentIndex();
    const int yMode = scaleYCombo->currentIndex();
    KdeCache kde;
    // Plot coordinates of the points; a linear axis uses the values themselves.
    std::vector<double> txStore, tyStore;
    const std::vector<double>& tx = density && xMode != ScaleLinear ? (txStore = transformAxisValues(xs, xMode)) : xs;
    const std::vector<double>& ty = density && yMode != ScaleLinear ? (tyStore = transformAxisValues(ys, yMode)) : ys;
    bool statisticsShown = false;
    // Fewer than 4 points have no density: they are drawn in the plot's colour
    // for missing values instead of vanishing.
    bool densityUndefined = false;
    if (density) {
        const int method = colourKey == "__density_hist__" ? HistogramDensity
                           : colourKey == "__density_knn__" ? NearestNeighbourDensity
                                                            : KernelDensity;
        size_t finite = 0;
        for (size_t i = 0; i < tx.size() && finite < 4; ++i)
            finite += std::isfinite(tx[i]) && std::isfinite(ty[i]);
        densityUndefined = finite < 4;
        if (densityUndefined) {
            cs.assign(xs.size(), std::nan(""));
        } else if (method == KernelDensity) {
            // The grid is kept, so the contours of this update need not build it again.
            QFuture<void> estimate = QtConcurrent::run([&kde, &cs, &tx, &ty] {
                kde.grid = computeKdeGrid(tx, ty, 0);
                cs = interpolateGrid(kde.grid, tx, ty);
            });
            // With every coordinate finite the estimate is finite at every
            // point and no point will be dropped: the statistics of these
            // points are final and are shown while the estimate runs.
            const auto finiteValue = [](double v) { return std::isfinite(v); };
            if (std::all_of(xs.begin(), xs.end(), finiteValue) && std::all_of(ys.begin(), ys.end(), finiteValue)) {
                statisticsWidget->updateStatistics(xs, ys, plotXLabel, plotYLabel);
                statisticsShown = true;
            }
            estimate.waitForFinished();
            kde.valid = true;
        } else {
            cs = computePointDensity(tx, ty, method);
        }
        plotColorLabel = QStringLiteral("Density");
    } else if (colourColumn) {
        plotColorLabel = QString::fromStdString(reader->featureLabel(colourKey));
    }

    // Drop what cannot be drawn. The kept grid stays valid for the contours
    // only when every dropped point had no finite plot coordinates anyway.
    // (tx may be xs itself: point i is read before anything is written there.)
    const bool haveColour = !cs.empty();
    size_t out = 0;
    for (size_t i = 0; i < xs.size(); ++i) {
        if (std::isfinite(xs[i]) && std::isfinite(ys[i]) && (!haveColour || densityUndefined || std::isfinite(cs[i]))) {
            xs[out] = xs[i];
            ys[out] = ys[i];
            if (haveColour)
                cs[out] = cs[i];
            events[out] = events[i];
            ++out;
        } else if (kde.valid && std::isfinite(tx[i]) && std::isfinite(ty[i])) {
            kde.valid = false;
        }
    }
    xs.resize(out);
    ys.resize(out);
    events.resize(out);
    if (haveColour)
        cs.resize(out);
    if (kde.valid) {
        kde.density = cs;
        kde.xMode = xMode;
        kde.yMode = yMode;
    } else {
        kde = KdeCache();
    }
    kdeCache = std::move(kde);
    plotXValues = std::move(xs);
    plotYValues = std::move(ys);
    plotColorValues = std::move(cs);
    plottedEventIndices = std::move(events);
    plottedIndicesValid = true;
    lastPlotFiltered = filterActive;
    lastPlotRuleApplied = ruleApplied;

    const auto countNonPositive = [](const std::vector<double>& v) {
        return qsizetype(std::count_if(v.begin(), v.end(), [](double d) { return d <= 0.0; }));
    };
    setLogScaleWarning(scaleXCombo, xMode == ScaleLog ? countNonPositive(plotXValues) : 0, QStringLiteral("X-axis scale mode"));
    setLogScaleWarning(scaleYCombo, yMode == ScaleLog ? countNonPositive(plotYValues) : 0, QStringLiteral("Y-axis scale mode"));

    // The contours of a kept grid are traced on the pool while the plot takes its data.
    QFuture<std::vector<DensityContour>> traced;
    if (contourModeCombo->currentIndex() != 0 && plotXValues.size() >= 4 && kdeCache.valid)
        traced = QtConcurrent::run([cache = &kdeCache, levels = contourLevels()] { return contourLines(*cache, levels); });

    scatterPlot->setData(plotXValues, plotYValues, plotXLabel, plotYLabel, plotColorValues, plotColorLabel);

    bool resetRequested = false;
    if (zoomResetHook) {
        resetRequested = zoomResetHook(xName) || zoomResetHook(yName) || zoomResetHook(colourKey);
        zoomResetHook = nullptr;
    }
    if (resetRequested || xName != lastPlotXFeature || yName != lastPlotYFeature
        || activeDatasetIndex != lastPlotDatasetIndex)
        scatterPlot->resetZoom();
    lastPlotXFeature = xName;
    lastPlotYFeature = yName;
    lastPlotDatasetIndex = activeDatasetIndex;

    updatePolygonOverlays();
    showContourOverlay(traced);
    updateIsoelastics();
    updateInfoLabel();
    refreshToolWindows();
    updateFilterSyncState();
    if (!suppressFilterPanelRefresh)
        refreshFilterPanel();
    updatePlotSettingsButton();
    if (!statisticsShown)
        statisticsWidget->updateStatistics(plotXValues, plotYValues, plotXLabel, plotYLabel);

    if (ds->currentEventIndex >= 0 && !highlightEvent(ds->currentEventIndex) && !plottedEventIndices.empty()) {
        // The shown event is filtered out: the first drawn event takes its place.
        ds->currentEventIndex = plottedEventIndices.front();
        {
            const QSignalBlocker block(eventSpin);
            eventSpin->setValue(ds->currentEventIndex);
        }
        scatterPlot->highlightPoint(0);
        displayEvent(ds->currentEventIndex);
    }
}

void MainWindow::showEmptyPlot()
{
    // A gate edit has nothing left to edit on; its end redraws the gates, so
    // it ends before they are cleared.
    if (scatterPlot->isEditingPolygon())
        scatterPlot->stopPolygonEditing();
    scatterPlot->clearData();
    scatterPlot->clearContours();
    scatterPlot->clearPolygonGates();
    scatterPlot->clearHighlight();
    if (!activeEntry()) {
        // No dataset, no scales of one: the plot and its boxes start linear.
        const QSignalBlocker bx(scaleXCombo), by(scaleYCombo);
        scaleXCombo->setCurrentIndex(ScaleLinear);
        scaleYCombo->setCurrentIndex(ScaleLinear);
        scatterPlot->setScaleMode(kBottomAxis, ScaleLinear);
        scatterPlot->setScaleMode(kLeftAxis, ScaleLinear);
    }
    statisticsWidget->clear();
    plotXValues.clear();
    plotYValues.clear();
    plotColorValues.clear();
    plottedEventIndices.clear();
    plottedIndicesValid = false;
    lastPlotFiltered = false;   // nothing plotted, nothing filtered (the feedback summary says so)
    kdeCache = KdeCache();
    setLogScaleWarning(scaleXCombo, 0, QStringLiteral("X-axis scale mode"));
    setLogScaleWarning(scaleYCombo, 0, QStringLiteral("Y-axis scale mode"));
    updateInfoLabel();
    // The markers of the buttons compare the dataset shown, or nothing.
    updateFilterSyncState();
    updatePlotSettingsButton();
}

int MainWindow::plottedPointOfEvent(int eventIndex) const
{
    // The plotted events are ascending (kept indices in order, some dropped).
    const auto it = std::lower_bound(plottedEventIndices.begin(), plottedEventIndices.end(), eventIndex);
    return it != plottedEventIndices.end() && *it == eventIndex ? int(it - plottedEventIndices.begin()) : -1;
}

bool MainWindow::highlightEvent(int eventIndex)
{
    const int point = plottedPointOfEvent(eventIndex);
    if (point < 0) {
        scatterPlot->clearHighlight();
        return false;
    }
    scatterPlot->highlightPoint(point);
    return true;
}

// ---------------------------------------------------------------------------
// Overlays

void MainWindow::updateContours()
{
    updateContourOverlay();
}

void MainWindow::updateContourOverlay()
{
    showContourOverlay(QFuture<std::vector<DensityContour>>());
}

std::vector<double> MainWindow::contourLevels() const
{
    const double inner = contourInnerSpin->value() / 100.0;
    const double outer = contourOuterSpin->value() / 100.0;
    return {std::min(inner, outer), std::max(inner, outer)};
}

std::vector<DensityContour> MainWindow::contourLines(const KdeCache& cache, const std::vector<double>& levels)
{
    std::vector<DensityContour> contours = contoursFromGrid(cache.grid, cache.density, levels);
    for (DensityContour& contour : contours)
        for (ContourPolyline& line : contour.polylines)
            for (ContourPoint& p : line)
                inverseTransformAxisRange(p.first, p.second, cache.xMode, cache.yMode);
    return contours;
}

void MainWindow::showContourOverlay(QFuture<std::vector<DensityContour>> traced)
{
    const int mode = contourModeCombo->currentIndex();
    scatterPlot->setScatterVisible(mode != 2);
    if (mode == 0 || plotXValues.size() < 4) {
        scatterPlot->clearContours();
        if (mode == 0)
            scatterPlot->replot();
        return;
    }
    if (traced.isValid()) {
        scatterPlot->setContours(traced.result());
        return;
    }
    const int xMode = scaleXCombo->currentIndex();
    const int yMode = scaleYCombo->currentIndex();
    if (!kdeCache.valid || kdeCache.xMode != xMode || kdeCache.yMode != yMode
        || kdeCache.density.size() != plotXValues.size()) {
        // Build the grid once for these points; later contour changes reuse it.
        const std::vector<double> tx = transformAxisValues(plotXValues, xMode);
        const std::vector<double> ty = transformAxisValues(plotYValues, yMode);
        kdeCache = KdeCache();
        kdeCache.grid = computeKdeGrid(tx, ty, 0);
        if (!kdeCache.grid.isEmpty()) {
            kdeCache.density = interpolateGrid(kdeCache.grid, tx, ty);
            kdeCache.xMode = xMode;
            kdeCache.yMode = yMode;
            kdeCache.valid = true;
        }
    }
    if (kdeCache.valid)
        scatterPlot->setContours(contourLines(kdeCache, contourLevels()));
    else
        scatterPlot->clearContours();
}

void MainWindow::updateIsoelastics()
{
    const std::string x = comboKey(xFeatureCombo);
    const std::string y = comboKey(yFeatureCombo);
    const bool fit = (x == "area_um" && y == "deform") || (x == "deform" && y == "area_um");
    // Without a look-up table there are no lines: say so instead of drawing nothing.
    const bool linesAvailable = emodulusEngine->isAvailable();
    isoelasticsCheck->setEnabled(linesAvailable);
    isoelasticsCheck->setToolTip(linesAvailable ? QStringLiteral("Show isoelasticity lines")
                                                : QStringLiteral("Isoelasticity lines need the Young's modulus "
                                                                 "look-up table, which this version does not include."));
    isoelasticsCheck->setVisible(fit);
    isoelasticLabelsCheck->setVisible(fit && isoelasticsCheck->isChecked());
    const DatasetEntry* ds = activeEntry();
    if (!fit || !linesAvailable || !isoelasticsCheck->isChecked() || !ds || !ds->reader) {
        scatterPlot->clearIsoElasticityLines();
        return;
    }
    const EModulusParams params = calcDockWidget->emodulusParamsFromMetadata(ds->metadata, ds->reader->hasFeature("temp"));
    std::vector<IsoelasticLine> lines = emodulusEngine->isoelasticityLines(params);
    if (x == "deform")
        for (IsoelasticLine& line : lines)
            for (auto& p : line.points)
                std::swap(p.first, p.second);
    scatterPlot->setIsoElasticityLines(lines, isoelasticLabelsCheck->isChecked());
}

// ---------------------------------------------------------------------------
// Info label, scale warning, plot settings

void MainWindow::updateInfoLabel()
{
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader)
        return;
    const size_t total = size_t(ds->reader->eventCount());
    const size_t shown = plottedIndicesValid ? plotXValues.size() : total;
    filterDock->setEventCounts(shown, total, plottedIndicesValid && lastPlotRuleApplied);
    QStringList parts = measurementParts(*ds);
    if (plottedIndicesValid) {
        const double percent = total == 0 ? 0.0 : 100.0 * double(shown) / double(total);
        parts << QStringLiteral("%1/%2 events shown (%3% pass filter)")
                     .arg(shown)
                     .arg(total)
                     .arg(QString::number(percent, 'f', 1));
    } else {
        parts << QStringLiteral("%1 events").arg(total);
    }
    infoLabel->setText(QStringLiteral("Loaded: %1 (%2)").arg(ds->displayName, parts.join(QStringLiteral(", "))));
}

void MainWindow::setLogScaleWarning(QComboBox* combo, qsizetype hiddenCount, const QString& axisName)
{
    if (hiddenCount > 0) {
        combo->setItemText(1, QStringLiteral("Log ⚠"));
        combo->setStyleSheet(QStringLiteral("QComboBox { background-color: #fff8e1; border: 1px solid #f9a825; }"));
        combo->setToolTip(QStringLiteral("%1: %2 point%3 with value ≤ 0 not shown (cannot be drawn on a log axis)")
                              .arg(axisName)
                              .arg(hiddenCount)
                              .arg(hiddenCount == 1 ? QString() : QStringLiteral("s")));
    } else {
        combo->setItemText(1, QStringLiteral("Log"));
        combo->setStyleSheet(QString());
        combo->setToolTip(axisName);
    }
}

bool MainWindow::plotSettingsInSync(const DatasetEntry* exclude) const
{
    const DatasetEntry* active = activeEntry();
    if (!active)
        return true;
    // The panels hold the active dataset's settings only once it is whole;
    // until then its own record has them.
    const bool panels = panelsShowActiveDataset();
    const std::string x = panels ? comboKey(xFeatureCombo) : active->xFeatureName;
    const std::string y = panels ? comboKey(yFeatureCombo) : active->yFeatureName;
    const std::string colour = panels ? comboKey(colorFeatureCombo) : active->colorFeatureName;
    const int sx = panels ? scaleXCombo->currentIndex() : active->scaleXMode;
    const int sy = panels ? scaleYCombo->currentIndex() : active->scaleYMode;
    const int mode = panels ? contourModeCombo->currentIndex() : active->contourMode;
    const double f1 = panels ? contourInnerSpin->value() / 100.0 : active->contourFraction1;
    const double f2 = panels ? contourOuterSpin->value() / 100.0 : active->contourFraction2;
    for (const auto& entry : datasetEntries) {
        if (entry.get() == active || entry.get() == exclude)
            continue;
        if (entry->xFeatureName != x || entry->yFeatureName != y || entry->colorFeatureName != colour
            || entry->scaleXMode != sx || entry->scaleYMode != sy || entry->contourMode != mode
            || !(entry->contourFraction1 == f1) || !(entry->contourFraction2 == f2))
            return false;
    }
    return true;
}

void MainWindow::updatePlotSettingsButton()
{
    // Its settings are the panels': while they show another dataset's, it is
    // off and plain, not highlighted as if it could copy them.
    const bool usable = datasetEntries.size() >= 2 && panelsShowActiveDataset();
    applyPlotSettingsButton->setEnabled(usable);
    const QString highlight = QStringLiteral(
        "QPushButton { background-color: #a6d7d5; color: #00abad; border: 1px solid #00abad; font-weight: bold; }");
    // The highlight's bold text is wider. The button keeps the highlighted size
    // in both faces: lighting it must not widen the plot settings, which at the
    // window's width would take that room from the docks beside them.
    if (applyPlotSettingsButton->minimumSize().isNull()) {
        applyPlotSettingsButton->setStyleSheet(highlight);
        applyPlotSettingsButton->setMinimumSize(applyPlotSettingsButton->sizeHint());
    }
    const QString sheet = usable && !plotSettingsInSync(nullptr) ? highlight : QString();
    if (applyPlotSettingsButton->styleSheet() != sheet)
        applyPlotSettingsButton->setStyleSheet(sheet);
}

void MainWindow::copyPlotSettings(const DatasetEntry& from, DatasetEntry& to)
{
    // Feature names only where the target has them; a density key fits any dataset.
    if (to.reader) {
        if (to.reader->hasFeature(from.xFeatureName))
            to.xFeatureName = from.xFeatureName;
        if (to.reader->hasFeature(from.yFeatureName))
            to.yFeatureName = from.yFeatureName;
        const std::string& colour = from.colorFeatureName;
        if (colour.empty() || isDensityKey(colour) || to.reader->hasFeature(colour))
            to.colorFeatureName = colour;
    }
    to.scaleXMode = from.scaleXMode;
    to.scaleYMode = from.scaleYMode;
    to.contourMode = from.contourMode;
    to.contourFraction1 = from.contourFraction1;
    to.contourFraction2 = from.contourFraction2;
}

void MainWindow::onApplyPlotSettingsToAll()
{
    const DatasetEntry* active = activeEntry();
    if (!active || !panelsShowActiveDataset())   // the panels show another dataset's settings
        return;
    saveCurrentDatasetState();
    for (const auto& entry : datasetEntries)
        if (entry.get() != active)
            copyPlotSettings(*active, *entry);
    updatePlot();
    updatePlotSettingsButton();
}

} // namespace Tessary
