#include "app/eventaviwriter.h"

#include "app/avistructure.h"
#include "exporttesting.h"
#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>
#include <numeric>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#ifndef _WIN32
#include <csignal>
#include <sys/resource.h>
#endif

using namespace Tessary;
using Fixtures::RtdcFileBuilder;
using Testing::folderEntries;
using Testing::openedEntry;

namespace {

constexpr int frameHeight = 8;
constexpr int frameWidth = 12;

struct Video {
    int frames = 0;
    int fourcc = 0;
    std::vector<cv::Mat> images;
};

Video readVideo(const std::string& path)
{
    Video video;
    cv::VideoCapture capture(path);
    EXPECT_TRUE(capture.isOpened()) << path;
    video.fourcc = static_cast<int>(capture.get(cv::CAP_PROP_FOURCC));
    for (cv::Mat frame; capture.read(frame);) {
        video.images.push_back(frame.clone());
        ++video.frames;
    }
    return video;
}

// The grey level of a decoded frame's centre (MJPEG gives it back only roughly).
int centreGrey(const cv::Mat& frame)
{
    const cv::Vec3b pixel = frame.at<cv::Vec3b>(frameHeight / 2, frameWidth / 2);
    return (pixel[0] + pixel[1] + pixel[2] + 1) / 3;
}

constexpr int greyTolerance = 6;

class EventAviWriterTest : public ::testing::Test
{
protected:
    // n uniform frames of grey level levels[i]; optionally a "frame" column
    // and images whose stored bytes are damaged.
    DatasetEntry entryWithImages(const std::vector<uint8_t>& levels, const std::vector<uint32_t>& cameraFrames = {},
                                 std::size_t imageCount = std::size_t(-1),
                                 const std::vector<std::size_t>& damagedImages = {})
    {
        const std::size_t n = std::min(levels.size(), imageCount);
        std::vector<uint8_t> frames;
        for (std::size_t i = 0; i < n; ++i)
            frames.insert(frames.end(), frameHeight * frameWidth, levels[i]);
        RtdcFileBuilder b;
        b.feature("deform", std::vector<float>(levels.size(), 0.1f));
        // Compressed chunks of one frame each, so that one image can be damaged alone.
        const Fixtures::Storage storage = damagedImages.empty() ? Fixtures::Storage{} : Fixtures::Storage{1, 4};
        if (n > 0)
            b.image(frames, n, frameHeight, frameWidth, storage);
        if (!cameraFrames.empty())
            b.feature("frame", cameraFrames);
        // A new file each time: an earlier entry may still hold its file open.
        const std::string path = dir.file("m" + std::to_string(++sources) + ".rtdc");
        b.write(path);
        for (std::size_t image : damagedImages)
            Fixtures::damageEventChunk(path, "image", image);
        return openedEntry(path, "Sample A");
    }

    // An image stack whose frames have no rows, so no frame size can be had.
    DatasetEntry entryWithoutFrameShape()
    {
        RtdcFileBuilder b;
        b.feature("deform", std::vector<float>{0.1f, 0.2f})
            .dataset("/events/image", std::vector<uint8_t>{}, {2, 0, std::size_t(frameWidth)});
        b.write(dir.file("shapeless.rtdc"));
        return openedEntry(dir.file("shapeless.rtdc"), "Sample A");
    }

    Fixtures::TempDir dir;
    int sources = 0;
};

} // namespace

TEST_F(EventAviWriterTest, OneFramePerKeptImageWithTheChosenCodec)
{
    const DatasetEntry entry = entryWithImages({10, 60, 110, 160, 210});
    ASSERT_TRUE(writeEventAvi(entry, dir.file("mjpeg.avi"), {0, 2, 4}, true, false, false).isEmpty());
    const Video mjpeg = readVideo(dir.file("mjpeg.avi"));
    EXPECT_EQ(mjpeg.frames, 3);
    EXPECT_EQ(mjpeg.fourcc, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    ASSERT_EQ(mjpeg.images.size(), 3u);
    EXPECT_EQ(mjpeg.images[0].cols, frameWidth);
    EXPECT_EQ(mjpeg.images[0].rows, frameHeight);
    EXPECT_NEAR(centreGrey(mjpeg.images[1]), 110, greyTolerance);

    ASSERT_TRUE(writeEventAvi(entry, dir.file("raw.avi"), {4, 3}, false, false, false).isEmpty());
    const Video raw = readVideo(dir.file("raw.avi"));
    EXPECT_EQ(raw.frames, 2);
    EXPECT_NE(raw.fourcc, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'));
    ASSERT_EQ(raw.images.size(), 2u);
    EXPECT_NEAR(centreGrey(raw.images[0]), 210, greyTolerance);
    EXPECT_NEAR(centreGrey(raw.images[1]), 160, greyTolerance);
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"m1.rtdc", "mjpeg.avi", "raw.avi"}));
}

