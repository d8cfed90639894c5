#include "app/rawaviwriter.h"

#include <cstring>

namespace Tessary {

namespace {

constexpr std::uint32_t keyFrameFlag = 0x10;          // AVIIF_KEYFRAME: every uncompressed frame stands alone
constexpr std::uint32_t hasIndexFlag = 0x10;          // AVIF_HASINDEX
constexpr std::uint32_t paletteEntries = 256;
constexpr std::uint32_t bitmapHeaderBytes = 40;       // BITMAPINFOHEADER
constexpr std::uint32_t odmlHeaderBytes = 248;        // "dmlh": the total frame count, the rest reserved
constexpr std::uint32_t chunkHeaderBytes = 8;
constexpr std::uint32_t standardIndexHeaderBytes = 24;
constexpr std::uint32_t superIndexHeaderBytes = 24;
constexpr char frameCode[] = "00db";                  // stream 0, uncompressed DIB

// Little-endian bytes of a RIFF structure under construction; a list's or
// chunk's size is filled in when it ends.
class Bytes
{
public:
    std::vector<char> data;

    std::uint64_t at() const { return data.size(); }
    void code(const char* fourCharacters) { data.insert(data.end(), fourCharacters, fourCharacters + 4); }
    void u16(std::uint16_t value) { little(value, 2); }
    void u32(std::uint32_t value) { little(value, 4); }
    void u64(std::uint64_t value) { little(value, 8); }
    void zeros(std::size_t count) { data.insert(data.end(), count, 0); }

