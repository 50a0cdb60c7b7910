#include "app/app_state.h"

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

AppState& appState()
{
    static AppState state;
    return state;
}

Mutex& statusLock()
{
    static Mutex lock;
    return lock;
}

ThreadPool& downloadPool()
{
    static ThreadPool pool;
    return pool;
}

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
