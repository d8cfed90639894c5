#include "rtdc/rtdcreader.h"

#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader_p.h"

#include <algorithm>
#include <iostream>

namespace Tessary {

namespace {

// Whether rows of a trace of (N, L) are of a length the reader shows; otherwise
// one line on standard error.
bool traceRowsReadable(const std::string& name, std::uint64_t samples)
{
    if (samples <= ReaderDetail::maximumTraceSamples)
        return true;
    std::cerr << ("Error reading trace '" + name + "': rows of " + std::to_string(samples)
                  + " samples are beyond any instrument\n")
              << std::flush;
    return false;
}

} // namespace

void RTDCReader::cacheTraceInfo()
{
    std::vector<std::string> names;
    std::vector<std::string> unreadable;
    std::uint64_t samples = 0;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        tracesPresent = false;
        traceNameList.clear();
        unreadableTraceList.clear();
        traceSamples = 0;
    }
    try {
        if (file) {
            ReaderDetail::forEachDataset(*file, "/events", "/events/trace", "Error caching trace info: ",
                                         [&](const std::string& name, const H5::DataSet& dataset) {
                if (name.find("_median") == std::string::npos && name.find("_raw") == std::string::npos)
                    return;
                const H5::DataSpace space = dataset.getSpace();
                // Traces are (N, L); a dataset of another shape counts as absent.
                if (space.getSimpleExtentNdims() != 2)
                    return;
                hsize_t dims[2] = {0, 0};
                space.getSimpleExtentDims(dims);
                // Not listed, so the trace length and every view rest on the readable traces.
                if (!traceRowsReadable(name, dims[1])) {
                    unreadable.push_back(name);
                    return;
                }
                names.push_back(name);
                if (samples == 0)
                    samples = dims[1];
            });
        }
    } catch (...) {
        reportHdf5Failure("Error caching trace info: ");
    }
    std::sort(names.begin(), names.end());
    std::sort(unreadable.begin(), unreadable.end());
    std::lock_guard<std::mutex> state(stateMutex);
    traceNameList = names;
    unreadableTraceList = unreadable;
    traceSamples = samples;
    tracesPresent = !names.empty();
}

bool RTDCReader::hasTraces() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return tracesPresent;
}

std::vector<std::string> RTDCReader::traceNames() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return traceNameList;
}

std::vector<std::string> RTDCReader::unreadableTraces() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return unreadableTraceList;
}

std::uint64_t RTDCReader::traceLength() const
{
    std::lock_guard<std::mutex> state(stateMutex);
    return traceSamples;
}

std::vector<float> RTDCReader::readTrace(const std::string& name, std::size_t index) const
{
    Hdf5Lock lock;
    return readTraceUnlocked(name, index);
}

std::vector<float> RTDCReader::readTraceUnlocked(const std::string& name, std::size_t index) const
{
    const auto computed = computedTraceSources.find(name);
    if (computed == computedTraceSources.end())
        return readStoredTrace(name, index);

    if (traceCacheName == name && traceCacheIndex == static_cast<std::int64_t>(index))
        return traceCacheSamples;
    // Registration refuses cycles, so this recursion ends at a stored trace.
    std::vector<float> samples = readTraceUnlocked(computed->second, index);
    applyTraceOptions(samples, traceOptions);
    traceCacheName = name;
    traceCacheIndex = static_cast<std::int64_t>(index);
    traceCacheSamples = samples;
    return samples;
}

std::vector<float> RTDCReader::readStoredTrace(const std::string& name, std::size_t index) const
{
    std::vector<float> samples;
    {
        std::lock_guard<std::mutex> state(stateMutex);
        // Only listed names reach the file: no paths, no unknown names.
        if (!opened || !tracesPresent
            || std::find(traceNameList.begin(), traceNameList.end(), name) == traceNameList.end())
            return samples;
    }
    try {
        const H5::DataSet* dataset = frameDataset("/events/trace/" + name);
        H5::DataSpace space = dataset->getSpace();
        if (space.getSimpleExtentNdims() != 2)
            return samples;
        hsize_t dims[2] = {0, 0};
        space.getSimpleExtentDims(dims);
        if (index >= dims[0])
            return samples;
        if (dims[1] > ReaderDetail::maximumTraceSamples)
            throw H5::DataSetIException("readTrace", "row length out of range");
        const hsize_t start[2] = {index, 0};
        const hsize_t count[2] = {1, dims[1]};
        space.selectHyperslab(H5S_SELECT_SET, count, start);
        const H5::DataSpace memory(1, &dims[1]);
        // Signed 16-bit samples, as instruments record them, are read as they
        // are; the library converts every other type to float, by its sign,
        // so unsigned samples above 32767 keep their values.
        const H5::DataType type = dataset->getDataType();
        if (type.getClass() == H5T_INTEGER && type.getSize() == 2
            && dataset->getIntType().getSign() != H5T_SGN_NONE) {
            std::vector<std::int16_t> raw(static_cast<std::size_t>(dims[1]));
            dataset->read(raw.data(), H5::PredType::NATIVE_INT16, memory, space);
            samples.assign(raw.begin(), raw.end());
        } else {
            samples.resize(static_cast<std::size_t>(dims[1]));
            dataset->read(samples.data(), H5::PredType::NATIVE_FLOAT, memory, space);
        }
    } catch (...) {
        reportHdf5Failure("Error reading trace '" + name + "' at index " + std::to_string(index) + ": ");
        samples.clear();
    }
    return samples;
}

void RTDCReader::setComputedTrace(const std::string& name, const std::string& source)
{
    Hdf5Lock lock;
    // Follow the source chain; the map is kept free of cycles, so this ends.
    for (std::string step = source;;) {
        if (step == name) {
            std::cerr << ("Error registering computed trace '" + name + "': its source '" + source
                          + "' leads back to it\n")
                      << std::flush;
            return;
        }
        const auto next = computedTraceSources.find(step);
        if (next == computedTraceSources.end())
            break;
        step = next->second;
    }
    computedTraceSources[name] = source;
    traceCacheName.clear();
    traceCacheIndex = -1;
    traceCacheSamples.clear();
    std::lock_guard<std::mutex> state(stateMutex);
    if (std::find(traceNameList.begin(), traceNameList.end(), name) == traceNameList.end()) {
        traceNameList.push_back(name);
        std::sort(traceNameList.begin(), traceNameList.end());
    }
}

void RTDCReader::setTraceOptions(bool hampel1Enabled, int hampel1Window, float hampel1Threshold,
                                 bool hampel2Enabled, int hampel2Window, float hampel2Threshold,
                                 bool medianEnabled, int medianWindow,
                                 bool rollingAvgEnabled, int rollingAvgWindow,
                                 bool savgolEnabled, int savgolWindow)
{
    Hdf5Lock lock;
    traceOptions = TraceOptions{hampel1Enabled, hampel1Window, hampel1Threshold,
                                hampel2Enabled, hampel2Window, hampel2Threshold,
                                medianEnabled, medianWindow,
                                rollingAvgEnabled, rollingAvgWindow,
                                savgolEnabled, savgolWindow};
    traceCacheName.clear();
    traceCacheIndex = -1;
    traceCacheSamples.clear();
}

} // namespace Tessary
