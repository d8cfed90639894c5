#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QUrl>

class QDialog;
class QNetworkAccessManager;
class QNetworkReply;
class QPlainTextEdit;
class QProgressDialog;
class QWidget;

namespace Tessary {

// The feedback report: shows the user exactly what would be sent, and sends
// it (a PUT of plain text) only when the user presses "Send". The server
// address is given by the build (empty: no server, and an upload says so);
// tests give their own.
class FeedbackSender : public QObject
{
    Q_OBJECT
public:
    explicit FeedbackSender(QObject* parent = nullptr);

    // The server compiled into this build; empty when it names none.
    static QUrl configuredServerUrl();
    QUrl serverUrl() const { return server; }
    void setServerUrl(const QUrl& url) { server = url; }
    // The upload goes to the server's "/upload/".
    QUrl uploadUrl() const;
    // The key the upload carries in "X-Api-Key": 43 characters, built when needed.
    static QByteArray accessKey(const QString& version);

    // The whole interaction: preview dialog, then the upload when the user
    // sends. Returns when the dialog closes; the upload finishes later.
    void send(const QString& version, const QString& sessionSummary, const QString& errorTitle,
              const QString& errorMessage, QWidget* parent);

    // The report in UTF-8: head, error (when there is one), comment (when not
    // blank), session summary and the recent session log.
    static QByteArray buildReport(const QString& version, const QString& sessionSummary, const QString& errorTitle,
                                  const QString& errorMessage, const QString& userComment);

    // Builds the dialog without running it; the comment editor comes back
    // through commentEdit. The caller owns the dialog.
    static QDialog* showDialog(const QString& errorTitle, const QString& errorMessage, const QString& previewText,
                               QPlainTextEdit** commentEdit, QWidget* parent);

    // PUTs the report with a busy progress dialog (parent: the given widget)
    // that can cancel it; the outcome is shown in a message box.
    void upload(const QByteArray& report, const QString& version, QWidget* parent);

private:
    void onUploadFinished(QNetworkReply* reply, QProgressDialog* progress, QWidget* parent);

    QNetworkAccessManager* network = nullptr;   // child of the sender
    QUrl server;
};

} // namespace Tessary
