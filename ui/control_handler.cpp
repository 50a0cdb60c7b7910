#include "ui/control_handler.h"

#include <commctrl.h>
#include <shellapi.h>
#include <string>
#include <vector>

namespace {

intptr_t signedLow(LPARAM value) { return static_cast<int16_t>(LOWORD(value)); }
intptr_t signedHigh(LPARAM value) { return static_cast<int16_t>(HIWORD(value)); }

intptr_t handlerFor(WindowRecord* record, const char* event) { return record->properties.get(event); }

// Mouse-button style events: handled only for a nonzero answer.
intptr_t mouseEvent(WindowRecord* record, const char* event, HWND window, LPARAM lParam, int* handled)
{
    bool bound = false;
    const intptr_t result = raiseEvent(record, event, &bound, reinterpret_cast<intptr_t>(window), signedLow(lParam),
                                       signedHigh(lParam), keyStateMask());
    if (bound && result) *handled = 1;
    return result;
}

void trackHover(WindowRecord* record, HWND window, LPARAM lParam)
{
    if (!record->properties.has(property::EnableHover) || record->properties.get(property::MouseInside)) return;
    record->properties.set(property::MouseInside, 1);
    raiseEvent(record, "OnMouseIn", nullptr, reinterpret_cast<intptr_t>(window), signedLow(lParam), signedHigh(lParam),
               keyStateMask());
    TRACKMOUSEEVENT tracking{sizeof tracking, TME_HOVER | TME_LEAVE, window, HOVER_DEFAULT};
    TrackMouseEvent(&tracking);
}

intptr_t droppedFiles(WindowRecord* record, HWND window, HDROP drop, int* handled)
{
    if (!handlerFor(record, "OnDropFiles")) return 0;
    const UINT count = DragQueryFileW(drop, 0xFFFFFFFF, nullptr, 0);
    std::wstring names;
    for (UINT i = 0; i < count; ++i) {
        wchar_t name[260] = {};
        DragQueryFileW(drop, i, name, 260);
        if (i) names += L"\r\n";
        names += name;
    }
    DragFinish(drop);
    raiseEvent(record, "OnDropFiles", nullptr, reinterpret_cast<intptr_t>(window), reinterpret_cast<intptr_t>(names.c_str()));
    *handled = 1;
    return 0;
}

void notifyLayout(WindowRecord* record, HWND window, LPARAM lParam)
{
    WindowRecord* layout = kLayoutReference.get(record->properties);
    if (!layout) return;
    int ignored = 0;
    layout->slots.handleMessage(layout, window, kLayoutResize, LOWORD(lParam), HIWORD(lParam), &ignored);
    ignored = 0;
    layout->slots.handleMessage(layout, window, kLayoutApply, 0, 0, &ignored);
}

wchar_t lowerCase(wchar_t unit)
{
    CharLowerBuffW(&unit, 1);
    return unit;
}

bool hasMnemonic(HWND button, wchar_t typed)
{
    const int length = GetWindowTextLengthW(button);
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    text.resize(static_cast<size_t>(GetWindowTextW(button, text.data(), length + 1)));
    const wchar_t wanted = lowerCase(typed);
    for (size_t i = 0; i + 1 < text.size(); ++i)
        if (text[i] == L'&' && lowerCase(text[i + 1]) == wanted) return true;
    return false;
}

// Depth-first over the children of `parent` of one class, in z-order.
HWND findMnemonicButton(HWND parent, const wchar_t* className, wchar_t typed)
{
    for (HWND child = FindWindowExW(parent, nullptr, className, nullptr); child;
         child = FindWindowExW(parent, child, className, nullptr)) {
        if (hasMnemonic(child, typed)) return child;
        if (HWND inner = findMnemonicButton(child, className, typed)) return inner;
    }
    return nullptr;
}

intptr_t mnemonicClick(HWND window, WPARAM typed, int* handled)
{
    const HWND parent = GetParent(window);
    HWND button = findMnemonicButton(parent, L"button", static_cast<wchar_t>(typed));
    if (!button) button = findMnemonicButton(parent, L"qvButton", static_cast<wchar_t>(typed));
    if (!button) return 0;
    SendMessageW(GetParent(button), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(button), BN_CLICKED), reinterpret_cast<LPARAM>(button));
    *handled = 1;
    return 0;
}

intptr_t paint(WindowRecord* record, HWND window, int* handled)
{
    if (!handlerFor(record, "OnPaint")) return 0;
    PAINTSTRUCT paint;
    HDC dc = BeginPaint(window, &paint);
    const intptr_t result = raiseEvent(record, "OnPaint", nullptr, reinterpret_cast<intptr_t>(window), reinterpret_cast<intptr_t>(dc),
                                       paint.rcPaint.left, paint.rcPaint.top, paint.rcPaint.right, paint.rcPaint.bottom);
    EndPaint(window, &paint);
    *handled = 1;
    return result;
}

} // namespace

intptr_t reflectTo(HWND target, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    WindowRecord* record = target ? handle_map::find(target) : nullptr;
    if (!record) return 0;
    return record->slots.handleReflected(record, window, message, wParam, lParam, handled);
}

