#pragma once

#include <H5Ipublic.h>

#include <functional>
#include <set>
#include <string>
#include <vector>

namespace Tessary {

// Called now and then with the share of the copy done (0 to 1); false stops the copy.
using AttributeCopyProgress = std::function<bool(double done)>;

// Copies every attribute of the root group of the file `from` to the root
// group of the file `to`, as stored: same name, data type, shape and value,
// in ascending name order; one without a value keeps its null or empty
// extent. An attribute that cannot be copied, among them references (which
// point into the source file), one whose stored data type is damaged (fields
// that do not fit its size or compound members that overlap, which the
// library would convert out of bounds, or string characters of more than
// one byte), one whose stored bytes are not what its type and extent need (a
// damaged dimension or size), one with a variable-length sequence or string
// longer than the whole file (a damaged length, which the library would
// allocate and fill with zeros; the lengths the attribute stores are checked
// before its value is read) and one that the library cannot store again
// (each is tried in a file in memory first), gives
// "Warning: failed to write attribute '<name>': <detail>", its name is
// appended to `failed`, and the copy goes on: nothing that was not read from
// the file is written, and no attribute is left in `to` that could keep a
// reader from listing the others. The names written are added to `copied`.
// False when `progress` stopped the copy. Throws H5::Exception when a root
// group cannot be opened or walked. Caller holds the HDF5 lock.
bool copyRootAttributes(hid_t from, hid_t to, std::set<std::string>& copied, std::vector<std::string>& failed,
                        const AttributeCopyProgress& progress = {});

} // namespace Tessary
