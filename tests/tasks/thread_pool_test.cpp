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

    ASSERT_TRUE(pool.start(1, 1, std::nullopt, false, 9000));
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

// A message-only window of the calling thread, served by `procedure`.
HWND messageWindow(const wchar_t* className, WNDPROC procedure)
{
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = procedure;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = className;
    RegisterClassW(&windowClass);
    return CreateWindowW(className, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, windowClass.hInstance, nullptr);
}

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
    gWindow = messageWindow(L"PicladePoolTestWindow", countingWindowProc);
    ASSERT_NE(gWindow, nullptr);
    gMessages = 0;
    ASSERT_TRUE(pool.start(2, 5, std::nullopt, true));
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

TEST_F(ThreadPoolTest, ExplicitMinusOneSettingsAreUsed)
{
    // -1 is a value like any other: one worker, a maximum raised to it, the idle floor, no stack size.
    ASSERT_TRUE(pool.start(-1, -1, -1, false, -1));
    EXPECT_EQ(pool.threadCount(), 1);
    EXPECT_EQ(pool.maxThreadCount(), 1);
    EXPECT_EQ(pool.idleTimeout(), 100);
    EXPECT_EQ(pool.stackSize(), 0);
}

TEST_F(ThreadPoolTest, AWaitThatStartsAfterATaskEndedReturnsAtOnce)
{
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(pool.submit(countTask));
    ASSERT_TRUE(eventually([&] { return gCount == 1 && pool.isIdle(); }));
    EXPECT_TRUE(pool.waitTaskDone(0));
    EXPECT_FALSE(pool.waitTaskDone(0));  // the first wait took that end
    ASSERT_TRUE(pool.submit(countTask));
    ASSERT_TRUE(eventually([&] { return gCount == 2 && pool.isIdle(); }));
    EXPECT_TRUE(pool.waitTaskDone(0, true));
    ASSERT_TRUE(pool.submit(blockingTask));
    EXPECT_FALSE(pool.waitTaskDone(50));
    SetEvent(gRelease);
    EXPECT_TRUE(pool.waitTaskDone(5000));
}

// Holding new threads before they begin: the loader runs this for every thread that starts, ahead
// of its entry. Threads with a stack of at least kHeldStack are held while gHolding is set, so a
// test can make the pool's workers (given that stack) slow to begin without touching its other
// threads.
namespace {

constexpr int kHeldStack = 8 * 1024 * 1024;
volatile long gHolding = 0;
volatile long gHeldThreads = 0;   // held threads that have begun waiting
volatile long gEndedHeld = 0;     // held threads that have ended
HANDLE gLetThemBegin = nullptr;   // manual-reset
// The ids of the threads held so far: only their ends count. A large-stack worker of an earlier
// test may end (its detach runs) well after that test's pool stopped, under load even after the
// next test began; counting every large-stack end took it for this test's worker.
constexpr long kMostHeld = 64;
volatile long gHeldIds[kMostHeld] = {};

bool wasHeld(DWORD id)
{
    for (long i = 0; i < kMostHeld && i < gHeldThreads; ++i)
        if (static_cast<DWORD>(gHeldIds[i]) == id) return true;
    return false;
}

bool hasLargeStack()
{
    MEMORY_BASIC_INFORMATION region{};
    const int local = 0;
    if (!VirtualQuery(&local, &region, sizeof region)) return false;
    // From the bottom of the stack's reservation to the top of its committed part, its base.
    const uintptr_t top = reinterpret_cast<uintptr_t>(region.BaseAddress) + region.RegionSize;
    return top - reinterpret_cast<uintptr_t>(region.AllocationBase) >= static_cast<uintptr_t>(kHeldStack);
}

void NTAPI holdNewThreads(void*, DWORD reason, void*)
{
    if (reason == DLL_THREAD_ATTACH && gHolding && hasLargeStack()) {
        const long slot = InterlockedIncrement(&gHeldThreads) - 1;
        if (slot < kMostHeld) InterlockedExchange(&gHeldIds[slot], static_cast<long>(GetCurrentThreadId()));
        WaitForSingleObject(gLetThemBegin, INFINITE);
    }
    if (reason == DLL_THREAD_DETACH && wasHeld(GetCurrentThreadId())) InterlockedIncrement(&gEndedHeld);
}

} // namespace

