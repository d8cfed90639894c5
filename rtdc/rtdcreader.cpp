#include "rtdc/rtdcreader.h"

#include "rtdc/featurecatalogue.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader_p.h"

#include <algorithm>
#include <atomic>
#include <cstdint>
#include <iostream>
#include <limits>
#include <thread>
#include <type_traits>

#ifdef __linux__
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace Tessary {

namespace {

constexpr std::size_t maximumPreloadThreads = 8;

const std::vector<double>& emptyColumn()
{
    static const std::vector<double> empty;
    return empty;
}

// A zeroed column of n values. Fresh memory is what a preload spends most of
// its time on (one page fault per 4 KiB); on Linux the column asks for huge
// pages before it is first touched, which makes faulting it in far cheaper.
std::shared_ptr<std::vector<double>> newColumn(std::size_t n)
{
    auto column = std::make_shared<std::vector<double>>();
    column->reserve(n);
#ifdef __linux__
    constexpr std::uintptr_t hugePage = std::uintptr_t(2) << 20;
    const std::size_t bytes = n * sizeof(double);
    if (bytes >= 2 * hugePage) {
        const auto begin = reinterpret_cast<std::uintptr_t>(column->data());
        const std::uintptr_t page = static_cast<std::uintptr_t>(sysconf(_SC_PAGESIZE));
        const std::uintptr_t first = (begin + page - 1) / page * page;
        const std::uintptr_t last = (begin + bytes) / page * page;
        if (last > first)
            madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE); // a hint; failure is harmless
    }
#endif
    column->resize(n);
    return column;
}

// Whether the file stores every value of the dataset. A damaged file can claim
// an extent far beyond its size (2^40 rows in a few kilobytes), and a column
// sized by it would exhaust memory. Chunked values are held when a chunk is
// stored for every part of the extent (compressed or not), contiguous ones
// when their storage has the full size. Compact data lie in the object header
// and external data outside the file: both are taken as they are.
bool fileHoldsValues(const H5::DataSet& dataset, const H5::DataSpace& space)
{
    const hssize_t points = space.getSimpleExtentNpoints();
    if (points <= 0)
        return true;
    const H5::DSetCreatPropList creation = dataset.getCreatePlist();
    switch (creation.getLayout()) {
    case H5D_CHUNKED: {
        const int rank = space.getSimpleExtentNdims();
        std::vector<hsize_t> dims(static_cast<std::size_t>(rank)), chunk(static_cast<std::size_t>(rank));
        space.getSimpleExtentDims(dims.data());
        creation.getChunk(rank, chunk.data());
        hsize_t needed = 1;
        for (int i = 0; i < rank; ++i) {
            const hsize_t along = chunk[i] == 0 ? dims[i] : (dims[i] - 1) / chunk[i] + 1;
            needed = along != 0 && needed > std::numeric_limits<hsize_t>::max() / along
                ? std::numeric_limits<hsize_t>::max()
                : needed * along;
        }
        hsize_t stored = 0;
        // The library wants the dataset's own dataspace here, not H5S_ALL.
        if (H5Dget_num_chunks(dataset.getId(), space.getId(), &stored) < 0)
            throw H5::DataSetIException("H5Dget_num_chunks", "cannot count the stored chunks");
        return stored >= needed;
    }
    case H5D_CONTIGUOUS: {
        if (creation.getExternalCount() > 0)
            return true;
        const std::size_t size = dataset.getDataType().getSize();
        return size == 0 || static_cast<hsize_t>(points) <= dataset.getStorageSize() / size;
    }
    default:
        return true;
    }
}

// Whether a listed column can be loaded; otherwise one line on standard error.
bool columnReadable(const std::string& name, const H5::DataSet& dataset, const H5::DataSpace& space)
{
    const std::string prefix = "Error reading feature '" + name + "': ";
    try {
        if (fileHoldsValues(dataset, space))
            return true;
    } catch (...) {
        reportHdf5Failure(prefix);
        return false;
    }
    std::cerr << (prefix + "the file does not hold its " + std::to_string(space.getSimpleExtentNpoints())
                  + " values\n")
              << std::flush;
    return false;
}

// The stored type of frames in words, for the line that refuses them.
std::string frameTypeText(const H5::DataType& type)
{
    const std::string bits = std::to_string(type.getSize() * 8) + "-bit ";
    switch (type.getClass()) {
    case H5T_INTEGER:
        return bits + (H5Tget_sign(type.getId()) == H5T_SGN_NONE ? "unsigned" : "signed") + " integers";
    case H5T_FLOAT:
        return bits + "floats";
    case H5T_ENUM:
        return bits + "enums";
    default:
        return "values that are no numbers";
    }
}

// Whether frames of (N, H, W) are of a size and type the reader shows;
// otherwise one line on standard error. Every view and export takes frames as
// 8-bit pixels, so a stack of another type would reach them clipped: only
// one-byte unsigned integers and one-byte enums (h5py's booleans) are read.
bool framesReadable(const std::string& name, const H5::DataSet& dataset, const H5::DataSpace& space)
{
    hsize_t dims[3] = {0, 0, 0};
    space.getSimpleExtentDims(dims);
    if (dims[1] != 0 && dims[2] > ReaderDetail::maximumFramePixels / dims[1]) {
        std::cerr << ("Error reading " + name + ": frames of " + std::to_string(dims[1]) + " x "
                      + std::to_string(dims[2]) + " pixels are beyond any camera\n")
                  << std::flush;
        return false;
    }
    const H5::DataType type = dataset.getDataType();
    const bool eightBit = type.getSize() == 1
        && (type.getClass() == H5T_ENUM
            || (type.getClass() == H5T_INTEGER && H5Tget_sign(type.getId()) == H5T_SGN_NONE));
    if (eightBit)
        return true;
    std::cerr << ("Error reading " + name + ": frames stored as " + frameTypeText(type)
                  + " would be clipped to 8 bits\n")
              << std::flush;
    return false;
}

// Reads the whole column in memory type T and widens it to double.
template <typename T>
void readWidened(const H5::DataSet& dataset, const H5::PredType& memType, std::vector<double>& values)
{
    std::vector<T> raw(values.size());
    dataset.read(raw.data(), memType);
    std::copy(raw.begin(), raw.end(), values.begin());
}

// One column of n values by the type table: numbers are converted to double,
// enums give their base integers, every other class gives n zeros.
void readColumnValues(const H5::DataSet& dataset, std::vector<double>& values)
{
    const H5::DataType type = dataset.getDataType();
    const std::size_t size = type.getSize();
    switch (type.getClass()) {
    case H5T_FLOAT:
        // The library widens float32 while it reads, so every float column is
        // one read straight into the result.
        dataset.read(values.data(), H5::PredType::NATIVE_DOUBLE);
        break;
    case H5T_INTEGER: {
        const bool isSigned = dataset.getIntType().getSign() != H5T_SGN_NONE;
        switch (size) {
        case 1:
            isSigned ? readWidened<std::int8_t>(dataset, H5::PredType::NATIVE_INT8, values)
                     : readWidened<std::uint8_t>(dataset, H5::PredType::NATIVE_UINT8, values);
            break;
        case 2:
            isSigned ? readWidened<std::int16_t>(dataset, H5::PredType::NATIVE_INT16, values)
                     : readWidened<std::uint16_t>(dataset, H5::PredType::NATIVE_UINT16, values);
            break;
        case 4:
            isSigned ? readWidened<std::int32_t>(dataset, H5::PredType::NATIVE_INT32, values)
                     : readWidened<std::uint32_t>(dataset, H5::PredType::NATIVE_UINT32, values);
            break;
        case 8:
            isSigned ? readWidened<std::int64_t>(dataset, H5::PredType::NATIVE_INT64, values)
                     : readWidened<std::uint64_t>(dataset, H5::PredType::NATIVE_UINT64, values);
            break;
        default:
            break; // an unusual width stays zeros
        }
        break;
    }
    case H5T_ENUM: {
        const auto ints = ReaderDetail::readEnumValues(
            type, values.size(), [&](void* buffer, const H5::DataType& memType) { dataset.read(buffer, memType); });
        std::copy(ints.begin(), ints.end(), values.begin());
        break;
    }
    default:
        break; // strings and compound types stay zeros
    }
}

} // namespace

