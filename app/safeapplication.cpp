#include "app/safeapplication.h"

#include <H5Cpp.h>

#include <QDebug>

#include <exception>

namespace Tessary {

SafeApplication::SafeApplication(int& argc, char** argv)
    : QApplication(argc, argv)
{
}

SafeApplication::~SafeApplication() = default;

bool SafeApplication::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (const H5::Exception& e) {
        const QString message = QString::fromStdString(e.getFuncName()) + QStringLiteral(": ")
                                + QString::fromStdString(e.getDetailMsg());
        qCritical().noquote() << "Unhandled HDF5 exception:" << message;
        emit unhandledException(QStringLiteral("File / Data Error"), message);
    } catch (const std::exception& e) {
        const QString message = QString::fromUtf8(e.what());
        qCritical().noquote() << "Unhandled exception:" << message;
        emit unhandledException(QStringLiteral("Unexpected Error"), message);
    } catch (...) {
        qCritical().noquote() << "Unhandled non-standard exception";
        emit unhandledException(QStringLiteral("Unexpected Error"), QStringLiteral("An unknown error occurred."));
    }
    return false;
}

} // namespace Tessary
