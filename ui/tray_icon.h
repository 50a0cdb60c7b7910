// The window's icon in the notification area: tooltip, balloons, mouse events, and adding itself
// again when the taskbar restarts. Texts are program text.
#pragma once

#include <string_view>
#include <windows.h>
#include <shellapi.h>

#include "ui/private_messages.h"
#include "ui/window_record.h"

bool addTrayIcon(WindowRecord* record, HICON icon, std::string_view tip);
bool setTrayTip(WindowRecord* record, std::string_view tip);
bool setTrayIcon(WindowRecord* record, HICON icon);
bool showTrayBalloon(WindowRecord* record, std::string_view text, std::string_view title = {}, DWORD iconKind = 1,
                     UINT timeoutMs = 10000);
bool removeTrayIcon(WindowRecord* record);
// The record the window keeps while it has an icon (null when none).
const NOTIFYICONDATAW* trayRecord(WindowRecord* record);

// The callback message: mouse and balloon events become OnNotifIcon codes 1 to 8.
void trayCallback(WindowRecord* record, HWND window, LPARAM event);
// "TaskbarCreated": the icon is added again from the record.
bool isTaskbarCreated(WindowRecord* record, UINT message);
void readdTrayIcon(WindowRecord* record);
// Window clean-up: the icon leaves the notification area and its record and icon copy are freed.
void releaseTray(WindowRecord* record);
