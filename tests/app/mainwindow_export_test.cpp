// The exports of the main window, driven through their dialogs: kept events
// to files read back, the statistical summary table, the plot images.
// Clicks go through the window system layer, which holds them back from a
// window that a modal dialog blocks, as it does for a user.
#define QTEST_QPA_MOUSE_HANDLING
#include "app/mainwindow.h"

#include "app/statsummary.h"
#include "common/filesizelimit.h"
#include "exporttesting.h"
#include "mainwindowtesting.h"
#include "widgets/columnstatistics.h"
#include "widgets/scatterplot.h"

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QDoubleSpinBox>
#include <QFileDialog>
#include <QFutureInterface>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QProgressDialog>
#include <QRadioButton>
#include <QScopeGuard>
#include <QTest>

#include <qwt_plot_item.h>

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <sstream>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::fileText;
using Testing::folderEntries;

namespace {

// Answers the modal dialogs that an export opens while `run` lasts and logs
// every message box as "<title>|<text>" and the label of every progress
// dialog as it shows.
struct ModalDriver
{
    std::function<void(ExportDialog&)> exportDialog;
    std::function<void(StatSummaryExportDialog&)> summaryDialog;
    std::function<void(QFileDialog&)> fileDialog;
    std::function<void(QProgressDialog&)> progressDialog;
    QStringList boxes;
    QStringList progressLabels;
    bool replaceFiles = false;   // answers yes when a file dialog asks to replace a file

    void run(const char* slot, MainWindow& window)
    {
        ProgressWatch watch(*this);
        qApp->installEventFilter(&watch);
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [this] {
            QWidget* modal = QApplication::activeModalWidget();
            if (auto* d = qobject_cast<ExportDialog*>(modal))
                exportDialog ? exportDialog(*d) : d->reject();
            else if (auto* d = qobject_cast<StatSummaryExportDialog*>(modal))
                summaryDialog ? summaryDialog(*d) : d->reject();
            else if (auto* d = qobject_cast<QFileDialog*>(modal))
                fileDialog ? fileDialog(*d) : d->reject();
            else if (QMessageBox* box = visibleMessageBox())
                answer(*box);
        });
        timer.start(10);
        ASSERT_TRUE(QMetaObject::invokeMethod(&window, slot));
        qApp->removeEventFilter(&watch);
    }

private:
    struct ProgressWatch : QObject
    {
        explicit ProgressWatch(ModalDriver& driver) : driver(driver) {}
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            auto* dialog = qobject_cast<QProgressDialog*>(watched);
            if (dialog && event->type() == QEvent::Show) {
                driver.progressLabels << dialog->labelText();
                if (driver.progressDialog)
                    driver.progressDialog(*dialog);
            }
            return false;
        }
        ModalDriver& driver;
    };

    // A box that is open, even when another modal window came up over it.
    static QMessageBox* visibleMessageBox()
    {
        for (QWidget* window : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<QMessageBox*>(window); box && box->isVisible())
                return box;
        return nullptr;
    }

    // Closes a box as a user does, by clicking its button. A box that does
    // not take the click (another modal window blocks it) is logged as stuck
    // and closed directly, so the test goes on.
    void answer(QMessageBox& box)
    {
        if (lastBox != &box) {
            lastBox = &box;
            clicks = 0;
            boxes << box.windowTitle() + "|" + box.text();
        }
        QAbstractButton* button = box.defaultButton();
        if (replaceFiles && box.button(QMessageBox::Yes))
            button = box.button(QMessageBox::Yes);
        if (!button)
            button = box.buttons().value(0);
        if (button && ++clicks <= 3) {
            QTest::mouseClick(button, Qt::LeftButton);
            return;
        }
        boxes.last() += " (stuck)";
        box.reject();
    }

    QPointer<QMessageBox> lastBox;
    int clicks = 0;
};

// Runs the test from another working directory and goes back afterwards.
struct WorkingDirectory
{
    explicit WorkingDirectory(const std::string& path) { QDir::setCurrent(QString::fromStdString(path)); }
    ~WorkingDirectory() { QDir::setCurrent(before); }
    const QString before = QDir::currentPath();
};

FilterRule rangeRule(const std::string& feature, double low, double high)
{
    FilterRule rule;
    rule.featureName = feature;
    rule.minValue = low;
    rule.maxValue = high;
    return rule;
}

std::string g6(double value)
{
    std::ostringstream out;
    out << value;
    return out.str();
}

