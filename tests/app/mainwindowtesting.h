#pragma once
// Helpers for tests that need a main window with datasets: the window is
// built offscreen with settings kept in a test location, and datasets are
// entered the way the window's own opening does once a file has loaded.

#include "app/datasetentry.h"
#include "app/displaytext.h"
#include "app/mainwindow.h"
#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QSettings>
#include <QStandardPaths>
#include <QTimer>

#include <functional>
#include <memory>
#include <string>

namespace Tessary::Testing {

// Settings go to a throw-away place, never to the user's own, and to a store
// of this process alone (test programs run in parallel).
inline void isolateSettings()
{
    QStandardPaths::setTestModeEnabled(true);
    QCoreApplication::setOrganizationName(QStringLiteral("TessaryTests-%1").arg(QCoreApplication::applicationPid()));
    QSettings().clear();
}

inline DatasetEntry* addLoadedDataset(MainWindow& window, const std::string& path, const QString& name)
{
    auto entry = std::make_unique<DatasetEntry>();
    entry->reader = std::make_shared<RTDCReader>();
    if (!entry->reader->open(path))
        return nullptr;
    entry->metadata = entry->reader->readMetadata();
    entry->reader->preloadFeatures();
    entry->loaded = true;
    entry->id = window.nextDatasetId++;
    entry->filePath = path;
    setDatasetName(*entry, name);
    DatasetEntry* raw = entry.get();
    window.datasetEntries.push_back(std::move(entry));
    if (window.activeDatasetIndex < 0)
        window.activeDatasetIndex = 0;
    return raw;
}

// Closes the next modal message box and remembers its title and text.
struct MessageBoxCatcher
{
    QString title, text;
    QStringList buttons;
    int seen = 0;
    std::function<void()> whileShown;   // runs while the box is open, before it is closed
    QMessageBox::StandardButton answer = QMessageBox::NoButton;   // the button clicked; none: rejected

    void arm()
    {
        QTimer::singleShot(0, &context, [this] { poll(500); });
    }

private:
    QObject context; // ends the polling when the catcher goes before a box came
    void poll(int triesLeft)
    {
        auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
        if (!box) {
            if (triesLeft > 0)
                QTimer::singleShot(10, &context, [this, triesLeft] { poll(triesLeft - 1); });
            return;
        }
        ++seen;
        title = box->windowTitle();
        text = box->text();
        buttons.clear();
        for (QAbstractButton* b : box->buttons())
            buttons << b->text();
        if (whileShown)
            whileShown();
        if (QAbstractButton* button = box->button(answer))
            button->click();
        else
            box->reject();
    }
};

} // namespace Tessary::Testing
