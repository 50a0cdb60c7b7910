// Judging the names the program left on disk and the counts of its final line; shared by the
// end-to-end tests and the chaos driver.
#pragma once

#include <string>
#include <utility>

std::wstring lowered(std::wstring text);
bool endsWith(const std::wstring& text, const std::wstring& tail);

// CON, NUL, COM1, ... whatever follows the first "." and however many dots or blanks end the stem.
bool isDeviceName(std::wstring name);
// Endings Explorer opens as pictures, and endings that make it run or follow what carries them.
bool hasPictureEnding(const std::wstring& name);
bool hasProgramEnding(const std::wstring& name);

// The two counts of a final status line, "当前已下载 S张 共 L张"; -1 where one is missing.
std::pair<long, long> finalLineCounts(const std::wstring& status);
