// The message handling every window object shares: events by name, reflection of notifications
// to the child controls they concern, hover tracking, dropped files, the layout notification and
// mnemonic clicks. Runs on the GUI thread.
#pragma once

#include "ui/gdi_holders.h"
#include "ui/held_property.h"
#include "ui/private_messages.h"
#include "ui/window_record.h"

// The layout object that places a window's children; the window holds a reference on it.
inline constexpr RecordReference kLayoutReference("qvLayout");
// The window's own copy of the cursor shown over its client area, and the font it was given.
inline constexpr OwnedHandle<UniqueCursor> kCursorProperty("hCursor");
inline constexpr OwnedHandle<UniqueFont> kFontProperty("hFont");

intptr_t controlHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);

// Unbinds the record from its window: the window's old procedure comes back, the handle leaves
// the handle map, and the layout object is let go.
void detachRecord(WindowRecord* record);

// Binds the record to an existing window (subclassing it). When the window is already known, the
// caller's record is exchanged for the known one, so two objects share one window.
bool attachRecord(WindowRecord*& record, HWND window);

// Sends a message to the record of `target`'s slot 4, as the control's own notification.
intptr_t reflectTo(HWND target, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
