#include "rtdc/rtdcreader.h"

#include "rtdc/featurecatalogue.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader_p.h"

#include <algorithm>

namespace Tessary {

namespace {

const std::vector<double>& emptyColumn()
{
    static const std::vector<double> empty;
    return empty;
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
        if (file && file->nameExists("/events")) {
            const H5::Group events = file->openGroup("/events");
            const hsize_t count = events.getNumObjs();
            for (hsize_t i = 0; i < count; ++i) {
                if (events.getObjTypeByIdx(i) != H5G_DATASET)
                    continue;
                const std::string name = events.getObjnameByIdx(i);
                const int rank = events.openDataSet(name).getSpace().getSimpleExtentNdims();
                // Frames are (N, H, W); an image or mask of another shape counts as absent.
                const bool frames = name == "image" || name == "mask";
                if (frames ? rank == 3 : rank == 1)
                    names.push_back(name);
            }
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
        auto values = std::make_shared<std::vector<double>>(static_cast<std::size_t>(length), 0.0);
        readColumnValues(dataset, *values);

        std::lock_guard<std::mutex> state(stateMutex);
        return *columnCache.emplace(name, std::move(values)).first->second;
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

void RTDCReader::preloadFeatures() const
{
    // A snapshot: computed columns may be stored while the walk runs.
    for (const std::string& name : features()) {
        if (isScalarFeatureName(name))
            readFeature(name);
    }
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
