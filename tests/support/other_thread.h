// Runs work on a thread of its own, as a job or a pool worker would, while the calling (window's)
// thread serves the messages sent to its windows, as the program's message loop does.
#pragma once

#include <functional>
#include <gtest/gtest.h>
#include <windows.h>

// A thread routine has the system's calling convention, which on x86 no lambda has.
inline DWORD WINAPI runWork(void* work)
{
    (*static_cast<const std::function<void()>*>(work))();
    return 0;
}

inline void runOnOtherThread(const std::function<void()>& work)
{
    HANDLE thread = CreateThread(nullptr, 0, runWork, const_cast<std::function<void()>*>(&work), 0, nullptr);
    ASSERT_NE(thread, nullptr);
    const DWORD start = GetTickCount();
    while (MsgWaitForMultipleObjects(1, &thread, FALSE, 1000, QS_ALLINPUT) != WAIT_OBJECT_0 && GetTickCount() - start < 10000) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
    }
    EXPECT_EQ(WaitForSingleObject(thread, 0), WAIT_OBJECT_0) << "the other thread never ended";
    CloseHandle(thread);
}

// Serves the calling thread's messages for `ms`.
inline void serveMessagesFor(DWORD ms)
{
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < ms) {
        MSG message;
        while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&message);
        MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    }
}
