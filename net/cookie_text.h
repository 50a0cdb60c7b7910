// Cookie texts, "Set-Cookie:" lines and the cookie jar, as plain text operations.
//   cookie text: name=value pairs joined by "; " (what a "Cookie:" header carries);
//   jar: "; " + each pair followed by "; " (an empty jar is "; "), so every entry is found by
//        the key "; " + name + "=".
#pragma once

#include <string>
#include <string_view>
#include <vector>

// Position of `needle` in `text` from `from` on, ignoring ASCII case; npos when absent.
size_t findIgnoringCase(std::string_view text, std::string_view needle, size_t from = 0);

// Breaks a cookie text at every ";" and drops the leading blanks of each piece.
std::vector<std::string> splitCookieText(std::string_view text);

// Every "Set-Cookie:" pair of a raw header block, in order: the text after the header name up to
// the first ";" or line end, leading blanks (ASCII and the full-width blank) removed. A line not
// ended by CR LF ends the scan.
std::vector<std::string> setCookiePairs(std::string_view headers);

// A pair ending in exactly "=deleted", "=DELETED" or "=Deleted".
[[nodiscard]] bool isDeletion(std::string_view pair);

// The value of a header line ("\r\n" + name + ":" ignoring case), leading blanks removed.
std::string headerValue(std::string_view headers, std::string_view name);

// Jar operations; each returns whether the jar changed.
[[nodiscard]] bool jarAdd(std::string& jar, std::string_view cookies);
[[nodiscard]] bool jarRemove(std::string& jar, std::string_view names);
[[nodiscard]] bool jarMerge(std::string& jar, const std::vector<std::string>& setCookies, bool ignoreDeletions);
std::string jarValue(std::string_view jar, std::string_view name, bool withName);
// The jar as a cookie text (without its leading and trailing "; ").
std::string jarText(std::string_view jar);
// A cookie text in the jar's form.
std::string jarFromText(std::string_view text);
