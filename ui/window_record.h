// The record behind every window object: a reference count, the window's named properties and a
// table of six operations that each class fills in for its records. The process-wide handle map
// finds the record of a window from its handle.
#pragma once

#include <atomic>
#include <cstdint>
#include <windows.h>

#include "ui/property_names.h"
#include "ui/property_table.h"

struct WindowRecord;

// A handler bound to an event by name: always called with seven values (those an event does not
// define are 0), the first being the window handle.
using EventHandler = intptr_t (*)(intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);

// Slot 3 and 4: one message for the record; `handled` starts at 0 and is set by whoever
// answered the message.
using MessageSlot = intptr_t (*)(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                 int* handled);
using RecordSlot = void (*)(WindowRecord* record);

struct RecordSlots {
    intptr_t (*query)(WindowRecord*);
    long (*addRef)(WindowRecord*);
    long (*release)(WindowRecord*);
    MessageSlot handleMessage;
    MessageSlot handleReflected;
    RecordSlot onFinalRelease;
};

struct WindowRecord {
    RecordSlots slots;  // the record's own copy: a class may replace entries record by record
    std::atomic<long> refCount = 1;
    PropertyTable properties;

    // A new record with one reference and the plain control's slots; null when memory runs out.
    static WindowRecord* create();
    long addRef() { return slots.addRef(this); }
    long release() { return slots.release(this); }

    HWND handle() const { return reinterpret_cast<HWND>(properties.get(property::Window)); }
};

// Every window the framework knows, by handle. Holds no reference on the records.
namespace handle_map {
WindowRecord* find(HWND window);
void add(HWND window, WindowRecord* record);
void remove(HWND window);
int size();
} // namespace handle_map

// Bit 1 Ctrl, bit 2 Shift, bit 4 Alt, from the asynchronous key state.
intptr_t keyStateMask();

// Calls the handler bound under `event`, if any; `bound` tells whether one was.
intptr_t raiseEvent(WindowRecord* record, const char* event, bool* bound, intptr_t a1 = 0, intptr_t a2 = 0,
                    intptr_t a3 = 0, intptr_t a4 = 0, intptr_t a5 = 0, intptr_t a6 = 0, intptr_t a7 = 0);

// The window procedure of every attached window: the record's slot 3 first, then the procedure
// the window had before, or the default one.
LRESULT CALLBACK commonWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);

// Number of records alive in the process (for leak checks).
long liveWindowRecords();
