#include "tasks/message_pump.h"

#include <windows.h>

namespace {

// How often a wait looks at its condition when no message wakes it.
constexpr DWORD kSliceMs = 15;

} // namespace

void pumpPendingMessages()
{
    MSG message;
    while (PeekMessageW(&message, nullptr, 0, 0, PM_REMOVE)) {
        if (message.message == WM_QUIT) {
            // A quit request belongs to the message loop that owns this thread: put it back.
            PostQuitMessage(static_cast<int>(message.wParam));
            return;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
}

void waitServing(unsigned milliseconds)
{
    if (milliseconds < kSliceMs) {
        Sleep(milliseconds);
        pumpPendingMessages();
        return;
    }
    // Whole slices while time is left, then the remainder once.
    const DWORD start = GetTickCount();
    for (unsigned round = 0; round < milliseconds / kSliceMs && GetTickCount() - start < milliseconds; ++round) {
        Sleep(kSliceMs);
        pumpPendingMessages();
    }
    if (GetTickCount() - start < milliseconds && milliseconds % kSliceMs >= 1) {
        Sleep(milliseconds % kSliceMs);
        pumpPendingMessages();
    }
}

bool waitServing(unsigned milliseconds, const std::function<bool()>& done)
{
    const DWORD start = GetTickCount();
    for (;;) {
        if (done()) return true;
        const DWORD spent = GetTickCount() - start;
        if (spent >= milliseconds) return false;
        const DWORD left = milliseconds - spent;
        Sleep(left < kSliceMs ? left : kSliceMs);
        pumpPendingMessages();
    }
}

bool waitServing(void* object)
{
    HANDLE handle = object;
    for (;;) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_SENDMESSAGE);
        if (woken == WAIT_OBJECT_0 || woken == WAIT_ABANDONED_0) return true;
        if (woken != WAIT_OBJECT_0 + 1) return false;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // serves sent messages
    }
}
