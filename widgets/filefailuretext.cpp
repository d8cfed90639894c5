#include "widgets/filefailuretext.h"

namespace Tessary {

QString fileFailureText(const FileFailure& failure, const QString& path, const QString& createText)
{
    QString step;
    switch (failure.step) {
    case FileFailure::Create:
        step = createText.arg(path);
        break;
    case FileFailure::Write:
        step = QStringLiteral("Failed to write: %1").arg(path);
        break;
    case FileFailure::Replace:
        step = QStringLiteral("Failed to put the written file in place of: %1").arg(path);
        break;
    case FileFailure::None:
        return {};
    }
    if (failure.reason.empty())
        return step;
    return step + QLatin1Char('\n') + QString::fromStdString(failure.reason);
}

} // namespace Tessary
