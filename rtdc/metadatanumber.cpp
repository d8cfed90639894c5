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
    if (text[start] == '+')
        ++start; // from_chars takes a sign only when it is a minus
    double value = 0.0;
    const auto [end, error] = std::from_chars(text.data() + start, text.data() + text.size(), value);
    if (error != std::errc() || !std::isfinite(value))
        return std::nullopt;
    return value;
}

} // namespace Tessary
