#include "rtdc/checkedoutput.h"

#include <filesystem>
#include <locale>

namespace Tessary {

CheckedOutput::CheckedOutput(const std::string& path, std::ios::openmode mode)
{
    errno = 0;
    file.open(std::filesystem::u8path(path), mode | std::ios::out | std::ios::trunc);
    if (!file.is_open()) {
        fileFailure = {FileFailure::Create, systemErrorText(errno)};
        return;
    }
    file.imbue(std::locale::classic());
}

bool CheckedOutput::write(std::string_view bytes)
{
    if (good()) {
        errno = 0;
        file.write(bytes.data(), std::streamsize(bytes.size()));
        check();
    }
    return good();
}

bool CheckedOutput::seek(std::uint64_t offset)
{
    if (good()) {
        errno = 0;
        file.seekp(std::streamoff(offset));
        check();
    }
    return good();
}

std::uint64_t CheckedOutput::position()
{
    return good() ? std::uint64_t(file.tellp()) : 0;
}

bool CheckedOutput::close()
{
    if (!isOpen())
        return false;
    if (!good()) {
        file.close();
        return false;
    }
    // Closing writes out the buffer: the last bytes may be the ones that do not fit.
    errno = 0;
    file.close();
    check();
    return good();
}

void CheckedOutput::check()
{
    if (file || !good())
        return;
    fileFailure = {FileFailure::Write, systemErrorText(errno)};
}

} // namespace Tessary
