#include "app/shell/keyboard.h"

#include <algorithm>
#include <initializer_list>

#include <windowsx.h>

#include "res/resource_ids.h"
#include "ui/dpi.h"

namespace {

KeyboardControls gControls{};
ShowAlbumMenu gShowAlbumMenu = nullptr;

// How far into the list the menu of no album opens, at 96 DPI.
constexpr int kCornerOffset = 8;

// The keyboard bit of the framework (qvStyle): the control takes Enter itself, so the message
// loop does not turn it into the window's OK command.
constexpr intptr_t kTakesEnter = 2;

// A click as the button reports it to its page, so the same OnClick runs; nothing while it is
// disabled (during a download), as for the mouse.
void press(Button& button)
{
    const HWND handle = button.GetHandle();
    if (!handle || !IsWindowEnabled(handle)) return;
    SendMessageW(::GetParent(handle), WM_COMMAND, MAKEWPARAM(GetDlgCtrlID(handle), BN_CLICKED), reinterpret_cast<LPARAM>(handle));
}

// Enter in the homepage field analyses the page. Its character is swallowed too: a single-line
// field would only beep at it.
intptr_t onHomepageKey(intptr_t, intptr_t message, intptr_t wParam, intptr_t, intptr_t handled, intptr_t, intptr_t)
{
    if (wParam != VK_RETURN || (message != WM_KEYDOWN && message != WM_CHAR)) return 0;
    *reinterpret_cast<int*>(handled) = 1;
    if (message == WM_KEYDOWN && gControls.analyseButton) press(*gControls.analyseButton);
    return 0;
}

// Shift+F10 and the menu key reach the list as WM_CONTEXTMENU without a mouse position (-1). A
// right click comes with its position and is the list's own NM_RCLICK.
intptr_t onAlbumListMessage(intptr_t list, intptr_t message, intptr_t, intptr_t lParam, intptr_t handled, intptr_t, intptr_t)
{
    // From the keyboard both coordinates are -1; on 64-bit Windows the rest of lParam need not be.
    if (message != WM_CONTEXTMENU || GET_X_LPARAM(lParam) != -1 || GET_Y_LPARAM(lParam) != -1 || !gShowAlbumMenu) return 0;
    *reinterpret_cast<int*>(handled) = 1;
    gShowAlbumMenu(keyboardMenuPoint(reinterpret_cast<HWND>(list)));
    return 0;
}

// The order Tab visits the controls in is their z-order: each is put right after the previous.
void setTabOrder(std::initializer_list<HWND> order)
{
    HWND previous = HWND_TOP;
    for (const HWND control : order) {
        SetWindowLongPtrW(control, GWL_STYLE, GetWindowLongPtrW(control, GWL_STYLE) | WS_TABSTOP);
        SetWindowPos(control, previous, 0, 0, 0, 0, SWP_NOMOVE | SWP_NOSIZE | SWP_NOACTIVATE);
        previous = control;
    }
}

// After a page change the focus goes to the new page's first control, or to the tabs when the
// page has none (where the arrow keys go on changing pages); never to a control now hidden.
void focusPage(TabControl& tabs)
{
    const HWND tabsHandle = tabs.GetHandle();
    const HWND root = GetAncestor(tabsHandle, GA_ROOT);
    const HWND first = GetNextDlgTabItem(root, nullptr, FALSE);
    SetFocus(first && IsChild(tabsHandle, first) ? first : tabsHandle);
}

} // namespace

void setUpKeyboard(const KeyboardControls& controls, ShowAlbumMenu showAlbumMenu)
{
    gControls = controls;
    gShowAlbumMenu = showAlbumMenu;
    // Guarded by EndToEndKeyboard.TabVisitsTheControlsInReadingOrder.
    setTabOrder({controls.homepageEdit->GetHandle(), controls.analyseButton->GetHandle(), controls.saveFolderEdit->GetHandle(),
                 controls.browseButton->GetHandle(), controls.albumList->GetHandle()});
    controls.homepageEdit->SetProperty(property::Style, kTakesEnter);
    controls.homepageEdit->OnWndMsg(onHomepageKey);
    controls.albumList->OnWndMsg(onAlbumListMessage);
    const ACCEL keys[] = {
        {FVIRTKEY | FCONTROL, VK_TAB, IDM_NEXT_PAGE},
        {FVIRTKEY | FCONTROL | FSHIFT, VK_TAB, IDM_PREVIOUS_PAGE},
    };
    // Without the table the pages are still reached by their tabs.
    if (controls.keys->Create(keys)) controls.window->SetAcceleratorTable(controls.keys);
}

bool keyboardCommand(intptr_t command)
{
    if (command != IDM_NEXT_PAGE && command != IDM_PREVIOUS_PAGE) return false;
    TabControl* tabs = gControls.tabs;
    const int count = tabs ? tabs->GetItemCount() : 0;
    if (count <= 0) return true;
    const int step = command == IDM_NEXT_PAGE ? 1 : count - 1;
    // Guarded by EndToEndKeyboard.CtrlTabChangesThePage.
    if (tabs->SelectAsUser((tabs->GetCurSel() + step) % count)) focusPage(*tabs);
    return true;
}

POINT keyboardMenuPoint(HWND list)
{
    RECT client{};
    GetClientRect(list, &client);
    const int offset = DpiScale(windowDpi(list))(kCornerOffset);
    POINT at{client.left + offset, client.top + offset};
    const auto selected = SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(-1), LVNI_SELECTED);
    RECT item{};
    item.left = LVIR_ICON;
    if (selected >= 0 && SendMessageW(list, LVM_ENSUREVISIBLE, static_cast<WPARAM>(selected), FALSE) &&
        SendMessageW(list, LVM_GETITEMRECT, static_cast<WPARAM>(selected), reinterpret_cast<LPARAM>(&item))) {
        // The middle of the album's cover, kept inside the list.
        at.x = std::clamp((item.left + item.right) / 2, client.left, client.right - 1);
        at.y = std::clamp((item.top + item.bottom) / 2, client.top, client.bottom - 1);
    }
    ClientToScreen(list, &at);
    return at;
}
