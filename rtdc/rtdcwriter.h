#pragma once

#include "rtdc/stagedfile.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <utility>
#include <vector>

namespace H5 {
class H5File;
}

namespace Tessary {

class EventFilter;
class RTDCReader;
struct FilterRule;
struct WriteFailure;

// Writes the kept events of one dataset into a new .rtdc file, in the layout
// RTDCReader reads, through a fixed sequence of steps: create, copyMetadata,
// writeOfflineFilterMetadata, writeExportMetadata, writeScalarFeatures,
// writeImages, writeMasks, writeTraces, close. Each step is independent: an
// error (of the library, or memory that cannot be had) ends that step with
// one line on standard error and the next step still runs; in the metadata
// copy and the trace step it ends only the one attribute or trace, which the
// writer then names among what it left out. Every step holds
// the HDF5 lock (Hdf5Lock) to its end, also while it reads from the source
// reader, which takes the lock again.
//
// A write that does not reach the disk (full disk, size limit) is different:
// the file is lost, the remaining steps do nothing, and `close` reports it
// once and fails, with the system's reason in fileFailure (see useFailSafeDriver).
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

    // The optional progress of a long step is called now and then with the
    // share of the step done (0 to 1); false stops the step (a cancelled
    // export, which then drops the writer and with it the unfinished file).
    using StepProgress = std::function<bool(double done)>;

    // Starts the file for path (UTF-8; an existing file is replaced at
    // `close`) with the group "/events". A file the writer still holds is
    // closed first. False, with "Error creating file: " on standard error,
    // when it cannot be created. The file is in the format of HDF5 1.8 and
    // later, which holds attributes of any size (the oldest format stops at
    // 64 kB per object) and which every reader since 1.8 opens.
    bool create(const std::string& path);

    // Every root attribute of the source's file as stored: same name, type,
    // shape and value (numbers stay numbers, polygons keep their section; one
    // without a value keeps its null or empty extent). One that cannot be
    // copied (references into the source file, a damaged type) gives a
    // warning line and joins leftOutAttributes.
    void copyMetadata(const RTDCReader& source, const StepProgress& progress = {});
    // The enabled rules of an enabled filter as "offline_filter:" attributes,
    // replacing copies of the same names from the source. The record only
    // states what the kept events satisfy: inverted rules are left out, and
    // so is the whole record when the filter keeps the events that fail its
    // rules; a name this export recorded already (a second rule on the same
    // feature) is skipped. Each of these gives one warning line.
    void writeOfflineFilterMetadata(const EventFilter& filter);
    // "export:date", "export:event count" and, when not empty, "export:changed
    // sample name", replacing the source's export record of those names; an
    // empty name also removes a copied one, so the file opens under its sample.
    void writeExportMetadata(std::uint64_t eventCount, const std::string& changedSampleName);

    // One float64 dataset "/events/<name>" per name, row k holding the value
    // of source event indices[k]. Unknown names are left out; so are columns
    // too short for the kept indices (a damaged source), which join
    // leftOutFeatures. Neither gives a message.
    void writeScalarFeatures(const std::vector<std::string>& names, const std::vector<int>& indices,
                             const RTDCReader& reader);
    // "/events/image" and "/events/mask": (N, H, W) uint8, chunks of one
    // frame, deflate level 4; H and W from the first kept frame that can be
    // read. A frame that cannot be read (missing, damaged) or is of another
    // size is stored blank (zeros) and its event joins unreadableImages or
    // unreadableMasks; when no kept frame can be read, the stack is left out
    // and every kept event is named. Progress comes after each block of rows.
    void writeImages(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress = {});
    void writeMasks(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress = {});
    // "/events/trace/<name>": (N, L) float32 for every stored and computed
    // trace (computed ones smoothed as the reader gives them), chunks of one
    // row, deflate level 4; L from the trace's own first kept row that can be
    // read. A row that cannot be read (missing, damaged) or is of another
    // length is stored as zeros and its event joins unreadableTraceRows. A
    // trace none of whose kept rows can be read, one that cannot be written
    // (which ends only itself, with one line on standard error) and the
    // traces the reader could not read join leftOutTraces.
    void writeTraces(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress = {});

    // What the source holds but this file does not, for the user to be told:
    // root attributes that could not be copied, feature columns too short for
    // the kept events, and traces that could not be read or written, each
    // name once, in the order met. Emptied by `create`.
    const std::vector<std::string>& leftOutAttributes() const { return attributesLeftOut; }
    const std::vector<std::string>& leftOutFeatures() const { return featuresLeftOut; }
    const std::vector<std::string>& leftOutTraces() const { return tracesLeftOut; }
    // The kept events (source indices, in kept order) whose image or mask
    // is blank in the file, or missing with its stack. Emptied by `create`.
    const std::vector<int>& unreadableImages() const { return imagesUnread; }
    const std::vector<int>& unreadableMasks() const { return masksUnread; }
    // Each written trace with rows of zeros in the file, in trace order, with
    // the kept events whose row could not be read. Emptied by `create`.
    using TraceRows = std::pair<std::string, std::vector<int>>;
    const std::vector<TraceRows>& unreadableTraceRows() const { return traceRowsUnread; }

    // Closes the file and puts it in place of the target. False, with one
    // line on standard error, when the file could not be written, finished or
    // renamed; the unfinished file is then removed and the target left as it
    // was. False without a message when no file is open.
    bool close();

    // Why the last `create` or `close` failed: the step (creating, writing,
    // renaming into place) and the system's reason; no failure otherwise.
    const FileFailure& fileFailure() const { return failure; }

private:
    // Create one attribute on "/", in place of a copy of that name from the
    // source; they throw H5::Exception, their callers report.
    void writeStringAttribute(const std::string& name, const std::string& text);
    void writePolygonAttribute(const std::string& name, const std::vector<std::pair<double, double>>& points);
    void replaceCopiedAttribute(const std::string& name);
    // True when this export has written an attribute of that name (copies from the source don't count).
    bool recordedAlready(const std::string& name) const;
    void recordOfflineRule(const FilterRule& rule);
    void writeFrames(const RTDCReader& reader, const std::vector<int>& indices, bool masks,
                     const StepProgress& progress);
    // One trace of the trace step; false when progress stopped it. Throws H5::Exception.
    bool writeTrace(const RTDCReader& reader, const std::vector<int>& indices, const std::string& name,
                    const std::function<bool(double rowsDone)>& progress);
    void leaveOutTrace(const std::string& name);
    bool writable() const; // a file is open and nothing was lost yet
    void dropFile(); // caller holds the HDF5 lock

    std::unique_ptr<H5::H5File> file;
    std::unique_ptr<StagedFile> staged;
    std::unique_ptr<WriteFailure> writeFailure; // of the open file; its file driver records here
    std::set<std::string> copiedAttributes;  // names copyMetadata wrote and no record replaced yet
    std::vector<std::string> attributesLeftOut;
    std::vector<std::string> featuresLeftOut;
    std::vector<std::string> tracesLeftOut;
    std::vector<int> imagesUnread;
    std::vector<int> masksUnread;
    std::vector<TraceRows> traceRowsUnread;
    FileFailure failure;
};

// The word the metadata record for an axis scale mode: "linear", "log" or
// "pseudolog". Modes the axes do not know are linear, as the filter evaluates them.
const char* scaleModeWord(int mode);

} // namespace Tessary
