// A homepage address as people paste it: from a browser's address bar, a chat or a document.
#pragma once

#include <string>
#include <string_view>

// The typed text (code page 936) without the blanks (spaces, tabs, the full-width space) and line
// ends around it, with "http://" in front when it names no scheme ("://" absent). Empty stays empty.
[[nodiscard]] std::string cleanHomepageAddress(std::string_view typed);