RTDCReader::RTDCReader() = default;

RTDCReader::~RTDCReader()
{
    Hdf5Lock lock;
    close();
}

bool RTDCReader::open(const std::string& filePath)
{
    Hdf5Lock lock;
    close();
    try {
        // Against the version this program was compiled with: a mismatch would
        // abort the process, a literal would never match another build.
        H5check();
        H5open();
        auto newFile = std::make_unique<H5::H5File>(filePath, H5F_ACC_RDONLY);
        {
            std::lock_guard<std::mutex> state(stateMutex);
            file = std::move(newFile);
            path = filePath;
            opened = true;
        }
        cacheFeatures();
        cacheTraceInfo();
        determineEventCount();
        return true;
    } catch (...) {
        reportHdf5Failure("Error opening file: ");
        std::lock_guard<std::mutex> state(stateMutex);
        opened = false;
        file.reset();
        return false;
    }
}

void RTDCReader::close()
{
    openDatasets.clear(); // before the file they belong to
    std::unique_ptr<H5::H5File> oldFile;
    std::unordered_map<std::string, Column> oldCache;
    std::vector<Column> oldRetired;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        oldFile = std::move(file);
        opened = false;
        path.clear();
        featureList.clear();
        featureSet.clear();
        featureListSorted = true;
        oldCache.swap(columnCache);
        oldRetired.swap(retiredColumns);
        computedFeatureSet.clear();
        numEvents = 0;
        imagePresent = maskPresent = tracesPresent = instrumentData = false;
        traceNameList.clear();
        unreadableTraceList.clear();
        traceSamples = 0;
    }
    computedTraceSources.clear();
    traceCacheName.clear();
    traceCacheIndex = -1;
    traceCacheSamples.clear();
    try {
        oldFile.reset();
    } catch (...) {
        reportHdf5Failure("Error closing file: ");
    }
}

