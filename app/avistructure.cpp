#include "app/avistructure.h"

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <vector>

namespace Tessary {

namespace {

// The header of one RIFF chunk: its four-character code and its size, and
// where its data begins and (with the pad byte to an even size) ends.
struct Chunk
{
    char code[4] = {};
    std::uint32_t size = 0;
    std::uint64_t data = 0;
    std::uint64_t end() const { return data + size + (size & 1u); }
    bool is(const char* name) const { return std::memcmp(code, name, 4) == 0; }
};

std::uint32_t littleEndian32(const unsigned char* bytes)
{
    return std::uint32_t(bytes[0]) | std::uint32_t(bytes[1]) << 8 | std::uint32_t(bytes[2]) << 16
           | std::uint32_t(bytes[3]) << 24;
}

class AviFile
{
public:
    explicit AviFile(const std::string& path) : in(std::filesystem::u8path(path), std::ios::binary)
    {
        std::error_code error;
        size = std::filesystem::file_size(std::filesystem::u8path(path), error);
        if (error)
            size = 0;
    }

    std::uint64_t size = 0;

    bool read(std::uint64_t at, void* bytes, std::size_t count)
    {
        if (at + count > size)
            return false;
        in.clear();
        in.seekg(std::streamoff(at));
        return bool(in.read(static_cast<char*>(bytes), std::streamsize(count)));
    }

    // The chunk whose header starts at `at`, when it lies within `limit`.
    bool chunkAt(std::uint64_t at, std::uint64_t limit, Chunk& chunk)
    {
        unsigned char header[8];
        if (at + 8 > limit || !read(at, header, 8))
            return false;
        std::memcpy(chunk.code, header, 4);
        chunk.size = littleEndian32(header + 4);
        chunk.data = at + 8;
        return chunk.data + chunk.size <= limit;
    }

    bool formIs(const Chunk& list, const char* form)
    {
        char code[4];
        return list.size >= 4 && read(list.data, code, 4) && std::memcmp(code, form, 4) == 0;
    }

private:
    std::ifstream in;
};

// The top-level RIFF chunks cover the file exactly; the count of them.
int riffChunks(AviFile& file, Chunk& first)
{
    int count = 0;
    std::uint64_t at = 0;
    while (at < file.size) {
        Chunk riff;
        if (!file.chunkAt(at, file.size, riff) || !riff.is("RIFF") || !file.formIs(riff, count == 0 ? "AVI " : "AVIX"))
            return 0;
        if (count++ == 0)
            first = riff;
        // A pad byte after the last chunk may be missing.
        at = riff.end() > file.size ? riff.data + riff.size : riff.end();
    }
    return at == file.size ? count : 0;
}

// The entries of "idx1" name the chunks of the "movi" list by offsets from
// the list's form code "movi" or, with some writers, from the file's start.
bool indexHolds(AviFile& file, const Chunk& movi, const Chunk& index, bool singleRiff, int frames)
{
    if (index.size % 16 != 0)
        return false;
    std::vector<unsigned char> entries(index.size);
    if (!file.read(index.data, entries.data(), entries.size()))
        return false;
    const std::uint64_t moviEnd = movi.data + movi.size;
    int videoEntries = 0;
    for (std::size_t at = 0; at < entries.size(); at += 16) {
        const unsigned char* entry = &entries[at];
        const std::uint32_t offset = littleEndian32(entry + 8);
        const std::uint32_t bytes = littleEndian32(entry + 12);
        const auto names = [&](std::uint64_t position) {
            Chunk chunk;
            return position >= movi.data + 4 && file.chunkAt(position, moviEnd, chunk)
                   && std::memcmp(chunk.code, entry, 4) == 0 && chunk.size == bytes;
        };
        if (!names(movi.data + offset) && !names(offset))
            return false;
        if (entry[2] == 'd' && (entry[3] == 'c' || entry[3] == 'b'))
            ++videoEntries;
    }
    // A second RIFF chunk indexes its frames itself; idx1 covers the first only.
    return singleRiff ? videoEntries == frames : videoEntries >= 1;
}

} // namespace

bool aviStructureComplete(const std::string& path, int frames)
{
    AviFile file(path);
    Chunk avi;
    const int riffCount = riffChunks(file, avi);
    if (riffCount == 0)
        return false;
    Chunk movi;
    Chunk index;
    bool haveMovi = false;
    bool haveIndex = false;
    const std::uint64_t aviEnd = avi.data + avi.size;
    for (std::uint64_t at = avi.data + 4; at < aviEnd;) {
        Chunk chunk;
        if (!file.chunkAt(at, aviEnd, chunk))
            return false;
        if (chunk.is("LIST") && !haveMovi && file.formIs(chunk, "movi")) {
            movi = chunk;
            haveMovi = true;
        } else if (chunk.is("idx1") && haveMovi) {
            index = chunk;
            haveIndex = true;
        }
        at = chunk.end();
    }
    return haveIndex && indexHolds(file, movi, index, riffCount == 1, frames);
}

} // namespace Tessary
