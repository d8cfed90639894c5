#include "widgets/filereplacement.h"

#include <QFileInfo>

#include <cerrno>
#include <filesystem>
#include <fstream>

namespace Tessary {

bool replaceFileContent(const QString& path, const QByteArray& content, FileFailure* failure)
{
    // The reason is the system's error of the call that failed, taken at once.
    const auto fail = [failure](FileFailure::Step step, int error) {
        if (failure)
            *failure = {step, systemErrorText(error)};
        return false;
    };
    const QString suffix = QFileInfo(path).suffix();
    StagedFile staged(path.toStdString(), suffix.isEmpty() ? ".part" : "." + suffix.toStdString());
    errno = 0;
    std::ofstream file(std::filesystem::u8path(staged.path()), std::ios::binary | std::ios::trunc);
    if (!file)
        return fail(FileFailure::Create, errno);
    // The stream buffers what is written: a full disk may show only when the
    // buffer goes out, so the flush and the close are checked as well.
    errno = 0;
    file.write(content.constData(), std::streamsize(content.size()));
    if (file)
        file.flush();
    if (!file)
        return fail(FileFailure::Write, errno);
    errno = 0;
    file.close();
    if (!file)
        return fail(FileFailure::Write, errno);
    std::string reason;
    if (!staged.commit(reason)) {
        if (failure)
            *failure = {FileFailure::Rename, reason};
        return false;
    }
    return true;
}

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
    case FileFailure::Rename:
        step = QStringLiteral("Failed to rename the written file to: %1").arg(path);
        break;
    case FileFailure::None:
        return {};
    }
    if (failure.reason.empty())
        return step;
    return step + QLatin1Char('\n') + QString::fromStdString(failure.reason);
}

} // namespace Tessary