class MainWindowExportTest : public ::testing::Test
{
protected:
    void SetUp() override { Testing::isolateSettings(); }

    // area_um 1..6, deform 0.1..0.6, sample "S".
    std::string measurement(const std::string& path)
    {
        RtdcFileBuilder b;
        b.attribute("setup:module composition", "Vireon")
            .attribute("experiment:sample", "S")
            .feature("area_um", std::vector<double>{1, 2, 3, 4, 5, 6})
            .feature("deform", std::vector<double>{0.1, 0.2, 0.3, 0.4, 0.5, 0.6});
        b.write(path);
        return path;
    }

    Fixtures::TempDir dir;
    MainWindow window;
    ModalDriver driver;
};

} // namespace

// ---- events ---------------------------------------------------------------

TEST_F(MainWindowExportTest, KeptEventsGoToANewRtdcFileAndEarlierFilesStay)
{
    const std::string folder = dir.file("Mëssung");
    std::filesystem::create_directory(std::filesystem::u8path(folder));
    DatasetEntry* ds = Testing::addLoadedDataset(window, measurement(folder + "/m1.rtdc"), "Renamed");
    ASSERT_NE(ds, nullptr);
    ds->filter.addRule(rangeRule("area_um", 2, 4));
    driver.exportDialog = [](ExportDialog& d) { d.accept(); };
    driver.run("exportData", window);
    EXPECT_EQ(driver.boxes, QStringList{"Export|Dataset exported successfully."});
    ASSERT_TRUE(window.lastExportOptions.has_value());

    RTDCReader first;
    ASSERT_TRUE(first.open(folder + "/RYXexport_m1.rtdc"));
    EXPECT_EQ(first.readFeature("area_um"), (std::vector<double>{2, 3, 4}));
    const RTDCMetadata meta = first.readMetadata();
    EXPECT_EQ(meta.offlineFilter.count("area_um min"), 1u);
    EXPECT_EQ(meta.exportInfo.at("changed sample name"), "Renamed");

    // Filtering switched off: every event, no filter record, and a new name
    // beside the first export, which keeps its content.
    ds->filter.setEnabled(false);
    setDatasetName(*ds, "S");
    driver.boxes.clear();
    driver.run("exportData", window);
    EXPECT_EQ(driver.boxes, QStringList{"Export|Dataset exported successfully."});
    RTDCReader second;
    ASSERT_TRUE(second.open(folder + "/RYXexport_m1_2.rtdc"));
    EXPECT_EQ(second.eventCount(), 6u);
    const RTDCMetadata meta2 = second.readMetadata();
    EXPECT_TRUE(meta2.offlineFilter.empty());
    EXPECT_EQ(meta2.exportInfo.count("changed sample name"), 0u);
    EXPECT_EQ(first.eventCount(), 3u);
}