#ifdef _MSC_VER
#pragma comment(linker, "/INCLUDE:_tls_used")
#pragma const_seg(".CRT$XLF")
extern "C" const PIMAGE_TLS_CALLBACK gHoldNewThreadsCallback = holdNewThreads;
#pragma const_seg()
#else
extern "C" __attribute__((section(".CRT$XLF"), used)) const PIMAGE_TLS_CALLBACK gHoldNewThreadsCallback = holdNewThreads;
#endif

namespace {

class SlowThreadsTest : public ThreadPoolTest {
protected:
    void SetUp() override
    {
        ThreadPoolTest::SetUp();
        gLetThemBegin = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        gHeldThreads = 0;
        gEndedHeld = 0;
        for (volatile long& id : gHeldIds) id = 0;
    }
    void TearDown() override
    {
        letThemBegin();
        ThreadPoolTest::TearDown();
        CloseHandle(gLetThemBegin);
    }
    void letThemBegin()
    {
        gHolding = 0;
        SetEvent(gLetThemBegin);
    }
};

volatile long gPeakThreads = 0;
volatile long gWatching = 0;

DWORD WINAPI watchThreadCount(void* param)
{
    auto* watched = static_cast<ThreadPool*>(param);
    while (gWatching) {
        const long count = watched->threadCount();
        for (long peak = gPeakThreads; count > peak; peak = gPeakThreads) InterlockedCompareExchange(&gPeakThreads, count, peak);
        Sleep(1);
    }
    return 0;
}

} // namespace

TEST_F(SlowThreadsTest, NeverGrowsPastItsMaximumWhileANewWorkerIsSlowToBegin)
{
    ASSERT_TRUE(pool.start(1, 2, 200, false, kHeldStack));  // the core worker begins unheld
    gHolding = 1;
    for (int i = 0; i < 4; ++i) ASSERT_TRUE(pool.submit(blockingTask));
    ASSERT_TRUE(eventually([] { return gHeldThreads == 1; }));
    // The manager's wait for the new worker runs out after about a second; it must still count
    // the worker that has not begun, and make no second one. Only time can show that.
    Sleep(1600);
    EXPECT_EQ(gHeldThreads, 1);
    gPeakThreads = 0;
    gWatching = 1;
    HANDLE watcher = CreateThread(nullptr, 0, watchThreadCount, &pool, 0, nullptr);
    letThemBegin();
    SetEvent(gRelease);
    EXPECT_TRUE(eventually([&] { return gCount == 4 && pool.isIdle(); }));
    gWatching = 0;
    WaitForSingleObject(watcher, INFINITE);
    CloseHandle(watcher);
    EXPECT_LE(gPeakThreads, 2);
    EXPECT_LE(pool.threadCount(), 2);
}

TEST_F(SlowThreadsTest, LateWorkersOfAFailedStartLeaveARestartedPoolAlone)
{
    gHolding = 1;
    // No worker begins within the start's limit (about four seconds for one worker): the start
    // fails, in bounded time, although its manager cannot end while the worker is held.
    EXPECT_FALSE(pool.start(1, 1, std::nullopt, false, kHeldStack));
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
    EXPECT_EQ(pool.threadCount(), 0);
    EXPECT_EQ(gHeldThreads, 1);

    // The late worker begins while the pool starts again, and ends without joining the new run.
    letThemBegin();
    ASSERT_TRUE(pool.start(1, 1));
    ASSERT_TRUE(eventually([] { return gEndedHeld == 1; })) << gEndedHeld << " of " << gHeldThreads << " held threads ended";
    EXPECT_EQ(pool.currentState(), ThreadPool::Running);
    EXPECT_EQ(pool.threadCount(), 1);
    ASSERT_TRUE(pool.submit(countTask));
    EXPECT_TRUE(eventually([] { return gCount == 1; }));
    EXPECT_TRUE(pool.stop(0, 5000));
    EXPECT_EQ(pool.currentState(), ThreadPool::Stopped);
}

