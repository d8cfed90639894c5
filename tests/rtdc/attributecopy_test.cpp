#include "rtdc/attributecopy.h"

#include "fixtures/damagedattributes.h"
#include "fixtures/rtdcfixture.h"
#include "readertesting.h"
#include "rtdc/hdf5lock.h"

#include <H5Cpp.h>
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

using namespace Tessary;
using Fixtures::AttributeShape;
using Testing::StderrCapture;

namespace {

class AttributeCopyTest : public ::testing::Test
{
protected:
    static void SetUpTestSuite() { disableHdf5ErrorPrinting(); }

    // A measurement with the attributes of each shape twice: intact under
    // its name, and damaged under the name + " damaged".
    std::string sourceWith(const std::vector<std::pair<std::string, AttributeShape>>& shapes)
    {
        const std::string path = dir.file("source.rtdc");
        Fixtures::standardMeasurement(5).write(path);
        for (const auto& [name, shape] : shapes) {
            Fixtures::addShapedAttribute(path, name, shape);
            Fixtures::addShapedAttribute(path, name + " damaged", shape);
            Fixtures::damageAttribute(path, name + " damaged", shape);
        }
        return path;
    }

    // Copies the root attributes of source into the new file target, in the
    // format of an export (which holds attributes of any size).
    void copyInto(const std::string& source, const std::string& target)
    {
        Hdf5Lock lock;
        const H5::H5File from(source, H5F_ACC_RDONLY);
        H5::FileAccPropList access;
        access.setLibverBounds(H5F_LIBVER_V18, H5F_LIBVER_V18);
        const H5::H5File to(target, H5F_ACC_TRUNC, H5::FileCreatPropList::DEFAULT, access);
        copyRootAttributes(from.getId(), to.getId(), copied, failed);
    }

    // The same; the lines it printed.
    std::vector<std::string> copy(const std::string& source, const std::string& target)
    {
        StderrCapture err;
        copyInto(source, target);
        return err.lines();
    }

    // Bounds the address space of this process to what it maps now and
    // `more` bytes. Not under the address sanitizer, which maps terabytes of
    // shadow memory up front.
    static void limitAddressSpace(rlim_t more)
    {
#ifndef __SANITIZE_ADDRESS__
        std::ifstream statm("/proc/self/statm");
        rlim_t pages = 0;
        statm >> pages;
        const rlim_t bytes = pages * static_cast<rlim_t>(sysconf(_SC_PAGESIZE)) + more;
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_AS, &limit);
#else
        (void)more;
#endif
    }

    static std::set<std::string> rootAttributeNames(const std::string& path)
    {
        const H5::H5File file(path, H5F_ACC_RDONLY);
        const H5::Group root = file.openGroup("/");
        std::set<std::string> names;
        for (int i = 0; i < root.getNumAttrs(); ++i)
            names.insert(root.openAttribute(static_cast<unsigned>(i)).getName());
        return names;
    }

    Fixtures::TempDir dir;
    std::set<std::string> copied;
    std::vector<std::string> failed;
};

} // namespace

TEST_F(AttributeCopyTest, ArraysClaimingMoreEntriesThanStoredAreLeftOut)
{
    // Each damaged dimension claims more than the two (or six) entries stored:
    // reading it would take 267 MB of memory beyond the stored strings, 65 kB
    // beyond the floats, and heap references that were never stored.
    const std::string source = sourceWith({{"zz:floats", AttributeShape::FloatArray},
                                           {"zz:sequences", AttributeShape::SequenceArray},
                                           {"zz:strings", AttributeShape::StringArray}});
    const std::string target = dir.file("copy.rtdc");
    const std::vector<std::string> lines = copy(source, target);

    const std::vector<std::string> damaged{"zz:floats damaged", "zz:sequences damaged", "zz:strings damaged"};
    EXPECT_EQ(failed, damaged);
    std::vector<std::string> warnings;
    for (const std::string& name : damaged)
        warnings.push_back("Warning: failed to write attribute '" + name + "': its stored size does not match its type");
    EXPECT_EQ(lines, warnings);

    // Every other attribute is copied, the intact arrays with their values,
    // and nothing of the damaged ones reaches the file.
    std::set<std::string> expected = rootAttributeNames(source);
    for (const std::string& name : damaged)
        expected.erase(name);
    EXPECT_EQ(copied, expected);
    EXPECT_EQ(rootAttributeNames(target), expected);
    EXPECT_EQ(Fixtures::shapedAttributeText(target, "zz:floats", AttributeShape::FloatArray), "1 2 3 4 5 6");
    EXPECT_EQ(Fixtures::shapedAttributeText(target, "zz:sequences", AttributeShape::SequenceArray), "1 2 3|7 8");
    EXPECT_EQ(Fixtures::shapedAttributeText(target, "zz:strings", AttributeShape::StringArray), "first|second");
    EXPECT_LT(Fixtures::fileSize(target), 64u * 1024u);
}

