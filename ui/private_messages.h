// Every private window message of the program, numbered once. The framework's own window classes
// take WM_USER numbers; the program's main window takes WM_APP ones.
#pragma once

#include <windows.h>

enum PrivateMessage : UINT {
    // The layout object placing a window's children: apply, resize, and ask for the minimum size.
    kLayoutApply = WM_USER + 1,
    kLayoutResize = WM_USER + 2,
    kLayoutMinimumSize = WM_USER + 3,
    // The picture box: show the player's next frame, and run a call on the control's thread.
    kShowFrameMessage = WM_USER + 0x400,
    kPictureCallMessage = WM_USER + 0x402,
    // The tray icon's notifications to its window.
    kTrayCallbackMessage = 0x3019,
    // The main window: run another thread's call on the window's thread.
    kMainCallMessage = WM_APP + 1,
    // The main window: a download moved on; look again at what the taskbar button shows.
    kDownloadMovedMessage = WM_APP + 2,
};
