// EventFilter::apply over 10^6 events: three range rules and one 8-vertex
// polygon gate, on linear, logarithmic and pseudo-logarithmic axes.
// bench/filter_numpy.py times the same work with numpy and matplotlib.
#include "rtdc/eventfilter.h"

#include <benchmark/benchmark.h>

#include <cmath>
#include <random>

using namespace Tessary;

namespace {

struct Dataset
{
    std::vector<double> area, deform, bright;
    FeatureColumns columns;
};

const Dataset& dataset()
{
    static const Dataset data = [] {
        Dataset d;
        const std::size_t n = 1000000;
        std::mt19937_64 rng(2024);
        std::uniform_real_distribution<double> area(20.0, 200.0), deform(0.0, 0.2),
            bright(80.0, 160.0);
        d.area.resize(n);
        d.deform.resize(n);
        d.bright.resize(n);
        for (std::size_t i = 0; i < n; ++i) {
            d.area[i] = area(rng);
            d.deform[i] = deform(rng);
            d.bright[i] = bright(rng);
        }
        d.columns = {{"area_um", &d.area}, {"deform", &d.deform}, {"bright_avg", &d.bright}};
        return d;
    }();
    return data;
}

EventFilter makeFilter(int xMode, int yMode, int combineMode)
{
    EventFilter filter;
    filter.setCombineMode(combineMode);
    auto range = [&filter](const char* name, double lo, double hi) {
        FilterRule r;
        r.featureName = name;
        r.minValue = lo;
        r.maxValue = hi;
        filter.addRule(r);
    };
    range("area_um", 30.0, 180.0);
    range("deform", 0.01, 0.18);
    range("bright_avg", 90.0, 150.0);
    FilterRule gate;
    gate.type = 1;
    gate.featureName = "area_um";
    gate.featureNameY = "deform";
    for (int k = 0; k < 8; ++k) {
        const double angle = 2.0 * M_PI * k / 8.0;
        gate.polygonVertices.emplace_back(110.0 + 70.0 * std::cos(angle),
                                          0.1 + 0.08 * std::sin(angle));
    }
    gate.scaleXMode = xMode;
    gate.scaleYMode = yMode;
    filter.addRule(gate);
    return filter;
}

void runApply(benchmark::State& state, int xMode, int yMode, int combineMode)
{
    const Dataset& data = dataset();
    const EventFilter filter = makeFilter(xMode, yMode, combineMode);
    std::size_t kept = 0;
    for (auto _ : state) {
        const std::vector<int> indices = filter.apply(data.columns, data.area.size());
        kept = indices.size();
        benchmark::DoNotOptimize(indices.data());
    }
    state.counters["kept"] = static_cast<double>(kept);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(data.area.size()));
}

void BM_ApplyRangesAndGateLinear(benchmark::State& s) { runApply(s, 0, 0, 0); }
void BM_ApplyRangesAndGateLog(benchmark::State& s) { runApply(s, 1, 1, 0); }
void BM_ApplyRangesAndGatePseudoLog(benchmark::State& s) { runApply(s, 2, 2, 0); }
void BM_ApplyRangesAndGateExcluded(benchmark::State& s) { runApply(s, 0, 0, 1); }

// The gate alone, every event reaching the even-odd test or its box.
void BM_ApplyGateOnly(benchmark::State& state)
{
    const Dataset& data = dataset();
    EventFilter filter = makeFilter(0, 0, 0);
    filter.rules.erase(filter.rules.begin(), filter.rules.begin() + 3);
    for (auto _ : state) {
        const std::vector<int> indices = filter.apply(data.columns, data.area.size());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(data.area.size()));
}

// The three range rules alone.
void BM_ApplyRangesOnly(benchmark::State& state)
{
    const Dataset& data = dataset();
    EventFilter filter = makeFilter(0, 0, 0);
    filter.rules.pop_back();
    for (auto _ : state) {
        const std::vector<int> indices = filter.apply(data.columns, data.area.size());
        benchmark::DoNotOptimize(indices.data());
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(data.area.size()));
}

} // namespace

BENCHMARK(BM_ApplyRangesAndGateLinear)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyRangesAndGateLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyRangesAndGatePseudoLog)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyRangesAndGateExcluded)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyGateOnly)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ApplyRangesOnly)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
