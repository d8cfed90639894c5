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

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#else
#include <fcntl.h>
#include <sys/stat.h>
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

// Whether the system follows the symbolic link at path when a path names
// it: in a folder that everyone may write and where only owners may remove
// entries (a shared temporary folder), only a link of this user's or of the
// folder's owner's. Another user could otherwise plant a link under the
// name a save goes to and have it replace any file this user may write.
bool systemFollows(const fs::path& link)
{
#ifdef _WIN32
    static_cast<void>(link);
    return true;
#else
    const fs::path folder = link.has_parent_path() ? link.parent_path() : fs::path(".");
    struct stat linkInfo = {}, folderInfo = {};
    if (::lstat(link.c_str(), &linkInfo) != 0 || ::stat(folder.c_str(), &folderInfo) != 0)
        return true;   // gone meanwhile: the writer's open says what is there now
    const bool shared = (folderInfo.st_mode & S_ISVTX) && (folderInfo.st_mode & S_IWOTH);
    return !shared || linkInfo.st_uid == ::geteuid() || linkInfo.st_uid == folderInfo.st_uid;
#endif
}

// How a path's chain of symbolic links ends.
enum class LinkChain { Ends, Endless, Refused };

// Follows path to the file that a save over it replaces: path itself, or the
// end of its chain of symbolic links (which need not exist yet); a relative
// link is read from the link's folder. Endless for a chain that never ends;
// Refused, with path at the link, for a link the system would not follow.
LinkChain followLinks(fs::path& path)
{
    // As many links as the system follows in one path before it gives up.
    constexpr int maxLinks = 40;
    for (int followed = 0; followed <= maxLinks; ++followed) {
        std::error_code code;
        if (!fs::is_symlink(fs::symlink_status(path, code)))
            return LinkChain::Ends;
        if (!systemFollows(path))
            return LinkChain::Refused;
        const fs::path next = fs::read_symlink(path, code);
        if (code)
            return LinkChain::Endless;
        path = next.is_absolute() ? next : path.parent_path() / next;
    }
    return LinkChain::Endless;
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

// Gives the written file at path the permission bits (where given) and makes
// its content and mode durable before it takes a name that the user relies
// on: a rename reaches the disk independently of the data, and a power loss
// in between would leave an empty file in place of the old one. 0 or the
// system's error. A file system without permission bits refuses the change,
// which loses nothing.
int syncFile(const fs::path& path, std::optional<fs::perms> bits)
{
#ifdef _WIN32
    std::error_code ignored;
    if (bits)
        fs::permissions(path, *bits, ignored);
    const int descriptor = ::_wopen(path.c_str(), _O_RDWR | _O_BINARY);
    if (descriptor < 0)
        return errno;
    const int error = ::_commit(descriptor) == 0 ? 0 : errno;
    ::_close(descriptor);
    return error;
#else
    // Opened while still readable by its owner: the bits may take that away.
    const int descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (descriptor < 0)
        return errno;
    if (bits)
        static_cast<void>(::fchmod(descriptor, static_cast<mode_t>(*bits)));
    const int error = ::fsync(descriptor) == 0 ? 0 : errno;
    ::close(descriptor);
    return error;
#endif
}

// Makes a rename in the folder durable. The file is in place already, so a
// folder that cannot be synced (some file systems refuse) changes nothing.
void syncFolder(const fs::path& folder)
{
#ifndef _WIN32
    const int descriptor = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (descriptor >= 0) {
        static_cast<void>(::fsync(descriptor));
        ::close(descriptor);
    }
#else
    static_cast<void>(folder);   // no folder can be opened for a sync here
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
    fs::path end = pathFromUtf8(targetPath);
    const LinkChain chain = followLinks(end);
    fs::path folder;
    switch (chain) {
    case LinkChain::Ends:
        folder = end.parent_path();
        replaced = utf8FromPath(end);
        break;
    case LinkChain::Endless:
        // The name lies below the link, so that the writer's open fails
        // with the system's reason, as a plain open would.
        folder = pathFromUtf8(targetPath);
        replaced = target;
        break;
    case LinkChain::Refused:
        // Written beside the name the user gave, where nothing goes through
        // the link, and refused at the commit.
        folder = pathFromUtf8(targetPath).parent_path();
        replaced = target;
        refusal = "it leads through a link that another user made in a shared folder, which the system does not follow";
        break;
    }
    if (folder.empty())
        folder = ".";
    std::error_code ignored;
    const bool replacing = chain == LinkChain::Ends && fs::exists(end, ignored);
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
    const auto fail = [this, &error](const std::string& reason) {
        error = reason;
        discard();
        return false;
    };
    if (!refusal.empty())
        return fail(refusal);
    std::error_code code;
    const fs::path replacedPath = pathFromUtf8(replaced);
    const fs::file_status old = fs::status(replacedPath, code);
    std::optional<fs::perms> bits;
    if (!code && fs::is_regular_file(old)) {
        // A file the user made read-only is not replaced behind their back.
        if (!writable(replacedPath, old))
            return fail("the existing file is read-only");
        // The replaced file's permission bits, as an editor's save keeps them.
        bits = old.permissions() & fs::perms::all;
    }
    if (const int syncError = syncFile(pathFromUtf8(tempPath), bits); syncError != 0)
        return fail("the written file did not reach the disk: " + systemErrorText(syncError));
    std::error_code renameError;
    fs::rename(pathFromUtf8(tempPath), replacedPath, renameError);
    if (renameError)
        return fail(renameError.message());
    done = true;
    syncFolder(replacedPath.parent_path());
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
        return fail({FileFailure::Replace, reason});
    return true;
}

} // namespace Tessary
