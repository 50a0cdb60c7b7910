#include "ui/window_calls.h"

#include <unordered_map>

namespace {

struct Filed {
    HWND window;
    const std::function<void()>* work;  // the waiting caller's, alive until it withdraws or is served
};

// The table and its lock are shared by every thread; the work itself runs outside the lock.
struct CallTable {
    SRWLOCK lock = SRWLOCK_INIT;
    LPARAM last = 0;
    std::unordered_map<LPARAM, Filed> calls;
};

CallTable& table()
{
    static CallTable calls;
    return calls;
}

LPARAM file(HWND window, const std::function<void()>& work)
{
    CallTable& t = table();
    AcquireSRWLockExclusive(&t.lock);
    // 0 is never a number: a message sent without one finds nothing.
    do {
        ++t.last;
    } while (t.last == 0 || t.calls.count(t.last));
    const LPARAM number = t.last;
    t.calls.emplace(number, Filed{window, &work});
    ReleaseSRWLockExclusive(&t.lock);
    return number;
}

// The work filed under `number` for `window`, out of the table; null when there is none.
const std::function<void()>* takeOut(HWND window, LPARAM number)
{
    CallTable& t = table();
    AcquireSRWLockExclusive(&t.lock);
    const std::function<void()>* work = nullptr;
    const auto found = t.calls.find(number);
    if (found != t.calls.end() && found->second.window == window) {
        work = found->second.work;
        t.calls.erase(found);
    }
    ReleaseSRWLockExclusive(&t.lock);
    return work;
}

} // namespace

bool window_calls::send(HWND window, UINT message, const std::function<void()>& work)
{
    if (!window || !IsWindow(window)) return false;
    const LPARAM number = file(window, work);
    SendMessageW(window, message, 0, number);
    // Still filed: no procedure served it (the window went meanwhile), and now none ever will.
    return takeOut(window, number) == nullptr;
}

bool window_calls::serve(HWND window, LPARAM number)
{
    const std::function<void()>* work = takeOut(window, number);
    if (!work) return false;
    (*work)();
    return true;
}

int window_calls::pending()
{
    CallTable& t = table();
    AcquireSRWLockShared(&t.lock);
    const int count = static_cast<int>(t.calls.size());
    ReleaseSRWLockShared(&t.lock);
    return count;
}
