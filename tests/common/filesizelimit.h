#pragma once
// Full-disk conditions for the tests of writers (POSIX only).

#ifdef __unix__
#include <csignal>
#include <sys/resource.h>

namespace Tessary::Testing {

// While it lives, files cannot grow beyond the given size: writes fail as on a
// full disk (with the signal the kernel sends for it ignored).
class FileSizeLimit
{
public:
    explicit FileSizeLimit(rlim_t bytes)
    {
        previousHandler = std::signal(SIGXFSZ, SIG_IGN);
        getrlimit(RLIMIT_FSIZE, &previous);
        rlimit limited = previous;
        limited.rlim_cur = bytes;
        setrlimit(RLIMIT_FSIZE, &limited);
    }
    ~FileSizeLimit()
    {
        setrlimit(RLIMIT_FSIZE, &previous);
        std::signal(SIGXFSZ, previousHandler);
    }
    FileSizeLimit(const FileSizeLimit&) = delete;
    FileSizeLimit& operator=(const FileSizeLimit&) = delete;

private:
    rlimit previous{};
    void (*previousHandler)(int) = nullptr;
};

} // namespace Tessary::Testing
#endif
