#include "ui/menu.h"
#include "ui/application.h"

#include <utility>

#include "text/encoding.h"

bool Menu::CreateMenuBar()
{
    if (menu_) return false;
    menu_ = CreateMenu();
    owned_ = menu_ != nullptr;
    return owned_;
}

bool Menu::CreatePopup()
{
    if (menu_) return false;
    menu_ = CreatePopupMenu();
    owned_ = menu_ != nullptr;
    return owned_;
}

void Menu::FromSystemMenu(HWND window)
{
    Destroy();
    menu_ = GetSystemMenu(window, FALSE);
    owned_ = false;
}

bool Menu::LoadFromResource(const wchar_t* name)
{
    Destroy();
    menu_ = LoadMenuW(Application::Instance(), name);
    owned_ = menu_ != nullptr;
    return owned_;
}

void Menu::releaseBackground()
{
    if (!background_) return;
    // A menu that outlives this object (a window's, or part of another menu) must not go on
    // painting with a deleted brush.
    if (menu_ && IsMenu(menu_)) {
        MENUINFO info{};
        info.cbSize = sizeof info;
        info.fMask = MIM_BACKGROUND;
        info.hbrBack = nullptr;
        SetMenuInfo(menu_, &info);
    }
    background_.reset();
}

bool Menu::setBackground(UniqueBrush brush)
{
    if (!brush) return false;
    MENUINFO info{};
    info.cbSize = sizeof info;
    info.fMask = MIM_BACKGROUND;
    info.hbrBack = brush.get();
    if (!menu_ || !SetMenuInfo(menu_, &info)) return false;
    background_ = std::move(brush);
    return true;
}

void Menu::Destroy()
{
    releaseBackground();
    if (menu_ && owned_) DestroyMenu(menu_);
    menu_ = nullptr;
    owned_ = false;
}

bool Menu::AppendSubMenu(Menu& submenu, std::string_view text)
{
    if (!AppendMenuW(menu_, MF_POPUP | MF_STRING, reinterpret_cast<UINT_PTR>(submenu.menu_), toUtf16(text).c_str())) return false;
    submenu.owned_ = false;  // destroyed with this menu
    return true;
}

bool Menu::AppendItem(std::string_view text, UINT command) { return AppendItemW(toUtf16(text), command); }

bool Menu::AppendItemW(std::wstring_view text, UINT command) { return AppendMenuW(menu_, MF_STRING, command, std::wstring(text).c_str()); }

bool Menu::AppendSeparator() { return AppendMenuW(menu_, MF_SEPARATOR, 0, nullptr); }

bool Menu::InsertItem(std::string_view text, UINT command, int position)
{
    return InsertMenuW(menu_, position < 0 ? static_cast<UINT>(-1) : static_cast<UINT>(position), MF_BYPOSITION | MF_STRING,
                       command, toUtf16(text).c_str());
}

bool Menu::CheckRadio(UINT checked, UINT first, UINT last) { return CheckMenuRadioItem(menu_, first, last, checked, MF_BYPOSITION); }

bool Menu::Check(UINT command, bool checked)
{
    return CheckMenuItem(menu_, command, MF_BYCOMMAND | (checked ? MF_CHECKED : MF_UNCHECKED)) != static_cast<DWORD>(-1);
}

bool Menu::IsChecked(UINT command) const { return (GetMenuState(menu_, command, MF_BYCOMMAND) & MF_CHECKED) != 0; }

std::string Menu::GetItemText(UINT item, bool byPosition) const { return toNarrow(GetItemTextW(item, byPosition)); }

std::wstring Menu::GetItemTextW(UINT item, bool byPosition) const
{
    wchar_t text[256] = {};
    const int length = GetMenuStringW(menu_, item, text, 256, byPosition ? MF_BYPOSITION : MF_BYCOMMAND);
    return std::wstring(text, length > 0 ? length : 0);
}

bool Menu::SetBackColor(COLORREF color) { return setBackground(UniqueBrush(CreateSolidBrush(color))); }

BOOL Menu::Popup(int x, int y, HWND owner, UINT flags)
{
    SetForegroundWindow(owner);
    return TrackPopupMenu(menu_, flags, x, y, 0, owner, nullptr);
}

bool Menu::AttachToWindow(HWND window)
{
    if (!SetMenu(window, menu_)) return false;
    // Windows destroys a window's menu with the window: the object no longer does.
    owned_ = false;
    DrawMenuBar(window);
    return true;
}

bool Menu::SetBackImage(HBITMAP bitmap) { return setBackground(UniqueBrush(bitmap ? CreatePatternBrush(bitmap) : nullptr)); }

bool Menu::SetItemInfo(UINT item, const MENUITEMINFOW& info, bool byPosition)
{
    MENUITEMINFOW copy = info;
    copy.cbSize = sizeof copy;
    return SetMenuItemInfoW(menu_, item, byPosition, &copy);
}

bool Menu::GetItemInfo(UINT item, MENUITEMINFOW& info, bool byPosition) const
{
    info.cbSize = sizeof info;
    return GetMenuItemInfoW(menu_, item, byPosition, &info);
}
