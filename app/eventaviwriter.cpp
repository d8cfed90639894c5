#include "app/eventaviwriter.h"

#include "app/avistructure.h"
#include "app/datasetentry.h"
#include "app/rawaviwriter.h"
#include "rtdc/rtdcreader.h"
#include "rtdc/stagedfile.h"

#include <opencv2/core.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio.hpp>

#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
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

// Where the frames go: MJPEG through the video back end; uncompressed
// through our own writer, since the back end stores its uncompressed frames
// as 4:2:0 YUV with limited-range luma, which changes the grey levels.
class VideoOutput
{
public:
    VideoOutput(int width, int height) : width(width), height(height) {}

    // Opens the video at path for at most maxFrames frames; false, with the
    // reason in failure(), when it cannot be created.
    bool open(const std::string& path, bool mjpeg, std::uint32_t maxFrames)
    {
        if (!mjpeg) {
            raw = std::make_unique<RawAviWriter>(path, width, height, int(framesPerSecond), maxFrames);
            // Its headers may already fail to go out (a full disk): a failed write then.
            if (!raw->isOpen())
                openFailure = raw->failure().failed() ? raw->failure() : FileFailure{FileFailure::Create, {}};
            return raw->isOpen();
        }
        // A codec this machine's back ends lack leaves the writer closed.
        video.open(path, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), framesPerSecond, cv::Size(width, height), true);
        if (!video.isOpened())
            // The back end keeps the system's reason to itself: ask the system directly.
            openFailure = {FileFailure::Create, appendFailureReason(path)};
        return video.isOpened();
    }

    // Writes grey pixels of the frame size as one frame; false, writing
    // nothing, for pixels that are missing or of another size.
    bool writeGrey(const std::vector<std::uint8_t>& pixels, int pixelWidth, int pixelHeight)
    {
        if (pixels.empty() || pixelWidth != width || pixelHeight != height
            || pixels.size() != static_cast<std::size_t>(width) * static_cast<std::size_t>(height))
            return false;
        const cv::Mat grey(height, width, CV_8UC1, const_cast<std::uint8_t*>(pixels.data()));
        writeGrey(grey);
        return true;
    }

    void writeBlank()
    {
        if (blank.empty())
            blank = cv::Mat::zeros(height, width, CV_8UC1);
        writeGrey(blank);
    }

    void writeGrey(const cv::Mat& grey, int times = 1)
    {
        if (raw) {
            raw->writeGrey(grey.data, grey.step, times);
        } else {
            cv::cvtColor(grey, colour, cv::COLOR_GRAY2BGR);
            for (int i = 0; i < times; ++i)
                video.write(colour);
        }
        written += times;
    }

    // False when a write failed that the writer saw (the back end does not tell).
    bool close()
    {
        if (raw)
            return raw->close();
        video.release();
        return true;
    }

    int framesWritten() const { return written; }
    // Why open or close failed: the step and the system's reason.
    FileFailure failure() const { return raw && !openFailure.failed() ? raw->failure() : openFailure; }

private:
    int width;
    int height;
    cv::VideoWriter video;
    std::unique_ptr<RawAviWriter> raw;
    cv::Mat colour;
    cv::Mat blank;
    int written = 0;
    FileFailure openFailure;
};

// Calls the progress report with the share first + span * k / n; true when
// there is none.
bool reportShare(const ExportProgressReport& progress, double first, double span, std::size_t k, std::size_t n)
{
    return !progress || progress(first + span * double(k) / double(n));
}

