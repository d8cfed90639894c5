#pragma once
// Helpers shared by the parts of RTDCReader's definition; not for other code.

#include "rtdc/hdf5lock.h"

#include <H5Cpp.h>

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace Tessary {
namespace ReaderDetail {

// Frames beyond this many pixels are refused as unreadable: far above any
// camera, while a damaged extent (100000 x 100000) would take gigabytes per frame.
constexpr std::uint64_t maximumFramePixels = std::uint64_t(1) << 26;
// Traces beyond this many samples per event are refused as unreadable in the
// same way. Instruments record hundreds to a few thousand samples per event;
// a million (4 MB per row as float) leaves ample room, while a damaged extent
// (10^8 or 2^40 samples) would take gigabytes or terabytes for every row.
constexpr std::uint64_t maximumTraceSamples = 1000000;

// Calls visit(name, dataset) for every dataset directly in the group at path;
// nothing when the group (or its parent) does not exist. A member that cannot
// be opened is reported with errorPrefix and passed over, so one damaged
// dataset does not hide the others.
template <typename Visit>
void forEachDataset(const H5::H5File& file, const std::string& parent, const std::string& path,
                    const std::string& errorPrefix, Visit visit)
{
    if (!file.nameExists(parent) || !file.nameExists(path))
        return;
    const H5::Group group = file.openGroup(path);
    const hsize_t count = group.getNumObjs();
    for (hsize_t i = 0; i < count; ++i) {
        try {
            if (group.getObjTypeByIdx(i) != H5G_DATASET)
                continue;
            const std::string name = group.getObjnameByIdx(i);
            visit(name, group.openDataSet(name));
        } catch (...) {
            reportHdf5Failure(errorPrefix);
        }
    }
}

// The values of an enum dataset or attribute as signed 64-bit integers. The
// library converts no enum to an integer type, so the data are read in the
// enum's own (native) type and its base integers are widened here.
// read(buffer, memoryType) reads all values of the dataset or attribute.
template <typename ReadFn>
std::vector<std::int64_t> readEnumValues(const H5::DataType& fileType, std::size_t count, ReadFn read)
{
    const hid_t nativeId = H5Tget_native_type(fileType.getId(), H5T_DIR_ASCEND);
    if (nativeId < 0)
        throw H5::DataTypeIException("H5Tget_native_type", "no native form of the enum type");
    H5::DataType memType(nativeId); // takes ownership of the id
    const std::size_t size = memType.getSize();
    const hid_t baseId = H5Tget_super(nativeId);
    const bool isSigned = baseId >= 0 && H5Tget_sign(baseId) == H5T_SGN_2;
    if (baseId >= 0)
        H5Tclose(baseId);
    if (size != 1 && size != 2 && size != 4 && size != 8)
        return std::vector<std::int64_t>(count, 0);

    std::vector<unsigned char> raw(count * size);
    read(raw.data(), memType);
    std::vector<std::int64_t> values(count);
    for (std::size_t i = 0; i < count; ++i) {
        const unsigned char* p = raw.data() + i * size;
        switch (size) {
        case 1: {
            std::uint8_t v;
            std::memcpy(&v, p, 1);
            values[i] = isSigned ? static_cast<std::int8_t>(v) : v;
            break;
        }
        case 2: {
            std::uint16_t v;
            std::memcpy(&v, p, 2);
            values[i] = isSigned ? static_cast<std::int16_t>(v) : v;
            break;
        }
        case 4: {
            std::uint32_t v;
            std::memcpy(&v, p, 4);
            values[i] = isSigned ? static_cast<std::int32_t>(v) : static_cast<std::int64_t>(v);
            break;
        }
        default: {
            std::int64_t v;
            std::memcpy(&v, p, 8);
            values[i] = v;
            break;
        }
        }
    }
    return values;
}

} // namespace ReaderDetail
} // namespace Tessary
