#include "tasks/mutex.h"

#include <gtest/gtest.h>
#include <windows.h>

namespace {

struct TryLock {
    Mutex* mutex;
    bool acquired = false;
};

DWORD WINAPI tryLockBriefly(void* param)
{
    auto* attempt = static_cast<TryLock*>(param);
    attempt->acquired = attempt->mutex->lock(50);
    if (attempt->acquired) attempt->mutex->unlock();
    return 0;
}

bool lockedElsewhere(Mutex& mutex)
{
    TryLock attempt{&mutex};
    HANDLE thread = CreateThread(nullptr, 0, tryLockBriefly, &attempt, 0, nullptr);
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
    return attempt.acquired;
}

} // namespace

TEST(Mutex, LockExcludesOtherThreads)
{
    Mutex mutex;
    EXPECT_FALSE(mutex.isValid());
    EXPECT_FALSE(mutex.lock());
    EXPECT_FALSE(mutex.unlock());
    ASSERT_TRUE(mutex.create());
    void* first = mutex.getHandle();
    EXPECT_TRUE(mutex.create());  // a second create keeps the first handle
    EXPECT_EQ(mutex.getHandle(), first);

    EXPECT_TRUE(lockedElsewhere(mutex));
    ASSERT_TRUE(mutex.lock());
    EXPECT_FALSE(lockedElsewhere(mutex));
    EXPECT_TRUE(mutex.unlock());
    EXPECT_TRUE(lockedElsewhere(mutex));
}

TEST(Mutex, ScopedLockReleasesOnExit)
{
    Mutex mutex;
    ASSERT_TRUE(mutex.create());
    {
        MutexLock hold(mutex);
        EXPECT_TRUE(hold.isHeld());
        EXPECT_FALSE(lockedElsewhere(mutex));
    }
    EXPECT_TRUE(lockedElsewhere(mutex));
}

TEST(Mutex, NamedMutexesAreShared)
{
    Mutex owner, other;
    ASSERT_TRUE(owner.create(false, "Piclade测试互斥"));
    ASSERT_TRUE(other.openExisting(false, "Piclade测试互斥"));
    ASSERT_TRUE(owner.lock());
    EXPECT_FALSE(lockedElsewhere(other));
    owner.unlock();
    EXPECT_TRUE(other.close());
    EXPECT_FALSE(other.isValid());
    EXPECT_TRUE(other.close());
    Mutex missing;
    EXPECT_FALSE(missing.openExisting(false, "PicladeNoSuchMutex"));
}
