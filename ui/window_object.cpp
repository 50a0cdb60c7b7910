#include "ui/window_object.h"

#include <unordered_map>

#include "ui/control_handler.h"
#include "ui/held_property.h"

namespace {

// The child records a window keeps alive, by handle; every entry holds one reference.
struct ControlTable {
    std::unordered_map<HWND, WindowRecord*> byHandle;
    ~ControlTable()
    {
        for (auto& [handle, child] : byHandle) child->release();
    }
};
constexpr OwnedObject<ControlTable> kControls("Controls");

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
    SetProperty(property::EnableHover, 1);
}

Window::Window()
{
    if (!record_) return;
    record_->slots.handleMessage = windowBaseHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<noOwnCleanUp>;
}

bool Window::AddControl(WindowObject& child)
{
    WindowRecord* childRecord = child.Record();
    const HWND handle = child.GetHandle();
    if (!record_ || !childRecord || !handle) return false;
    auto [slot, added] = kControls.ensure(record_->properties).byHandle.emplace(handle, childRecord);
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
    const ControlTable* controls = record_ ? kControls.get(record_->properties) : nullptr;
    if (!controls) return nullptr;
    const auto found = controls->byHandle.find(child);
    return found == controls->byHandle.end() ? nullptr : found->second;
}

intptr_t windowBaseHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    if (message == WM_SETCURSOR) {
        const HCURSOR cursor = kCursorProperty.get(record->properties);
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
    if (kCursorProperty.get(properties)) kCursorProperty.release(properties);
    if (kFontProperty.get(properties)) kFontProperty.release(properties);
    kControls.release(properties);
}
