#pragma once

#include "app/exportmessage.h"
#include "app/exportprogress.h"

#include <string>
#include <vector>

namespace Tessary {

struct DatasetEntry;

// Writes the kept events of a dataset as a tab-separated UTF-8 text table:
// comment lines with this export's record ("export:date", "export:event
// count", "export:changed sample name") and every other metadata attribute
// (the source's record of an earlier export is left out, as the .rtdc export
// replaces it), a header of feature labels, then one row per kept index (in
// the given order) with the features' values to 17 significant digits; a
// cell whose index lies beyond its column stays empty, and the message names
// that column. Names, labels and values keep to one line (oneLineText). path
// is UTF-8; the file is written beside it under a temporary name and
// replaces it only when complete, so a failure or a
// cancel (progress returns false) leaves an existing file intact. Reads every
// column once through the entry's reader (which takes the HDF5 lock).
// Returns the message to show; empty on success and after a cancel.
ExportMessage writeEventTsv(const DatasetEntry& entry, const std::string& path,
                            const std::vector<std::string>& features, const std::vector<int>& indices,
                            const ExportProgressReport& progress = {});

// True when the dataset's full name differs from the experiment's "sample"
// value (an absent key counts as empty): the export then records the full
// name as the changed sample name (a long name is only shown cut).
bool sampleNameChanged(const DatasetEntry& entry);

// The text with every CR, LF and TAB replaced by a blank: a name, label or
// metadata value from a file stays one cell of one line in the text tables
// we write (a line break would otherwise start a line without the comment
// mark, a tab would split a row).
std::string oneLineText(std::string text);

} // namespace Tessary