TEST_F(EventAviWriterTest, SkippingKeepsTheFirstEventOfEachCameraFrame)
{
    DatasetEntry entry = entryWithImages({10, 60, 110}, {7, 7, 8});
    ASSERT_TRUE(writeEventAvi(entry, dir.file("skip.avi"), {0, 1, 2}, false, true, false).isEmpty());
    Video video = readVideo(dir.file("skip.avi"));
    ASSERT_EQ(video.frames, 2);
    EXPECT_NEAR(centreGrey(video.images[0]), 10, greyTolerance);
    EXPECT_NEAR(centreGrey(video.images[1]), 110, greyTolerance);

    entry = entryWithImages({10, 60, 110});
    ASSERT_TRUE(writeEventAvi(entry, dir.file("noframe.avi"), {0, 1, 2}, false, true, false).isEmpty());
    EXPECT_EQ(readVideo(dir.file("noframe.avi")).frames, 3);
}

TEST_F(EventAviWriterTest, ReanalysisLeadsWithOneHundredAverageFrames)
{
    const DatasetEntry entry = entryWithImages({10, 100, 250, 200});
    ASSERT_TRUE(writeEventAvi(entry, dir.file("re.avi"), {0, 1, 2}, false, false, true).isEmpty());
    const Video video = readVideo(dir.file("re.avi"));
    ASSERT_EQ(video.frames, 103);
    EXPECT_NEAR(centreGrey(video.images[0]), 120, greyTolerance); // (10 + 100 + 250) / 3
    for (int i = 1; i < 100; ++i)
        EXPECT_EQ(cv::norm(video.images[i], video.images[0], cv::NORM_INF), 0.0) << i;
    EXPECT_NEAR(centreGrey(video.images[100]), 10, greyTolerance);
    EXPECT_NEAR(centreGrey(video.images[102]), 250, greyTolerance);
}

TEST_F(EventAviWriterTest, RawFramesHoldTheSourcePixelsExactly)
{
    // An odd width, so the file pads every row; each pixel of each image differs.
    constexpr int width = 251;
    constexpr int height = 80;
    constexpr std::size_t events = 6;
    const auto level = [](std::size_t event, int y, int x) { return uint8_t(x * 7 + y * 13 + int(event) * 41); };
    std::vector<uint8_t> pixels;
    for (std::size_t event = 0; event < events; ++event)
        for (int y = 0; y < height; ++y)
            for (int x = 0; x < width; ++x)
                pixels.push_back(level(event, y, x));
    RtdcFileBuilder b;
    b.image(pixels, events, height, width).feature("frame", std::vector<uint32_t>{1, 2, 2, 3, 4, 4});
    b.write(dir.file("wide.rtdc"));
    const DatasetEntry entry = openedEntry(dir.file("wide.rtdc"), "Sample A");
    const auto source = [&](std::size_t event) {
        cv::Mat colour;
        cv::cvtColor(cv::Mat(height, width, CV_8UC1, &pixels[event * width * height]), colour, cv::COLOR_GRAY2BGR);
        return colour;
    };
    const auto same = [](const cv::Mat& a, const cv::Mat& b) {
        return a.size() == b.size() && a.type() == b.type() && cv::norm(a, b, cv::NORM_INF) == 0.0;
    };

    // The average of all kept events leads; events 1 and 5 repeat the camera frames of 2 and 4.
    const std::vector<int> kept{4, 0, 2, 1, 5};
    ASSERT_TRUE(writeEventAvi(entry, dir.file("raw.avi"), kept, false, true, true).isEmpty());
    const Video video = readVideo(dir.file("raw.avi"));
    ASSERT_EQ(video.frames, 100 + 3);
    cv::Mat sum = cv::Mat::zeros(height, width, CV_64FC3);
    for (int event : kept)
        cv::add(sum, source(event), sum, cv::noArray(), CV_64FC3);
    cv::Mat average;
    sum.convertTo(average, CV_8UC3, 1.0 / kept.size());
    EXPECT_TRUE(same(video.images[0], average));
    EXPECT_TRUE(same(video.images[99], average));
    EXPECT_TRUE(same(video.images[100], source(4)));
    EXPECT_TRUE(same(video.images[101], source(0)));
    EXPECT_TRUE(same(video.images[102], source(2)));
}

