#include "app/eventaviwriter.h"

#include "app/datasetentry.h"
#include "rtdc/exportfile.h"
#include "rtdc/rtdcreader.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <unordered_set>

namespace Tessary {

namespace {

constexpr double framesPerSecond = 25.0;
constexpr int averageFrameCount = 100;

// One kept event's image; empty for a negative index or a missing image.
std::vector<std::uint8_t> readEventImage(const RTDCReader& reader, int index, int& width, int& height)
{
    width = height = 0;
    if (index < 0)
        return {};
    return reader.readImage(static_cast<std::size_t>(index), width, height);
}

// The camera frame number of an event, or false when the column has none for
// it (beyond its end, not a number, outside the 32-bit range).
bool cameraFrame(const std::vector<double>& column, int index, std::int32_t& frame)
{
    if (index < 0 || static_cast<std::size_t>(index) >= column.size())
        return false;
    const double value = std::trunc(column[static_cast<std::size_t>(index)]);
    if (!(value >= std::numeric_limits<std::int32_t>::min() && value <= std::numeric_limits<std::int32_t>::max()))
        return false;
    frame = static_cast<std::int32_t>(value);
    return true;
}

class VideoOutput
{
public:
    VideoOutput(cv::VideoWriter& video, int width, int height) : video(video), width(width), height(height) {}

    // Writes grey pixels of the frame size as one colour frame; other sizes are skipped.
    void writeGrey(const std::vector<std::uint8_t>& pixels, int pixelWidth, int pixelHeight)
    {
        if (pixels.empty() || pixelWidth != width || pixelHeight != height
            || pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
            return;
        const cv::Mat grey(height, width, CV_8UC1, const_cast<std::uint8_t*>(pixels.data()));
        writeGrey(grey);
    }

    void writeGrey(const cv::Mat& grey, int times = 1)
    {
        cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
        for (int i = 0; i < times; ++i)
            video.write(colour);
    }

private:
    cv::VideoWriter& video;
    int width;
    int height;
    cv::Mat colour;
};

// The mean of the kept images of the frame size, rounded and saturated to 8 bits.
cv::Mat averageImage(const RTDCReader& reader, const std::vector<int>& indices, int width, int height)
{
    cv::Mat sum = cv::Mat::zeros(height, width, CV_64FC1);
    cv::Mat image;
    int count = 0;
    for (const int index : indices) {
        int w = 0, h = 0;
        std::vector<std::uint8_t> pixels = readEventImage(reader, index, w, h);
        if (pixels.empty() || w != width || h != height)
            continue;
        cv::Mat(height, width, CV_8UC1, pixels.data()).convertTo(image, CV_64FC1);
        sum += image;
        ++count;
    }
    if (count >= 1)
        sum *= 1.0 / count;
    cv::Mat average;
    sum.convertTo(average, CV_8UC1);
    return average;
}

bool nonEmptyFile(const std::string& path)
{
    std::error_code code;
    const auto size = std::filesystem::file_size(std::filesystem::u8path(path), code);
    return !code && size > 0;
}

} // namespace

ExportMessage writeEventAvi(const DatasetEntry& entry, const std::string& path, const std::vector<int>& indices,
                            bool mjpeg, bool skipDuplicateFrames, bool forReanalysis)
{
    const QString exportTitle = QStringLiteral("Export");
    if (!entry.reader || !entry.reader->hasImage())
        return ExportMessage::warning(exportTitle, QStringLiteral("No images available in: %1").arg(entry.displayName));
    if (indices.empty())
        return ExportMessage::warning(exportTitle, QStringLiteral("No events to export for: %1").arg(entry.displayName));
    const RTDCReader& reader = *entry.reader;

    int width = 0;
    int height = 0;
    std::vector<std::uint8_t> first = readEventImage(reader, indices.front(), width, height);
    if (first.empty() || width < 1 || height < 1)
        return ExportMessage::warning(exportTitle, QStringLiteral("Failed to read image dimensions."));

    const ExportMessage failed = ExportMessage::critical(
        QStringLiteral("Export Error"), QStringLiteral("Failed to create video file: %1").arg(QString::fromStdString(path)));
    // The temporary name ends in ".avi": the video back end picks its container by it.
    StagedFile staged(path, ".avi");
    try {
        cv::VideoWriter video;
        // A codec this machine's back ends lack leaves the writer closed.
        video.open(staged.path(), mjpeg ? cv::VideoWriter::fourcc('M', 'J', 'P', 'G') : 0, framesPerSecond,
                   cv::Size(width, height), true);
        if (!video.isOpened())
            return failed;
        VideoOutput output(video, width, height);

        if (forReanalysis)
            output.writeGrey(averageImage(reader, indices, width, height), averageFrameCount);

        const std::vector<double>* frameColumn = skipDuplicateFrames ? &reader.readFeature("frame") : nullptr;
        std::unordered_set<std::int32_t> framesSeen;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            std::int32_t frame = 0;
            if (frameColumn && cameraFrame(*frameColumn, indices[k], frame) && !framesSeen.insert(frame).second)
                continue;
            if (k == 0) {
                output.writeGrey(first, width, height);
                first = {};
                continue;
            }
            int w = 0, h = 0;
            const std::vector<std::uint8_t> pixels = readEventImage(reader, indices[k], w, h);
            output.writeGrey(pixels, w, h);
        }
        video.release();
    } catch (const cv::Exception&) {
        return failed;
    }
    std::string error;
    if (!nonEmptyFile(staged.path()) || !staged.commit(error))
        return failed;
    return {};
}

} // namespace Tessary