intptr_t controlHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    const auto handle = reinterpret_cast<intptr_t>(window);
    if (const auto onWndMsg = reinterpret_cast<EventHandler>(record->properties.get(property::OnWndMsg))) {
        const intptr_t result = onWndMsg(handle, message, static_cast<intptr_t>(wParam), lParam, reinterpret_cast<intptr_t>(handled), 0, 0);
        if (*handled) return result;
    }

    bool bound = false;
    switch (message) {
    case WM_NCDESTROY:
        detachRecord(record);
        return 0;
    case WM_PAINT: return paint(record, window, handled);
    case WM_LBUTTONDOWN: return mouseEvent(record, "OnLButtonDown", window, lParam, handled);
    case WM_LBUTTONUP: return mouseEvent(record, "OnLButtonUp", window, lParam, handled);
    case WM_LBUTTONDBLCLK: return mouseEvent(record, "OnLButtonDblClk", window, lParam, handled);
    case WM_RBUTTONDOWN: return mouseEvent(record, "OnRButtonDown", window, lParam, handled);
    case WM_RBUTTONUP: return mouseEvent(record, "OnRButtonUp", window, lParam, handled);
    case WM_MOUSEMOVE:
        trackHover(record, window, lParam);
        return mouseEvent(record, "OnMouseMove", window, lParam, handled);
    case WM_MOUSELEAVE:
        record->properties.set(property::MouseInside, 0);
        raiseEvent(record, "OnMouseLeave", nullptr, handle);
        return 0;
    case WM_MOUSEHOVER: raiseEvent(record, "OnMouseHover", nullptr, handle); return 0;
    case WM_SETFOCUS: raiseEvent(record, "OnSetFocus", nullptr, handle); return 0;
    case WM_KILLFOCUS: raiseEvent(record, "OnKillFocus", nullptr, handle); return 0;
    case WM_KEYDOWN:
    case WM_SYSKEYDOWN:
    case WM_KEYUP:
    case WM_SYSKEYUP: {
        const bool down = message == WM_KEYDOWN || message == WM_SYSKEYDOWN;
        if (raiseEvent(record, down ? "OnKeyDown" : "OnKeyUp", &bound, handle, static_cast<intptr_t>(wParam), keyStateMask()) && bound)
            *handled = 1;
        return 0;
    }
    case WM_MOUSEWHEEL:
        raiseEvent(record, "OnMouseWheel", nullptr, handle, static_cast<int16_t>(HIWORD(wParam)), keyStateMask());
        return 0;
    case WM_CHAR: {
        const intptr_t result = raiseEvent(record, "OnChar", &bound, handle, static_cast<intptr_t>(wParam));
        if (bound && result) *handled = 1;
        return result;
    }
    case WM_HSCROLL:
    case WM_VSCROLL:
    case WM_COMMAND:
        return reflectTo(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam, handled);
    case WM_NOTIFY: {
        const auto* header = reinterpret_cast<const NMHDR*>(lParam);
        if (!header) return 0;
        // A tooltip asking for its text asks the window it belongs to, not itself.
        const HWND target = header->code == TTN_GETDISPINFOW ? window : header->hwndFrom;
        return reflectTo(target, window, message, wParam, lParam, handled);
    }
    case WM_CTLCOLORMSGBOX:
    case WM_CTLCOLOREDIT:
    case WM_CTLCOLORLISTBOX:
    case WM_CTLCOLORBTN:
    case WM_CTLCOLORDLG:
    case WM_CTLCOLORSCROLLBAR:
    case WM_CTLCOLORSTATIC:
        return reflectTo(reinterpret_cast<HWND>(lParam), window, message, wParam, lParam, handled);
    case WM_DRAWITEM: {
        const auto* item = reinterpret_cast<const DRAWITEMSTRUCT*>(lParam);
        return item ? reflectTo(item->hwndItem, window, message, wParam, lParam, handled) : 0;
    }
    case WM_MEASUREITEM:
    case WM_DELETEITEM:
    case WM_COMPAREITEM:
        return reflectTo(GetDlgItem(window, static_cast<int>(wParam)), window, message, wParam, lParam, handled);
    case WM_DROPFILES: return droppedFiles(record, window, reinterpret_cast<HDROP>(wParam), handled);
    case WM_TIMER:
        raiseEvent(record, "OnTimer", &bound, handle, static_cast<intptr_t>(wParam));
        if (bound) *handled = 1;
        return 0;
    case WM_SIZE: notifyLayout(record, window, lParam); return 0;
    case WM_SYSCHAR: return mnemonicClick(window, wParam, handled);
    default: return 0;
    }
}

void detachRecord(WindowRecord* record)
{
    PropertyTable& properties = record->properties;
    if (const HWND window = record->handle()) {
        if (const intptr_t oldProc = properties.get(property::OldWndProc)) {
            SetWindowLongPtrW(window, GWLP_WNDPROC, oldProc);
            properties.remove(property::OldWndProc);
        }
        handle_map::remove(window);
        properties.remove(property::Window);
    }
    kLayoutReference.release(properties);
}

bool attachRecord(WindowRecord*& record, HWND window)
{
    if (!IsWindow(window)) return false;
    if (WindowRecord* known = handle_map::find(window)) {
        if (known == record) return true;
        known->addRef();
        record->release();
        record = known;
        return true;
    }
    if (record->handle()) {
        // Bound elsewhere: give that window up first.
        if (record->refCount == 1) {
            record->slots.onFinalRelease(record);
        } else {
            WindowRecord* fresh = WindowRecord::create();
            if (!fresh) return false;
            fresh->slots = record->slots;
            record->release();
            record = fresh;
        }
    }
    const auto current = GetWindowLongPtrW(window, GWLP_WNDPROC);
    if (current != reinterpret_cast<LONG_PTR>(commonWindowProc)) {
        SetWindowLongPtrW(window, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(commonWindowProc));
        record->properties.set(property::OldWndProc, current);
    }
    record->properties.set(property::Window, reinterpret_cast<intptr_t>(window));
    handle_map::add(window, record);
    return true;
}
