#include "tasks/thread_pool.h"

#include <new>
#include <windows.h>

#include "tasks/message_pump.h"
#include "tasks/thread_name.h"

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

int initialCountFrom(std::optional<int> given)
{
    if (!given) return 5;
    return *given < 1 ? 1 : *given;
}

int stackSizeForStart(std::optional<int> given)
{
    // A stack size of 0 or less cannot be asked of the system; it means the default.
    if (!given || *given <= 0) return 0;
    if (*given < 8192) return 8192;
    return *given / 4096 * 4096;
}

} // namespace

ThreadPool::ThreadPool()
{
    // The events live as long as the pool, so that no thread ever waits on a closed handle.
    growEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    startedEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    taskDoneEvent_.reset(CreateEventW(nullptr, FALSE, FALSE, nullptr));
    gateEvent_.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
    stoppedEvent_.reset(CreateEventW(nullptr, TRUE, TRUE, nullptr));
}

ThreadPool::~ThreadPool()
{
    stop(2);
    while (state_ != Stopped) WaitForSingleObject(stoppedEvent_.get(), 20);
    if (managerThread_) WaitForSingleObject(managerThread_.get(), INFINITE);
}

// The core workers of one start. A worker that begins after its start gave up on it (no worker
// had begun in time) belongs to no pool: it leaves without touching the pool, which may have been
// started again meanwhile.
struct ThreadPool::Launch {
    enum Outcome : long { Undecided, Joined, Abandoned };
    ThreadPool* pool;
    std::atomic<long> outcome = Undecided;
    std::atomic<long> refs = 1;  // the start itself and every worker created that has not begun

    explicit Launch(ThreadPool* owner) : pool(owner) {}
    void release()
    {
        if (--refs == 0) delete this;
    }
};

