// Speed of the .rtdc export: scalar columns of 10^6 events, image, mask
// and trace stacks of 2 * 10^4 events (every second event kept), and the
// copy of 2 * 10^4 root attributes.
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
#include <string>

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

// A measurement whose metadata hold 2 * 10^4 root attributes, half texts and
// half numbers. Arg 0: the source in the oldest file format (all attributes
// in the root group's header, as most instrument files), 1: in the format of
// HDF5 1.8 (attributes in an index, as the export writes them).
void BM_CopyManyAttributes(benchmark::State& state)
{
    disableHdf5ErrorPrinting();
    constexpr int attributeCount = 20000;
    const bool indexed = state.range(0) == 1;
    const std::string path =
        benchPath(indexed ? "tessary_writer_bench_attributes_v18.rtdc" : "tessary_writer_bench_attributes.rtdc");
    if (!std::filesystem::exists(path)) {
        Fixtures::RtdcFileBuilder builder = Fixtures::standardMeasurement(100);
        for (int i = 0; i < attributeCount; i += 2) {
            builder.attribute("user:note " + std::to_string(i), "text of note " + std::to_string(i));
            builder.attribute("user:value " + std::to_string(i + 1), 0.5 * i);
        }
        using Format = Fixtures::RtdcFileBuilder::FileFormat;
        builder.write(path, indexed ? Format::Hdf5v18 : Format::Default);
    }
    RTDCReader reader;
    reader.open(path);
    const std::string out = benchPath("tessary_writer_bench_out.rtdc");
    for (auto _ : state) {
        RTDCWriter writer;
        writer.create(out);
        writer.copyMetadata(reader);
        writer.close();
    }
    state.SetItemsProcessed(state.iterations() * attributeCount);
}
BENCHMARK(BM_CopyManyAttributes)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
