#include "rtdc/attributecopy.h"

#include "rtdc/attributetrialfile.h"
#include "rtdc/hdf5lock.h"

#include <H5Cpp.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <optional>

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
    const unsigned char* data() const { return buffer.data(); }

private:
    hid_t memoryType;
    hid_t space;
    std::vector<unsigned char> buffer;
    bool read = false;
};

// Atomic numbers wider than this are no type a program calculates with; the
// library's conversions of such damaged sizes are not to be trusted.
constexpr std::size_t maximumNumberBytes = 16;
// Nesting of array, compound, enum and variable-length types checked at most.
constexpr int maximumTypeDepth = 16;

// Whether a part (bits of a number, bytes of a member) lies within its whole.
bool partWithin(std::size_t position, std::size_t size, std::size_t limit)
{
    return position <= limit && size <= limit - position;
}

std::optional<std::size_t> productWithin(std::size_t first, std::size_t second)
{
    if (second != 0 && first > std::numeric_limits<std::size_t>::max() / second)
        return std::nullopt;
    return first * second;
}

bool bitsOverlap(std::size_t firstPosition, std::size_t firstSize, std::size_t secondPosition,
                 std::size_t secondSize)
{
    return firstPosition < secondPosition + secondSize && secondPosition < firstPosition + firstSize;
}

// Precision and offset of an integer or float lie within its size.
bool numberBitsConsistent(hid_t type, std::size_t size)
{
    const std::size_t precision = H5Tget_precision(type);
    const int offset = H5Tget_offset(type);
    return size > 0 && size <= maximumNumberBytes && precision > 0 && offset >= 0
        && partWithin(static_cast<std::size_t>(offset), precision, 8 * size);
}

// Sign, exponent and mantissa lie within the precision without overlapping,
// and the exponent is one the library's conversions can shift by.
bool floatFieldsConsistent(hid_t type)
{
    std::size_t sign = 0, exponentPosition = 0, exponentSize = 0, mantissaPosition = 0, mantissaSize = 0;
    if (H5Tget_fields(type, &sign, &exponentPosition, &exponentSize, &mantissaPosition, &mantissaSize) < 0)
        return false;
    const std::size_t precision = H5Tget_precision(type);
    return exponentSize > 0 && exponentSize < 32 && mantissaSize > 0 && sign < precision
        && partWithin(exponentPosition, exponentSize, precision) && partWithin(mantissaPosition, mantissaSize, precision)
        && !bitsOverlap(exponentPosition, exponentSize, mantissaPosition, mantissaSize)
        && !bitsOverlap(sign, 1, exponentPosition, exponentSize) && !bitsOverlap(sign, 1, mantissaPosition, mantissaSize)
        && H5Tget_norm(type) != H5T_NORM_ERROR;
}

bool typeWritable(hid_t type, int depth);

bool superTypeWritable(hid_t type, int depth)
{
    const Handle super(H5Tget_super(type), H5Tclose);
    return super.get() >= 0 && typeWritable(super.get(), depth + 1);
}

// A variable-length string is a sequence of one-byte characters. The
// interface hides that character type, but the type's stored description
// (as H5Tencode gives it) shows it: after two bytes of the encoding and
// eight of the string's class and size come the character's class and
// size. A damaged character size has the library read and write each
// character at that size, filled with zeros it never read.
bool charactersAreBytes(hid_t type)
{
    constexpr std::size_t character = 2 + 8;
    std::size_t bytes = 0;
    if (H5Tencode(type, nullptr, &bytes) < 0 || bytes < character + 8)
        return false;
    std::vector<unsigned char> encoded(bytes);
    if (H5Tencode(type, encoded.data(), &bytes) < 0)
        return false;
    const unsigned char* size = &encoded[character + 4];
    return (encoded[character] & 0x0f) == H5T_INTEGER && size[0] == 1 && size[1] == 0 && size[2] == 0 && size[3] == 0;
}

