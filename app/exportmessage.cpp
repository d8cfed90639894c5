#include "app/exportmessage.h"

#include <QMessageBox>

namespace Tessary {

void showExportMessage(QWidget* parent, const ExportMessage& message)
{
    switch (message.severity) {
    case ExportMessage::Warning:
        QMessageBox::warning(parent, message.title, message.text);
        break;
    case ExportMessage::Critical:
        QMessageBox::critical(parent, message.title, message.text);
        break;
    case ExportMessage::None:
        break;
    }
}

} // namespace Tessary
