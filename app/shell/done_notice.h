// Telling a user who is busy in another window that a download ended: the taskbar button flashes
// and the program's tray icon shows the final line in a balloon; a click on the balloon opens the
// download's folder as "打开目录" does. The icon goes once the balloon is clicked or times out,
// and with the window. GUI thread only.
#pragma once

#include <string>
#include <string_view>

#include "app/shell/desktop_calls.h"

class DoneNotice {
public:
    DoneNotice(DesktopCalls& calls, TopLevelWindow& window) : calls_(calls), window_(window) {}
    ~DoneNotice() { withdraw(); }
    DoneNotice(const DoneNotice&) = delete;
    DoneNotice& operator=(const DoneNotice&) = delete;

    // A download ended with `finalLine` (a status line) and its pictures in `folder`. Nothing is
    // shown while the program's own window is in front: the user sees the line there.
    void downloadEnded(std::string_view finalLine, const std::wstring& folder);
    // The tray icon's events (OnNotifIcon codes): 7 the balloon timed out or was closed, 8 it was clicked.
    void trayEvent(intptr_t code);
    // The icon leaves the notification area, if it is there.
    void withdraw();

private:
    DesktopCalls& calls_;      // not owned
    TopLevelWindow& window_;   // not owned
    bool shown_ = false;
    std::wstring folder_;
};

// Whether a window of this program is the one in front.
bool programInFront();
// The balloon's text: the status line without its "  状态:".
std::string_view noticeText(std::string_view finalLine);
// The folder of the owner that holds `albumFolder` (both end in "\"); empty when it has none.
std::wstring ownerFolderOf(const std::wstring& albumFolder);
