// The main window: three tab pages (sign-in, operation, about), the album list with its menus,
// the buttons and edit fields, and the status line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "app/jobs.h"
#include "ui/image_list.h"
#include "ui/list_view.h"
#include "ui/menu.h"
#include "ui/panel.h"
#include "ui/picture_box.h"
#include "ui/status_bar.h"
#include "ui/tab_control.h"
#include "ui/text_controls.h"
#include "ui/top_level_window.h"

constexpr int kAnalyseButtonId = 20001;
constexpr int kBrowseButtonId = 20002;
constexpr UINT kDownloadSelected = 10000;
constexpr UINT kOpenFolder = 10001;
constexpr UINT kSizeLarge = 10002;
constexpr UINT kSizeMiddle = 10003;
constexpr UINT kSizeSmall = 10004;
constexpr UINT kSizeThumbnail = 10005;

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
    PictureBox aboutPicture;
    Menu sizeMenu, contextMenu;
};

// The one main window of the process (null before start-up made it).
MainWindow* mainWindow();
// Builds the window (OnCreate runs during creation) and shows it; false when Windows refused.
bool createMainWindow(HICON icon);
void destroyMainWindow();

// What other threads may do to the window. They never touch a window object: another thread
// reaches the controls through their handles, taken on the window's thread when it was made, and
// what needs the objects is carried to the window's thread. When the window is gone (or not made
// yet) another thread's call does nothing.

// The status line, written under the status lock from any thread.
void setStatus(std::string_view text);
// The same for a caller that already holds the status lock (a StatusHold in scope).
void setStatusHeld(std::string_view text);
// The analyse and browse buttons, enabled again at the end of a download.
void enableJobButtons(bool enabled);
// The homepage typed in the edit field.
std::string homepageText();
// A new picture on the sign-in page (the QR code, the avatar).
void showSignInPicture(const ImageObject& image);

// Runs `step` on the window's thread, the caller waiting, only while `job` is still the current
// job of its kind there: a replaced job's last steps (its final line, the buttons, the album
// folder) never land after its successor's first ones.
void whileCurrentOnWindow(const JobContext& job, const std::function<void()>& step);

// A row of the album list with its cover, from any thread (carried out on the window's thread);
// dropped when `job` has been replaced by then.
void addAlbumRow(const JobContext& job, std::string_view text, const ImageObject& cover);

// The menu command handler, for the commands of the album list's menu.
intptr_t onMainMenuItem(intptr_t window, intptr_t command, intptr_t, intptr_t, intptr_t, intptr_t, intptr_t);
