// A counting semaphore within the process: at most `count` holders at once, across threads.
// A slim lock and a condition variable rather than a kernel semaphore: taking and giving back a
// place never leaves the process, which matters where every picture request waits for one.
#pragma once

#include <windows.h>

class Semaphore {
public:
    explicit Semaphore(long count) : available_(count) {}
    // The lock and the condition variable are used where they were made: never copied or moved.
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // True when a place was taken within `timeoutMs`; the caller gives it back with release().
    [[nodiscard]] bool acquire(unsigned timeoutMs);
    void release();

private:
    SRWLOCK lock_ = SRWLOCK_INIT;
    CONDITION_VARIABLE freed_ = CONDITION_VARIABLE_INIT;
    long available_;
};
