#pragma once

#include <mutex>
#include <string>

namespace Tessary {

// The one process-wide lock around every call into the HDF5 library. It is
// re-entrant: a thread that holds it (the writer across an export step) can call
// reader operations that take it again. Constant-initialised, so it is ready
// before any static constructor runs.
extern std::recursive_mutex hdf5Mutex;

// Switches off the library's automatic printing of its error stack. Call once
// at start-up, before any file is opened. The library keeps this setting per
// thread, so every `Hdf5Lock` taken afterwards switches it off in its own thread
// as well (once per thread).
void disableHdf5ErrorPrinting();

// Scoped holder of `hdf5Mutex`; also applies `disableHdf5ErrorPrinting` to the
// calling thread once it has been requested. Use it for every HDF5 operation.
class Hdf5Lock
{
public:
    Hdf5Lock();
    ~Hdf5Lock();
    Hdf5Lock(const Hdf5Lock&) = delete;
    Hdf5Lock& operator=(const Hdf5Lock&) = delete;
};

// Writes prefix + the detail of the exception being handled + a line end to
// standard error, as one line. Call it only inside a catch block; it understands
// H5::Exception (its detail message), std::exception (what()) and anything else.
void reportHdf5Failure(const std::string& prefix);

} // namespace Tessary
