// Buttons, static texts (labels) and edit fields: clicks, text changes, their colours, and the
// edit field's Tab, Enter and vertical centring.
#pragma once

#include <string_view>

#include "ui/window_object.h"

class TextControl : public Window {
public:
    TextControl();
    void OnClick(EventHandler h) { Bind("OnClick", h); }
    // Colours as COLORREF; a background colour of -1 draws the text transparently over the brush.
    void SetTextColor(COLORREF color) { SetProperty(property::TextColor, static_cast<intptr_t>(color)); }
    // The control owns the brush from here on.
    void SetBackBrush(HBRUSH brush);
    void SetBackColor(intptr_t color) { SetProperty(property::BackColor, color); }
    // Accessor form: the previous colour; the new one stored with `apply`.
    COLORREF TextColor(COLORREF color, bool apply);
    intptr_t BackColor(intptr_t color, bool apply);
};

class Button : public TextControl {
public:
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size, int id = 0, DWORD style = 0);
    // Makes the button the one Enter (Default) or Esc (Cancel) clicks in its root window.
    void SetDefault(bool on);
    void SetCancel(bool on);
};

class Label : public TextControl {
public:
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style = 0, int id = 0);
};

class Edit : public TextControl {
public:
    Edit();
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style = ES_AUTOHSCROLL, int id = 0);
    void OnTextChange(EventHandler h) { Bind("OnTextChange", h); }
    void SetVerticalCentre(bool on);
};

intptr_t textControlReflected(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
intptr_t editHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
