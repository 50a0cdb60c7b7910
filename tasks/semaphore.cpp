#include "tasks/semaphore.h"

bool Semaphore::acquire(unsigned timeoutMs)
{
    const ULONGLONG deadline = GetTickCount64() + timeoutMs;
    AcquireSRWLockExclusive(&lock_);
    // A sleeper may wake without a place for it (a spurious wake, or another thread took the place
    // first): it looks again, for what is left of its time.
    while (available_ == 0) {
        const ULONGLONG now = GetTickCount64();
        if (now >= deadline) {
            ReleaseSRWLockExclusive(&lock_);
            return false;
        }
        static_cast<void>(SleepConditionVariableSRW(&freed_, &lock_, static_cast<DWORD>(deadline - now), 0));
    }
    --available_;
    ReleaseSRWLockExclusive(&lock_);
    return true;
}

void Semaphore::release()
{
    AcquireSRWLockExclusive(&lock_);
    ++available_;
    ReleaseSRWLockExclusive(&lock_);
    WakeConditionVariable(&freed_);
}