TEST_F(EventAviWriterTest, EventsWithoutImagesKeepABlankFrameAndAreNamed)
{
    // Images for the first two events only: the third kept event has none.
    // It keeps its place, so frame k stays kept event k, and the file is no
    // plain success.
    const DatasetEntry entry = entryWithImages({10, 60, 110}, {}, 2);
    for (const bool mjpeg : {false, true}) {
        const std::string path = dir.file(mjpeg ? "gap-mjpeg.avi" : "gap.avi");
        const ExportMessage message = writeEventAvi(entry, path, {0, 2, 1}, mjpeg, false, true);
        EXPECT_EQ(message.severity, ExportMessage::Warning);
        EXPECT_EQ(message.title, "Export");
        EXPECT_EQ(message.text.toStdString(), "Exported to " + path + ", but these could not be copied from the "
                                              "source and are missing:\nimage of event 2 (a blank frame in its place)");
        const Video video = readVideo(path);
        ASSERT_EQ(video.frames, 103);
        EXPECT_NEAR(centreGrey(video.images[0]), 35, greyTolerance);   // the average of the images there are
        EXPECT_NEAR(centreGrey(video.images[100]), 10, greyTolerance);
        EXPECT_NEAR(centreGrey(video.images[101]), 0, greyTolerance);
        EXPECT_NEAR(centreGrey(video.images[102]), 60, greyTolerance);
    }
}

TEST_F(EventAviWriterTest, DamagedFirstImageKeepsABlankFrameAndTheVideoItsSize)
{
    // The frame size comes from the image stack: the damaged first image
    // costs its own frame only, in every way of writing the video.
    const DatasetEntry entry = entryWithImages({10, 60, 110, 160}, {7, 7, 8, 9}, std::size_t(-1), {0});
    const std::vector<int> all{0, 1, 2, 3};
    for (const bool mjpeg : {false, true}) {
        struct Case {
            bool skip;
            bool reanalysis;
            std::vector<int> levels;   // of the frames after the average ones; -1 for blank
        };
        // Skipping drops event 1, whose camera frame the damaged event 0 already has.
        for (const Case& c : {Case{false, false, {-1, 60, 110, 160}}, Case{true, false, {-1, 110, 160}},
                              Case{false, true, {-1, 60, 110, 160}}}) {
            const std::string path = dir.file("first" + std::to_string(mjpeg) + std::to_string(c.skip)
                                              + std::to_string(c.reanalysis) + ".avi");
            const ExportMessage message = writeEventAvi(entry, path, all, mjpeg, c.skip, c.reanalysis);
            EXPECT_EQ(message.text.toStdString(), "Exported to " + path + ", but these could not be copied from the "
                                                  "source and are missing:\nimage of event 0 (a blank frame in its place)");
            const int leading = c.reanalysis ? 100 : 0;
            const int frames = leading + int(c.levels.size());
            EXPECT_TRUE(aviStructureComplete(path, frames)) << path;
            const Video video = readVideo(path);
            ASSERT_EQ(video.frames, frames) << path;
            EXPECT_EQ(video.images[0].size(), cv::Size(frameWidth, frameHeight)) << path;
            if (c.reanalysis) {
                EXPECT_NEAR(centreGrey(video.images[0]), 110, greyTolerance) << path; // (60 + 110 + 160) / 3
            }
            for (std::size_t k = 0; k < c.levels.size(); ++k)
                EXPECT_NEAR(centreGrey(video.images[leading + k]), std::max(c.levels[k], 0), greyTolerance) << path;
        }
    }
}

// ---- nothing to write, and failures --------------------------------------------

TEST_F(EventAviWriterTest, NothingToWriteGivesAWarningAndNoFile)
{
    struct Case {
        DatasetEntry entry;
        std::vector<int> kept;
        QString text;
    };
    const std::vector<Case> cases{
        {entryWithImages({10, 20}, {}, 0), {0}, "No images available in: Sample A"},
        {DatasetEntry{}, {0}, "No images available in: "},
        {entryWithImages({10, 20}), {}, "No events to export for: Sample A"},
        {entryWithoutFrameShape(), {0}, "Failed to read image dimensions."},
    };
    for (const Case& c : cases) {
        const ExportMessage message = writeEventAvi(c.entry, dir.file("out.avi"), c.kept, true, false, false);
        EXPECT_EQ(message.severity, ExportMessage::Warning) << c.text.toStdString();
        EXPECT_EQ(message.title, "Export");
        EXPECT_EQ(message.text, c.text);
    }
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"m1.rtdc", "m2.rtdc", "shapeless.rtdc"}));
}

