#pragma once
// Helpers for the update check, feedback, manual and about tests: a one-file
// HTTP server on the loopback address, a recorder for URLs that would go to
// the desktop, and a driver for modal dialogs.

#include <QApplication>
#include <QByteArray>
#include <QDesktopServices>
#include <QDialog>
#include <QPushButton>
#include <QHostAddress>
#include <QList>
#include <QMap>
#include <QNetworkProxy>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <functional>
#include <memory>

namespace Tessary::Testing {

// Answers every request with the canned response; listens on 127.0.0.1 only.
// Requests are recorded once complete (headers and the Content-Length body).
class LoopbackServer
{
public:
    struct Request {
        QByteArray method, path, body;
        QMap<QByteArray, QByteArray> headers;   // names in lower case
    };

    LoopbackServer()
    {
        // Requests to the test server never take a detour through a proxy.
        QNetworkProxy::setApplicationProxy(QNetworkProxy::NoProxy);
        server.listen(QHostAddress::LocalHost, 0);
        QObject::connect(&server, &QTcpServer::newConnection, &server, [this] {
            while (QTcpSocket* socket = server.nextPendingConnection()) {
                auto buffer = std::make_shared<QByteArray>();
                QObject::connect(socket, &QTcpSocket::readyRead, socket,
                                 [this, socket, buffer] { onData(socket, *buffer); });
                QObject::connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
            }
        });
    }

    QUrl url(const QString& path = QStringLiteral("/")) const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1%2").arg(server.serverPort()).arg(path));
    }

    void respond(int status, const QByteArray& body)
    {
        statusCode = status;
        responseBody = body;
    }
    // Requests are read but never answered (the client must give up itself).
    void holdAnswers() { answer = false; }

    QList<Request> requests;

private:
    void onData(QTcpSocket* socket, QByteArray& buffer)
    {
        buffer += socket->readAll();
        const int headerEnd = buffer.indexOf("\r\n\r\n");
        if (headerEnd < 0)
            return;
        Request request;
        const QList<QByteArray> lines = buffer.left(headerEnd).split('\n');
        const QList<QByteArray> first = lines.value(0).trimmed().split(' ');
        request.method = first.value(0);
        request.path = first.value(1);
        for (int i = 1; i < lines.size(); ++i) {
            const int colon = lines[i].indexOf(':');
            if (colon > 0)
                request.headers.insert(lines[i].left(colon).trimmed().toLower(), lines[i].mid(colon + 1).trimmed());
        }
        const int length = request.headers.value("content-length", "0").toInt();
        if (buffer.size() < headerEnd + 4 + length)
            return;
        request.body = buffer.mid(headerEnd + 4, length);
        buffer.clear();
        requests << request;
        if (!answer)
            return;
        QByteArray reply = "HTTP/1.1 " + QByteArray::number(statusCode) + (statusCode < 400 ? " OK" : " Error")
                           + "\r\nContent-Type: application/json\r\nContent-Length: "
                           + QByteArray::number(responseBody.size()) + "\r\nConnection: close\r\n\r\n" + responseBody;
        socket->write(reply);
        socket->disconnectFromHost();
    }

    QTcpServer server;
    int statusCode = 200;
    QByteArray responseBody;
    bool answer = true;
};

// Takes the URLs that would go to the desktop's applications.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    explicit UrlRecorder(const QStringList& schemes) : handled(schemes)
    {
        for (const QString& scheme : handled)
            QDesktopServices::setUrlHandler(scheme, this, "record");
    }
    ~UrlRecorder() override
    {
        for (const QString& scheme : handled)
            QDesktopServices::unsetUrlHandler(scheme);
    }
    QList<QUrl> urls;

public slots:
    void record(const QUrl& url) { urls << url; }

private:
    QStringList handled;
};

// Runs handler on the next modal widget that appears (a dialog run with exec
// or a message box), from the event loop that runs it. Watching stops after
// about timeoutMs, or when the returned handle is destroyed, so that a watcher
// never outlives the test that set it.
class ModalWatch
{
public:
    using Poll = std::function<void(int)>;
    explicit ModalWatch(std::shared_ptr<Poll> p = nullptr) : poll(std::move(p)) {}
    ModalWatch(ModalWatch&&) = default;
    ModalWatch& operator=(ModalWatch&& other)
    {
        stop();
        poll = std::move(other.poll);
        return *this;
    }
    ~ModalWatch() { stop(); }
    void stop()
    {
        if (poll)
            *poll = nullptr;   // also breaks the poll's reference to itself
    }

private:
    std::shared_ptr<Poll> poll;
};

[[nodiscard]] inline ModalWatch onNextModal(std::function<void(QWidget*)> handler, int timeoutMs = 5000,
                                            QWidget* notThis = nullptr)
{
    auto poll = std::make_shared<ModalWatch::Poll>();
    std::weak_ptr<ModalWatch::Poll> weak = poll;
    *poll = [handler, notThis, weak](int triesLeft) {
        auto self = weak.lock();
        if (!self || !*self)
            return;
        QWidget* modal = QApplication::activeModalWidget();
        // Progress dialogs are window-modal too, but nothing to drive.
        if (modal && modal != notThis && modal->isVisible() && !modal->inherits("QProgressDialog")) {
            const auto run = handler;   // clearing the poll destroys this lambda's copy
            *self = nullptr;
            run(modal);
            return;
        }
        if (triesLeft > 0)
            QTimer::singleShot(10, qApp, [weak, triesLeft] {
                if (auto p = weak.lock(); p && *p)
                    (*p)(triesLeft - 1);
            });
    };
    QTimer::singleShot(0, qApp, [weak, timeoutMs] {
        if (auto p = weak.lock(); p && *p)
            (*p)(timeoutMs / 10);
    });
    return ModalWatch(poll);
}

// Clicks the button of the dialog or message box that carries this text.
inline bool clickButton(QWidget* dialog, const QString& text)
{
    for (QPushButton* button : dialog->findChildren<QPushButton*>())
        if (button->text() == text) {
            button->click();
            return true;
        }
    return false;
}

} // namespace Tessary::Testing
