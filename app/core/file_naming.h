// Names on disk: the save folder's form, the owner and album folder names, and picture file
// names made from a photo's time, caption and name on the image host. Names are UTF-16 from the
// service to the disk, so that every character a Windows name can hold is kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text with one "\" at its end ("\" for empty text).
std::wstring withBackslash(std::wstring_view path);

// The first `units` of the text, never ending in the first half of a surrogate pair.
std::wstring cutToUnits(std::wstring_view text, size_t units);

// "[yyyy.mm.dd-hh.mm]" of the time in UTC+8, whatever the computer's own time zone.
std::string photoTimePrefix(int64_t timestamp);
// Whether a name begins as every picture name does: with a photo time such as "[2017.08.30-12.05]".
bool beginsWithPhotoTime(std::wstring_view name);

// The caption cut to at most 200 bytes without splitting a character, then without / \ : * < > |
// ? " line breaks, blanks and other control characters. A character counts the bytes it has in
// code page 936, or its UTF-8 bytes when that code page lacks it: a caption inside code page 936
// keeps exactly the text it always kept.
std::wstring cleanCaption(std::wstring_view caption);

// Whether a folder or file name may reach the disk as it is: not empty, at most 240 UTF-16 units,
// no separator, forbidden or control character, not "." or "..", no device name (CON, NUL,
// COM1, ...), and no dot or blank at its end. Every name passes this last check.
bool isSafeName(std::wstring_view name);

// A folder name Windows accepts: forbidden and control characters dropped, cut to 200 bytes,
// trailing dots and blanks dropped, a device name made harmless with a "_" in front, and the last
// "." of a program's or shortcut's ending (".exe", ".lnk", ".{class id}", ...) made a "_". A name that
// still fails the last check gives its `fallback` cleaned the same way, then "_". Blanks inside
// the name stay.
std::wstring safeName(std::wstring_view name, std::wstring_view fallback);

// The file name of a picture: time prefix, cleaned caption, "-", the last segment of the picture's
// name made safe, and ".jpg" when the last four bytes (counted as for the caption) hold no "." or
// when the name's ending is not a picture's. Copy 2 and later of a name carry " (copy)" before the ending. At most 240
// UTF-16 units: the caption is cut first, then the picture's name, never its ending.
std::wstring pictureFileName(int64_t timestamp, std::wstring_view caption, std::wstring_view picName, int copy = 1);
// Whether a name is one pictureFileName could have made: a safe name that begins with a photo's
// time and ends as a picture does. A name read back from disk (an album's record) is used only then.
bool isPictureFileName(std::wstring_view name);
