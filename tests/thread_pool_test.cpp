#include "tasks/thread_pool.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

volatile long gCount = 0;
HANDLE gRelease = nullptr;  // manual-reset: blocking tasks wait for it

void countTask(intptr_t, intptr_t) { InterlockedIncrement(&gCount); }

void blockingTask(intptr_t, intptr_t)
{
    WaitForSingleObject(gRelease, 10000);
    InterlockedIncrement(&gCount);
}

// Polls a condition for up to `ms`; the pool's own threads change what it reads.
template <typename Condition>
bool eventually(Condition condition, DWORD ms = 5000)
{
    const DWORD start = GetTickCount();
    while (!condition()) {
        if (GetTickCount() - start > ms) return false;
        Sleep(5);
    }
    return true;
}

class ThreadPoolTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        gCount = 0;
        gRelease = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    }
    void TearDown() override
    {
        SetEvent(gRelease);
        pool.stop(0);
        CloseHandle(gRelease);
    }
    ThreadPool pool;
};

struct StopCall {
    ThreadPool* pool;
    int mode;
    bool result = false;
};

DWORD WINAPI stopOnThread(void* param)
{
    auto* call = static_cast<StopCall*>(param);
    call->result = call->pool->stop(call->mode);
    return 0;
}

} // namespace

TEST_F(ThreadPoolTest, StartSettings)
{
    ASSERT_TRUE(pool.start());
    EXPECT_EQ(pool.threadCount(), 5);
    EXPECT_EQ(pool.maxThreadCount(), 20);
    EXPECT_EQ(pool.idleTimeout(), 10000);
    EXPECT_EQ(pool.currentState(), ThreadPool::Running);
    EXPECT_TRUE(pool.stop(0));
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
    EXPECT_EQ(pool.threadCount(), 0);

    ASSERT_TRUE(pool.start(0));
    EXPECT_EQ(pool.threadCount(), 1);
    EXPECT_TRUE(pool.stop(0));

    ASSERT_TRUE(pool.start(5, 3, 50, false, 20000));
    EXPECT_EQ(pool.maxThreadCount(), 5);
    EXPECT_EQ(pool.idleTimeout(), 100);
    EXPECT_EQ(pool.stackSize(), 16384);
    EXPECT_TRUE(pool.setStackSize(5000));
    EXPECT_EQ(pool.stackSize(), 8192);
    EXPECT_TRUE(pool.setStackSize(20000));
    EXPECT_EQ(pool.stackSize(), 16384);
    EXPECT_TRUE(pool.setIdleTimeout(50));
    EXPECT_EQ(pool.idleTimeout(), 100);
    EXPECT_TRUE(pool.stop(0));

    ASSERT_TRUE(pool.start(1, 1, ThreadPool::kNotGiven, false, 9000));
    EXPECT_EQ(pool.stackSize(), 8192);
}

TEST_F(ThreadPoolTest, SecondStartFailsAndChangesNothing)
{
    ASSERT_TRUE(pool.start(2, 4));
    EXPECT_FALSE(pool.start(3, 9));
    EXPECT_EQ(pool.threadCount(), 2);
    EXPECT_EQ(pool.maxThreadCount(), 4);
}

TEST_F(ThreadPoolTest, SubmitOutsideARunningPoolCountsNothing)
{
    EXPECT_FALSE(pool.submit(countTask));
    EXPECT_EQ(pool.pendingTaskCount(), 0);
    EXPECT_FALSE(pool.pause());
    EXPECT_FALSE(pool.setMaxThreads(3));
    ASSERT_TRUE(pool.start(1, 1));
    EXPECT_FALSE(pool.submit(nullptr));
    EXPECT_TRUE(pool.stop(0));
    EXPECT_FALSE(pool.submit(countTask));
    EXPECT_EQ(pool.pendingTaskCount(), 0);
    EXPECT_TRUE(pool.stop(0));  // stopping a stopped pool is fine
}

