#include "app/updatechecker.h"

#include "app/displaytext.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QVersionNumber>

#include <memory>

namespace Tessary {

namespace {

// A manifest is a few kilobytes: a larger answer is not one and is not read.
constexpr qint64 maximumManifestBytes = 1 << 20;
// The notes go into a message box; longer ones are cut.
constexpr int maximumNotesLength = 2000;
// Version texts are a few characters; the one shown (and kept when the user
// ignores it) is cut to this length.
constexpr int maximumVersionLength = 64;

// Only web pages may come from the manifest: the page is handed to the
// desktop, which would as readily run a local file or another scheme.
bool isWebPage(const QUrl& url)
{
    return url.isValid() && !url.host().isEmpty()
        && (url.scheme() == QLatin1String("https") || url.scheme() == QLatin1String("http"));
}

} // namespace

UpdateChecker::UpdateChecker(QObject* parent)
    : QObject(parent)
    , network(new QNetworkAccessManager(this))
    , manifest(configuredManifestUrl())
{
}

QString UpdateChecker::currentVersion()
{
    return QStringLiteral("3.3.99");
}

QUrl UpdateChecker::configuredManifestUrl()
{
    const QString address = QStringLiteral(TESSARY_UPDATE_URL).trimmed();
    return address.isEmpty() ? QUrl() : QUrl(address);
}

QUrl UpdateChecker::defaultDownloadUrl() const
{
    return manifest.isEmpty() ? QUrl() : manifest.resolved(QUrl(QStringLiteral(".")));
}

void UpdateChecker::checkForUpdates(bool silent)
{
    if (manifest.isEmpty() || !manifest.isValid()) {
        // No server for this build: nothing is sent. Reported like any other
        // failure, later, as a real answer would be.
        if (!silent)
            QTimer::singleShot(0, this, [this] {
                emit checkFailed(QStringLiteral("No update server is configured for this build of Tessary."));
            });
        return;
    }
    QNetworkRequest request(manifest);
    request.setHeader(QNetworkRequest::UserAgentHeader, QStringLiteral("Tessary/%1").arg(currentVersion()));
    request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
    QNetworkReply* reply = network->get(request);
    auto oversized = std::make_shared<bool>(false);
    connect(reply, &QNetworkReply::downloadProgress, this, [reply, oversized](qint64 received, qint64 total) {
        if (*oversized || (received <= maximumManifestBytes && total <= maximumManifestBytes))
            return;
        *oversized = true;
        reply->abort();
    });
    connect(reply, &QNetworkReply::finished, this, [this, reply, silent, oversized] {
        onReplyFinished(reply, silent, *oversized || reply->bytesAvailable() > maximumManifestBytes);
        reply->deleteLater();
    });
}

void UpdateChecker::onReplyFinished(QNetworkReply* reply, bool silent, bool oversized)
{
    if (oversized) {
        if (!silent)
            emit checkFailed(QStringLiteral("Could not read version information from the server."));
        return;
    }
    if (reply->error() != QNetworkReply::NoError) {
        if (!silent)
            emit checkFailed(reply->errorString());
        return;
    }
    QJsonParseError parseError;
    const QJsonDocument doc = QJsonDocument::fromJson(reply->readAll(), &parseError);
    if (parseError.error != QJsonParseError::NoError || !doc.isObject()) {
        if (!silent)
            emit checkFailed(QStringLiteral("Could not read version information from the server."));
        return;
    }
    const QJsonObject manifestObject = doc.object();
    const QString version = manifestObject.value(QStringLiteral("version")).toString();
    QUrl page(manifestObject.value(QStringLiteral("url")).toString(), QUrl::StrictMode);
    if (!isWebPage(page))
        page = defaultDownloadUrl();
    const QString notes = shortenedText(manifestObject.value(QStringLiteral("notes")).toString(), maximumNotesLength);

    const QVersionNumber latestNumber = QVersionNumber::fromString(version);
    const QVersionNumber ours = QVersionNumber::fromString(currentVersion());
    if (latestNumber.isNull()) {
        if (!silent)
            emit checkFailed(QStringLiteral("The server returned an unrecognized version string."));
        return;
    }
    if (QVersionNumber::compare(latestNumber, ours) > 0)
        emit updateAvailable(shortenedText(version, maximumVersionLength), page.toString(), notes);
    else if (!silent)
        emit upToDate(currentVersion());
}

} // namespace Tessary
