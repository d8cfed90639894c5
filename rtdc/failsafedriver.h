#pragma once

#include <H5Ipublic.h>

#include <string>

namespace Tessary {

// The first write to a file that did not reach the disk (a full disk, a file
// size limit), as the fail-safe driver records it.
struct WriteFailure
{
    bool failed = false;
    std::string detail; // the system's reason, e.g. "No space left on device"
    // The system's reason why the file could not be created.
    std::string openDetail;
};

// Makes the file access property list fapl open files through a driver that
// passes everything to HDF5's POSIX driver but never reports a failed write,
// flush or truncation to the library. The HDF5 library cannot recover from a
// write that fails while it flushes or closes a file: it leaves the file's
// identifier pointing at freed memory, and touching it again (a second close,
// the library's own shutdown) crashes the program. So the driver records the
// first failure in `failure` (which must outlive every file opened through
// fapl), drops later writes of raw data, keeps later metadata writes in memory
// (the library may read them back), and the file always closes cleanly; the
// caller then asks `failure` whether the file is complete. Files written this
// way are plain HDF5 files that any reader opens. Caller holds the HDF5 lock;
// throws H5::Exception when the list cannot be set up.
void useFailSafeDriver(hid_t fapl, WriteFailure& failure);

} // namespace Tessary
