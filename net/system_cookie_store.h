// The system's cookie store (WinINet), shared with every WinINet user of the Windows account.
#pragma once

#include <string>

[[nodiscard]] bool storeSystemCookie(const std::string& url, const std::string& name, const std::string& value);
// All cookies the store holds for the URL as one cookie text; empty when none.
std::string systemCookiesFor(const std::string& url);
