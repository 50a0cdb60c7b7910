// JSON escape sequences in UTF-16 text.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Decodes \" \\ \/ \b \t \n \r \f, and \uXXXX when unicodeEscapes is set, in place: the text can
// only get shorter, and the units freed at its end are zeroed. A malformed sequence (an unknown
// letter, \u without four hex digits) stays as it is. Returns the new length in units.
size_t decodeEscapes(wchar_t* text, size_t length, bool unicodeEscapes);
void decodeEscapes(std::wstring& text, bool unicodeEscapes);

// Escapes \ " / and the control units 8, 9, 10, 12, 13; everything else is copied unchanged.
std::wstring encodeEscapes(std::wstring_view text);
