#pragma once
// The session log: every Qt message of the process goes to one file per run
// beside the executable, and the newest lines stay in memory for feedback
// reports. All functions are safe to call from any thread.

#include <QString>
#include <QtGlobal>

class QDateTime;
class QMessageLogContext;

namespace Tessary {

// Prunes old logs in the executable's folder to the 10 newest, names this
// run's file and installs the handler. Called once, first thing in main.
void initSessionLog();

// The same for a chosen folder and start time (the file name carries the start).
void initSessionLog(const QString& folder, const QDateTime& localStart);

// Restores the handler that was installed before and forgets the file and the
// buffered lines. The program never calls it; tests do, to start afresh.
void shutdownSessionLog();

void sessionLogMessageHandler(QtMsgType type, const QMessageLogContext& context, const QString& message);

// Five characters each: "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL", "?????".
QString logLevelName(QtMsgType type);

// The buffered lines, oldest first, each followed by a newline.
QString recentLogText();

// Full path of this run's log file; empty before initSessionLog.
QString sessionLogFilePath();

// Lines kept in memory and old log files kept on disk.
constexpr int kRecentLogLines = 2000;
constexpr int kKeptOldLogs = 10;

} // namespace Tessary
