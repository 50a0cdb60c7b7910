// The cover workers of an analysis, without the network: covers come back in the order asked for
// however their fetches end, never more than five at once, and a stopped job ends the wait and
// every worker before the object goes.
#include "app/jobs/cover_fetch.h"
#include "app/core/job_threads.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>

#include "tasks/message_pump.h"
#include "tasks/unique_handle.h"
#include "tests/support/job_wait.h"
#include "ui/application.h"

namespace {

std::atomic<int> gStarted{0};
std::atomic<int> gInFlight{0};
std::atomic<int> gMostInFlight{0};

void resetCounts()
{
    gStarted = 0;
    gInFlight = 0;
    gMostInFlight = 0;
}

void began()
{
    ++gStarted;
    const int now = ++gInFlight;
    for (int most = gMostInFlight; now > most && !gMostInFlight.compare_exchange_weak(most, now);) {
    }
}

// A BMP of `width` × 1 pixels: a cover's number is its width.
std::string bitmapOfWidth(int width)
{
    const uint32_t stride = (static_cast<uint32_t>(width) * 3 + 3) & ~3u;
    std::string bytes(54 + stride, '\0');
    const auto put = [&](size_t at, uint32_t value, int size) {
        for (int i = 0; i < size; ++i) bytes[at + static_cast<size_t>(i)] = static_cast<char>((value >> (8 * i)) & 0xFF);
    };
    bytes[0] = 'B';
    bytes[1] = 'M';
    put(2, static_cast<uint32_t>(bytes.size()), 4);
    put(10, 54, 4);
    put(14, 40, 4);
    put(18, static_cast<uint32_t>(width), 4);
    put(22, 1, 4);
    put(26, 1, 2);
    put(28, 24, 2);
    put(34, stride, 4);
    return bytes;
}

// The cover numbered by its address, every third one slower: later covers come before earlier ones.
ImageObject numberedCover(const std::string& address, const JobContext& job)
{
    began();
    const int number = std::stoi(address);
    static_cast<void>(job.pause(number % 3 == 0 ? 80 : 20));
    --gInFlight;
    ImageObject cover;
    static_cast<void>(cover.LoadBytes(bitmapOfWidth(number)));
    return cover;
}

// A cover that never comes while its job goes on: an exchange that only the job's stop cancels.
ImageObject coverUntilStopped(const std::string&, const JobContext& job)
{
    began();
    while (job.pause(10)) {
    }
    --gInFlight;
    return {};
}

struct StopProbe {
    HANDLE waiting = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    bool took = true;
    ULONGLONG waitEnded = 0;
    ULONGLONG objectGone = 0;
    int inFlightAfter = -1;
    ~StopProbe()
    {
        CloseHandle(waiting);
        CloseHandle(done);
    }
};

StopProbe* gStop = nullptr;

// An analysis awaiting its first cover when it is replaced.
void awaitingCoversJob(const JobContext& job)
{
    {
        CoverFetch covers(job, coverUntilStopped);
        for (int i = 1; i <= 12; ++i) covers.request(std::to_string(i));
        SetEvent(gStop->waiting);
        ImageObject cover;
        gStop->took = covers.takeNext(cover, true);
        gStop->waitEnded = GetTickCount64();
    }
    gStop->objectGone = GetTickCount64();
    gStop->inFlightAfter = gInFlight;
    SetEvent(gStop->done);
}

} // namespace

TEST(CoverFetch, CoversComeInTheOrderAskedAtMostFiveAtATime)
{
    Application::Initialise();  // GDI+, for the covers' pictures
    resetCounts();
    const JobContext job(AnalysisJob, currentJobGeneration(AnalysisJob), 0);
    ASSERT_FALSE(job.stopping());
    constexpr int kCovers = 30;
    {
        CoverFetch covers(job, numberedCover);
        ImageObject cover;
        EXPECT_FALSE(covers.takeNext(cover, true));  // none asked for: nothing to wait for
        for (int n = 1; n <= kCovers; ++n) covers.request(std::to_string(n));
        // A handle given to wait on besides goes first once it is signalled, come or not.
        const UniqueHandle signalled(CreateEventW(nullptr, TRUE, TRUE, nullptr));
        const UniqueHandle unsignalled(CreateEventW(nullptr, TRUE, FALSE, nullptr));
        EXPECT_FALSE(covers.takeNext(cover, true, signalled.get()));
        for (int n = 1; n <= kCovers; ++n) {
            ASSERT_TRUE(covers.takeNext(cover, true, n % 2 ? unsignalled.get() : nullptr)) << n;
            EXPECT_EQ(cover.Width(), n);
        }
        EXPECT_FALSE(covers.takeNext(cover, true));
    }
    EXPECT_EQ(gStarted, kCovers);
    EXPECT_EQ(gMostInFlight, kCoverWorkers);
    EXPECT_EQ(gInFlight, 0);
}

TEST(CoverFetch, AStoppedJobEndsTheWaitAndEveryWorker)
{
    resetCounts();
    StopProbe probe;
    gStop = &probe;
    ASSERT_TRUE(startJob(AnalysisJob, awaitingCoversJob));
    ASSERT_TRUE(waitServed(probe.waiting, 5000));
    ASSERT_TRUE(waitServing(5000, [] { return gInFlight == kCoverWorkers; }));
    Sleep(200);  // the job waits for its first cover
    const ULONGLONG replaced = GetTickCount64();
    ASSERT_TRUE(startJob(AnalysisJob, emptyJob));
    ASSERT_TRUE(waitServed(probe.done, 5000));
    EXPECT_FALSE(probe.took);
    EXPECT_LT(probe.waitEnded - replaced, 500u);
    EXPECT_LT(probe.objectGone - replaced, 1000u);
    // Every worker ended with the object; the covers not begun were never asked for.
    EXPECT_EQ(probe.inFlightAfter, 0);
    EXPECT_EQ(gStarted, kCoverWorkers);
    gStop = nullptr;
}
