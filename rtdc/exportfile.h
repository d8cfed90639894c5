#pragma once

#include <string>

namespace Tessary {

// Today's local date as "%Y-%m-%d", the date that exports record.
std::string exportDateText();

// The record that every export states of itself. A source's copy of these
// keys describes an earlier export and is replaced, never repeated.
extern const char* const exportDateKey;
extern const char* const exportEventCountKey;
extern const char* const exportChangedNameKey;
bool isExportRecordKey(const std::string& name);

// printf's "%f" (six decimals, fixed notation) but independent of the C
// locale (the GUI runs in the user's), so a decimal comma never reaches a
// file or a metadata value.
std::string formatFixedSix(double value);
// The same text for a bound of a recorded range: the six-decimal number
// nearest to value on the side that keeps value inside the range, so that
// the text, read back, is at most value (a minimum) or at least value (a
// maximum). A value that six decimals already give (1.5, or 0.1 as read back)
// keeps its nearest text. Infinite and NaN values are written as by formatFixedSix.
std::string formatFixedSixAtMost(double value);
std::string formatFixedSixAtLeast(double value);

} // namespace Tessary
