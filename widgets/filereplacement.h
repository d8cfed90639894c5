#pragma once

#include "rtdc/exportfile.h"

#include <QByteArray>
#include <QString>

namespace Tessary {

// Writes content as the whole of the user's file at path: it goes to a
// temporary file beside the target, every byte written and flushed, and only
// then takes the target's place (StagedFile). A write that does not complete
// (a full disk) or a target that cannot be replaced leaves the old file as it
// was and no temporary file; false then, with the step that failed and the
// system's reason in *failure.
bool replaceFileContent(const QString& path, const QByteArray& content, FileFailure* failure = nullptr);

// The message for a file that could not be written at path: createText (%1
// the path) when it could not be created, else "Failed to write: <path>" or
// "Failed to rename the written file to: <path>"; then the system's reason,
// when known, on a line of its own.
QString fileFailureText(const FileFailure& failure, const QString& path,
                        const QString& createText = QStringLiteral("Failed to create: %1"));

} // namespace Tessary
