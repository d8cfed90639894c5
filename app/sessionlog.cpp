#include "app/sessionlog.h"
#include "app/platform.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <atomic>
#include <deque>
#include <mutex>

namespace Tessary {

namespace {

struct LogState
{
    std::mutex mutex;                       // guards everything below
    QString filePath;
    std::deque<QString> recentLines;
    std::atomic<QtMessageHandler> previousHandler{nullptr};   // read without the lock
    bool installed = false;
};

LogState& state()
{
    static LogState s;   // never destroyed before the last message of the process
    return s;
}

// Set while this thread is inside the handler. A message raised while the
// handler itself writes (the file layer complaining about an open, say) would
// otherwise lock the mutex a second time on the same thread.
thread_local bool insideHandler = false;

QString formatLine(QtMsgType type, const QString& message)
{
    return QStringLiteral("%1 [%2] %3")
        .arg(QDateTime::currentDateTimeUtc().toString(Qt::ISODate), logLevelName(type), message);
}

void removeOldLogs(const QString& folder)
{
    QDir dir(folder);
    const QFileInfoList logs = dir.entryInfoList({QStringLiteral("Tessary_log_*.txt")},
                                                 QDir::Files, QDir::Time);
    for (int i = kKeptOldLogs; i < logs.size(); ++i)
        QFile::remove(logs[i].absoluteFilePath());   // a file that stays is only untidy
}

} // namespace

QString logLevelName(QtMsgType type)
{
    switch (type) {
    case QtDebugMsg: return QStringLiteral("DEBUG");
    case QtInfoMsg: return QStringLiteral("INFO ");
    case QtWarningMsg: return QStringLiteral("WARN ");
    case QtCriticalMsg: return QStringLiteral("ERROR");
    case QtFatalMsg: return QStringLiteral("FATAL");
    }
    return QStringLiteral("?????");
}

void initSessionLog()
{
    initSessionLog(executableDirectory(), QDateTime::currentDateTime());
}

void initSessionLog(const QString& folder, const QDateTime& localStart)
{
    removeOldLogs(folder);
    const QString name = QStringLiteral("Tessary_log_%1.txt").arg(localStart.toString(QStringLiteral("yyyyMMdd_hhmmss")));
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        state().filePath = QDir(folder).absoluteFilePath(name);
    }
    QtMessageHandler previous = qInstallMessageHandler(sessionLogMessageHandler);
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().installed) {
            state().previousHandler = previous;
            state().installed = true;
        }
    }
    qInfo().noquote() << "Tessary session started" << QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
}

void shutdownSessionLog()
{
    QtMessageHandler previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(state().mutex);
        if (!state().installed)
            return;
        previous = state().previousHandler;
        state().previousHandler = nullptr;
        state().installed = false;
        state().filePath.clear();
        state().recentLines.clear();
    }
    qInstallMessageHandler(previous);
}

void sessionLogMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (insideHandler) {
        // Raised while this thread writes a line: hand it on, never take the lock again.
        if (QtMessageHandler previous = state().previousHandler.load())
            previous(type, context, message);
        return;
    }
    insideHandler = true;

    const QString line = formatLine(type, message);
    QtMessageHandler previous = nullptr;
    {
        // Nothing in this block may log through Qt.
        std::lock_guard<std::mutex> lock(state().mutex);
        LogState& s = state();
        s.recentLines.push_back(line);
        while (s.recentLines.size() > size_t(kRecentLogLines))
            s.recentLines.pop_front();
        if (!s.filePath.isEmpty()) {
            QFile file(s.filePath);
            if (file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Text)) {
                file.write(line.toUtf8());
                file.write("\n");
            }
        }
    }
    previous = state().previousHandler.load();
    if (previous)
        previous(type, context, message);
    insideHandler = false;
}

QString recentLogText()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    QString text;
    for (const QString& line : state().recentLines) {
        text += line;
        text += QLatin1Char('\n');
    }
    return text;
}

QString sessionLogFilePath()
{
    std::lock_guard<std::mutex> lock(state().mutex);
    return state().filePath;
}

} // namespace Tessary
