// Statistics of one plotted column, as the statistics dock computes them after
// every plot update (two columns per update).
#include "widgets/columnstatistics.h"

#include <benchmark/benchmark.h>

#include <limits>
#include <random>
#include <vector>

namespace {

std::vector<double> column(std::size_t n, double nanShare)
{
    std::mt19937_64 random(42);
    std::lognormal_distribution<double> area(4.0, 0.5);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> values(n);
    for (double& v : values)
        v = uniform(random) < nanShare ? std::numeric_limits<double>::quiet_NaN() : area(random);
    return values;
}

void BM_ColumnStatistics(benchmark::State& state)
{
    const auto values = column(static_cast<std::size_t>(state.range(0)), 0.0);
    for (auto _ : state)
        benchmark::DoNotOptimize(Tessary::computeColumnStatistics(values));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ColumnStatistics)->Arg(10000)->Arg(1000000)->Unit(benchmark::kMillisecond);

void BM_ColumnStatisticsWithNaN(benchmark::State& state)
{
    const auto values = column(static_cast<std::size_t>(state.range(0)), 0.1);
    for (auto _ : state)
        benchmark::DoNotOptimize(Tessary::computeColumnStatistics(values));
    state.SetItemsProcessed(state.iterations() * state.range(0));
}
BENCHMARK(BM_ColumnStatisticsWithNaN)->Arg(1000000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
