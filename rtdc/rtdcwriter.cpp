#include "rtdc/rtdcwriter.h"

#include "rtdc/attributecopy.h"
#include "rtdc/axistransforms.h"
#include "rtdc/chunkdeflater.h"
#include "rtdc/eventfilter.h"
#include "rtdc/exportfile.h"
#include "rtdc/failsafedriver.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/stagedfile.h"

#include <H5Cpp.h>

#include <algorithm>
#include <cstring>
#include <iostream>

namespace Tessary {

namespace {

constexpr int deflateLevel = 4;
// Frames and trace rows are gathered into blocks of about this size; a block
// is compressed on several threads and stored chunk by chunk (one event row each).
constexpr std::size_t blockBytes = 8u << 20;

std::size_t rowsPerBlock(std::size_t rowBytes, std::size_t rowCount)
{
    return std::clamp<std::size_t>(blockBytes / std::max<std::size_t>(rowBytes, 1), 1, rowCount);
}

void warn(const std::string& line)
{
    std::cerr << (line + "\n") << std::flush;
}

// Writes `count` rows starting at row `first` of a dataset of shape
// (rows, rowShape...) from a contiguous buffer, in one call.
void writeRows(H5::DataSet& dataset, const H5::PredType& memoryType, const void* buffer, hsize_t first,
               hsize_t count, const std::vector<hsize_t>& rowShape)
{
    std::vector<hsize_t> start(rowShape.size() + 1, 0);
    std::vector<hsize_t> extent;
    extent.reserve(rowShape.size() + 1);
    start[0] = first;
    extent.push_back(count);
    extent.insert(extent.end(), rowShape.begin(), rowShape.end());
    H5::DataSpace fileSpace = dataset.getSpace();
    fileSpace.selectHyperslab(H5S_SELECT_SET, extent.data(), start.data());
    const H5::DataSpace memorySpace(static_cast<int>(extent.size()), extent.data());
    dataset.write(buffer, memoryType, memorySpace, fileSpace);
}

// A dataset of n rows of rowShape, chunked by one row and deflated.
H5::DataSet createRowChunkedDataSet(H5::H5File& file, const std::string& path, const H5::PredType& fileType,
                                    hsize_t rows, const std::vector<hsize_t>& rowShape)
{
    std::vector<hsize_t> dims{rows};
    dims.insert(dims.end(), rowShape.begin(), rowShape.end());
    std::vector<hsize_t> chunk(dims);
    chunk[0] = 1;
    H5::DSetCreatPropList creation;
    creation.setChunk(static_cast<int>(chunk.size()), chunk.data());
    creation.setDeflate(deflateLevel);
    const H5::DataSpace space(static_cast<int>(dims.size()), dims.data());
    return file.createDataSet(path, fileType, space, creation);
}

} // namespace

const char* scaleModeWord(int mode)
{
    switch (normalizeScaleMode(mode)) {
    case ScaleLog:
        return "log";
    case ScalePseudoLog:
        return "pseudolog";
    default:
        return "linear";
    }
}

RTDCWriter::RTDCWriter() : writeFailure(std::make_unique<WriteFailure>()) {}

RTDCWriter::~RTDCWriter()
{
    Hdf5Lock lock;
    dropFile();
}

void RTDCWriter::dropFile()
{
    // The fail-safe driver lets the library's own close succeed whatever the disk says.
    file.reset();
    staged.reset(); // removes the unfinished temporary file
    copiedAttributes.clear();
}

bool RTDCWriter::create(const std::string& path)
{
    Hdf5Lock lock;
    if (file)
        close();
    *writeFailure = WriteFailure();
    failure = FileFailure();
    attributesLeftOut.clear();
    featuresLeftOut.clear();
    tracesLeftOut.clear();
    imagesUnread.clear();
    masksUnread.clear();
    traceRowsUnread.clear();
    try {
        H5::H5Library::checkVersion(H5_VERS_MAJOR, H5_VERS_MINOR, H5_VERS_RELEASE);
        H5::H5Library::open();
        H5::FileAccPropList access;
        useFailSafeDriver(access.getId(), *writeFailure);
        // The oldest format keeps every attribute in the root group's header,
        // which holds at most 64 kB per attribute and looks each name up one by
        // one; the 1.8 format stores many or large attributes in an index.
        access.setLibverBounds(H5F_LIBVER_V18, H5F_LIBVER_V18);
        // The staged file exists already (created empty): the library truncates it.
        auto staging = std::make_unique<StagedFile>(path, ".part");
        file = std::make_unique<H5::H5File>(staging->path(), H5F_ACC_TRUNC, H5::FileCreatPropList::DEFAULT, access);
        staged = std::move(staging);
        file->createGroup("/events");
        if (writeFailure->failed)
            throw H5::FileIException("create", writeFailure->detail);
        return true;
    } catch (...) {
        reportHdf5Failure("Error creating file: ");
        // A file that was created but whose first bytes did not go out failed in its write.
        if (writeFailure->failed)
            failure = {FileFailure::Write, writeFailure->detail};
        else
            failure = {FileFailure::Create, !writeFailure->openDetail.empty() ? writeFailure->openDetail
                                                                             : "the HDF5 library could not create it"};
        dropFile();
        return false;
    }
}

bool RTDCWriter::close()
{
    Hdf5Lock lock;
    if (!file)
        return false;
    bool closed = true;
    try {
        file->close();
    } catch (...) {
        reportHdf5Failure("Error closing file: ");
        closed = false;
    }
    if (closed) {
        file.reset();
    } else {
        // The library leaves a file it failed to close half torn down; closing it
        // again, as the destructor would, crashes. Give the object up instead.
        static_cast<void>(file.release());
    }
    copiedAttributes.clear();
    const std::unique_ptr<StagedFile> staging = std::move(staged); // removes the file unless committed
    if (!closed) {
        failure = {FileFailure::Write, "the HDF5 library could not finish the file"};
        return false;
    }
    if (writeFailure->failed) {
        warn("Error writing file '" + staging->targetPath() + "': " + writeFailure->detail);
        failure = {FileFailure::Write, writeFailure->detail};
        return false;
    }
    std::string error;
    if (!staging->commit(error)) {
        warn("Error replacing file '" + staging->targetPath() + "': " + error);
        failure = {FileFailure::Replace, error};
        return false;
    }
    return true;
}

bool RTDCWriter::writable() const
{
    return file && !writeFailure->failed;
}

void RTDCWriter::replaceCopiedAttribute(const std::string& name)
{
    if (copiedAttributes.erase(name) > 0)
        file->openGroup("/").removeAttr(name);
}

bool RTDCWriter::recordedAlready(const std::string& name) const
{
    return !copiedAttributes.count(name) && file->openGroup("/").attrExists(name);
}

void RTDCWriter::writeStringAttribute(const std::string& name, const std::string& text)
{
    replaceCopiedAttribute(name);
    const H5::Group root = file->openGroup("/");
    H5::StrType type(H5::PredType::C_S1, H5T_VARIABLE);
    type.setCset(H5T_CSET_UTF8); // every text of the program is UTF-8
    const H5::DataSpace scalar(H5S_SCALAR);
    H5::Attribute attribute = root.createAttribute(name, type, scalar);
    attribute.write(type, text);
}

void RTDCWriter::writePolygonAttribute(const std::string& name,
                                       const std::vector<std::pair<double, double>>& points)
{
    std::vector<float> values;
    values.reserve(points.size() * 2);
    for (const auto& point : points) {
        values.push_back(static_cast<float>(point.first));
        values.push_back(static_cast<float>(point.second));
    }
    replaceCopiedAttribute(name);
    const H5::Group root = file->openGroup("/");
    const hsize_t dims[2] = {points.size(), 2};
    const H5::DataSpace space(2, dims);
    H5::Attribute attribute = root.createAttribute(name, H5::PredType::IEEE_F32LE, space);
    attribute.write(H5::PredType::NATIVE_FLOAT, values.data());
}

void RTDCWriter::copyMetadata(const RTDCReader& source, const StepProgress& progress)
{
    if (!writable())
        return;
    Hdf5Lock lock;
    try {
        const hid_t sourceFile = source.hdf5FileId();
        if (sourceFile < 0)
            return;
        copyRootAttributes(sourceFile, file->getId(), copiedAttributes, attributesLeftOut, progress);
    } catch (...) {
        reportHdf5Failure("Error copying metadata: ");
    }
}

void RTDCWriter::writeOfflineFilterMetadata(const EventFilter& filter)
{
    if (!writable() || !filter.isEnabled())
        return;
    Hdf5Lock lock;
    if (filter.combineMode() != 0) {
        // The filter kept the events that fail its rules: no range or gate describes them.
        warn("Warning: offline filter not recorded: the export keeps the events that fail its rules");
        return;
    }
    try {
        for (const FilterRule& rule : filter.rules) {
            if (rule.enabled)
                recordOfflineRule(rule);
        }
    } catch (...) {
        reportHdf5Failure("Error writing offline filter metadata: ");
    }
}

void RTDCWriter::recordOfflineRule(const FilterRule& rule)
{
    if (rule.type != 0 && rule.type != 1)
        return;
    const std::string what = rule.type == 0 ? rule.featureName : rule.featureName + "," + rule.featureNameY;
    if (rule.inverted) {
        // The kept events lie outside the range or gate; the record would claim the opposite.
        warn("Warning: inverted offline filter rule on '" + what + "' not recorded");
        return;
    }
    const std::string prefix = "offline_filter:" + what;
    const std::vector<std::string> names =
        rule.type == 0 ? std::vector<std::string>{prefix + " min", prefix + " max"}
                       : std::vector<std::string>{prefix + " polygon points", prefix + " polygon x scale",
                                                  prefix + " polygon y scale"};
    for (const std::string& name : names) {
        if (recordedAlready(name)) {
            // A second rule on the same feature: the first one's record stays.
            warn("Warning: offline filter rule on '" + what + "' not recorded: '" + name + "' is recorded already");
            return;
        }
    }
    if (rule.type == 0) {
        // The record must hold every kept value, so the bounds round outward.
        writeStringAttribute(names[0], formatFixedSixAtMost(rule.minValue));
        writeStringAttribute(names[1], formatFixedSixAtLeast(rule.maxValue));
    } else {
        writePolygonAttribute(names[0], rule.polygonVertices);
        writeStringAttribute(names[1], scaleModeWord(rule.scaleXMode));
        writeStringAttribute(names[2], scaleModeWord(rule.scaleYMode));
    }
}

void RTDCWriter::writeExportMetadata(std::uint64_t eventCount, const std::string& changedSampleName)
{
    if (!writable())
        return;
    Hdf5Lock lock;
    try {
        writeStringAttribute(exportDateKey, exportDateText());
        writeStringAttribute(exportEventCountKey, std::to_string(eventCount));
        if (!changedSampleName.empty())
            writeStringAttribute(exportChangedNameKey, changedSampleName);
        else
            replaceCopiedAttribute(exportChangedNameKey);
    } catch (...) {
        reportHdf5Failure("Error writing export metadata: ");
    }
}

void RTDCWriter::writeScalarFeatures(const std::vector<std::string>& names, const std::vector<int>& indices,
                                     const RTDCReader& reader)
{
    if (!writable() || indices.empty())
        return;
    Hdf5Lock lock;
    const auto [lowest, highest] = std::minmax_element(indices.begin(), indices.end());
    std::vector<double> values;
    for (const std::string& name : names) {
        if (writeFailure->failed)
            return; // the file is lost; close reports it
        try {
            const std::vector<double>& column = reader.readFeature(name);
            if (column.empty() || *lowest < 0 || static_cast<std::size_t>(*highest) >= column.size()) {
                // A dataset shorter than the event count would damage the file
                // for every reader, and padding it would invent values: the
                // column stays out, and a column of the source is named.
                if (reader.hasFeature(name)
                    && std::find(featuresLeftOut.begin(), featuresLeftOut.end(), name) == featuresLeftOut.end())
                    featuresLeftOut.push_back(name);
                continue;
            }
            values.resize(indices.size());
            for (std::size_t k = 0; k < indices.size(); ++k)
                values[k] = column[static_cast<std::size_t>(indices[k])];
            const hsize_t dims[1] = {values.size()};
            const H5::DataSpace space(1, dims);
            H5::DataSet dataset = file->createDataSet("/events/" + name, H5::PredType::IEEE_F64LE, space);
            dataset.write(values.data(), H5::PredType::NATIVE_DOUBLE);
        } catch (...) {
            reportHdf5Failure("Error writing feature '" + name + "': ");
        }
    }
}

void RTDCWriter::writeImages(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress)
{
    writeFrames(reader, indices, false, progress);
}

void RTDCWriter::writeMasks(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress)
{
    writeFrames(reader, indices, true, progress);
}

void RTDCWriter::writeFrames(const RTDCReader& reader, const std::vector<int>& indices, bool masks,
                             const StepProgress& progress)
{
    if (!writable() || indices.empty() || !(masks ? reader.hasMask() : reader.hasImage()))
        return;
    Hdf5Lock lock;
    std::vector<int>& unread = masks ? masksUnread : imagesUnread;
    const auto readFrame = [&](int index, int& width, int& height) {
        width = height = 0;
        if (index < 0)
            return std::vector<std::uint8_t>();
        const auto event = static_cast<std::size_t>(index);
        return masks ? reader.readMask(event, width, height) : reader.readImage(event, width, height);
    };
    try {
        // The first frame that reads gives the stack its size; the events
        // before it, like any later one that cannot be read, get a blank frame.
        int width = 0;
        int height = 0;
        std::vector<std::uint8_t> first;
        std::size_t firstRow = 0;
        for (; firstRow < indices.size(); ++firstRow) {
            first = readFrame(indices[firstRow], width, height);
            if (!first.empty() && width >= 1 && height >= 1
                && first.size() == static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
                break;
            unread.push_back(indices[firstRow]);
        }
        if (firstRow == indices.size())
            return;
        const std::size_t frameBytes = first.size();
        const std::vector<hsize_t> frameShape{static_cast<hsize_t>(height), static_cast<hsize_t>(width)};
        H5::DataSet dataset = createRowChunkedDataSet(*file, masks ? "/events/mask" : "/events/image",
                                                      H5::PredType::NATIVE_UINT8, indices.size(), frameShape);
        ChunkDeflater deflater(dataset, 3, frameBytes, deflateLevel);
        const std::size_t rows = rowsPerBlock(frameBytes, indices.size());
        std::vector<std::uint8_t> block(rows * frameBytes);
        for (std::size_t start = 0; start < indices.size() && !writeFailure->failed; start += rows) {
            const std::size_t count = std::min(rows, indices.size() - start);
            for (std::size_t r = 0; r < count; ++r) {
                std::uint8_t* row = block.data() + r * frameBytes;
                if (start + r == firstRow) {
                    std::memcpy(row, first.data(), frameBytes);
                    continue;
                }
                std::memset(row, 0, frameBytes);
                if (start + r < firstRow)
                    continue; // named already
                int frameWidth = 0;
                int frameHeight = 0;
                const std::vector<std::uint8_t> frame = readFrame(indices[start + r], frameWidth, frameHeight);
                // A frame that cannot be read or has another size stays blank and is named.
                if (frame.size() == frameBytes && frameWidth == width && frameHeight == height)
                    std::memcpy(row, frame.data(), frameBytes);
                else
                    unread.push_back(indices[start + r]);
            }
            deflater.write(block.data(), start, count);
            if (progress && !progress(double(start + count) / double(indices.size())))
                return;
        }
    } catch (...) {
        reportHdf5Failure(masks ? "Error writing masks: " : "Error writing images: ");
    }
}

void RTDCWriter::leaveOutTrace(const std::string& name)
{
    if (std::find(tracesLeftOut.begin(), tracesLeftOut.end(), name) == tracesLeftOut.end())
        tracesLeftOut.push_back(name);
}

void RTDCWriter::writeTraces(const RTDCReader& reader, const std::vector<int>& indices, const StepProgress& progress)
{
    if (!writable() || indices.empty() || !reader.hasTraces())
        return;
    Hdf5Lock lock;
    for (const std::string& name : reader.unreadableTraces())
        leaveOutTrace(name);
    const std::vector<std::string> names = reader.traceNames();
    try {
        file->createGroup("/events/trace");
    } catch (...) {
        reportHdf5Failure("Error writing traces: ");
        for (const std::string& name : names)
            leaveOutTrace(name);
        return;
    }
    for (std::size_t traceNumber = 0; traceNumber < names.size() && !writeFailure->failed; ++traceNumber) {
        const std::string& name = names[traceNumber];
        const auto rowsProgress = [&](double rowsDone) {
            return !progress || progress((double(traceNumber) + rowsDone) / double(names.size()));
        };
        try {
            if (!writeTrace(reader, indices, name, rowsProgress))
                return;
        } catch (...) {
            // One trace the library refuses leaves the others to be written.
            reportHdf5Failure("Error writing trace '" + name + "': ");
            leaveOutTrace(name);
            try {
                const std::string path = "/events/trace/" + name;
                if (file->nameExists(path))
                    file->unlink(path); // no half-written rows that read as data
            } catch (...) {
            }
        }
    }
}

bool RTDCWriter::writeTrace(const RTDCReader& reader, const std::vector<int>& indices, const std::string& name,
                            const std::function<bool(double rowsDone)>& progress)
{
    const auto readRow = [&](int index) {
        return index >= 0 ? reader.readTrace(name, static_cast<std::size_t>(index)) : std::vector<float>();
    };
    // The first kept row that reads gives the trace its length: a file may
    // hold traces of several lengths. The rows before it, like any later one
    // that cannot be read, are stored as zeros and named.
    std::vector<int> unread;
    std::vector<float> first;
    std::size_t firstRow = 0;
    for (; firstRow < indices.size(); ++firstRow) {
        first = readRow(indices[firstRow]);
        if (!first.empty())
            break;
        unread.push_back(indices[firstRow]);
    }
    if (firstRow == indices.size()) {
        leaveOutTrace(name);
        return true;
    }
    const std::size_t length = first.size();
    const std::vector<hsize_t> rowShape{static_cast<hsize_t>(length)};
    // First the dataset: the library refuses rows longer than a chunk may be
    // before the block is sized by the length.
    H5::DataSet dataset =
        createRowChunkedDataSet(*file, "/events/trace/" + name, H5::PredType::IEEE_F32LE, indices.size(), rowShape);
    const std::size_t rowBytes = length * sizeof(float);
    const std::size_t rows = rowsPerBlock(rowBytes, indices.size());
    std::vector<float> block(rows * length);
    // Finished chunks must hold the file's bytes: native floats qualify on little-endian machines.
    const bool directChunks = H5::PredType::NATIVE_FLOAT == H5::PredType::IEEE_F32LE;
    ChunkDeflater deflater(dataset, 2, rowBytes, deflateLevel);
    for (std::size_t start = 0; start < indices.size() && !writeFailure->failed; start += rows) {
        const std::size_t count = std::min(rows, indices.size() - start);
        for (std::size_t r = 0; r < count; ++r) {
            float* row = block.data() + r * length;
            const std::size_t k = start + r;
            std::vector<float> trace;
            if (k == firstRow)
                trace = first;
            else if (k > firstRow)
                trace = readRow(indices[k]);
            if (trace.size() == length) {
                std::copy(trace.begin(), trace.end(), row);
                continue;
            }
            std::fill(row, row + length, 0.0f);
            if (k > firstRow)   // the rows before the first were named already
                unread.push_back(indices[k]);
        }
        if (directChunks)
            deflater.write(reinterpret_cast<const std::uint8_t*>(block.data()), start, count);
        else
            writeRows(dataset, H5::PredType::NATIVE_FLOAT, block.data(), start, count, rowShape);
        if (!progress(double(start + count) / double(indices.size())))
            return false;
    }
    if (!unread.empty())
        traceRowsUnread.emplace_back(name, std::move(unread));
    return true;
}

} // namespace Tessary