bool stringTypeWritable(hid_t type, std::size_t size)
{
    const H5T_cset_t cset = H5Tget_cset(type);
    const H5T_str_t padding = H5Tget_strpad(type);
    const htri_t variable = H5Tis_variable_str(type);
    return size > 0 && variable >= 0 && (cset == H5T_CSET_ASCII || cset == H5T_CSET_UTF8)
        && (padding == H5T_STR_NULLTERM || padding == H5T_STR_NULLPAD || padding == H5T_STR_SPACEPAD)
        && (variable == 0 || charactersAreBytes(type));
}

bool arrayTypeWritable(hid_t type, std::size_t size, int depth)
{
    const int rank = H5Tget_array_ndims(type);
    const Handle super(H5Tget_super(type), H5Tclose);
    if (rank < 1 || rank > H5S_MAX_RANK || super.get() < 0 || !typeWritable(super.get(), depth + 1))
        return false;
    hsize_t dims[H5S_MAX_RANK] = {};
    if (H5Tget_array_dims2(type, dims) < 0)
        return false;
    std::size_t elements = 1;
    for (int i = 0; i < rank; ++i) {
        if (dims[i] == 0 || elements > size / dims[i])
            return false;
        elements *= static_cast<std::size_t>(dims[i]);
    }
    return elements * H5Tget_size(super.get()) == size;
}

// Offset and size of each member of a compound.
using MemberLayout = std::vector<std::pair<std::size_t, std::size_t>>;

// Every member lies within the compound's size and none overlaps another.
// The library reads a stored type whose member starts inside a member at a
// lower offset, but cannot convert values of it; an attribute created with
// it cannot be written, and its stored type then keeps every reader from
// listing the group's attributes.
bool membersDisjoint(MemberLayout members, std::size_t size)
{
    std::sort(members.begin(), members.end());
    std::size_t end = 0;
    for (const auto& [offset, memberSize] : members) {
        if (offset < end || !partWithin(offset, memberSize, size))
            return false;
        end = offset + memberSize;
    }
    return true;
}

bool compoundTypeWritable(hid_t type, std::size_t size, int depth)
{
    const int members = H5Tget_nmembers(type);
    if (members < 1)
        return false;
    MemberLayout layout;
    for (int i = 0; i < members; ++i) {
        const Handle member(H5Tget_member_type(type, static_cast<unsigned>(i)), H5Tclose);
        if (member.get() < 0 || !typeWritable(member.get(), depth + 1))
            return false;
        layout.emplace_back(H5Tget_member_offset(type, static_cast<unsigned>(i)), H5Tget_size(member.get()));
    }
    return membersDisjoint(std::move(layout), size);
}

// Whether the library can write values of a stored type: its fields are
// consistent with its size. A damaged type read from a file is taken as it
// is, and converting values into it reads and writes beyond the buffers.
bool typeWritable(hid_t type, int depth)
{
    if (depth > maximumTypeDepth)
        return false;
    const std::size_t size = H5Tget_size(type);
    switch (H5Tget_class(type)) {
    case H5T_INTEGER:
    case H5T_BITFIELD:
        return numberBitsConsistent(type, size);
    case H5T_FLOAT:
        return numberBitsConsistent(type, size) && floatFieldsConsistent(type);
    case H5T_STRING:
        return stringTypeWritable(type, size);
    case H5T_ENUM:
        return H5Tget_nmembers(type) >= 0 && superTypeWritable(type, depth);
    case H5T_ARRAY:
        return arrayTypeWritable(type, size, depth);
    case H5T_COMPOUND:
        return compoundTypeWritable(type, size, depth);
    case H5T_VLEN:
        return superTypeWritable(type, depth);
    case H5T_OPAQUE:
        return size > 0;
    default:
        return false; // time and unknown classes
    }
}

// The types the library hands out are laid out for memory, where a
// variable-length part takes the size of a pointer; the file holds a heap
// reference in its place, and the library reads the stored bytes by that
// stored layout. A damaged dimension or size makes the layout claim more
// than is stored, so it is worked out here and checked against the bytes.
std::optional<std::size_t> storedSize(hid_t type, std::size_t referenceSize, int depth);

