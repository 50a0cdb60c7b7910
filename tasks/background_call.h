// A call run on a thread of its own while the caller goes on with other work. The object waits
// for the thread before it goes, so the call never outlives what it uses. When no thread can be
// made, the call runs at once, on the caller's thread, before the constructor returns.
#pragma once

#include <functional>

#include "tasks/unique_handle.h"

class BackgroundCall {
public:
    // `name` names the thread for debuggers.
    BackgroundCall(const wchar_t* name, std::function<void()> call);
    // Waits until the call returned, serving the messages sent to the caller's windows meanwhile.
    ~BackgroundCall();
    BackgroundCall(const BackgroundCall&) = delete;
    BackgroundCall& operator=(const BackgroundCall&) = delete;

    // Signalled once the call returned; null when it ran on the caller's thread (it has returned).
    HANDLE done() const { return thread_.get(); }
    bool finished() const { return !thread_ || WaitForSingleObject(thread_.get(), 0) == WAIT_OBJECT_0; }

private:
    static unsigned long __stdcall entry(void* self);

    const wchar_t* name_;
    std::function<void()> call_;
    UniqueHandle thread_;
};
