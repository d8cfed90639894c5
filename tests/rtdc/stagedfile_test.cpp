#include "rtdc/stagedfile.h"

#include "common/filesizelimit.h"
#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <functional>
#include <fstream>
#include <iterator>

#ifdef __unix__
#include <mutex>
#include <set>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

using namespace Tessary;
namespace fs = std::filesystem;

namespace {

// What this process synced: each file's inode with the name it had then.
struct SyncedFile
{
    ino_t inode;
    std::string name;
};
std::mutex syncedMutex;
std::vector<SyncedFile> synced;

} // namespace

// Stands in for the system's fsync in this test program, to see what a save
// syncs and under which name.
extern "C" int fsync(int descriptor)
{
    struct stat info = {};
    char name[4096] = {};
    const std::string link = "/proc/self/fd/" + std::to_string(descriptor);
    if (::fstat(descriptor, &info) == 0 && ::readlink(link.c_str(), name, sizeof name - 1) >= 0) {
        const std::lock_guard<std::mutex> lock(syncedMutex);
        synced.push_back({info.st_ino, name});
    }
    return static_cast<int>(::syscall(SYS_fsync, descriptor));
}

namespace {

class StagedFileTest : public ::testing::Test
{
protected:
    std::string read(const std::string& name) const
    {
        std::ifstream in(dir.file(name), std::ios::binary);
        return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    }
    void write(const std::string& name, const std::string& text) const
    {
        std::ofstream(dir.file(name), std::ios::binary) << text;
    }
    // Every name in the folder, hidden ones too (a temporary file left behind).
    std::size_t entries(const std::string& folder = {}) const
    {
        const auto all = fs::directory_iterator(folder.empty() ? dir.path() : dir.file(folder));
        return std::size_t(std::distance(begin(all), end(all)));
    }

    Fixtures::TempDir dir;
};

} // namespace

TEST_F(StagedFileTest, LinksLeadToTheFileTheyNameEvenWhenItIsNew)
{
    fs::create_directory(dir.file("data"));
    fs::create_symlink("data/new.txt", dir.file("link"));   // relative, and nothing there yet
    ASSERT_TRUE(replaceFileContent(dir.file("link"), "new"));
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(read("data/new.txt"), "new");
    // A new file takes the system's default mode; only a replaced file's bits carry over.
    const mode_t mask = umask(0);
    umask(mask);
    EXPECT_EQ(fs::status(dir.file("data/new.txt")).permissions() & fs::perms::all, fs::perms(0666 & ~mask));

    // Links that never end are refused as a plain open refuses them, and stay as they were.
    fs::create_symlink(dir.file("b"), dir.file("a"));
    fs::create_symlink(dir.file("a"), dir.file("b"));
    FileFailure failure;
    EXPECT_FALSE(replaceFileContent(dir.file("a"), "x", &failure));
    EXPECT_EQ(failure.step, FileFailure::Create);
    EXPECT_EQ(failure.reason, "Too many levels of symbolic links");
    EXPECT_TRUE(fs::is_symlink(dir.file("a")) && fs::is_symlink(dir.file("b")));
    EXPECT_EQ(entries(), 4u);
}

TEST_F(StagedFileTest, ContentReachesTheDiskBeforeItTakesTheName)
{
    // A rename reaches the disk independently of the data: unsynced, the
    // new file could be empty after a power loss, and the old one gone.
    write("old.txt", "old");
    synced.clear();
    ASSERT_TRUE(replaceFileContent(dir.file("old.txt"), "new"));
    const auto inode = [](const fs::path& path) {
        struct stat info = {};
        return ::stat(path.c_str(), &info) == 0 ? info.st_ino : ino_t(0);
    };
    const auto firstSync = [](const std::function<bool(const SyncedFile&)>& which) {
        return std::find_if(synced.begin(), synced.end(), which) - synced.begin();
    };
    // The file under its temporary name, then the folder that holds the rename.
    const auto file = firstSync([&](const SyncedFile& f) {
        return f.inode == inode(dir.file("old.txt")) && fs::path(f.name).filename().string().rfind(".tessary-", 0) == 0;
    });
    const auto folder = firstSync([&](const SyncedFile& f) { return f.inode == inode(dir.path()); });
    EXPECT_LT(file, folder);
    EXPECT_LT(folder, std::ptrdiff_t(synced.size()));
}