unsigned long __stdcall ThreadPool::workerEntry(void* param)
{
    auto* launch = static_cast<Launch*>(param);
    ThreadPool* pool = launch->pool;
    long outcome = Launch::Undecided;
    launch->outcome.compare_exchange_strong(outcome, Launch::Joined);
    const bool member = outcome != Launch::Abandoned;
    launch->release();
    if (member) pool->workerLoop(false);
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

// The worker is counted (and holds the pool) from before it exists, so that a stop or the bound
// on the number of workers never misses one that has not begun yet. An extra worker's hold is
// the one its creator took with holdRun.
bool ThreadPool::createWorker(bool idleExit, Launch* launch)
{
    ++activeThreads_;
    if (launch) {
        ++holders_;
        ++launch->refs;
    }
    void* param = launch ? static_cast<void*>(launch) : static_cast<void*>(this);
    const UniqueHandle thread(CreateThread(nullptr, static_cast<SIZE_T>(stackSize_), idleExit ? extraWorkerEntry : workerEntry,
                                           param, 0, nullptr));
    if (!thread) {
        --activeThreads_;
        if (launch) {
            launch->release();
            releaseHolds(1);
        }
        return false;
    }
    return true;
}

// A hold can only be added while someone still holds the pool: once the last hold is gone the
// pool is (being) torn down and must not be touched.
bool ThreadPool::holdRun()
{
    for (long count = holders_; count > 0;) {
        if (holders_.compare_exchange_weak(count, count + 1)) return true;
    }
    return false;
}

void ThreadPool::releaseHolds(long count)
{
    if (holders_.fetch_sub(count) == count) tearDown();
}

bool ThreadPool::start(std::optional<int> initialThreads, std::optional<int> maxThreads, std::optional<int> idleTimeoutMs,
                       bool pumpMessages, std::optional<int> stackSize)
{
    long expected = Stopped;
    if (!state_.compare_exchange_strong(expected, Starting)) return false;

    const int initial = initialCountFrom(initialThreads);
    const int maximum = maxThreads.value_or(20);
    maxThreads_ = maximum < initial ? initial : maximum;
    idleTimeout_ = !idleTimeoutMs ? 10000 : (*idleTimeoutMs < 100 ? 100 : *idleTimeoutMs);
    stackSize_ = stackSizeForStart(stackSize);

    // A manager left over from an earlier run that stopped without waiting ends first.
    if (managerThread_) WaitForSingleObject(managerThread_.get(), INFINITE);
    managerThread_.reset();

    auto fail = [this] {
        UniqueHandle{port_.exchange(nullptr)}.reset();
        state_ = Stopped;
        return false;
    };
    if (!growEvent_ || !startedEvent_ || !taskDoneEvent_ || !gateEvent_ || !stoppedEvent_) return fail();
    ResetEvent(growEvent_.get());
    ResetEvent(startedEvent_.get());
    ResetEvent(taskDoneEvent_.get());
    ResetEvent(stoppedEvent_.get());
    SetEvent(gateEvent_.get());
    paused_ = 0;
    growSignalled_ = 0;
    doneWaiters_ = 0;
    taskEnded_ = 0;
    port_ = CreateIoCompletionPort(INVALID_HANDLE_VALUE, nullptr, 0, 0);
    if (!port_) return fail();
    accepting_ = 1;
    liveThreads_ = 0;
    busyThreads_ = 0;
    queuedTasks_ = 0;
    managerThread_.reset(CreateThread(nullptr, 8192, managerEntry, this, 0, nullptr));
    if (!managerThread_) return fail();

    auto* launch = new (std::nothrow) Launch(this);
    int created = 0;
    for (int failuresInRow = 0; launch && created < initial && failuresInRow < 5;) {
        if (createWorker(false, launch)) {
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
            const DWORD result = WaitForSingleObject(startedEvent_.get(), 20);
            if (pumpMessages) pumpPendingMessages();
            const DWORD elapsed = GetTickCount() - first;
            if (result == WAIT_OBJECT_0) {
                if (liveThreads_ >= created || elapsed > limit) break;
            } else if (elapsed > 4 * limit) {
                // A step that timed out waits again, but not forever: a worker that never begins
                // must not hold the caller.
                break;
            }
        }
    }

    // The start succeeds when a worker began in time. Otherwise the workers it made, should they
    // begin later, find their launch abandoned and leave the pool alone.
    long outcome = Launch::Undecided;
    if (launch) launch->outcome.compare_exchange_strong(outcome, Launch::Abandoned);
    const bool joined = outcome == Launch::Joined;
    if (launch) launch->release();
    if (joined) {
        state_ = Running;
        return true;
    }
    SetEvent(growEvent_.get());  // the manager sees the pool is not running and ends
    waitForManager(21, pumpMessages);
    accepting_ = 0;
    if (created == 0) return fail();
    // The abandoned workers' counts and holds go; the last hold to go tears the pool down.
    activeThreads_ -= created;
    releaseHolds(created);
    return false;
}

void ThreadPool::workerLoop(bool idleExit)
{
    nameThisThread(L"Piclade download worker");  // the program's one pool fetches the pictures
    ++liveThreads_;
    SetEvent(startedEvent_.get());
    HANDLE port = port_;
    const DWORD wait = idleExit ? static_cast<DWORD>(idleTimeout_) : INFINITE;

    for (;;) {
        DWORD bytes = 0;
        ULONG_PTR key = 0;
        LPOVERLAPPED overlapped = nullptr;
        const BOOL dequeued = GetQueuedCompletionStatus(port, &bytes, &key, &overlapped, wait);
        if (paused_) WaitForSingleObject(gateEvent_.get(), INFINITE);  // a paused pool holds its workers here
        if (!dequeued || !overlapped || reinterpret_cast<ULONG_PTR>(overlapped) == kExitMessage) break;
        if (accepting_ != 1) {
            dropPacket(key, overlapped);
            break;
        }
        const BoxedTask task = unpack(bytes, key, overlapped);
        ++busyThreads_;
        --queuedTasks_;
        task.task(task.arg1, task.arg2);
        --busyThreads_;
        // The flag is what a wait looks at; the event only wakes a thread already waiting.
        taskEnded_ = 1;
        if (doneWaiters_) SetEvent(taskDoneEvent_.get());
    }

    --liveThreads_;
    --activeThreads_;
    // The pool is torn down by the last of all its holders, not merely the last worker that
    // happened to be running: one created but not yet begun, or a stop still posting, needs the port.
    releaseHolds(1);
}

void ThreadPool::tearDown()
{
    // The last holder closes the port, after freeing any boxed task still waiting in it.
    if (const UniqueHandle port(port_.exchange(nullptr)); port) {
        DWORD bytes;
        ULONG_PTR key;
        LPOVERLAPPED overlapped;
        while (GetQueuedCompletionStatus(port.get(), &bytes, &key, &overlapped, 0) && overlapped) dropPacket(key, overlapped);
    }
    accepting_ = 0;
    liveThreads_ = 0;
    busyThreads_ = 0;
    queuedTasks_ = 0;
    SetEvent(growEvent_.get());
    SetEvent(stoppedEvent_.get());
    // Last: once the state reads stopped, the object may be destroyed or started again.
    state_ = Stopped;
}

void ThreadPool::managerLoop()
{
    WaitForSingleObject(growEvent_.get(), INFINITE);
    int failuresInRow = 0;
    while (state_ == Running) {
        growSignalled_ = 0;
        // Workers created but not yet begun count: they will take queued tasks, and counting only
        // the running ones would let the pool grow past its maximum while a new worker is slow to start.
        if (activeThreads_ < maxThreads_ && activeThreads_ < busyThreads_ + queuedTasks_) {
            if (!holdRun()) break;
            if (createWorker(true, nullptr)) {
                failuresInRow = 0;
                // A stop that came while the worker was made may not have counted it: one more exit
                // message, so that it ends too. A spare one is harmless.
                if (state_ != Running && holdRun()) {
                    postExit(port_);
                    releaseHolds(1);
                }
                WaitForSingleObject(startedEvent_.get(), static_cast<DWORD>(liveThreads_) * 10 + 1000);
            } else {
                releaseHolds(1);
                if (++failuresInRow >= 5) {
                    maxThreads_ = liveThreads_.load();
                    failuresInRow = 0;
                }
            }
        } else {
            WaitForSingleObject(growEvent_.get(), INFINITE);
        }
        if (paused_) WaitForSingleObject(gateEvent_.get(), INFINITE);
    }
}

void ThreadPool::signalGrowthIfNeeded()
{
    if (activeThreads_ < maxThreads_ && activeThreads_ < busyThreads_ + queuedTasks_ &&
        growSignalled_.exchange(1) == 0)
        SetEvent(growEvent_.get());
}
void ThreadPool::waitForManager(int steps, bool pumpMessages)
{
    if (!managerThread_) return;
    for (int step = 0; step < steps; ++step) {
        const DWORD result = WaitForSingleObject(managerThread_.get(), 20);
        if (pumpMessages) pumpPendingMessages();
        if (result == WAIT_OBJECT_0) {
            managerThread_.reset();
            return;
        }
    }
    // Still busy (creating a worker): the destructor or the next start waits for it.
}

bool ThreadPool::stop(int mode, int timeoutMs, bool pumpMessages)
{
    long previous = Running;
    state_.compare_exchange_strong(previous, Stopping);
    if (previous == Stopped) return true;
    if (previous != Running) return false;
    if (mode < 0 || mode > 3) mode = 0;
    if (mode == 0 || mode == 2) accepting_ = 0;

    SetEvent(taskDoneEvent_.get());
    SetEvent(startedEvent_.get());
    SetEvent(growEvent_.get());
    paused_ = 0;  // after the state changed: see pause
    SetEvent(gateEvent_.get());
    waitForManager(21, pumpMessages);

    // One exit message for every worker, counting those the manager has created but that have
    // not begun yet: a worker left without one would keep the pool from ever stopping. A spare
    // message is harmless; the last holder drains it. The hold keeps the port open while the
    // first workers out are already ending; without one every worker has ended.
    if (holdRun()) {
        HANDLE port = port_;
        postExit(port);
        const long workers = activeThreads_;
        for (long i = 0; i < workers; ++i) {
            postExit(port);
            if (pumpMessages && i % 100 == 99) pumpPendingMessages();
        }
        releaseHolds(1);
    }
    if (mode == 2 || mode == 3) return true;

    const DWORD started = GetTickCount();
    while (state_ == Stopping) {
        WaitForSingleObject(stoppedEvent_.get(), 20);
        if (pumpMessages) pumpPendingMessages();
        if (timeoutMs > 0 && GetTickCount() - started > static_cast<DWORD>(timeoutMs)) return false;
    }
    return true;
}

bool ThreadPool::pause()
{
    if (state_ != Running || !ResetEvent(gateEvent_.get())) return false;
    paused_ = 1;
    // A stop that changed the state before this point may have opened the gate before it was
    // closed above: open it again, or its workers would wait on the gate for ever. A stop after
    // this point opens it itself.
    if (state_ != Running) {
        paused_ = 0;
        SetEvent(gateEvent_.get());
        return false;
    }
    return true;
}

bool ThreadPool::resume()
{
    if (state_ != Running || !SetEvent(gateEvent_.get())) return false;
    paused_ = 0;
    return true;
}

bool ThreadPool::waitWhilePaused(unsigned timeoutMs)
{
    return state_ == Running && WaitForSingleObject(gateEvent_.get(), timeoutMs) == WAIT_OBJECT_0;
}

bool ThreadPool::submit(PoolTask task, intptr_t arg1, intptr_t arg2)
{
    if (state_ != Running || !task || !holdRun()) return false;
    bool posted = false;
    if (state_ == Running) {  // checked again under the hold: the port is this run's and open
        ++queuedTasks_;
        posted = postTask(port_, task, arg1, arg2);
        if (!posted) --queuedTasks_;
        signalGrowthIfNeeded();
    }
    releaseHolds(1);
    return posted;
}

bool ThreadPool::submitAddress(uintptr_t taskAddress, intptr_t arg1, intptr_t arg2)
{
    return submit(reinterpret_cast<PoolTask>(taskAddress), arg1, arg2);
}

bool ThreadPool::waitTaskDone(unsigned timeoutMs, bool pumpMessages)
{
    if (state_ != Running) return false;
    if (taskEnded_.exchange(0)) return true;
    ++doneWaiters_;
    const DWORD started = GetTickCount();
    bool done = false;
    for (;;) {
        // A task that ended, or a stop (which signals the event after changing the state).
        if (taskEnded_.exchange(0) || state_ != Running) {
            done = true;
            break;
        }
        const DWORD elapsed = GetTickCount() - started;
        if (timeoutMs != kInfinite && elapsed > timeoutMs) break;
        if (pumpMessages) pumpPendingMessages();
        const DWORD step = pumpMessages ? 20 : timeoutMs == kInfinite ? INFINITE : timeoutMs - elapsed;
        if (WaitForSingleObject(taskDoneEvent_.get(), step) != WAIT_OBJECT_0 && !pumpMessages) {
            done = taskEnded_.exchange(0) != 0;
            break;
        }
    }
    --doneWaiters_;
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