TEST_F(MainWindowExportTest, ReexportWritesTheFullNameThatTheListShowsCut)
{
    const std::string longName = "Renamed " + std::string(233, 'n');
    RtdcFileBuilder b;
    b.attribute("setup:module composition", "Vireon")
        .attribute("experiment:sample", "S")
        .attribute("export:changed sample name", longName)
        .feature("area_um", std::vector<double>{1, 2});
    b.write(dir.file("long.rtdc"));
    window.addDataset(QString::fromStdString(dir.file("long.rtdc")));
    QDeadlineTimer deadline(20000);
    while (window.preloadRunning && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    ASSERT_EQ(window.datasetEntries.size(), 1u);
    EXPECT_TRUE(window.datasetEntries[0]->displayName.endsWith(QChar(0x2026)));

    driver.exportDialog = [](ExportDialog& d) { d.accept(); };
    driver.run("exportData", window);
    RTDCReader exported;
    ASSERT_TRUE(exported.open(dir.file("RYXexport_long.rtdc")));
    EXPECT_EQ(exported.readMetadata().exportInfo.at("changed sample name"), longName);
}

TEST_F(MainWindowExportTest, AllDatasetsAsTsvCountOnlyTheFilesWritten)
{
    // The first dataset fails while the progress dialog comes up: its message
    // must still take the user's click, and the export goes on.
    DatasetEntry* none = Testing::addLoadedDataset(window, measurement(dir.file("M0.rtdc")), "Z");
    DatasetEntry* a = Testing::addLoadedDataset(window, measurement(dir.file("M1.RTDC")), "A");
    DatasetEntry* b = Testing::addLoadedDataset(window, measurement(dir.file("M2.h5")), "B");
    ASSERT_TRUE(none && a && b);
    none->filter.addRule(rangeRule("area_um", 100, 200));   // keeps nothing
    driver.exportDialog = [](ExportDialog& d) {
        d.allDatasetsRadio()->setChecked(true);
        d.tsvRadio->setChecked(true);
        d.accept();
    };
    driver.run("exportData", window);
    EXPECT_EQ(driver.boxes.join("\n").toStdString(),
              "Export|No events pass the filter for: Z\nExport|Exported 2 dataset(s) successfully.");
    EXPECT_EQ(driver.progressLabels.join("\n").toStdString(), "Exporting Z (1/3)");
    const std::string text = fileText(dir.file("RYXexport_M1.tsv"));
    EXPECT_NE(text.find("\n3\t0.29999999999999999\n"), std::string::npos) << text;
    EXPECT_TRUE(std::filesystem::exists(dir.file("RYXexport_M2.h5.tsv")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("RYXexport_M0.tsv")));
}

TEST_F(MainWindowExportTest, ExportShowsItsProgressAndCancelLeavesNoFile)
{
    ASSERT_NE(Testing::addLoadedDataset(window, measurement(dir.file("m.rtdc")), "A"), nullptr);
    driver.exportDialog = [](ExportDialog& d) { d.accept(); };
    driver.run("exportData", window);
    EXPECT_EQ(driver.progressLabels.join("\n").toStdString(), "Exporting data...");
    EXPECT_EQ(driver.boxes.join("\n").toStdString(), "Export|Dataset exported successfully.");

    // Cancel as soon as the progress shows: no file, not even a temporary one, and no message.
    driver.progressDialog = [](QProgressDialog& d) { QMetaObject::invokeMethod(&d, "cancel", Qt::QueuedConnection); };
    for (QString format : {"rtdc", "tsv"}) {
        driver.boxes.clear();
        driver.progressLabels.clear();
        driver.exportDialog = [&](ExportDialog& d) {
            (format == "tsv" ? d.tsvRadio : d.rtdcRadio)->setChecked(true);
            d.accept();
        };
        driver.run("exportData", window);
        EXPECT_EQ(driver.progressLabels.size(), 1) << format.toStdString();
        EXPECT_TRUE(driver.boxes.isEmpty()) << driver.boxes.join(";").toStdString();
        EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"RYXexport_m.rtdc", "m.rtdc"}));
    }
}

TEST_F(MainWindowExportTest, ExportsNameWhatTheyCouldNotCopyInsteadOfSuccess)
{
    Fixtures::StandardOptions options;
    options.traces = true;
    const std::string source = dir.file("m.rtdc");
    // A column shorter than the event count cannot go into the file whole,
    // nor can a trace that lacks the rows of the last events.
    Fixtures::standardMeasurement(20, options)
        .feature("deform", std::vector<float>(12, 0.1f))
        .trace("fl2_raw", [](std::size_t i, int16_t* row) { std::fill(row, row + 100, int16_t(i + 1)); }, 17, 100)
        .write(source);
    Fixtures::addUnstoredTrace(source, "fl1_median", 20, std::uint64_t(1) << 40);
    Fixtures::addDamagedFloatAttribute(source, "user:damaged");
    ASSERT_NE(Testing::addLoadedDataset(window, source, "A"), nullptr);
    driver.exportDialog = [](ExportDialog& d) { d.accept(); };
    driver.run("exportData", window);
    const std::string target = dir.file("RYXexport_m.rtdc");
    EXPECT_EQ(driver.boxes.join("\n").toStdString(),
              "Export|Exported to " + target + ", but these could not be copied from the source and are missing:\n"
              "attribute \"user:damaged\"\nfeature \"deform\"\ntrace \"fl1_median\"\n"
              "trace \"fl2_raw\" of events 17, 18, 19 (rows of zeros in their place)");
    // The readable traces and the whole columns are in the file.
    RTDCReader out;
    ASSERT_TRUE(out.open(target));
    EXPECT_EQ(out.traceNames(), (std::vector<std::string>{"fl1_raw", "fl2_median", "fl2_raw"}));
    EXPECT_FALSE(out.hasFeature("deform"));
    EXPECT_EQ(out.readFeature("area_um").size(), 20u);
    EXPECT_EQ(out.readTrace("fl2_raw", 16), std::vector<float>(100, 17.0f));

    // The TSV file holds the short column with blank cells after its end.
    // The default name is held by a link that leads nowhere, outside the
    // folder: it counts as taken, so nothing is written where it points.
    std::filesystem::create_symlink(dir.file("elsewhere/m.tsv"), dir.file("RYXexport_m.tsv"));
    driver.boxes.clear();
    driver.exportDialog = [](ExportDialog& d) {
        d.tsvRadio->setChecked(true);
        d.accept();
    };
    driver.run("exportData", window);
    const std::string tsv = dir.file("RYXexport_m_2.tsv");
    EXPECT_EQ(driver.boxes.join("\n").toStdString(),
              "Export|Exported to " + tsv + ", but these could not be copied from the source and are missing:\n"
              "feature \"deform\" (blank from event 12 on)");
    EXPECT_FALSE(std::filesystem::exists(dir.file("elsewhere")));
    const std::string text = fileText(tsv);
    EXPECT_TRUE(text.find("\t\t") != std::string::npos || text.find("\t\n") != std::string::npos);   // a blank cell
}