bool RTDCReader::isOpen() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return opened;
}

std::string RTDCReader::filePath() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return path;
}

std::int64_t RTDCReader::hdf5FileId() const
{
    static_assert(std::is_same_v<hid_t, std::int64_t>, "identifiers are 64-bit since HDF5 1.10");
    return file ? file->getId() : -1; // file is guarded by hdf5Mutex, which the caller holds
}

void RTDCReader::cacheFeatures()
{
    std::vector<std::string> names;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        featureList.clear();
        featureSet.clear();
        imagePresent = maskPresent = false;
    }
    try {
        if (file) {
            const auto listDataset = [&](const std::string& name, const H5::DataSet& dataset) {
                const H5::DataSpace space = dataset.getSpace();
                const int rank = space.getSimpleExtentNdims();
                // Frames are (N, H, W); an image or mask of another shape counts as absent.
                const bool frames = name == "image" || name == "mask";
                if (frames ? rank != 3 : rank != 1)
                    return;
                // A dataset the reader could never load is not listed, so the
                // event count and every view rest on the readable ones.
                if (frames ? !framesReadable(name, dataset, space) : !columnReadable(name, dataset, space))
                    return;
                names.push_back(name);
            };
            ReaderDetail::forEachDataset(*file, "/", "/events", "Error caching features: ", listDataset);
        }
    } catch (...) {
        reportHdf5Failure("Error caching features: ");
    }
    std::sort(names.begin(), names.end());
    std::lock_guard<std::mutex> state(stateMutex);
    featureList = names;
    featureSet.insert(names.begin(), names.end());
    featureListSorted = true;
    imagePresent = featureSet.count("image") > 0;
    maskPresent = featureSet.count("mask") > 0;
}

void RTDCReader::determineEventCount()
{
    std::string first;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        numEvents = 0;
        if (!opened || featureList.empty())
            return;
        first = featureList.front();
    }
    try {
        const H5::DataSpace space = file->openDataSet("/events/" + first).getSpace();
        hsize_t dims[3] = {0, 0, 0};
        space.getSimpleExtentDims(dims);
        std::lock_guard<std::mutex> state(stateMutex);
        numEvents = dims[0];
    } catch (...) {
        reportHdf5Failure("Error determining event count: ");
    }
}

std::vector<std::string> RTDCReader::features() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    if (!featureListSorted) {
        std::sort(featureList.begin(), featureList.end());
        featureListSorted = true;
    }
    return featureList;
}

bool RTDCReader::hasFeature(const std::string& name) const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return featureSet.count(name) > 0;
}

bool RTDCReader::isScalarFeatureName(const std::string& name)
{
    return name != "image" && name != "mask" && name != "contour";
}

bool RTDCReader::isComputedFeature(const std::string& name) const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return computedFeatureSet.count(name) > 0;
}

std::uint64_t RTDCReader::eventCount() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return numEvents;
}

const std::vector<double>& RTDCReader::readFeature(const std::string& name) const
{
    return loadColumn(name, nullptr);
}

