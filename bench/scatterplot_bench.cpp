// Scatter plot at 10^6 points on the offscreen platform: a wheel zoom step (the points
// are painted again), a change of the highlighted event and a hover while drawing a
// polygon (both reuse the cached point layer).
#include <QApplication>
#include <QMouseEvent>
#include <QWheelEvent>

#include <qwt_plot_canvas.h>

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#include "widgets/scatterplot.h"

using namespace Tessary;

namespace {

std::unique_ptr<ScatterPlot> makePlot(int count, bool coloured)
{
    std::mt19937 rng(3);
    std::normal_distribution<double> normal(0.0, 1.0);
    std::vector<double> x(static_cast<std::size_t>(count));
    std::vector<double> y(static_cast<std::size_t>(count));
    std::vector<double> c(coloured ? std::size_t(count) : 0);
    for (int i = 0; i < count; ++i) {
        x[std::size_t(i)] = 60.0 + 15.0 * normal(rng);
        y[std::size_t(i)] = 0.05 + 0.01 * normal(rng);
        if (coloured)
            c[std::size_t(i)] = std::exp(-0.5 * (normal(rng) * normal(rng)));
    }
    auto plot = std::make_unique<ScatterPlot>();
    plot->resize(1000, 700);
    plot->show();
    plot->setData(x, y, "x", "y", c, "c");
    QApplication::processEvents();
    plot->canvas()->repaint();
    return plot;
}

void wheel(QWidget* canvas, int angle)
{
    const QPointF at(canvas->width() / 2.0, canvas->height() / 2.0);
    QWheelEvent event(at, canvas->mapToGlobal(at), QPoint(), QPoint(0, angle), Qt::NoButton, Qt::NoModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(canvas, &event);
}

void BM_ZoomStep(benchmark::State& state)
{
    auto plot = makePlot(int(state.range(0)), state.range(1) != 0);
    int angle = 120;
    for (auto _ : state) {
        wheel(plot->canvas(), angle);
        plot->canvas()->repaint();
        angle = -angle;   // in and out again, so the view stays comparable
    }
    state.counters["points"] = double(state.range(0));
}
BENCHMARK(BM_ZoomStep)->Args({100000, 1})->Args({1000000, 1})->Args({1000000, 0})
    ->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HighlightChange(benchmark::State& state)
{
    auto plot = makePlot(int(state.range(0)), true);
    int index = 0;
    for (auto _ : state) {
        plot->highlightPoint(index);
        plot->canvas()->repaint();
        index = (index + 7919) % int(state.range(0));
    }
}
BENCHMARK(BM_HighlightChange)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HoverWhileDrawing(benchmark::State& state)
{
    auto plot = makePlot(int(state.range(0)), true);
    plot->startPolygonDrawing();
    QWidget* canvas = plot->canvas();
    int step = 0;
    for (auto _ : state) {
        const QPointF at(100 + (step * 13) % (canvas->width() - 200), 100 + (step * 7) % (canvas->height() - 200));
        QMouseEvent move(QEvent::MouseMove, at, canvas->mapToGlobal(at), Qt::NoButton, Qt::NoButton, Qt::NoModifier);
        QApplication::sendEvent(canvas, &move);
        ++step;
    }
}
BENCHMARK(BM_HoverWhileDrawing)->Arg(1000000)->Unit(benchmark::kMicrosecond)->UseRealTime();

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
