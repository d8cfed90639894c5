#pragma once

#include <QDialog>
#include <QString>

class QLabel;

namespace Tessary {

// The about box: version, a short description, the libraries used, and links
// that open the licence and notice documents shipped beside the executable.
class AboutDialog : public QDialog
{
    Q_OBJECT
public:
    // The application folder defaults to the executable's; tests give another.
    explicit AboutDialog(QWidget* parent = nullptr, const QString& applicationFolder = QString());

    // The "licenses" folder beside the executable (or in ../share/tessary),
    // or an empty string when neither exists.
    QString licensesFolder() const;
    static QString licensesFolderIn(const QString& applicationFolder);
    // Opens one licence document or folder with the desktop's application.
    void showLicenseFile(const QString& path);

    // The document (or sub-folder) a link names, or an empty string for any
    // other link.
    static QString documentForLink(const QString& link);

    QLabel* linksLabel() const { return links; }

private slots:
    void onLinkActivated(QString url);

private:
    QString applicationFolder;
    QLabel* links = nullptr;
};

} // namespace Tessary
