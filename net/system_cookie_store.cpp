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
    DWORD size = 0;
    InternetGetCookieW(wideUrl.c_str(), nullptr, nullptr, &size);
    if (size == 0) return {};
    std::wstring cookies(size / sizeof(wchar_t) + 1, L'\0');
    if (!InternetGetCookieW(wideUrl.c_str(), nullptr, cookies.data(), &size)) return {};
    cookies.resize(wcslen(cookies.c_str()));
    return toNarrow(cookies);
}
