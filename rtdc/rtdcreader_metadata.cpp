#include "rtdc/rtdcreader.h"

#include "rtdc/exportfile.h"
#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader_p.h"

#include <algorithm>
#include <iostream>

namespace Tessary {

namespace {

const std::string polygonKeyEnding = " polygon points";

// A variable-length string of a scalar attribute. Read through the C API: the
// library allocates the text and gives it back through its own reclaim, and a
// read that delivers nothing leaves the pointer null instead of freeing a
// pointer that was never set.
std::string readVariableString(const H5::Attribute& attribute, const H5::StrType& memType)
{
    char* value = nullptr;
    struct Reclaim {
        const H5::StrType& type;
        char** value;
        ~Reclaim()
        {
            const hid_t scalar = *value ? H5Screate(H5S_SCALAR) : H5I_INVALID_HID;
            if (scalar < 0)
                return;
#if H5_VERSION_GE(1, 12, 0)
            H5Treclaim(type.getId(), scalar, H5P_DEFAULT, value);
#else
            H5Dvlen_reclaim(type.getId(), scalar, H5P_DEFAULT, value);
#endif
            H5Sclose(scalar);
        }
    } reclaim{memType, &value};
    if (H5Aread(attribute.getId(), memType.getId(), &value) < 0)
        throw H5::AttributeIException("readStringAttribute", "the text could not be read");
    return value ? std::string(value) : std::string();
}

// A string attribute read through a memory type made from its own type, so
// UTF-8 and fixed-length strings read as well as ASCII variable-length ones.
std::string readStringAttribute(const H5::Attribute& attribute)
{
    const H5::StrType fileType = attribute.getStrType();
    if (fileType.isVariableStr()) {
        H5::StrType memType(H5::PredType::C_S1, H5T_VARIABLE);
        memType.setCset(fileType.getCset());
        return readVariableString(attribute, memType);
    }
    const std::size_t size = fileType.getSize();
    H5::StrType memType(H5::PredType::C_S1, size);
    memType.setCset(fileType.getCset());
    memType.setStrpad(fileType.getStrpad());
    std::string buffer(size, '\0');
    attribute.read(memType, buffer.data());
    // Null-terminated and null-padded strings end at the first NUL; space-padded
    // ones lose their trailing blanks.
    const std::size_t nul = buffer.find('\0');
    if (nul != std::string::npos)
        buffer.resize(nul);
    if (fileType.getStrpad() == H5T_STR_SPACEPAD) {
        const std::size_t last = buffer.find_last_not_of(' ');
        buffer.resize(last == std::string::npos ? 0 : last + 1);
    }
    return buffer;
}

// The text of a single value, or false for a class that is not shown.
bool scalarAttributeText(const H5::Attribute& attribute, const H5::DataType& type, std::string& text)
{
    switch (type.getClass()) {
    case H5T_STRING:
        text = readStringAttribute(attribute);
        return true;
    case H5T_FLOAT: {
        double value = 0.0;
        attribute.read(H5::PredType::NATIVE_DOUBLE, &value);
        text = formatFixedSix(value);
        return true;
    }
    case H5T_INTEGER:
        if (attribute.getIntType().getSign() == H5T_SGN_NONE) {
            unsigned long long value = 0;
            attribute.read(H5::PredType::NATIVE_ULLONG, &value);
            text = std::to_string(value);
        } else {
            long long value = 0;
            attribute.read(H5::PredType::NATIVE_LLONG, &value);
            text = std::to_string(value);
        }
        return true;
    case H5T_ENUM: {
        const auto values = ReaderDetail::readEnumValues(
            type, 1, [&](void* buffer, const H5::DataType& memType) { attribute.read(memType, buffer); });
        text = std::to_string(values.front());
        return true;
    }
    default:
        return false;
    }
}

// A polygon filter from an (N, 2) float attribute named "<section>:<x>,<y> polygon points".
bool readPolygonAttribute(const H5::Attribute& attribute, const std::string& name, const hsize_t dims[2],
                          PolygonFilterInfo& polygon, std::string& text)
{
    std::vector<float> values(static_cast<std::size_t>(dims[0]) * 2);
    attribute.read(H5::PredType::NATIVE_FLOAT, values.data());
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos)
        return false;
    const std::string key = name.substr(colon + 1);
    if (key.size() <= polygonKeyEnding.size()
        || key.compare(key.size() - polygonKeyEnding.size(), polygonKeyEnding.size(), polygonKeyEnding) != 0)
        return false;
    const std::string head = key.substr(0, key.size() - polygonKeyEnding.size());
    const std::size_t comma = head.find(',');
    if (comma == std::string::npos)
        return false;
    polygon.xFeature = head.substr(0, comma);
    polygon.yFeature = head.substr(comma + 1);
    text.clear();
    for (std::size_t i = 0; i < values.size() / 2; ++i) {
        const double x = values[2 * i];
        const double y = values[2 * i + 1];
        polygon.points.emplace_back(x, y);
        if (i > 0)
            text += ", ";
        text += "(" + formatFixedSix(x) + "," + formatFixedSix(y) + ")";
    }
    return true;
}

// The names of the group's attributes, sorted, in one pass over them. Opening
// attributes by index builds the library's index table anew for each one,
// which makes thousands of attributes take minutes. A walk that breaks off
// midway reports it and keeps the names gathered so far.
std::vector<std::string> attributeNames(const H5::Group& group)
{
    std::vector<std::string> names;
    const auto collect = [](hid_t, const char* name, const H5A_info_t*, void* data) -> herr_t {
        try {
            static_cast<std::vector<std::string>*>(data)->emplace_back(name);
            return 0;
        } catch (...) {
            return -1;
        }
    };
    hsize_t position = 0;
    if (H5Aiterate2(group.getId(), H5_INDEX_NAME, H5_ITER_NATIVE, &position, collect, &names) < 0)
        std::cerr << ("Error reading metadata: the attributes could not all be listed (" + std::to_string(names.size())
                      + " found)\n")
                  << std::flush;
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace

RTDCMetadata RTDCReader::readMetadata()
{
    RTDCMetadata metadata;
    if (!isOpen())
        return metadata;
    Hdf5Lock lock;
    if (!isOpen())
        return metadata;
    try {
        const H5::Group root = file->openGroup("/");
        const std::vector<std::string> names = attributeNames(root);
        for (std::size_t index = 0; index < names.size(); ++index) {
            try {
                const std::string& name = names[index];
                const H5::Attribute attribute = root.openAttribute(name);
                const H5::DataType type = attribute.getDataType();
                const H5::DataSpace space = attribute.getSpace();
                // A null or empty dataspace holds no value: the attribute is absent.
                if (space.getSimpleExtentType() == H5S_NULL || space.getSimpleExtentNpoints() == 0)
                    continue;
                const int rank = space.getSimpleExtentNdims();
                std::string text;
                if (rank == 0) {
                    if (!scalarAttributeText(attribute, type, text))
                        continue;
                } else {
                    hsize_t dims[2] = {0, 0};
                    if (rank != 2 || type.getClass() != H5T_FLOAT)
                        continue;
                    space.getSimpleExtentDims(dims);
                    PolygonFilterInfo polygon;
                    if (dims[1] != 2 || !readPolygonAttribute(attribute, name, dims, polygon, text))
                        continue;
                    metadata.polygonFilters.push_back(std::move(polygon));
                }
                metadata.allAttributes[name] = text;
                storeMetadataEntry(name, text, metadata);
            } catch (...) {
                reportHdf5Failure("Warning: failed to read attribute " + std::to_string(index) + ": ");
            }
        }
    } catch (...) {
        reportHdf5Failure("Error reading metadata: ");
    }
    const auto composition = metadata.setup.find("module composition");
    if (composition != metadata.setup.end() && composition->second.find("Vireon") != std::string::npos) {
        std::lock_guard<std::mutex> state(stateMutex);
        instrumentData = true;
    }
    return metadata;
}

void RTDCReader::storeMetadataEntry(const std::string& name, const std::string& value, RTDCMetadata& metadata)
{
    const std::size_t colon = name.find(':');
    if (colon == std::string::npos)
        return;
    const std::string section = name.substr(0, colon);
    const std::string key = name.substr(colon + 1);
    std::map<std::string, std::string>* target = nullptr;
    if (section == "experiment")
        target = &metadata.experiment;
    else if (section == "setup")
        target = &metadata.setup;
    else if (section == "imaging")
        target = &metadata.imaging;
    else if (section == "online_contour")
        target = &metadata.onlineContour;
    else if (section == "online_filter")
        target = &metadata.onlineFilter;
    else if (section == "offline_filter")
        target = &metadata.offlineFilter;
    else if (section == "fluorescence")
        target = &metadata.fluorescence;
    else if (section == "export")
        target = &metadata.exportInfo;
    if (target)
        (*target)[key] = value;
}

} // namespace Tessary
