#include "tasks/thread_pool.h"

#include <new>
#include <windows.h>

#include "tasks/message_pump.h"

namespace {

// How a task travels through the completion port: the function in the overlapped-pointer field,
// the first argument in the byte count and the second in the completion key. A first argument
// that does not fit the 32-bit byte count travels boxed in a small heap record instead.
const ULONG_PTR kExitMessage = static_cast<ULONG_PTR>(-2);
const ULONG_PTR kBoxedTask = static_cast<ULONG_PTR>(-3);

struct BoxedTask {
    PoolTask task;
    intptr_t arg1;
    intptr_t arg2;
};

bool fitsByteCount(intptr_t value) { return value >= INT32_MIN && value <= INT32_MAX; }

bool postTask(HANDLE port, PoolTask task, intptr_t arg1, intptr_t arg2)
{
    if (!port) return false;
    if (fitsByteCount(arg1)) {
        return PostQueuedCompletionStatus(port, static_cast<DWORD>(static_cast<int32_t>(arg1)), static_cast<ULONG_PTR>(arg2),
                                          reinterpret_cast<LPOVERLAPPED>(task));
    }
    auto* boxed = new (std::nothrow) BoxedTask{task, arg1, arg2};
    if (!boxed) return false;
    if (PostQueuedCompletionStatus(port, 0, reinterpret_cast<ULONG_PTR>(boxed), reinterpret_cast<LPOVERLAPPED>(kBoxedTask)))
        return true;
    delete boxed;
    return false;
}

// Unpacks a dequeued task packet; frees a boxed record.
BoxedTask unpack(DWORD bytes, ULONG_PTR key, LPOVERLAPPED overlapped)
{
    if (reinterpret_cast<ULONG_PTR>(overlapped) == kBoxedTask) {
        auto* boxed = reinterpret_cast<BoxedTask*>(key);
        const BoxedTask task = *boxed;
        delete boxed;
        return task;
    }
    return {reinterpret_cast<PoolTask>(overlapped), static_cast<int32_t>(bytes), static_cast<intptr_t>(key)};
}

void dropPacket(ULONG_PTR key, LPOVERLAPPED overlapped)
{
    if (reinterpret_cast<ULONG_PTR>(overlapped) == kBoxedTask) delete reinterpret_cast<BoxedTask*>(key);
}

void postExit(HANDLE port)
{
    if (port) PostQueuedCompletionStatus(port, static_cast<DWORD>(-1), static_cast<ULONG_PTR>(-1), reinterpret_cast<LPOVERLAPPED>(kExitMessage));
}

int initialCountFrom(int given)
{
    if (given == ThreadPool::kNotGiven) return 5;
    return given < 1 ? 1 : given;
}

int stackSizeForStart(int given)
{
    if (given == ThreadPool::kNotGiven || given <= 0) return 0;
    if (given < 8192) return 8192;
    return given / 4096 * 4096;
}

void closeIfSet(void*& handle)
{
    if (handle) CloseHandle(handle);
    handle = nullptr;
}

} // namespace

ThreadPool::ThreadPool()
{
    // The events live as long as the pool, so that no thread ever waits on a closed handle.
    growEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    startedEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    taskDoneEvent_ = CreateEventW(nullptr, FALSE, FALSE, nullptr);
    gateEvent_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
    stoppedEvent_ = CreateEventW(nullptr, TRUE, TRUE, nullptr);
}

ThreadPool::~ThreadPool()
{
    stop(2);
    while (state_ != Stopped) WaitForSingleObject(stoppedEvent_, 20);
    if (managerThread_) WaitForSingleObject(managerThread_, INFINITE);
    closeIfSet(managerThread_);
    closeIfSet(growEvent_);
    closeIfSet(startedEvent_);
    closeIfSet(taskDoneEvent_);
    closeIfSet(gateEvent_);
    closeIfSet(stoppedEvent_);
}

unsigned long __stdcall ThreadPool::workerEntry(void* param)
{
    static_cast<ThreadPool*>(param)->workerLoop(false);
    return 0;
}

unsigned long __stdcall ThreadPool::extraWorkerEntry(void* param)
{
    static_cast<ThreadPool*>(param)->workerLoop(true);
    return 0;
}

unsigned long __stdcall ThreadPool::managerEntry(void* param)
{
    static_cast<ThreadPool*>(param)->managerLoop();
    return 0;
}

bool ThreadPool::createWorker(bool idleExit)
{
    InterlockedIncrement(&activeThreads_);
    HANDLE thread = CreateThread(nullptr, static_cast<SIZE_T>(stackSize_), idleExit ? extraWorkerEntry : workerEntry,
                                 this, 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&activeThreads_);
        return false;
    }
    CloseHandle(thread);
    return true;
}

