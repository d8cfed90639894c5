#include "app/platform.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <csignal>

#ifdef _WIN32
#include <windows.h>
#include <shellapi.h>
#elif defined(__APPLE__)
#include <mach-o/dyld.h>
#endif

namespace Tessary {

namespace {

QString executablePathFromSystem()
{
#ifdef _WIN32
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        const DWORD n = GetModuleFileNameW(nullptr, buffer.data(), DWORD(buffer.size()));
        if (n == 0)
            return {};
        if (n < buffer.size())
            return QString::fromWCharArray(buffer.data(), int(n));
        buffer.resize(buffer.size() * 2);
    }
#elif defined(__APPLE__)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::string buffer(size, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) != 0)
        return {};
    return QString::fromUtf8(buffer.c_str());
#else
    // Linux and the BSDs with a Linux-compatible /proc.
    return QFileInfo(QStringLiteral("/proc/self/exe")).canonicalFilePath();
#endif
}

} // namespace

QString executableDirectory()
{
    if (QCoreApplication::instance())
        return QCoreApplication::applicationDirPath();
    const QString exe = executablePathFromSystem();
    if (exe.isEmpty())
        return QDir::currentPath();
    return QFileInfo(exe).absolutePath();
}

std::vector<std::string> processArguments(int argc, char** argv)
{
    std::vector<std::string> result;
#ifdef _WIN32
    int wideCount = 0;
    LPWSTR* wide = CommandLineToArgvW(GetCommandLineW(), &wideCount);
    if (wide) {
        for (int i = 0; i < wideCount; ++i) {
            const int bytes = WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, nullptr, 0, nullptr, nullptr);
            std::string utf8(bytes > 0 ? size_t(bytes) : 1, '\0');
            if (bytes > 0)
                WideCharToMultiByte(CP_UTF8, 0, wide[i], -1, utf8.data(), bytes, nullptr, nullptr);
            utf8.resize(std::char_traits<char>::length(utf8.c_str()));
            result.push_back(std::move(utf8));
        }
        LocalFree(wide);
        return result;
    }
#endif
    for (int i = 0; i < argc; ++i)
        result.emplace_back(argv[i] ? argv[i] : "");
    return result;
}

void failWritesPastFileSizeLimit()
{
#ifdef SIGXFSZ   // Windows has no such limit
    std::signal(SIGXFSZ, SIG_IGN);
#endif
}

ArgumentStore::ArgumentStore(std::vector<std::string> args)
    : strings(std::move(args))
{
    pointers.reserve(strings.size() + 1);
    for (std::string& s : strings)
        pointers.push_back(s.data());
    pointers.push_back(nullptr);
    count = int(strings.size());
}

} // namespace Tessary
