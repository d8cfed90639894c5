// Exports: the kept events of datasets as .rtdc, TSV or AVI files, the plot
// as an image, and the statistical summary table. Everything runs on the GUI
// thread. Every file is written under a temporary name beside its target and
// renamed into place when complete, so a failed export never damages a file
// that was there before.
#include "app/mainwindow.h"

#include "app/displaytext.h"
#include "app/eventaviwriter.h"
#include "app/eventtsvwriter.h"
#include "app/exportmessage.h"
#include "app/exportprogress.h"
#include "app/statsummary.h"
#include "rtdc/checkedoutput.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/rtdcwriter.h"
#include "rtdc/stagedfile.h"
#include "widgets/filefailuretext.h"
#include "widgets/plotdocument.h"
#include "widgets/plotexportstyle.h"
#include "widgets/savedialoghelpers.h"
#include "widgets/scatterplot.h"

#include <QAction>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>

#include <qwt_plot_renderer.h>

namespace Tessary {

namespace {

const QString kExport = QStringLiteral("Export");
const QString kExportError = QStringLiteral("Export Error");

// Whether the folder holds an entry of that name: a link counts too, also
// one that leads nowhere or round in a loop, since a new file written under
// its name would land wherever it points.
bool nameTaken(const QString& path)
{
    const QFileInfo entry(path);
    return entry.exists() || entry.isSymLink();
}

// folder/RYXexport_<name>, or the first free folder/RYXexport_<base>_<n>.<suffix>.
QString freeExportPath(const QString& folder, const QString& sourceName)
{
    const QString first = QStringLiteral("RYXexport_") + sourceName;
    QString path = folder + QLatin1Char('/') + first;
    const QFileInfo info(first);
    for (int n = 2; nameTaken(path); ++n)
        path = folder + QLatin1Char('/') + info.completeBaseName() + QLatin1Char('_') + QString::number(n)
               + QLatin1Char('.') + info.suffix();
    return path;
}

// Why the custom folder of the options cannot take the files, or empty when
// it can (or none is used). A relative or empty folder would resolve against
// the working directory or the file-system root, so only an existing folder
// given by its full path is taken.
QString customFolderProblem(const ExportOptions& options)
{
    if (!options.useCustomDirectory)
        return {};
    const QString folder = QString::fromStdString(options.outputDirectory);
    if (folder.trimmed().isEmpty())
        return QStringLiteral("No custom export folder is given. Choose an existing folder.");
    if (QDir::isRelativePath(folder) || !QFileInfo(folder).isDir())
        return QStringLiteral("The custom export folder must be an existing folder given by its full path:\n%1")
            .arg(folder);
    return {};
}

} // namespace

void MainWindow::connectExportSignals()
{
    connect(exportPlotAction, &QAction::triggered, this, &MainWindow::exportPlot);
    connect(exportDataAction, &QAction::triggered, this, &MainWindow::exportData);
    connect(exportStatSummaryAction, &QAction::triggered, this, &MainWindow::exportStatSummary);
}

bool MainWindow::awaitDatasetsForExport(const QString& what)
{
    if (restoringSession || activeEntry())
        return awaitWholeDatasets({activeDatasetId()}, kExport, what);
    QMessageBox::warning(this, kExport, QStringLiteral("No loaded dataset available for export."));
    return false;
}

ColumnsToCome MainWindow::columnsToCome() const
{
    ColumnsToCome toCome;
    for (const auto& entry : datasetEntries)
        if (std::vector<std::string> columns = columnsToCome(*entry); !columns.empty())
            toCome[entry->id] = std::move(columns);
    return toCome;
}

std::vector<int> MainWindow::exportScopeIds(bool allDatasets) const
{
    if (allDatasets)
        return datasetIds();
    if (const DatasetEntry* ds = activeEntry())
        return {ds->id};
    return {};
}

bool MainWindow::warnOfUnrestoredCalculations(const std::vector<int>& datasetIds, const QString& done)
{
    const QStringList unrestored = unrestoredCalculationLines(datasetIds);
    if (unrestored.isEmpty())
        return false;
    QMessageBox::warning(this, kExport,
                         QStringLiteral("%1\n\nThese calculations of the session could not be restored, so "
                                        "their columns are missing and filter rules on them were not applied:\n%2")
                             .arg(done, unrestored.join(QLatin1Char('\n'))));
    return true;
}

EventFilter MainWindow::decidingRules(const DatasetEntry& entry) const
{
    const EventFilter filter = buildEffectiveFilter(&entry);
    if (!filter.isEnabled() || !entry.reader)
        return EventFilter();
    return filter.usableRulesOnly(filterColumns(filter, entry), size_t(entry.reader->eventCount()));
}

// ---------------------------------------------------------------------------
// Events

void MainWindow::exportData()
{
    // The dialog lists the current dataset's calculated columns.
    const QString what = QStringLiteral("Export the data");
    if (!awaitDatasetsForExport(what))
        return;
    DatasetEntry* active = activeEntry();
    if (!active)
        return;
    const bool expert = expertModeAction && expertModeAction->isChecked();
    ExportOptions options;
    {
        ExportDialog dialog(active, datasetEntries, expert, this,
                            lastExportOptions ? &*lastExportOptions : nullptr, columnsToCome());
        if (dialog.exec() != QDialog::Accepted)
            return;
        options = dialog.exportOptions();
    }
    lastExportOptions = options;
    const QString folderProblem = customFolderProblem(options);
    if (!folderProblem.isEmpty()) {
        QMessageBox::warning(this, kExport, folderProblem);
        return;
    }

    // Ids, not pointers: message boxes and the progress dialogs run the event
    // loop. Rules on calculated columns decide which events go out, so the
    // exported datasets, and only they, are waited for.
    const std::vector<int> ids = exportScopeIds(options.allDatasets);
    if (ids.empty() || !awaitWholeDatasets(ids, kExport, what))
        return;
    const int count = int(ids.size());
    ExportProgress progress(this, count);
    int exported = 0;
    for (int i = 0; i < count; ++i) {
        if (progress.wasCanceled())
            break;
        const DatasetEntry* ds = findDatasetById(ids[size_t(i)]);
        if (!ds)
            continue;
        progress.startDataset(i, options.allDatasets ? QStringLiteral("Exporting %1 (%2/%3)")
                                                           .arg(ds->displayName, QString::number(i + 1),
                                                                QString::number(count))
                                                     : QString());
        if (progress.wasCanceled())
            break;
        ds = findDatasetById(ids[size_t(i)]);
        if (ds && exportSingleDataset(ds, options, progress))
            ++exported;
    }
    const bool cancelled = progress.wasCanceled();
    progress.finish();
    // Only the files that were written count as exported.
    if (cancelled || exported == 0)
        return;
    // A dataset whose restored calculation is missing went out without the
    // rules on its columns: that is no plain success.
    if (warnOfUnrestoredCalculations(ids, options.allDatasets ? QStringLiteral("Exported %1 dataset(s).").arg(exported)
                                                              : QStringLiteral("Dataset exported.")))
        return;
    if (options.allDatasets)
        QMessageBox::information(this, kExport, QStringLiteral("Exported %1 dataset(s) successfully.").arg(exported));
    else
        QMessageBox::information(this, kExport, QStringLiteral("Dataset exported successfully."));
}

bool MainWindow::exportSingleDataset(const DatasetEntry* entry, const ExportOptions& options,
                                     ExportProgress& progress)
{
    if (!entry || !entry->reader || !entry->reader->isOpen())
        return false;
    const RTDCReader& reader = *entry->reader;
    const QFileInfo source(QString::fromStdString(entry->filePath));
    const QString folder =
        options.useCustomDirectory ? QString::fromStdString(options.outputDirectory) : source.absolutePath();
    QString name = source.fileName();
    if (options.formatTsv || options.formatAvi) {
        if (name.endsWith(QStringLiteral(".rtdc"), Qt::CaseInsensitive))
            name.chop(5);
        name += options.formatAvi ? QStringLiteral(".avi") : QStringLiteral(".tsv");
    }
    const QString path = freeExportPath(folder, name);
    const std::string pathUtf8 = path.toStdString();

    const std::vector<int> kept = filteredEventIndices(entry->id, false);
    if (kept.empty()) {
        QMessageBox::warning(progress.messageParent(), kExport,
                             QStringLiteral("No events pass the filter for: %1").arg(entry->displayName));
        return false;
    }

    std::vector<std::string> features;
    for (const std::string& feature : options.features)
        if (hasOwnColumn(*entry, feature))
            features.push_back(feature);

    if (options.formatTsv || options.formatAvi) {
        const ExportMessage message =
            options.formatTsv ? writeEventTsv(*entry, pathUtf8, features, kept, progress.reporter())
                              : writeEventAvi(*entry, pathUtf8, kept, options.mjpeg, options.skipDuplicateFrames,
                                              options.forReanalysis, progress.reporter());
        showExportMessage(progress.messageParent(), message);
        return message.isEmpty() && !progress.wasCanceled();
    }

    RTDCWriter writer;
    if (!writer.create(pathUtf8)) {
        showExportMessage(progress.messageParent(), ExportMessage::fileFailure(writer.fileFailure(), path));
        return false;
    }
    // The steps in the order they run, weighted by the time they usually take.
    const bool images = options.images && reader.hasImage();
    const bool masks = options.masks && reader.hasMask();
    const bool traces = options.traces && reader.hasTraces();
    const double total = 2.0 + (images ? 4.0 : 0.0) + (masks ? 2.0 : 0.0) + (traces ? 2.0 : 0.0);
    double done = 0.0;
    // Runs one of the long steps, which reports its share of the bar as it
    // goes; false once the user cancelled. A cancelled export ends at once:
    // the writer removes its unfinished file.
    using StepProgress = RTDCWriter::StepProgress;
    const auto step = [&](double weight, const std::function<void(const StepProgress&)>& write) {
        write([&progress, start = done, weight, total](double share) {
            return progress.report((start + weight * share) / total);
        });
        done += weight;
        return progress.report(done / total);
    };
    // A source may hold tens of thousands of attributes.
    if (!step(1.0, [&](const StepProgress& p) { writer.copyMetadata(reader, p); }))
        return false;
    // The record names only the rules that chose the events: one on a column
    // the dataset lacks (a calculation that could not be restored) kept all.
    if (const EventFilter deciding = decidingRules(*entry); deciding.ruleCount() > 0)
        writer.writeOfflineFilterMetadata(deciding);
    writer.writeExportMetadata(kept.size(), sampleNameChanged(*entry) ? entry->fullName.toStdString() : std::string());
    writer.writeScalarFeatures(features, kept, reader);
    done += 1.0;
    if (!progress.report(done / total))
        return false;
    if (images && !step(4.0, [&](const StepProgress& p) { writer.writeImages(reader, kept, p); }))
        return false;
    if (masks && !step(2.0, [&](const StepProgress& p) { writer.writeMasks(reader, kept, p); }))
        return false;
    if (traces && !step(2.0, [&](const StepProgress& p) { writer.writeTraces(reader, kept, p); }))
        return false;
    // The file only takes its name once complete: a failure here leaves no file.
    if (!writer.close()) {
        showExportMessage(progress.messageParent(), ExportMessage::fileFailure(writer.fileFailure(), path));
        return false;
    }
    // A file without parts of its source is no plain success: the user is
    // told what is missing (names from the file, cut for display).
    QStringList missing;
    const auto nameEach = [&missing](const QString& kind, const std::vector<std::string>& names) {
        for (const std::string& name : names)
            missing << QStringLiteral("%1 \"%2\"").arg(kind, shortenedText(QString::fromStdString(name), 100));
    };
    nameEach(QStringLiteral("attribute"), writer.leftOutAttributes());
    nameEach(QStringLiteral("feature"), writer.leftOutFeatures());
    nameEach(QStringLiteral("trace"), writer.leftOutTraces());
    // Frames that could not be read are blank in the file, unless none could
    // be read and the stack was left out.
    if (!writer.unreadableImages().empty())
        missing << unreadableFramesLine(QStringLiteral("image"), writer.unreadableImages(),
                                        writer.unreadableImages().size() < kept.size());
    if (!writer.unreadableMasks().empty())
        missing << unreadableFramesLine(QStringLiteral("mask"), writer.unreadableMasks(),
                                        writer.unreadableMasks().size() < kept.size());
    for (const auto& [name, events] : writer.unreadableTraceRows())
        missing << unreadableTraceRowsLine(shortenedText(QString::fromStdString(name), 100), events);
    if (missing.isEmpty())
        return true;
    showExportMessage(progress.messageParent(), ExportMessage::partsMissing(path, missing));
    return false;
}

// ---------------------------------------------------------------------------
// Plot

void MainWindow::exportPlot()
{
    // The plot of a dataset that is not whole is empty or another's.
    if (!activeEntry() || !awaitWholeDatasets({activeDatasetId()}, kExport, QStringLiteral("Export the plot")))
        return;
    const DatasetEntry* ds = activeEntry();
    if (!ds || !ds->reader || !ds->reader->isOpen())
        return;
    QString selectedFilter;
    QString path = QFileDialog::getSaveFileName(
        this, QStringLiteral("Export Plot"), QString(),
        QStringLiteral("PNG Image (*.png);;SVG Vector (*.svg);;PDF Document (*.pdf)"), &selectedFilter);
    if (path.isEmpty())
        return;
    path = ensureFilterSuffix(path, selectedFilter);
    const QString format = QFileInfo(path).suffix().toLower();

    // Neither the gates nor the highlighted event belong in the figure.
    scatterPlot->clearHighlight();
    scatterPlot->clearPolygonGates();
    const PlotStyleState style = applyExportPlotStyle(scatterPlot);
    QByteArray document;
    {
        QwtPlotRenderer renderer;
        configureExportRenderer(renderer);
        document = renderPlotDocument(renderer, scatterPlot, format, QSizeF(200.0, 150.0), 150);
    }
    restorePlotStyle(scatterPlot, style);
    updatePolygonOverlays();
    if (ds->currentEventIndex >= 0)
        highlightEvent(ds->currentEventIndex);

    // The figure is drawn in memory first: only a write that completes
    // replaces a file of that name.
    FileFailure failure;
    if (document.isEmpty()
        || !replaceFileContent(path.toStdString(), std::string_view(document.constData(), size_t(document.size())),
                               &failure)) {
        // An empty document is a drawing that failed: no system reason to give.
        const QString text = document.isEmpty() ? QStringLiteral("Failed to create: %1").arg(path)
                                                 : fileFailureText(failure, path);
        QMessageBox::critical(this, kExportError, text);
        return;
    }
    infoLabel->setText(QStringLiteral("Plot exported to: %1").arg(path));
}

// ---------------------------------------------------------------------------
// Statistical summary

void MainWindow::exportStatSummary()
{
    // The dialog lists the current dataset's calculated columns.
    const QString what = QStringLiteral("Export the summary");
    if (!awaitDatasetsForExport(what))
        return;
    DatasetEntry* active = activeEntry();
    if (!active)
        return;
    StatSummaryOptions options;
    {
        StatSummaryExportDialog dialog(active, datasetEntries, this,
                                       lastStatSummaryOptions ? &*lastStatSummaryOptions : nullptr, columnsToCome());
        if (dialog.exec() != QDialog::Accepted)
            return;
        options = dialog.exportOptions();
    }
    if (options.features.empty()) {
        QMessageBox::warning(this, kExport, QStringLiteral("No features selected."));
        return;
    }
    lastStatSummaryOptions = options;
    const std::vector<SummaryStatistic> statistics = chosenSummaryStatistics(options);
    if (statistics.empty()) {
        QMessageBox::warning(this, kExport, QStringLiteral("No statistics selected."));
        return;
    }

    // Rules on calculated columns select the events: the datasets of the
    // summary, and only they, are waited for.
    const std::vector<int> scopeIds = exportScopeIds(options.allDatasets);
    if (scopeIds.empty() || !awaitWholeDatasets(scopeIds, kExport, what))
        return;
    std::vector<const DatasetEntry*> rows;
    std::vector<int> rowIds;
    for (int id : scopeIds) {
        const DatasetEntry* ds = findDatasetById(id);
        if (ds && isDatasetWhole(id)) {
            rows.push_back(ds);
            rowIds.push_back(id);
        }
    }

    const QString path = QString::fromStdString(options.outputPath);
    // Which step failed and the system's reason, taken right after the failing call.
    const auto cannotWrite = [&](const FileFailure& failure) {
        QMessageBox::warning(this, kExport,
                             fileFailureText(failure, path, QStringLiteral("Could not open file for writing:\n%1")));
    };
    if (options.outputPath.empty()) {
        cannotWrite({FileFailure::Create, {}});
        return;
    }
    StagedFile staged(options.outputPath, ".tsv");
    {
        // Text mode (the platform's line ends), numbers without a decimal comma.
        CheckedOutput out(staged.path());
        if (!out.isOpen()) {
            cannotWrite(out.failure());
            return;
        }

        // Names and labels from files keep to one cell of one line.
        out << "Dataset";
        for (const std::string& feature : options.features) {
            std::string label = feature;
            for (const DatasetEntry* ds : rows) {
                if (ds->reader && ds->reader->hasFeature(feature)) {
                    const std::string text = ds->reader->featureLabel(feature);
                    if (!text.empty())
                        label = text;
                    break;
                }
            }
            label = oneLineText(label);
            for (const SummaryStatistic& statistic : statistics)
                out << '\t' << label << ' ' << statistic.name;
        }
        out << '\n';

        for (const DatasetEntry* ds : rows) {
            out << oneLineText(ds->fullName.toStdString());
            // The summary describes what the rules keep, even while the
            // dataset's filtering is switched off.
            const std::vector<int> kept = filteredEventIndices(ds->id, true);
            for (const std::string& feature : options.features) {
                if (!hasOwnColumn(*ds, feature)) {
                    out << std::string(statistics.size(), '\t');
                    continue;
                }
                const std::vector<double> values = sortedFiniteValues(ds->reader->readFeature(feature), kept);
                for (const SummaryStatistic& statistic : statistics) {
                    out << '\t';
                    if (statistic.isCount)
                        out << values.size();   // a count in full, never rounded to 6 digits
                    else if (!values.empty())
                        out << statistic.value(values);
                }
            }
            out << '\n';
        }
        if (!out.close()) {
            cannotWrite(out.failure());
            return;
        }
    }
    std::string error;
    if (!staged.commit(error)) {
        cannotWrite({FileFailure::Replace, error});
        return;
    }
    // Its rows count the events that the rules kept: a rule on a column that
    // could not be restored kept them all.
    if (warnOfUnrestoredCalculations(rowIds, QStringLiteral("Statistical summary exported to:\n%1").arg(path)))
        return;
    QMessageBox::information(this, kExport, QStringLiteral("Statistical summary exported to:\n%1").arg(path));
}

} // namespace Tessary
