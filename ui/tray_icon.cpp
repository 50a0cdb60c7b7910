#include "ui/tray_icon.h"

#include <cwchar>
#include <shellapi.h>

#include "text/encoding.h"
#include "ui/gdi_holders.h"
#include "ui/held_property.h"

namespace {

// The window's own copy of the icon shown in the notification area.
constexpr OwnedHandle<UniqueIcon> kTrayIcon("NotifyIcon");

// The record is the system's structure up to the balloon fields (its "version 2" size).
constexpr DWORD kRecordSize = NOTIFYICONDATAW_V2_SIZE;
constexpr UINT kIconFlags = NIF_MESSAGE | NIF_ICON | NIF_TIP;

NOTIFYICONDATAW* recordOf(WindowRecord* record)
{
    return reinterpret_cast<NOTIFYICONDATAW*>(record->properties.get(property::NotifyIconData));
}

// Copies text into a fixed field, cut to the field's size.
template <size_t N>
void copyField(wchar_t (&field)[N], std::string_view text)
{
    const std::wstring wide = toUtf16(text);
    const size_t units = wide.size() < N ? wide.size() : N - 1;
    wmemcpy(field, wide.data(), units);
    field[units] = L'\0';
}

void replaceIconCopy(WindowRecord* record, HICON icon)
{
    kTrayIcon.reset(record->properties, UniqueIcon(icon ? CopyIcon(icon) : nullptr));
    if (NOTIFYICONDATAW* data = recordOf(record)) data->hIcon = kTrayIcon.get(record->properties);
}

void freeRecord(WindowRecord* record)
{
    if (NOTIFYICONDATAW* data = recordOf(record)) {
        record->properties.remove(property::NotifyIconData);
        HeapFree(GetProcessHeap(), 0, data);
    }
}

} // namespace

const NOTIFYICONDATAW* trayRecord(WindowRecord* record) { return recordOf(record); }

bool addTrayIcon(WindowRecord* record, HICON icon, std::string_view tip)
{
    if (!icon) return removeTrayIcon(record);
    if (!record->properties.get(property::TaskbarCreated))
        record->properties.set(property::TaskbarCreated, RegisterWindowMessageW(L"TaskbarCreated"));
    freeRecord(record);
    auto* data = static_cast<NOTIFYICONDATAW*>(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, sizeof(NOTIFYICONDATAW)));
    if (!data) return false;
    record->properties.set(property::NotifyIconData, reinterpret_cast<intptr_t>(data));
    replaceIconCopy(record, icon);
    data->cbSize = kRecordSize;
    data->hWnd = record->handle();
    data->uID = 1;
    data->uFlags = kIconFlags;
    data->uCallbackMessage = kTrayCallbackMessage;
    copyField(data->szTip, tip);
    return Shell_NotifyIconW(NIM_ADD, data);
}

bool setTrayTip(WindowRecord* record, std::string_view tip)
{
    NOTIFYICONDATAW* data = recordOf(record);
    if (!data) return false;
    data->uFlags = kIconFlags;
    copyField(data->szTip, tip);
    return Shell_NotifyIconW(NIM_MODIFY, data);
}

bool setTrayIcon(WindowRecord* record, HICON icon)
{
    NOTIFYICONDATAW* data = recordOf(record);
    if (!data) return false;
    replaceIconCopy(record, icon);
    data->uFlags = kIconFlags;
    return Shell_NotifyIconW(NIM_MODIFY, data);
}

bool showTrayBalloon(WindowRecord* record, std::string_view text, std::string_view title, DWORD iconKind, UINT timeoutMs)
{
    NOTIFYICONDATAW* data = recordOf(record);
    if (!data) return false;
    data->uFlags = kIconFlags | NIF_STATE | NIF_INFO;
    copyField(data->szInfo, text);
    copyField(data->szInfoTitle, title);
    data->dwInfoFlags = iconKind;
    data->uTimeout = timeoutMs;
    return Shell_NotifyIconW(NIM_MODIFY, data);
}

bool removeTrayIcon(WindowRecord* record)
{
    NOTIFYICONDATAW* data = recordOf(record);
    return data && Shell_NotifyIconW(NIM_DELETE, data);
}

void trayCallback(WindowRecord* record, HWND window, LPARAM event)
{
    const auto handler = reinterpret_cast<EventHandler>(record->properties.get(property::OnNotifyIcon));
    if (!handler) return;
    const auto handle = reinterpret_cast<intptr_t>(window);
    // The event is the whole value, or with NOTIFYICON_VERSION_4 its low word (the icon's id in
    // the high one): the low word serves both.
    switch (LOWORD(event)) {
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN: SetCapture(window); break;
    case WM_LBUTTONUP:
        handler(handle, 1, 0, 0, 0, 0, 0);
        ReleaseCapture();
        break;
    case WM_RBUTTONUP:
        handler(handle, 2, 0, 0, 0, 0, 0);
        ReleaseCapture();
        break;
    case WM_LBUTTONDBLCLK: handler(handle, 3, 0, 0, 0, 0, 0); break;
    case WM_RBUTTONDBLCLK: handler(handle, 4, 0, 0, 0, 0, 0); break;
    case WM_MOUSEMOVE: handler(handle, 5, 0, 0, 0, 0, 0); break;
    case NIN_BALLOONSHOW: handler(handle, 6, 0, 0, 0, 0, 0); break;
    case NIN_BALLOONTIMEOUT: handler(handle, 7, 0, 0, 0, 0, 0); break;
    case NIN_BALLOONUSERCLICK: handler(handle, 8, 0, 0, 0, 0, 0); break;
    default: break;
    }
}

bool isTaskbarCreated(WindowRecord* record, UINT message)
{
    const intptr_t registered = record->properties.get(property::TaskbarCreated);
    return registered && static_cast<UINT>(registered) == message;
}

void readdTrayIcon(WindowRecord* record)
{
    NOTIFYICONDATAW* data = recordOf(record);
    if (!data) return;
    Shell_NotifyIconW(NIM_DELETE, data);
    data->uFlags = kIconFlags;
    Shell_NotifyIconW(NIM_ADD, data);
}

void releaseTray(WindowRecord* record)
{
    if (kTrayIcon.get(record->properties)) kTrayIcon.release(record->properties);
    if (NOTIFYICONDATAW* data = recordOf(record)) {
        data->hIcon = nullptr;
        Shell_NotifyIconW(NIM_DELETE, data);
    }
    freeRecord(record);
}
