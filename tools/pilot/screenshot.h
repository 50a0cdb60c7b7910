// Pictures of the screen, saved as PNG files.
#pragma once

#include <windows.h>

#include <string>

// Saves what the screen shows in `area` (screen coordinates) to a PNG file.
bool saveScreenArea(const RECT& area, const std::wstring& pngPath);