bool ThreadPool::start(int initialThreads, int maxThreads, int idleTimeoutMs, bool pumpMessages, int stackSize)
{
    if (InterlockedCompareExchange(&state_, Starting, Stopped) != Stopped) return false;

    const int initial = initialCountFrom(initialThreads);
    const int maximum = maxThreads == kNotGiven ? 20 : maxThreads;
    maxThreads_ = maximum < initial ? initial : maximum;
    idleTimeout_ = idleTimeoutMs == kNotGiven ? 10000 : (idleTimeoutMs < 100 ? 100 : idleTimeoutMs);
    stackSize_ = stackSizeForStart(stackSize);

    // A manager left over from an earlier run that stopped without waiting ends first.
    if (managerThread_) WaitForSingleObject(managerThread_, INFINITE);
    closeIfSet(managerThread_);

    auto fail = [this] {
        closeIfSet(port_);
        InterlockedExchange(&state_, Stopped);
        return false;
    };
    if (!growEvent_ || !startedEvent_ || !taskDoneEvent_ || !gateEvent_ || !stoppedEvent_) return fail();
    ResetEvent(growEvent_);
    ResetEvent(startedEvent_);
    ResetEvent(taskDoneEvent_);
    ResetEvent(stoppedEvent_);
    SetEvent(gateEvent_);
    paused_ = 0;
    growSignalled_ = 0;
    doneWaiters_ = 0;
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (!port_) return fail();
    accepting_ = 1;
    liveThreads_ = 0;
    busyThreads_ = 0;
    queuedTasks_ = 0;
    managerThread_ = CreateThread(nullptr, 8192, managerEntry, this, 0, nullptr);
    if (!managerThread_) return fail();

    int created = 0;
    for (int failuresInRow = 0; created < initial && failuresInRow < 5;) {
        if (createWorker(false)) {
            ++created;
            failuresInRow = 0;
        } else {
            ++failuresInRow;
        }
        if (pumpMessages) pumpPendingMessages();
    }

    if (created > 0) {
        const DWORD first = GetTickCount();
        const DWORD limit = static_cast<DWORD>(created) * 10 + 1000;
        for (;;) {
            const DWORD result = WaitForSingleObject(startedEvent_, 20);
            if (pumpMessages) pumpPendingMessages();
            if (liveThreads_ >= created) break;
            // Past the limit the wait ends whatever woke it, so that a worker that never runs
            // cannot hold the caller forever.
            if (GetTickCount() - first > limit && (result == WAIT_OBJECT_0 || GetTickCount() - first > 4 * limit)) break;
        }
    }

    if (liveThreads_ != 0) {
        InterlockedExchange(&state_, Running);
        return true;
    }
    SetEvent(growEvent_);  // the manager sees the pool is not running and ends
    WaitForSingleObject(managerThread_, INFINITE);
    closeIfSet(managerThread_);
    accepting_ = 0;
    return fail();
}

void ThreadPool::workerLoop(bool idleExit)
{
    InterlockedIncrement(&liveThreads_);
    SetEvent(startedEvent_);
    HANDLE port = port_;
    const DWORD wait = idleExit ? static_cast<DWORD>(idleTimeout_) : INFINITE;

    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, wait);
        if (paused_) WaitForSingleObject(gateEvent_, INFINITE);  // a paused pool holds its workers here
        if (!dequeued || !overlapped || reinterpret_cast<ULONG_PTR>(overlapped) == kExitMessage) break;
        if (accepting_ != 1) {
            dropPacket(key, overlapped);
            break;
        }
        const BoxedTask task = unpack(bytes, key, overlapped);
        InterlockedIncrement(&busyThreads_);
        InterlockedDecrement(&queuedTasks_);
        task.task(task.arg1, task.arg2);
        InterlockedDecrement(&busyThreads_);
        if (doneWaiters_) SetEvent(taskDoneEvent_);
    }

    InterlockedDecrement(&liveThreads_);
    // The pool is torn down by the last of all the threads it created, not merely the last that
    // happened to be running: one created but not yet begun still needs the port.
    if (InterlockedDecrement(&activeThreads_) == 0) tearDown();
}

void ThreadPool::tearDown()
{
    // The last worker out closes the port, after freeing any boxed task still waiting in it.
    HANDLE port = InterlockedExchangePointer(&port_, nullptr);
    if (port) {
        DWORD bytes;
        ULONG_PTR key;
        LPOVERLAPPED overlapped;
        while (GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, 0) && overlapped) dropPacket(key, overlapped);
        CloseHandle(port);
    }
    accepting_ = 0;
    InterlockedExchange(&liveThreads_, 0);
    InterlockedExchange(&busyThreads_, 0);
    InterlockedExchange(&queuedTasks_, 0);
    SetEvent(growEvent_);
    SetEvent(stoppedEvent_);
    // Last: once the state reads stopped, the object may be destroyed or started again.
    InterlockedExchange(&state_, Stopped);
}

void ThreadPool::managerLoop()
{
    WaitForSingleObject(growEvent_, INFINITE);
    int failuresInRow = 0;
    while (state_ == Running) {
        InterlockedExchange(&growSignalled_, 0);
        if (liveThreads_ < maxThreads_ && liveThreads_ < busyThreads_ + queuedTasks_) {
            if (createWorker(true)) {
                failuresInRow = 0;
                WaitForSingleObject(startedEvent_, static_cast<DWORD>(liveThreads_) * 10 + 1000);
            } else if (++failuresInRow >= 5) {
                maxThreads_ = liveThreads_;
                failuresInRow = 0;
            }
        } else {
            WaitForSingleObject(growEvent_, INFINITE);
        }
        if (paused_) WaitForSingleObject(gateEvent_, INFINITE);
    }
}

