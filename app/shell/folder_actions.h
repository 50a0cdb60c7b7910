// The folder-choice dialog and showing a folder in the file browser.
#pragma once

#include <string>
#include <string_view>

// The chosen folder ("D:\" for a drive root), or empty text when nothing usable was chosen.
std::string browseForFolder(std::string_view title = "请选择文件夹路径");
// Opens the file browser on the folder that holds `path`, with `path` selected. False when the
// path does not exist (as before the first download) or the browser could not be opened.
bool openAlbumFolder(std::string_view path);
