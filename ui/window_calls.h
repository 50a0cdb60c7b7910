// Work another thread hands to a window's thread. The caller files the work in a table under a
// fresh number and sends the window a message carrying only that number; the window's thread
// takes the work out by its number and runs it while the caller waits. A stray or forged message
// finds nothing to run, and no address ever travels in a message.
#pragma once

#include <functional>
#include <windows.h>

namespace window_calls {

// Runs `work` on the thread of `window` through `message` (which that window's procedure hands to
// serve), waiting for it. False when no window took the message (destroyed or never made): then
// nothing of `work` ran, here or there.
[[nodiscard]] bool send(HWND window, UINT message, const std::function<void()>& work);

// For the window's procedure, on its thread: runs the work filed for `window` under `number`.
// False when there is none (already served, withdrawn, or never filed).
bool serve(HWND window, LPARAM number);

// Calls filed and not yet served or withdrawn (for tests).
int pending();

} // namespace window_calls
