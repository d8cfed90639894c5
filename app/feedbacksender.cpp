#include "app/feedbacksender.h"

#include "app/sessionlog.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QDialog>
#include <QDialogButtonBox>
#include <QFont>
#include <QLabel>
#include <QMessageBox>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QPlainTextEdit>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSysInfo>
#include <QVBoxLayout>

namespace Tessary {

FeedbackSender::FeedbackSender(QObject* parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
    , server(configuredServerUrl())
{
}

QUrl FeedbackSender::configuredServerUrl()
{
    const QString address = QStringLiteral(TESSARY_FEEDBACK_URL).trimmed();
    return address.isEmpty() ? QUrl() : QUrl(address);
}

QUrl FeedbackSender::uploadUrl() const
{
    if (server.isEmpty() || !server.isValid())
        return QUrl();
    QUrl url = server;
    url.setPath(QStringLiteral("/upload/"));
    url.setQuery(QString());
    url.setFragment(QString());
    return url;
}

QByteArray FeedbackSender::accessKey(const QString& version)
{
    // A SHA-256 digest in unpadded URL-safe base64 is exactly 43 characters.
    const QByteArray seed = QByteArrayLiteral("Tessary feedback upload ") + version.toUtf8();
    return QCryptographicHash::hash(seed, QCryptographicHash::Sha256)
        .toBase64(QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals);
}

QByteArray FeedbackSender::buildReport(const QString& version, const QString& sessionSummary,
                                       const QString& errorTitle, const QString& errorMessage,
                                       const QString& userComment)
{
    QByteArray report;
    report.reserve(256 * 1024);
    const auto line = [&report](const QString& text) {
        report += text.toUtf8();
        report += '\n';
    };

    line(QStringLiteral("=== Tessary Feedback Report ==="));
    line(QStringLiteral("Version: ") + version);
    line(QStringLiteral("Timestamp: ") + QDateTime::currentDateTimeUtc().toString(Qt::ISODate));
    line(QStringLiteral("OS: ") + QSysInfo::prettyProductName());
    line(QStringLiteral("Arch: ") + QSysInfo::currentCpuArchitecture());
    report += '\n';

    if (!errorTitle.isEmpty() || !errorMessage.isEmpty()) {
        line(QStringLiteral("=== Error ==="));
        line(QStringLiteral("Title: ") + errorTitle);
        line(QStringLiteral("Message: ") + errorMessage);
        report += '\n';
    }

    const QString comment = userComment.trimmed();
    if (!comment.isEmpty()) {
        line(QStringLiteral("=== User Comment ==="));
        report += comment.toUtf8();
        report += "\n\n";
    }

    line(QStringLiteral("=== Session ==="));
    report += sessionSummary.isEmpty() ? QByteArrayLiteral("(no datasets loaded)\n") : sessionSummary.toUtf8();
    report += "\n\n";

    line(QStringLiteral("=== Log ==="));
    const QString log = recentLogText();
    report += log.isEmpty() ? QByteArrayLiteral("(log is empty)\n") : log.toUtf8();
    return report;
}

QDialog* FeedbackSender::showDialog(const QString& errorTitle, const QString& errorMessage,
                                    const QString& previewText, QPlainTextEdit** commentEdit, QWidget* parent)
{
    auto* dialog = new QDialog(parent);
    dialog->setWindowTitle(QStringLiteral("Send Feedback to QVN Support"));
    dialog->resize(640, 540);
    auto* layout = new QVBoxLayout(dialog);

    if (!errorTitle.isEmpty() || !errorMessage.isEmpty()) {
        auto* error = new QLabel(QStringLiteral("<b>Error:</b> ") + errorTitle.toHtmlEscaped() + QStringLiteral("<br>")
                                     + errorMessage.toHtmlEscaped(),
                                 dialog);
        error->setTextFormat(Qt::RichText);
        error->setWordWrap(true);
        layout->addWidget(error);
    }

    layout->addWidget(new QLabel(QStringLiteral("The information below will be sent to QVN support:\n"
                                                "  \u2022 Application version and system info\n"
                                                "  \u2022 A summary of the current session (no file paths or sample names)\n"
                                                "  \u2022 Recent diagnostic log messages"),
                                 dialog));
    layout->addWidget(new QLabel(QStringLiteral("Your comment (optional):"), dialog));
    auto* comment = new QPlainTextEdit(dialog);
    comment->setPlaceholderText(QStringLiteral("Describe what happened or what you expected..."));
    comment->setMaximumHeight(100);
    layout->addWidget(comment);

    layout->addWidget(new QLabel(QStringLiteral("Preview of data to be sent:"), dialog));
    auto* preview = new QPlainTextEdit(dialog);
    preview->setReadOnly(true);
    QFont mono(QStringLiteral("monospace"), 8);
    mono.setStyleHint(QFont::Monospace);
    preview->setFont(mono);
    preview->setPlainText(previewText);
    layout->addWidget(preview);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Cancel, dialog);
    QPushButton* sendButton = buttons->addButton(QStringLiteral("Send"), QDialogButtonBox::AcceptRole);
    sendButton->setDefault(true);
    QObject::connect(buttons, &QDialogButtonBox::accepted, dialog, &QDialog::accept);
    QObject::connect(buttons, &QDialogButtonBox::rejected, dialog, &QDialog::reject);
    layout->addWidget(buttons);

    if (commentEdit)
        *commentEdit = comment;
    return dialog;
}

void FeedbackSender::send(const QString& version, const QString& sessionSummary, const QString& errorTitle,
                          const QString& errorMessage, QWidget* parent)
{
    const QByteArray preview = buildReport(version, sessionSummary, errorTitle, errorMessage, QString());
    QPlainTextEdit* comment = nullptr;
    QDialog* dialog = showDialog(errorTitle, errorMessage, QString::fromUtf8(preview), &comment, parent);
    if (dialog->exec() == QDialog::Accepted) {
        // The preview left the comment out; the report sent carries it.
        const QString text = comment->toPlainText().trimmed();
        upload(buildReport(version, sessionSummary, errorTitle, errorMessage, text), version, parent);
    }
    dialog->deleteLater();
}

void FeedbackSender::upload(const QByteArray& report, const QString& version, QWidget* parent)
{
    const QUrl url = uploadUrl();
    if (url.isEmpty()) {
        // Nothing leaves the machine without a server to receive it.
        QMessageBox::warning(parent, QStringLiteral("Feedback Failed"),
                             QStringLiteral("Could not send feedback.\n\n"
                                            "No feedback server is configured for this build of Tessary."));
        return;
    }
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("text/plain"));
    request.setRawHeader("X-Api-Key", accessKey(version));
    request.setRawHeader("X-Version", version.toUtf8());
    request.setRawHeader("X-Setup-Id", "Tessary");
    QNetworkReply* reply = network->put(request, report);

