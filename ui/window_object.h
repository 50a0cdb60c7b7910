// A window object: the program's handle on one window (or control) of the framework, holding one
// counted reference on its WindowRecord. Properties, events bound by name, and Attach/Detach.
#pragma once

#include <string_view>

#include "ui/control_handler.h"
#include "ui/window_operations.h"

class WindowObject : public WindowOperations {
public:
    WindowObject();
    virtual ~WindowObject();
    WindowObject(const WindowObject&) = delete;
    WindowObject& operator=(const WindowObject&) = delete;

    intptr_t GetProperty(std::string_view name) const { return record_ ? record_->properties.get(name) : 0; }
    bool SetProperty(std::string_view name, intptr_t value) { return record_ && record_->properties.set(name, value); }
    bool RemoveProperty(std::string_view name) { return record_ && record_->properties.remove(name); }
    bool HasProperty(std::string_view name) const { return record_ && record_->properties.has(name); }
    HWND GetHandle() const { return record_ ? record_->handle() : nullptr; }
    WindowRecord* Record() const { return record_; }

    bool Attach(HWND window) { return record_ && attachRecord(record_, window); }
    void Detach();

    // Binds a handler to an event by name; a null handler unbinds it.
    void Bind(const char* event, EventHandler handler);
    void OnWndMsg(EventHandler h) { Bind(property::OnWndMsg, h); }
    void OnPaint(EventHandler h) { Bind("OnPaint", h); }
    void OnLButtonDown(EventHandler h) { Bind("OnLButtonDown", h); }
    void OnLButtonUp(EventHandler h) { Bind("OnLButtonUp", h); }
    void OnLButtonDblClk(EventHandler h) { Bind("OnLButtonDblClk", h); }
    void OnRButtonDown(EventHandler h) { Bind("OnRButtonDown", h); }
    void OnRButtonUp(EventHandler h) { Bind("OnRButtonUp", h); }
    void OnMouseMove(EventHandler h) { Bind("OnMouseMove", h); }
    // The hover events also switch hover tracking on (by the presence of EnlableHover).
    void OnMouseIn(EventHandler h) { bindHover("OnMouseIn", h); }
    void OnMouseHover(EventHandler h) { bindHover("OnMouseHover", h); }
    void OnMouseLeave(EventHandler h) { bindHover("OnMouseLeave", h); }
    void OnSetFocus(EventHandler h) { Bind("OnSetFocus", h); }
    void OnKillFocus(EventHandler h) { Bind("OnKillFocus", h); }
    void OnKeyDown(EventHandler h) { Bind("OnKeyDown", h); }
    void OnKeyUp(EventHandler h) { Bind("OnKeyUp", h); }
    void OnMouseWheel(EventHandler h) { Bind("OnMouseWheel", h); }
    void OnChar(EventHandler h) { Bind("OnChar", h); }
    void OnDropFiles(EventHandler h) { Bind("OnDropFiles", h); }
    void OnTimer(EventHandler h) { Bind("OnTimer", h); }

protected:
    WindowRecord* record() const override { return record_; }
    void bindHover(const char* event, EventHandler handler);

    WindowRecord* record_;
};

// The base of every framework window class: cursor handling ahead of the control handler, and
// clean-up of the cursor, font and child objects the window owns.
class Window : public WindowObject {
public:
    Window();

    // Child objects the window keeps alive until it is destroyed, found by their handles.
    bool AddControl(WindowObject& child);
    WindowRecord* FindControl(HWND child) const;
};

intptr_t windowBaseHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
void windowBaseCleanUp(WindowRecord* record);

// The last reference on a record of a window class goes: the class's own clean-up, then the
// window base's, then the record lets go of its window (which may still exist).
template <RecordSlot OwnCleanUp>
void finalReleaseAfter(WindowRecord* record)
{
    OwnCleanUp(record);
    windowBaseCleanUp(record);
    detachRecord(record);
}
inline void noOwnCleanUp(WindowRecord*) {}
