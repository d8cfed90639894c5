#include "rtdc/attributetrialfile.h"

#include <H5Cpp.h>

namespace Tessary {

namespace {

// The trial file grows by this much at a time.
constexpr std::size_t trialFileIncrement = 64 * 1024;

// The trial file's name. Before it creates a file the library opens one of
// that name to see whether it is open already, and the in-memory driver
// reads a file it finds there whole: so the name is one that no file system
// holds, a single part longer than any allows.
const std::string& trialFileName()
{
    static const std::string name = "attribute trial " + std::string(300, '-');
    return name;
}

// The file's format as the bounds of the library versions that can read it.
bool copyFormat(hid_t targetLocation, hid_t access)
{
    const hid_t target = H5Iget_file_id(targetLocation);
    const hid_t targetAccess = target < 0 ? -1 : H5Fget_access_plist(target);
    H5F_libver_t low = H5F_LIBVER_EARLIEST, high = H5F_LIBVER_LATEST;
    const bool copied = targetAccess >= 0 && H5Pget_libver_bounds(targetAccess, &low, &high) >= 0
        && H5Pset_libver_bounds(access, low, high) >= 0;
    if (targetAccess >= 0)
        H5Pclose(targetAccess);
    if (target >= 0)
        H5Fclose(target);
    return copied;
}

} // namespace

bool createAttributeWithValue(hid_t location, const std::string& name, hid_t type, hid_t space, hid_t memoryType,
                              const void* value)
{
    const hid_t attribute = H5Acreate2(location, name.c_str(), type, space, H5P_DEFAULT, H5P_DEFAULT);
    if (attribute < 0)
        throw H5::AttributeIException("createAttributeWithValue", "it cannot be created");
    const bool written = !value || H5Awrite(attribute, memoryType, value) >= 0;
    H5Aclose(attribute);
    return written;
}

AttributeTrialFile::AttributeTrialFile(hid_t targetLocation) : access(H5Pcreate(H5P_FILE_ACCESS))
{
    // Without a backing store the core driver keeps the file in memory and writes no disk.
    if (access < 0 || !copyFormat(targetLocation, access) || H5Pset_fapl_core(access, trialFileIncrement, false) < 0) {
        if (access >= 0)
            H5Pclose(access);
        throw H5::FileIException("AttributeTrialFile", "the export's format cannot be inquired");
    }
}

AttributeTrialFile::~AttributeTrialFile()
{
    dropFile();
    H5Pclose(access);
}

bool AttributeTrialFile::storesCleanly(const std::string& name, hid_t type, hid_t space, hid_t memoryType,
                                       const void* value)
{
    if (file < 0)
        file = H5Fcreate(trialFileName().c_str(), H5F_ACC_TRUNC, H5P_DEFAULT, access);
    if (file < 0)
        throw H5::FileIException("AttributeTrialFile", "it cannot be tried");
    bool stored = createAttributeWithValue(file, name, type, space, memoryType, value);
    if (stored) {
        const hid_t again = H5Aopen(file, name.c_str(), H5P_DEFAULT);
        stored = again >= 0;
        if (stored)
            H5Aclose(again);
    }
    // What failed may stay in the file and spoil later trials: a new file takes its place.
    if (!stored || H5Adelete(file, name.c_str()) < 0)
        dropFile();
    return stored;
}

void AttributeTrialFile::dropFile()
{
    if (file >= 0)
        H5Fclose(file);
    file = -1;
}

} // namespace Tessary
