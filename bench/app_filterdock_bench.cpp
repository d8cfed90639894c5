// The filter dock filled with many rules, as a large session or filter-group
// file fills it, in the program's own look: the active dataset's own rules
// shown as range rows, and one filter group of as many rules. Each is timed
// until the shown dock has been laid out and painted; the counter gives the
// heap the rows hold.
#include "app/applicationstyle.h"
#include "app/datasetentry.h"
#include "app/filtergroup.h"
#include "fixtures/rtdcfixture.h"
#include "rtdc/rtdcreader.h"
#include "widgets/filterdockwidget.h"

#include <QApplication>
#include <QDockWidget>
#include <QMainWindow>
#include <QStyleFactory>

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <memory>

using namespace Tessary;

namespace {

struct ShownDock {
    Fixtures::TempDir dir;
    std::shared_ptr<RTDCReader> reader = std::make_shared<RTDCReader>();
    DatasetEntry entry;
    QMainWindow window;
    FilterDockWidget* dock = new FilterDockWidget;

    ShownDock()
    {
        const std::string path = dir.file("m.rtdc");
        Fixtures::writeStandardMeasurement(path, 100000);
        reader->open(path);
        reader->preloadFeatures();
        entry.reader = reader;
        auto* frame = new QDockWidget("Filters", &window);
        frame->setWidget(dock);
        window.addDockWidget(Qt::RightDockWidgetArea, frame);
        window.resize(1400, 900);
        window.show();
        dock->setDatasetCount(2);
        QApplication::processEvents();
    }
};

std::vector<FilterRule> rangeRules(std::size_t count)
{
    std::vector<FilterRule> rules(count);
    for (std::size_t i = 0; i < count; ++i) {
        rules[i].featureName = i % 2 ? "area_um" : "deform";
        rules[i].minValue = double(i);
        rules[i].maxValue = double(i) + 1.0;
    }
    return rules;
}

// Runs what the event loop would before the user sees the dock: the shows,
// the layout, the repaint, and the deletion of replaced widgets.
void settle()
{
    QApplication::processEvents();
    QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QApplication::processEvents();
}

double heapMegabytes()
{
    return double(mallinfo2().uordblks) / (1024.0 * 1024.0);
}

void BM_DatasetRules(benchmark::State& state)
{
    ShownDock shown;
    double heap = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        shown.dock->setActiveDataset(nullptr);
        settle();
        shown.entry.filter.clear();
        for (const FilterRule& rule : rangeRules(std::size_t(state.range(0))))
            shown.entry.filter.addRule(rule);
        const double before = heapMegabytes();
        state.ResumeTiming();
        shown.dock->setActiveDataset(&shown.entry);
        settle();
        state.PauseTiming();
        heap = heapMegabytes() - before;
        state.ResumeTiming();
    }
    state.counters["rows"] = double(shown.dock->ruleWidgets.size());
    state.counters["heapMB"] = heap;
}
BENCHMARK(BM_DatasetRules)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

void BM_GroupRules(benchmark::State& state)
{
    ShownDock shown;
    shown.dock->setActiveDataset(&shown.entry);
    FilterGroup group;
    group.id = 0;
    group.name = "Gates";
    group.rules = rangeRules(std::size_t(state.range(0)));
    double heap = 0.0;
    for (auto _ : state) {
        state.PauseTiming();
        shown.dock->rebuildGroupWidgets({}, nullptr);
        settle();
        const double before = heapMegabytes();
        state.ResumeTiming();
        shown.dock->rebuildGroupWidgets({&group}, shown.reader.get());
        settle();
        state.PauseTiming();
        heap = heapMegabytes() - before;
        state.ResumeTiming();
    }
    state.counters["heapMB"] = heap;
}
BENCHMARK(BM_GroupRules)->Arg(1000)->Arg(10000)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(1);

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    // The program's own look: its style sheet makes every widget costlier.
    QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(applicationPalette());
    app.setStyleSheet(applicationStyleSheet());
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
