#include "rtdc/attributecopy.h"

#include "rtdc/hdf5lock.h"

#include <H5Cpp.h>

#include <limits>
#include <new>
#include <vector>

namespace Tessary {

namespace {

// An identifier of the C interface, closed with the scope.
class Handle
{
public:
    Handle(hid_t id, herr_t (*closer)(hid_t)) : id(id), closer(closer) {}
    ~Handle()
    {
        if (id >= 0)
            closer(id);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    hid_t get() const { return id; }

private:
    hid_t id;
    herr_t (*closer)(hid_t);
};

hid_t checked(hid_t id, const char* what)
{
    if (id < 0)
        throw H5::AttributeIException("copyRootAttributes", what);
    return id;
}

// The value of one attribute in memory, with the variable-length parts
// (strings) the library allocated for it released again.
class AttributeValue
{
public:
    AttributeValue(hid_t attribute, hid_t memoryType, hid_t space, std::size_t bytes)
        : memoryType(memoryType), space(space), buffer(bytes)
    {
        if (H5Aread(attribute, memoryType, buffer.data()) < 0)
            throw H5::AttributeIException("copyRootAttributes", "its value cannot be read");
        read = true;
    }
    ~AttributeValue()
    {
        if (read)
            H5Dvlen_reclaim(memoryType, space, H5P_DEFAULT, buffer.data());
    }
    AttributeValue(const AttributeValue&) = delete;
    AttributeValue& operator=(const AttributeValue&) = delete;
    const void* data() const { return buffer.data(); }

private:
    hid_t memoryType;
    hid_t space;
    std::vector<unsigned char> buffer;
    bool read = false;
};

void copyAttribute(hid_t fromRoot, hid_t toRoot, const char* name, std::set<std::string>& copied)
{
    const Handle attribute(checked(H5Aopen(fromRoot, name, H5P_DEFAULT), "it cannot be opened"), H5Aclose);
    const Handle space(checked(H5Aget_space(attribute.get()), "its extent cannot be read"), H5Sclose);
    const hssize_t count = H5Sget_simple_extent_npoints(space.get());
    if (H5Sget_simple_extent_type(space.get()) == H5S_NULL || count <= 0)
        return; // no value to copy
    const Handle fileType(checked(H5Aget_type(attribute.get()), "its type cannot be read"), H5Tclose);
    if (H5Tdetect_class(fileType.get(), H5T_REFERENCE) > 0)
        return;
    const Handle memoryType(checked(H5Tget_native_type(fileType.get(), H5T_DIR_ASCEND), "its type has no memory form"),
                            H5Tclose);
    const std::size_t elementSize = H5Tget_size(memoryType.get());
    if (elementSize == 0 || static_cast<std::size_t>(count) > std::numeric_limits<std::size_t>::max() / elementSize)
        throw std::bad_alloc();
    const AttributeValue value(attribute.get(), memoryType.get(), space.get(),
                               static_cast<std::size_t>(count) * elementSize);
    // A transient copy: a type committed in the source file cannot be named in the target.
    const Handle targetType(checked(H5Tcopy(fileType.get()), "its type cannot be copied"), H5Tclose);
    const Handle target(checked(H5Acreate2(toRoot, name, targetType.get(), space.get(), H5P_DEFAULT, H5P_DEFAULT),
                                "it cannot be created"),
                        H5Aclose);
    if (H5Awrite(target.get(), memoryType.get(), value.data()) < 0)
        throw H5::AttributeIException("copyRootAttributes", "its value cannot be written");
    copied.insert(name);
}

struct CopyWalk
{
    hid_t toRoot;
    std::set<std::string>* copied;
};

herr_t copyOne(hid_t fromRoot, const char* name, const H5A_info_t*, void* data)
{
    const CopyWalk& walk = *static_cast<const CopyWalk*>(data);
    try {
        copyAttribute(fromRoot, walk.toRoot, name, *walk.copied);
    } catch (...) {
        // Nothing may leave through the library's walk.
        try {
            reportHdf5Failure("Warning: failed to write attribute '" + std::string(name) + "': ");
        } catch (...) {
        }
    }
    return 0;
}

} // namespace

void copyRootAttributes(hid_t from, hid_t to, std::set<std::string>& copied)
{
    const Handle fromRoot(H5Gopen2(from, "/", H5P_DEFAULT), H5Gclose);
    const Handle toRoot(H5Gopen2(to, "/", H5P_DEFAULT), H5Gclose);
    if (fromRoot.get() < 0 || toRoot.get() < 0)
        throw H5::GroupIException("copyRootAttributes", "the root group cannot be opened");
    CopyWalk walk{toRoot.get(), &copied};
    hsize_t position = 0;
    if (H5Aiterate2(fromRoot.get(), H5_INDEX_NAME, H5_ITER_INC, &position, copyOne, &walk) < 0)
        throw H5::GroupIException("copyRootAttributes", "the attributes cannot be listed");
}

} // namespace Tessary
