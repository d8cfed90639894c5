#include "app/errordialog.h"

#include <QMessageBox>
#include <QPushButton>

namespace Tessary {

bool showUnhandledErrorBox(QWidget* parent, const QString& title, const QString& message)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(title);
    box.setWindowModality(Qt::ApplicationModal);
    box.setText(QStringLiteral("An unexpected error occurred:\n\n%1\n\nYou can send a diagnostic report to help us fix this.")
                    .arg(message));
    box.setStandardButtons(QMessageBox::NoButton);
    QPushButton* feedback = box.addButton(QStringLiteral("Send Feedback..."), QMessageBox::AcceptRole);
    QPushButton* close = box.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
    box.setDefaultButton(close);
    box.setEscapeButton(close);
    box.exec();
    return box.clickedButton() == feedback;
}

} // namespace Tessary
