#pragma once

// Texts from files and servers that the program shows. A file may hold a
// megabyte in one name and a server any amount of release notes; laying out
// such a line freezes a list or label for minutes or crashes the style's
// drawing, so what is shown is cut to a length a window can hold. The full
// text stays where it came from (the metadata view shows every attribute).

#include <QString>

namespace Tessary {

// Longest dataset name taken from a file (sample name, session entry).
constexpr int kMaxDisplayNameLength = 200;

// At most maximumLength characters: a longer text is cut and ends in an
// ellipsis, never inside a surrogate pair.
QString shortenedText(const QString& text, int maximumLength);

// A dataset name taken from a file, cut to kMaxDisplayNameLength.
QString displayNameFromFile(const QString& name);

struct DatasetEntry;

// Names a dataset: its full name is kept for the files it is written to,
// its display name is that name cut for showing.
void setDatasetName(DatasetEntry& entry, const QString& name);

} // namespace Tessary