void ThreadPool::signalGrowthIfNeeded()
{
    if (liveThreads_ < maxThreads_ && liveThreads_ < busyThreads_ + queuedTasks_ &&
        InterlockedExchange(&growSignalled_, 1) == 0)
        SetEvent(growEvent_);
}

void ThreadPool::waitForManager(int steps, bool pumpMessages)
{
    if (!managerThread_) return;
    for (int step = 0; step < steps; ++step) {
        const DWORD result = WaitForSingleObject(managerThread_, 20);
        if (pumpMessages) pumpPendingMessages();
        if (result == WAIT_OBJECT_0) {
            closeIfSet(managerThread_);
            return;
        }
    }
    // Still busy (creating a worker): the destructor or the next start waits for it.
}

bool ThreadPool::stop(int mode, int timeoutMs, bool pumpMessages)
{
    const long previous = InterlockedCompareExchange(&state_, Stopping, Running);
    if (previous == Stopped) return true;
    if (previous != Running) return false;
    if (mode < 0 || mode > 3) mode = 0;
    if (mode == 0 || mode == 2) accepting_ = 0;

    SetEvent(taskDoneEvent_);
    SetEvent(startedEvent_);
    SetEvent(growEvent_);
    paused_ = 0;
    SetEvent(gateEvent_);
    waitForManager(21, pumpMessages);

    // One exit message for every worker, counting those the manager has created but that have
    // not begun yet: a worker left without one would keep the pool from ever stopping. A spare
    // message is harmless; the last worker drains it.
    HANDLE port = port_;
    postExit(port);
    const long workers = activeThreads_;
    for (long i = 0; i < workers; ++i) {
        postExit(port);
        if (pumpMessages && i % 100 == 99) pumpPendingMessages();
    }
    if (mode == 2 || mode == 3) return true;

    const DWORD started = GetTickCount();
    while (state_ == Stopping) {
        WaitForSingleObject(stoppedEvent_, 20);
        if (pumpMessages) pumpPendingMessages();
        if (timeoutMs > 0 && GetTickCount() - started > static_cast<DWORD>(timeoutMs)) return false;
    }
    return true;
}

bool ThreadPool::pause()
{
    if (state_ != Running || !ResetEvent(gateEvent_)) return false;
    paused_ = 1;
    return true;
}

bool ThreadPool::resume()
{
    if (state_ != Running || !SetEvent(gateEvent_)) return false;
    paused_ = 0;
    return true;
}

bool ThreadPool::waitWhilePaused(unsigned timeoutMs)
{
    return state_ == Running && WaitForSingleObject(gateEvent_, timeoutMs) == WAIT_OBJECT_0;
}

bool ThreadPool::submit(PoolTask task, intptr_t arg1, intptr_t arg2)
{
    if (state_ != Running || !task) return false;
    InterlockedIncrement(&queuedTasks_);
    const bool posted = postTask(port_, task, arg1, arg2);
    if (!posted) InterlockedDecrement(&queuedTasks_);
    signalGrowthIfNeeded();
    return posted;
}

bool ThreadPool::submitAddress(uintptr_t taskAddress, intptr_t arg1, intptr_t arg2)
{
    return submit(reinterpret_cast<PoolTask>(taskAddress), arg1, arg2);
}

bool ThreadPool::waitTaskDone(unsigned timeoutMs, bool pumpMessages)
{
    if (state_ != Running) return false;
    InterlockedIncrement(&doneWaiters_);
    bool done = false;
    if (!pumpMessages) {
        done = WaitForSingleObject(taskDoneEvent_, timeoutMs) == WAIT_OBJECT_0;
    } else {
        const DWORD started = GetTickCount();
        for (;;) {
            pumpPendingMessages();
            if (WaitForSingleObject(taskDoneEvent_, 20) == WAIT_OBJECT_0) {
                done = true;
                break;
            }
            if (timeoutMs != kInfinite && GetTickCount() - started > timeoutMs) break;
        }
    }
    InterlockedDecrement(&doneWaiters_);
    return done;
}

bool ThreadPool::setMaxThreads(int count)
{
    if (state_ != Running) return false;
    maxThreads_ = count < 1 ? 1 : count;
    signalGrowthIfNeeded();
    return true;
}

bool ThreadPool::setIdleTimeout(int ms)
{
    if (state_ != Running) return false;
    idleTimeout_ = ms < 100 ? 100 : ms;
    return true;
}

bool ThreadPool::setStackSize(int bytes)
{
    if (state_ != Running) return false;
    if (bytes <= 0) {
        stackSize_ = 0;
    } else {
        stackSize_ = bytes < 8192 ? 8192 : bytes / 8192 * 8192;
    }
    return true;
}
