#include "app/rawaviwriter.h"

#include "app/avistructure.h"
#include "exporttesting.h"
#include "fixtures/rtdcfixture.h"

#include <gtest/gtest.h>
#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

using namespace Tessary;

// Segments of 4 kB hold three frames of 13 x 40 (rows padded to 16 bytes)
// each, so this small video is cut into RIFF chunks as one beyond 1 GB is.
TEST(RawAviWriterTest, VideoSplitIntoRiffChunksReadsBackExactly)
{
    Fixtures::TempDir dir;
    const std::string path = dir.file("split.avi");
    constexpr int width = 13;
    constexpr int height = 40;
    constexpr int frames = 20;
    std::vector<cv::Mat> images;
    {
        RawAviWriter writer(path, width, height, 25, frames, 4096);
        ASSERT_TRUE(writer.isOpen());
        for (int f = 0; f < frames - 1; ++f) {
            cv::Mat image(height, width, CV_8UC1);
            cv::randu(image, 0, 256);
            images.push_back(image);
            ASSERT_TRUE(writer.writeGrey(image.data, image.step, f == 5 ? 2 : 1));
            if (f == 5)
                images.push_back(image);
        }
        EXPECT_FALSE(writer.writeGrey(images[0].data, images[0].step)) << "more frames than announced";
        EXPECT_FALSE(writer.close());
    }
    {
        RawAviWriter writer(path, width, height, 25, frames, 4096);
        for (const cv::Mat& image : images)
            ASSERT_TRUE(writer.writeGrey(image.data, image.step));
        ASSERT_TRUE(writer.close());
    }
    const std::string bytes = Testing::fileText(path);
    EXPECT_NE(bytes.find("AVIX"), std::string::npos);
    EXPECT_TRUE(aviStructureComplete(path, frames));

    cv::VideoCapture capture(path);
    ASSERT_TRUE(capture.isOpened());
    EXPECT_EQ(capture.get(cv::CAP_PROP_FRAME_COUNT), frames);
    int read = 0;
    for (cv::Mat frame, colour; capture.read(frame); ++read) {
        ASSERT_LT(read, frames);
        cv::cvtColor(images[read], colour, cv::COLOR_GRAY2BGR);
        EXPECT_EQ(cv::norm(frame, colour, cv::NORM_INF), 0.0) << read;
    }
    EXPECT_EQ(read, frames);
}
