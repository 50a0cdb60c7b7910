// What the main window shows of a download outside itself: the taskbar button's progress, the
// system kept awake while the download works, and the notice at its end. Jobs report through the
// window (downloadMoved, downloadEnded in job_window.h); everything here runs on the GUI thread.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string_view>

class TopLevelWindow;

// Made once the main window exists, gone with it.
void startDownloadSignals(TopLevelWindow& window);
void stopDownloadSignals();

// From any thread: asks the window to look again at the download, unless a look already waits in
// its queue.
void postDownloadMoved(HWND window);

// The main window's messages that concern them (its own, "TaskbarButtonCreated", activation and
// destruction); true when the message was theirs alone.
bool onDownloadSignalMessage(UINT message, WPARAM wParam);
// The tray icon's events (OnNotifIcon codes).
void onDownloadNoticeEvent(intptr_t code);

// A download starts (a new one replaces any other): a red button of the last one goes.
void downloadBegan();
// The user held the download or let it go on, or it moved on.
void downloadRefresh();
// The download ended: `whole` or not, its final line for the notice (empty: none).
void downloadFinished(bool whole, std::string_view finalLine);
