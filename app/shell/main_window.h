// The main window: three tab pages (sign-in, operation, about), the album list with its menus,
// the buttons and edit fields, and the status line.
#pragma once

#include <vector>

#include "res/resource_ids.h"
#include "ui/accelerators.h"
#include "ui/dpi.h"
#include "ui/image_list.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"


extern const char* const kWindowTitle;
extern const char* const kChangelog;

struct MainWindow {
    TopLevelWindow window;
    TabControl tabs;
    Panel signInPage, operationPage, aboutPage;
    StatusBar status;
    PictureBox signInPicture;
    Label homepageLabel, saveLabel, changelog;
    Button analyseButton, browseButton;
    Edit homepageEdit, saveFolderEdit;
    ListView albumList;
    ImageListObject covers;
    std::vector<ImageObject> coverSources;  // each row's cover as fetched, for a new scale
    ImageListObject albumStates;  // complete, incomplete, not saved yet
    PictureBox aboutPicture;
    Menu sizeMenu, contextMenu;
    Accelerators keys;  // Ctrl+Tab, Ctrl+Shift+Tab
    // What the window is laid out for: the monitor's DPI when made, then each WM_DPICHANGED's.
    DpiScale scale;
};

// The one main window of the process (null before start-up made it).
MainWindow* mainWindow();
// Builds the window (OnCreate runs during creation) and shows it; false when Windows refused.
bool createMainWindow(HICON icon);
void destroyMainWindow();

// The menu command handler, for the commands of the album list's menu.
intptr_t onMainMenuItem(intptr_t window, intptr_t command, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
