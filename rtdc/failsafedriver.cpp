#include "rtdc/failsafedriver.h"

#include "rtdc/stagedfile.h"

#include <H5Cpp.h>
#include <H5FDsec2.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <new>
#include <vector>

namespace Tessary {

namespace {

// What the property list hands to `openFile`; copied bytewise by the library.
struct DriverInfo
{
    WriteFailure* failure;
};

struct KeptWrite
{
    haddr_t address;
    std::vector<unsigned char> bytes;
};

struct FileState
{
    H5FD_t* inner = nullptr; // the POSIX driver's file
    WriteFailure* failure = nullptr;
    std::vector<KeptWrite> kept; // metadata written after the failure, oldest first
    haddr_t keptEnd = 0;
};

// The library fills in `pub`; it must be the first member.
struct FailSafeFile
{
    H5FD_t pub;
    FileState* state;
};

FileState& stateOf(const H5FD_t* file)
{
    return *reinterpret_cast<const FailSafeFile*>(file)->state;
}

void recordFailure(FileState& state, int error)
{
    if (state.failure->failed)
        return;
    state.failure->failed = true;
    state.failure->detail = systemErrorText(error);
}

// Later writes supersede earlier ones where they overlap, so reads apply the kept writes in order.
void keepWrite(FileState& state, haddr_t address, std::size_t size, const void* buffer)
{
    try {
        state.kept.erase(std::remove_if(state.kept.begin(), state.kept.end(),
                                        [&](const KeptWrite& w) {
                                            return w.address == address && w.bytes.size() == size;
                                        }),
                         state.kept.end());
        const auto* bytes = static_cast<const unsigned char*>(buffer);
        state.kept.push_back({address, std::vector<unsigned char>(bytes, bytes + size)});
        state.keptEnd = std::max<haddr_t>(state.keptEnd, address + size);
    } catch (const std::bad_alloc&) {
        // The file is lost anyway; the library may then read back stale metadata and report an error.
    }
}

void applyKeptWrites(const FileState& state, haddr_t address, std::size_t size, void* buffer)
{
    auto* out = static_cast<unsigned char*>(buffer);
    for (const KeptWrite& w : state.kept) {
        const haddr_t begin = std::max(address, w.address);
        const haddr_t end = std::min<haddr_t>(address + size, w.address + w.bytes.size());
        if (begin < end)
            std::memcpy(out + (begin - address), w.bytes.data() + (begin - w.address), end - begin);
    }
}

hid_t innerAccessList()
{
    const hid_t fapl = H5Pcreate(H5P_FILE_ACCESS);
    if (fapl >= 0 && H5Pset_fapl_sec2(fapl) < 0) {
        H5Pclose(fapl);
        return -1;
    }
    return fapl;
}

// ---- driver callbacks (called by the library with its lock held) ----------------

H5FD_t* openFile(const char* name, unsigned flags, hid_t fapl, haddr_t maxaddr)
{
    const auto* info = static_cast<const DriverInfo*>(H5Pget_driver_info(fapl));
    if (!info || !info->failure)
        return nullptr;
    const hid_t innerFapl = innerAccessList();
    if (innerFapl < 0)
        return nullptr;
    errno = 0;
    H5FD_t* inner = H5FDopen(name, flags, innerFapl, maxaddr);
    const int openError = errno;
    H5Pclose(innerFapl);
    if (!inner) {
        // The library keeps the reason only as text in its error stack. It
        // tries to open a file before it creates it: only the creation counts.
        if (flags & H5F_ACC_CREAT)
            info->failure->openDetail = systemErrorText(openError);
        return nullptr;
    }
    auto* file = new (std::nothrow) FailSafeFile{};
    auto* state = new (std::nothrow) FileState;
    if (!file || !state) {
        delete file;
        delete state;
        H5FDclose(inner);
        return nullptr;
    }
    state->inner = inner;
    state->failure = info->failure;
    file->state = state;
    return &file->pub;
}

herr_t closeFile(H5FD_t* file)
{
    auto* failSafe = reinterpret_cast<FailSafeFile*>(file);
    FileState* state = failSafe->state;
    errno = 0;
    if (H5FDclose(state->inner) < 0)
        recordFailure(*state, errno);
    delete state;
    delete failSafe;
    return 0;
}

int compareFiles(const H5FD_t* a, const H5FD_t* b)
{
    return H5FDcmp(stateOf(a).inner, stateOf(b).inner);
}

herr_t queryFeatures(const H5FD_t* file, unsigned long* flags)
{
    if (!file)
        return H5FDdriver_query(H5FD_SEC2, flags);
    return H5FDquery(stateOf(file).inner, flags) < 0 ? -1 : 0;
}

haddr_t getEoa(const H5FD_t* file, H5FD_mem_t type)
{
    return H5FDget_eoa(stateOf(file).inner, type);
}

herr_t setEoa(H5FD_t* file, H5FD_mem_t type, haddr_t address)
{
    return H5FDset_eoa(stateOf(file).inner, type, address);
}

haddr_t getEof(const H5FD_t* file, H5FD_mem_t type)
{
    const FileState& state = stateOf(file);
    const haddr_t eof = H5FDget_eof(state.inner, type);
    return eof == HADDR_UNDEF ? eof : std::max(eof, state.keptEnd);
}

herr_t getHandle(H5FD_t* file, hid_t fapl, void** handle)
{
    return H5FDget_vfd_handle(stateOf(file).inner, fapl, handle);
}

herr_t readBlock(H5FD_t* file, H5FD_mem_t type, hid_t dxpl, haddr_t address, size_t size, void* buffer)
{
    const FileState& state = stateOf(file);
    if (H5FDread(state.inner, type, dxpl, address, size, buffer) < 0)
        return -1;
    applyKeptWrites(state, address, size, buffer);
    return 0;
}

herr_t writeBlock(H5FD_t* file, H5FD_mem_t type, hid_t dxpl, haddr_t address, size_t size, const void* buffer)
{
    FileState& state = stateOf(file);
    if (!state.failure->failed) {
        errno = 0;
        if (H5FDwrite(state.inner, type, dxpl, address, size, buffer) >= 0)
            return 0;
        recordFailure(state, errno);
    }
    if (type != H5FD_MEM_DRAW)
        keepWrite(state, address, size, buffer);
    return 0;
}

herr_t flushFile(H5FD_t* file, hid_t dxpl, hbool_t closing)
{
    FileState& state = stateOf(file);
    errno = 0;
    if (H5FDflush(state.inner, dxpl, closing) < 0)
        recordFailure(state, errno);
    return 0;
}

herr_t truncateFile(H5FD_t* file, hid_t dxpl, hbool_t closing)
{
    FileState& state = stateOf(file);
    if (state.failure->failed)
        return 0;
    errno = 0;
    if (H5FDtruncate(state.inner, dxpl, closing) < 0)
        recordFailure(state, errno);
    return 0;
}

herr_t lockFile(H5FD_t* file, hbool_t readWrite)
{
    return H5FDlock(stateOf(file).inner, readWrite);
}

herr_t unlockFile(H5FD_t* file)
{
    H5FDunlock(stateOf(file).inner); // a lock that cannot be dropped goes with the descriptor
    return 0;
}

H5FD_class_t makeDriverClass()
{
    H5FD_class_t driver{};
    driver.name = "tessary_failsafe";
    driver.maxaddr = (haddr_t(1) << 63) - 1; // what the POSIX driver addresses
    driver.fc_degree = H5F_CLOSE_WEAK;
    driver.fapl_size = sizeof(DriverInfo);
    driver.open = openFile;
    driver.close = closeFile;
    driver.cmp = compareFiles;
    driver.query = queryFeatures;
    driver.get_eoa = getEoa;
    driver.set_eoa = setEoa;
    driver.get_eof = getEof;
    driver.get_handle = getHandle;
    driver.read = readBlock;
    driver.write = writeBlock;
    driver.flush = flushFile;
    driver.truncate = truncateFile;
    driver.lock = lockFile;
    driver.unlock = unlockFile;
    const H5FD_mem_t map[] = H5FD_FLMAP_DICHOTOMY;
    std::copy(std::begin(map), std::end(map), driver.fl_map);
    return driver;
}

hid_t driverId()
{
    static const H5FD_class_t driver = makeDriverClass();
    static hid_t id = -1;
    // The registration ends when the library shuts down; a restarted library needs a new one.
    if (id < 0 || H5Iis_valid(id) <= 0)
        id = H5FDregister(&driver);
    return id;
}

} // namespace

void useFailSafeDriver(hid_t fapl, WriteFailure& failure)
{
    const hid_t id = driverId();
    const DriverInfo info{&failure};
    if (id < 0 || H5Pset_driver(fapl, id, &info) < 0)
        throw H5::FileIException("useFailSafeDriver", "the file driver could not be set up");
}

} // namespace Tessary
