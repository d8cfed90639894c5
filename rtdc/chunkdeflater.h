#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace H5 {
class DataSet;
}

namespace Tessary {

// Stores rows of a dataset that is chunked by one row and deflated, a block
// of rows at a time: the rows are compressed on several threads and written
// as finished chunks, exactly what the library's deflate filter would store
// (the filter itself runs on one thread). The row bytes must already be in
// the dataset's file type. The caller holds the HDF5 lock; the compression
// threads never call the library.
class ChunkDeflater
{
public:
    ChunkDeflater(H5::DataSet& dataset, int rank, std::size_t rowBytes, int level);

    // Writes count rows from rows (count * rowBytes bytes) as rows first,
    // first + 1, ...; throws H5::Exception when the library refuses a chunk
    // and std::bad_alloc when the compressor runs out of memory.
    void write(const std::uint8_t* rows, std::size_t first, std::size_t count);

private:
    H5::DataSet& dataset;
    int rank;
    std::size_t rowBytes;
    int level;
    std::vector<std::vector<std::uint8_t>> compressed; // one buffer per row of a block, reused
};

} // namespace Tessary
