// The error box of exceptions caught by the application object.
#include "app/mainwindow.h"

#include "app/errordialog.h"

namespace Tessary {

void MainWindow::onUnhandledException(QString title, QString message)
{
    if (errorDialogOpen)
        return;   // one box at a time; the error is in the session log already
    errorDialogOpen = true;
    const bool wantsFeedback = showUnhandledErrorBox(this, title, message);
    errorDialogOpen = false;
    if (wantsFeedback)
        sendFeedback(title, message);
}

} // namespace Tessary
