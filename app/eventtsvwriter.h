#pragma once

#include "app/exportmessage.h"

#include <string>
#include <vector>

namespace Tessary {

struct DatasetEntry;

// Writes the kept events of a dataset as a tab-separated UTF-8 text table:
// comment lines with the export record and every metadata attribute, a header
// of feature labels, then one row per kept index (in the given order) with
// the features' values to 17 significant digits; a cell whose index lies
// beyond its column stays empty. path is UTF-8; the file is written beside
// it under a temporary name and replaces it only when complete, so a failure
// leaves an existing file intact. Reads every column once through the
// entry's reader (which takes the HDF5 lock). Returns the message to show; empty on success.
ExportMessage writeEventTsv(const DatasetEntry& entry, const std::string& path,
                            const std::vector<std::string>& features, const std::vector<int>& indices);

// True when the display name (as UTF-8) differs from the experiment's
// "sample" value (an absent key counts as empty): the export then records
// the display name as the changed sample name.
bool sampleNameChanged(const DatasetEntry& entry);

} // namespace Tessary
