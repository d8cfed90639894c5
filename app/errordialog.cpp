#include "app/errordialog.h"

#include <QMessageBox>
#include <QPushButton>

namespace Tessary {

bool showUnhandledErrorBox(QWidget* parent, const QString& title, const QString& message, bool offerFeedback)
{
    QMessageBox box(parent);
    box.setIcon(QMessageBox::Critical);
    box.setWindowTitle(title);
    box.setWindowModality(Qt::ApplicationModal);
    QString text = QStringLiteral("An unexpected error occurred:\n\n%1").arg(message);
    // Promise a report only where one can be sent.
    if (offerFeedback)
        text += QStringLiteral("\n\nYou can send a diagnostic report to help us fix this.");
    box.setText(text);
    box.setStandardButtons(QMessageBox::NoButton);
    QPushButton* feedback = offerFeedback ? box.addButton(QStringLiteral("Send Feedback..."), QMessageBox::AcceptRole) : nullptr;
    QPushButton* close = box.addButton(QStringLiteral("Close"), QMessageBox::RejectRole);
    box.setDefaultButton(close);
    box.setEscapeButton(close);
    box.exec();
    return feedback && box.clickedButton() == feedback;
}

} // namespace Tessary
