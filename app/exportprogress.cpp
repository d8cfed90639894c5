#include "app/exportprogress.h"

#include <QCoreApplication>
#include <QProgressDialog>

#include <algorithm>

namespace Tessary {

namespace {

// Steps of the bar per dataset, fine enough for a smooth bar.
constexpr int stepsPerDataset = 1000;
// Updates closer together than this only cost time.
constexpr qint64 updateIntervalMs = 40;

} // namespace

ExportProgress::ExportProgress(QWidget* window, int datasetCount)
    : window(window),
      dialog(std::make_unique<QProgressDialog>(QStringLiteral("Exporting data..."), QStringLiteral("Cancel"), 0,
                                               std::max(datasetCount, 1) * stepsPerDataset, window))
{
    dialog->setWindowModality(Qt::WindowModal);
    // The export holds the GUI thread: the dialog has to show from the first
    // report on, the event loop would never show it later.
    dialog->setMinimumDuration(0);
    dialog->setAutoClose(false);
    dialog->setAutoReset(false);
    dialog->setValue(0);
}

ExportProgress::~ExportProgress() = default;

void ExportProgress::startDataset(int index, const QString& label)
{
    current = index;
    if (!label.isEmpty())
        dialog->setLabelText(label);
    update(index * stepsPerDataset);
}

bool ExportProgress::report(double done)
{
    const int value = current * stepsPerDataset + int(std::clamp(done, 0.0, 1.0) * stepsPerDataset);
    // Small steps in quick succession (a writer's rows or frames) only cost
    // time; a step of a percent or more, the end, or a pause is shown.
    const bool small = value - shownValue < stepsPerDataset / 100;
    if (done < 1.0 && small && sinceUpdate.isValid() && sinceUpdate.elapsed() < updateIntervalMs)
        return !wasCanceled();
    update(value);
    return !wasCanceled();
}

ExportProgressReport ExportProgress::reporter()
{
    return [this](double done) { return report(done); };
}

void ExportProgress::update(int value)
{
    // A cancelled dialog has reset itself; a new value would show it again.
    if (wasCanceled())
        return;
    shownValue = std::min(value, dialog->maximum());
    dialog->setValue(shownValue);
    // Paints the dialog and sees Cancel also when the value did not change.
    QCoreApplication::processEvents();
    sinceUpdate.start();
}

bool ExportProgress::wasCanceled() const
{
    return dialog->wasCanceled();
}

QWidget* ExportProgress::messageParent() const
{
    return dialog->isVisible() ? static_cast<QWidget*>(dialog.get()) : window;
}

void ExportProgress::finish()
{
    update(dialog->maximum());
    dialog->hide();
}

} // namespace Tessary
