// The cookie side of HttpClient: cookies sent with a request, read from an answer, and kept
// between requests in a jar (mode 1) or the system's cookie store (mode 2).
#include <algorithm>
#include <windows.h>
#include <winhttp.h>

#include "net/cookie_text.h"
#include "net/http_client.h"
#include "net/system_cookie_store.h"

bool HttpClient::setCookies(std::string_view cookies)
{
    if (cookieMode_ == 1) return addJarCookies(cookies);
    if (cookieMode_ == 2) return storeCookieText(cookies);
    if (!request_) return false;
    // WinHTTP's own cookies off, so the request carries exactly one "Cookie:" line: ours.
    disableWinHttpCookies();
    return setHeader("Cookie", cookies);
}

std::string HttpClient::responseHeader(std::string_view name) const
{
    return responseHeaders_.empty() ? std::string() : headerValue(responseHeaders_, name);
}

std::string HttpClient::responseCookies() const
{
    std::string cookies;
    for (const std::string& pair : setCookiePairs(responseHeaders_)) {
        if (isDeletion(pair)) continue;
        cookies += pair + "; ";
    }
    if (!cookies.empty()) cookies.resize(cookies.size() - 2);
    return cookies;
}

std::string HttpClient::responseCookie(std::string_view name) const
{
    if (responseHeaders_.empty()) return {};
    std::string key = "Set-Cookie: " + std::string(name) + "=";
    size_t at = findIgnoringCase(responseHeaders_, key);
    if (at == std::string::npos) {
        key = "Set-Cookie:" + std::string(name) + "=";
        at = findIgnoringCase(responseHeaders_, key);
    }
    if (at == std::string::npos) return {};
    const size_t start = at + key.size();
    const size_t lineEnd = responseHeaders_.find("\r\n", start);
    if (lineEnd == std::string::npos) return {};
    const size_t end = std::min(responseHeaders_.find(';', start), lineEnd);
    return responseHeaders_.substr(start, end - start);
}

std::string HttpClient::cookieJar() const { return jarText(jar_); }

std::string HttpClient::cookieJar(std::string_view jar)
{
    jar_ = jarFromText(jar);
    return std::string(jar);
}

std::string HttpClient::jarCookie(std::string_view name, bool withName) const { return jarValue(jar_, name, withName); }

bool HttpClient::addJarCookies(std::string_view cookies) { return jarAdd(jar_, cookies); }

bool HttpClient::removeJarCookies(std::string_view names) { return jarRemove(jar_, names); }

void HttpClient::mergeSetCookies(int ignoreDeletions)
{
    static_cast<void>(jarMerge(jar_, setCookiePairs(responseHeaders_), ignoreDeletions == 1));  // unchanged is fine
}

bool HttpClient::addJarCookieHeader() { return addHeaderLine("Cookie:" + jarText(jar_), WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE); }

bool HttpClient::storeCookieText(std::string_view cookies)
{
    bool stored = false;
    for (const std::string& piece : splitCookieText(cookies)) {
        const size_t equals = piece.find('=');
        if (equals == std::string::npos) continue;
        stored = storeSystemCookie(url_, piece.substr(0, equals), piece.substr(equals + 1)) || stored;
    }
    return stored;
}

void HttpClient::storeSetCookies(int ignoreDeletions)
{
    for (const std::string& pair : setCookiePairs(responseHeaders_)) {
        const size_t equals = pair.find('=');
        if (equals == std::string::npos) continue;
        const std::string name = pair.substr(0, equals);
        if (isDeletion(pair)) {
            // A cookie the store refuses is simply not sent back later.
            if (ignoreDeletions != 1) static_cast<void>(storeSystemCookie(url_, name, ""));
            continue;
        }
        const std::string value = pair.substr(equals + 1);
        if (ignoreDeletions == 1 && value.find_first_not_of(' ') == std::string::npos) continue;
        static_cast<void>(storeSystemCookie(url_, name, value));
    }
}

bool HttpClient::addStoreCookieHeader()
{
    const std::string cookies = systemCookiesFor(url_);
    if (cookies.empty()) return false;
    return addHeaderLine("Cookie:" + cookies, WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE);
}
