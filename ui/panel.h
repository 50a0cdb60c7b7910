// A panel: the framework's own plain child window ("qvPanel"), used as a tab page, with a
// painted background and OnCreate/OnSize events.
#pragma once

#include <string_view>

#include "ui/image_object.h"
#include "ui/window_object.h"

class Panel : public Window {
public:
    Panel();
    bool Create(HWND parent, POINT position = {0, 0}, SIZE size = {200, 200}, DWORD style = WS_VISIBLE, DWORD exStyle = 0, int id = 0);
    void OnCreate(EventHandler h) { Bind("OnCreate", h); }
    void OnSize(EventHandler h) { Bind("OnSize", h); }
    void SetBackImage(const ImageObject* image);
    void SetBackColor(COLORREF color);
    void SetShowImageType(int kind);
    // Accessor form: the previous value; with `apply` the new one is stored and shown.
    ImageObject BackImage(const ImageObject* image = nullptr, bool apply = false);
    COLORREF BackColor(COLORREF color = 0, bool apply = false);
    int ShowImageType(int kind = 0, bool apply = false);
    // The control border kinds (1 client edge, 2 window edge, 3 static edge, 4 both edges, 5 a line).
    int Border(int kind = 0, bool apply = false);
};

intptr_t panelHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
