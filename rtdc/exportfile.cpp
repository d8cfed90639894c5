#include "rtdc/exportfile.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <random>
#include <system_error>

namespace Tessary {

namespace fs = std::filesystem;

namespace {

fs::path pathFromUtf8(const std::string& text)
{
    return fs::u8path(text);
}

std::string utf8FromPath(const fs::path& path)
{
    return path.u8string();
}

// A name nobody else picks: a per-process random stem and a running number.
std::string uniqueStem()
{
    static const unsigned long long processStem = [] {
        std::random_device device;
        return (static_cast<unsigned long long>(device()) << 32) ^ device();
    }();
    static std::atomic<unsigned long long> counter{0};
    char text[64];
    std::snprintf(text, sizeof text, ".tessary-%016llx-%llu", processStem, counter.fetch_add(1));
    return text;
}

} // namespace

std::string systemErrorText(int error)
{
    if (error == 0)
        return "the system gave no reason";
    return std::generic_category().message(error);
}

std::string appendFailureReason(const std::string& path)
{
    // Larger than any buffer between us and the file, so the write reaches the system.
    const std::string block(std::size_t(1) << 20, '\0');
    errno = 0;
    std::ofstream out(pathFromUtf8(path), std::ios::binary | std::ios::app);
    if (out)
        out.write(block.data(), std::streamsize(block.size()));
    if (out)
        out.flush();
    const int error = errno;
    return out ? std::string() : error != 0 ? systemErrorText(error) : std::string();
}

StagedFile::StagedFile(const std::string& targetPath, const std::string& suffix)
    : target(targetPath)
{
    fs::path folder = pathFromUtf8(targetPath).parent_path();
    if (folder.empty())
        folder = ".";
    std::error_code ignored;
    for (;;) {
        const fs::path candidate = folder / pathFromUtf8(uniqueStem() + suffix);
        if (!fs::exists(candidate, ignored)) {
            tempPath = utf8FromPath(candidate);
            break;
        }
    }
}

StagedFile::~StagedFile()
{
    discard();
}

bool StagedFile::commit(std::string& error)
{
    if (done) {
        error = "the file was already finished";
        return false;
    }
    std::error_code code;
    fs::rename(pathFromUtf8(tempPath), pathFromUtf8(target), code);
    if (code) {
        error = code.message();
        discard();
        return false;
    }
    done = true;
    return true;
}

void StagedFile::discard()
{
    if (done)
        return;
    done = true;
    std::error_code ignored;
    fs::remove(pathFromUtf8(tempPath), ignored);
}

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
