#include "rtdc/hdf5lock.h"
#include "rtdc/rtdcreader.h"

#include "fixtures/rtdcfixture.h"
#include "readertesting.h"

#include <gtest/gtest.h>

#include <atomic>
#include <thread>

using namespace Tessary;

namespace {

// The program switches the library's own error printing off at start-up; the
// tests of the data layer do the same, so stderr holds only our lines.
class SilenceHdf5 : public ::testing::Environment
{
public:
    void SetUp() override { disableHdf5ErrorPrinting(); }
};
const auto* const silenceHdf5 = ::testing::AddGlobalTestEnvironment(new SilenceHdf5);

bool lockedElsewhere()
{
    std::atomic<bool> got{false};
    std::thread other([&] {
        if (hdf5Mutex.try_lock()) {
            got = true;
            hdf5Mutex.unlock();
        }
    });
    other.join();
    return !got;
}

} // namespace

TEST(Hdf5Lock, SameThreadTakesItAgainAndReleasesAfterTheLastRelease)
{
    {
        Hdf5Lock outer;
        {
            Hdf5Lock inner; // would deadlock on a plain mutex
            EXPECT_TRUE(lockedElsewhere());
        }
        EXPECT_TRUE(lockedElsewhere());
    }
    EXPECT_FALSE(lockedElsewhere());
}

TEST(Hdf5Lock, ReaderOperationsRunWhileTheCallerHoldsTheLock)
{
    // The writer holds the lock across an export step and reads from a reader.
    Fixtures::TempDir dir;
    Fixtures::writeStandardMeasurement(dir.file("m.rtdc"), 20, {true, true, true});
    RTDCReader reader;
    Hdf5Lock held;
    ASSERT_TRUE(reader.open(dir.file("m.rtdc")));
    EXPECT_EQ(reader.readFeature("deform").size(), 20u);
    int width = 0, height = 0;
    EXPECT_FALSE(reader.readImage(3, width, height).empty());
    EXPECT_FALSE(reader.readTrace("fl1_raw", 3).empty());
    EXPECT_FALSE(reader.readMetadata().setup.empty());
}

TEST(Hdf5Lock, LibraryErrorPrintingStaysOffInOtherThreads)
{
    // The library keeps its error printer per thread: a pool thread that opens
    // a damaged file must still write only our one line.
    Fixtures::TempDir dir;
    Fixtures::writeNotHdf5(dir.file("plain.rtdc"));
    Testing::StderrCapture capture;
    std::thread pool([&] {
        RTDCReader reader;
        EXPECT_FALSE(reader.open(dir.file("plain.rtdc")));
    });
    pool.join();
    const auto lines = capture.lines();
    ASSERT_EQ(lines.size(), 1u);
    EXPECT_TRUE(Testing::startsWith(lines[0], "Error opening file: ")) << lines[0];
}
