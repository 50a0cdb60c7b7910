// The status bar: a single-part status line whose text is the window text.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>
#include <commctrl.h>

#include "ui/window_object.h"

class StatusBar : public Window {
public:
    StatusBar();
    bool Create(HWND parent, std::string_view text = {}, DWORD style = SBARS_SIZEGRIP | CCS_BOTTOM, int id = 0);
    // With position, size and extended style; the UTF-16 twin takes its title as it is.
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size = {200, 32},
                DWORD style = SBARS_SIZEGRIP | CCS_BOTTOM, DWORD exStyle = 0, int id = 0);
    bool CreateW(HWND parent, std::wstring_view text, POINT position = {0, 0}, SIZE size = {200, 32},
                 DWORD style = SBARS_SIZEGRIP | CCS_BOTTOM, DWORD exStyle = 0, int id = 0);
    bool SetPartTextW(int part, std::wstring_view text);
    std::wstring GetPartTextW(int part);
    bool SetPartText(int part, std::string_view text);
    std::string GetPartText(int part);
    int GetParts(int count, int* rightEdges) { return static_cast<int>(Send(SB_GETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rightEdges))); }
    bool SetParts(int count, const int* rightEdges) { return Send(SB_SETPARTS, static_cast<WPARAM>(count), reinterpret_cast<LPARAM>(rightEdges)) != 0; }
    RECT GetPartRect(int part);
    COLORREF SetBackColor(COLORREF color) { return static_cast<COLORREF>(Send(SB_SETBKCOLOR, 0, static_cast<LPARAM>(color))); }
    // The bar keeps a copy of the icon and destroys the copy it held before.
    bool SetPartIcon(int part, HICON icon);

    void OnClick(EventHandler h) { Bind("OnClick", h); }
    void OnDBLClick(EventHandler h) { Bind("OnDBLClick", h); }
    void OnRClick(EventHandler h) { Bind("OnRClick", h); }
    void SimpleModeChange(EventHandler h) { Bind("SimpleModeChange", h); }
};
