#pragma once

#include "rtdc/checkedoutput.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace Tessary {

// Writes 8-bit grey frames to an uncompressed AVI file that keeps every pixel
// exactly: each frame is a bottom-up 8-bit DIB (BI_RGB) with a grey palette,
// rows padded to four bytes, which common readers open as they are (a video
// back end that converts to YUV would round the grey levels). The file is cut
// into RIFF chunks of at most segmentBytes each, so no offset outgrows what
// readers take: the first ("AVI ") carries the headers and the "idx1" index
// that older readers use, later ones are "AVIX", and the extended index (a
// super index "indx" in the stream header pointing at one "ix00" per RIFF
// chunk, total frame count in "dmlh") lets readers reach every frame. Every
// write is checked: once one fails (a full disk) the writer stays failed.
class RawAviWriter
{
public:
    // Where older readers stop trusting an AVI's sizes and offsets.
    static constexpr std::uint64_t defaultSegmentBytes = std::uint64_t(1) << 30;

    // Creates the file at path (UTF-8) for at most maxFrames frames of
    // width x height at framesPerSecond, in RIFF chunks of at most
    // segmentBytes (up to 2 GiB); isOpen() is false when the file cannot be
    // created or a frame does not fit into a segment.
    RawAviWriter(const std::string& path, int width, int height, int framesPerSecond, std::uint32_t maxFrames,
                 std::uint64_t segmentBytes = defaultSegmentBytes);
    // Closes the file, complete as far as it got; close() says whether it is.
    ~RawAviWriter();
    RawAviWriter(const RawAviWriter&) = delete;
    RawAviWriter& operator=(const RawAviWriter&) = delete;

    bool isOpen() const { return file && file->isOpen(); }
    // Writes a grey image of the frame size (rows of width bytes, each stride
    // bytes after the one before) as `times` frames. False once a write has
    // failed or more than maxFrames frames were asked for.
    bool writeGrey(const std::uint8_t* pixels, std::size_t stride, int times = 1);
    // Writes the indexes and the final sizes and counts, and closes the file.
    // True when every write succeeded.
    bool close();
    std::uint32_t framesWritten() const { return totalFrames; }
    // Why the file could not be created or written, with the system's reason
    // taken at the call that failed; no failure while all went well.
    const FileFailure& failure() const { return fileFailure; }

private:
    struct Segment
    {
        std::uint64_t indexAt = 0;      // the "ix00" chunk's header
        std::uint32_t indexBytes = 0;   // with its header
        std::uint32_t frames = 0;
    };

    bool planSegments(std::uint64_t segmentBytes);
    void writeHeaders();
    void startSegment();
    void finishSegment();
    void writeStandardIndex();
    void writeOldIndex();
    void writeSuperIndex();
    void write(const void* bytes, std::size_t count);
    void patch32(std::uint64_t at, std::uint32_t value);
    void checkStream(); // after a call on the stream: a failure gives its reason

    std::unique_ptr<CheckedOutput> file;
    int width;
    int height;
    int framesPerSecond;
    std::uint32_t maxFrames;
    std::uint32_t rowBytes = 0;
    std::uint32_t frameBytes = 0;
    std::uint32_t framesPerSegment = 0;
    std::uint32_t superIndexEntries = 0;
    std::vector<char> frameChunk;   // chunk header and the padded bottom-up rows

    // Where the counts and the super index's entries go once the frames are known.
    std::uint64_t firstFramesAt = 0;
    std::uint64_t lengthAt = 0;
    std::uint64_t totalFramesAt = 0;
    std::uint64_t superIndexAt = 0;
    std::uint64_t segmentAt = 0;   // the RIFF chunk's header
    std::uint64_t moviAt = 0;      // the "movi" list's form code, base of the index offsets
    std::uint32_t segmentFrames = 0;
    std::uint32_t totalFrames = 0;
    std::vector<Segment> segments;
    bool failed = false;
    FileFailure fileFailure;
};

} // namespace Tessary
