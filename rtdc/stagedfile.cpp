#include "rtdc/stagedfile.h"

#include "rtdc/checkedoutput.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <optional>
#include <random>
#include <system_error>

#ifndef _WIN32
#include <fcntl.h>
#include <unistd.h>
#endif

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

// The file that a save over path replaces: path itself, or the end of its
// chain of symbolic links (which need not exist yet); a relative link is read
// from the link's folder. Nothing for a chain that never ends.
std::optional<fs::path> fileBehindLinks(fs::path path)
{
    // As many links as the system follows in one path before it gives up.
    constexpr int maxLinks = 40;
    for (int followed = 0; followed <= maxLinks; ++followed) {
        std::error_code code;
        if (!fs::is_symlink(fs::symlink_status(path, code)))
            return path;
        const fs::path next = fs::read_symlink(path, code);
        if (code)
            return std::nullopt;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return std::nullopt;
}

// Creates an empty file at path unless one of that name exists (EEXIST then);
// 0 or the system's error. A private file is readable by its owner alone, so
// the content of a private file being replaced is not open to others while
// it is written; any other takes the system's default for new files.
int createEmptyFile(const fs::path& path, bool privateFile)
{
#ifdef _WIN32
    // No owner-only mode here: the writer creates the file itself.
    static_cast<void>(privateFile);
    std::error_code ignored;
    return fs::exists(path, ignored) ? EEXIST : 0;
#else
    const int descriptor = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, privateFile ? 0600 : 0666);
    if (descriptor < 0)
        return errno;
    ::close(descriptor);
    return 0;
#endif
}

// Whether this process may write the existing file at path.
bool writable(const fs::path& path, const fs::file_status& status)
{
#ifdef _WIN32
    static_cast<void>(path);
    return (status.permissions() & fs::perms::owner_write) != fs::perms::none;
#else
    static_cast<void>(status);
    return ::access(path.c_str(), W_OK) == 0;
#endif
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
    const std::optional<fs::path> end = fileBehindLinks(pathFromUtf8(targetPath));
    // For links that never end the name lies below the link, so that the
    // writer's open fails with the system's reason, as a plain open would.
    fs::path folder = end ? end->parent_path() : pathFromUtf8(targetPath);
    replaced = end ? utf8FromPath(*end) : target;
    if (folder.empty())
        folder = ".";
    std::error_code ignored;
    const bool replacing = end && fs::exists(*end, ignored);
    for (;;) {
        const fs::path candidate = folder / pathFromUtf8(uniqueStem() + suffix);
        // Any other failure than a taken name is the writer's to report when it opens the file.
        if (createEmptyFile(candidate, replacing) != EEXIST) {
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
    const fs::file_status old = fs::status(pathFromUtf8(replaced), code);
    if (!code && fs::is_regular_file(old)) {
        // A file the user made read-only is not replaced behind their back.
        if (!writable(pathFromUtf8(replaced), old)) {
            error = "the existing file is read-only";
            discard();
            return false;
        }
        // The replaced file's permission bits, as an editor's save keeps them. A
        // file system without them refuses the change, which loses nothing.
        fs::permissions(pathFromUtf8(tempPath), old.permissions() & fs::perms::all, code);
    }
    code.clear();
    fs::rename(pathFromUtf8(tempPath), pathFromUtf8(replaced), code);
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

bool replaceFileContent(const std::string& path, std::string_view content, FileFailure* failure)
{
    const auto fail = [failure](const FileFailure& why) {
        if (failure)
            *failure = why;
        return false;
    };
    const std::string extension = utf8FromPath(pathFromUtf8(path).extension());
    StagedFile staged(path, extension.empty() ? ".part" : extension);
    CheckedOutput out(staged.path(), std::ios::binary);
    out.write(content);
    if (!out.close())
        return fail(out.failure());
    std::string reason;
    if (!staged.commit(reason))
        return fail({FileFailure::Rename, reason});
    return true;
}

} // namespace Tessary
