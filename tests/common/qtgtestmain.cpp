// Entry point for test programs that create widgets: one QApplication for the
// whole run, on the offscreen platform unless the caller chose another.
//
// CTest runs every test case as its own process, many at once. Each process
// gets a home, cache and settings folder of its own, so that settings, the
// help collection and other per-user files never pass between parallel cases.
#include <QApplication>
#include <QByteArray>
#include <QTemporaryDir>
#include <gtest/gtest.h>

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir home;
    if (home.isValid()) {
        const QByteArray path = home.path().toUtf8();
        qputenv("HOME", path);
        qputenv("XDG_CACHE_HOME", path + "/cache");
        qputenv("XDG_CONFIG_HOME", path + "/config");
        qputenv("XDG_DATA_HOME", path + "/data");
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("TessaryTests");
    QApplication::setOrganizationName("TessaryTests");
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
