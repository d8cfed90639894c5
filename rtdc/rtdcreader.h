#pragma once

#include "rtdc/rtdcmetadata.h"
#include "rtdc/tracesmoothing.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace H5 {
class H5File;
class DataSet;
}

namespace Tessary {

// One open .rtdc measurement file (read-only): feature columns, image and mask
// frames, fluorescence traces, metadata, computed columns and computed traces.
// Shared between the GUI thread and pool threads through std::shared_ptr; every
// operation is thread-safe. Operations that touch the file take `hdf5Mutex`;
// the lists and caches are guarded by a private lock that is never held while
// waiting for `hdf5Mutex`, so list accessors do not wait for a running read.
// No operation throws: failures write one line on standard error and give an
// empty or false result.
class RTDCReader
{
public:
    RTDCReader();
    ~RTDCReader();
    RTDCReader(const RTDCReader&) = delete;
    RTDCReader& operator=(const RTDCReader&) = delete;

    // Opens the file read-only and lists its features and traces. A reader is
    // opened once; opening again first closes the previous file.
    bool open(const std::string& path);
    bool isOpen() const;
    std::string filePath() const;
    // The library's identifier of the open file (negative when not open), for
    // copying objects of the file as stored. Use it only while holding hdf5Mutex.
    std::int64_t hdf5FileId() const;

    // A copy of the feature names (stored and computed), sorted by bytes. May contain "image"
    // and "mask"; filter with isScalarFeatureName for scalar lists.
    std::vector<std::string> features() const;
    bool hasFeature(const std::string& name) const;
    // False for exactly "image", "mask" and "contour".
    static bool isScalarFeatureName(const std::string& name);
    bool isComputedFeature(const std::string& name) const;
    std::uint64_t eventCount() const;

    // The column of a scalar feature, read from the file once and cached. The
    // reference stays valid until the reader is closed or destroyed, also when
    // the name is later stored again by setComputedFeature (the caller then
    // holds the old values; a new call gives the new ones). An unknown or
    // unreadable name gives one shared empty column.
    const std::vector<double>& readFeature(const std::string& name) const;
    // Stores a computed column; it shadows a stored column of the same name.
    void setComputedFeature(const std::string& name, std::vector<double> values);
    // Reads every scalar column into the cache; takes the HDF5 lock per column.
    // Allocates the columns on a few short-lived threads first.
    void preloadFeatures() const;

    // False also for a stack of frames stored in another type than one-byte
    // unsigned integers or one-byte enums: 8-bit frames of it would be clipped.
    bool hasImage() const;
    bool hasMask() const;
    // One 8-bit frame, row-major height x width. Empty when absent, out of range
    // or unreadable; width and height are set only for an index in range.
    std::vector<std::uint8_t> readImage(std::size_t index, int& width, int& height) const;
    std::vector<std::uint8_t> readMask(std::size_t index, int& width, int& height) const;
    // Width and height of every image frame, from the shape of the image
    // stack, so that no damaged frame hides them. False, leaving both
    // untouched, without images or for a stack that holds no frames of a
    // readable size.
    bool imageSize(int& width, int& height) const;

    // Reads the root attributes; also decides isInstrumentData.
    RTDCMetadata readMetadata();
    bool isInstrumentData() const;

    bool hasTraces() const;
    // Stored and computed trace names, sorted by bytes.
    std::vector<std::string> traceNames() const;
    // Traces of the file that are not listed because they cannot be read
    // (rows longer than any instrument records), sorted by bytes; each was
    // reported once when the file was opened.
    std::vector<std::string> unreadableTraces() const;
    // Samples per row of the stored traces.
    std::uint64_t traceLength() const;
    // One row of a stored trace, or of a computed trace after the smoothing chain.
    std::vector<float> readTrace(const std::string& name, std::size_t index) const;
    // Registers name as source passed through the smoothing chain. A source chain
    // that leads back to name is refused (error line, nothing changes).
    void setComputedTrace(const std::string& name, const std::string& source);
    void setTraceOptions(bool hampel1Enabled, int hampel1Window, float hampel1Threshold,
                         bool hampel2Enabled, int hampel2Window, float hampel2Threshold,
                         bool medianEnabled, int medianWindow,
                         bool rollingAvgEnabled, int rollingAvgWindow,
                         bool savgolEnabled, int savgolWindow);

    // Label of a feature with its unit in square brackets (no lock on HDF5).
    std::string featureLabel(const std::string& name) const;

private:
    using Column = std::shared_ptr<const std::vector<double>>;

    void close(); // caller holds hdf5Mutex
    void cacheFeatures();
    void cacheTraceInfo();
    void determineEventCount();
    std::vector<std::uint8_t> readFrame(const char* datasetName, bool present, const char* errorPrefix,
                                        std::size_t index, int& width, int& height) const;
    // readFeature with an optional buffer already allocated for the column.
    const std::vector<double>& loadColumn(const std::string& name, std::shared_ptr<std::vector<double>> prepared) const;
    std::uint64_t columnLength(const std::string& name) const; // 0 when not a readable column
    std::vector<float> readTraceUnlocked(const std::string& name, std::size_t index) const;
    std::vector<float> readStoredTrace(const std::string& name, std::size_t index) const;
    // An open dataset kept for repeated row or frame reads, with a chunk cache
    // large enough that consecutive rows do not decompress a chunk again. Caller
    // holds hdf5Mutex; null (with an error line) when it cannot be opened.
    H5::DataSet* frameDataset(const std::string& path) const;
    void storeMetadataEntry(const std::string& name, const std::string& value, RTDCMetadata& metadata);

    // Guards the members below except file, openDatasets, computedTraceSources,
    // traceOptions and the trace cache, which only hdf5Mutex guards (a computed
    // trace read with its source read and cache update is one step under it).
    // Taken after hdf5Mutex, never before it, and never held while calling out.
    mutable std::mutex stateMutex;

    std::unique_ptr<H5::H5File> file;
    std::string path;
    bool opened = false;
    std::uint64_t numEvents = 0;
    mutable std::vector<std::string> featureList;
    std::unordered_set<std::string> featureSet;
    mutable bool featureListSorted = true;
    bool imagePresent = false;
    bool maskPresent = false;
    bool tracesPresent = false;
    bool instrumentData = false;
    std::vector<std::string> traceNameList;
    std::vector<std::string> unreadableTraceList;
    std::uint64_t traceSamples = 0;
    mutable std::unordered_map<std::string, Column> columnCache;
    // Columns replaced by setComputedFeature, kept until close so that
    // references handed out earlier stay valid.
    std::vector<Column> retiredColumns;
    std::unordered_set<std::string> computedFeatureSet;
    std::unordered_map<std::string, std::string> computedTraceSources;
    TraceOptions traceOptions;
    mutable std::string traceCacheName;
    mutable std::int64_t traceCacheIndex = -1;
    mutable std::vector<float> traceCacheSamples;
    mutable std::unordered_map<std::string, std::unique_ptr<H5::DataSet>> openDatasets;
};

} // namespace Tessary