TEST_F(AttributeCopyTest, TypesWhosePartsDoNotFitTheirSizesAreLeftOut)
{
    // The compound's size says 4 bytes, less than the heap reference of its
    // string member alone; laid out for memory it wraps around to nearly 2^64.
    // The strings' characters say 16 MB each, which the library would read
    // and write as zeros around every stored byte.
    const std::string source = sourceWith({{"zz:records", AttributeShape::Compound}});
    Fixtures::addShapedAttribute(source, "zz:strings", AttributeShape::StringArray);
    Fixtures::damageCharacterSize(source, "zz:strings");
    const std::string target = dir.file("copy.rtdc");
    const std::vector<std::string> lines = copy(source, target);

    const std::vector<std::string> damaged{"zz:records damaged", "zz:strings"};
    EXPECT_EQ(failed, damaged);
    std::vector<std::string> warnings;
    for (const std::string& name : damaged)
        warnings.push_back("Warning: failed to write attribute '" + name + "': its data type is damaged");
    EXPECT_EQ(lines, warnings);
    const std::set<std::string> written = rootAttributeNames(target);
    for (const std::string& name : damaged) {
        EXPECT_EQ(copied.count(name), 0u) << name;
        EXPECT_EQ(written.count(name), 0u) << name;
    }
    EXPECT_EQ(Fixtures::shapedAttributeText(target, "zz:records", AttributeShape::Compound),
              "1 1.5 x|2 2.5 yy|3 3.5 zzz");
    EXPECT_LT(Fixtures::fileSize(target), 64u * 1024u);
}

TEST_F(AttributeCopyTest, SequenceLongerThanTheFileIsLeftOut)
{
    // The first stored length says a million numbers where the heap holds
    // three: the library fills the rest with zeros, 4 MB that were never stored.
    const std::string source = dir.file("source.rtdc");
    Fixtures::standardMeasurement(5).write(source);
    Fixtures::addShapedAttribute(source, "zz:sequences", AttributeShape::SequenceArray);
    Fixtures::damageSequenceLengths(source, "zz:sequences", 1000000);
    const std::string target = dir.file("copy.rtdc");
    const std::vector<std::string> lines = copy(source, target);

    EXPECT_EQ(failed, std::vector<std::string>{"zz:sequences"});
    EXPECT_EQ(lines, std::vector<std::string>{"Warning: failed to write attribute 'zz:sequences': its variable-length "
                                              "data claims more than the file holds"});
    EXPECT_EQ(rootAttributeNames(target).count("zz:sequences"), 0u);
    EXPECT_LT(Fixtures::fileSize(target), 64u * 1024u);
}

TEST_F(AttributeCopyTest, TrialOfTheAttributesReadsNoFileWhereTheProgramRuns)
{
    // Each attribute is tried in a file held in memory. The library looks
    // for a file of the trial's name first, and read one it found whole.
    const std::string source = dir.file("source.rtdc");
    Fixtures::standardMeasurement(5).write(source);
    const std::filesystem::path workingFolder = std::filesystem::current_path();
    std::filesystem::current_path(dir.path());
    std::ofstream(dir.file("attribute trial"));
    std::filesystem::resize_file(dir.file("attribute trial"), std::uintmax_t(256) << 20);   // sparse
    const auto bytesRead = [] {
        std::ifstream io("/proc/self/io");
        std::string key;
        std::uintmax_t value = 0;
        while (io >> key >> value && key != "rchar:") {}
        return value;
    };
    const std::uintmax_t before = bytesRead();
    copy(source, dir.file("copy.rtdc"));
    const std::uintmax_t read = bytesRead() - before;
    std::filesystem::current_path(workingFolder);
    EXPECT_LT(read, std::uintmax_t(16) << 20);
    EXPECT_EQ(copied, rootAttributeNames(source));
}

TEST_F(AttributeCopyTest, HugeClaimedLengthsAreRefusedBeforeTheRead)
{
    // Four damaged bytes in a file of a few kB claim a billion numbers, or
    // four billion characters: reading either, the library would allocate
    // and zero-fill gigabytes. The copy runs in a child that cannot map a
    // gigabyte more, so only a refusal before the read gets through. Many
    // strings that each claim less than the file but together more would
    // cost as much: two stand for them.
    const std::string source = dir.file("source.rtdc");
    Fixtures::standardMeasurement(5).write(source);
    Fixtures::addShapedAttribute(source, "zz:sequences", AttributeShape::SequenceArray);
    Fixtures::damageSequenceLengths(source, "zz:sequences", 1000000000u);
    Fixtures::addShapedAttribute(source, "zz:strings", AttributeShape::StringArray);
    Fixtures::damageSequenceLengths(source, "zz:strings", 0xfffffff0u);
    Fixtures::addShapedAttribute(source, "zz:two strings", AttributeShape::StringArray);
    Fixtures::damageSequenceLengths(source, "zz:two strings", std::uint32_t(Fixtures::fileSize(source) * 3 / 4), 2);
    const std::string target = dir.file("copy.rtdc");
    EXPECT_EXIT(
        {
            limitAddressSpace(rlim_t(1) << 30);
            copyInto(source, target);
            H5close();
            std::_Exit(failed == std::vector<std::string>{"zz:sequences", "zz:strings", "zz:two strings"} ? 0 : 1);
        },
        ::testing::ExitedWithCode(0),
        "^Warning: failed to write attribute 'zz:sequences': its variable-length data claims more than the file "
        "holds\nWarning: failed to write attribute 'zz:strings': its variable-length data claims more than the "
        "file holds\nWarning: failed to write attribute 'zz:two strings': its variable-length data claims more "
        "than the file holds\n$");
    const std::set<std::string> written = rootAttributeNames(target);
    EXPECT_EQ(written.count("zz:sequences") + written.count("zz:strings") + written.count("zz:two strings"), 0u);
}
