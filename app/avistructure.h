#pragma once

#include <string>

namespace Tessary {

// Whether the AVI file at path (UTF-8) is whole as its writer laid it out: the
// RIFF chunks ("AVI ", then any "AVIX") add up to exactly the file's size, the
// first one holds its "movi" list and an "idx1" index, and every index entry
// names a chunk of that name and size inside the list; a file of one RIFF
// chunk indexes exactly `frames` video frames. A write that failed near the
// end (a full disk) leaves a file shorter than its sizes say, or an index
// that points nowhere, although every frame before it still decodes.
bool aviStructureComplete(const std::string& path, int frames);

} // namespace Tessary
