// The main window's plot update on a loaded measurement: reading the cached
// columns, density colouring, two contours, the overlays, the statistics and
// the repaint of the shown window; and moving the highlight to another event.
#include "app/mainwindow.h"

#include "fixtures/rtdcfixture.h"
#include "widgets/scatterplot.h"

#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QSettings>
#include <QStandardPaths>

#include <benchmark/benchmark.h>

#include <map>
#include <memory>

using namespace Tessary;

namespace {

struct LoadedWindow {
    std::unique_ptr<MainWindow> window;
};

Fixtures::TempDir& tempDir()
{
    static Fixtures::TempDir dir;
    return dir;
}

// One shown window per event count, with the measurement opened the way the
// menu opens it, density colouring and the contour overlay switched on.
MainWindow& loadedWindow(std::size_t events)
{
    static std::map<std::size_t, LoadedWindow> windows;
    LoadedWindow& slot = windows[events];
    if (!slot.window) {
        const std::string path = tempDir().file("m" + std::to_string(events) + ".rtdc");
        Fixtures::writeStandardMeasurement(path, events);
        slot.window = std::make_unique<MainWindow>();
        slot.window->show();
        slot.window->addDataset(QString::fromStdString(path));
        QDeadlineTimer deadline(120000);
        while (slot.window->preloadRunning && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        QComboBox* colour = slot.window->colorFeatureCombo;
        colour->setCurrentIndex(colour->findData(QStringLiteral("__density_kde__")));
        slot.window->contourModeCombo->setCurrentIndex(1);
        QCoreApplication::processEvents();
    }
    return *slot.window;
}

void BM_PlotUpdateDensityAndContours(benchmark::State& state)
{
    MainWindow& window = loadedWindow(std::size_t(state.range(0)));
    const int rendersBefore = window.scatterPlot->pointLayerRenders();
    for (auto _ : state) {
        window.updatePlot();
        QCoreApplication::processEvents();   // the repaint
    }
    state.counters["renders"] = double(window.scatterPlot->pointLayerRenders() - rendersBefore) / double(state.iterations());
    state.counters["points"] = double(window.plotXValues.size());
}
BENCHMARK(BM_PlotUpdateDensityAndContours)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HighlightChange(benchmark::State& state)
{
    MainWindow& window = loadedWindow(std::size_t(state.range(0)));
    int event = 0;
    const int count = int(window.plottedEventIndices.size());
    for (auto _ : state) {
        event = (event + 7919) % count;
        window.highlightEvent(window.plottedEventIndices[size_t(event)]);
        QCoreApplication::processEvents();
    }
}
BENCHMARK(BM_HighlightChange)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true);
    QSettings().setValue(QStringLiteral("updates/checkOnStartup"), false);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
