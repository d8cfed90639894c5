// The main window's calculation actions: the slots the calculations panel
// reaches, their background bodies and the one-at-a-time launcher.
#include "app/mainwindow.h"

#include "calc/calculationsdockwidget.h"
#include "calc/emodulus.h"
#include "calc/flcompensation.h"
#include "calc/flrefinement.h"
#include "calc/fourierdeform.h"
#include "calc/imagefeatures.h"
#include "rtdc/metadatanumber.h"
#include "rtdc/rtdcreader.h"

#include <QDebug>
#include <QLabel>
#include <QMessageBox>
#include <QMetaObject>
#include <QProgressBar>
#include <QString>
#include <QTimer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cctype>
#include <cstdlib>
#include <exception>
#include <optional>

namespace Tessary {

namespace {

// The parameters a Young's modulus calculation runs with: when they take the
// temperature from the measurement, the metadata's value replaces theirs.
EModulusParams withMeasuredTemperature(EModulusParams params, const RTDCMetadata& metadata)
{
    if (params.tempSource != 2)
        return params;
    if (const std::optional<double> measured = metadataNumber(metadata.setup, "temperature"))
        params.temperature = *measured;
    return params;
}

} // namespace

std::vector<int> MainWindow::fluorescenceChannels(const RTDCReader* reader)
{
    std::vector<int> channels;
    if (!reader)
        return channels;
    for (const std::string& name : reader->features()) {
        if (name.size() < 6 || name.compare(0, 2, "fl") != 0 || name.compare(name.size() - 4, 4, "_max") != 0)
            continue;
        const std::string middle = name.substr(2, name.size() - 6);
        if (middle.empty() || middle.size() > 9
            || !std::all_of(middle.begin(), middle.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        channels.push_back(std::atoi(middle.c_str()));
    }
    std::sort(channels.begin(), channels.end());
    channels.erase(std::unique(channels.begin(), channels.end()), channels.end());
    return channels;
}

void MainWindow::updateDeformationSources()
{
    const DatasetEntry* ds = activeEntry();
    const bool expert = expertModeAction && expertModeAction->isChecked();
    const bool hasFourier = expert && ds && ds->reader && ds->reader->hasFeature("deform_fc");
    const bool hasOdd = expert && ds && ds->reader && ds->reader->hasFeature("deform_odd");
    calcDockWidget->setDeformationSources(hasFourier, hasOdd);
}

void MainWindow::updateCalculationControls()
{
    DatasetEntry* ds = activeEntry();
    calcDockWidget->setActiveDataset(ds);
    if (!ds || !ds->reader) {
        crosstalkTableDatasetId = -1;   // the dock has emptied its table
        return;
    }
    RTDCReader* reader = ds->reader.get();
    const bool idle = !calcRunning && isDatasetWhole(ds->id);
    const std::vector<int> channels = fluorescenceChannels(reader);
    calcDockWidget->setRefineEnabled(idle && !channels.empty());

    // The table shows the shown dataset's own matrix, built anew when another
    // dataset is shown; for the same dataset it keeps what the user typed,
    // also after a compensation that failed.
    if (crosstalkTableDatasetId != ds->id) {
        crosstalkTableDatasetId = ds->id;
        calcDockWidget->setupCrosstalkTable(channels);
        // A stored matrix only fits a table of the same channels.
        if (ds->ctcApplied && ds->ctcChannels == channels && ds->spilloverMatrix.rows() == channels.size())
            calcDockWidget->setCrosstalkMatrix(ds->spilloverMatrix, channels);
    }
    calcDockWidget->setCompensateEnabled(idle && channels.size() >= 2);

    const bool emodAvailable = emodulusAvailable(*ds);
    calcDockWidget->setEmodulusEnabled(idle && emodulusEngine->isAvailable() && emodAvailable);
    calcDockWidget->setAssessQualityEnabled(idle && emodulusEngine->isAvailable() && ds->emodApplied);
    if (emodAvailable)
        calcDockWidget->showDatasetParameters(ds->metadata, reader->hasFeature("temp"));
    calcDockWidget->setFourierDeformEnabled(idle && fourierDeform->isAvailable() && reader->hasMask());
    calcDockWidget->setImageFeaturesEnabled(idle && imageFeatures->isAvailable() && reader->hasImage() && reader->hasMask());
    updateDeformationSources();
}

bool MainWindow::emodulusAvailable(const DatasetEntry& ds)
{
    const auto region = ds.metadata.setup.find("chip region");
    if (region != ds.metadata.setup.end() && region->second == "reservoir")
        return false;
    return ds.reader && ds.reader->hasFeature("area_um") && ds.reader->hasFeature("deform");
}

bool MainWindow::startCalculation(std::function<void()> work, std::function<void()> completion)
{
    return startCalculationOn(nullptr, [work = std::move(work)](const std::atomic<bool>&) { work(); },
                              std::move(completion));
}

bool MainWindow::startCalculationOn(const RTDCReader* reader, CalculationWork work, std::function<void()> completion)
{
    if (calcRunning)
        return false;   // one at a time; the request is dropped
    calcRunning = true;
    calcReader = reader;
    calcCompletion = std::move(completion);
    auto stop = std::make_shared<std::atomic<bool>>(false);
    calcStopRequested = stop;
    auto error = std::make_shared<QString>();
    calcError = error;
    // An exception must not stay in the future: whoever waits for it later
    // (clearing, closing, the destructor) would have it thrown at them. Its
    // text goes to the completion instead.
    calcWatcher->setFuture(QtConcurrent::run([work = std::move(work), error, stop] {
        try {
            work(*stop);
        } catch (const std::exception& e) {
            *error = QString::fromUtf8(e.what());
            if (error->isEmpty())
                *error = QStringLiteral("An unknown error occurred.");
        } catch (...) {
            *error = QStringLiteral("An unknown error occurred.");
        }
    }));
    return true;
}

void MainWindow::onCalcFinished()
{
    // A calculation stopped for closing has nothing left to report. An end
    // posted by an abandoned calculation may arrive after the next one began:
    // it is not the running one's.
    if (!calcRunning || closing || !calcWatcher->future().isFinished())
        return;
    calcRunning = false;
    calcReader = nullptr;
    calcStopRequested.reset();
    std::function<void()> completion = std::move(calcCompletion);
    calcCompletion = nullptr;
    calcDockWidget->resetProgress();   // whatever the outcome, before any message about it
    const QString error = calcError ? *calcError : QString();
    if (!error.isEmpty()) {
        qCritical().noquote() << "Calculation failed:" << error;
        onUnhandledException(QStringLiteral("Calculation Error"), error);
    }
    // The completion runs after a failure too: it gives the controls back.
    if (completion)
        completion();
    calcError.reset();
    // The queue goes on, with a dataset shown meanwhile at its head.
    startNextRecomputation();
}

bool MainWindow::calculationFailed() const
{
    return calcError && !calcError->isEmpty();
}

void MainWindow::setCalcProgressValue(int value)
{
    calcDockWidget->progressBar->setValue(value);
}

void MainWindow::setCalcProgressFormat(int datasetNumber, int datasetCount)
{
    calcDockWidget->progressBar->setFormat(
        QStringLiteral("Dataset %1 of %2 \u2014 %p%").arg(datasetNumber).arg(datasetCount));
}

void MainWindow::connectProgress(QObject* engine)
{
    // The engines emit from pool threads; the connection queues to the GUI thread.
    connect(engine, SIGNAL(progressChanged(int)), calcDockWidget->progressBar, SLOT(setValue(int)), Qt::UniqueConnection);
}

DatasetEntry* MainWindow::calculationTarget(const QString& title)
{
    DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader) {
        QMessageBox::information(this, title, QStringLiteral("Open a dataset first."));
        return nullptr;
    }
    switch (datasetReadiness(ds->id)) {
    case DatasetReadiness::Loading:
    case DatasetReadiness::SessionPending:
        QMessageBox::information(this, title, QStringLiteral("The dataset is still loading."));
        return nullptr;
    case DatasetReadiness::Calculating:   // its restored calculations come first
        QMessageBox::information(this, title, QStringLiteral("Another calculation is running."));
        return nullptr;
    default:
        break;
    }
    if (calcRunning) {
        QMessageBox::information(this, title, QStringLiteral("Another calculation is running."));
        return nullptr;
    }
    return ds;
}

void MainWindow::launchCalculation(DatasetEntry* ds, QObject* engine, const QString& title, const QString& failure,
                                   CalculationCompute compute, std::function<void(DatasetEntry*)> markApplied,
                                   std::function<bool(const std::string&)> zoomReset)
{
    connectProgress(engine);
    setCalcProgressFormat(1, 1);
    setCalcProgressValue(0);
    // The task holds the reader itself, never the entry: the dataset may be
    // removed while it runs (then the calculation stops, unless a duplicate
    // on the same reader is left).
    std::shared_ptr<RTDCReader> reader = ds->reader;
    auto ok = std::make_shared<bool>(false);
    startCalculationOn(reader.get(),
                       [reader, compute, ok](const std::atomic<bool>& stop) { *ok = compute(reader.get(), stop); },
                       [this, reader = reader.get(), ok, title, failure, markApplied, zoomReset] {
                           // The columns are in the reader: every dataset on it,
                           // a duplicate too, has them and says so in a session.
                           if (*ok)
                               for (const auto& entry : datasetEntries)
                                   if (entry->reader.get() == reader)
                                       markApplied(entry.get());
                           if (!*ok && !calculationFailed())   // an exception has had its own box
                               QMessageBox::warning(this, title, failure);
                           updateCalculationControls();   // off while it ran, whichever dataset is shown now
                           zoomResetHook = zoomReset;
                           refreshFeaturesAndPlot();
                       });
    updateCalculationControls();   // buttons stay off while it runs
}

namespace {

std::function<bool(const std::string&)> suffixIs(const std::string& suffix)
{
    return [suffix](const std::string& f) {
        return f.size() > suffix.size() && f.compare(f.size() - suffix.size(), suffix.size(), suffix) == 0;
    };
}

} // namespace

void MainWindow::onRefineFluorescence()
{
    const QString title = QStringLiteral("Refine Fluorescence");
    DatasetEntry* ds = calculationTarget(title);
    if (!ds)
        return;
    const RTDCMetadata metadata = ds->metadata;
    const RefinementSettings settings = calcDockWidget->refinementSettings();
    FLRefinement* engine = flRefinement;
    launchCalculation(ds, engine, title, QStringLiteral("The fluorescence peaks could not be refined."),
                      [engine, metadata, settings](RTDCReader* r, const std::atomic<bool>& stop) {
                          return engine->compute(r, metadata, settings, &stop);
                      },
                      [](DatasetEntry* t) { t->flRefinementApplied = true; }, suffixIs("_rf"));
}

void MainWindow::onCompensateCrosstalk()
{
    const QString title = QStringLiteral("Compensate Crosstalk");
    DatasetEntry* ds = calculationTarget(title);
    if (!ds)
        return;
    const std::vector<int> channels = calcDockWidget->crosstalkChannels();
    if (channels.size() < 2) {
        QMessageBox::warning(this, title, QStringLiteral("Crosstalk compensation needs at least two fluorescence channels."));
        return;
    }
    QString invalidCell;
    const std::optional<SpilloverMatrix> entered = calcDockWidget->crosstalkMatrix(&invalidCell);
    if (!entered) {
        QMessageBox::warning(this, title,
                             QStringLiteral("The spillover entry %1 is not a number.\n\n"
                                            "Enter each share as a plain number, for example 0.15.")
                                 .arg(invalidCell));
        return;
    }
    const SpilloverMatrix matrix = *entered;
    FLCompensation* engine = flCompensation;
    launchCalculation(ds, engine, title,
                      QStringLiteral("The crosstalk could not be compensated: the spillover matrix cannot be inverted "
                                     "or a fluorescence peak column is missing."),
                      [engine, channels, matrix](RTDCReader* r, const std::atomic<bool>&) {
                          return engine->compute(r, channels, matrix);
                      },
                      [channels, matrix](DatasetEntry* t) {
                          t->ctcApplied = true;
                          t->ctcChannels = channels;
                          t->spilloverMatrix = matrix;
                      },
                      suffixIs("_ctc"));
}

void MainWindow::onComputeEmodulus()
{
    const QString title = QStringLiteral("Young's Modulus");
    DatasetEntry* ds = calculationTarget(title);
    if (!ds)
        return;
    const EModulusParams params = withMeasuredTemperature(calcDockWidget->emodulusParams(), ds->metadata);
    EModulus* engine = emodulusEngine;
    launchCalculation(ds, engine, title, QStringLiteral("Young's modulus could not be computed."),
                      [engine, params](RTDCReader* r, const std::atomic<bool>&) { return engine->compute(r, params); },
                      [params](DatasetEntry* t) {
                          t->emodApplied = true;
                          t->emodParams = params;
                      },
                      [](const std::string& f) { return f == "emodulus"; });
}

void MainWindow::onAssessEmodQuality()
{
    QMessageBox::information(this, QStringLiteral("Assess Quality"),
                             QStringLiteral("The quality assessment needs Young's modulus, which is not available in this build."));
}

void MainWindow::onComputeFourierDeform()
{
    const QString title = QStringLiteral("Fourier Deformation");
    DatasetEntry* ds = calculationTarget(title);
    if (!ds)
        return;
    FourierDeform* engine = fourierDeform;
    launchCalculation(ds, engine, title, QStringLiteral("The Fourier deformation could not be computed."),
                      [engine](RTDCReader* r, const std::atomic<bool>&) { return engine->compute(r); },
                      [](DatasetEntry* t) { t->fcDeformApplied = true; }, nullptr);
}

void MainWindow::onComputeImageFeatures()
{
    const QString title = QStringLiteral("Image Features");
    DatasetEntry* ds = calculationTarget(title);
    if (!ds)
        return;
    ImageFeatures* engine = imageFeatures;
    launchCalculation(ds, engine, title, QStringLiteral("The image features could not be computed."),
                      [engine](RTDCReader* r, const std::atomic<bool>&) { return engine->compute(r); },
                      [](DatasetEntry* t) { t->imageFeaturesApplied = true; }, nullptr);
}

void MainWindow::onComputeDimReduction()
{
    QMessageBox::information(this, QStringLiteral("Dimension Reduction"),
                             QStringLiteral("Dimension reduction is not available in this build."));
}

void MainWindow::onSaveDimRedReference()
{
    onComputeDimReduction();
}

void MainWindow::onLoadDimRedReference()
{
    onComputeDimReduction();
}

// ---------------------------------------------------------------------------
// Calculations that a loaded session marks as applied

namespace {

using Part = MainWindow::CalculationPart;

QString partName(Part part)
{
    switch (part) {
    case Part::Refinement: return QStringLiteral("fluorescence refinement");
    case Part::Compensation: return QStringLiteral("crosstalk compensation");
    case Part::Fourier: return QStringLiteral("Fourier deformation");
    case Part::Emodulus: return QStringLiteral("Young's modulus");
    case Part::ImageFeatures: return QStringLiteral("image features");
    }
    return QString();
}

// The entry's applied flag of the part (const or not, as the entry).
template <typename Entry>
auto& appliedFlag(Entry& ds, Part part)
{
    switch (part) {
    case Part::Refinement: return ds.flRefinementApplied;
    case Part::Compensation: return ds.ctcApplied;
    case Part::Fourier: return ds.fcDeformApplied;
    case Part::Emodulus: return ds.emodApplied;
    case Part::ImageFeatures: break;
    }
    return ds.imageFeaturesApplied;
}

// Copies the state that one part was computed with: its flag and parameters.
void copyCalculationPart(const DatasetEntry& from, DatasetEntry& to, Part part)
{
    appliedFlag(to, part) = appliedFlag(from, part);
    if (part == Part::Compensation) {
        to.ctcChannels = from.ctcChannels;
        to.spilloverMatrix = from.spilloverMatrix;
    } else if (part == Part::Emodulus) {
        to.emodParams = from.emodParams;
    }
}

// What a dataset's marked calculations still lack in its reader, copied from
// the entry so that a pool thread can compute it without touching the entry.
// The engines keep no state between calls and the reader guards itself.
struct Recomputation
{
    std::shared_ptr<RTDCReader> reader;
    RTDCMetadata metadata;
    FLRefinement* refinement = nullptr;       // each engine set only when its part is missing
    FLCompensation* compensation = nullptr;
    FourierDeform* fourier = nullptr;
    EModulus* emodulus = nullptr;
    ImageFeatures* imageFeatures = nullptr;
    std::vector<int> channels;
    SpilloverMatrix spillover;
    EModulusParams emodParams;
    // Marked parts the dataset cannot compute at all (a saved matrix that does
    // not fit its channels, no masks for the Fourier deformation, ...).
    std::vector<Part> impossible;

    bool empty() const
    {
        return !refinement && !compensation && !fourier && !emodulus && !imageFeatures && impossible.empty();
    }

    // The parts that will be computed.
    std::vector<Part> parts() const
    {
        std::vector<Part> computed;
        for (const auto& [engine, part] : {std::pair<const void*, Part>{refinement, Part::Refinement},
                                           {compensation, Part::Compensation}, {fourier, Part::Fourier},
                                           {emodulus, Part::Emodulus}, {imageFeatures, Part::ImageFeatures}})
            if (engine)
                computed.push_back(part);
        return computed;
    }

    // Every part counts as failed until it has succeeded, so a part that
    // throws leaves itself and those after it in the list. Once a stop is
    // requested no further part begins (the result is dropped anyway).
    void run(std::vector<Part>& failed, const std::atomic<bool>& stop) const
    {
        failed = impossible;
        const std::vector<Part> computed = parts();
        failed.insert(failed.end(), computed.begin(), computed.end());
        const auto succeeded = [&failed](bool ok, Part part) {
            if (ok)
                failed.erase(std::remove(failed.begin(), failed.end(), part), failed.end());
        };
        const auto due = [&stop](const void* engine) { return engine && !stop.load(); };
        RTDCReader* r = reader.get();
        if (due(refinement))   // a session recomputes with the defaults
            succeeded(refinement->compute(r, metadata, RefinementSettings(), &stop), Part::Refinement);
        if (due(compensation))
            succeeded(compensation->compute(r, channels, spillover), Part::Compensation);
        if (due(fourier))
            succeeded(fourier->compute(r), Part::Fourier);
        if (due(emodulus))
            succeeded(emodulus->compute(r, emodParams), Part::Emodulus);
        if (due(imageFeatures))
            succeeded(imageFeatures->compute(r), Part::ImageFeatures);
    }
};

bool hasComputedRefinement(const RTDCReader& reader)
{
    for (const std::string& name : reader.features())
        if (name.size() >= 8 && name.compare(name.size() - 3, 3, "_rf") == 0 && reader.isComputedFeature(name))
            return true;
    return false;
}

bool hasComputedCompensation(const RTDCReader& reader, const std::vector<int>& channels)
{
    for (int c : channels)
        if (reader.isComputedFeature(FLCompensation::featureName(c)))
            return true;
    return false;
}

Recomputation outstandingCalculations(const MainWindow& window, const DatasetEntry& ds)
{
    Recomputation todo;
    // Asked on every plot update: a dataset that marks nothing is done at once.
    const bool anyMarked = ds.flRefinementApplied || ds.ctcApplied || ds.fcDeformApplied || ds.emodApplied
                           || ds.imageFeaturesApplied;
    if (!ds.reader || !ds.loaded || !anyMarked)
        return todo;
    const RTDCReader& reader = *ds.reader;
    const std::vector<int> channels = MainWindow::fluorescenceChannels(&reader);

    // The dataset's own saved state must fit its file before columns that
    // another dataset on the same reader computed count as its own: they may
    // have been computed with that dataset's settings.
    if (ds.flRefinementApplied) {
        if (channels.empty()) {
            todo.impossible.push_back(Part::Refinement);
        } else if (!hasComputedRefinement(reader)) {
            todo.refinement = window.flRefinement;
            todo.metadata = ds.metadata;
        }
    }
    if (ds.ctcApplied) {
        if (channels.size() < 2 || ds.ctcChannels != channels || ds.spilloverMatrix.rows() != channels.size()) {
            todo.impossible.push_back(Part::Compensation);
        } else if (!hasComputedCompensation(reader, channels)) {
            todo.compensation = window.flCompensation;
            todo.channels = channels;
            todo.spillover = ds.spilloverMatrix;
        }
    }
    if (ds.fcDeformApplied) {
        if (!reader.hasMask())
            todo.impossible.push_back(Part::Fourier);
        else if (!reader.isComputedFeature("deform_fc"))
            todo.fourier = window.fourierDeform;
    }
    if (ds.emodApplied) {
        if (!MainWindow::emodulusAvailable(ds) || !reader.hasFeature(ds.emodParams.deformFeature)) {
            todo.impossible.push_back(Part::Emodulus);
        } else if (!reader.isComputedFeature("emodulus")) {
            todo.emodulus = window.emodulusEngine;
            todo.emodParams = withMeasuredTemperature(ds.emodParams, ds.metadata);
        }
    }
    if (ds.imageFeaturesApplied) {
        if (!reader.hasImage() || !reader.hasMask())
            todo.impossible.push_back(Part::ImageFeatures);
        else if (!reader.isComputedFeature(ImageFeatures::featureNames().front()))
            todo.imageFeatures = window.imageFeatures;
    }
    if (!todo.empty())
        todo.reader = ds.reader;
    return todo;
}

// The columns a part stores when computed for the dataset; none for a part
// this build cannot compute, whose restoring fails.
std::vector<std::string> partColumns(const MainWindow& window, const DatasetEntry& ds, Part part)
{
    switch (part) {
    case Part::Refinement:
        return FLRefinement::featureNames(*ds.reader);
    case Part::Compensation: {
        std::vector<std::string> names;
        for (int c : ds.ctcChannels)
            names.push_back(FLCompensation::featureName(c));
        return names;
    }
    case Part::Fourier:
        if (window.fourierDeform->isAvailable())
            return {"deform_odd", "deform_even", "deform_fc"};
        break;
    case Part::Emodulus:
        if (window.emodulusEngine->isAvailable())
            return {"emodulus"};
        break;
    case Part::ImageFeatures:
        if (window.imageFeatures->isAvailable())
            return ImageFeatures::featureNames();
        break;
    }
    return {};
}

} // namespace

std::vector<MainWindow::CalculationPart> MainWindow::awaitedParts(const DatasetEntry& ds) const
{
    std::vector<Part> parts;
    if (ds.id == recomputingId)
        parts = recomputingParts;
    if (!recomputeAttempted.count(ds.id))
        for (Part part : outstandingCalculations(*this, ds).parts())
            if (std::find(parts.begin(), parts.end(), part) == parts.end())
                parts.push_back(part);
    return parts;
}

std::vector<std::string> MainWindow::columnsToCome(const DatasetEntry& ds) const
{
    std::vector<std::string> columns;
    if (!ds.reader)
        return columns;
    for (int id : awaitedRecomputations(ds)) {
        const DatasetEntry* calculating = findDatasetById(id);
        for (Part part : awaitedParts(*calculating))
            for (const std::string& name : partColumns(*this, *calculating, part))
                if (!ds.reader->hasFeature(name) && std::find(columns.begin(), columns.end(), name) == columns.end())
                    columns.push_back(name);
    }
    return columns;
}

void MainWindow::passAwaitedCalculationsToCopies(const DatasetEntry& closing)
{
    const std::vector<Part> parts = awaitedParts(closing);
    if (parts.empty())
        return;
    for (int id : shareRestoredCalculations(closing, parts))
        queueInPlaceOf(closing.id, id);
}

std::vector<int> MainWindow::shareRestoredCalculations(const DatasetEntry& source,
                                                       const std::vector<CalculationPart>& parts)
{
    std::vector<int> took;
    for (const auto& entry : datasetEntries)
        if (entry.get() != &source && entry->reader == source.reader && takeCalculationParts(source, *entry, parts))
            took.push_back(entry->id);
    return took;
}

bool MainWindow::takeCalculationParts(const DatasetEntry& from, DatasetEntry& to, const std::vector<CalculationPart>& parts)
{
    // A part it marks keeps its own state, and one whose own restore failed
    // stays unrestored, as the user was told.
    const std::vector<Part> unrestored = unrestoredParts(to);
    bool took = false;
    for (Part part : parts)
        if (!appliedFlag(to, part) && std::find(unrestored.begin(), unrestored.end(), part) == unrestored.end()) {
            copyCalculationPart(from, to, part);
            calculationsTakenFrom[to.id][part] = takenFrom(from, part).value_or(from.displayName);
            took = true;
        }
    if (took && to.id == activeDatasetId())
        crosstalkTableDatasetId = -1;   // the table shows the matrix it took
    return took;
}

void MainWindow::queueInPlaceOf(int closingId, int datasetId)
{
    // A running recomputation is handed over once its dataset is gone.
    if (closingId == recomputingId || datasetId == recomputingId
        || std::find(recomputeQueue.begin(), recomputeQueue.end(), datasetId) != recomputeQueue.end())
        return;
    const auto place = std::find(recomputeQueue.begin(), recomputeQueue.end(), closingId);
    if (place != recomputeQueue.end())
        *place = datasetId;
    else
        recomputeQueue.push_back(datasetId);
}

bool MainWindow::recomputationPending(int datasetId) const
{
    if (datasetId == recomputingId)
        return true;
    const DatasetEntry* ds = findDatasetById(datasetId);
    return ds && !recomputeAttempted.count(datasetId) && !outstandingCalculations(*this, *ds).empty();
}

void MainWindow::settleRecomputation(int datasetId, const std::vector<CalculationPart>& failed)
{
    DatasetEntry* ds = findDatasetById(datasetId);
    if (!ds || failed.empty())
        return;
    // A re-saved session must not claim what the dataset does not have.
    std::vector<CalculationPart>& record = failedRecomputations[datasetId];
    // Each part is named with the dataset whose session entry saved it: a
    // copy may have taken it over from its removed source.
    std::map<std::optional<QString>, QStringList> namesBySavingDataset;   // none: its own entry
    for (CalculationPart part : failed) {
        appliedFlag(*ds, part) = false;
        if (std::find(record.begin(), record.end(), part) == record.end())
            record.push_back(part);
        namesBySavingDataset[takenFrom(*ds, part)] << partName(part);
    }
    QStringList sentences;
    for (const auto& [saving, names] : namesBySavingDataset) {
        const QString what = names.join(QStringLiteral(", "));
        sentences << (!saving ? QStringLiteral("The %1 of dataset \"%2\" saved in the session could not be restored.")
                                    .arg(what, ds->displayName)
                              : QStringLiteral("The %1 of dataset \"%2\" saved in the session, which \"%3\" took "
                                               "over when \"%2\" was removed, could not be restored.")
                                    .arg(what, *saving, ds->displayName));
    }
    const QString text =
        sentences.join(QLatin1Char('\n')) + QStringLiteral("\n\nFilter rules on its columns are not applied.");
    qWarning().noquote() << text;
    // Told once the current event has been handled: this may run inside a
    // plot update or an export.
    QTimer::singleShot(0, this, [this, text] { QMessageBox::warning(this, QStringLiteral("Load Session"), text); });
}

std::vector<MainWindow::CalculationPart> MainWindow::unrestoredParts(const DatasetEntry& ds) const
{
    std::vector<Part> parts;
    const auto it = failedRecomputations.find(ds.id);
    if (it != failedRecomputations.end())
        for (CalculationPart part : it->second)
            if (!appliedFlag(ds, part))   // applied again by the user since: no longer missing
                parts.push_back(part);
    return parts;
}

QStringList MainWindow::unrestoredCalculations(const DatasetEntry& ds) const
{
    QStringList names;
    for (CalculationPart part : unrestoredParts(ds))
        names << partName(part);
    return names;
}

std::vector<std::string> MainWindow::unrestoredColumns(const DatasetEntry& ds) const
{
    std::vector<std::string> columns;
    if (!ds.reader)
        return columns;
    for (CalculationPart part : unrestoredParts(ds)) {
        // Every channel of the file: the channels the session saved need not fit it.
        if (part == Part::Compensation) {
            for (int c : fluorescenceChannels(ds.reader.get()))
                columns.push_back(FLCompensation::featureName(c));
        } else {
            const std::vector<std::string> names = partColumns(*this, ds, part);
            columns.insert(columns.end(), names.begin(), names.end());
        }
    }
    return columns;
}

std::optional<QString> MainWindow::takenFrom(const DatasetEntry& ds, CalculationPart part) const
{
    const auto taken = calculationsTakenFrom.find(ds.id);
    if (taken != calculationsTakenFrom.end())
        if (const auto from = taken->second.find(part); from != taken->second.end())
            return from->second;
    return std::nullopt;
}

void MainWindow::onRecomputedColumns(const RTDCReader* reader)
{
    DatasetEntry* shown = activeEntry();
    if (!shown || shown->reader.get() != reader || !isDatasetWhole(shown->id)) {
        // Tool windows show datasets that waited for these columns: they fill them in.
        refreshToolWindows();
        return;
    }
    if (shown->id == panelsWaitingId)
        refreshPanelsForDataset();   // its saved axes and rules can be shown now
    else
        refreshFeaturesAndPlot();    // a dataset on the same reader: its lists gain the columns
}

void MainWindow::stopCalculations()
{
    closing = true;
    recomputeQueue.clear();
    // Only the refinement runs long enough to hold up closing; the other
    // engines finish within moments. The running calculation is waited for
    // with the preload (waitForBackgroundWork); those abandoned before were
    // told to stop long ago and are at most one event from their end.
    if (calcStopRequested)
        calcStopRequested->store(true);
    for (QFuture<void>& abandoned : abandonedCalculations)
        abandoned.waitForFinished();
    abandonedCalculations.clear();
}

void MainWindow::abandonRunningCalculation()
{
    if (!calcRunning)
        return;
    if (calcStopRequested)
        calcStopRequested->store(true);
    // It returns within one event and its end is not reported; until then it
    // still uses an engine.
    abandonedCalculations.removeIf([](const QFuture<void>& f) { return f.isFinished(); });
    abandonedCalculations.append(calcWatcher->future());
    calcRunning = false;
    calcReader = nullptr;
    calcStopRequested.reset();
    calcCompletion = nullptr;
    calcError.reset();
    recomputingId = -1;
    recomputingParts.clear();
    calcDockWidget->resetProgress();
}

bool MainWindow::handRunningCalculationToOpenDataset()
{
    const bool restoring = recomputingId >= 0;
    if (restoring && findDatasetById(recomputingId))
        return true;
    for (const auto& entry : datasetEntries) {
        if (entry->reader.get() != calcReader)
            continue;
        // The user's calculation marks every dataset on its reader when it ends.
        if (!restoring)
            return true;
        // A duplicate that awaits some of these parts itself takes the run
        // over; what it still lacks afterwards is looked at once it ends.
        const std::vector<Part> awaited = outstandingCalculations(*this, *entry).parts();
        const bool needed = !recomputeAttempted.count(entry->id)
                            && std::any_of(awaited.begin(), awaited.end(), [this](Part part) {
                                   return std::find(recomputingParts.begin(), recomputingParts.end(), part)
                                          != recomputingParts.end();
                               });
        if (needed) {
            recomputingId = entry->id;
            if (std::find(recomputeQueue.begin(), recomputeQueue.end(), entry->id) == recomputeQueue.end())
                recomputeQueue.push_front(entry->id);
            return true;
        }
    }
    return false;
}

void MainWindow::stopCalculationOfClosedDatasets()
{
    // A calculation that serves no dataset has nothing to be closed under it.
    if (!calcRunning || !calcReader)
        return;
    if (!handRunningCalculationToOpenDataset()) {
        abandonRunningCalculation();
        updateCalculationControls();
        startNextRecomputation();
    }
    // The shown dataset may have waited for it: it is whole now, or says
    // what it waits for now.
    if (const DatasetEntry* shown = activeEntry(); shown && shown->id == panelsWaitingId)
        refreshPanelsForDataset();
}

void MainWindow::scheduleRecomputations()
{
    for (const auto& entry : datasetEntries)
        if (recomputationPending(entry->id) && entry->id != recomputingId
            && std::find(recomputeQueue.begin(), recomputeQueue.end(), entry->id) == recomputeQueue.end())
            recomputeQueue.push_back(entry->id);
    startNextRecomputation();
}

QString MainWindow::restoringCalculationsText(const DatasetEntry& ds) const
{
    // Another dataset's calculation may hold it up for a while: the user
    // learns why nothing is drawn yet.
    if (recomputingId == ds.id)
        return QStringLiteral("Loading: %1 - Restoring calculations...").arg(ds.displayName);
    return QStringLiteral("Loading: %1 - Waiting for the running calculation...").arg(ds.displayName);
}

void MainWindow::recomputeFirst(int datasetId)
{
    if (datasetId != recomputingId) {
        recomputeQueue.erase(std::remove(recomputeQueue.begin(), recomputeQueue.end(), datasetId),
                             recomputeQueue.end());
        recomputeQueue.push_front(datasetId);
    }
    startNextRecomputation();
}

void MainWindow::startNextRecomputation()
{
    while (!calcRunning && !recomputeQueue.empty()) {
        const int id = recomputeQueue.front();
        recomputeQueue.pop_front();
        const DatasetEntry* ds = findDatasetById(id);
        if (!ds || recomputeAttempted.count(id))
            continue;
        const Recomputation todo = outstandingCalculations(*this, *ds);
        if (todo.empty())
            continue;
        recomputeAttempted.insert(id);
        for (QObject* engine : std::initializer_list<QObject*>{flRefinement, flCompensation, fourierDeform,
                                                                emodulusEngine, imageFeatures})
            connectProgress(engine);
        ++recomputeStarted;
        setCalcProgressFormat(recomputeStarted, recomputeStarted + int(recomputeQueue.size()));
        setCalcProgressValue(0);
        recomputingId = id;
        recomputingParts = todo.parts();
        if (const DatasetEntry* shown = activeEntry(); shown && shown->id == id && id == panelsWaitingId)
            infoLabel->setText(restoringCalculationsText(*shown));
        auto failed = std::make_shared<std::vector<CalculationPart>>();
        startCalculationOn(todo.reader.get(),
                           [todo, failed](const std::atomic<bool>& stop) { todo.run(*failed, stop); },
                           [this, id, failed, computed = todo.parts(), reader = todo.reader.get()] {
                               const int ranFor = recomputingId;   // a copy when its dataset was closed
                               recomputingId = -1;
                               recomputingParts.clear();
                               settleRecomputation(id, *failed);   // nothing when a duplicate took it over
                               // Copies that stored no state of their own show these
                               // columns too: a saved session must say so.
                               if (const DatasetEntry* ran = findDatasetById(ranFor)) {
                                   std::vector<CalculationPart> succeeded;
                                   for (CalculationPart part : computed)
                                       if (std::find(failed->begin(), failed->end(), part) == failed->end())
                                           succeeded.push_back(part);
                                   shareRestoredCalculations(*ran, succeeded);
                               }
                               updateCalculationControls();
                               onRecomputedColumns(reader);
                           });
        updateCalculationControls();   // buttons stay off while it runs
    }
    if (recomputeQueue.empty() && !calcRunning)
        recomputeStarted = 0;
}

} // namespace Tessary
