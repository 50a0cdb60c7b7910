#include "ui/window_operations.h"
#include "ui/application.h"

#include <atomic>
#include <shellapi.h>
#include <utility>
#include <vector>

#include "text/encoding.h"
#include "ui/control_handler.h"
#include "ui/window_object.h"

namespace {

// Ids of controls created without one: -1, -2, ... across the process.
std::atomic<long> gNextControlId = 0;

RECT rectInParent(HWND window)
{
    RECT rect{};
    GetWindowRect(window, &rect);
    if (const HWND parent = GetParent(window); parent && (GetWindowLongPtrW(window, GWL_STYLE) & WS_CHILD)) {
        MapWindowPoints(HWND_DESKTOP, parent, reinterpret_cast<POINT*>(&rect), 2);
    }
    return rect;
}

} // namespace

void applyControlBorder(int kind, DWORD& style, DWORD& exStyle)
{
    style &= ~WS_BORDER;
    exStyle &= ~(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_STATICEDGE);
    switch (kind) {
    case 1: exStyle |= WS_EX_CLIENTEDGE; break;
    case 2: exStyle |= WS_EX_WINDOWEDGE; break;
    case 3: exStyle |= WS_EX_STATICEDGE; break;
    case 4: exStyle |= WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE; break;
    case 5: style |= WS_BORDER; break;
    default: break;
    }
}

LRESULT CALLBACK frameworkClassProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_NCCREATE) {
        const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lParam);
        if (auto* record = static_cast<WindowRecord*>(create->lpCreateParams)) {
            record->properties.set(property::Window, reinterpret_cast<intptr_t>(window));
            handle_map::add(window, record);
        }
    }
    WindowRecord* record = handle_map::find(window);
    if (!record) return DefWindowProcW(window, message, wParam, lParam);
    record->addRef();
    int handled = 0;
    const intptr_t result = record->slots.handleMessage(record, window, message, wParam, lParam, &handled);
    record->release();
    return handled ? result : DefWindowProcW(window, message, wParam, lParam);
}

void registerFrameworkClass(const wchar_t* name)
{
    WNDCLASSW windowClass{};
    windowClass.style = CS_HREDRAW | CS_VREDRAW | CS_DBLCLKS;
    windowClass.lpfnWndProc = frameworkClassProc;
    windowClass.hInstance = Application::Instance();
    windowClass.hIcon = LoadIconW(nullptr, IDI_APPLICATION);
    windowClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    windowClass.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
    windowClass.lpszClassName = name;
    RegisterClassW(&windowClass);
}

bool WindowOperations::CreateControl(HWND parent, std::string_view title, POINT position, SIZE size, int id, DWORD style,
                                     DWORD exStyle, const wchar_t* className)
{
    return CreateControlW(parent, toUtf16(title), position, size, id, style, exStyle, className);
}

bool WindowOperations::CreateControlW(HWND parent, std::wstring_view title, POINT position, SIZE size, int id, DWORD style,
                                      DWORD exStyle, const wchar_t* className)
{
    if (!record() || handle()) return false;
    const HWND window = CreateWindowExW(exStyle, className, std::wstring(title).c_str(), style, position.x, position.y, size.cx,
                                        size.cy, parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                                        Application::Instance(), record());
    return window != nullptr;
}

bool WindowOperations::CreateChildControl(HWND parent, std::string_view title, POINT position, SIZE size,
                                          const wchar_t* className, DWORD style, DWORD exStyle, int id)
{
    if (!record() || handle()) return false;
    if (id == 0) id = static_cast<int>(--gNextControlId);
    applyControlBorder(static_cast<int>(properties()->get(property::Border)), style, exStyle);
    style |= WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS;
    const HWND window = CreateWindowExW(exStyle, className, toUtf16(title).c_str(), style, position.x, position.y, size.cx,
                                        size.cy, parent, reinterpret_cast<HMENU>(static_cast<intptr_t>(id)),
                                        Application::Instance(), nullptr);
    if (!window) return false;
    WindowRecord* bound = record();
    if (!attachRecord(bound, window)) {
        DestroyWindow(window);
        return false;
    }
    SendMessageW(window, WM_SETFONT, reinterpret_cast<WPARAM>(GetStockObject(DEFAULT_GUI_FONT)), 0);
    return true;
}

