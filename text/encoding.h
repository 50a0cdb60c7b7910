// Conversions between the program's 8-bit text (code page 936) and UTF-16.
#pragma once

#include <string>
#include <string_view>

// Code page of every 8-bit text in the program: Simplified Chinese (GBK), named explicitly so
// the program behaves the same whatever the system's ANSI code page is.
constexpr unsigned kTextCodePage = 936;
constexpr unsigned kUtf8CodePage = 65001;

// Both conversions never fail outward: a failed system conversion gives empty text. Characters the
// target code page lacks become that code page's default character.
std::wstring toUtf16(std::string_view text, unsigned codePage = kTextCodePage);
std::string toNarrow(std::wstring_view text, unsigned codePage = kTextCodePage);

// UTF-8 bytes (web pages) as 8-bit program text, through UTF-16.
std::string utf8ToNarrow(std::string_view utf8);