std::optional<std::size_t> storedArraySize(hid_t type, std::size_t referenceSize, int depth)
{
    const int rank = H5Tget_array_ndims(type);
    const Handle super(H5Tget_super(type), H5Tclose);
    hsize_t dims[H5S_MAX_RANK] = {};
    if (rank < 1 || rank > H5S_MAX_RANK || super.get() < 0 || H5Tget_array_dims2(type, dims) < 0)
        return std::nullopt;
    std::optional<std::size_t> size = storedSize(super.get(), referenceSize, depth + 1);
    for (int i = 0; i < rank && size; ++i)
        size = dims[i] <= std::numeric_limits<std::size_t>::max() ? productWithin(*size, dims[i]) : std::nullopt;
    return size;
}

// Where the members of a compound are stored (in member order) and its stored size.
struct StoredCompound
{
    MemberLayout members;
    std::size_t size = 0;
};

// In memory every member after a variable-length part has moved by the
// difference of the two sizes (the library keeps the members in stored
// order); undoing the moves gives where each member is stored. The
// arithmetic wraps as the library's does, so a damaged size comes back as
// stored and is then found too small.
std::optional<StoredCompound> storedCompound(hid_t type, std::size_t referenceSize, int depth)
{
    const int members = H5Tget_nmembers(type);
    if (members < 1)
        return std::nullopt;
    StoredCompound stored;
    std::size_t moved = 0;
    for (int i = 0; i < members; ++i) {
        const Handle member(H5Tget_member_type(type, static_cast<unsigned>(i)), H5Tclose);
        const std::optional<std::size_t> size =
            member.get() < 0 ? std::nullopt : storedSize(member.get(), referenceSize, depth + 1);
        if (!size)
            return std::nullopt;
        stored.members.emplace_back(H5Tget_member_offset(type, static_cast<unsigned>(i)) - moved, *size);
        moved += H5Tget_size(member.get()) - *size;
    }
    stored.size = H5Tget_size(type) - moved;
    if (!membersDisjoint(stored.members, stored.size))
        return std::nullopt;
    return stored;
}

// Bytes one value of the type takes in the file; none when its parts do not fit.
std::optional<std::size_t> storedSize(hid_t type, std::size_t referenceSize, int depth)
{
    if (depth > maximumTypeDepth)
        return std::nullopt;
    switch (H5Tget_class(type)) {
    case H5T_STRING:
        return H5Tis_variable_str(type) > 0 ? referenceSize : H5Tget_size(type);
    case H5T_VLEN: {
        const Handle super(H5Tget_super(type), H5Tclose);
        if (super.get() < 0 || !storedSize(super.get(), referenceSize, depth + 1))
            return std::nullopt;
        return referenceSize;
    }
    case H5T_ARRAY:
        return storedArraySize(type, referenceSize, depth);
    case H5T_COMPOUND: {
        const std::optional<StoredCompound> stored = storedCompound(type, referenceSize, depth);
        return stored ? std::optional<std::size_t>(stored->size) : std::nullopt;
    }
    case H5T_ENUM: {
        const Handle super(H5Tget_super(type), H5Tclose);
        const std::size_t size = H5Tget_size(type);
        if (super.get() < 0 || storedSize(super.get(), referenceSize, depth + 1) != size)
            return std::nullopt;
        return size;
    }
    default:
        return H5Tget_size(type);
    }
}

// What the checks of an attribute's bytes need to know of the source file.
struct SourceFile
{
    // Bytes of a heap reference in the file: a sequence length, the address
    // of the heap collection and an index in it.
    std::size_t referenceSize = 0;
    hsize_t size = 0;
};

SourceFile sourceFile(hid_t location)
{
    const Handle file(H5Iget_file_id(location), H5Fclose);
    const Handle creation(file.get() < 0 ? -1 : H5Fget_create_plist(file.get()), H5Pclose);
    std::size_t addressSize = 0;
    SourceFile source;
    if (creation.get() < 0 || H5Pget_sizes(creation.get(), &addressSize, nullptr) < 0
        || H5Fget_filesize(file.get(), &source.size) < 0)
        throw H5::FileIException("copyRootAttributes", "the source file cannot be inquired");
    source.referenceSize = 4 + addressSize + 4;
    return source;
}