TEST_F(MainWindowExportTest, DamagedImageIsNamedAndKeepsItsFrameInEveryFormat)
{
    Fixtures::StandardOptions options;
    options.images = true;
    options.imageStorage = {1, 4};
    const std::string source = dir.file("m.rtdc");
    Fixtures::writeStandardMeasurement(source, 20, options);
    Fixtures::damageEventChunk(source, "image", 7);
    DatasetEntry* ds = Testing::addLoadedDataset(window, source, "A");
    ASSERT_NE(ds, nullptr);
    const auto namedImage = [](const std::string& path) {
        return "Export|Exported to " + path + ", but these could not be copied from the source and are missing:\n"
               "image of event 7 (a blank frame in its place)";
    };
    const auto sourceImage = [&](std::size_t event) {
        int width = 0, height = 0;
        return ds->reader->readImage(event, width, height);
    };

    driver.exportDialog = [](ExportDialog& d) { d.accept(); };
    driver.run("exportData", window);
    EXPECT_EQ(driver.boxes.join("\n").toStdString(), namedImage(dir.file("RYXexport_m.rtdc")));
    RTDCReader out;
    ASSERT_TRUE(out.open(dir.file("RYXexport_m.rtdc")));
    ASSERT_EQ(out.eventCount(), 20u);
    int width = 0, height = 0;
    EXPECT_EQ(out.readImage(7, width, height), std::vector<uint8_t>(40 * 90, 0));
    EXPECT_EQ(out.readImage(8, width, height), sourceImage(8));

    // Both videos keep one frame per event: frame 8 is event 8.
    for (const bool mjpeg : {false, true}) {
        driver.boxes.clear();
        driver.exportDialog = [mjpeg](ExportDialog& d) {
            d.aviRadio->setChecked(true);
            (mjpeg ? d.mjpegRadio : d.rawRadio)->setChecked(true);
            d.accept();
        };
        driver.run("exportData", window);
        const std::string path = dir.file(mjpeg ? "RYXexport_m_2.avi" : "RYXexport_m.avi");
        EXPECT_EQ(driver.boxes.join("\n").toStdString(), namedImage(path));
        cv::VideoCapture video(path);
        ASSERT_TRUE(video.isOpened()) << path;
        EXPECT_EQ(video.get(cv::CAP_PROP_FRAME_COUNT), 20.0) << path;
        std::vector<cv::Mat> frames;
        for (cv::Mat frame; video.read(frame);) {
            cv::cvtColor(frame, frame, cv::COLOR_BGR2GRAY);
            frames.push_back(frame);
        }
        ASSERT_EQ(frames.size(), 20u) << path;
        double brightest = 0.0;
        cv::minMaxLoc(frames[7], nullptr, &brightest);
        EXPECT_LE(brightest, mjpeg ? 8.0 : 0.0) << path;
        std::vector<uint8_t> pixels = sourceImage(8);
        const cv::Mat eight(40, 90, CV_8UC1, pixels.data());
        EXPECT_LE(cv::norm(frames[8], eight, cv::NORM_INF), mjpeg ? 40.0 : 0.0) << path;
    }
}

