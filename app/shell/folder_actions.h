// The folder-choice dialog and showing a folder in the file browser. Paths are UTF-16, so any
// folder the system can open is one the program can use.
#pragma once

#include <shlobj.h>

#include <string>
#include <string_view>

// The chosen folder ("D:\" for a drive root), or empty text when nothing usable was chosen.
std::wstring browseForFolder(std::wstring_view title = L"请选择文件夹路径");
// What the dialog's answer names: the path of the chosen item, a drive root as "D:\", a name
// typed without an item as "\\name"; empty when nothing usable was chosen or the typed name
// shows a "?" (a name the system itself cannot show).
std::wstring chosenFolder(PCIDLIST_ABSOLUTE item, std::wstring_view displayName);
// Opens the file browser on the folder that holds `path`, with `path` selected. False when the
// path does not exist (as before the first download) or the browser could not be opened.
bool openAlbumFolder(std::wstring_view path);