// The mean of the kept images of the frame size, rounded and saturated to 8
// bits; reports progress over the given share. Empty when cancelled.
cv::Mat averageImage(const RTDCReader& reader, const std::vector<int>& indices, int width, int height,
                     const ExportProgressReport& progress, double share)
{
    cv::Mat sum = cv::Mat::zeros(height, width, CV_64FC1);
    cv::Mat image;
    int count = 0;
    for (std::size_t k = 0; k < indices.size(); ++k) {
        if (!reportShare(progress, 0.0, share, k, indices.size()))
            return {};
        const int index = indices[k];
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

// Why a video that is not whole could not be written: the back end does not
// pass the system's reason on, so the system is asked by one more write.
FileFailure incompleteVideoFailure(const std::string& path)
{
    std::string reason = appendFailureReason(path);
    if (reason.empty())
        reason = "the video back end did not write the whole video";
    return {FileFailure::Write, reason};
}

// Whether the video is whole and reads back with all its frames: a write
// that failed (a full disk) cuts the file short without the writer saying
// so; cut within its frames it lacks its frame count or its last frames, cut
// within its index it is shorter than its own sizes say.
bool videoComplete(const std::string& path, int frames)
{
    if (frames < 1 || !aviStructureComplete(path, frames))
        return false;
    cv::VideoCapture capture(path);
    if (!capture.isOpened() || capture.get(cv::CAP_PROP_FRAME_COUNT) != double(frames))
        return false;
    capture.set(cv::CAP_PROP_POS_FRAMES, double(frames - 1));
    return capture.grab();
}

} // namespace

ExportMessage writeEventAvi(const DatasetEntry& entry, const std::string& path, const std::vector<int>& indices,
                            bool mjpeg, bool skipDuplicateFrames, bool forReanalysis,
                            const ExportProgressReport& progress)
{
    const QString exportTitle = QStringLiteral("Export");
    if (!entry.reader || !entry.reader->hasImage())
        return ExportMessage::warning(exportTitle, QStringLiteral("No images available in: %1").arg(entry.displayName));
    if (indices.empty())
        return ExportMessage::warning(exportTitle, QStringLiteral("No events to export for: %1").arg(entry.displayName));
    const RTDCReader& reader = *entry.reader;

    // The frame size comes from the image stack, so that a damaged first image
    // costs its own frame only, as any other image that cannot be read.
    int width = 0;
    int height = 0;
    if (!reader.imageSize(width, height))
        return ExportMessage::warning(exportTitle, QStringLiteral("Failed to read image dimensions."));

    const auto failed = [&path](const FileFailure& failure) {
        return ExportMessage::fileFailure(failure, QString::fromStdString(path),
                                          QStringLiteral("Failed to create video file: %1"));
    };
    // The temporary name ends in ".avi": the video back end picks its container by it.
    StagedFile staged(path, ".avi");
    int framesWritten = 0;
    std::vector<int> unreadable;
    bool opened = false;
    try {
        VideoOutput output(width, height);
        const std::size_t maxFrames = indices.size() + (forReanalysis ? averageFrameCount : 0);
        if (maxFrames > std::numeric_limits<std::uint32_t>::max())
            return failed({FileFailure::Create, "too many frames for one video"});
        if (!output.open(staged.path(), mjpeg, std::uint32_t(maxFrames)))
            return failed(output.failure());
        opened = true;

        // With reanalysis, the average takes the first half of the progress.
        const double averageShare = forReanalysis ? 0.5 : 0.0;
        if (forReanalysis) {
            const cv::Mat average = averageImage(reader, indices, width, height, progress, averageShare);
            if (average.empty())
                return {};   // cancelled: the unfinished video goes with `staged`
            output.writeGrey(average, averageFrameCount);
        }

        const std::vector<double>* frameColumn = skipDuplicateFrames ? &reader.readFeature("frame") : nullptr;
        std::unordered_set<std::int32_t> framesSeen;
        for (std::size_t k = 0; k < indices.size(); ++k) {
            if (!reportShare(progress, averageShare, 1.0 - averageShare, k, indices.size()))
                return {};
            std::int32_t frame = 0;
            if (frameColumn && cameraFrame(*frameColumn, indices[k], frame) && !framesSeen.insert(frame).second)
                continue;
            int w = 0, h = 0;
            const std::vector<std::uint8_t> pixels = readEventImage(reader, indices[k], w, h);
            if (!output.writeGrey(pixels, w, h)) {
                // The event keeps its place in the video, and the user learns which frames are blank.
                output.writeBlank();
                unreadable.push_back(indices[k]);
            }
        }
        if (!output.close())
            return failed(output.failure());
        framesWritten = output.framesWritten();
    } catch (const cv::Exception& e) {
        return failed({opened ? FileFailure::Write : FileFailure::Create, e.what()});
    }
    if (!videoComplete(staged.path(), framesWritten))
        return failed(incompleteVideoFailure(staged.path()));
    if (progress && !progress(1.0))
        return {};
    std::string error;
    if (!staged.commit(error))
        return failed({FileFailure::Replace, error});
    if (!unreadable.empty())
        return ExportMessage::partsMissing(QString::fromStdString(path),
                                           {unreadableFramesLine(QStringLiteral("image"), unreadable, true)});
    return {};
}

} // namespace Tessary
