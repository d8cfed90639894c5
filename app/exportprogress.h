#pragma once

#include <QElapsedTimer>
#include <QString>

#include <functional>
#include <memory>

class QProgressDialog;
class QWidget;

namespace Tessary {

// What a writer calls now and then with the share of its file done so far
// (0 to 1). False means the user cancelled: the writer stops and leaves no
// file. An empty function never cancels.
using ExportProgressReport = std::function<bool(double done)>;

// The progress dialog "Exporting data..." of an event export, which runs on
// the GUI thread. The bar's range is shared evenly by the datasets; the
// reports of the writers move it within the current dataset's share. Each
// update lets the window-modal dialog process events, so the window stays
// painted and Cancel is seen while a file is being written. The dialog lives
// as long as this object.
class ExportProgress
{
public:
    ExportProgress(QWidget* window, int datasetCount);
    ~ExportProgress();
    ExportProgress(const ExportProgress&) = delete;
    ExportProgress& operator=(const ExportProgress&) = delete;

    // Starts the share of dataset `index` (from 0); a non-empty label replaces the dialog's text.
    void startDataset(int index, const QString& label);
    // The share of the current dataset done; small steps update the bar at
    // most every few milliseconds. False once the user cancelled.
    bool report(double done);
    // report() as a function for a writer.
    ExportProgressReport reporter();
    bool wasCanceled() const;
    // The parent for a message box during the export: the dialog while it
    // shows (a box parented to the window it blocks could not be closed),
    // else the window.
    QWidget* messageParent() const;
    // Fills the bar and closes the dialog.
    void finish();

private:
    void update(int value);

    QWidget* window;
    std::unique_ptr<QProgressDialog> dialog;
    int current = 0;
    int shownValue = 0;
    QElapsedTimer sinceUpdate;
};

} // namespace Tessary
