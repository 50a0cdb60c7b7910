#include "ui/top_level_window.h"
#include "ui/application.h"

#include <cmath>
#include <vector>

#include "text/encoding.h"
#include "ui/private_messages.h"
#include "ui/tray_icon.h"
#include "ui/window_background.h"

namespace {

constexpr UINT kForwardMessage = 0x037F;  // WM_FORWARDMSG of hosted controls

intptr_t signedLow(LPARAM value) { return static_cast<int16_t>(LOWORD(value)); }
intptr_t signedHigh(LPARAM value) { return static_cast<int16_t>(HIWORD(value)); }

// Hosted controls listed here get the first look at input aimed inside them.
constexpr OwnedObject<std::vector<HWND>> kHostedControls("ATLWindows");
// The hidden window that owns a window made with the taskbar flag; it goes with that window.
constexpr const char* kTaskbarOwner = "hTaskbarOwner";

RECT workArea()
{
    RECT area{};
    SystemParametersInfoW(SPI_GETWORKAREA, 0, &area, 0);
    return area;
}

// The dialog command step: OK clicks the default button, cancel the cancel button (and closes
// the window with EscClose). True for both, so neither reaches OnMenuItemClick.
bool dialogCommand(WindowRecord* record, HWND window, int id)
{
    PropertyTable& properties = record->properties;
    auto click = [&](const RecordReference& reference) {
        if (WindowRecord* button = reference.get(properties))
            if (const HWND handle = button->handle()) SendMessageW(handle, BM_CLICK, 0, 0);
    };
    if (id == IDOK) {
        click(kDefaultButton);
        return true;
    }
    if (id == IDCANCEL) {
        click(kCancelButton);
        if (properties.get(property::EscClose)) SendMessageW(window, WM_CLOSE, 0, 0);
        return true;
    }
    return false;
}

// At the window's WM_NCDESTROY. The window is unhooked from its owner first, so destroying the
// owner does not try to destroy the window a second time. (A window whose object goes while it
// lives keeps its owner: it still needs it.)
void destroyTaskbarOwner(PropertyTable& properties, HWND window)
{
    const auto hiddenOwner = reinterpret_cast<HWND>(properties.get(kTaskbarOwner));
    if (!hiddenOwner) return;
    properties.remove(kTaskbarOwner);
    if (GetWindow(window, GW_OWNER) == hiddenOwner) SetWindowLongPtrW(window, GWLP_HWNDPARENT, 0);
    DestroyWindow(hiddenOwner);
}

bool forwardedToHost(WindowRecord* record, MSG& message)
{
    const std::vector<HWND>* hosts = kHostedControls.get(record->properties);
    if (!hosts) return false;
    for (const HWND host : *hosts) {
        if (host == message.hwnd || IsChild(host, message.hwnd))
            return SendMessageW(host, kForwardMessage, 0, reinterpret_cast<LPARAM>(&message)) != 0;
    }
    return false;
}

bool translatedByAccelerators(WindowRecord* record, HWND window, MSG& message)
{
    WindowRecord* accelerators = kAcceleratorObject.get(record->properties);
    const auto table = accelerators ? reinterpret_cast<HACCEL>(accelerators->properties.get(property::Accelerator)) : nullptr;
    return table && TranslateAcceleratorW(window, table, &message);
}

bool isInputMessage(UINT message)
{
    return (message >= WM_KEYFIRST && message <= WM_KEYLAST) || (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

} // namespace

void applyWindowBorder(int kind, DWORD& style, DWORD& exStyle)
{
    style &= ~(WS_POPUP | WS_SYSMENU | WS_CAPTION | WS_BORDER | WS_DLGFRAME | WS_THICKFRAME);
    exStyle &= ~(WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE | WS_EX_TOOLWINDOW);
    const DWORD sizable = WS_SYSMENU | WS_CAPTION | WS_THICKFRAME;
    const DWORD fixed = WS_SYSMENU | WS_CAPTION;
    switch (kind) {
    case 0: style |= WS_POPUP; break;
    case 1: style |= sizable; exStyle |= WS_EX_WINDOWEDGE; break;
    case 3: style |= sizable; exStyle |= WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW; break;
    case 4: style |= fixed; exStyle |= WS_EX_WINDOWEDGE | WS_EX_TOOLWINDOW; break;
    case 5: style |= sizable; exStyle |= WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE; break;
    case 6: style |= fixed; exStyle |= WS_EX_WINDOWEDGE | WS_EX_CLIENTEDGE; break;
    default: style |= fixed; exStyle |= WS_EX_WINDOWEDGE; break;
    }
}

POINT startPosition(int kind, POINT given, SIZE size, HWND owner)
{
    const RECT area = workArea();
    if (kind == 1) {
        return {static_cast<LONG>(std::lround((area.right - area.left - size.cx) / 2.0)),
                static_cast<LONG>(std::lround((area.bottom - area.top - size.cy) / 2.0))};
    }
    if (kind == 2) {
        RECT around = area;
        if (owner && ::IsWindow(owner)) GetWindowRect(owner, &around);
        return {static_cast<LONG>(std::lround(around.left + (around.right - around.left - size.cx) / 2.0)),
                static_cast<LONG>(std::lround(around.top + (around.bottom - around.top - size.cy) / 2.0))};
    }
    return given;
}

TopLevelWindow::TopLevelWindow()
{
    if (!record_) return;
    record_->slots.handleMessage = topLevelHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<topLevelCleanUp>;
    SetProperty(property::Border, 2);
    SetProperty(property::StartPosition, 2);
}

bool TopLevelWindow::flag(const char* name, bool value, bool apply)
{
    const bool previous = GetProperty(name) != 0;
    if (apply) SetProperty(name, value ? 1 : 0);
    return previous;
}

void TopLevelWindow::SetBorder(int kind)
{
    SetProperty(property::Border, kind);
    if (!GetHandle()) return;
    DWORD style = static_cast<DWORD>(GetStyle());
    DWORD exStyle = static_cast<DWORD>(GetExStyle());
    applyWindowBorder(kind, style, exStyle);
    SetWindowLongPtrW(GetHandle(), GWL_STYLE, style);
    SetWindowLongPtrW(GetHandle(), GWL_EXSTYLE, exStyle);
    SetWindowPos(GetHandle(), nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE | SWP_FRAMECHANGED);
}

void TopLevelWindow::setButton(const RecordReference& reference, WindowObject* referenced)
{
    if (record_) reference.set(record_->properties, referenced ? referenced->Record() : nullptr);
}

HICON TopLevelWindow::GetIcon(bool big) const
{
    const HWND window = GetHandle();
    if (const auto icon = reinterpret_cast<HICON>(SendMessageW(window, WM_GETICON, big ? ICON_BIG : ICON_SMALL, 0))) return icon;
    return reinterpret_cast<HICON>(GetClassLongPtrW(window, big ? GCLP_HICON : GCLP_HICONSM));
}

void TopLevelWindow::SetRoundCorners(int diameter)
{
    const SIZE size = GetSize();
    // The system owns the region from here on.
    SetWindowRgn(GetHandle(), CreateRoundRectRgn(0, 0, size.cx + 1, size.cy + 1, diameter, diameter), TRUE);
}

ImageObject TopLevelWindow::BackImage(const ImageObject* image, bool apply) { return backImageAccess(record_, image, apply); }

COLORREF TopLevelWindow::BackColor(COLORREF color, bool apply) { return backColorAccess(record_, color, apply); }

int TopLevelWindow::ShowImageType(int kind, bool apply) { return showImageTypeAccess(record_, kind, apply); }

bool TopLevelWindow::AddTrayIcon(HICON icon, std::string_view tip) { return record_ && addTrayIcon(record_, icon, tip); }
bool TopLevelWindow::SetTrayTip(std::string_view tip) { return record_ && setTrayTip(record_, tip); }
bool TopLevelWindow::SetTrayIcon(HICON icon) { return record_ && setTrayIcon(record_, icon); }
bool TopLevelWindow::RemoveTrayIcon() { return record_ && removeTrayIcon(record_); }

bool TopLevelWindow::ShowBalloon(std::string_view text, std::string_view title, DWORD iconKind, UINT timeoutMs)
{
    return record_ && showTrayBalloon(record_, text, title, iconKind, timeoutMs);
}

void TopLevelWindow::BeginWaitCursor()
{
    const HCURSOR replaced = ::SetCursor(LoadCursorW(nullptr, IDC_WAIT));
    SetProperty(property::WaitCursor, replaced ? reinterpret_cast<intptr_t>(replaced) : 1);
}

HWND TopLevelWindow::createWindow(const CreateOptions& options, bool modal)
{
    registerFrameworkClass(options.className.c_str());
    HWND owner = options.owner ? options.owner->GetHandle() : nullptr;
    HWND hiddenOwner = nullptr;
    if (!owner && options.taskbar) {
        // A hidden owner keeps the window off the taskbar's own button logic; never shown.
        hiddenOwner = CreateWindowExW(0, options.className.c_str(), modal ? L"ShowTaskbar" : L"qvShowTaskbar", WS_POPUP, 0, 0,
                                      250, 110, nullptr, nullptr, Application::Instance(), nullptr);
        owner = hiddenOwner;
    }
    const POINT position = startPosition(StartPosition(), options.position, options.size, owner);
    DWORD style = options.style;
    DWORD exStyle = options.exStyle;
    applyWindowBorder(Border(), style, exStyle);
    style |= modal ? WS_CLIPCHILDREN : WS_CLIPCHILDREN | WS_CLIPSIBLINGS;
    const HWND window = CreateWindowExW(exStyle, options.className.c_str(), toUtf16(options.title).c_str(), style, position.x,
                                        position.y, options.size.cx, options.size.cy, owner, nullptr, Application::Instance(),
                                        record_);
    if (hiddenOwner && !window) DestroyWindow(hiddenOwner);
    if (hiddenOwner && window) SetProperty(kTaskbarOwner, reinterpret_cast<intptr_t>(hiddenOwner));
    if (window) {
        if (const HWND first = GetNextDlgTabItem(window, nullptr, FALSE)) ::SetFocus(first);
    }
    return window;
}

bool TopLevelWindow::Create(const CreateOptions& options)
{
    if (!record_ || GetHandle()) return false;
    return createWindow(options, false) != nullptr;
}

intptr_t TopLevelWindow::ShowModal(const CreateOptions& options)
{
    if (!record_ || GetHandle()) return 0;
    const HWND focused = GetFocus();
    const HWND window = createWindow(options, true);
    if (!window) return 0;
    const HWND owner = ::GetParent(window) ? ::GetParent(window) : GetWindow(window, GW_OWNER);
    if (owner && IsWindowVisible(owner)) EnableWindow(owner, FALSE);

    // The modal loop: a quit message is dispatched like any other and does not end it.
    WindowRecord* keep = record_;
    keep->addRef();
    MSG message;
    while (::IsWindow(window)) {
        // A quit message is dispatched like any other: it ends neither this loop nor, later, the
        // main one.
        if (GetMessageW(&message, nullptr, 0, 0) == -1) break;
        const bool isInput = isInputMessage(message.message);
        const bool hostAnswered = isInput && forwardedToHost(keep, message);
        if (translatedByAccelerators(keep, window, message)) continue;
        if (!hostAnswered && isInput && passesKeyboardFilter(message) && IsDialogMessageW(window, &message)) continue;
        TranslateMessage(&message);
        DispatchMessageW(&message);
    }
    if (focused && ::IsWindow(focused)) ::SetFocus(focused);
    const intptr_t result = keep->properties.get(property::DialogResult);
    keep->release();
    return result;
}

intptr_t topLevelHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    PropertyTable& properties = record->properties;
    const auto handle = reinterpret_cast<intptr_t>(window);
    bool bound = false;
    switch (message) {
    case WM_NCDESTROY:
        destroyTaskbarOwner(properties, window);
        topLevelCleanUp(record);
        break;
    case WM_ERASEBKGND:
        if (paintBackground(record, window, reinterpret_cast<HDC>(wParam))) {
            *handled = 1;
            return 1;
        }
        break;
    case kTrayCallbackMessage:
        trayCallback(record, window, lParam);
        break;
    case WM_CREATE:
    case WM_INITDIALOG: {
        // The creation hook of windows described elsewhere (no such description exists yet).
        raiseEvent(record, "XmlresOnCreate", nullptr, reinterpret_cast<intptr_t>(record), handle, properties.get("XmlNode"));
        raiseEvent(record, "OnCreate", nullptr, handle);
        RECT client{};
        GetClientRect(window, &client);
        SendMessageW(window, WM_SIZE, 0, MAKELPARAM(client.right - client.left, client.bottom - client.top));
        break;
    }
    case WM_CLOSE: {
        if (raiseEvent(record, "OnClose", nullptr, handle)) {
            *handled = 1;
            return 1;
        }
        const HWND owner = GetWindow(window, GW_OWNER);
        if (owner && !IsWindowEnabled(owner) && IsWindowVisible(owner)) {
            EnableWindow(owner, TRUE);
            SetWindowPos(owner, nullptr, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_SHOWWINDOW | SWP_NOZORDER);
        }
        break;
    }
    case WM_DESTROY:
        raiseEvent(record, "OnDestory", &bound, handle);
        if (bound) {
            *handled = 1;
            return 0;
        }
        break;
    case WM_MOVE: raiseEvent(record, "OnMove", nullptr, handle, signedLow(lParam), signedHigh(lParam)); break;
    case WM_SIZE: raiseEvent(record, "OnSize", nullptr, handle, signedLow(lParam), signedHigh(lParam)); break;
    case WM_ACTIVATE: raiseEvent(record, LOWORD(wParam) ? "OnActivate" : "OnUnActivate", nullptr, handle); break;
    case WM_SHOWWINDOW: raiseEvent(record, wParam ? "OnShow" : "OnHide", nullptr, handle); break;
    case WM_COMMAND:
        if (lParam == 0 && (HIWORD(wParam) == 0 || HIWORD(wParam) == 1)) {
            if (HIWORD(wParam) == 0 && dialogCommand(record, window, LOWORD(wParam))) {
                *handled = 1;
                return 0;
            }
            raiseEvent(record, "OnMenuItemClick", nullptr, handle, static_cast<int16_t>(LOWORD(wParam)));
        }
        break;
    case WM_NCACTIVATE:
        if (wParam == 0 && properties.get(property::NcEverActive)) {
            *handled = 1;
            return 1;
        }
        break;
    case WM_LBUTTONDOWN:
        if (properties.get(property::FreeMove)) SendMessageW(window, WM_SYSCOMMAND, 0xF012, 0);
        break;
    case WM_GETMINMAXINFO:
        if (WindowRecord* layout = kLayoutReference.get(properties)) {
            int ignored = 0;
            const intptr_t packed = layout->slots.handleMessage(layout, window, kLayoutMinimumSize, 0, 0, &ignored);
            RECT outer{}, inner{};
            GetWindowRect(window, &outer);
            GetClientRect(window, &inner);
            auto* info = reinterpret_cast<MINMAXINFO*>(lParam);
            info->ptMinTrackSize.x = LOWORD(packed) + (outer.right - outer.left) - (inner.right - inner.left);
            info->ptMinTrackSize.y = HIWORD(packed) + (outer.bottom - outer.top) - (inner.bottom - inner.top);
            *handled = 1;
            return 1;
        }
        break;
    case WM_INITMENUPOPUP:
        raiseEvent(record, "OnInitMenuPopup", &bound, handle, static_cast<intptr_t>(wParam), signedLow(lParam), signedHigh(lParam));
        if (bound) {
            *handled = 1;
            return 0;
        }
        break;
    case WM_MENUSELECT:
        raiseEvent(record, "OnMenuSelect", &bound, handle, lParam, static_cast<int16_t>(LOWORD(wParam)), static_cast<intptr_t>(wParam >> 16));
        if (bound) {
            *handled = 1;
            return 0;
        }
        break;
    case WM_SYSCOMMAND:
        if (wParam == SC_CLOSE && raiseEvent(record, "OnUserClose", nullptr, handle)) {
            *handled = 1;
            return 0;
        }
        break;
    case WM_ACTIVATEAPP:
        if (!properties.get(property::FirstActivate) && wParam) {
            properties.set(property::FirstActivate, 1);
            if (properties.get(property::OnFirstActivate)) {
                SendMessageW(window, WM_NCACTIVATE, 1, 0);
                raiseEvent(record, property::OnFirstActivate, nullptr, handle);
            }
        }
        break;
    case WM_SETCURSOR:
        if (properties.get(property::WaitCursor)) {
            *handled = 1;
            return reinterpret_cast<intptr_t>(SetCursor(LoadCursorW(nullptr, IDC_WAIT)));
        }
        break;
    default:
        if (isTaskbarCreated(record, message)) readdTrayIcon(record);
        break;
    }
    return windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
}

void topLevelCleanUp(WindowRecord* record)
{
    PropertyTable& properties = record->properties;
    releaseBackground(record);
    releaseTray(record);
    if (const intptr_t accelerators = properties.get(property::AcceleratorTable)) {
        DestroyAcceleratorTable(reinterpret_cast<HACCEL>(accelerators));
        properties.remove(property::AcceleratorTable);
    }
    kAcceleratorObject.release(properties);
    kHostedControls.release(properties);
    kDefaultButton.release(properties);
    kCancelButton.release(properties);
    properties.remove(property::FirstActivate);
}

bool passesKeyboardFilter(MSG& message)
{
    if (message.message >= WM_MOUSEFIRST && message.message <= WM_MOUSELAST) return true;
    if (message.message != WM_KEYDOWN && message.message != WM_KEYUP) return false;
    WindowRecord* target = handle_map::find(message.hwnd);
    const intptr_t bits = target ? target->properties.get(property::Style) : 0;
    switch (message.wParam) {
    case VK_TAB: return !(bits & 1);
    case VK_RETURN: return !(bits & (1 | 2));
    case VK_LEFT:
    case VK_UP:
    case VK_RIGHT:
    case VK_DOWN: return !(bits & (1 | 4));
    case VK_ESCAPE:
        if (message.message == WM_KEYDOWN) {
            const HWND parent = GetParent(message.hwnd);
            SendMessageW(parent ? parent : message.hwnd, WM_COMMAND, IDCANCEL, 0);
        }
        return false;
    default: return false;
    }
}

int RunMessageLoop(TopLevelWindow& mainWindow, bool show)
{
    const HWND main = mainWindow.GetHandle();
    if (!main || !IsWindow(main)) return 1;
    if (show) {
        UpdateWindow(main);
        ShowWindow(main, SW_SHOW);
    }
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageW(&message, nullptr, 0, 0);
        if (got == 0 || got == -1) break;
        const HWND root = GetAncestor(message.hwnd, GA_ROOT);
        WindowRecord* rootRecord = root ? handle_map::find(root) : nullptr;
        const bool isInput = isInputMessage(message.message);
        if (rootRecord) {
            const bool hostAnswered = isInput && forwardedToHost(rootRecord, message);
            const auto mdiClient = reinterpret_cast<HWND>(rootRecord->properties.get("hWndMDIClient"));
            if (mdiClient && TranslateMDISysAccel(mdiClient, &message)) continue;
            if (translatedByAccelerators(rootRecord, root, message)) continue;
            if (!hostAnswered && isInput && passesKeyboardFilter(message) && IsDialogMessageW(root, &message)) continue;
        }
        TranslateMessage(&message);
        DispatchMessageW(&message);
        if (!IsWindow(main)) break;
    }
    return static_cast<int>(message.wParam);
}

int TopLevelWindow::Border(int kind, bool apply)
{
    const int previous = Border();
    if (apply) SetBorder(kind);
    return previous;
}

int TopLevelWindow::StartPosition(int kind, bool apply)
{
    const int previous = StartPosition();
    if (apply) SetStartPosition(kind);
    return previous;
}

intptr_t TopLevelWindow::DialogResult(intptr_t value, bool apply)
{
    const intptr_t previous = DialogResult();
    if (apply) SetDialogResult(value);
    return previous;
}