TEST_F(StagedFileTest, FailedWriteLeavesTheLinkedFileAsItWasAndNothingBeside)
{
    fs::create_directory(dir.file("data"));
    write("data/old.txt", "old");
    fs::permissions(dir.file("data/old.txt"), fs::perms::owner_read | fs::perms::owner_write);
    fs::create_symlink(dir.file("data/old.txt"), dir.file("link"));
    FileFailure failure;
    {
        const Testing::FileSizeLimit limit(16);
        EXPECT_FALSE(replaceFileContent(dir.file("link"), std::string(1000, 'x'), &failure));
    }
    EXPECT_EQ(failure.step, FileFailure::Write);
    EXPECT_EQ(failure.reason, "File too large");
    EXPECT_EQ(read("data/old.txt"), "old");
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(entries("data"), 1u);

    // A staged file lies beside the file it replaces (one file system for the
    // rename), as private as that file while it is written, and goes when given up.
    {
        StagedFile abandoned(dir.file("link"), ".part");
        EXPECT_EQ(fs::path(abandoned.path()).parent_path(), fs::path(dir.file("data")));
        EXPECT_EQ(fs::status(abandoned.path()).permissions() & fs::perms::all,
                  fs::perms::owner_read | fs::perms::owner_write);
        std::ofstream(abandoned.path()) << "half";
    }
    EXPECT_EQ(read("data/old.txt"), "old");
    EXPECT_EQ(entries("data"), 1u);
}

TEST_F(StagedFileTest, FilesThatAreNotOursToReplaceStayAsTheyWere)
{
    // Run as an unprivileged user where the tests run as root, who may write
    // any file: a file the user may not write is read-only to the save.
    fs::create_directory(dir.file("own"));
    write("own/locked.txt", "old");
    fs::permissions(dir.file("own/locked.txt"), fs::perms::owner_read | fs::perms::group_read);
    fs::permissions(dir.path(), fs::perms::others_exec, fs::perm_options::add);
    fs::permissions(dir.file("own"), fs::perms::all);
    constexpr uid_t nobody = 65534;
    if (::geteuid() == 0) {
        ASSERT_EQ(::chown(dir.file("own/locked.txt").c_str(), nobody, nobody), 0);
    }
    EXPECT_EXIT(
        {
            if (::geteuid() == 0 && (::setgid(nobody) != 0 || ::setuid(nobody) != 0))
                std::_Exit(2);
            FileFailure failure;
            const bool replaced = replaceFileContent(dir.file("own/locked.txt"), "new", &failure);
            std::_Exit(!replaced && failure.reason == "the existing file is read-only" ? 0 : 1);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(read("own/locked.txt"), "old");

    // A link another user made in a shared folder is not followed, as the
    // system would not follow it: the file it leads to stays as it was.
    if (::geteuid() != 0)
        GTEST_SKIP() << "a link of another user's takes root to make";
    fs::create_directory(dir.file("shared"));
    fs::permissions(dir.file("shared"), fs::perms::all | fs::perms::sticky_bit);
    write("victim.txt", "old");
    fs::create_symlink(dir.file("victim.txt"), dir.file("shared/save.txt"));
    ASSERT_EQ(::lchown(dir.file("shared/save.txt").c_str(), nobody, nobody), 0);
    FileFailure failure;
    EXPECT_FALSE(replaceFileContent(dir.file("shared/save.txt"), "new", &failure));
    EXPECT_EQ(failure.step, FileFailure::Replace);
    EXPECT_EQ(failure.reason,
              "it leads through a link that another user made in a shared folder, which the system does not follow");
    EXPECT_EQ(read("victim.txt"), "old");
    EXPECT_EQ(fs::read_symlink(dir.file("shared/save.txt")), fs::path(dir.file("victim.txt")));
    EXPECT_EQ(entries("shared"), 1u);
}
#endif
