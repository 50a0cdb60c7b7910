// A call on a thread of its own: it runs beside the caller, says when it returned, and the object
// never goes before it did.
#include "tasks/background_call.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>

TEST(BackgroundCall, RunsBesideTheCallerAndIsWaitedForAtTheEnd)
{
    const DWORD caller = GetCurrentThreadId();
    DWORD ranOn = 0;
    std::atomic<bool> returned{false};
    const UniqueHandle go(CreateEventW(nullptr, TRUE, FALSE, nullptr));
    {
        const BackgroundCall call(L"test call", [&] {
            ranOn = GetCurrentThreadId();
            WaitForSingleObject(go.get(), 5000);
            Sleep(200);  // still running when the object is asked to go
            returned = true;
        });
        ASSERT_NE(call.done(), nullptr);
        EXPECT_FALSE(call.finished());  // held until told to go on
        SetEvent(go.get());
    }
    EXPECT_TRUE(returned);  // the object waited for the call
    EXPECT_NE(ranOn, caller);
}

TEST(BackgroundCall, SaysWhenTheCallReturned)
{
    const BackgroundCall call(L"test call", [] {});
    EXPECT_EQ(WaitForSingleObject(call.done(), 5000), WAIT_OBJECT_0);
    EXPECT_TRUE(call.finished());
}
