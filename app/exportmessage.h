#pragma once

#include "rtdc/stagedfile.h"

#include <QString>
#include <QStringList>

#include <vector>

class QWidget;

namespace Tessary {

// What an event-file writer has to tell the user after it ran: nothing after
// success, else a warning (doubtful input, nothing written, or a file written
// without parts of its source) or a critical message (a file operation
// failed). The writers stay free of dialogs; the main window shows the
// message parented to itself.
struct ExportMessage
{
    enum Severity { None, Warning, Critical };

    Severity severity = None;
    QString title;
    QString text;

    bool isEmpty() const { return severity == None; }
    static ExportMessage warning(const QString& title, const QString& text) { return {Warning, title, text}; }
    static ExportMessage critical(const QString& title, const QString& text) { return {Critical, title, text}; }
    // A file that could not be written: "Export Error" with the step that
    // failed and the system's reason (fileFailureText; createText for the
    // file that could not be created, %1 the path).
    static ExportMessage fileFailure(const FileFailure& failure, const QString& path,
                                     const QString& createText = QStringLiteral("Failed to create: %1"));
    // A file written to path without parts of its source: "Export" naming each
    // missing part on a line of its own, at most ten, then how many more.
    static ExportMessage partsMissing(const QString& path, QStringList missing);
};

// The line of partsMissing for the kept events whose image or mask (kind
// "image" or "mask") could not be read, by their event numbers (at most ten,
// then how many more), and, with blanks, that the file holds a blank frame
// in their place: "image of event 7 (a blank frame in its place)",
// "masks of events 3, 9".
QString unreadableFramesLine(const QString& kind, const std::vector<int>& events, bool blanks);
// The same for the kept events whose row of a trace could not be read and is
// zeros in the file: "trace "fl1_raw" of event 7 (a row of zeros in its place)".
QString unreadableTraceRowsLine(const QString& name, const std::vector<int>& events);

// Shows a non-empty message as a modal warning or critical box; nothing for an empty one.
void showExportMessage(QWidget* parent, const ExportMessage& message);

} // namespace Tessary
