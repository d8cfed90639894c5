#include "widgets/filereplacement.h"

#include "rtdc/exportfile.h"

#include <QFile>
#include <QFileInfo>

namespace Tessary {

bool replaceFileContent(const QString& path, const QByteArray& content, QString* error)
{
    const auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    const QString suffix = QFileInfo(path).suffix();
    StagedFile staged(path.toStdString(), suffix.isEmpty() ? ".part" : "." + suffix.toStdString());
    QFile file(QString::fromStdString(staged.path()));
    if (!file.open(QIODevice::WriteOnly))
        return fail(file.errorString());
    // The device buffers what is written: a full disk may show only when the
    // buffer goes out, so the flush is checked as well as the write.
    if (file.write(content) != content.size() || !file.flush())
        return fail(file.errorString());
    file.close();
    if (file.error() != QFileDevice::NoError)
        return fail(file.errorString());
    std::string reason;
    if (!staged.commit(reason))
        return fail(QString::fromStdString(reason));
    return true;
}

} // namespace Tessary