// The library converts the stored bytes trusting that they hold what type
// and extent say; when they hold less, it reads (and the copy would write)
// memory that never came from the file.
void checkStoredBytes(hid_t attribute, hid_t fileType, hssize_t count, const SourceFile& source)
{
    const std::optional<std::size_t> element = storedSize(fileType, source.referenceSize, 0);
    if (!element)
        throw H5::AttributeIException("copyRootAttributes", "its data type is damaged");
    const std::optional<std::size_t> needed = productWithin(static_cast<std::size_t>(count), *element);
    if (!needed || H5Aget_storage_size(attribute) != *needed)
        throw H5::AttributeIException("copyRootAttributes", "its stored size does not match its type");
}

// Whether the type has parts of variable length: sequences or strings.
bool hasVariableLengthParts(hid_t type, int depth)
{
    if (depth > maximumTypeDepth)
        return false;
    switch (H5Tget_class(type)) {
    case H5T_STRING:
        return H5Tis_variable_str(type) > 0;
    case H5T_VLEN:
        return true;
    case H5T_ARRAY: {
        const Handle super(H5Tget_super(type), H5Tclose);
        return super.get() >= 0 && hasVariableLengthParts(super.get(), depth + 1);
    }
    case H5T_COMPOUND:
        for (int i = 0; i < H5Tget_nmembers(type); ++i) {
            const Handle member(H5Tget_member_type(type, static_cast<unsigned>(i)), H5Tclose);
            if (member.get() >= 0 && hasVariableLengthParts(member.get(), depth + 1))
                return true;
        }
        return false;
    default:
        return false;
    }
}

// The opaque type that receives an attribute's bytes as stored, and the
// name of the conversion that hands them out unchanged.
constexpr const char* storedBytesTag = "Tessary: attribute bytes as stored";
constexpr const char* storedBytesConversionName = "Tessary: keep stored bytes";

bool isStoredBytesType(hid_t type)
{
    if (H5Tget_class(type) != H5T_OPAQUE)
        return false;
    char* tag = H5Tget_tag(type);
    const bool tagged = tag && std::strcmp(tag, storedBytesTag) == 0;
    H5free_memory(tag);
    return tagged;
}

// A conversion from a stored type into the opaque type above of the same
// size: the bytes stay as they are (the library converts in place). It
// declines every other pair of types, so that no conversion of anyone else
// is ever handed to it.
herr_t keepStoredBytes(hid_t source, hid_t destination, H5T_cdata_t* data, std::size_t, std::size_t, std::size_t,
                       void*, void*, hid_t)
{
    if (data->command != H5T_CONV_INIT)
        return 0;
    data->need_bkg = H5T_BKG_NO;
    return isStoredBytesType(destination) && H5Tget_size(source) == H5Tget_size(destination) ? 0 : -1;
}

// Registers keepStoredBytes for stored values of the class of `type` while it
// lives. The registration is process-wide; the caller's HDF5 lock keeps every
// other call into the library out until it is removed again.
class StoredBytesConversion
{
public:
    StoredBytesConversion(hid_t type, hid_t storedBytesType)
    {
        if (H5Tregister(H5T_PERS_SOFT, storedBytesConversionName, type, storedBytesType, keepStoredBytes) < 0)
            throw H5::DataTypeIException("copyRootAttributes", "its stored bytes cannot be inspected");
    }
    ~StoredBytesConversion()
    {
        H5Tunregister(H5T_PERS_SOFT, storedBytesConversionName, H5I_INVALID_HID, H5I_INVALID_HID, keepStoredBytes);
    }
    StoredBytesConversion(const StoredBytesConversion&) = delete;
    StoredBytesConversion& operator=(const StoredBytesConversion&) = delete;
};