namespace {

// A busy thread sharing one processor with the calling thread, so that the caller is often
// preempted in the middle of an operation: this widens the windows the race tests aim at.
volatile long gSpinning = 0;

DWORD WINAPI spin(void*)
{
    while (gSpinning) {
    }
    return 0;
}

class SharedProcessor {
public:
    SharedProcessor()
    {
        previous_ = SetThreadAffinityMask(GetCurrentThread(), 1);
        gSpinning = 1;
        spinner_ = CreateThread(nullptr, 0, spin, nullptr, CREATE_SUSPENDED, nullptr);
        SetThreadAffinityMask(spinner_, 1);
        ResumeThread(spinner_);
    }
    ~SharedProcessor()
    {
        gSpinning = 0;
        WaitForSingleObject(spinner_, INFINITE);
        CloseHandle(spinner_);
        if (previous_) SetThreadAffinityMask(GetCurrentThread(), previous_);
    }
    SharedProcessor(const SharedProcessor&) = delete;
    SharedProcessor& operator=(const SharedProcessor&) = delete;

private:
    DWORD_PTR previous_ = 0;
    HANDLE spinner_ = nullptr;
};

volatile long gPausing = 0;

DWORD WINAPI pauseRepeatedly(void* param)
{
    auto* paused = static_cast<ThreadPool*>(param);
    SharedProcessor preempted;
    while (gPausing) paused->pause();
    return 0;
}

} // namespace

TEST_F(ThreadPoolTest, APauseRacingAStopNeverLeavesWorkersAtTheGate)
{
    for (int run = 0; run < 200; ++run) {
        ASSERT_TRUE(pool.start(2, 2));
        gPausing = 1;
        HANDLE pauser = CreateThread(nullptr, 0, pauseRepeatedly, &pool, 0, nullptr);
        while (pool.waitWhilePaused(0)) SwitchToThread();  // the pauser is at work
        const bool stopped = pool.stop(0, 3000);
        gPausing = 0;
        WaitForSingleObject(pauser, INFINITE);
        CloseHandle(pauser);
        ASSERT_TRUE(stopped) << "run " << run;
        ASSERT_EQ(pool.currentState(), ThreadPool::Stopped);
    }
}

namespace {

ThreadPool* gStopping = nullptr;
bool gInsideStop = false;
constexpr int kSparePorts = 32;
HANDLE gSparePorts[kSparePorts] = {};

// Runs inside stop, which serves messages after every hundredth exit message it posts: gives the
// pool the time to finish its teardown while stop still has a post to make, then makes completion
// ports that would take the value of a port closed meanwhile (and so receive that post).
LRESULT CALLBACK inStopWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message != WM_APP) return DefWindowProcW(window, message, wParam, lParam);
    if (!gInsideStop) return 0;  // too late to look
    const DWORD started = GetTickCount();
    while (gStopping->currentState() != ThreadPool::Stopped && GetTickCount() - started < 2000) Sleep(5);
    for (HANDLE& port : gSparePorts) port = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    return 0;
}

DWORD WINAPI askWhenWorkersLeave(void* window)
{
    const DWORD started = GetTickCount();
    while (gStopping->threadCount() == 101 && GetTickCount() - started < 10000) {
    }
    SendNotifyMessageW(static_cast<HWND>(window), WM_APP, 0, 0);
    return 0;
}

} // namespace

TEST_F(ThreadPoolTest, StopNeverPostsToAPortTheLastWorkerClosed)
{
    HWND window = messageWindow(L"PicladePoolInStopWindow", inStopWindowProc);
    ASSERT_NE(window, nullptr);
    gStopping = &pool;
    // 101 workers: stop posts 102 exit messages and serves messages after the 101st, when every
    // worker already has one.
    ASSERT_TRUE(pool.start(101, 101));
    ASSERT_TRUE(eventually([&] { return pool.threadCount() == 101; }, 20000));
    // As soon as the first worker has its exit message, ask the stopping thread to look: the
    // question reaches it at its next serving of messages, after the 101st post.
    HANDLE asker = CreateThread(nullptr, 0, askWhenWorkersLeave, window, 0, nullptr);
    gInsideStop = true;
    EXPECT_TRUE(pool.stop(0, 10000, true));
    gInsideStop = false;
    WaitForSingleObject(asker, INFINITE);
    CloseHandle(asker);
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    long stray = 0;
    for (HANDLE& port : gSparePorts) {
        DWORD bytes;
        ULONG_PTR key;
        LPOVERLAPPED overlapped;
        while (port && GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 0)) ++stray;
        if (port) CloseHandle(port);
        port = nullptr;
    }
    EXPECT_EQ(stray, 0);
    DestroyWindow(window);
}
