#include "rtdc/chunkdeflater.h"

#include <H5Cpp.h>
#include <zlib.h>

#include <algorithm>
#include <atomic>
#include <new>
#include <system_error>
#include <thread>

namespace Tessary {

namespace {

// Below this many rows a block is compressed on the calling thread alone.
constexpr std::size_t rowsPerThreadMinimum = 8;

unsigned compressionThreads(std::size_t rows)
{
    const unsigned hardware = std::max(1u, std::thread::hardware_concurrency());
    const std::size_t useful = std::max<std::size_t>(1, rows / rowsPerThreadMinimum);
    return static_cast<unsigned>(std::min<std::size_t>({hardware, useful, 16}));
}

} // namespace

ChunkDeflater::ChunkDeflater(H5::DataSet& dataset, int rank, std::size_t rowBytes, int level)
    : dataset(dataset), rank(rank), rowBytes(rowBytes), level(level)
{
}

void ChunkDeflater::write(const std::uint8_t* rows, std::size_t first, std::size_t count)
{
    if (compressed.size() < count)
        compressed.resize(count);
    const uLong bound = compressBound(static_cast<uLong>(rowBytes));
    std::atomic<std::size_t> next{0};
    std::atomic<bool> outOfMemory{false};
    const auto compressRows = [&] {
        for (std::size_t r = next++; r < count && !outOfMemory; r = next++) {
            std::vector<std::uint8_t>& out = compressed[r];
            try {
                out.resize(bound);
            } catch (const std::bad_alloc&) {
                outOfMemory = true;
                return;
            }
            uLongf length = bound;
            // compressBound leaves room for any input, so only memory can fail.
            if (compress2(out.data(), &length, rows + r * rowBytes, static_cast<uLong>(rowBytes), level) != Z_OK) {
                outOfMemory = true;
                return;
            }
            out.resize(length);
        }
    };
    const unsigned threadCount = compressionThreads(count);
    std::vector<std::thread> helpers;
    for (unsigned t = 1; t < threadCount; ++t) {
        try {
            helpers.emplace_back(compressRows);
        } catch (const std::system_error&) {
            break; // no more threads to be had: the ones running share the rows
        }
    }
    compressRows();
    for (std::thread& helper : helpers)
        helper.join();
    if (outOfMemory)
        throw std::bad_alloc();

    std::vector<hsize_t> offset(static_cast<std::size_t>(rank), 0);
    for (std::size_t r = 0; r < count; ++r) {
        offset[0] = first + r;
        if (H5Dwrite_chunk(dataset.getId(), H5P_DEFAULT, 0, offset.data(), compressed[r].size(), compressed[r].data())
            < 0)
            throw H5::DataSetIException("H5Dwrite_chunk", "a compressed chunk could not be stored");
    }
}

} // namespace Tessary