TEST_F(ThreadPoolTest, GrowsUnderLongTasksAndShrinksAfterTheIdleTimeout)
{
    ASSERT_TRUE(pool.start(1, 5, 200));
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(pool.submit(blockingTask));
    EXPECT_TRUE(eventually([&] { return pool.threadCount() == 5 && pool.busyCount() == 5; }));
    EXPECT_EQ(pool.pendingTaskCount(), 1);
    EXPECT_FALSE(pool.isIdle());
    SetEvent(gRelease);
    EXPECT_TRUE(eventually([&] { return gCount == 6 && pool.isIdle(); }));
    // The four extra workers end after 200 ms without work; the core worker stays.
    EXPECT_TRUE(eventually([&] { return pool.threadCount() == 1; }));
    Sleep(400);
    EXPECT_EQ(pool.threadCount(), 1);
    ASSERT_TRUE(pool.submit(countTask));
    EXPECT_TRUE(eventually([&] { return gCount == 7; }));
}

TEST_F(ThreadPoolTest, ModeZeroDropsQueuedTasks)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.pause());
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(pool.submit(countTask));
    EXPECT_TRUE(pool.stop(0));
    EXPECT_EQ(gCount, 0);
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
    EXPECT_EQ(pool.pendingTaskCount(), 0);
}

TEST_F(ThreadPoolTest, ModeOneRunsQueuedTasksFirst)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.pause());
    for (int i = 0; i < 100; ++i) ASSERT_TRUE(pool.submit(countTask));
    EXPECT_TRUE(pool.stop(1));
    EXPECT_EQ(gCount, 100);
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
}

TEST_F(ThreadPoolTest, ModesTwoAndThreeReturnAtOnce)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.submit(blockingTask));
    EXPECT_TRUE(eventually([&] { return pool.busyCount() == 1; }));
    EXPECT_TRUE(pool.stop(3));
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopping);
    EXPECT_FALSE(pool.start());  // not before the last worker has ended
    SetEvent(gRelease);
    EXPECT_TRUE(eventually([&] { return pool.currentState() == ThreadPool::Stopped; }));
    EXPECT_EQ(gCount, 1);
}

TEST_F(ThreadPoolTest, StopWhileStopping)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.submit(blockingTask));
    EXPECT_TRUE(eventually([&] { return pool.busyCount() == 1; }));
    StopCall call{&pool, 0};
    HANDLE stopper = CreateThread(nullptr, 0, stopOnThread, &call, 0, nullptr);
    ASSERT_TRUE(eventually([&] { return pool.currentState() == ThreadPool::Stopping; }));
    EXPECT_FALSE(pool.stop(0));
    SetEvent(gRelease);
    EXPECT_EQ(WaitForSingleObject(stopper, 10000), WAIT_OBJECT_0);
    CloseHandle(stopper);
    EXPECT_TRUE(call.result);
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
}

TEST_F(ThreadPoolTest, StopWithTimeoutGivesUpButStillStops)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.submit(blockingTask));
    EXPECT_TRUE(eventually([&] { return pool.busyCount() == 1; }));
    EXPECT_FALSE(pool.stop(0, 100));
    SetEvent(gRelease);
    EXPECT_TRUE(eventually([&] { return pool.currentState() == ThreadPool::Stopped; }));
}

TEST_F(ThreadPoolTest, PauseHoldsWorkersAndResumeLetsThemGo)
{
    ASSERT_TRUE(pool.start(2, 2));
    ASSERT_TRUE(pool.pause());
    EXPECT_FALSE(pool.waitWhilePaused(0));
    for (int i = 0; i < 10; ++i) ASSERT_TRUE(pool.submit(countTask));
    Sleep(100);  // a paused pool must run nothing in this time
    EXPECT_EQ(gCount, 0);
    EXPECT_FALSE(pool.isIdle());
    ASSERT_TRUE(pool.resume());
    EXPECT_TRUE(pool.waitWhilePaused(0));
    EXPECT_TRUE(eventually([&] { return gCount == 10 && pool.isIdle(); }));
}

TEST_F(ThreadPoolTest, RestartsAfterStop)
{
    for (int round = 0; round < 3; ++round) {
        ASSERT_TRUE(pool.start(2, 3));
        for (int i = 0; i < 50; ++i) ASSERT_TRUE(pool.submit(countTask));
        EXPECT_TRUE(pool.stop(1));
    }
    EXPECT_EQ(gCount, 150);
}