// The attribute's `count` values as the file stores them, `elementSize` bytes each.
std::vector<unsigned char> storedBytes(hid_t attribute, hid_t fileType, std::size_t count, std::size_t elementSize)
{
    const Handle type(checked(H5Tcreate(H5T_OPAQUE, elementSize), "its stored bytes cannot be inspected"), H5Tclose);
    if (H5Tset_tag(type.get(), storedBytesTag) < 0)
        throw H5::AttributeIException("copyRootAttributes", "its stored bytes cannot be inspected");
    const StoredBytesConversion conversion(fileType, type.get());
    std::vector<unsigned char> bytes(count * elementSize);
    if (H5Aread(attribute, type.get(), bytes.data()) < 0)
        throw H5::AttributeIException("copyRootAttributes", "its value cannot be read");
    return bytes;
}

std::uint32_t storedLength(const unsigned char* reference)
{
    return std::uint32_t(reference[0]) | std::uint32_t(reference[1]) << 8 | std::uint32_t(reference[2]) << 16
        | std::uint32_t(reference[3]) << 24;
}

// Takes the bytes a variable-length part claims from what is left of the
// file's size for the attribute; false when they are not there.
bool claimWithin(std::optional<std::size_t> bytes, std::size_t& left)
{
    if (!bytes || *bytes > left)
        return false;
    left -= *bytes;
    return true;
}

// Whether the variable-length parts of one stored value claim no more than
// `left` of the file's bytes, which they then take from it: a string its
// characters, a sequence its elements at their stored size. Each part is
// stored as a heap reference that starts with its length.
bool storedLengthsWithin(hid_t type, const unsigned char* stored, const SourceFile& source, std::size_t& left,
                         int depth)
{
    if (depth > maximumTypeDepth)
        return false;
    switch (H5Tget_class(type)) {
    case H5T_STRING:
        return H5Tis_variable_str(type) <= 0 || claimWithin(storedLength(stored), left);
    case H5T_VLEN: {
        const Handle super(H5Tget_super(type), H5Tclose);
        const std::optional<std::size_t> element =
            super.get() < 0 ? std::nullopt : storedSize(super.get(), source.referenceSize, depth + 1);
        return claimWithin(element ? productWithin(storedLength(stored), *element) : std::nullopt, left);
    }
    case H5T_ARRAY: {
        const Handle super(H5Tget_super(type), H5Tclose);
        const std::size_t element =
            super.get() < 0 ? 0 : storedSize(super.get(), source.referenceSize, depth + 1).value_or(0);
        const std::size_t whole = storedSize(type, source.referenceSize, depth).value_or(0);
        if (element == 0)
            return false;
        for (std::size_t at = 0; at + element <= whole; at += element) {
            if (!storedLengthsWithin(super.get(), stored + at, source, left, depth + 1))
                return false;
        }
        return true;
    }
    case H5T_COMPOUND: {
        const std::optional<StoredCompound> compound = storedCompound(type, source.referenceSize, depth);
        if (!compound)
            return false;
        for (std::size_t i = 0; i < compound->members.size(); ++i) {
            const Handle member(H5Tget_member_type(type, static_cast<unsigned>(i)), H5Tclose);
            if (member.get() < 0
                || !storedLengthsWithin(member.get(), stored + compound->members[i].first, source, left, depth + 1))
                return false;
        }
        return true;
    }
    default:
        return true;
    }
}

// Reading a value, the library takes the length of each variable-length
// part from its stored heap reference and allocates and zero-fills that
// much before it looks at what the heap holds: four damaged bytes can claim
// gigabytes, and many parts together as much. So the stored references are
// looked at before the value is read, and all the parts of the attribute
// together may claim no more than the file holds. Called after
// checkStoredBytes.
void checkStoredLengths(hid_t attribute, hid_t fileType, std::size_t count, const SourceFile& source)
{
    if (!hasVariableLengthParts(fileType, 0))
        return;
    const std::size_t element = storedSize(fileType, source.referenceSize, 0).value_or(0);
    if (element == 0)
        throw H5::AttributeIException("copyRootAttributes", "its data type is damaged");
    const std::vector<unsigned char> stored = storedBytes(attribute, fileType, count, element);
    std::size_t left = static_cast<std::size_t>(source.size);
    for (std::size_t i = 0; i < count; ++i) {
        if (!storedLengthsWithin(fileType, stored.data() + i * element, source, left, 0))
            throw H5::AttributeIException("copyRootAttributes",
                                          "its variable-length data claims more than the file holds");
    }
}

