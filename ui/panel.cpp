#include "ui/panel.h"

#include <atomic>

#include "ui/themed_page.h"
#include "ui/window_background.h"

namespace {

// Control ids for panels created without one, counting down like other controls.
std::atomic<long> gNextPanelId = -100000;

} // namespace

intptr_t panelHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled)
{
    const intptr_t result = windowBaseHandleMessage(record, window, message, wParam, lParam, handled);
    if (*handled) return result;
    const auto handle = reinterpret_cast<intptr_t>(window);
    switch (message) {
    case WM_CREATE:
    case WM_INITDIALOG: raiseEvent(record, "OnCreate", nullptr, handle); break;
    case WM_SIZE:
        raiseEvent(record, "OnSize", nullptr, handle, static_cast<int16_t>(LOWORD(lParam)), static_cast<int16_t>(HIWORD(lParam)));
        break;
    case WM_ERASEBKGND:
        if (paintBackground(record, window, reinterpret_cast<HDC>(wParam)) || paintTabBody(window, reinterpret_cast<HDC>(wParam))) {
            *handled = 1;
            return 1;
        }
        break;
    case WM_PRINTCLIENT:
        // How a label asks for what lies behind it: DrawThemeParentBackground sends WM_ERASEBKGND
        // and then this, and reports success only when this was handled.
        if (paintTabBody(window, reinterpret_cast<HDC>(wParam))) *handled = 1;
        break;
    case WM_NCDESTROY: releaseBackground(record); break;
    default: break;
    }
    return result;
}

Panel::Panel()
{
    if (!record_) return;
    record_->slots.handleMessage = panelHandleMessage;
    record_->slots.onFinalRelease = finalReleaseAfter<releaseBackground>;
}

bool Panel::Create(HWND parent, POINT position, SIZE size, DWORD style, DWORD exStyle, int id)
{
    registerFrameworkClass(L"qvPanel");
    if (id == 0) id = static_cast<int>(--gNextPanelId);
    return CreateControl(parent, "", position, size, id, style | WS_CHILD | WS_CLIPCHILDREN, exStyle | WS_EX_CONTROLPARENT, L"qvPanel");
}

void Panel::SetBackImage(const ImageObject* image)
{
    if (!record_) return;
    setBackgroundImage(record_, image);
    Invalidate();
}

void Panel::SetBackColor(COLORREF color) { backColorAccess(record_, color, true); }

void Panel::SetShowImageType(int kind) { showImageTypeAccess(record_, kind, true); }

ImageObject Panel::BackImage(const ImageObject* image, bool apply) { return backImageAccess(record_, image, apply); }

COLORREF Panel::BackColor(COLORREF color, bool apply) { return backColorAccess(record_, color, apply); }

int Panel::ShowImageType(int kind, bool apply) { return showImageTypeAccess(record_, kind, apply); }

int Panel::Border(int kind, bool apply)
{
    if (!apply) return static_cast<int>(GetProperty(property::Border));
    return setControlBorder(record_, kind);
}