namespace {

volatile long gSubmitted = 0;
volatile long gCompleted = 0;
volatile long gViolations = 0;
volatile long gHammering = 0;

void completeTask(intptr_t, intptr_t) { InterlockedIncrement(&gCompleted); }

DWORD WINAPI hammerIsIdle(void* param)
{
    auto* pool = static_cast<ThreadPool*>(param);
    while (gHammering) {
        const long submitted = gSubmitted;  // only tasks already in the pool
        const bool idle = pool->isIdle();
        const long completed = gCompleted;
        if (idle && completed < submitted) InterlockedIncrement(&gViolations);
    }
    return 0;
}

} // namespace

TEST_F(ThreadPoolTest, IdleIsNeverReportedWhileTasksAreQueuedOrRunning)
{
    gSubmitted = 0;
    gCompleted = 0;
    gViolations = 0;
    gHammering = 1;
    ASSERT_TRUE(pool.start(1, 5));
    HANDLE hammer = CreateThread(nullptr, 0, hammerIsIdle, &pool, 0, nullptr);
    for (int i = 0; i < 20000; ++i) {
        ASSERT_TRUE(pool.submit(completeTask));
        InterlockedIncrement(&gSubmitted);
        if (i % 25 == 0) Sleep(1);  // let the pool drain often, so that idle moments happen
    }
    EXPECT_TRUE(eventually([&] { return pool.isIdle(); }, 20000));
    gHammering = 0;
    WaitForSingleObject(hammer, INFINITE);
    CloseHandle(hammer);
    EXPECT_EQ(gViolations, 0);
    EXPECT_EQ(gCompleted, 20000);
}

namespace {

intptr_t gSeenArg1 = 0;
intptr_t gSeenArg2 = 0;

void recordArguments(intptr_t arg1, intptr_t arg2)
{
    gSeenArg1 = arg1;
    gSeenArg2 = arg2;
    SetEvent(gRelease);
}

} // namespace

TEST_F(ThreadPoolTest, ArgumentsArePointerSized)
{
    ASSERT_TRUE(pool.start(1, 1));
    const intptr_t wide = static_cast<intptr_t>(0x123456789ABCLL);
    ASSERT_TRUE(pool.submit(recordArguments, wide, reinterpret_cast<intptr_t>(&gCount)));
    ASSERT_EQ(WaitForSingleObject(gRelease, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gSeenArg1, wide);
    EXPECT_EQ(gSeenArg2, reinterpret_cast<intptr_t>(&gCount));
    ResetEvent(gRelease);
    ASSERT_TRUE(pool.submitAddress(reinterpret_cast<uintptr_t>(&recordArguments), -7, -8));
    ASSERT_EQ(WaitForSingleObject(gRelease, 5000), WAIT_OBJECT_0);
    EXPECT_EQ(gSeenArg1, -7);
    EXPECT_EQ(gSeenArg2, -8);
}

namespace {

HWND gWindow = nullptr;
volatile long gMessages = 0;

LRESULT CALLBACK countingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_APP) {
        InterlockedIncrement(&gMessages);
        return 1;
    }
    return DefWindowProcW(window, message, wParam, lParam);
}

// A worker reaching a window of the calling thread, as the program's tasks reach its controls.
void sendToWindow(intptr_t, intptr_t) { SendMessageW(gWindow, WM_APP, 0, 0); }

} // namespace

TEST_F(ThreadPoolTest, StopServesMessagesSoWorkersSendingToTheCallerFinish)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = countingWindowProc;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"PicladePoolTestWindow";
    RegisterClassW(&windowClass);
    gWindow = CreateWindowW(L"PicladePoolTestWindow", L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
    ASSERT_NE(gWindow, nullptr);
    gMessages = 0;
    ASSERT_TRUE(pool.start(2, 5, ThreadPool::kNotGiven, true));
    for (int i = 0; i < 20; ++i) ASSERT_TRUE(pool.submit(sendToWindow));
    EXPECT_TRUE(pool.stop(1, 10000, true));
    EXPECT_EQ(gMessages, 20);
    DestroyWindow(gWindow);
}

TEST_F(ThreadPoolTest, DestroyingARunningPoolWaitsForItsWorkers)
{
    auto* local = new ThreadPool();
    ASSERT_TRUE(local->start(3, 3));
    for (int i = 0; i < 30; ++i) local->submit(countTask);
    delete local;  // must not leave a worker running on freed memory
    SUCCEED();
}
