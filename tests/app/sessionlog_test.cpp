#include "app/sessionlog.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QThread>

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include <utime.h>

using namespace Tessary;

namespace {

// Each case installs the log into its own folder and removes it again, so the
// rest of the test program keeps Qt's usual output.
class SessionLogTest : public ::testing::Test
{
protected:
    void TearDown() override { shutdownSessionLog(); }

    void start(const QDateTime& when = QDateTime(QDate(2026, 12, 6), QTime(7, 49, 9)))
    {
        ASSERT_TRUE(dir.isValid());
        initSessionLog(dir.path(), when);
    }

    QStringList fileLines() const
    {
        QFile f(sessionLogFilePath());
        if (!f.open(QIODevice::ReadOnly | QIODevice::Text))
            return {};
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }

    static void touch(const QString& path, qint64 secondsAgo)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.close();
        const time_t t = time(nullptr) - time_t(secondsAgo);
        utimbuf times{t, t};
        ASSERT_EQ(utime(QFile::encodeName(path).constData(), &times), 0);
    }

    QTemporaryDir dir;
};

} // namespace

TEST_F(SessionLogTest, FileIsNamedForTheLocalStartTime)
{
    start();
    EXPECT_EQ(QFileInfo(sessionLogFilePath()).fileName(), "Tessary_log_20261206_074909.txt");
    EXPECT_EQ(QFileInfo(sessionLogFilePath()).absolutePath(), QDir(dir.path()).absolutePath());
}

TEST_F(SessionLogTest, FirstLineAnnouncesTheSessionInLineFormat)
{
    start();
    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 1);
    static const QRegularExpression shape(
        R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ \[INFO \] Tessary session started \d{4}-\d\d-\d\dT\d\d:\d\d:\d\dZ$)");
    EXPECT_TRUE(shape.match(lines[0]).hasMatch()) << lines[0].toStdString();
}

TEST_F(SessionLogTest, LevelNamesAreFiveCharactersWide)
{
    EXPECT_EQ(logLevelName(QtDebugMsg), "DEBUG");
    EXPECT_EQ(logLevelName(QtInfoMsg), "INFO ");
    EXPECT_EQ(logLevelName(QtWarningMsg), "WARN ");
    EXPECT_EQ(logLevelName(QtCriticalMsg), "ERROR");
    EXPECT_EQ(logLevelName(QtFatalMsg), "FATAL");
    EXPECT_EQ(logLevelName(QtMsgType(42)), "?????");
}

TEST_F(SessionLogTest, CriticalMessageIsWrittenAsError)
{
    start();
    qCritical("disk on fire");
    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 2);
    EXPECT_TRUE(lines[1].endsWith(" [ERROR] disk on fire")) << lines[1].toStdString();
}

TEST_F(SessionLogTest, RecentTextIsEmptyBeforeAnyMessage)
{
    EXPECT_EQ(recentLogText(), QString());
}

TEST_F(SessionLogTest, RecentTextEndsEveryLineWithNewline)
{
    start();
    qWarning("first");
    const QStringList lines = recentLogText().split('\n');
    ASSERT_EQ(lines.size(), 3);   // start line, "first", and the empty rest after the last newline
    EXPECT_TRUE(lines[1].endsWith("[WARN ] first"));
    EXPECT_TRUE(lines[2].isEmpty());
}

TEST_F(SessionLogTest, MemoryKeepsOnlyTheNewest2000Lines)
{
    start();
    // The start line is line 1; 2000 more push it out and leave "message 0" first.
    for (int i = 0; i < kRecentLogLines; ++i)
        qInfo("message %d", i);
    const QStringList lines = recentLogText().split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), kRecentLogLines);
    EXPECT_TRUE(lines.front().endsWith("message 0"));
    EXPECT_TRUE(lines.back().endsWith("message 1999"));
    // The file keeps everything.
    EXPECT_EQ(fileLines().size(), kRecentLogLines + 1);
}

TEST_F(SessionLogTest, OnlyTheTenNewestOldLogsRemain)
{
    ASSERT_TRUE(dir.isValid());
    for (int i = 0; i < 12; ++i)
        touch(dir.filePath(QStringLiteral("Tessary_log_old%1.txt").arg(i)), 1000 * (i + 1));
    touch(dir.filePath("unrelated.txt"), 50000);
    start();
    QStringList left = QDir(dir.path()).entryList({"Tessary_log_*.txt"}, QDir::Files);
    left.sort();
    // old0 is the newest, old11 the oldest: old10 and old11 go.
    EXPECT_FALSE(left.contains("Tessary_log_old10.txt"));
    EXPECT_FALSE(left.contains("Tessary_log_old11.txt"));
    EXPECT_TRUE(left.contains("Tessary_log_old9.txt"));
    EXPECT_TRUE(left.contains(QFileInfo(sessionLogFilePath()).fileName()));
    EXPECT_EQ(left.size(), 11);
    EXPECT_TRUE(QFile::exists(dir.filePath("unrelated.txt")));
}

TEST_F(SessionLogTest, UnwritableFolderStillBuffersTheLine)
{
    initSessionLog(dir.path() + "/does/not/exist", QDateTime::currentDateTime());
    qWarning("kept in memory");
    EXPECT_TRUE(recentLogText().contains("kept in memory"));
    EXPECT_FALSE(QFile::exists(sessionLogFilePath()));
}

TEST_F(SessionLogTest, MessageRaisedWhileLoggingDoesNotDeadlock)
{
    // A previous handler that logs again re-enters the handler on the same
    // thread; the guard hands the inner message on instead of locking twice.
    start();
    QtMessageHandler mine = [](QtMsgType, const QMessageLogContext&, const QString& msg) {
        if (msg == "outer")
            qWarning("inner");
    };
    // Put a chaining handler in front: it forwards to the session log.
    shutdownSessionLog();
    qInstallMessageHandler(mine);
    initSessionLog(dir.path(), QDateTime::currentDateTime());
    qWarning("outer");
    EXPECT_TRUE(recentLogText().contains("outer"));
    EXPECT_FALSE(recentLogText().contains("inner"));
    shutdownSessionLog();
    qInstallMessageHandler(nullptr);
}

TEST_F(SessionLogTest, LinesFromManyThreadsNeverInterleave)
{
    start();
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([t] {
            for (int i = 0; i < 200; ++i)
                qInfo("thread %d line %d payload-payload-payload", t, i);
        });
    for (auto& th : threads)
        th.join();
    const QStringList lines = fileLines();
    ASSERT_EQ(lines.size(), 801);
    static const QRegularExpression shape(R"(^\S+Z \[INFO \] (thread \d line \d+ payload-payload-payload|Tessary session started .*)$)");
    for (const QString& line : lines)
        ASSERT_TRUE(shape.match(line).hasMatch()) << line.toStdString();
}
