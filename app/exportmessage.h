#pragma once

#include <QString>

class QWidget;

namespace Tessary {

// What an event-file writer has to tell the user after it ran: nothing after
// success, else a warning (doubtful input, nothing written) or a critical
// message (a file operation failed). The writers stay free of dialogs; the
// main window shows the message parented to itself.
struct ExportMessage
{
    enum Severity { None, Warning, Critical };

    Severity severity = None;
    QString title;
    QString text;

    bool isEmpty() const { return severity == None; }
    static ExportMessage warning(const QString& title, const QString& text) { return {Warning, title, text}; }
    static ExportMessage critical(const QString& title, const QString& text) { return {Critical, title, text}; }
};

// Shows a non-empty message as a modal warning or critical box; nothing for an empty one.
void showExportMessage(QWidget* parent, const ExportMessage& message);

} // namespace Tessary
