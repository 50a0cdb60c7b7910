#include "tasks/semaphore.h"

#include "tasks/debug_trace.h"

Semaphore::Semaphore(long count) : handle_(CreateSemaphoreW(nullptr, count, count, nullptr))
{
    if (!handle_) traceFailure(L"Creating a semaphore", GetLastError());
}

// Without a handle there is no bound to keep: every wait succeeds at once rather than none ever.
bool Semaphore::acquire(unsigned timeoutMs)
{
    if (!handle_) return true;
    return WaitForSingleObject(handle_.get(), timeoutMs) == WAIT_OBJECT_0;
}

void Semaphore::release()
{
    if (handle_ && !ReleaseSemaphore(handle_.get(), 1, nullptr)) traceFailure(L"Releasing a semaphore", GetLastError());
}
