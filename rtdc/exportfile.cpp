#include "rtdc/exportfile.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <ctime>

namespace Tessary {

const char* const exportDateKey = "export:date";
const char* const exportEventCountKey = "export:event count";
const char* const exportChangedNameKey = "export:changed sample name";

bool isExportRecordKey(const std::string& name)
{
    return name == exportDateKey || name == exportEventCountKey || name == exportChangedNameKey;
}

std::string exportDateText()
{
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#ifdef _WIN32
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    char text[32];
    const std::size_t length = std::strftime(text, sizeof text, "%Y-%m-%d", &local);
    return std::string(text, length);
}

std::string formatFixedSix(double value)
{
    // Room for the largest double in fixed notation (309 digits) and six decimals.
    char text[400];
    const auto result = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, 6);
    return std::string(text, result.ptr);
}

namespace {

// Moves a fixed-notation text one unit of its last decimal away from zero.
void stepAwayFromZero(std::string& text)
{
    for (auto digit = text.rbegin(); digit != text.rend(); ++digit) {
        if (*digit == '.')
            continue;
        if (*digit == '-')
            break;
        if (*digit != '9') {
            ++*digit;
            return;
        }
        *digit = '0';
    }
    text.insert(text[0] == '-' ? 1 : 0, 1, '1'); // 9.999999 -> 10.000000
}

// Moves it one unit toward zero; the text is not zero.
void stepTowardZero(std::string& text)
{
    for (auto digit = text.rbegin(); digit != text.rend(); ++digit) {
        if (*digit == '.')
            continue;
        if (*digit != '0') {
            --*digit;
            break;
        }
        *digit = '9';
    }
    const std::size_t first = text[0] == '-' ? 1 : 0;
    if (text[first] == '0' && text[first + 1] != '.')
        text.erase(first, 1); // 10.000000 -> 09.999999 -> 9.999999
}

double parsed(const std::string& text)
{
    double value = 0.0;
    std::from_chars(text.data(), text.data() + text.size(), value);
    return value;
}

// The nearest six-decimal text, stepped once outward when it lies on the
// wrong side of value: the nearest text is within half a step, so one step
// always suffices, and readers turn the text back into the nearest double,
// which keeps the order.
std::string directedFixedSix(double value, bool atLeast)
{
    std::string text = formatFixedSix(value);
    if (!std::isfinite(value))
        return text;
    const double back = parsed(text);
    if (atLeast ? back < value : back > value) {
        const bool awayFromZero = (value < 0) != atLeast;
        awayFromZero ? stepAwayFromZero(text) : stepTowardZero(text);
    }
    if (text[0] == '-' && std::all_of(text.begin() + 1, text.end(), [](char c) { return c == '0' || c == '.'; }))
        text.erase(0, 1); // no "-0.000000"
    return text;
}

} // namespace

std::string formatFixedSixAtMost(double value)
{
    return directedFixedSix(value, false);
}

std::string formatFixedSixAtLeast(double value)
{
    return directedFixedSix(value, true);
}

} // namespace Tessary
