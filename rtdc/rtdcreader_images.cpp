#include "rtdc/rtdcreader.h"

#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader_p.h"

#include <H5Cpp.h>

#include <algorithm>
#include <climits>

namespace Tessary {

namespace {
// Bounds of the chunk cache of a kept-open dataset: room for a few chunks, so
// that reading rows in ascending order decompresses each chunk once.
constexpr std::size_t minimumChunkCacheBytes = 4u << 20;
constexpr std::size_t maximumChunkCacheBytes = 256u << 20;
constexpr std::size_t chunkCacheSlots = 12421; // a prime, as the library advises
// The library's own preemption weight. At 1.0 it never evicts a chunk that was
// only partly read, so reading every n-th frame (a filtered export) would keep
// the whole stack in memory; below 1 the cache stays within its bytes, while
// chunks read in full are still evicted first.
constexpr double chunkPreemptionWeight = 0.75;

// The extents (frames, height, width) of an image or mask stack; false for a
// dataset that is no stack of frames. Throws for a frame size that cannot be
// read (beyond int or the pixel limit), as a damaged extent claims.
bool frameStackShape(const H5::DataSpace& space, hsize_t dims[3])
{
    if (space.getSimpleExtentNdims() != 3)
        return false;
    space.getSimpleExtentDims(dims);
    if (dims[1] > static_cast<hsize_t>(INT_MAX) || dims[2] > static_cast<hsize_t>(INT_MAX)
        || (dims[1] > 0 && dims[2] > ReaderDetail::maximumFramePixels / dims[1]))
        throw H5::DataSetIException("frameStackShape", "frame size out of range");
    return true;
}
} // namespace

H5::DataSet* RTDCReader::frameDataset(const std::string& datasetPath) const
{
    const auto kept = openDatasets.find(datasetPath);
    if (kept != openDatasets.end())
        return kept->second.get();

    std::size_t cacheBytes = minimumChunkCacheBytes;
    {
        const H5::DataSet probe = file->openDataSet(datasetPath);
        const H5::DSetCreatPropList creation = probe.getCreatePlist();
        if (creation.getLayout() == H5D_CHUNKED) {
            const int rank = probe.getSpace().getSimpleExtentNdims();
            if (rank >= 1 && rank <= 3) {
                hsize_t chunk[3] = {1, 1, 1};
                creation.getChunk(rank, chunk);
                std::size_t chunkBytes = probe.getDataType().getSize();
                for (int i = 0; i < rank; ++i)
                    chunkBytes *= static_cast<std::size_t>(chunk[i]);
                cacheBytes = std::clamp(4 * chunkBytes, minimumChunkCacheBytes, maximumChunkCacheBytes);
            }
        }
    }
    H5::DSetAccPropList access;
    access.setChunkCache(chunkCacheSlots, cacheBytes, chunkPreemptionWeight);
    auto dataset = std::make_unique<H5::DataSet>(file->openDataSet(datasetPath, access));
    return openDatasets.emplace(datasetPath, std::move(dataset)).first->second.get();
}

std::vector<std::uint8_t> RTDCReader::readFrame(const char* datasetName, bool present, const char* errorPrefix,
                                                std::size_t index, int& width, int& height) const
{
    std::vector<std::uint8_t> pixels;
    if (!present)
        return pixels;
    Hdf5Lock lock;
    if (!isOpen())
        return pixels;
    try {
        const H5::DataSet* dataset = frameDataset(datasetName);
        H5::DataSpace space = dataset->getSpace();
        hsize_t dims[3] = {0, 0, 0};
        if (!frameStackShape(space, dims) || index >= dims[0])
            return pixels;
        height = static_cast<int>(dims[1]);
        width = static_cast<int>(dims[2]);
        const hsize_t start[3] = {index, 0, 0};
        const hsize_t count[3] = {1, dims[1], dims[2]};
        space.selectHyperslab(H5S_SELECT_SET, count, start);
        const hsize_t frameDims[2] = {dims[1], dims[2]};
        const H5::DataSpace memory(2, frameDims);
        pixels.resize(static_cast<std::size_t>(dims[1]) * static_cast<std::size_t>(dims[2]));
        dataset->read(pixels.data(), H5::PredType::NATIVE_UINT8, memory, space);
    } catch (...) {
        reportHdf5Failure(errorPrefix + std::to_string(index) + ": ");
        pixels.clear();
        pixels.shrink_to_fit();
    }
    return pixels;
}

bool RTDCReader::imageSize(int& width, int& height) const
{
    if (!hasImage())
        return false;
    Hdf5Lock lock;
    if (!isOpen())
        return false;
    try {
        hsize_t dims[3] = {0, 0, 0};
        if (!frameStackShape(frameDataset("/events/image")->getSpace(), dims) || dims[1] < 1 || dims[2] < 1)
            return false;
        height = static_cast<int>(dims[1]);
        width = static_cast<int>(dims[2]);
        return true;
    } catch (...) {
        reportHdf5Failure("Error reading image size: ");
        return false;
    }
}

bool RTDCReader::hasImage() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return imagePresent;
}

bool RTDCReader::hasMask() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return maskPresent;
}

std::vector<std::uint8_t> RTDCReader::readImage(std::size_t index, int& width, int& height) const
{
    return readFrame("/events/image", hasImage(), "Error reading image at index ", index, width, height);
}

std::vector<std::uint8_t> RTDCReader::readMask(std::size_t index, int& width, int& height) const
{
    return readFrame("/events/mask", hasMask(), "Error reading mask at index ", index, width, height);
}

} // namespace Tessary
