// Speed of the TSV event export: 16 columns of 10^6 events, every event kept.
//
// The source file is written once into $TMPDIR (or /tmp) and kept for later runs.

#include "app/datasetentry.h"
#include "app/eventtsvwriter.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>

using namespace Tessary;

namespace {

constexpr std::size_t events = 1000000;

std::string tempPath(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name;
}

void BM_WriteEventTsv(benchmark::State& state)
{
    disableHdf5ErrorPrinting();
    const std::string source = tempPath("tessary_writer_bench_columns.rtdc");
    if (!std::filesystem::exists(source))
        Fixtures::writeStandardMeasurement(source, events);
    DatasetEntry entry;
    entry.reader = std::make_shared<RTDCReader>();
    entry.reader->open(source);
    entry.reader->preloadFeatures();
    entry.metadata = entry.reader->readMetadata();
    entry.displayName = "bench";
    std::vector<std::string> features;
    for (const std::string& name : entry.reader->features())
        features.push_back(name);
    std::vector<int> kept(events);
    std::iota(kept.begin(), kept.end(), 0);
    for (auto _ : state)
        writeEventTsv(entry, tempPath("tessary_writer_bench_out.tsv"), features, kept);
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(events * features.size()));
}
BENCHMARK(BM_WriteEventTsv)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
