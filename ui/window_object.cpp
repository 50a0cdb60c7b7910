#include "ui/window_object.h"

#include <unordered_map>

#include "ui/control_handler.h"

namespace {

using ControlTable = std::unordered_map<HWND, WindowRecord*>;

ControlTable* controlsOf(WindowRecord* record)
{
    return reinterpret_cast<ControlTable*>(record->properties.get("Controls"));
}

void windowBaseFinalRelease(WindowRecord* record)
{
    windowBaseCleanUp(record);
    detachRecord(record);
}

} // namespace

WindowObject::WindowObject() : record_(WindowRecord::create()) {}

WindowObject::~WindowObject()
{
    if (record_) record_->release();
}

void WindowObject::Detach()
{
    if (record_) detachRecord(record_);
}

void WindowObject::Bind(const char* event, EventHandler handler)
{
    SetProperty(event, reinterpret_cast<intptr_t>(handler));
}

void WindowObject::bindHover(const char* event, EventHandler handler)
{
    Bind(event, handler);
    SetProperty("EnlableHover", 1);
}

Window::Window()
{
    if (!record_) return;
    record_->slots.handleMessage = windowBaseHandleMessage;
    record_->slots.onFinalRelease = windowBaseFinalRelease;
}

bool Window::AddControl(WindowObject& child)
{
    WindowRecord* childRecord = child.Record();
    const HWND handle = child.GetHandle();
    if (!record_ || !childRecord || !handle) return false;
    ControlTable* controls = controlsOf(record_);
    if (!controls) {
        controls = new ControlTable();
        SetProperty("Controls", reinterpret_cast<intptr_t>(controls));
    }
    auto [slot, added] = controls->emplace(handle, childRecord);
    if (!added) {
        if (slot->second == childRecord) return true;
        slot->second->release();
        slot->second = childRecord;
    }
    childRecord->addRef();
    return true;
}

WindowRecord* Window::FindControl(HWND child) const
{
    const ControlTable* controls = record_ ? controlsOf(record_) : nullptr;
    if (!controls) return nullptr;
    const auto found = controls->find(child);
    return found == controls->end() ? nullptr : found->second;
}

intptr_t windowBaseHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    if (message == WM_SETCURSOR) {
        const auto cursor = reinterpret_cast<HCURSOR>(record->properties.get("hCursor"));
        if (cursor && LOWORD(lParam) == HTCLIENT && reinterpret_cast<HWND>(wParam) == record->handle()) {
            *handled = 1;
            return reinterpret_cast<intptr_t>(SetCursor(cursor));
        }
    }
    if (message == WM_NCDESTROY) windowBaseCleanUp(record);
    return controlHandleMessage(record, window, message, wParam, lParam, handled);
}

void windowBaseCleanUp(WindowRecord* record)
{
    PropertyTable& properties = record->properties;
    if (const intptr_t cursor = properties.get("hCursor")) {
        DestroyCursor(reinterpret_cast<HCURSOR>(cursor));
        properties.remove("hCursor");
    }
    if (const intptr_t font = properties.get("hFont")) {
        DeleteObject(reinterpret_cast<HFONT>(font));
        properties.remove("hFont");
    }
    if (ControlTable* controls = controlsOf(record)) {
        properties.remove("Controls");
        for (auto& [handle, child] : *controls) child->release();
        delete controls;
    }
}