#ifdef __unix__
TEST_F(MainWindowExportTest, WritesThatFailSayTheStepAndTheSystemsReason)
{
    // Files cannot grow beyond a limit, as on a full disk: every format says
    // that the write failed and why, not that the file could not be created.
    Fixtures::StandardOptions options;
    options.images = true;
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 300, options);
    ASSERT_NE(Testing::addLoadedDataset(window, dir.file("m.rtdc"), "A"), nullptr);
    const std::pair<const char*, std::function<void(ExportDialog&)>> formats[] = {
        {"RYXexport_m.rtdc", [](ExportDialog&) {}},
        {"RYXexport_m.tsv", [](ExportDialog& d) { d.tsvRadio->setChecked(true); }},
        {"RYXexport_m.avi", [](ExportDialog& d) { d.aviRadio->setChecked(true), d.rawRadio->setChecked(true); }},
        {"RYXexport_m.avi", [](ExportDialog& d) { d.aviRadio->setChecked(true), d.mjpegRadio->setChecked(true); }},
    };
    for (const auto& [name, choose] : formats) {
        driver.boxes.clear();
        driver.exportDialog = [&choose = choose](ExportDialog& d) {
            choose(d);
            d.accept();
        };
        {
            const Testing::FileSizeLimit limit(4096);
            driver.run("exportData", window);
        }
        EXPECT_EQ(driver.boxes.join("\n").toStdString(),
                  "Export Error|Failed to write: " + dir.file(name) + "\nFile too large");
    }

    const QString summary = QString::fromStdString(dir.file("summary.tsv"));
    driver.boxes.clear();
    driver.summaryDialog = [&](StatSummaryExportDialog& d) {
        d.outputEdit->setText(summary);
        d.accept();
    };
    {
        const Testing::FileSizeLimit limit(16);
        driver.run("exportStatSummary", window);
    }
    EXPECT_EQ(driver.boxes, QStringList{"Export|Failed to write: " + summary + "\nFile too large"});
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"m.rtdc"});

    // Written whole, the file cannot take the place of a folder of that name:
    // the last step is named, nothing was renamed.
    std::filesystem::create_directory(summary.toStdString());
    driver.boxes.clear();
    driver.run("exportStatSummary", window);
    EXPECT_EQ(driver.boxes,
              QStringList{"Export|Failed to put the written file in place of: " + summary + "\nIs a directory"});
}
#endif

TEST_F(MainWindowExportTest, CustomFolderMustBeAnExistingFullPath)
{
    ASSERT_NE(Testing::addLoadedDataset(window, measurement(dir.file("m.rtdc")), "A"), nullptr);
    // A relative folder would resolve against the working directory.
    const std::string work = dir.file("work");
    std::filesystem::create_directories(work + "/out");
    const WorkingDirectory inWork(work);
    const std::string missing = dir.file("missing");
    const std::pair<std::string, QString> cases[] = {
        {"", "No custom export folder is given. Choose an existing folder."},
        {"out", "The custom export folder must be an existing folder given by its full path:\nout"},
        {missing, "The custom export folder must be an existing folder given by its full path:\n"
                      + QString::fromStdString(missing)},
    };
    for (const auto& [folder, warning] : cases) {
        driver.boxes.clear();
        driver.exportDialog = [&](ExportDialog& d) {
            d.customDirectoryCheck->setChecked(true);
            d.directoryEdit->setText(QString::fromStdString(folder));
            d.accept();
        };
        driver.run("exportData", window);
        EXPECT_EQ(driver.boxes.join("\n").toStdString(), ("Export|" + warning).toStdString());
    }
    EXPECT_TRUE(folderEntries(work + "/out").empty());
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"m.rtdc", "work"}));
}

// ---- statistical summary --------------------------------------------------

