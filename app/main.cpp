// Tessary's entry: prepares the process-wide services in a fixed order, applies
// the look, shows the splash screen, builds the main window and runs the loop.
#include "app/applicationstyle.h"
#include "app/mainwindow.h"
#include "app/platform.h"
#include "app/safeapplication.h"
#include "app/sessionlog.h"
#include "rtdc/hdf5lock.h"
#include "widgets/filtermetatypes.h"

#include <QPixmap>
#include <QScreen>
#include <QSplashScreen>
#include <QStyleFactory>
#include <QTimer>

#include <memory>

int main(int argc, char** argv)
{
    using namespace Tessary;

    disableHdf5ErrorPrinting();
    failWritesPastFileSizeLimit();
    initSessionLog();

    // The argument storage outlives the application object, which keeps
    // pointers into it.
    ArgumentStore arguments(processArguments(argc, argv));
    SafeApplication app(arguments.argc(), arguments.argv());
    QApplication::setApplicationName(QStringLiteral("Tessary"));
    QApplication::setApplicationVersion(QStringLiteral("3.3.99"));
    QApplication::setOrganizationName(QStringLiteral("Tessary"));
    registerFilterMetaTypes();

    QApplication::setWindowIcon(QIcon(QStringLiteral(":/Logo_QVN_rgb_randlos_keinText.png")));
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    const QPalette palette = applicationPalette();
    QApplication::setPalette(palette);
    app.setStyleSheet(applicationStyleSheet());

    const QPixmap splashPixmap(QStringLiteral(":/Logo_QVN_rgb_randlos.png"));
    QSplashScreen splash(splashPixmap);
    splash.show();
    QApplication::processEvents();

    auto window = std::make_unique<MainWindow>();
    QObject::connect(&app, &SafeApplication::unhandledException, window.get(), &MainWindow::onUnhandledException,
                     Qt::QueuedConnection);
    QTimer::singleShot(1500, window.get(), [&splash, &window] {
        splash.close();
        // A screen smaller than the window's size gets a window that fits on it.
        if (const QScreen* screen = window->screen())
            window->resize(window->size().boundedTo(screen->availableGeometry().size()));
        window->show();
    });

    const int code = QApplication::exec();
    window.reset();
    return code;
}
