#include "rtdc/metadatanumber.h"

#include <charconv>
#include <cmath>

namespace Tessary {

std::optional<double> metadataNumber(const std::map<std::string, std::string>& section, const std::string& key)
{
    const auto it = section.find(key);
    if (it == section.end())
        return std::nullopt;
    const std::string& text = it->second;
    std::size_t start = text.find_first_not_of(" \t\n\r\f\v");
    if (start == std::string::npos)
        return std::nullopt;
    // from_chars takes a sign only when it is a minus, and must not take one after a plus.
    if (text[start] == '+' && ++start < text.size() && text[start] == '-')
        return std::nullopt;
    double value = 0.0;
    const std::from_chars_result read = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (read.ec != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace Tessary
