// The progress a download shows on the window's taskbar button. Nothing reaches the button before
// the shell says it exists; what was wanted meanwhile is shown then. Each state and value goes to
// the shell only when it changes. GUI thread only.
#pragma once

#include <windows.h>

#include <cstdint>

#include "app/shell/desktop_calls.h"

struct ButtonView {
    ButtonProgress state = ButtonProgress::None;
    uint64_t done = 0;
    uint64_t total = 0;
};

class TaskbarProgress {
public:
    TaskbarProgress(DesktopCalls& calls, HWND window) : calls_(calls), window_(window) {}
    TaskbarProgress(const TaskbarProgress&) = delete;
    TaskbarProgress& operator=(const TaskbarProgress&) = delete;

    // "TaskbarButtonCreated" arrived (again, after the taskbar restarted): the new button shows
    // what is wanted now.
    void buttonCreated();
    void show(const ButtonView& view);
    const ButtonView& wanted() const { return wanted_; }

private:
    void apply();

    DesktopCalls& calls_;  // not owned
    HWND window_;          // not owned
    bool ready_ = false;
    ButtonView wanted_;
    bool shown_ = false;  // `onButton_` is what the button shows
    ButtonView onButton_;
};
