// A pool of worker threads fed by one I/O completion port. A few core workers stay; extra
// workers are added while tasks wait and every worker is busy (up to a maximum) and end after an
// idle time-out. The pool can be paused and resumed, and stops in one of four ways:
//   mode 0: drop queued tasks, wait for the workers to end;  mode 1: run queued tasks first, wait;
//   mode 2: drop queued tasks, return at once;               mode 3: run queued tasks, return at once.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>

#include "tasks/unique_handle.h"

using PoolTask = void (*)(intptr_t arg1, intptr_t arg2);

class ThreadPool {
public:
    enum State : long { Stopped = 0, Running = 1, Starting = 2, Stopping = 3 };
    static constexpr unsigned kInfinite = 0xFFFFFFFF;

    ThreadPool();
    // Stops with mode 2, then waits until every thread of the pool has ended, so that no worker
    // can outlive the object it runs on.
    ~ThreadPool();
    ThreadPool(const ThreadPool&) = delete;
    ThreadPool& operator=(const ThreadPool&) = delete;

    // initialThreads below 1 becomes 1 (5 when not given); maxThreads defaults to 20 and is never
    // below the initial count; idleTimeout defaults to 10000 ms with a floor of 100; a stack size
    // of 1..8191 becomes 8192, larger ones are rounded down to a multiple of 4096 (0: default).
    // Every value given is used, -1 included; a stack size of 0 or less means the default.
    bool start(std::optional<int> initialThreads = {}, std::optional<int> maxThreads = {},
               std::optional<int> idleTimeoutMs = {}, bool pumpMessages = false, std::optional<int> stackSize = {});
    // timeoutMs (modes 0 and 1) bounds the wait for the workers; 0 or less waits as long as it takes.
    bool stop(int mode = 0, int timeoutMs = 0, bool pumpMessages = false);

    bool pause();
    bool resume();
    bool waitWhilePaused(unsigned timeoutMs = kInfinite);
    // Paused: workers take no new task until resumed (tasks running now go on).
    bool isPaused() const { return paused_ != 0; }

    // False when the pool is not running, the task is empty or the port refused the packet.
    bool submit(PoolTask task, intptr_t arg1 = 0, intptr_t arg2 = 0);
    bool submitAddress(uintptr_t taskAddress, intptr_t arg1 = 0, intptr_t arg2 = 0);
    // Waits for the end of any task (not a particular one). A task that ended since the last
    // successful wait counts: such a wait returns at once.
    bool waitTaskDone(unsigned timeoutMs = kInfinite, bool pumpMessages = false);

    int idleThreads() const { return liveThreads_ - busyThreads_; }
    int busyCount() const { return busyThreads_; }
    int pendingTaskCount() const { return queuedTasks_; }
    int threadCount() const { return liveThreads_; }
    int maxThreadCount() const { return maxThreads_; }
    // No task queued and none running. Queued is counted down only after busy is counted up, so a
    // task on its way from the queue to a worker never looks idle.
    bool isIdle() const { return queuedTasks_ == 0 && busyThreads_ == 0; }
    int currentState() const { return state_; }
    int idleTimeout() const { return idleTimeout_; }
    int stackSize() const { return stackSize_; }

    bool setMaxThreads(int count);
    bool setIdleTimeout(int ms);
    bool setStackSize(int bytes);

private:
    struct Launch;
    static unsigned long __stdcall workerEntry(void* param);
    static unsigned long __stdcall extraWorkerEntry(void* param);
    static unsigned long __stdcall managerEntry(void* param);
    void workerLoop(bool idleExit);
    void managerLoop();
    bool createWorker(bool idleExit, Launch* launch);
    bool holdRun();
    void releaseHolds(long count);
    void signalGrowthIfNeeded();
    void tearDown();
    void closeAll();
    void waitForManager(int steps, bool pumpMessages);

    std::atomic<long> state_ = Stopped;
    std::atomic<HANDLE> port_ = nullptr;  // swapped out by whoever tears the pool down
    std::atomic<long> accepting_ = 0;
    UniqueHandle growEvent_;      // auto-reset: wakes the manager
    UniqueHandle startedEvent_;   // auto-reset: a worker has begun
    UniqueHandle taskDoneEvent_;  // auto-reset: a task has ended
    UniqueHandle gateEvent_;      // manual-reset: reset while paused
    UniqueHandle stoppedEvent_;   // manual-reset, lives with the object: the last worker has ended
    std::atomic<long> liveThreads_ = 0;
    std::atomic<long> busyThreads_ = 0;
    std::atomic<long> queuedTasks_ = 0;
    std::atomic<long> activeThreads_ = 0;  // workers created and not yet returned, begun or not
    // Holds on the running pool: one per worker created, and one for every submit or stop while it
    // posts to the port. Whoever drops the last one tears the pool down, so no post ever reaches
    // a closed port.
    std::atomic<long> holders_ = 0;
    UniqueHandle managerThread_;
    std::atomic<long> maxThreads_ = 0;
    std::atomic<long> idleTimeout_ = 10000;
    std::atomic<long> stackSize_ = 0;
    // Each event signal is a kernel call; these skip the ones nobody needs.
    std::atomic<long> paused_ = 0;          // workers look at the gate only while this is set
    std::atomic<long> doneWaiters_ = 0;     // threads inside waitTaskDone
    std::atomic<long> taskEnded_ = 0;       // a task ended since the last successful waitTaskDone
    std::atomic<long> growSignalled_ = 0;   // growEvent is already set for the manager
};