    auto* progress = new QProgressDialog(QStringLiteral("Sending feedback..."), QStringLiteral("Cancel"), 0, 0, parent);
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(0);
    progress->show();

    connect(reply, &QNetworkReply::uploadProgress, progress, [progress](qint64 sent, qint64 total) {
        if (total > 0) {
            progress->setMaximum(static_cast<int>(qMin<qint64>(total, INT_MAX)));
            progress->setValue(static_cast<int>(qMin<qint64>(sent, INT_MAX)));
        }
    });
    connect(progress, &QProgressDialog::canceled, reply, &QNetworkReply::abort);
    // The parent and the progress dialog may be gone by the time the server
    // answers (the window closed meanwhile); look at them only if they live.
    QPointer<QProgressDialog> progressGuard(progress);
    QPointer<QWidget> parentGuard(parent);
    connect(reply, &QNetworkReply::finished, this, [this, reply, progressGuard, parentGuard] {
        onUploadFinished(reply, progressGuard.data(), parentGuard.data());
    });
}

void FeedbackSender::onUploadFinished(QNetworkReply* reply, QProgressDialog* progress, QWidget* parent)
{
    if (progress) {
        // Closing a progress dialog reports a cancel; this one is not.
        disconnect(progress, nullptr, reply, nullptr);
        progress->close();
        progress->deleteLater();
    }
    if (reply->error() == QNetworkReply::NoError)
        QMessageBox::information(parent, QStringLiteral("Feedback Sent"),
                                 QStringLiteral("Thank you! Your report has been sent to QVN support."), QMessageBox::Ok);
    else if (reply->error() != QNetworkReply::OperationCanceledError)
        QMessageBox::warning(parent, QStringLiteral("Feedback Failed"),
                             QStringLiteral("Could not send feedback.\n\n%1").arg(reply->errorString()), QMessageBox::Ok);
    reply->deleteLater();
}

} // namespace Tessary
