#include "app/eventtsvwriter.h"

#include "exporttesting.h"
#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::fileText;
using Testing::folderEntries;
using Testing::openedEntry;

namespace {

std::vector<std::string> lines(const std::string& text)
{
    std::vector<std::string> result;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        result.push_back(line);
    return result;
}

class EventTsvWriterTest : public ::testing::Test
{
protected:
    // A small file with a sample name, one more attribute and three columns.
    DatasetEntry smallEntry(const QString& displayName, const std::string& sample = "S1")
    {
        RtdcFileBuilder b;
        if (!sample.empty())
            b.attribute("experiment:sample", sample);
        b.attribute("setup:chip region", "channel")
            .feature("area_um", std::vector<double>{0.1, 2.0, -3.5e-7, 1e300})
            .feature("deform", std::vector<float>{0.25f, 0.5f, 0.75f, 1.0f})
            .feature("short", std::vector<double>{7.0, 8.0});
        b.write(dir.file("m.rtdc"));
        return openedEntry(dir.file("m.rtdc"), displayName);
    }

    Fixtures::TempDir dir;
};

} // namespace

TEST_F(EventTsvWriterTest, CommentsHeaderAndRowsInKeptOrder)
{
    const DatasetEntry entry = smallEntry("S1");
    const std::string path = dir.file("out.tsv");
    EXPECT_TRUE(writeEventTsv(entry, path, {"area_um", "deform"}, {0, 1, 3, 2}).isEmpty());

    const std::vector<std::string> text = lines(fileText(path));
    ASSERT_EQ(text.size(), 11u);
    EXPECT_EQ(text[0], "# Tessary TSV Export");
    EXPECT_TRUE(std::regex_match(text[1], std::regex(R"(# export:date = \d{4}-\d\d-\d\d)"))) << text[1];
    EXPECT_EQ(text[2], "# export:event count = 4");
    // The display name equals the sample: no changed-name line. Attributes in byte order.
    EXPECT_EQ(text[3], "# experiment:sample = S1");
    EXPECT_EQ(text[4], "# setup:chip region = channel");
    EXPECT_EQ(text[5], "#");
    EXPECT_EQ(text[6], entry.reader->featureLabel("area_um") + "\t" + entry.reader->featureLabel("deform"));
    EXPECT_EQ(text[7], "0.10000000000000001\t0.25");
    EXPECT_EQ(text[8], "2\t0.5");
    EXPECT_EQ(text[9], "1.0000000000000001e+300\t1");
    EXPECT_EQ(text[10], "-3.4999999999999998e-07\t0.75");
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"m.rtdc", "out.tsv"}));
}

TEST_F(EventTsvWriterTest, ShortColumnsAndEmptyFeatureListsLeaveEmptyCells)
{
    // A short column is no plain success: the message names it.
    const DatasetEntry entry = smallEntry("S1");
    const ExportMessage message = writeEventTsv(entry, dir.file("short.tsv"), {"short", "deform", "short"}, {1, 2});
    EXPECT_EQ(message.severity, ExportMessage::Warning);
    EXPECT_TRUE(message.text.endsWith(":\nfeature \"short\" (blank from event 2 on)")) << message.text.toStdString();
    std::vector<std::string> text = lines(fileText(dir.file("short.tsv")));
    ASSERT_EQ(text.size(), 9u);
    EXPECT_EQ(text[7], "8\t0.5\t8");
    EXPECT_EQ(text[8], "\t0.75\t");

    ASSERT_TRUE(writeEventTsv(entry, dir.file("none.tsv"), {}, {0, 1, 2}).isEmpty());
    text = lines(fileText(dir.file("none.tsv")));
    ASSERT_EQ(text.size(), 10u);
    EXPECT_EQ(text[5], "#");
    for (std::size_t i = 6; i < 10; ++i)
        EXPECT_EQ(text[i], "") << i;
}

TEST_F(EventTsvWriterTest, ChangedSampleNameFollowsTheDisplayName)
{
    struct Case {
        QString display;
        std::string sample;
        bool line;
    };
    for (const Case& c : {Case{"S1", "S1", false}, Case{"Renamed", "S1", true}, Case{"m.rtdc", "", true},
                          Case{"", "", false}}) {
        const DatasetEntry entry = smallEntry(c.display, c.sample);
        EXPECT_EQ(sampleNameChanged(entry), c.line) << c.display.toStdString();
        ASSERT_TRUE(writeEventTsv(entry, dir.file("out.tsv"), {"deform"}, {0}).isEmpty());
        const std::vector<std::string> text = lines(fileText(dir.file("out.tsv")));
        const std::string expected = "# export:changed sample name = " + c.display.toStdString();
        EXPECT_EQ(std::count(text.begin(), text.end(), expected), c.line ? 1 : 0) << c.display.toStdString();
    }

    // A file exported before: its record of that export is left out, whether
    // this export states a changed name or not; other records stay.
    RtdcFileBuilder b;
    b.attribute("experiment:sample", "S1")
        .attribute("export:date", "2001-02-03")
        .attribute("export:event count", "13")
        .attribute("export:changed sample name", "Old")
        .attribute("offline_filter:area_um min", "1.000000")
        .feature("deform", std::vector<float>{0.5f});
    b.write(dir.file("again.rtdc"));
    for (const char* name : {"New", "S1"}) {
        ASSERT_TRUE(writeEventTsv(openedEntry(dir.file("again.rtdc"), name), dir.file("again.tsv"), {}, {0}).isEmpty());
        const std::string text = fileText(dir.file("again.tsv"));
        for (const char* old : {"2001-02-03", "= 13\n", "= Old\n"})
            EXPECT_EQ(text.find(old), std::string::npos) << name << ": " << old;
        EXPECT_NE(text.find("# offline_filter:area_um min = 1.000000\n"), std::string::npos);
    }
}

