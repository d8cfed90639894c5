// Speed of the .rtdc export: scalar columns of 10^6 events, and image, mask
// and trace stacks of 2 * 10^4 events (every second event kept).
//
// Source files are written once into $TMPDIR (or /tmp) and kept for later runs.

#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/rtdcwriter.h"

#include "fixtures/rtdcfixture.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <numeric>

using namespace Tessary;

namespace {

constexpr std::size_t columnEvents = 1000000;
constexpr std::size_t stackEvents = 20000;

std::string benchPath(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name;
}

std::string sourceFile(const std::string& name, std::size_t events, const Fixtures::StandardOptions& options)
{
    const std::string path = benchPath(name);
    if (!std::filesystem::exists(path))
        Fixtures::writeStandardMeasurement(path, events, options);
    return path;
}

// Every second event, as a filter that keeps half of them gives.
std::vector<int> everySecond(std::size_t events)
{
    std::vector<int> kept(events / 2);
    for (std::size_t k = 0; k < kept.size(); ++k)
        kept[k] = static_cast<int>(2 * k);
    return kept;
}

void BM_WriteScalarFeatures(benchmark::State& state)
{
    disableHdf5ErrorPrinting();
    RTDCReader reader;
    reader.open(sourceFile("tessary_writer_bench_columns.rtdc", columnEvents, {}));
    reader.preloadFeatures();
    std::vector<std::string> names;
    for (const std::string& name : reader.features())
        names.push_back(name);
    const std::vector<int> kept = everySecond(columnEvents);
    const std::string out = benchPath("tessary_writer_bench_out.rtdc");
    for (auto _ : state) {
        RTDCWriter writer;
        writer.create(out);
        writer.writeScalarFeatures(names, kept, reader);
        writer.close();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kept.size() * names.size()));
}
BENCHMARK(BM_WriteScalarFeatures)->Unit(benchmark::kMillisecond);

// Arg 0: images, 1: masks, 2: traces.
void BM_WriteStack(benchmark::State& state)
{
    disableHdf5ErrorPrinting();
    Fixtures::StandardOptions options;
    options.images = options.masks = options.traces = true;
    options.imageHeight = 80;
    options.imageWidth = 250;
    options.imageStorage = options.maskStorage = {16, 4};
    RTDCReader reader;
    reader.open(sourceFile("tessary_writer_bench_stacks.rtdc", stackEvents, options));
    const std::vector<int> kept = everySecond(stackEvents);
    const std::string out = benchPath("tessary_writer_bench_out.rtdc");
    for (auto _ : state) {
        RTDCWriter writer;
        writer.create(out);
        switch (state.range(0)) {
        case 0:
            writer.writeImages(reader, kept);
            break;
        case 1:
            writer.writeMasks(reader, kept);
            break;
        default:
            writer.writeTraces(reader, kept);
            break;
        }
        writer.close();
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(kept.size()));
}
BENCHMARK(BM_WriteStack)->Arg(0)->Arg(1)->Arg(2)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
