#include "net/system_cookie_store.h"

#include <cwchar>
#include <windows.h>
#include <wininet.h>

#include "text/encoding.h"

bool storeSystemCookie(const std::string& url, const std::string& name, const std::string& value)
{
    return InternetSetCookieW(toUtf16(url).c_str(), toUtf16(name).c_str(), toUtf16(value).c_str());
}

std::string systemCookiesFor(const std::string& url)
{
    const std::wstring wideUrl = toUtf16(url);
    // Asked without a buffer, the store answers in bytes; given a buffer, it takes and fills its
    // size in characters. So the buffer gets as many characters as the answer had bytes (twice
    // what is needed) and the second call is told exactly that many. A cookie set by another
    // thread between the calls makes the second call ask for more: try again a few times.
    DWORD asked = 0;
    InternetGetCookieW(wideUrl.c_str(), nullptr, nullptr, &asked);
    for (int attempt = 0; attempt < 4 && asked != 0; ++attempt) {
        std::wstring cookies(static_cast<size_t>(asked) + 1, L'\0');
        DWORD size = static_cast<DWORD>(cookies.size());
        if (InternetGetCookieW(wideUrl.c_str(), nullptr, cookies.data(), &size)) {
            cookies.resize(wcsnlen(cookies.c_str(), cookies.size()));
            return toNarrow(cookies);
        }
        if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || size <= asked) return {};
        asked = size;
    }
    return {};
}
