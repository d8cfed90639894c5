#pragma once

#include <H5Ipublic.h>

#include <set>
#include <string>

namespace Tessary {

// Copies every attribute of the root group of the file `from` to the root
// group of the file `to`, as stored: same name, data type, shape and value,
// in ascending name order. Attributes without a value (null or empty extent)
// and references (which point into the source file) are left out silently;
// an attribute that cannot be copied gives "Warning: failed to write
// attribute '<name>': <detail>" and the copy goes on. The names written are
// added to `copied`. Throws H5::Exception when a root group cannot be opened
// or walked. Caller holds the HDF5 lock.
void copyRootAttributes(hid_t from, hid_t to, std::set<std::string>& copied);

} // namespace Tessary
