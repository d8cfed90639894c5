#pragma once

#include <QObject>
#include <QString>
#include <QUrl>

class QNetworkAccessManager;
class QNetworkReply;

namespace Tessary {

// Asks the update server for its manifest ({"version", "url", "notes"}) and
// compares the version with ours. A silent check reports only a newer
// version; a check on demand reports every outcome. An answer above 1 MB is
// refused unread, and the version text and the notes are cut to a length a
// message box can show (the version is compared whole). The manifest address is
// given by the build (empty: no server, and nothing is ever sent); tests give
// their own.
class UpdateChecker : public QObject
{
    Q_OBJECT
public:
    explicit UpdateChecker(QObject* parent = nullptr);

    // The program's version, "3.3.99".
    static QString currentVersion();
    // The address compiled into this build; empty when it names no server.
    static QUrl configuredManifestUrl();

    QUrl manifestUrl() const { return manifest; }
    void setManifestUrl(const QUrl& url) { manifest = url; }
    // Where "Open Downloads..." leads when the manifest names no page: the
    // folder of the manifest on the same server.
    QUrl defaultDownloadUrl() const;

    // Starts one request; the answer comes later through one of the signals,
    // or (silent and not newer) through none.
    void checkForUpdates(bool silent);

signals:
    void updateAvailable(QString latestVersion, QString downloadUrl, QString notes);
    void upToDate(QString currentVersion);
    void checkFailed(QString errorMessage);

private:
    // oversized: the answer was longer than any manifest and was not read.
    void onReplyFinished(QNetworkReply* reply, bool silent, bool oversized);

    QNetworkAccessManager* network = nullptr;   // child of the checker
    QUrl manifest;
};

} // namespace Tessary
