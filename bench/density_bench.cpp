// Density estimates and contours at the sizes of a large measurement.
// bench/python/density_reference.py does the same work with numpy, scipy and
// contourpy for comparison.
#include "widgets/densitycontours.h"
#include "widgets/densityestimation.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <map>
#include <random>

using namespace Tessary;

namespace {

// Two overlapping populations of cells, skewed like area against deformation.
struct Events {
    std::vector<double> x, y;
};

Events makeEvents(size_t n)
{
    std::mt19937_64 rng(12345);
    std::lognormal_distribution<double> area1(std::log(60.0), 0.25), area2(std::log(110.0), 0.2);
    std::gamma_distribution<double> deform1(4.0, 0.005), deform2(2.0, 0.012);
    Events e;
    e.x.reserve(n);
    e.y.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        const bool second = i % 4 == 3;
        e.x.push_back(second ? area2(rng) : area1(rng));
        e.y.push_back(second ? deform2(rng) : deform1(rng));
    }
    return e;
}

const Events& events(size_t n)
{
    static std::map<size_t, Events> cache;
    auto it = cache.find(n);
    if (it == cache.end())
        it = cache.emplace(n, makeEvents(n)).first;
    return it->second;
}

void BM_KernelPointDensity(benchmark::State& state)
{
    const Events& e = events(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(computePointDensity(e.x, e.y, KernelDensity));
    state.counters["gridSize"] = optimalBinCount(e.x, e.y);
}
BENCHMARK(BM_KernelPointDensity)->Arg(100000)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_OptimalBinCount(benchmark::State& state)
{
    const Events& e = events(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(optimalBinCount(e.x, e.y));
}
BENCHMARK(BM_OptimalBinCount)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_KernelGridFixedSize(benchmark::State& state)
{
    const Events& e = events(1000000);
    for (auto _ : state)
        benchmark::DoNotOptimize(computeKdeGrid(e.x, e.y, static_cast<int>(state.range(0))));
}
BENCHMARK(BM_KernelGridFixedSize)->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_HistogramPointDensity(benchmark::State& state)
{
    const Events& e = events(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(computePointDensity(e.x, e.y, HistogramDensity));
}
BENCHMARK(BM_HistogramPointDensity)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_NearestNeighbourPointDensity(benchmark::State& state)
{
    const Events& e = events(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(computePointDensity(e.x, e.y, NearestNeighbourDensity));
}
BENCHMARK(BM_NearestNeighbourPointDensity)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond)->UseRealTime();

// Contours at 0.5 and 0.9 from an existing grid and point densities: the two
// levels and the two tracings.
void BM_ContoursFromGrid(benchmark::State& state)
{
    const Events& e = events(1000000);
    const DensityGrid grid = computeKdeGrid(e.x, e.y, static_cast<int>(state.range(0)));
    const std::vector<double> density = interpolateGrid(grid, e.x, e.y);
    for (auto _ : state) {
        for (double f : {0.5, 0.9}) {
            const double level = contourLevelForFraction(density, f);
            benchmark::DoNotOptimize(traceIsolines(grid, level));
        }
    }
}
BENCHMARK(BM_ContoursFromGrid)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

// The tracing alone at two levels.
void BM_TraceIsolines(benchmark::State& state)
{
    const Events& e = events(1000000);
    const DensityGrid grid = computeKdeGrid(e.x, e.y, static_cast<int>(state.range(0)));
    const std::vector<double> density = interpolateGrid(grid, e.x, e.y);
    const double levels[2] = {contourLevelForFraction(density, 0.5), contourLevelForFraction(density, 0.9)};
    size_t points = 0;
    for (auto _ : state) {
        points = 0;
        for (double level : levels)
            for (const ContourPolyline& line : traceIsolines(grid, level))
                points += line.size();
    }
    state.counters["points"] = static_cast<double>(points);
}
BENCHMARK(BM_TraceIsolines)->Arg(128)->Arg(512)->Unit(benchmark::kMillisecond)->UseRealTime();

// The whole contour computation the plot update runs.
void BM_DensityContours(benchmark::State& state)
{
    const Events& e = events(state.range(0));
    for (auto _ : state)
        benchmark::DoNotOptimize(computeDensityContours(e.x, e.y, {0.5, 0.9}, 0, 0));
}
BENCHMARK(BM_DensityContours)->Arg(1000000)->Unit(benchmark::kMillisecond)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
