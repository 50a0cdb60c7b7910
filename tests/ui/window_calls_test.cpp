// The table through which other threads hand work to a window's thread, on real windows.
#include "ui/window_calls.h"

#include <gtest/gtest.h>

#include "tests/support/other_thread.h"

namespace {

constexpr UINT kCall = WM_APP + 7;

// Serves kCall for itself; with gServeAs set, serves it as if it were that window.
HWND gServeAs = nullptr;
LRESULT CALLBACK servingProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == kCall) return window_calls::serve(gServeAs ? gServeAs : window, lParam) ? 1 : 0;
    return DefWindowProcW(window, message, wParam, lParam);
}

HWND makeServingWindow()
{
    static bool registered = false;
    if (!registered) {
        WNDCLASSW windowClass{};
        windowClass.lpfnWndProc = servingProc;
        windowClass.hInstance = GetModuleHandleW(nullptr);
        windowClass.lpszClassName = L"PicladeCallsTest";
        RegisterClassW(&windowClass);
        registered = true;
    }
    return CreateWindowExW(0, L"PicladeCallsTest", L"", WS_OVERLAPPED, 0, 0, 100, 100, nullptr, nullptr, GetModuleHandleW(nullptr), nullptr);
}

} // namespace

TEST(WindowCalls, AnotherThreadsWorkRunsOnTheWindowsThreadWhileItWaits)
{
    const HWND window = makeServingWindow();
    ASSERT_NE(window, nullptr);
    const DWORD windowThread = GetCurrentThreadId();
    DWORD ranOn = 0;
    int value = 0;
    bool sent = false;
    runOnOtherThread([&] {
        sent = window_calls::send(window, kCall, [&] {
            ranOn = GetCurrentThreadId();
            value = 42;
        });
        value += 1;  // after the work: the sender waited for it
    });
    EXPECT_TRUE(sent);
    EXPECT_EQ(ranOn, windowThread);
    EXPECT_EQ(value, 43);
    EXPECT_EQ(window_calls::pending(), 0);

    // The window's own thread runs the work at once, the same way.
    ranOn = 0;
    EXPECT_TRUE(window_calls::send(window, kCall, [&] { ranOn = GetCurrentThreadId(); }));
    EXPECT_EQ(ranOn, windowThread);
    DestroyWindow(window);
}

TEST(WindowCalls, NoWindowRunsNothing)
{
    const HWND window = makeServingWindow();
    ASSERT_NE(window, nullptr);
    DestroyWindow(window);
    bool ran = false;
    bool sent = true;
    runOnOtherThread([&] { sent = window_calls::send(window, kCall, [&] { ran = true; }); });
    EXPECT_FALSE(sent);
    EXPECT_FALSE(window_calls::send(nullptr, kCall, [&] { ran = true; }));
    EXPECT_FALSE(ran);
    EXPECT_EQ(window_calls::pending(), 0);
}

TEST(WindowCalls, AMessageFindsOnlyWorkFiledForItsWindowUnderItsNumber)
{
    const HWND window = makeServingWindow();
    const HWND other = makeServingWindow();
    ASSERT_NE(window, nullptr);
    ASSERT_NE(other, nullptr);
    // Numbers nobody filed, as a stray or forged message would carry: nothing to run.
    for (const LPARAM number : {LPARAM{0}, LPARAM{1}, LPARAM{12345}, reinterpret_cast<LPARAM>(&window)})
        EXPECT_EQ(SendMessageW(window, kCall, 0, number), 0);
    // Work filed for one window is not served by another's procedure, and is withdrawn unrun.
    bool ran = false;
    gServeAs = other;
    EXPECT_FALSE(window_calls::send(window, kCall, [&] { ran = true; }));
    gServeAs = nullptr;
    EXPECT_FALSE(ran);
    EXPECT_EQ(window_calls::pending(), 0);
    DestroyWindow(window);
    DestroyWindow(other);
}