bool sequencesWithin(hid_t memoryType, const unsigned char* value, hsize_t limit, int depth);

// The parts of `count` values in memory laid out by `type` one after the other.
bool allSequencesWithin(hid_t type, const unsigned char* values, std::size_t count, hsize_t limit, int depth)
{
    if (H5Tdetect_class(type, H5T_VLEN) <= 0)
        return true;
    const std::size_t size = H5Tget_size(type);
    for (std::size_t i = 0; i < count; ++i) {
        if (!sequencesWithin(type, values + i * size, limit, depth))
            return false;
    }
    return true;
}

// Whether no variable-length sequence of a value read has more elements than
// `limit`. The library takes a sequence's length from the stored heap
// reference and fills what the heap object does not hold with zeros. The
// lengths stored in the attribute itself were checked before the read; those
// of sequences inside sequences lie in the heap, where only the read finds
// them, so a damaged one is refused here, after the library has allocated
// what it claims, and the copy does not write it.
bool sequencesWithin(hid_t memoryType, const unsigned char* value, hsize_t limit, int depth)
{
    if (depth > maximumTypeDepth)
        return false;
    switch (H5Tget_class(memoryType)) {
    case H5T_VLEN: {
        const Handle super(H5Tget_super(memoryType), H5Tclose);
        hvl_t sequence;
        std::memcpy(&sequence, value, sizeof sequence);
        return super.get() >= 0 && sequence.len <= limit
            && allSequencesWithin(super.get(), static_cast<const unsigned char*>(sequence.p), sequence.len, limit,
                                  depth + 1);
    }
    case H5T_ARRAY: {
        const Handle super(H5Tget_super(memoryType), H5Tclose);
        const std::size_t superSize = super.get() < 0 ? 0 : H5Tget_size(super.get());
        return superSize > 0
            && allSequencesWithin(super.get(), value, H5Tget_size(memoryType) / superSize, limit, depth + 1);
    }
    case H5T_COMPOUND:
        for (int i = 0; i < H5Tget_nmembers(memoryType); ++i) {
            const Handle member(H5Tget_member_type(memoryType, static_cast<unsigned>(i)), H5Tclose);
            if (member.get() < 0
                || !allSequencesWithin(member.get(), value + H5Tget_member_offset(memoryType, static_cast<unsigned>(i)),
                                       1, limit, depth + 1))
                return false;
        }
        return true;
    default:
        return true; // strings are written up to their end, whatever length was stored
    }
}

// Creates the attribute `name` on the target's root group with the value,
// when there is one, once a trial has shown that the library stores it
// cleanly. One whose value still cannot be written (the target's disk
// failing) is deleted again.
void writeAttribute(hid_t toRoot, AttributeTrialFile& trial, const std::string& name, hid_t fileType, hid_t space,
                    hid_t memoryType, const AttributeValue* value)
{
    // A transient copy: a type committed in the source file cannot be named in the target.
    const Handle targetType(checked(H5Tcopy(fileType), "its type cannot be copied"), H5Tclose);
    const void* data = value ? value->data() : nullptr;
    if (!trial.storesCleanly(name, targetType.get(), space, memoryType, data))
        throw H5::AttributeIException("copyRootAttributes", "its value cannot be written");
    if (createAttributeWithValue(toRoot, name, targetType.get(), space, memoryType, data))
        return;
    if (H5Adelete(toRoot, name.c_str()) < 0)
        throw H5::AttributeIException("copyRootAttributes",
                                      "its value cannot be written, and it stays in the file without one");
    throw H5::AttributeIException("copyRootAttributes", "its value cannot be written");
}