TEST_F(MainWindowExportTest, SummaryKeepsWhatTheRulesKeepEvenWithFilteringOff)
{
    RtdcFileBuilder a;
    a.attribute("setup:module composition", "Vireon")
        .feature("area_um", std::vector<double>{1, 2, 100, 3, 4, NAN})
        .feature("deform", std::vector<double>{0.5, 0.5, 0.5, 0.5, 0.5, 0.5});
    a.write(dir.file("a.rtdc"));
    RtdcFileBuilder b;
    b.attribute("setup:module composition", "Vireon").feature("area_um", std::vector<double>{NAN, NAN});
    b.write(dir.file("b.rtdc"));
    // A tab or line break in a name would split the row.
    DatasetEntry* dsA = Testing::addLoadedDataset(window, dir.file("a.rtdc"), "Ä\tone\nrow");
    ASSERT_NE(Testing::addLoadedDataset(window, dir.file("b.rtdc"), "B"), nullptr);
    dsA->filter.addRule(rangeRule("area_um", 0, 50));
    dsA->filter.setEnabled(false);

    const std::string out = dir.file("summary.tsv");
    driver.summaryDialog = [&](StatSummaryExportDialog& d) {
        d.setAllDatasets(true);
        for (QCheckBox* check : {d.q1Check, d.q3Check, d.meanCheck, d.sdCheck, d.cvCheck, d.skewnessCheck,
                                 d.minCheck, d.maxCheck, d.percentileCheck})
            check->setChecked(true);
        d.percentileSpin->setValue(12.5);
        d.outputEdit->setText(QString::fromStdString(out));
        EXPECT_TRUE(d.grab().save(QString::fromStdString(dir.file("summary_dialog.png"))));
        d.accept();
    };
    driver.run("exportStatSummary", window);
    EXPECT_EQ(driver.boxes, QStringList{"Export|Statistical summary exported to:\n" + QString::fromStdString(out)});

    const std::string area = dsA->reader->featureLabel("area_um");
    const std::string deform = dsA->reader->featureLabel("deform");
    std::string header = "Dataset";
    for (const std::string& label : {area, deform})
        for (const char* stat : {"N", "Median", "IQR", "Q1", "Q3", "P12.5", "Mean", "SD", "CV (%)", "Min", "Max",
                                 "Skewness"})
            header += "\t" + label + " " + stat;
    std::istringstream lines(fileText(out));
    std::string line;
    std::getline(lines, line);
    EXPECT_EQ(line, header);

    // Kept: 1, 2, 3, 4 (100 fails the rule, NaN is left out).
    const ColumnStatistics s = computeColumnStatistics({1, 2, 3, 4});
    std::getline(lines, line);
    const std::string areaCells = "\t4\t" + g6(s.median) + "\t" + g6(s.iqr) + "\t" + g6(s.q1) + "\t" + g6(s.q3)
                                  + "\t1.375\t" + g6(s.mean) + "\t" + g6(s.sd) + "\t" + g6(s.sd * 100 / s.mean)
                                  + "\t1\t4\t0";
    EXPECT_EQ(line, "Ä one row" + areaCells + "\t4\t0.5\t0\t0.5\t0.5\t0.5\t0.5\t0\t0\t0.5\t0.5\t0");
    std::getline(lines, line);
    EXPECT_EQ(line, "B\t0" + std::string(11, '\t') + std::string(12, '\t'));   // all NaN; no deform

    // Equal values have no spread, however the rounding of their mean falls
    // (the mean of ten 0.1 is not 0.1 in binary).
    StatSummaryOptions every;
    every.statSem = every.statCv = every.statSkewness = true;
    for (const SummaryStatistic& statistic : chosenSummaryStatistics(every)) {
        const double value = statistic.value(std::vector<double>(10, 0.1));
        if (statistic.name == "SD" || statistic.name == "SEM" || statistic.name == "CV (%)"
            || statistic.name == "Skewness") {
            EXPECT_EQ(value, 0.0) << statistic.name;
        } else if (statistic.name == "Mean") {
            EXPECT_EQ(value, 0.1);
            // Sorted values far apart in size: the small ones still count.
            EXPECT_EQ(statistic.value({-1e300, 5, 7, 1e300}), 3.0);
        }
    }
}

TEST_F(MainWindowExportTest, SummaryRefusesWhatItCannotWrite)
{
    ASSERT_NE(Testing::addLoadedDataset(window, measurement(dir.file("a.rtdc")), "A"), nullptr);
    driver.summaryDialog = [](StatSummaryExportDialog& d) {
        for (QCheckBox* check : d.featureChecks())
            check->setChecked(false);
        d.accept();
    };
    driver.run("exportStatSummary", window);
    EXPECT_EQ(driver.boxes, QStringList{"Export|No features selected."});
    EXPECT_FALSE(window.lastStatSummaryOptions.has_value());

    const QString missing = QString::fromStdString(dir.file("no/such/folder.tsv"));
    driver.boxes.clear();
    driver.summaryDialog = [&](StatSummaryExportDialog& d) {
        d.outputEdit->setText(missing);
        d.accept();
    };
    driver.run("exportStatSummary", window);
    EXPECT_EQ(driver.boxes, QStringList{"Export|Could not open file for writing:\n" + missing
                                        + "\nNo such file or directory"});
    EXPECT_TRUE(window.lastStatSummaryOptions.has_value());
}