const std::vector<double>& RTDCReader::loadColumn(const std::string& name,
                                                  std::shared_ptr<std::vector<double>> prepared) const
{
    {
        std::lock_guard<std::mutex> state(stateMutex);
        const auto cached = columnCache.find(name);
        if (cached != columnCache.end())
            return *cached->second;
    }
    Hdf5Lock lock;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        // Another thread may have read it while this one waited for the lock.
        const auto cached = columnCache.find(name);
        if (cached != columnCache.end())
            return *cached->second;
        // Only names listed from "/events" reach the file: the empty name, paths
        // into subgroups and unknown names never touch the library.
        if (!opened || featureSet.count(name) == 0)
            return emptyColumn();
    }
    try {
        const H5::DataSet dataset = file->openDataSet("/events/" + name);
        const H5::DataSpace space = dataset.getSpace();
        if (space.getSimpleExtentNdims() != 1)
            throw H5::DataSetIException("readFeature", "the dataset is not a one-dimensional column");
        hsize_t length = 0;
        space.getSimpleExtentDims(&length);
        if (length == 0)
            return emptyColumn();
        if (!prepared || prepared->size() != length)
            prepared = newColumn(static_cast<std::size_t>(length));
        readColumnValues(dataset, *prepared);

        std::lock_guard<std::mutex> state(stateMutex);
        return *columnCache.emplace(name, std::move(prepared)).first->second;
    } catch (...) {
        reportHdf5Failure("Error reading feature '" + name + "': ");
        return emptyColumn();
    }
}

void RTDCReader::setComputedFeature(const std::string& name, std::vector<double> values)
{
    Hdf5Lock lock;
    auto column = std::make_shared<const std::vector<double>>(std::move(values));
    std::lock_guard<std::mutex> state(stateMutex);
    Column& slot = columnCache[name];
    if (slot)
        retiredColumns.push_back(std::move(slot));
    slot = std::move(column);
    computedFeatureSet.insert(name);
    if (featureSet.insert(name).second) {
        featureList.push_back(name);
        featureListSorted = false;
    }
}

std::uint64_t RTDCReader::columnLength(const std::string& name) const
{
    Hdf5Lock lock;
    if (!isOpen() || !hasFeature(name))
        return 0;
    try {
        const H5::DataSpace space = file->openDataSet("/events/" + name).getSpace();
        hsize_t length = 0;
        if (space.getSimpleExtentNdims() == 1)
            space.getSimpleExtentDims(&length);
        return length;
    } catch (...) {
        return 0; // the read itself reports it
    }
}

void RTDCReader::preloadFeatures() const
{
    // A snapshot: computed columns may be stored while the walk runs.
    std::vector<std::string> names;
    for (const std::string& name : features()) {
        if (!isScalarFeatureName(name))
            continue;
        std::lock_guard<std::mutex> state(stateMutex);
        if (columnCache.count(name) == 0)
            names.push_back(name);
    }
    // Most of a preload is the kernel handing out fresh zeroed pages. That part
    // needs no HDF5, so the columns are allocated on several threads first; the
    // reads that follow take the lock one column at a time as usual.
    std::vector<std::shared_ptr<std::vector<double>>> prepared(names.size());
    std::vector<std::uint64_t> lengths(names.size());
    for (std::size_t i = 0; i < names.size(); ++i)
        lengths[i] = columnLength(names[i]);
    std::atomic<std::size_t> next{0};
    const auto allocate = [&] {
        for (std::size_t i = next++; i < names.size(); i = next++) {
            try {
                if (lengths[i] > 0)
                    prepared[i] = newColumn(static_cast<std::size_t>(lengths[i]));
            } catch (...) {
                // A length no memory can hold: the read reports it.
            }
        }
    };
    const std::size_t helpers =
        std::min<std::size_t>({std::thread::hardware_concurrency(), names.size(), maximumPreloadThreads});
    std::vector<std::thread> threads;
    for (std::size_t t = 1; t < helpers; ++t) {
        try {
            threads.emplace_back(allocate);
        } catch (...) {
            break; // no thread: the calling thread does the rest
        }
    }
    allocate();
    for (std::thread& thread : threads)
        thread.join();

    for (std::size_t i = 0; i < names.size(); ++i)
        loadColumn(names[i], std::move(prepared[i]));
}

bool RTDCReader::isInstrumentData() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return instrumentData;
}

std::string RTDCReader::featureLabel(const std::string& name) const
{
    return featureLabelText(name, isInstrumentData());
}

} // namespace Tessary
