#include "ui/themed_page.h"

#include <commctrl.h>
#include <uxtheme.h>
#include <vssym32.h>

namespace {

bool hasClass(HWND window, const wchar_t* className)
{
    wchar_t name[32] = {};
    return window && GetClassNameW(window, name, 32) && lstrcmpiW(name, className) == 0;
}

bool isOnTabControl(HWND page) { return hasClass(GetParent(page), WC_TABCONTROLW); }

bool themed() { return IsAppThemed() && IsThemeActive(); }

} // namespace

bool paintTabBody(HWND page, HDC dc)
{
    if (!themed() || !isOnTabControl(page)) return false;
    const HTHEME theme = OpenThemeData(GetParent(page), L"TAB");
    if (!theme) return false;
    RECT client{};
    GetClientRect(page, &client);
    const bool drawn = SUCCEEDED(DrawThemeBackground(theme, dc, TABP_BODY, 0, &client, nullptr));
    CloseThemeData(theme);
    return drawn;
}

bool drawOverParentBackground(HWND label, HDC dc)
{
    const HWND page = GetParent(label);
    // Only static labels: an edit control asks the same when it is read-only, and keeps its own colour.
    if (!hasClass(label, L"Static") || !page || !themed() || !isOnTabControl(page)) return false;
    // The page paints its tab body into the label's device context, offset to the label.
    if (FAILED(DrawThemeParentBackground(label, dc, nullptr))) return false;
    SetBkMode(dc, TRANSPARENT);
    return true;
}
