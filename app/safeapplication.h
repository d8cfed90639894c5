#pragma once

#include <QApplication>

namespace Tessary {

// The application object. An exception that escapes an event handler is
// caught here, logged as critical and passed on as unhandledException, so the
// program goes on with the next event instead of ending.
class SafeApplication : public QApplication
{
    Q_OBJECT
public:
    // argc and argv must outlive the object (QApplication keeps them).
    SafeApplication(int& argc, char** argv);
    ~SafeApplication() override;

    bool notify(QObject* receiver, QEvent* event) override;

signals:
    // "File / Data Error" for HDF5 library errors, "Unexpected Error" otherwise.
    void unhandledException(QString title, QString message);
};

} // namespace Tessary
