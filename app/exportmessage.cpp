#include "app/exportmessage.h"

#include "widgets/filefailuretext.h"

#include <QMessageBox>

namespace Tessary {

namespace {

constexpr int shownNames = 10;

} // namespace

ExportMessage ExportMessage::fileFailure(const FileFailure& failure, const QString& path, const QString& createText)
{
    return critical(QStringLiteral("Export Error"), fileFailureText(failure, path, createText));
}

ExportMessage ExportMessage::partsMissing(const QString& path, QStringList missing)
{
    const qsizetype more = missing.size() - shownNames;
    if (more > 0) {
        missing.erase(missing.begin() + shownNames, missing.end());
        missing << QStringLiteral("and %1 more").arg(more);
    }
    return warning(QStringLiteral("Export"),
                   QStringLiteral("Exported to %1, but these could not be copied from the source and are missing:\n%2")
                       .arg(path, missing.join(QLatin1Char('\n'))));
}

namespace {

// "event 7" or "events 3, 9", at most ten numbers, then how many more.
QString eventNumbers(const std::vector<int>& events)
{
    QStringList numbers;
    for (std::size_t i = 0; i < events.size() && i < std::size_t(shownNames); ++i)
        numbers << QString::number(events[i]);
    QString text = events.size() == 1 ? QStringLiteral("event %1").arg(numbers.join(QString()))
                                      : QStringLiteral("events %1").arg(numbers.join(QStringLiteral(", ")));
    if (events.size() > std::size_t(shownNames))
        text += QStringLiteral(" and %1 more").arg(events.size() - std::size_t(shownNames));
    return text;
}

} // namespace

QString unreadableFramesLine(const QString& kind, const std::vector<int>& events, bool blanks)
{
    const bool one = events.size() == 1;
    QString line = QStringLiteral("%1%2 of %3").arg(kind, one ? QString() : QStringLiteral("s"), eventNumbers(events));
    if (blanks)
        line += one ? QStringLiteral(" (a blank frame in its place)") : QStringLiteral(" (blank frames in their place)");
    return line;
}

QString unreadableTraceRowsLine(const QString& name, const std::vector<int>& events)
{
    return QStringLiteral("trace \"%1\" of %2 (%3)")
        .arg(name, eventNumbers(events),
             events.size() == 1 ? QStringLiteral("a row of zeros in its place")
                                : QStringLiteral("rows of zeros in their place"));
}

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