void copyAttribute(hid_t fromRoot, hid_t toRoot, AttributeTrialFile& trial, const std::string& name,
                   const SourceFile& source, std::set<std::string>& copied)
{
    const Handle attribute(checked(H5Aopen(fromRoot, name.c_str(), H5P_DEFAULT), "it cannot be opened"), H5Aclose);
    const Handle space(checked(H5Aget_space(attribute.get()), "its extent cannot be read"), H5Sclose);
    const H5S_class_t extent = H5Sget_simple_extent_type(space.get());
    const hssize_t count = H5Sget_simple_extent_npoints(space.get());
    if (extent == H5S_NO_CLASS || count < 0)
        throw H5::AttributeIException("copyRootAttributes", "its extent cannot be read");
    const Handle fileType(checked(H5Aget_type(attribute.get()), "its type cannot be read"), H5Tclose);
    if (H5Tdetect_class(fileType.get(), H5T_REFERENCE) > 0)
        throw H5::AttributeIException("copyRootAttributes", "it refers to objects of the source file");
    if (!typeWritable(fileType.get(), 0))
        throw H5::AttributeIException("copyRootAttributes", "its data type is damaged");
    checkStoredBytes(attribute.get(), fileType.get(), count, source);
    // A null extent or one of no elements holds no value, but the attribute
    // still says something (a field left empty): it is created with the same
    // extent, a null one staying null and an empty one keeping its rank.
    const bool holdsValues = extent != H5S_NULL && count > 0;
    if (holdsValues)
        checkStoredLengths(attribute.get(), fileType.get(), static_cast<std::size_t>(count), source);
    const Handle memoryType(checked(H5Tget_native_type(fileType.get(), H5T_DIR_ASCEND), "its type has no memory form"),
                            H5Tclose);
    const std::size_t elementSize = H5Tget_size(memoryType.get());
    if (elementSize == 0 || static_cast<std::size_t>(count) > std::numeric_limits<std::size_t>::max() / elementSize)
        throw std::bad_alloc();
    std::unique_ptr<AttributeValue> value;
    if (holdsValues)
        value = std::make_unique<AttributeValue>(attribute.get(), memoryType.get(), space.get(),
                                                 static_cast<std::size_t>(count) * elementSize);
    if (value && !allSequencesWithin(memoryType.get(), value->data(), static_cast<std::size_t>(count), source.size, 0))
        throw H5::AttributeIException("copyRootAttributes", "its variable-length data claims more than the file holds");
    writeAttribute(toRoot, trial, name, fileType.get(), space.get(), memoryType.get(), value.get());
    copied.insert(name);
}

herr_t collectName(hid_t, const char* name, const H5A_info_t*, void* data)
{
    try {
        static_cast<std::vector<std::string>*>(data)->emplace_back(name);
        return 0;
    } catch (...) {
        return -1; // nothing may leave through the library's walk
    }
}

// Attributes copied between two progress reports.
constexpr std::size_t attributesPerReport = 64;

} // namespace

bool copyRootAttributes(hid_t from, hid_t to, std::set<std::string>& copied, std::vector<std::string>& failed,
                        const AttributeCopyProgress& progress)
{
    const Handle fromRoot(H5Gopen2(from, "/", H5P_DEFAULT), H5Gclose);
    const Handle toRoot(H5Gopen2(to, "/", H5P_DEFAULT), H5Gclose);
    if (fromRoot.get() < 0 || toRoot.get() < 0)
        throw H5::GroupIException("copyRootAttributes", "the root group cannot be opened");
    const SourceFile source = sourceFile(from);
    AttributeTrialFile trial(toRoot.get());
    // The names first, so that no library walk is open while the progress lets the GUI run.
    std::vector<std::string> names;
    hsize_t position = 0;
    if (H5Aiterate2(fromRoot.get(), H5_INDEX_NAME, H5_ITER_INC, &position, collectName, &names) < 0)
        throw H5::GroupIException("copyRootAttributes", "the attributes cannot be listed");
    for (std::size_t i = 0; i < names.size(); ++i) {
        try {
            copyAttribute(fromRoot.get(), toRoot.get(), trial, names[i], source, copied);
        } catch (...) {
            reportHdf5Failure("Warning: failed to write attribute '" + names[i] + "': ");
            failed.push_back(names[i]);
        }
        const bool reportNow = (i + 1) % attributesPerReport == 0 || i + 1 == names.size();
        if (progress && reportNow && !progress(double(i + 1) / double(names.size())))
            return false;
    }
    return true;
}

} // namespace Tessary
