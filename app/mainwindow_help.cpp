// The update check, the feedback report, the manual and the about box.
#include "app/mainwindow.h"

#include "app/feedbacksender.h"
#include "app/updatechecker.h"
#include "rtdc/rtdcreader.h"

#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QUrl>

#include <map>
#include <string>

namespace Tessary {

UpdateChecker* MainWindow::ensureUpdateChecker()
{
    if (updateChecker)
        return updateChecker;
    updateChecker = new UpdateChecker(this);
    connect(updateChecker, &UpdateChecker::updateAvailable, this,
            [this](const QString& latest, const QString& url, const QString& notes) {
                showUpdateAvailable(latest, url, notes);
            });
    connect(updateChecker, &UpdateChecker::upToDate, this, [this](const QString& version) {
        QMessageBox::information(this, QStringLiteral("Check for Updates"),
                                 QStringLiteral("You are running the latest version of Tessary (%1).").arg(version),
                                 QMessageBox::Ok);
    });
    connect(updateChecker, &UpdateChecker::checkFailed, this, [this](const QString& error) {
        QMessageBox::warning(this, QStringLiteral("Check for Updates"),
                             QStringLiteral("Could not check for updates.\n\n%1").arg(error), QMessageBox::Ok);
    });
    return updateChecker;
}

void MainWindow::checkForUpdates(bool silent)
{
    UpdateChecker* checker = ensureUpdateChecker();
    lastCheckSilent = silent;
    checker->checkForUpdates(silent);
}

void MainWindow::showUpdateAvailable(const QString& latestVersion, const QString& downloadUrl, const QString& notes)
{
    if (lastCheckSilent
        && QSettings().value(QStringLiteral("updates/ignoredVersion")).toString() == latestVersion)
        return;

    QString text = QStringLiteral("A newer version of Tessary is available.\n\nInstalled: %1\nLatest: %2")
                       .arg(UpdateChecker::currentVersion(), latestVersion);
    if (!notes.isEmpty())
        text += QStringLiteral("\n\nWhat's new:\n%1").arg(notes);

    QMessageBox box(QMessageBox::Information, QStringLiteral("Update Available"), text, QMessageBox::NoButton, this);
    QPushButton* open = box.addButton(QStringLiteral("Open Downloads..."), QMessageBox::AcceptRole);
    QPushButton* ignore = box.addButton(QStringLiteral("Ignore This Version"), QMessageBox::ActionRole);
    QPushButton* later = box.addButton(QStringLiteral("Later"), QMessageBox::RejectRole);
    box.setDefaultButton(open);
    box.setEscapeButton(later);
    box.exec();
    if (box.clickedButton() == open)
        QDesktopServices::openUrl(QUrl(downloadUrl));
    else if (box.clickedButton() == ignore)
        QSettings().setValue(QStringLiteral("updates/ignoredVersion"), latestVersion);
}

FeedbackSender* MainWindow::ensureFeedbackSender()
{
    if (!feedbackSender)
        feedbackSender = new FeedbackSender(this);
    return feedbackSender;
}

void MainWindow::sendFeedback(QString title, QString message)
{
    FeedbackSender* sender = ensureFeedbackSender();
    const QString summary = buildSessionSummary();
    sender->send(UpdateChecker::currentVersion(), summary, title, message, this);
}

QString MainWindow::buildSessionSummary() const
{
    QString summary = QStringLiteral("Datasets: %1\n").arg(datasetEntries.size());
    if (lastPlotFiltered)
        summary += QStringLiteral("Global filter: active\n");

    int number = 0;
    for (const auto& entry : datasetEntries) {
        const DatasetEntry& ds = *entry;
        summary += QStringLiteral("\n--- Dataset %1 ---\n").arg(++number);
        if (ds.reader)
            summary += QStringLiteral("Events: %1\n").arg(ds.reader->eventCount());
        summary += QStringLiteral("Loaded: %1\n").arg(ds.loaded ? QStringLiteral("yes") : QStringLiteral("no"));

        // The two keys that may name the sample stay out: the report promises
        // neither file paths nor sample names.
        const std::pair<const char*, const std::map<std::string, std::string>*> sections[] = {
            {"experiment", &ds.metadata.experiment},       {"setup", &ds.metadata.setup},
            {"imaging", &ds.metadata.imaging},             {"online_contour", &ds.metadata.onlineContour},
            {"online_filter", &ds.metadata.onlineFilter},  {"fluorescence", &ds.metadata.fluorescence},
            {"export", &ds.metadata.exportInfo},
        };
        for (const auto& [name, values] : sections) {
            if (values->empty())
                continue;
            const std::string section(name);
            summary += QStringLiteral("[%1]\n").arg(QLatin1String(name));
            for (const auto& [key, value] : *values) {
                if ((section == "experiment" && key == "sample") || (section == "export" && key == "changed sample name"))
                    continue;
                summary += QStringLiteral("  %1: %2\n").arg(QString::fromStdString(key), QString::fromStdString(value));
            }
        }

        const std::vector<FilterRule>& rules = ds.filter.rules;
        if (!rules.empty()) {
            // One arg() call per line: names that hold "%1" must not be re-substituted.
            summary += QStringLiteral("Filter rules (%1, enabled=%2):\n")
                           .arg(QString::number(rules.size()), ds.filter.isEnabled() ? QStringLiteral("yes") : QStringLiteral("no"));
            for (const FilterRule& rule : rules) {
                const QString inverted = rule.inverted ? QStringLiteral(" [inverted]") : QString();
                if (rule.type == 1)
                    summary += QStringLiteral("  polygon %1/%2 (%3 verts)%4\n")
                                   .arg(QString::fromStdString(rule.featureName), QString::fromStdString(rule.featureNameY),
                                        QString::number(rule.polygonVertices.size()), inverted);
                else
                    summary += QStringLiteral("  range %1 [%2, %3]%4\n")
                                   .arg(QString::fromStdString(rule.featureName), QString::number(rule.minValue, 'g', 6),
                                        QString::number(rule.maxValue, 'g', 6), inverted);
            }
        }

        QStringList calculations;
        if (ds.flRefinementApplied)
            calculations << QStringLiteral("fl-refinement");
        if (ds.ctcApplied)
            calculations << QStringLiteral("crosstalk-compensation");
        if (ds.emodApplied)
            calculations << QStringLiteral("emodulus");
        if (ds.fcDeformApplied)
            calculations << QStringLiteral("fourier-deformation");
        if (!calculations.isEmpty())
            summary += QStringLiteral("Calculations: %1\n").arg(calculations.join(QStringLiteral(", ")));
    }
    return summary;
}

} // namespace Tessary
