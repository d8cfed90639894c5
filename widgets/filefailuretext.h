#pragma once

#include "rtdc/stagedfile.h"

#include <QString>

namespace Tessary {

// The message for a file that could not be written at path: createText (%1
// the path) when it could not be created, else "Failed to write: <path>" or
// "Failed to put the written file in place of: <path>"; then the system's reason,
// when known, on a line of its own.
QString fileFailureText(const FileFailure& failure, const QString& path,
                        const QString& createText = QStringLiteral("Failed to create: %1"));

} // namespace Tessary
