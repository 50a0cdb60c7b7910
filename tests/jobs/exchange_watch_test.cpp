// The watchdog over the jobs' exchanges, against the emulator's dripping answers: a host that
// sends a byte now and then is cut off after one stall window, and an exchange of a replaced job
// is cut off at once, whatever its host does.
#include "app/jobs/exchange_watch.h"
#include "app/core/job_threads.h"
#include "net/http_client.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "tests/support/job_wait.h"

namespace {

struct DripProbe {
    HANDLE started = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    ULONGLONG tookMs = 0;
    bool stalled = false;
    bool complete = true;
    size_t bytes = 0;
    ~DripProbe()
    {
        CloseHandle(started);
        CloseHandle(done);
    }
};

DripProbe* gDrip = nullptr;

// 4 KiB sent a byte every 0.2 s: about 800 s in all, and only 5 bytes a second.
void drippingJob(const JobContext& job)
{
    HttpClient client;
    const WatchedExchange watch(client, job);
    const ULONGLONG start = GetTickCount64();
    SetEvent(gDrip->started);
    if (client.open("GET", "http://127.0.0.1:" + std::to_string(PICLADE_TEST_PORT_BASE + 9) + "/blob?size=4096&mode=drip") &&
        client.send()) gDrip->bytes = client.responseView().size();
    gDrip->complete = client.responseComplete();
    gDrip->tookMs = GetTickCount64() - start;
    gDrip->stalled = watch.stalled();
    SetEvent(gDrip->done);
}

} // namespace

TEST(ExchangeWatch, ADrippingHostIsCutOffAfterOneWindow)
{
    DripProbe probe;
    gDrip = &probe;
    ASSERT_TRUE(startJob(SignInJob, drippingJob));
    ASSERT_TRUE(waitServed(probe.done, kStallWindowMs * 3));
    EXPECT_TRUE(probe.stalled);
    EXPECT_FALSE(probe.complete);
    EXPECT_GE(probe.tookMs, kStallWindowMs - 500);
    EXPECT_LT(probe.tookMs, kStallWindowMs * 2);
    gDrip = nullptr;
}

TEST(ExchangeWatch, AReplacedJobsExchangeEndsAtOnce)
{
    DripProbe probe;
    gDrip = &probe;
    ASSERT_TRUE(startJob(SignInJob, drippingJob));
    ASSERT_TRUE(waitServed(probe.started, 5000));
    Sleep(500);  // the exchange is under way
    const ULONGLONG replaced = GetTickCount64();
    ASSERT_TRUE(startJob(SignInJob, emptyJob));
    ASSERT_TRUE(waitServed(probe.done, 5000));
    EXPECT_LT(GetTickCount64() - replaced, 1000u);
    EXPECT_FALSE(probe.stalled);  // cut off for its job, not for its pace
    EXPECT_FALSE(probe.complete);
    gDrip = nullptr;
}
