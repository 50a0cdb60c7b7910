// The main window for the keyboard: the tab order of the operation page, Enter in the homepage
// field, the album menu from the keyboard (Shift+F10, the menu key) and Ctrl+Tab between pages.
#pragma once

#include <windows.h>

#include <cstdint>

#include "ui/accelerators.h"
#include "ui/list_view.h"
#include "ui/tab_control.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"

// The controls the keyboard reaches; the window owns them, the keyboard borrows them.
struct KeyboardControls {
    TopLevelWindow* window;
    TabControl* tabs;
    Edit* homepageEdit;
    Button* analyseButton;
    Edit* saveFolderEdit;
    Button* browseButton;
    ListView* albumList;
    Accelerators* keys;
};

// Opens the album list's menu at a point on the screen, as a right click does.
using ShowAlbumMenu = void (*)(POINT screen);

// Once every control exists (their creation order stays as it is).
void setUpKeyboard(const KeyboardControls& controls, ShowAlbumMenu showAlbumMenu);
// The commands of Ctrl+Tab and Ctrl+Shift+Tab; true when `command` was one of them.
bool keyboardCommand(intptr_t command);
// Where the album menu opens from the keyboard, on the screen: over the selected album (scrolled
// into view), or near the list's top-left corner when none is selected.
POINT keyboardMenuPoint(HWND list);
