#pragma once

#include "rtdc/stagedfile.h"

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <string>
#include <string_view>

namespace Tessary {

// An output file stream that checks every call: the first failure is kept
// with its step (the file could not be created, or bytes did not reach it)
// and the system's reason, taken right after the call that failed, since a
// full disk may show in any call that empties the stream's buffer. Once
// failed, it writes nothing more. Numbers are written in the classic locale,
// whatever the program's (no decimal comma in a file).
class CheckedOutput
{
public:
    // Creates (or truncates) the file at path (UTF-8); mode adds to
    // std::ios::out, e.g. std::ios::binary (without it, text mode: the
    // platform's line ends).
    explicit CheckedOutput(const std::string& path, std::ios::openmode mode = {});
    CheckedOutput(const CheckedOutput&) = delete;
    CheckedOutput& operator=(const CheckedOutput&) = delete;

    bool isOpen() const { return file.is_open(); }
    bool good() const { return !fileFailure.failed(); }
    // The first failure; none while all went well.
    const FileFailure& failure() const { return fileFailure; }

    // Formatted output, as on the stream.
    template <typename T>
    CheckedOutput& operator<<(const T& value)
    {
        if (good()) {
            errno = 0;
            file << value;
            check();
        }
        return *this;
    }
    bool write(std::string_view bytes);
    // Moves the write position to an absolute byte offset; position() tells where it is.
    bool seek(std::uint64_t offset);
    std::uint64_t position();
    // Writes out what the stream holds and closes the file; true when every
    // call succeeded. The destructor closes without a check.
    bool close();

private:
    void check(); // after a call on the stream: a failure is a failed write

    std::ofstream file;
    FileFailure fileFailure;
};

} // namespace Tessary
