// The error box of exceptions caught by the application object, and the
// update check.
#include "app/mainwindow.h"

#include "app/errordialog.h"

#include <QMessageBox>

namespace Tessary {

namespace {

// Compile-time addresses, empty unless a deployment names its servers.
QString updateAddress() { return QStringLiteral(TESSARY_UPDATE_URL); }

} // namespace

void MainWindow::onUnhandledException(QString title, QString message)
{
    if (errorDialogOpen)
        return;   // one box at a time; the error is in the session log already
    errorDialogOpen = true;
    // The box offers a feedback report once a feedback sender exists.
    const bool offerFeedback = feedbackSender != nullptr;
    showUnhandledErrorBox(this, title, message, offerFeedback);
    errorDialogOpen = false;
}

void MainWindow::checkForUpdates(bool silent)
{
    lastCheckSilent = silent;
    if (updateAddress().isEmpty()) {
        // Nothing leaves the machine: without a configured server the silent
        // check does nothing, and a manual one says why.
        if (!silent)
            QMessageBox::information(this, QStringLiteral("Check for Updates"),
                                     QStringLiteral("No update server is configured for this build of Tessary."));
        return;
    }
    if (!silent)
        QMessageBox::information(this, QStringLiteral("Check for Updates"),
                                 QStringLiteral("Checking for updates is not available in this build of Tessary."));
}

} // namespace Tessary
