// A menu: one owned menu handle (bar, popup, system menu or loaded), built item by item and shown
// at the cursor; the chosen command reaches the owner window as OnMenuItemClick.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

#include "ui/gdi_holders.h"

class Menu {
public:
    Menu() = default;
    ~Menu() { Destroy(); }
    Menu(const Menu&) = delete;
    Menu& operator=(const Menu&) = delete;

    bool CreateMenuBar();
    // Fails (keeping the menu it holds) when the object already holds one.
    bool CreatePopup();
    // A borrowed handle: the object does not destroy the window's system menu.
    void FromSystemMenu(HWND window);
    // The loaded menu is the object's, destroyed with it.
    bool LoadFromResource(const wchar_t* name);
    void Destroy();
    HMENU Handle() const { return menu_; }

    // The submenu becomes part of this menu; its object lets go of it.
    bool AppendSubMenu(Menu& submenu, std::string_view text);
    bool AppendItem(std::string_view text, UINT command);
    bool AppendItemW(std::wstring_view text, UINT command);
    bool AppendSeparator();
    bool InsertItem(std::string_view text, UINT command, int position = -1);
    // By position, not command id.
    bool CheckRadio(UINT checked, UINT first, UINT last);
    bool Check(UINT command, bool checked);
    bool IsChecked(UINT command) const;
    std::string GetItemText(UINT item, bool byPosition = true) const;
    std::wstring GetItemTextW(UINT item, bool byPosition = true) const;
    int GetItemCount() const { return GetMenuItemCount(menu_); }
    HMENU GetSubMenu(int position) const { return ::GetSubMenu(menu_, position); }
    bool SetDefaultItem(UINT item, bool byPosition = false) { return SetMenuDefaultItem(menu_, item, byPosition); }
    // The background stays until this object lets go of the menu (Destroy, or its destruction),
    // even when a window or another menu owns the menu itself.
    bool SetBackColor(COLORREF color);
    // A pattern brush made from the bitmap (the caller keeps the bitmap) becomes the background.
    bool SetBackImage(HBITMAP bitmap);
    bool SetItemInfo(UINT item, const MENUITEMINFOW& info, bool byPosition = false);
    // Fills the fields `info.fMask` asks for; a text field needs its buffer and length set.
    bool GetItemInfo(UINT item, MENUITEMINFOW& info, bool byPosition = false) const;
    // Makes the owner the foreground window, then tracks the menu at a screen position.
    BOOL Popup(int x, int y, HWND owner, UINT flags = 0);
    // The window owns the menu from here on and destroys it with itself.
    bool AttachToWindow(HWND window);

private:
    // The object owns the background brush, whoever owns the menu: a window destroys its menu
    // but never the menu's brush.
    bool setBackground(UniqueBrush brush);
    void releaseBackground();

    HMENU menu_ = nullptr;
    bool owned_ = false;
    UniqueBrush background_;
};
