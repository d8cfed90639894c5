// Speed of the RT-DC reader on a measurement of 10^6 events.
//
// The file is written once into $TMPDIR (or /tmp) and kept for later runs.
// Comparison with h5py on the same file (float64 arrays of every column):
//   python3 -c "import h5py,numpy,time,sys; f=h5py.File(sys.argv[1],'r'); e=f['events'];
//     t=time.perf_counter(); c={k: e[k][:].astype(numpy.float64) for k in e if e[k].ndim==1};
//     print(time.perf_counter()-t)" $TMPDIR/tessary_reader_bench_columns.rtdc

#include "rtdc/rtdcreader.h"
#include "rtdc/hdf5lock.h"

#include "fixtures/rtdcfixture.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <random>

using namespace Tessary;

namespace {

constexpr std::size_t columnEvents = 1000000;
constexpr std::size_t frameEvents = 5000;

std::string benchPath(const std::string& name)
{
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/" + name;
}

// 30 columns as instruments store them: mostly float64, some float32 and integers.
const std::string& columnFile()
{
    static const std::string path = [] {
        const std::string p = benchPath("tessary_reader_bench_columns.rtdc");
        if (std::filesystem::exists(p))
            return p;
        std::mt19937 random(7);
        std::normal_distribution<double> normal(50.0, 10.0);
        Fixtures::RtdcFileBuilder b;
        for (int i = 0; i < 24; ++i) {
            std::vector<double> values(columnEvents);
            for (double& v : values)
                v = normal(random);
            b.feature("f64_" + std::to_string(i), std::move(values));
        }
        for (int i = 0; i < 4; ++i) {
            std::vector<float> values(columnEvents);
            for (float& v : values)
                v = float(normal(random));
            b.feature("f32_" + std::to_string(i), std::move(values));
        }
        for (int i = 0; i < 2; ++i) {
            std::vector<uint32_t> values(columnEvents);
            for (std::size_t j = 0; j < columnEvents; ++j)
                values[j] = uint32_t(j + 1);
            b.feature("u32_" + std::to_string(i), std::move(values));
        }
        b.write(p + ".part");
        std::filesystem::rename(p + ".part", p);
        return p;
    }();
    return path;
}

// Chunked, gzip-compressed frames as instruments write them.
const std::string& frameFile()
{
    static const std::string path = [] {
        const std::string p = benchPath("tessary_reader_bench_frames.rtdc");
        if (std::filesystem::exists(p))
            return p;
        Fixtures::StandardOptions options;
        options.images = options.masks = true;
        options.imageHeight = 80;
        options.imageWidth = 250;
        options.imageStorage = {100, 4};
        Fixtures::writeStandardMeasurement(p + ".part", frameEvents, options);
        std::filesystem::rename(p + ".part", p);
        return p;
    }();
    return path;
}

void BM_PreloadAllColumns(benchmark::State& state)
{
    disableHdf5ErrorPrinting();
    const std::string& path = columnFile();
    for (auto _ : state) {
        auto reader = std::make_unique<RTDCReader>();
        reader->open(path);
        reader->preloadFeatures();
        benchmark::DoNotOptimize(reader->readFeature("f64_0").data());
        // Releasing 240 MB is not part of loading (h5py's figure leaves it out too).
        state.PauseTiming();
        reader.reset();
        state.ResumeTiming();
    }
}
BENCHMARK(BM_PreloadAllColumns)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReadCachedColumn(benchmark::State& state)
{
    RTDCReader reader;
    reader.open(columnFile());
    reader.readFeature("f64_3");
    for (auto _ : state)
        benchmark::DoNotOptimize(reader.readFeature("f64_3").data());
}
BENCHMARK(BM_ReadCachedColumn);

// The gallery and the video export read thousands of frames in ascending order.
void BM_ReadFramesAscending(benchmark::State& state)
{
    RTDCReader reader;
    reader.open(frameFile());
    const std::size_t count = std::size_t(state.range(0));
    for (auto _ : state) {
        int width = 0, height = 0;
        for (std::size_t i = 0; i < count; ++i) {
            benchmark::DoNotOptimize(reader.readImage(i, width, height).data());
            benchmark::DoNotOptimize(reader.readMask(i, width, height).data());
        }
    }
    state.SetItemsProcessed(int64_t(state.iterations()) * int64_t(count));
}
BENCHMARK(BM_ReadFramesAscending)->Arg(2000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
