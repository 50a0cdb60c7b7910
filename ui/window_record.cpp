#include "ui/window_record.h"

#include <new>
#include <unordered_map>

#include "ui/control_handler.h"

namespace {

std::atomic<long> gLiveRecords = 0;

std::unordered_map<HWND, WindowRecord*>& handles()
{
    static std::unordered_map<HWND, WindowRecord*> map(11);
    return map;
}

intptr_t queryRecord(WindowRecord*) { return 1; }

long addRefRecord(WindowRecord* record) { return ++record->refCount; }

long releaseRecord(WindowRecord* record)
{
    const long count = --record->refCount;
    if (count == 0) {
        // The clean-up may send messages to the window, which is still bound to the record and
        // takes and drops a reference of its own per message: one held here keeps those from
        // ending the record a second time.
        record->refCount = 1;
        record->slots.onFinalRelease(record);
        delete record;
        --gLiveRecords;
    }
    return count;
}

intptr_t ignoreReflected(WindowRecord*, HWND, UINT, WPARAM, LPARAM, int*) { return 0; }

} // namespace

WindowRecord* WindowRecord::create()
{
    auto* record = new (std::nothrow) WindowRecord();
    if (!record) return nullptr;
    record->slots = {queryRecord, addRefRecord, releaseRecord, controlHandleMessage, ignoreReflected, detachRecord};
    ++gLiveRecords;
    return record;
}

long liveWindowRecords() { return gLiveRecords; }

WindowRecord* handle_map::find(HWND window)
{
    const auto found = handles().find(window);
    return found == handles().end() ? nullptr : found->second;
}

void handle_map::add(HWND window, WindowRecord* record) { handles()[window] = record; }

void handle_map::remove(HWND window) { handles().erase(window); }

int handle_map::size() { return static_cast<int>(handles().size()); }

intptr_t keyStateMask()
{
    intptr_t mask = 0;
    if (GetAsyncKeyState(VK_CONTROL) & 0x8000) mask |= 1;
    if (GetAsyncKeyState(VK_SHIFT) & 0x8000) mask |= 2;
    if (GetAsyncKeyState(VK_MENU) & 0x8000) mask |= 4;
    return mask;
}

intptr_t raiseEvent(WindowRecord* record, const char* event, bool* bound, intptr_t a1, intptr_t a2, intptr_t a3,
                    intptr_t a4, intptr_t a5, intptr_t a6, intptr_t a7)
{
    const auto handler = reinterpret_cast<EventHandler>(record->properties.get(event));
    if (bound) *bound = handler != nullptr;
    return handler ? handler(a1, a2, a3, a4, a5, a6, a7) : 0;
}

LRESULT CALLBACK commonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    WindowRecord* record = handle_map::find(window);
    if (record) {
        // Kept alive through its own message, whatever the handlers release.
        record->addRef();
        int handled = 0;
        const intptr_t result = record->slots.handleMessage(record, window, message, wParam, lParam, &handled);
        const auto oldProc = reinterpret_cast<WNDPROC>(record->properties.get(property::OldWndProc));
        record->release();
        if (handled) return result;
        if (oldProc) return CallWindowProcW(oldProc, window, message, wParam, lParam);
        // Detached during the message (WM_NCDESTROY): the procedure it had is back in place.
        const auto current = reinterpret_cast<WNDPROC>(GetWindowLongPtrW(window, GWLP_WNDPROC));
        if (current && current != commonWindowProc) return CallWindowProcW(current, window, message, wParam, lParam);
    }
    return DefWindowProcW(window, message, wParam, lParam);
}
