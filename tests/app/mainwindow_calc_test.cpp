// The main window's crosstalk compensation as the user meets it: every dataset
// shows its own spillover matrix, entries that are not numbers are refused by
// name, and a compensation that fails keeps what was typed.
#include "app/mainwindow.h"

#include "app/datasetviews.h"
#include "calc/calculationsdockwidget.h"
#include "mainwindowtesting.h"
#include "rtdc/hdf5lock.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QProgressBar>
#include <QTableWidget>

#include <gtest/gtest.h>

#include <clocale>
#include <cstdlib>
#include <mutex>

using namespace Tessary;

namespace {

class MainWindowCalcTest : public ::testing::Test
{
protected:
    void SetUp() override
    {
        Testing::isolateSettings();
        window = std::make_unique<MainWindow>();
        for (const char* name : {"a.rtdc", "b.rtdc"}) {   // fl1_max and fl2_max: two channels
            Fixtures::writeStandardMeasurement(dir.file(name), 200);
            window->addDataset(QString::fromStdString(dir.file(name)));
            ASSERT_TRUE(settled());
        }
        table = window->calcDockWidget->findChild<QTableWidget*>();
        ASSERT_NE(table, nullptr);
        progress = window->calcDockWidget->progressBar;
    }

    // Runs the event loop until no preload and no calculation is left.
    bool settled()
    {
        QDeadlineTimer deadline(20000);
        while (window->preloadRunning || window->calculationRunning()) {
            if (deadline.hasExpired())
                return false;
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
        return true;
    }
    void show(int row) { window->datasetList->setCurrentRow(row); }
    QString cell(int i, int j) const { return table->item(i, j)->text(); }
    DatasetEntry* entry(int index) const { return window->datasetEntries[size_t(index)].get(); }
    // Presses the button and lets the calculation end; returns the box it showed.
    Testing::MessageBoxCatcher* compensate()
    {
        box = std::make_unique<Testing::MessageBoxCatcher>();
        box->arm();
        QMetaObject::invokeMethod(window.get(), "onCompensateCrosstalk");
        EXPECT_TRUE(settled());
        return box.get();
    }
    bool progressIdle() const { return progress->format() == "%p%" && progress->value() == 0; }

    Fixtures::TempDir dir;
    std::unique_ptr<MainWindow> window;
    std::unique_ptr<Testing::MessageBoxCatcher> box;
    QTableWidget* table = nullptr;
    QProgressBar* progress = nullptr;
};

// Sets the C library's numeric locale to German (a decimal comma) while it
// lives, as the application object does under LC_ALL=de_DE.UTF-8. A machine
// without that locale gets it built into a temporary folder from the sources
// of the locales package, which the set-up installs.
class DecimalCommaLocale
{
public:
    DecimalCommaLocale()
        : previous(std::setlocale(LC_NUMERIC, nullptr))
    {
        if (std::setlocale(LC_NUMERIC, "de_DE.UTF-8"))
            return;
        const std::string build = "localedef -i de_DE -f UTF-8 '" + dir.file("de_DE.UTF-8") + "' >/dev/null 2>&1";
        if (std::system(build.c_str()) == -1)
            return;
        ::setenv("LOCPATH", dir.path().c_str(), 1);
        std::setlocale(LC_NUMERIC, "de_DE.UTF-8");
    }
    ~DecimalCommaLocale()
    {
        std::setlocale(LC_NUMERIC, previous.c_str());
        ::unsetenv("LOCPATH");
    }
    bool active() const { return std::localeconv()->decimal_point == std::string(","); }

private:
    Fixtures::TempDir dir;
    std::string previous;
};

} // namespace

// Files hold a decimal point whatever the user's locale, so the measurement's
// numbers must not be read through it.
TEST_F(MainWindowCalcTest, MeasurementNumbersReadTheSameUnderADecimalCommaLocale)
{
    const DecimalCommaLocale locale;
    ASSERT_TRUE(locale.active()) << "no German locale: install the locales package";
    Fixtures::standardMeasurement(200)
        .attribute("setup:flow rate", 0.16)
        .attribute("imaging:pixel size", 0.68)
        .attribute("setup:temperature", 23.5)
        .write(dir.file("comma.rtdc"));
    window->addDataset(QString::fromStdString(dir.file("comma.rtdc")));
    ASSERT_TRUE(settled());
    show(2);
    const EModulusParams shown = window->calcDockWidget->emodulusParams();
    EXPECT_EQ(shown.flowRate, 0.16);
    EXPECT_EQ(shown.pixelSize, 0.68);
    EXPECT_EQ(shown.temperature, 23.5);
    EXPECT_EQ(shown.tempSource, 2); // the measured temperature
}

TEST_F(MainWindowCalcTest, EachDatasetShowsItsOwnMatrixAndAFailureKeepsTheEntries)
{
    show(0);
    table->item(0, 1)->setText("0.25");
    EXPECT_EQ(compensate()->seen, 0);
    ASSERT_TRUE(entry(0)->ctcApplied);
    EXPECT_EQ(entry(0)->spilloverMatrix(0, 1), 0.25);
    EXPECT_TRUE(entry(0)->reader->isComputedFeature("fl1_max_ctc"));
    EXPECT_TRUE(progressIdle()) << progress->text().toStdString();

    // Never compensated: no crosstalk at all. Back on the first: its own matrix.
    show(1);
    EXPECT_EQ(cell(0, 1), "0");
    show(0);
    EXPECT_EQ(cell(0, 1), "0.25");

    // A matrix that cannot be inverted: the warning, the entries as typed, the
    // bar idle again and the applied matrix unchanged.
    table->item(0, 1)->setText("1");
    table->item(1, 0)->setText("1.0");
    const Testing::MessageBoxCatcher* failure = compensate();
    EXPECT_EQ(failure->title, "Compensate Crosstalk");
    EXPECT_EQ(cell(0, 1), "1");
    EXPECT_EQ(cell(1, 0), "1.0");
    EXPECT_TRUE(progressIdle()) << progress->text().toStdString();
    EXPECT_EQ(entry(0)->spilloverMatrix(0, 1), 0.25);
}

TEST_F(MainWindowCalcTest, EntriesThatAreNotNumbersAreRefusedByName)
{
    show(0);
    for (const QString typed : {"15%", "0.08x"}) {
        table->item(1, 0)->setText(typed);
        const Testing::MessageBoxCatcher* refusal = compensate();
        EXPECT_EQ(refusal->title, "Compensate Crosstalk");
        EXPECT_TRUE(refusal->text.contains("row FL2, column FL1") && refusal->text.contains(typed))
            << refusal->text.toStdString();
    }
    EXPECT_FALSE(entry(0)->ctcApplied);
    EXPECT_FALSE(entry(0)->reader->hasFeature("fl1_max_ctc"));
    EXPECT_EQ(cell(1, 0), "0.08x");
}

// A refinement whose dataset is removed stops, and the next calculation
// starts at once; with a copy left on the same reader it goes on, and the
// copy is marked refined.
TEST_F(MainWindowCalcTest, RemovingADatasetStopsItsRefinementUnlessACopyIsLeft)
{
    Fixtures::StandardOptions traces;
    traces.traces = true;
    for (const char* name : {"t1.rtdc", "t2.rtdc"}) {
        Fixtures::writeStandardMeasurement(dir.file(name), 2000, traces);
        window->addDataset(QString::fromStdString(dir.file(name)));
        ASSERT_TRUE(settled());
    }
    // While the lock is held, the refinement cannot end (it reads traces).
    std::unique_lock<std::recursive_mutex> hold(hdf5Mutex);
    show(2);
    const std::shared_ptr<RTDCReader> alone = entry(2)->reader;
    QMetaObject::invokeMethod(window.get(), "onRefineFluorescence");
    ASSERT_TRUE(window->calculationRunning());
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    EXPECT_FALSE(window->calculationRunning());
    hold.unlock();
    show(0);
    EXPECT_EQ(compensate()->seen, 0);   // not "Another calculation is running."
    EXPECT_TRUE(entry(0)->ctcApplied);
    for (QFuture<void>& stopped : window->abandonedCalculations)
        stopped.waitForFinished();
    EXPECT_FALSE(alone->isComputedFeature("fl1_max_rf"));

    hold.lock();
    show(2);
    QMetaObject::invokeMethod(window.get(), "onRefineFluorescence");
    ASSERT_TRUE(window->calculationRunning());
    QMetaObject::invokeMethod(window.get(), "duplicateDataset");
    ASSERT_EQ(window->datasetEntries.size(), 4u);
    show(2);
    QMetaObject::invokeMethod(window.get(), "removeDataset");
    EXPECT_TRUE(window->calculationRunning());
    hold.unlock();
    ASSERT_TRUE(settled());
    const DatasetEntry* copy = entry(2);
    EXPECT_TRUE(copy->flRefinementApplied);
    EXPECT_TRUE(copy->reader->isComputedFeature("fl1_max_rf"));
}
