// A top-level window of the framework: created modeless or modal, with the window-level events,
// default and cancel buttons, Esc and Tab handling, border and start-position options.
#pragma once

#include <string>

#include "ui/image_object.h"
#include "ui/window_object.h"

// Counted references a top-level window holds: the buttons Enter and Esc click, and the object
// whose property::Accelerator property holds its accelerator table.
inline constexpr RecordReference kDefaultButton("DefaultButton");
inline constexpr RecordReference kCancelButton("CancelButton");
inline constexpr RecordReference kAcceleratorObject("pAccelTable");

struct CreateOptions {
    WindowObject* owner = nullptr;
    std::string title;
    POINT position{50, 50};
    SIZE size{380, 250};
    DWORD style = WS_CAPTION | WS_SYSMENU | WS_VISIBLE;
    DWORD exStyle = 0;
    bool taskbar = false;
    std::wstring className = L"qvWindow";
};

// Border kinds of top-level windows (0 popup ... 6), applied to a style pair.
void applyWindowBorder(int kind, DWORD& style, DWORD& exStyle);

// The position a window of `size` gets for a start-position kind (0 given, 1 work area centred
// from the screen origin, 2 centred on the owner or else in the work area).
POINT startPosition(int kind, POINT given, SIZE size, HWND owner);

class TopLevelWindow : public Window {
public:
    TopLevelWindow();

    bool Create(const CreateOptions& options = {});
    intptr_t ShowModal(const CreateOptions& options = {});

    bool FreeMove(bool value = false, bool apply = false) { return flag(property::FreeMove, value, apply); }
    bool NCEverActive(bool value = false, bool apply = false) { return flag(property::NcEverActive, value, apply); }
    bool EscClose(bool value = false, bool apply = false) { return flag(property::EscClose, value, apply); }
    int Border() const { return static_cast<int>(GetProperty(property::Border)); }
    void SetBorder(int kind);
    int StartPosition() const { return static_cast<int>(GetProperty(property::StartPosition)); }
    void SetStartPosition(int kind) { SetProperty(property::StartPosition, kind); }
    intptr_t DialogResult() const { return GetProperty(property::DialogResult); }
    void SetDialogResult(intptr_t value) { SetProperty(property::DialogResult, value); }
    // The same values in accessor form: the previous value, the new one stored with `apply`.
    int Border(int kind, bool apply);
    int StartPosition(int kind, bool apply);
    intptr_t DialogResult(intptr_t value, bool apply);
    // The button clicked by Enter (OK) or Esc (cancel); the window holds a counted reference.
    void SetDefaultButton(WindowObject* button) { setButton(kDefaultButton, button); }
    void SetCancelButton(WindowObject* button) { setButton(kCancelButton, button); }
    void BeginWaitCursor();
    void EndWaitCursor() { SetProperty(property::WaitCursor, 0); }
    void SetIcon(HICON icon, bool big) { Send(WM_SETICON, big ? ICON_BIG : ICON_SMALL, reinterpret_cast<LPARAM>(icon)); }
    // The window's icon, or its class's when it has none of its own.
    HICON GetIcon(bool big) const;
    void SetRoundCorners(int diameter);
    // Takes a counted reference on an object whose property::Accelerator property holds the table.
    void SetAcceleratorTable(WindowObject* accelerators) { setButton(kAcceleratorObject, accelerators); }

    // Background: each setter stores when `apply` is true and answers the previous value.
    ImageObject BackImage(const ImageObject* image = nullptr, bool apply = false);
    COLORREF BackColor(COLORREF color = 0, bool apply = false);
    int ShowImageType(int kind = 0, bool apply = false);

    // The icon in the notification area (the window keeps copies of the icons it is given).
    bool AddTrayIcon(HICON icon, std::string_view tip = {});
    bool SetTrayTip(std::string_view tip);
    bool SetTrayIcon(HICON icon);
    bool ShowBalloon(std::string_view text, std::string_view title = {}, DWORD iconKind = 1, UINT timeoutMs = 10000);
    bool RemoveTrayIcon();
    void OnNotifIcon(EventHandler h) { Bind(property::OnNotifyIcon, h); }

    void OnCreate(EventHandler h) { Bind("OnCreate", h); }
    void OnClose(EventHandler h) { Bind("OnClose", h); }
    void OnDestory(EventHandler h) { Bind("OnDestory", h); }
    void OnMove(EventHandler h) { Bind("OnMove", h); }
    void OnSize(EventHandler h) { Bind("OnSize", h); }
    void OnActivate(EventHandler h) { Bind("OnActivate", h); }
    void OnUnActivate(EventHandler h) { Bind("OnUnActivate", h); }
    void OnShow(EventHandler h) { Bind("OnShow", h); }
    void OnHide(EventHandler h) { Bind("OnHide", h); }
    void OnMenuItemClick(EventHandler h) { Bind("OnMenuItemClick", h); }
    void OnInitMenuPopup(EventHandler h) { Bind("OnInitMenuPopup", h); }
    void OnMenuSelect(EventHandler h) { Bind("OnMenuSelect", h); }
    void OnUserClose(EventHandler h) { Bind("OnUserClose", h); }
    void OnFirstActivate(EventHandler h) { Bind(property::OnFirstActivate, h); }

private:
    bool flag(const char* name, bool value, bool apply);
    void setButton(const RecordReference& reference, WindowObject* referenced);
    HWND createWindow(const CreateOptions& options, bool modal);
};

intptr_t topLevelHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
void topLevelCleanUp(WindowRecord* record);

// Whether a queued message should go to IsDialogMessage (Tab, Enter, arrows, mouse), by the
// `qvStyle` bits of its window; Esc is turned into the cancel command here.
bool passesKeyboardFilter(MSG& message);

// The program's main loop: runs until the main window is gone or a quit message arrives.
int RunMessageLoop(TopLevelWindow& mainWindow, bool show = true);