TEST_F(EventTsvWriterTest, NonAsciiPathNameAndValuesStayUtf8)
{
    const std::string folder = dir.file("Ergebnisse \xc3\xa4\xce\xbc");
    std::filesystem::create_directory(std::filesystem::u8path(folder));
    RtdcFileBuilder b;
    b.attribute("experiment:sample", "Zelle \xce\xb1").feature("deform", std::vector<float>{0.5f});
    b.write(folder + "/Probe \xe2\x82\xac.rtdc");
    const DatasetEntry entry = openedEntry(folder + "/Probe \xe2\x82\xac.rtdc", QString::fromUtf8("Zelle \xce\xb2"));
    const std::string path = folder + "/RYXexport_Probe \xe2\x82\xac.tsv";
    ASSERT_TRUE(writeEventTsv(entry, path, {"deform"}, {0}).isEmpty());
    const std::string text = fileText(path);
    EXPECT_NE(text.find("# experiment:sample = Zelle \xce\xb1\n"), std::string::npos);
    EXPECT_NE(text.find("# export:changed sample name = Zelle \xce\xb2\n"), std::string::npos);
}

TEST_F(EventTsvWriterTest, TabsAndLineBreaksInNamesAndValuesBecomeBlanks)
{
    // A line break would start a line without "#" (read as the column header
    // by a reader that skips comments); a tab would split a cell.
    RtdcFileBuilder b;
    b.attribute("experiment:sample", "S1")
        .attribute("setup:note", "first\nsecond\r\nthird\tfourth")
        .attribute("setup:odd\tkey", "x")
        .feature("deform", std::vector<float>{0.5f})
        .feature("odd\nname", std::vector<double>{2.0});
    b.write(dir.file("m.rtdc"));
    const DatasetEntry entry = openedEntry(dir.file("m.rtdc"), "Line\none\ttwo");
    ASSERT_TRUE(writeEventTsv(entry, dir.file("out.tsv"), {"deform", "odd\nname"}, {0}).isEmpty());
    const std::vector<std::string> text = lines(fileText(dir.file("out.tsv")));
    ASSERT_EQ(text.size(), 10u);
    EXPECT_EQ(text[3], "# export:changed sample name = Line one two");
    EXPECT_EQ(text[5], "# setup:note = first second  third fourth");
    EXPECT_EQ(text[6], "# setup:odd key = x");
    EXPECT_EQ(text[8], entry.reader->featureLabel("deform") + "\todd name");
    EXPECT_EQ(text[9], "0.5\t2");
}

// ---- failures ----------------------------------------------------------------

TEST_F(EventTsvWriterTest, UnwritableFolderGivesCriticalMessage)
{
    const DatasetEntry entry = smallEntry("S1");
    const std::string path = dir.file("missing/out.tsv");
    const ExportMessage message = writeEventTsv(entry, path, {"deform"}, {0});
    EXPECT_EQ(message.severity, ExportMessage::Critical);
    EXPECT_EQ(message.title, "Export Error");
    EXPECT_EQ(message.text, QString::fromStdString("Failed to create: " + path + "\nNo such file or directory"));

    DatasetEntry readerless;
    EXPECT_EQ(writeEventTsv(readerless, dir.file("x.tsv"), {"deform"}, {0}).severity, ExportMessage::Critical);
    EXPECT_EQ(folderEntries(dir.path()), std::vector<std::string>{"m.rtdc"});
}

TEST_F(EventTsvWriterTest, ExistingTargetIsReplacedOnlyByACompleteFile)
{
    const DatasetEntry entry = smallEntry("S1");
    const std::string path = dir.file("out.tsv");
    Fixtures::writeNotHdf5(path);
    ASSERT_TRUE(writeEventTsv(entry, path, {"deform"}, {0, 1}).isEmpty());
    EXPECT_EQ(lines(fileText(path)).back(), "0.5");

    // A target that cannot be replaced (a folder with content) stays as it was,
    // and the finished temporary file does not stay behind.
    const std::string blocked = dir.file("blocked.tsv");
    std::filesystem::create_directory(blocked);
    Fixtures::writeNotHdf5(blocked + "/keep.txt");
    EXPECT_EQ(writeEventTsv(entry, blocked, {"deform"}, {0}).severity, ExportMessage::Critical);
    EXPECT_EQ(folderEntries(blocked), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"blocked.tsv", "m.rtdc", "out.tsv"}));
}
