// The calls that show the program's work outside its window: progress on the taskbar button,
// flashing that button, a balloon from the notification area, and keeping the computer awake.
// They pass through this one seam because Wine cannot show the taskbar button (it never sends
// "TaskbarButtonCreated", and its taskbar list and execution state do nothing): a test build puts
// a recorder in place of the system, and the end-to-end tests read what the program asked for.
// Everything here runs on the GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string_view>

class TopLevelWindow;

// What the taskbar button shows: nothing, green progress, yellow (held) or red (went wrong).
enum class ButtonProgress { None, Normal, Paused, Error };

class DesktopCalls {
public:
    virtual ~DesktopCalls() = default;
    // The shell has made the window's taskbar button (its "TaskbarButtonCreated" arrived): only
    // now may progress be shown on it. False when the button cannot show progress.
    [[nodiscard]] virtual bool taskbarButtonCreated(HWND window) = 0;
    virtual void setProgressState(HWND window, ButtonProgress state) = 0;
    virtual void setProgressValue(HWND window, uint64_t done, uint64_t total) = 0;
    // Keeps the system from sleeping while the program works (true), or lets it sleep again.
    virtual void keepAwake(bool awake) = 0;
    // Flashes the taskbar button until the window comes to the front.
    virtual void flash(HWND window) = 0;
    // The window's icon in the notification area with a balloon (program text); false when the
    // notification area took neither.
    [[nodiscard]] virtual bool showBalloon(TopLevelWindow& window, std::string_view title, std::string_view text) = 0;
    // The icon leaves the notification area with its balloon.
    virtual void removeBalloon(TopLevelWindow& window) = 0;
};

// The system's calls; in a test build the recorder instead, when PICLADE_DESKTOP_LOG names a file.
std::unique_ptr<DesktopCalls> makeDesktopCalls();
// The test build's stand-in (desktop_recorder.cpp): each call becomes one UTF-8 line in the file
// PICLADE_DESKTOP_LOG names. Null in a release build, and when the variable is not set.
std::unique_ptr<DesktopCalls> makeDesktopRecorder();