// ---- plot -------------------------------------------------------------------

TEST_F(MainWindowExportTest, PlotImagesOfEachFormatWithoutGatesThatComeBackAfterwards)
{
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 300);
    window.addDataset(QString::fromStdString(dir.file("m.rtdc")));
    QDeadlineTimer deadline(20000);
    while ((window.preloadRunning || !window.plottedIndicesValid) && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    DatasetEntry* ds = window.datasetEntries.at(0).get();
    FilterRule gate;
    gate.type = 1;
    gate.featureName = window.xFeatureCombo->currentData().toString().toStdString();
    gate.featureNameY = window.yFeatureCombo->currentData().toString().toStdString();
    gate.polygonVertices = {{0, 0}, {1000, 0}, {1000, 1}};
    ds->filter.addRule(gate);
    window.updatePlot();
    const auto gateCount = [&] { return window.scatterPlot->itemList(QwtPlotItem::Rtti_PlotShape).size(); };
    ASSERT_EQ(gateCount(), 1);

    const std::pair<QString, QByteArray> formats[] = {
        {"PNG Image (*.png)", "\x89PNG"}, {"SVG Vector (*.svg)", "<svg"}, {"PDF Document (*.pdf)", "%PDF"}};
    for (const auto& [filter, magic] : formats) {
        const QString base = QString::fromStdString(dir.file("plöt"));
        driver.fileDialog = [&](QFileDialog& d) {
            d.selectNameFilter(filter);
            d.findChild<QLineEdit*>("fileNameEdit")->setText(base);
            static_cast<QDialog&>(d).accept();
        };
        driver.run("exportPlot", window);
        const QString path = base + "." + filter.section("*", 1).chopped(1).mid(1);
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly)) << path.toStdString();
        EXPECT_TRUE(file.readAll().contains(magic)) << filter.toStdString();
        EXPECT_EQ(gateCount(), 1);
    }
    EXPECT_TRUE(driver.boxes.isEmpty()) << driver.boxes.join(";").toStdString();

#ifdef __unix__
    // A disk that fills while the figure is written: an error, and the old
    // figure stays as it was, alone.
    const QString old = QString::fromStdString(dir.file("plöt.png"));
    const std::string before = fileText(old.toStdString());
    const std::vector<std::string> files = folderEntries(dir.path());
    driver.replaceFiles = true;
    driver.fileDialog = [&](QFileDialog& d) {
        d.selectNameFilter("PNG Image (*.png)");
        d.findChild<QLineEdit*>("fileNameEdit")->setText(old);
        // From an event of its own: the driver then answers the question to replace the file.
        QTimer::singleShot(0, &d, [&d] { static_cast<QDialog&>(d).accept(); });
    };
    {
        const Testing::FileSizeLimit limit(4096);
        driver.run("exportPlot", window);
    }
    EXPECT_EQ(driver.boxes.last().toStdString(), ("Export Error|Failed to write: " + old + "\nFile too large").toStdString());
    EXPECT_EQ(fileText(old.toStdString()), before);
    EXPECT_EQ(folderEntries(dir.path()), files);
    EXPECT_EQ(gateCount(), 1);
#endif
}

// ---- remembered choices and waits -------------------------------------------

