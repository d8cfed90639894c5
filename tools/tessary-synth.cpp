// tessary-synth: writes a synthetic measurement of the instrument, so that the
// program can be tried without a real one.
//
// The file is written under a temporary name beside the target and renamed
// at the end: a failed or interrupted run leaves nothing at the target path.
#include "fixtures/rtdcfixture.h"

#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <iostream>
#include <string>
#include <unistd.h>

namespace {

const char* const usage =
    "Usage: tessary-synth <out.rtdc> [--events N] [--no-images] [--seed S]\n"
    "Writes a synthetic RT-DC measurement (default 10000 events with images,\n"
    "masks and fluorescence traces; --no-images leaves out images and masks).\n"
    "N is 1 to 1000000; S is a non-negative integer (default 42).\n"
    "Each event takes about 0.9 kB, and 11 kB more with images and masks.\n";

constexpr unsigned long long maxEvents = 1000000ULL;

// The temporary file, removed when the run is interrupted.
char partialPath[4096] = {};

extern "C" void removePartialAndExit(int signal)
{
    if (partialPath[0] != '\0')
        ::unlink(partialPath);
    ::_exit(128 + signal);
}

bool parseCount(const std::string& text, unsigned long long limit, unsigned long long& out)
{
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    errno = 0;
    char* end = nullptr;
    const unsigned long long value = std::strtoull(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || value > limit)
        return false;
    out = value;
    return true;
}

int fail(const std::string& message)
{
    std::cerr << "tessary-synth: " << message << "\n";
    return 1;
}

} // namespace

int main(int argc, char** argv)
{
    std::string target;
    unsigned long long events = 10000, seed = 42;
    bool images = true;
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "-h" || arg == "--help") {
            std::cout << usage;
            return 0;
        }
        if (arg == "--no-images") {
            images = false;
        } else if (arg == "--events" || arg == "--seed") {
            if (i + 1 >= argc) {
                std::cerr << "tessary-synth: " << arg << " needs a value\n" << usage;
                return 2;
            }
            const std::string value = argv[++i];
            const bool ok = arg == "--events" ? parseCount(value, maxEvents, events) && events > 0
                                              : parseCount(value, 0xffffffffULL, seed);
            if (!ok) {
                std::cerr << "tessary-synth: invalid value for " << arg << ": \"" << value << "\"\n" << usage;
                return 2;
            }
        } else if (!arg.empty() && arg[0] == '-') {
            std::cerr << "tessary-synth: unknown option \"" << arg << "\"\n" << usage;
            return 2;
        } else if (target.empty()) {
            target = arg;
        } else {
            std::cerr << "tessary-synth: more than one output file given\n" << usage;
            return 2;
        }
    }
    if (target.empty()) {
        std::cerr << usage;
        return 2;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(target, ec))
        return fail("cannot write " + target + ": it is a directory");
    const std::filesystem::path folder = std::filesystem::absolute(target, ec).parent_path();
    if (!std::filesystem::is_directory(folder, ec))
        return fail("cannot write " + target + ": the folder " + folder.string() + " does not exist");
    if (::access(folder.c_str(), W_OK) != 0)
        return fail("cannot write " + target + ": the folder " + folder.string() + " is not writable");

    Tessary::Fixtures::StandardOptions options;
    options.images = images;
    options.masks = images;
    options.traces = true;
    options.imageHeight = 64;
    options.imageWidth = 160;
    options.traceLength = 100;
    options.seed = static_cast<uint32_t>(seed);
    options.sample = "Synthetic blood cells";
    // Noisy frames hardly compress, so only the masks are gzipped.
    options.imageStorage = {100, 0};
    options.maskStorage = {100, 4};

    const std::string temporary = target + ".part-" + std::to_string(::getpid());
    if (temporary.size() >= sizeof partialPath)
        return fail("cannot write " + target + ": the path is too long");
    std::strcpy(partialPath, temporary.c_str());
    std::signal(SIGINT, removePartialAndExit);
    std::signal(SIGTERM, removePartialAndExit);
    try {
        Tessary::Fixtures::writeStandardMeasurement(temporary, static_cast<std::size_t>(events), options);
        std::filesystem::rename(temporary, target);
    } catch (const std::exception& e) {
        std::filesystem::remove(temporary, ec);
        return fail(e.what());
    }
    std::cout << "Wrote " << events << " events" << (images ? " with images, masks" : "")
              << (images ? " and" : " with") << " fluorescence traces to " << target << "\n";
    return 0;
}
