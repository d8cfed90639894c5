#pragma once

#include <H5Ipublic.h>

#include <string>

namespace Tessary {

// Creates the attribute `name` of `type` and extent `space` on `location` and
// writes `value`, laid out by `memoryType` (no value: nothing is written).
// False when the value cannot be written; the attribute then stays without
// one. Throws H5::Exception when it cannot be created. Caller holds the HDF5 lock.
bool createAttributeWithValue(hid_t location, const std::string& name, hid_t type, hid_t space, hid_t memoryType,
                              const void* value);

// A file held only in memory, in the format of a target file, where an
// attribute is tried before it is created in the target. The library creates
// an attribute before it converts the value, and stores some damaged types
// that it cannot read back; such an attribute keeps every reader from
// listing its group's attributes, and cannot be deleted either, since the
// library reads the stored types to find an attribute by name. Caller holds
// the HDF5 lock for the trial file's whole life.
class AttributeTrialFile
{
public:
    // Takes the format of the file of `targetLocation`. Throws H5::Exception
    // when that cannot be inquired.
    explicit AttributeTrialFile(hid_t targetLocation);
    ~AttributeTrialFile();
    AttributeTrialFile(const AttributeTrialFile&) = delete;
    AttributeTrialFile& operator=(const AttributeTrialFile&) = delete;

    // Whether the attribute can be created and written (as
    // createAttributeWithValue does), found again and deleted in the trial
    // file. Throws H5::Exception when it cannot be tried at all.
    bool storesCleanly(const std::string& name, hid_t type, hid_t space, hid_t memoryType, const void* value);

private:
    void dropFile();

    hid_t access = -1;
    hid_t file = -1;
};

} // namespace Tessary
