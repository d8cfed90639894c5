#pragma once

#include <map>
#include <optional>
#include <string>

namespace Tessary {

// The number a metadata value begins with (after blanks; "23.5", "+0.04",
// "1e6 Hz"), or nothing when the key is missing or its text does not begin
// with a finite number. Independent of the C locale: the GUI runs in the
// user's, where a decimal comma would cut "0.04" to 0, while files always
// hold a decimal point.
std::optional<double> metadataNumber(const std::map<std::string, std::string>& section, const std::string& key);

} // namespace Tessary
