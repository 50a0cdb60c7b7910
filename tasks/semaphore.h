// A counting semaphore: at most `count` holders at once, across threads.
#pragma once

#include "tasks/unique_handle.h"

class Semaphore {
public:
    explicit Semaphore(long count);
    Semaphore(const Semaphore&) = delete;
    Semaphore& operator=(const Semaphore&) = delete;

    // True when a place was taken within `timeoutMs`; the caller gives it back with release().
    [[nodiscard]] bool acquire(unsigned timeoutMs);
    void release();

private:
    UniqueHandle handle_;
};
