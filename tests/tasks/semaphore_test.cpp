#include "tasks/semaphore.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <vector>

namespace {

struct Crowd {
    Semaphore* places;
    std::atomic<long> inside{0};
    std::atomic<long> most{0};
    std::atomic<long> entries{0};
    std::atomic<long> refused{0};
    ULONGLONG giveUpAt = GetTickCount64() + 20000;  // a broken semaphore fails the test, not hangs it
};

// Many rounds of take a place, stay a moment, give it back, noting how many were inside at once.
DWORD WINAPI enterRepeatedly(void* parameter)
{
    auto& crowd = *static_cast<Crowd*>(parameter);
    for (int round = 0; round < 300 && GetTickCount64() < crowd.giveUpAt; ++round) {
        if (!crowd.places->acquire(2000)) {
            ++crowd.refused;
            continue;
        }
        const long now = ++crowd.inside;
        for (long seen = crowd.most.load(); now > seen && !crowd.most.compare_exchange_weak(seen, now);) {
        }
        ++crowd.entries;
        if (round % 3 == 0) Sleep(0);  // give the others a chance to crowd in
        --crowd.inside;
        crowd.places->release();
    }
    return 0;
}

struct Waiter {
    Semaphore* places;
    bool took = false;
};

DWORD WINAPI waitLong(void* parameter)
{
    auto& waiter = *static_cast<Waiter*>(parameter);
    waiter.took = waiter.places->acquire(10000);
    return 0;
}

} // namespace

TEST(Semaphore, NeverMoreHoldersThanPlacesAndEveryoneGetsIn)
{
    Semaphore places(3);
    Crowd crowd{&places};
    std::vector<HANDLE> threads;
    for (int i = 0; i < 8; ++i) threads.push_back(CreateThread(nullptr, 0, enterRepeatedly, &crowd, 0, nullptr));
    for (HANDLE thread : threads) {
        ASSERT_NE(thread, nullptr);
        EXPECT_EQ(WaitForSingleObject(thread, 60000), WAIT_OBJECT_0);
        CloseHandle(thread);
    }
    EXPECT_LE(crowd.most.load(), 3);
    EXPECT_GE(crowd.most.load(), 1);
    EXPECT_EQ(crowd.refused.load(), 0);
    EXPECT_EQ(crowd.entries.load(), 8 * 300);
    // Every place came back: all three can be taken again, a fourth cannot.
    for (int i = 0; i < 3; ++i) EXPECT_TRUE(places.acquire(0));
    EXPECT_FALSE(places.acquire(0));
}

TEST(Semaphore, AFullSemaphoreRefusesOnceItsTimeIsUp)
{
    Semaphore places(1);
    ASSERT_TRUE(places.acquire(0));
    const ULONGLONG before = GetTickCount64();
    EXPECT_FALSE(places.acquire(60));
    EXPECT_GE(GetTickCount64() - before, 50u);  // it waited, and did not give up at once
    places.release();
    EXPECT_TRUE(places.acquire(0));
}

TEST(Semaphore, AReleasedPlaceGoesToAThreadThatWaits)
{
    Semaphore places(1);
    ASSERT_TRUE(places.acquire(0));
    Waiter waiter{&places};
    HANDLE thread = CreateThread(nullptr, 0, waitLong, &waiter, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    Sleep(100);
    EXPECT_EQ(WaitForSingleObject(thread, 0), static_cast<DWORD>(WAIT_TIMEOUT));  // still waiting for the place
    places.release();
    EXPECT_EQ(WaitForSingleObject(thread, 5000), WAIT_OBJECT_0);
    CloseHandle(thread);
    EXPECT_TRUE(waiter.took);
    EXPECT_FALSE(places.acquire(0));  // the waiter holds it now
}