void WindowOperations::SetBorder(int kind)
{
    if (!properties()) return;
    properties()->set(property::Border, kind);
    const HWND window = handle();
    if (!window) return;
    auto style = static_cast<DWORD>(GetStyle());
    auto exStyle = static_cast<DWORD>(GetExStyle());
    applyControlBorder(kind, style, exStyle);
    SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
    SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
    SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

intptr_t WindowOperations::StyleBitsAdd(intptr_t bits)
{
    const intptr_t previous = StyleBitsGet();
    if (properties()) properties()->set(property::Style, previous | bits);
    return previous;
}

intptr_t WindowOperations::StyleBitsRemove(intptr_t bits)
{
    const intptr_t previous = StyleBitsGet();
    if (properties()) properties()->set(property::Style, previous & ~bits);
    return previous;
}

intptr_t WindowOperations::StyleBitsSet(intptr_t bits)
{
    const intptr_t previous = StyleBitsGet();
    if (properties()) properties()->set(property::Style, bits);
    return previous;
}

std::wstring WindowOperations::GetClassName() const
{
    wchar_t name[256] = {};
    const int length = ::GetClassNameW(handle(), name, 256);
    return std::wstring(name, length > 0 ? length : 0);
}

void WindowOperations::SetCursor(HCURSOR cursor)
{
    if (!properties()) return;
    UniqueCursor copy(cursor ? reinterpret_cast<HCURSOR>(CopyIcon(cursor)) : nullptr);
    kCursorProperty.reset(*properties(), std::move(copy));
}

RECT WindowOperations::GetClientRect() const
{
    RECT rect{};
    ::GetClientRect(handle(), &rect);
    return rect;
}

int WindowOperations::GetClientWidth() const
{
    const RECT rect = GetClientRect();
    return rect.right - rect.left;
}

int WindowOperations::GetClientHeight() const
{
    const RECT rect = GetClientRect();
    return rect.bottom - rect.top;
}

RECT WindowOperations::GetRect() const { return rectInParent(handle()); }

bool WindowOperations::Move(int x, int y, int width, int height, bool repaint)
{
    const RECT rect = rectInParent(handle());
    if (x == kKeepValue) x = rect.left;
    if (y == kKeepValue) y = rect.top;
    if (width == kKeepValue) width = rect.right - rect.left;
    if (height == kKeepValue) height = rect.bottom - rect.top;
    return MoveWindow(handle(), x, y, width, height, repaint);
}

POINT WindowOperations::GetPosition() const
{
    const RECT rect = rectInParent(handle());
    return {rect.left, rect.top};
}

SIZE WindowOperations::GetSize() const
{
    RECT rect{};
    GetWindowRect(handle(), &rect);
    return {rect.right - rect.left, rect.bottom - rect.top};
}

bool WindowOperations::Visible(bool visible, bool apply)
{
    if (apply) return ShowWindow(handle(), visible ? SW_SHOW : SW_HIDE);
    return IsWindowVisible(handle());
}

bool WindowOperations::Disabled(bool disabled, bool apply)
{
    if (apply) return EnableWindow(handle(), !disabled);
    return !IsWindowEnabled(handle());
}

LONG_PTR WindowOperations::writeLong(int index, LONG_PTR bits)
{
    const LONG_PTR previous = SetWindowLongPtrW(handle(), index, bits);
    SetWindowPos(handle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE | SWP_NOZORDER | SWP_FRAMECHANGED);
    return previous;
}

std::wstring WindowOperations::GetTextW() const
{
    const int length = GetWindowTextLengthW(handle());
    std::wstring text(static_cast<size_t>(length) + 1, L'\0');
    const int copied = GetWindowTextW(handle(), text.data(), length + 1);
    text.resize(copied > 0 ? static_cast<size_t>(copied) : 0);
    return text;
}

std::string WindowOperations::GetText() const { return toNarrow(GetTextW()); }

bool WindowOperations::SetText(std::string_view text) { return SetTextW(toUtf16(text)); }

bool WindowOperations::SetTextW(std::wstring_view text) { return SetWindowTextW(handle(), std::wstring(text).c_str()); }

int WindowOperations::MessageBox(std::string_view text, UINT type, std::string_view caption)
{
    return ::MessageBoxW(handle(), toUtf16(text).c_str(), toUtf16(caption).c_str(), type);
}

void WindowOperations::SetFont(HFONT font)
{
    UniqueFont owned(font);  // the window's from here on, kept or not
    if (!properties()) return;
    // The control lets go of the font it had before that font is deleted.
    SendMessageW(handle(), WM_SETFONT, reinterpret_cast<WPARAM>(font), 1);
    kFontProperty.reset(*properties(), std::move(owned));
}

bool WindowOperations::SetLayout(WindowObject& layout)
{
    WindowRecord* layoutRecord = layout.Record();
    if (!properties() || !layoutRecord) return false;
    kLayoutReference.set(*properties(), layoutRecord);
    if (auto* rect = reinterpret_cast<RECT*>(layoutRecord->properties.get("pRect"))) *rect = GetClientRect();
    int ignored = 0;
    layoutRecord->slots.handleMessage(layoutRecord, handle(), kLayoutApply, 0, 0, &ignored);
    return true;
}

LRESULT WindowOperations::DefaultProcessing(UINT message, WPARAM wParam, LPARAM lParam)
{
    if (const auto oldProc = reinterpret_cast<WNDPROC>(properties() ? properties()->get(property::OldWndProc) : 0))
        return CallWindowProcW(oldProc, handle(), message, wParam, lParam);
    return DefWindowProcW(handle(), message, wParam, lParam);
}

bool WindowOperations::SetWindowProp(std::string_view name, HANDLE value)
{
    return SetPropW(handle(), toUtf16(name).c_str(), value);
}

HANDLE WindowOperations::GetWindowProp(std::string_view name) const { return GetPropW(handle(), toUtf16(name).c_str()); }

HANDLE WindowOperations::RemoveWindowProp(std::string_view name) { return RemovePropW(handle(), toUtf16(name).c_str()); }

void WindowOperations::AcceptFiles(bool accept) { DragAcceptFiles(handle(), accept); }

bool WindowOperations::CreateDialogWindow(const DialogOptions& options) { return createDialogWindow(record(), options) != nullptr; }

intptr_t WindowOperations::ShowDialogWindow(const DialogOptions& options) { return showDialogWindow(record(), options); }

bool WindowOperations::CreateMDIChild(HWND client, std::string_view title, POINT position, SIZE size, DWORD style,
                                      const wchar_t* className)
{
    if (!record() || handle()) return false;
    const HWND child = CreateMDIWindowW(className, toUtf16(title).c_str(), style, position.x, position.y, size.cx, size.cy,
                                        client, Application::Instance(), reinterpret_cast<LPARAM>(record()));
    WindowRecord* bound = record();
    return child && attachRecord(bound, child);
}

HWND WindowOperations::CreateDialogFromTemplate(HWND parent, const wchar_t* templateName, std::wstring_view className)
{
    return createDialogFromTemplate(record(), parent, templateName, std::wstring(className));
}

intptr_t WindowOperations::ShowDialogFromTemplate(HWND parent, const wchar_t* templateName, std::wstring_view className)
{
    return showDialogFromTemplate(record(), parent, templateName, std::wstring(className));
}

namespace {

BOOL CALLBACK collectProperty(HWND, LPWSTR name, HANDLE value, ULONG_PTR list)
{
    // Names given as atoms rather than texts have no text to report.
    if (!IS_INTRESOURCE(name)) reinterpret_cast<std::vector<std::pair<std::wstring, HANDLE>>*>(list)->emplace_back(name, value);
    return TRUE;
}

} // namespace

std::vector<std::pair<std::wstring, HANDLE>> WindowOperations::EnumWindowPropsW() const
{
    std::vector<std::pair<std::wstring, HANDLE>> properties;
    EnumPropsExW(handle(), collectProperty, reinterpret_cast<LPARAM>(&properties));
    return properties;
}

std::vector<std::pair<std::string, HANDLE>> WindowOperations::EnumWindowProps() const
{
    std::vector<std::pair<std::string, HANDLE>> properties;
    for (const auto& [name, value] : EnumWindowPropsW()) properties.emplace_back(toNarrow(name), value);
    return properties;
}

std::string WindowOperations::GetClassNameA() const { return toNarrow(GetClassName()); }

int WindowOperations::MessageBoxW(std::wstring_view text, UINT type, std::wstring_view caption)
{
    return ::MessageBoxW(handle(), std::wstring(text).c_str(), std::wstring(caption).c_str(), type);
}

int setControlBorder(WindowRecord* record, int kind)
{
    if (!record) return 0;
    const int previous = static_cast<int>(record->properties.get(property::Border));
    record->properties.set(property::Border, kind);
    if (const HWND window = record->handle()) {
        auto style = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_STYLE));
        auto exStyle = static_cast<DWORD>(GetWindowLongPtrW(window, GWL_EXSTYLE));
        applyControlBorder(kind, style, exStyle);
        SetWindowLongPtrW(window, GWL_STYLE, static_cast<LONG_PTR>(style));
        SetWindowLongPtrW(window, GWL_EXSTYLE, static_cast<LONG_PTR>(exStyle));
        SetWindowPos(window, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
    }
    return previous;
}
