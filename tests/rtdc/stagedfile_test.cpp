#include "rtdc/stagedfile.h"

#include "common/filesizelimit.h"
#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#ifdef __unix__
#include <sys/stat.h>

using namespace Tessary;
namespace fs = std::filesystem;

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
#endif
