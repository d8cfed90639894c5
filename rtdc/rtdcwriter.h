#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace H5 {
class H5File;
}

namespace Tessary {

class EventFilter;
class RTDCReader;
class StagedFile;
struct RTDCMetadata;

// Writes the kept events of one dataset into a new .rtdc file, in the layout
// RTDCReader reads, through a fixed sequence of steps: create, copyMetadata,
// writeOfflineFilterMetadata, writeExportMetadata, writeScalarFeatures,
// writeImages, writeMasks, writeTraces, close. Each step is independent: an
// HDF5 error ends that step with one line on standard error and the next step
// still runs. Every step holds the HDF5 lock (Hdf5Lock) to its end, also
// while it reads from the source reader, which takes the lock again.
//
// The file is written under a temporary name in the target's folder and
// renamed over the target by `close`, so an existing file of that name stays
// intact until the export has been written and closed; a writer destroyed
// without `close` (an exception ended the export) leaves no file behind.
// Every step does nothing while no file is open. Not copyable; it lives on
// the stack of one dataset's export.
class RTDCWriter
{
public:
    RTDCWriter();
    ~RTDCWriter();
    RTDCWriter(const RTDCWriter&) = delete;
    RTDCWriter& operator=(const RTDCWriter&) = delete;

    // Starts the file for path (UTF-8; an existing file is replaced at
    // `close`) with the group "/events". A file the writer still holds is
    // closed first. False, with "Error creating file: " on standard error,
    // when it cannot be created.
    bool create(const std::string& path);

    // Every source attribute as a string attribute, except the online polygon
    // points, which are written as (N, 2) float polygons; every listed polygon
    // is written under the "online_filter:" prefix.
    void copyMetadata(const RTDCMetadata& metadata);
    // The enabled rules of an enabled filter as "offline_filter:" attributes.
    void writeOfflineFilterMetadata(const EventFilter& filter);
    // "export:date", "export:event count" and, when not empty, "export:changed sample name".
    void writeExportMetadata(std::uint64_t eventCount, const std::string& changedSampleName);

    // One float64 dataset "/events/<name>" per name, row k holding the value
    // of source event indices[k]. Unknown names and columns too short for the
    // kept indices are left out without a message.
    void writeScalarFeatures(const std::vector<std::string>& names, const std::vector<int>& indices,
                             const RTDCReader& reader);
    // "/events/image" and "/events/mask": (N, H, W) uint8, chunks of one
    // frame, deflate level 4; H and W from the first kept frame. A frame that
    // is missing or of another size reads back as zeros.
    void writeImages(const RTDCReader& reader, const std::vector<int>& indices);
    void writeMasks(const RTDCReader& reader, const std::vector<int>& indices);
    // "/events/trace/<name>": (N, L) float32 for every stored and computed
    // trace (computed ones smoothed as the reader gives them), chunks of one
    // row, deflate level 4.
    void writeTraces(const RTDCReader& reader, const std::vector<int>& indices);

    // Closes the file and puts it in place of the target. False, with a line
    // on standard error, when the file could not be finished or renamed; the
    // target is then left as it was. False without a message when no file is open.
    bool close();

private:
    // Create one attribute on "/"; they throw H5::Exception, their callers report.
    void writeStringAttribute(const std::string& name, const std::string& text);
    void writePolygonAttribute(const std::string& name, const std::vector<std::pair<double, double>>& points);
    void writeFrames(const RTDCReader& reader, const std::vector<int>& indices, bool masks);
    void dropFile(); // caller holds the HDF5 lock

    std::unique_ptr<H5::H5File> file;
    std::unique_ptr<StagedFile> staged;
};

// The word the metadata record for an axis scale mode: "linear", "log" or
// "pseudolog". Modes the axes do not know are linear, as the filter evaluates them.
const char* scaleModeWord(int mode);

} // namespace Tessary
