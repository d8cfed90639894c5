// Whether a dataset is whole, and the one gate that every action on datasets
// passes: a dataset still preloading, waiting for its session state or for its
// restored calculations is waited for behind a progress dialog, or the action
// is refused while a session is being opened.
#include "app/mainwindow.h"

#include "calc/calculationsdockwidget.h"
#include "rtdc/rtdcreader.h"

#include <QEventLoop>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QTimer>

#include <algorithm>

namespace Tessary {

MainWindow::DatasetReadiness MainWindow::datasetReadiness(int datasetId) const
{
    const DatasetEntry* ds = findDatasetById(datasetId);
    if (!ds || !ds->reader)
        return DatasetReadiness::Missing;
    if (sessionStatePending(*ds))
        return DatasetReadiness::SessionPending;
    if (!ds->loaded)
        return DatasetReadiness::Loading;
    return awaitedRecomputations(*ds).empty() ? DatasetReadiness::Whole : DatasetReadiness::Calculating;
}

std::vector<int> MainWindow::awaitedRecomputations(const DatasetEntry& ds) const
{
    // A duplicate shares its source's reader, and with it the columns that
    // the source's calculations are still to bring.
    std::vector<int> ids;
    for (const auto& other : datasetEntries)
        if (other->reader == ds.reader && recomputationPending(other->id))
            ids.push_back(other->id);
    return ids;
}

bool MainWindow::sessionStatePending(const DatasetEntry& entry) const
{
    if (!restoringSession || entry.loaded)
        return false;
    for (auto it = sessionIndexToId.cbegin(); it != sessionIndexToId.cend(); ++it)
        if (it.value() == entry.id)
            return true;
    return false;
}

bool MainWindow::panelsShowActiveDataset() const
{
    const DatasetEntry* ds = activeEntry();
    return ds && ds->id != panelsWaitingId && isDatasetWhole(ds->id);
}

// A session being opened is only half in place (its groups and per-dataset
// state come last): saved now, it would overwrite its own file with a part of
// it; exported now, its datasets would go out without their filters.
bool MainWindow::refuseWhileRestoring(const QString& title, const QString& what)
{
    if (!restoringSession)
        return false;
    QMessageBox::information(this, title,
                             QStringLiteral("A session is still being loaded. %1 once loading has finished.").arg(what));
    return true;
}

namespace {

// The dialog that an action waits behind: it keeps the window painted and
// offers Cancel while the datasets are completed on the pool.
class WaitDialog : public QProgressDialog
{
public:
    WaitDialog(const QString& title, int steps, QWidget* parent)
        : QProgressDialog(QString(), QStringLiteral("Cancel"), 0, steps, parent)
    {
        setWindowTitle(title);
        setWindowModality(Qt::ApplicationModal);
        setMinimumDuration(0);
        setAutoClose(false);
        setAutoReset(false);
    }
};

} // namespace

bool MainWindow::awaitWholeDatasets(const std::vector<int>& datasetIds, const QString& title, const QString& what)
{
    if (refuseWhileRestoring(title, what))
        return false;
    if (closing)
        return false;
    const auto waitingFor = [this](int id) {
        const DatasetReadiness state = datasetReadiness(id);
        return state != DatasetReadiness::Whole && state != DatasetReadiness::Missing;
    };
    std::vector<int> waiting;
    std::copy_if(datasetIds.begin(), datasetIds.end(), std::back_inserter(waiting), waitingFor);
    if (waiting.empty())
        return true;
    // Their calculations are queued already; the wait only makes sure they run.
    scheduleRecomputations();

    const int total = int(waiting.size());
    const auto left = [&] { return int(std::count_if(waiting.begin(), waiting.end(), waitingFor)); };
    // Each dataset is a hundred steps; a calculation of one of them moves
    // the bar with its own progress.
    WaitDialog dialog(title, total * 100, this);
    QEventLoop loop;
    // Preloads and calculations end through the event loop.
    connect(calcWatcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    connect(preloadWatcher, &QFutureWatcherBase::finished, &loop, &QEventLoop::quit, Qt::QueuedConnection);
    connect(&dialog, &QProgressDialog::canceled, &loop, &QEventLoop::quit);
    QTimer poll;   // the bar moves meanwhile
    connect(&poll, &QTimer::timeout, &loop, &QEventLoop::quit);
    poll.start(200);
    for (int n = left(); n > 0 && !dialog.wasCanceled() && !closing; n = left()) {
        const bool calculating = std::any_of(waiting.begin(), waiting.end(), [this](int id) {
            return datasetReadiness(id) == DatasetReadiness::Calculating;
        });
        dialog.setLabelText(calculating ? QStringLiteral("Restoring the session's calculations (%1 of %2 datasets done)...")
                                              .arg(total - n)
                                              .arg(total)
                                        : QStringLiteral("Loading the datasets (%1 of %2 done)...")
                                              .arg(total - n)
                                              .arg(total));
        const bool oneOfThem = std::find(waiting.begin(), waiting.end(), recomputingId) != waiting.end();
        const int running = std::clamp(calcDockWidget->progressBar->value(), 0, 99);
        // Another dataset's calculation may come first for a long while: the
        // user sees that it moves.
        if (calculating && calcRunning && !oneOfThem)
            dialog.setLabelText(dialog.labelText()
                                + QStringLiteral("\nWaiting for the running calculation (%1%)...").arg(running));
        dialog.setValue((total - n) * 100 + (oneOfThem ? running : 0));
        loop.exec();
    }
    return !dialog.wasCanceled() && !closing;
}

QStringList MainWindow::unrestoredCalculationLines(const std::vector<int>& datasetIds) const
{
    QStringList lines;
    for (int id : datasetIds)
        if (const DatasetEntry* ds = findDatasetById(id))
            if (const QStringList names = unrestoredCalculations(*ds); !names.isEmpty())
                lines << QStringLiteral("%1: %2").arg(ds->displayName, names.join(QStringLiteral(", ")));
    return lines;
}

} // namespace Tessary
