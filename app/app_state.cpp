#include "app/app_state.h"

#include <windows.h>

#include "app/runtime.h"
#include "tasks/message_pump.h"

std::string SharedText::get() const
{
    Locked hold(lock_);
    return value_;
}

void SharedText::set(std::string_view value)
{
    std::string copy(value);
    Locked hold(lock_);
    value_.swap(copy);
}

AppState& appState() { return runtime().state; }

Mutex& statusLock() { return runtime().statusLock; }

StatusHold::StatusHold()
{
    HANDLE lock = statusLock().getHandle();
    while (lock) {
        const DWORD woken = MsgWaitForMultipleObjects(1, &lock, FALSE, INFINITE, QS_SENDMESSAGE);
        // An abandoned lock is owned all the same: the worker that held it is gone.
        if (woken == WAIT_OBJECT_0 || woken == WAIT_ABANDONED_0) {
            held_ = true;
            return;
        }
        if (woken != WAIT_OBJECT_0 + 1) return;
        MSG message;
        PeekMessageW(&message, nullptr, 0, 0, PM_NOREMOVE | PM_QS_SENDMESSAGE);  // serves sent messages
    }
}

StatusHold::~StatusHold()
{
    if (held_) ReleaseMutex(statusLock().getHandle());
}

ThreadPool& downloadPool() { return runtime().pool; }

void waitServing(unsigned milliseconds)
{
    if (milliseconds <= 14) {
        Sleep(milliseconds);
        pumpPendingMessages();
        return;
    }
    const DWORD start = GetTickCount();
    for (unsigned round = 0; round < milliseconds / 15 && GetTickCount() - start < milliseconds; ++round) {
        Sleep(15);
        pumpPendingMessages();
    }
    const DWORD elapsed = GetTickCount() - start;
    if (elapsed < milliseconds && milliseconds % 15 >= 1) {
        Sleep(milliseconds % 15);
        pumpPendingMessages();
    }
}
