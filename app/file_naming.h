// Names on disk: the save folder's form, the owner and album folder names, and picture file
// names made from a photo's time, caption and name on the image host. All program text.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The text with one "\" at its end ("\" for empty text).
std::string withBackslash(std::string_view path);

// "[yyyy.mm.dd-hh.mm]" of the time in UTC+8, whatever the computer's own time zone.
std::string photoTimePrefix(int64_t timestamp);

// The caption without / \ : * < > | ? " line breaks, blanks and other control characters, cut to
// at most 200 bytes without splitting a character.
std::string cleanCaption(std::string_view caption);

// A name Windows accepts for a folder or file: forbidden and control characters dropped, trailing
// dots and blanks dropped, "." and ".." and device names (CON, NUL, COM1, ...) made harmless; an
// empty result becomes `fallback`. Blanks inside the name stay.
std::string safeName(std::string_view name, std::string_view fallback);

// The file name of a picture: time prefix, cleaned caption, "-", the last segment of the picture's
// name made safe, and ".jpg" when the last four bytes hold no ".".
std::string pictureFileName(int64_t timestamp, std::string_view caption, std::string_view picName);
