#pragma once

#include <QByteArray>
#include <QString>

namespace Tessary {

// Writes content as the whole of the user's file at path: it goes to a
// temporary file beside the target, every byte written and flushed, and only
// then takes the target's place (StagedFile). A write that does not complete
// (a full disk) or a target that cannot be replaced leaves the old file as it
// was and no temporary file; false then, with the reason in *error.
bool replaceFileContent(const QString& path, const QByteArray& content, QString* error = nullptr);

} // namespace Tessary