// The options of the last export keep the user's choices, not the columns
// its dialog never offered: a dataset's own columns start checked after the
// export of a dataset without them, and go out.
TEST_F(MainWindowExportTest, ColumnsTheLastExportDidNotOfferStartCheckedAndGoOut)
{
    ASSERT_NE(Testing::addLoadedDataset(window, measurement(dir.file("a.rtdc")), "A"), nullptr);
    RtdcFileBuilder c;
    c.attribute("setup:module composition", "Vireon")
        .feature("area_um", std::vector<double>{1, 2})
        .feature("deform", std::vector<double>{0.1, 0.2})
        .feature("ml_class", std::vector<double>{0, 1})
        .feature("userdef1", std::vector<double>{5, 6})
        .feature("userdef2", std::vector<double>{7, 8});
    c.write(dir.file("c.rtdc"));
    DatasetEntry* dsC = Testing::addLoadedDataset(window, dir.file("c.rtdc"), "C");
    ASSERT_NE(dsC, nullptr);
    driver.exportDialog = [](ExportDialog& d) {
        d.tsvRadio->setChecked(true);
        d.accept();
    };
    driver.run("exportData", window);   // A, as the dialog comes

    window.activeDatasetIndex = 1;
    QStringList unchecked;
    driver.exportDialog = [&unchecked](ExportDialog& d) {
        for (QCheckBox* box : d.featureChecks())
            if (!box->isChecked())
                unchecked << box->text();
        d.accept();
    };
    driver.run("exportData", window);   // C, as the dialog comes
    EXPECT_TRUE(unchecked.isEmpty()) << unchecked.join("; ").toStdString();
    EXPECT_EQ(driver.boxes, QStringList({"Export|Dataset exported successfully.", "Export|Dataset exported successfully."}));
    std::string header;
    for (const char* name : {"area_um", "deform", "ml_class", "userdef1", "userdef2"})
        header += (header.empty() ? "" : "\t") + dsC->reader->featureLabel(name);
    const std::string text = fileText(dir.file("RYXexport_c.tsv"));
    EXPECT_NE(text.find("#\n" + header + "\n1\t0.10000000000000001\t0\t5\t7\n"), std::string::npos) << text;
}

// With a restored calculation of another dataset held back (of 10^6 events it
// takes minutes), the data and summary exports of the current dataset neither
// wait for it nor name it; the export of every dataset waits for it.
TEST_F(MainWindowExportTest, ExportsOfTheCurrentDatasetWaitOnlyForIt)
{
    ASSERT_NE(Testing::addLoadedDataset(window, measurement(dir.file("a.rtdc")), "A"), nullptr);
    Fixtures::StandardOptions traces;
    traces.traces = true;
    Fixtures::writeStandardMeasurement(dir.file("r.rtdc"), 200, traces);
    DatasetEntry* refined = Testing::addLoadedDataset(window, dir.file("r.rtdc"), "R");
    ASSERT_NE(refined, nullptr);
    refined->flRefinementApplied = true;   // as a session leaves it: to be recomputed
    // Another calculation runs, and R's recomputation waits behind it.
    QFutureInterface<void> running;
    running.reportStarted();
    window.calcWatcher->setFuture(running.future());
    window.calcRunning = true;
    const auto release = qScopeGuard([&] {
        running.reportFinished();
        QDeadlineTimer deadline(20000);
        while (window.calculationRunning() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    });
    ASSERT_EQ(window.datasetReadiness(refined->id), MainWindow::DatasetReadiness::Calculating);
    // A wait is cancelled at once: a test that hangs tells nothing.
    driver.progressDialog = [](QProgressDialog& d) {
        if (!d.labelText().startsWith("Exporting"))
            QMetaObject::invokeMethod(&d, "cancel", Qt::QueuedConnection);
    };

    driver.exportDialog = [](ExportDialog& d) {
        d.tsvRadio->setChecked(true);
        d.accept();
    };
    driver.run("exportData", window);
    const QString summary = QString::fromStdString(dir.file("summary.tsv"));
    driver.summaryDialog = [&summary](StatSummaryExportDialog& d) {
        d.outputEdit->setText(summary);
        d.accept();
    };
    driver.run("exportStatSummary", window);
    EXPECT_EQ(driver.boxes, QStringList({"Export|Dataset exported successfully.",
                                         "Export|Statistical summary exported to:\n" + summary}));
    EXPECT_EQ(driver.progressLabels.join("\n").toStdString(), "Exporting data...");
    EXPECT_TRUE(std::filesystem::exists(dir.file("RYXexport_a.tsv")));

    driver.boxes.clear();
    driver.progressLabels.clear();
    driver.exportDialog = [](ExportDialog& d) {
        d.allDatasetsRadio()->setChecked(true);
        d.tsvRadio->setChecked(true);
        d.accept();
    };
    driver.run("exportData", window);
    ASSERT_EQ(driver.progressLabels.size(), 1);
    EXPECT_TRUE(driver.progressLabels[0].startsWith("Restoring the session's calculations"))
        << driver.progressLabels[0].toStdString();
    EXPECT_TRUE(driver.boxes.isEmpty()) << driver.boxes.join(";").toStdString();
    EXPECT_FALSE(std::filesystem::exists(dir.file("RYXexport_r.tsv")));
    EXPECT_FALSE(std::filesystem::exists(dir.file("RYXexport_a_2.tsv")));
}
