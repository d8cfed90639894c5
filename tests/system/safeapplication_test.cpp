// The application object needs its own program: it must be the one
// QApplication of the process.
#include "app/mainwindow.h"
#include "app/safeapplication.h"

#include <H5Cpp.h>

#include <QMessageBox>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTimer>

#include <gtest/gtest.h>

#include <stdexcept>

using namespace Tessary;

namespace {

// An object whose event handler throws whatever it is told to.
class Thrower : public QObject
{
public:
    std::function<void()> raise;
    int handled = 0;

protected:
    bool event(QEvent* e) override
    {
        if (e->type() == QEvent::User) {
            ++handled;
            raise();
            return true;
        }
        return QObject::event(e);
    }
};

QStringList criticalLines;

void captureCritical(QtMsgType type, const QMessageLogContext&, const QString& message)
{
    if (type == QtCriticalMsg)
        criticalLines << message;
}

class SafeApplicationTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        criticalLines.clear();
        previous = qInstallMessageHandler(captureCritical);
    }
    void TearDown() override { qInstallMessageHandler(previous); }

    // Delivers one event that throws; returns the spy's record.
    QList<QVariant> deliver(std::function<void()> raise)
    {
        Thrower target;
        target.raise = std::move(raise);
        QSignalSpy spy(qApp, SIGNAL(unhandledException(QString, QString)));
        QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
        QCoreApplication::processEvents();
        EXPECT_EQ(target.handled, 1);
        EXPECT_EQ(spy.count(), 1);
        return spy.isEmpty() ? QList<QVariant>() : spy.takeFirst();
    }

    QtMessageHandler previous = nullptr;
};

} // namespace

TEST_F(SafeApplicationTest, StandardExceptionBecomesUnexpectedError)
{
    const QList<QVariant> args = deliver([] { throw std::runtime_error("boom"); });
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].toString(), "Unexpected Error");
    EXPECT_EQ(args[1].toString(), "boom");
    EXPECT_EQ(criticalLines, QStringList{"Unhandled exception: boom"});
}

TEST_F(SafeApplicationTest, Hdf5ExceptionBecomesFileDataError)
{
    const QList<QVariant> args = deliver([] { throw H5::FileIException("H5File::openFile", "unable to open file"); });
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].toString(), "File / Data Error");
    EXPECT_EQ(args[1].toString(), "H5File::openFile: unable to open file");
    EXPECT_EQ(criticalLines, QStringList{"Unhandled HDF5 exception: H5File::openFile: unable to open file"});
}

TEST_F(SafeApplicationTest, AnythingElseIsAnUnknownError)
{
    const QList<QVariant> args = deliver([] { throw 42; });
    ASSERT_EQ(args.size(), 2);
    EXPECT_EQ(args[0].toString(), "Unexpected Error");
    EXPECT_EQ(args[1].toString(), "An unknown error occurred.");
    EXPECT_EQ(criticalLines, QStringList{"Unhandled non-standard exception"});
}

TEST_F(SafeApplicationTest, ProgramGoesOnWithTheNextEvent)
{
    deliver([] { throw std::logic_error("first"); });
    bool ran = false;
    QTimer::singleShot(0, [&ran] { ran = true; });
    QCoreApplication::processEvents();
    EXPECT_TRUE(ran);
}

TEST_F(SafeApplicationTest, ExceptionFromAHandlerShowsOneErrorBox)
{
    QStandardPaths::setTestModeEnabled(true);
    MainWindow window;
    QObject::connect(qApp, SIGNAL(unhandledException(QString, QString)), &window,
                     SLOT(onUnhandledException(QString, QString)), Qt::QueuedConnection);
    Thrower target;
    target.raise = [] { throw std::runtime_error("boom"); };

    int boxes = 0;
    QString title, text;
    // Poll for the box; while it is open, a second error arrives and is only logged.
    std::function<void()> poll = [&] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            ++boxes;
            title = box->windowTitle();
            text = box->text();
            QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
            QTimer::singleShot(50, box, [box] { box->reject(); });
            return;
        }
        QTimer::singleShot(10, poll);
    };
    QTimer::singleShot(0, poll);
    QCoreApplication::postEvent(&target, new QEvent(QEvent::User));
    for (int i = 0; i < 50 && (boxes == 0 || window.errorDialogOpen || target.handled < 2); ++i) {
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(5);
    }
    QCoreApplication::processEvents();
    EXPECT_EQ(boxes, 1);
    EXPECT_EQ(target.handled, 2);
    EXPECT_EQ(title, "Unexpected Error");
    EXPECT_TRUE(text.contains("boom"));
    EXPECT_FALSE(window.errorDialogOpen);
    EXPECT_EQ(criticalLines.size(), 2);
}

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    SafeApplication app(argc, argv);
    QApplication::setApplicationName("TessarySystemTests");
    QApplication::setOrganizationName("TessarySystemTests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