TEST_F(EventAviWriterTest, VideoThatCannotBeCreatedGivesCriticalMessage)
{
    const DatasetEntry entry = entryWithImages({10, 20});
    for (bool mjpeg : {true, false}) {
        const std::string path = dir.file("missing/out.avi");
        const ExportMessage message = writeEventAvi(entry, path, {0, 1}, mjpeg, false, false);
        EXPECT_EQ(message.severity, ExportMessage::Critical);
        EXPECT_EQ(message.title, "Export Error");
        EXPECT_EQ(message.text, QString::fromStdString("Failed to create video file: " + path
                                                       + "\nNo such file or directory"));
    }
}

TEST_F(EventAviWriterTest, ExistingTargetIsReplacedOnlyByACompleteVideo)
{
    const DatasetEntry entry = entryWithImages({10, 20});
    const std::string path = dir.file("out.avi");
    Fixtures::writeNotHdf5(path);
    const std::size_t before = Fixtures::fileSize(path);
    // Nothing to write: the old file stays.
    EXPECT_FALSE(writeEventAvi(entry, path, {}, true, false, false).isEmpty());
    EXPECT_EQ(Fixtures::fileSize(path), before);
    ASSERT_TRUE(writeEventAvi(entry, path, {0, 1}, true, false, false).isEmpty());
    EXPECT_EQ(readVideo(path).frames, 2);

    // A target that cannot be replaced stays as it was; no temporary video remains.
    const std::string blocked = dir.file("blocked.avi");
    std::filesystem::create_directory(blocked);
    Fixtures::writeNotHdf5(blocked + "/keep.txt");
    EXPECT_EQ(writeEventAvi(entry, blocked, {0}, true, false, false).severity, ExportMessage::Critical);
    EXPECT_EQ(folderEntries(blocked), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(folderEntries(dir.path()), (std::vector<std::string>{"blocked.avi", "m1.rtdc", "out.avi"}));

#ifndef _WIN32
    // A full disk: in a child process no file may grow beyond a limit, so the
    // back end's writes fail silently: at 16 kB halfway through a longer
    // video, one byte short of its whole size within its index. The child
    // checks that this is reported and that the cut video replaced nothing
    // and stayed nowhere. It starts afresh (the test's threads do not pass a
    // fork), so it checks its own files.
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    const DatasetEntry longer = entryWithImages(std::vector<uint8_t>(300, 90));
    std::vector<int> all(300);
    std::iota(all.begin(), all.end(), 0);
    const std::string complete = Testing::fileText(path);
    const auto writeOnFullDisk = [&](bool mjpeg, rlim_t bytes, const std::vector<std::string>& files) {
        const rlimit limit{bytes, bytes};
        setrlimit(RLIMIT_FSIZE, &limit);
        std::signal(SIGXFSZ, SIG_IGN);   // a write beyond the limit fails instead of ending the process
        const ExportMessage message = writeEventAvi(longer, path, all, mjpeg, false, false);
        // The step and the system's reason, which the video back end does not pass on.
        const bool reported = message.severity == ExportMessage::Critical
                              && message.text == QString::fromStdString("Failed to write: " + path + "\nFile too large");
        const bool intact = Testing::fileText(path) == complete && folderEntries(dir.path()) == files;
        std::_Exit(reported ? (intact ? 0 : 2) : 1);
    };
    for (bool mjpeg : {true, false}) {
        const std::string probe = dir.file("probe.avi");
        ASSERT_TRUE(writeEventAvi(longer, probe, all, mjpeg, false, false).isEmpty());
        const rlim_t whole = Fixtures::fileSize(probe);
        std::filesystem::remove(probe);
        const std::vector<std::string> files = folderEntries(dir.path());
        for (rlim_t bytes : {rlim_t(16384), whole - 1})
            EXPECT_EXIT(writeOnFullDisk(mjpeg, bytes, files), ::testing::ExitedWithCode(0), "")
                << (mjpeg ? "MJPEG" : "raw") << " cut at " << bytes << " of " << whole;
    }
#endif
}

TEST_F(EventAviWriterTest, NonAsciiPathWorks)
{
    const DatasetEntry entry = entryWithImages({10, 20});
    const std::string folder = dir.file("Videos \xc3\xa4\xce\xbc");
    std::filesystem::create_directory(std::filesystem::u8path(folder));
    const std::string path = folder + "/RYXexport_Probe \xe2\x82\xac.avi";
    ASSERT_TRUE(writeEventAvi(entry, path, {0, 1}, true, false, false).isEmpty());
    EXPECT_EQ(readVideo(path).frames, 2);
}
