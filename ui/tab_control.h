// The tab control (SysTabControl32): each tab carries the page window shown under it; the control
// shows the page of the selected tab and hides the others.
#pragma once

#include <string>
#include <string_view>

#include <windows.h>
#include <commctrl.h>

#include "ui/window_object.h"

class TabControl : public Window {
public:
    TabControl();
    bool Create(HWND parent, POINT position = {0, 0}, SIZE size = {200, 200}, DWORD style = TCS_TOOLTIPS, DWORD exStyle = 0, int id = 0);
    // -1 when the tab could not be added.
    int AddTab(WindowObject& page, std::string_view text = {}, int index = -1, int image = -1, std::string_view tooltip = {});
    int GetCurSel() { return static_cast<int>(Send(TCM_GETCURSEL)); }
    int SetCurSel(int index) { return static_cast<int>(Send(TCM_SETCURSEL, static_cast<WPARAM>(index))); }
    int GetItemCount() { return static_cast<int>(Send(TCM_GETITEMCOUNT)); }
    // Selects a tab as a click on it would: TCN_SELCHANGING first (which may keep the current
    // tab), then the selection and TCN_SELCHANGE, both to the parent. False when the tab stayed.
    bool SelectAsUser(int index);
    // Shows the page of the selected tab and hides the others.
    void ShowSelectedPage();
    // The area under the tabs, in the tab control's client coordinates.
    RECT DisplayArea();

    void OnSelChange(EventHandler h) { Bind("OnSelChange", h); }
    void OnSelChanging(EventHandler h) { Bind("OnSelChanging", h); }
    void OnClick(EventHandler h) { Bind("OnClick", h); }
    void OnRClick(EventHandler h) { Bind("OnRClick", h); }
};

intptr_t tabReflected(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