    // Starts a chunk (or with a form code, a list); returns where its size goes.
    std::size_t begin(const char* chunkCode, const char* form = nullptr)
    {
        code(chunkCode);
        const std::size_t sizeAt = data.size();
        u32(0);
        if (form)
            code(form);
        return sizeAt;
    }
    void end(std::size_t sizeAt)
    {
        const std::uint32_t size = std::uint32_t(data.size() - sizeAt - 4);
        for (int i = 0; i < 4; ++i)
            data[sizeAt + i] = char(size >> (8 * i));
    }

private:
    void little(std::uint64_t value, int bytes)
    {
        for (int i = 0; i < bytes; ++i)
            data.push_back(char(value >> (8 * i)));
    }
};

// The bytes before the first frame: the RIFF and "movi" list headers, "hdrl"
// with its stream list and the "odml" list.
std::uint64_t firstHeaderBytes(std::uint32_t superIndexEntries)
{
    const std::uint64_t avih = chunkHeaderBytes + 56;
    const std::uint64_t strh = chunkHeaderBytes + 56;
    const std::uint64_t strf = chunkHeaderBytes + bitmapHeaderBytes + 4 * paletteEntries;
    const std::uint64_t indx = chunkHeaderBytes + superIndexHeaderBytes + 16 * std::uint64_t(superIndexEntries);
    const std::uint64_t odml = 12 + chunkHeaderBytes + odmlHeaderBytes;
    return 12 + 12 + avih + 12 + strh + strf + indx + odml + 12;
}

} // namespace

RawAviWriter::RawAviWriter(const std::string& path, int width, int height, int framesPerSecond,
                           std::uint32_t maxFrames, std::uint64_t segmentBytes)
    : width(width), height(height), framesPerSecond(framesPerSecond), maxFrames(maxFrames)
{
    if (width < 1 || height < 1 || framesPerSecond < 1 || segmentBytes > std::uint64_t(1) << 31)
        return;
    rowBytes = (std::uint32_t(width) + 3u) & ~3u;
    const std::uint64_t imageBytes = std::uint64_t(rowBytes) * std::uint64_t(height);
    if (imageBytes >= segmentBytes)
        return;
    frameBytes = std::uint32_t(imageBytes);
    if (!planSegments(segmentBytes))
        return;

    frameChunk.assign(chunkHeaderBytes + frameBytes, 0);
    std::memcpy(frameChunk.data(), frameCode, 4);
    for (int i = 0; i < 4; ++i)
        frameChunk[4 + i] = char(frameBytes >> (8 * i));

    file = std::make_unique<CheckedOutput>(path, std::ios::binary);
    if (!file->isOpen()) {
        fileFailure = file->failure();
        return;
    }
    writeHeaders();
    if (failed)
        file->close();
}

// A frame costs its chunk and an entry in "ix00" (8 bytes) and "idx1" (16
// bytes). The super index needs one entry per segment, and its size takes
// room from the first segment: it grows until it holds them all. Every
// segment then takes as many frames as the first can.
bool RawAviWriter::planSegments(std::uint64_t segmentBytes)
{
    const std::uint64_t frameCost = chunkHeaderBytes + frameBytes + 8 + 16;
    const std::uint64_t segmentTail = chunkHeaderBytes + standardIndexHeaderBytes + chunkHeaderBytes;
    superIndexEntries = 1;
    for (;;) {
        const std::uint64_t overhead = firstHeaderBytes(superIndexEntries) + segmentTail;
        if (overhead + frameCost > segmentBytes)
            return false;
        framesPerSegment = std::uint32_t((segmentBytes - overhead) / frameCost);
        const std::uint64_t needed = (std::uint64_t(maxFrames) + framesPerSegment - 1) / framesPerSegment;
        if (needed <= superIndexEntries)
            return true;
        superIndexEntries = std::uint32_t(needed);
    }
}

RawAviWriter::~RawAviWriter()
{
    close();
}

void RawAviWriter::writeHeaders()
{
    const std::uint32_t maxBytesPerSecond = (frameBytes + chunkHeaderBytes) * std::uint32_t(framesPerSecond);
    Bytes h;
    h.begin("RIFF", "AVI ");
    const std::size_t hdrl = h.begin("LIST", "hdrl");

    const std::size_t avih = h.begin("avih");
    h.u32(std::uint32_t(1000000 / framesPerSecond));
    h.u32(maxBytesPerSecond);
    h.u32(0);                 // padding granularity
    h.u32(hasIndexFlag);
    firstFramesAt = h.at();   // frames in the first RIFF chunk, filled in at the end
    h.u32(0);
    h.u32(0);                 // initial frames
    h.u32(1);                 // streams
    h.u32(frameBytes + chunkHeaderBytes);
    h.u32(std::uint32_t(width));
    h.u32(std::uint32_t(height));
    h.zeros(16);
    h.end(avih);

    const std::size_t strl = h.begin("LIST", "strl");
    const std::size_t strh = h.begin("strh");
    h.code("vids");
    h.u32(0);                 // handler: the format says it all
    h.u32(0);                 // flags
    h.u16(0);                 // priority
    h.u16(0);                 // language
    h.u32(0);                 // initial frames
    h.u32(1);                 // scale
    h.u32(std::uint32_t(framesPerSecond));
    h.u32(0);                 // start
    lengthAt = h.at();        // length in frames, filled in at the end
    h.u32(0);
    h.u32(frameBytes + chunkHeaderBytes);
    h.u32(0xFFFFFFFFu);       // quality: default
    h.u32(0);                 // sample size: varies, as with any video
    h.u16(0);
    h.u16(0);
    h.u16(std::uint16_t(width));
    h.u16(std::uint16_t(height));
    h.end(strh);

    const std::size_t strf = h.begin("strf");
    h.u32(bitmapHeaderBytes);
    h.u32(std::uint32_t(width));
    h.u32(std::uint32_t(height));   // positive: rows bottom-up
    h.u16(1);                       // planes
    h.u16(8);                       // bits per pixel
    h.u32(0);                       // BI_RGB
    h.u32(frameBytes);
    h.u32(0);
    h.u32(0);
    h.u32(paletteEntries);
    h.u32(0);                       // all colours important
    for (std::uint32_t level = 0; level < paletteEntries; ++level) {
        const char grey = char(level);
        h.data.insert(h.data.end(), {grey, grey, grey, 0});
    }
    h.end(strf);

    const std::size_t indx = h.begin("indx");
    h.u16(4);                       // longs per entry
    h.data.push_back(0);            // sub-type
    h.data.push_back(0);            // AVI_INDEX_OF_INDEXES
    superIndexAt = h.at();          // entries in use, filled in at the end
    h.u32(0);
    h.code(frameCode);
    h.zeros(12);
    h.zeros(16 * std::size_t(superIndexEntries));
    h.end(indx);
    h.end(strl);
    h.end(hdrl);

    const std::size_t odml = h.begin("LIST", "odml");
    const std::size_t dmlh = h.begin("dmlh");
    totalFramesAt = h.at();         // the total frame count, filled in at the end
    h.zeros(odmlHeaderBytes);
    h.end(dmlh);
    h.end(odml);

    write(h.data.data(), h.data.size());
    segmentAt = 0;
    startSegment();
}

// From the second segment on, a RIFF "AVIX" chunk; every segment then opens its "movi" list.
void RawAviWriter::startSegment()
{
    Bytes h;
    if (!segments.empty()) {
        segmentAt = file->position();
        h.begin("RIFF", "AVIX");
    }
    h.begin("LIST", "movi");
    moviAt = file->position() + h.at() - 4;
    write(h.data.data(), h.data.size());
    segmentFrames = 0;
}

bool RawAviWriter::writeGrey(const std::uint8_t* pixels, std::size_t stride, int times)
{
    if (!isOpen() || failed)
        return false;
    // DIB rows run bottom-up; the padding bytes stay zero.
    for (int y = 0; y < height; ++y)
        std::memcpy(&frameChunk[chunkHeaderBytes + std::size_t(height - 1 - y) * rowBytes],
                    pixels + std::size_t(y) * stride, std::size_t(width));
    for (int i = 0; i < times && !failed; ++i) {
        if (totalFrames == maxFrames) {
            failed = true;
            fileFailure = {FileFailure::Write, "more frames than the video was made for"};
            break;
        }
        if (segmentFrames == framesPerSegment) {
            finishSegment();
            startSegment();
        }
        write(frameChunk.data(), frameChunk.size());
        ++segmentFrames;
        ++totalFrames;
    }
    return !failed;
}

void RawAviWriter::finishSegment()
{
    writeStandardIndex();
    patch32(moviAt - 4, std::uint32_t(file->position() - moviAt));
    if (segments.size() == 1)
        writeOldIndex();
    patch32(segmentAt + 4, std::uint32_t(file->position() - segmentAt - chunkHeaderBytes));
}

// "ix00" at the end of the segment's "movi" list: each frame's data as an
// offset from the list's form code, and its size.
void RawAviWriter::writeStandardIndex()
{
    Segment segment;
    segment.indexAt = file->position();
    segment.frames = segmentFrames;
    Bytes ix;
    const std::size_t size = ix.begin("ix00");
    ix.u16(2);                      // longs per entry
    ix.data.push_back(0);           // sub-type
    ix.data.push_back(1);           // AVI_INDEX_OF_CHUNKS
    ix.u32(segmentFrames);
    ix.code(frameCode);
    ix.u64(moviAt);
    ix.u32(0);
    for (std::uint32_t frame = 0; frame < segmentFrames; ++frame) {
        ix.u32(4 + frame * (chunkHeaderBytes + frameBytes) + chunkHeaderBytes);
        ix.u32(frameBytes);         // high bit clear: a key frame
    }
    ix.end(size);
    segment.indexBytes = std::uint32_t(ix.data.size());
    segments.push_back(segment);
    write(ix.data.data(), ix.data.size());
}

// "idx1" after the first "movi" list: each frame's chunk as an offset from the list's form code.
void RawAviWriter::writeOldIndex()
{
    Bytes idx;
    const std::size_t size = idx.begin("idx1");
    for (std::uint32_t frame = 0; frame < segments.front().frames; ++frame) {
        idx.code(frameCode);
        idx.u32(keyFrameFlag);
        idx.u32(4 + frame * (chunkHeaderBytes + frameBytes));
        idx.u32(frameBytes);
    }
    idx.end(size);
    write(idx.data.data(), idx.data.size());
}

void RawAviWriter::writeSuperIndex()
{
    Bytes entries;
    entries.u32(std::uint32_t(segments.size()));
    entries.code(frameCode);
    entries.zeros(12);
    for (const Segment& segment : segments) {
        entries.u64(segment.indexAt);
        entries.u32(segment.indexBytes);
        entries.u32(segment.frames);
    }
    file->seek(superIndexAt);
    checkStream();
    write(entries.data.data(), entries.data.size());
}

bool RawAviWriter::close()
{
    if (!isOpen())
        return false;
    if (!failed) {
        finishSegment();
        writeSuperIndex();
        // The frames of the first RIFF chunk, for readers that know no other;
        // the stream's length and "dmlh" count them all.
        patch32(firstFramesAt, segments.front().frames);
        patch32(lengthAt, totalFrames);
        patch32(totalFramesAt, totalFrames);
    }
    if (failed) {
        file->close();
        return false;
    }
    file->close();
    checkStream();
    return !failed;
}

void RawAviWriter::checkStream()
{
    if (failed || file->good())
        return;
    failed = true;
    fileFailure = file->failure();
}

void RawAviWriter::write(const void* bytes, std::size_t count)
{
    if (failed)
        return;
    file->write({static_cast<const char*>(bytes), count});
    checkStream();
}

void RawAviWriter::patch32(std::uint64_t at, std::uint32_t value)
{
    if (failed)
        return;
    const std::uint64_t end = file->position();
    const char bytes[4] = {char(value), char(value >> 8), char(value >> 16), char(value >> 24)};
    file->seek(at);
    checkStream();
    write(bytes, 4);
    if (failed)
        return;
    file->seek(end);
    checkStream();
}

} // namespace Tessary
