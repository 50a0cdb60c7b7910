#include "net/http_client.h"

#include <algorithm>
#include <winsock2.h>
#include <windows.h>
#include <winhttp.h>

#include "net/cookie_text.h"
#include "tasks/debug_trace.h"
#include "text/encoding.h"

namespace {

constexpr DWORD kIgnoreAllCertificateErrors = 0x3300;
constexpr DWORD kAddAndReplace = WINHTTP_ADDREQ_FLAG_ADD | WINHTTP_ADDREQ_FLAG_REPLACE;

// Every text reaches WinHTTP converted from code page 936 to UTF-16 here, and comes back through
// toNarrow: the program's text means the same on every system code page.
std::wstring wide(std::string_view text) { return toUtf16(text); }

std::string lowered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
    return result;
}

std::string uppered(std::string_view text)
{
    std::string result(text);
    for (char& c : result)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return result;
}

// Decimal digits after optional blanks; stops at the first other character.
int64_t leadingNumber(std::string_view text)
{
    size_t at = 0;
    while (at < text.size() && text[at] == ' ') ++at;
    int64_t value = 0;
    for (; at < text.size() && text[at] >= '0' && text[at] <= '9'; ++at) {
        value = value * 10 + (text[at] - '0');
        if (value > (int64_t{1} << 53)) break;
    }
    return value;
}

// Failures worth another attempt: no connection could be made, or it broke. The two socket codes
// are there on purpose: Wine reports a connection reset by the server with them where Windows
// reports ERROR_WINHTTP_CONNECTION_ERROR, and such a reset must be retried on both.
bool isConnectionFailure(DWORD error)
{
    return error == ERROR_WINHTTP_CANNOT_CONNECT || error == ERROR_WINHTTP_CONNECTION_ERROR || error == WSAECONNRESET ||
           error == WSAECONNABORTED;
}

} // namespace

HttpClient::HttpClient()
{
    enlist();
    // Without a session every open fails, which is where the caller learns of it.
    static_cast<void>(openSession());
    static_cast<void>(resetDefaults());
}

HttpClient::~HttpClient()
{
    delist();
    close();
}

bool HttpClient::openSession(std::string_view userAgent)
{
    const std::wstring agent = wide(userAgent.empty() ? std::string_view(kDefaultUserAgent) : userAgent);
    session_.reset(WinHttpOpen(agent.c_str(), WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    // The body buffer exists from here on with its starting capacity.
    // Refused, it stays empty: the first read reserves its own room.
    if (body_.reserve(kBodyStartCapacity)) static_cast<void>(body_.grow(kBodyStartCapacity));
    return static_cast<bool>(session_);
}

void HttpClient::close()
{
    replaceRequest(nullptr);
    connection_.reset();
    session_.reset();
    body_.release();
    bodyLength_ = 0;
    bodyRead_ = false;
    bodyEndedCleanly_ = false;
    contentLength_ = 0;
    port_ = 0;
    redirectsDisabled_ = false;
    proxyCredentialsPending_ = false;
    responseHeaders_.clear();
    proxyUser_.clear();
    proxyPassword_.clear();
    host_.clear();
    url_.clear();
}

bool HttpClient::resetDefaults()
{
    defaultHeadersOn_ = true;
    cookieMode_ = 0;
    // Certificate checks stay on: a sign-in must not be open to a forged certificate.
    ignoreCertErrorsPending_ = false;
    jar_ = "; ";
    return session_ && WinHttpSetTimeouts(session_.get(), 10000, 15000, 120000, 300000);
}

void HttpClient::reinit(std::string_view userAgent)
{
    close();
    static_cast<void>(openSession(userAgent));  // as in the constructor: the next open fails
    static_cast<void>(resetDefaults());
}

bool HttpClient::setTimeouts(std::optional<int> resolveMs, std::optional<int> connectMs, std::optional<int> sendMs,
                             std::optional<int> receiveMs)
{
    if (!session_) return false;
    return WinHttpSetTimeouts(session_.get(), resolveMs.value_or(10000), connectMs.value_or(15000), sendMs.value_or(120000),
                              receiveMs.value_or(300000));
}

void* HttpClient::sessionHandle(void* newValue)
{
    session_.reset(newValue);
    return session_.get();
}

void* HttpClient::connectHandle(void* newValue)
{
    connection_.reset(newValue);
    return connection_.get();
}

void* HttpClient::requestHandle(void* newValue)
{
    // A new request has no answer yet: what was kept belonged to the old one.
    bodyLength_ = 0;
    bodyRead_ = false;
    bodyEndedCleanly_ = false;
    contentLength_ = 0;
    responseHeaders_.clear();
    replaceRequest(newValue);
    return request_.get();
}

bool HttpClient::setProxy(std::string_view proxy, std::string_view user, std::string_view password)
{
    if (!session_) return false;
    std::wstring proxyName = wide(proxy);
    WINHTTP_PROXY_INFO info{};
    if (!proxy.empty()) {
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NAMED_PROXY;
        info.lpszProxy = proxyName.data();
        if (request_) {
            setProxyCredentials(user, password);
        } else {
            proxyUser_ = user;
            proxyPassword_ = password;
            proxyCredentialsPending_ = true;
        }
    } else {
        info.dwAccessType = WINHTTP_ACCESS_TYPE_NO_PROXY;
    }
    return WinHttpSetOption(session_.get(), WINHTTP_OPTION_PROXY, &info, sizeof info);
}

void HttpClient::noteFailure(const wchar_t* step, HttpFailure::Kind kind, unsigned long windowsError)
{
    if (isCancelled()) kind = HttpFailure::Kind::Cancelled;
    lastFailure_ = {kind, windowsError};
    trace(L"%ls failed (reason %d, error %lu)", step, static_cast<int>(kind), windowsError);
}

bool HttpClient::open(std::string_view method, std::string_view url)
{
    lastFailure_ = {};
    if (!session_ || isCancelled()) {
        noteFailure(L"Opening an address", HttpFailure::Kind::WindowsError, ERROR_INVALID_HANDLE);
        return false;
    }
    url_ = url;
    if (url_.size() < 8) {
        url_.insert(0, "http://");
    } else {
        const std::string prefix = lowered(url_.substr(0, 8));
        if (prefix != "https://" && prefix.compare(0, 7, "http://") != 0) url_.insert(0, "http://");
    }

    const std::wstring wideUrl = wide(url_);
    URL_COMPONENTS parts{};
    parts.dwStructSize = sizeof parts;
    parts.dwSchemeLength = static_cast<DWORD>(-1);
    parts.dwHostNameLength = static_cast<DWORD>(-1);
    parts.dwUrlPathLength = static_cast<DWORD>(-1);
    parts.dwExtraInfoLength = static_cast<DWORD>(-1);
    if (!WinHttpCrackUrl(wideUrl.c_str(), static_cast<DWORD>(wideUrl.size()), 0, &parts)) {
        noteFailure(L"Reading an address", HttpFailure::Kind::WindowsError, GetLastError());
        return false;
    }

    bodyLength_ = 0;
    bodyRead_ = false;
    bodyEndedCleanly_ = false;
    contentLength_ = 0;
    responseHeaders_.clear();
    replaceRequest(nullptr);

    const std::wstring wideHost(parts.lpszHostName, parts.dwHostNameLength);
    const std::string host = toNarrow(wideHost);
    if (!connection_ || host != host_ || parts.nPort != port_) {
        connection_.reset();
        connection_.reset(WinHttpConnect(session_.get(), wideHost.c_str(), parts.nPort, 0));
        if (!connection_) {
            noteFailure(L"Connecting", HttpFailure::Kind::WindowsError, GetLastError());
            return false;
        }
        host_ = host;
        port_ = parts.nPort;
    }

    std::string verb = method.empty() ? std::string("GET") : uppered(method);
    if (!method.empty() && defaultHeadersOn_) isPost_ = verb == "POST";

    std::wstring object;
    if (parts.dwUrlPathLength >= 1) {
        object.assign(parts.lpszUrlPath, parts.dwUrlPathLength);
        if (parts.lpszExtraInfo) object.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
    } else {
        object = L"/";
    }
    scheme_ = parts.nScheme;
    const DWORD flags = parts.nScheme == INTERNET_SCHEME_HTTPS ? WINHTTP_FLAG_SECURE : 0;
    replaceRequest(WinHttpOpenRequest(connection_.get(), wide(verb).c_str(), object.c_str(), nullptr, WINHTTP_NO_REFERER,
                                      WINHTTP_DEFAULT_ACCEPT_TYPES, flags));
    if (!request_) noteFailure(L"Opening the request", HttpFailure::Kind::WindowsError, GetLastError());
    return static_cast<bool>(request_);
}

bool HttpClient::setRequestOption(unsigned option, unsigned value)
{
    DWORD data = value;
    return request_ && WinHttpSetOption(liveRequest(), option, &data, sizeof data);
}

void HttpClient::setProxyCredentials(std::string_view user, std::string_view password)
{
    const std::wstring wideUser = wide(user), widePassword = wide(password);
    WinHttpSetOption(liveRequest(), WINHTTP_OPTION_PROXY_USERNAME, const_cast<wchar_t*>(wideUser.c_str()),
                     static_cast<DWORD>(wideUser.size()));
    WinHttpSetOption(liveRequest(), WINHTTP_OPTION_PROXY_PASSWORD, const_cast<wchar_t*>(widePassword.c_str()),
                     static_cast<DWORD>(widePassword.size()));
}

// Best effort: without a request there is nothing to keep cookies off.
void HttpClient::disableWinHttpCookies()
{
    static_cast<void>(setRequestOption(WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_COOKIES));
}

void HttpClient::applyRequestOptions()
{
    if (proxyCredentialsPending_) {
        setProxyCredentials(proxyUser_, proxyPassword_);
        proxyCredentialsPending_ = false;
        proxyUser_.clear();
        proxyPassword_.clear();
    }
    // The options below only fail without a live request, and then the send fails anyway.
    if (redirectsDisabled_ || cookieMode_ > 0)
        static_cast<void>(setRequestOption(WINHTTP_OPTION_DISABLE_FEATURE, WINHTTP_DISABLE_REDIRECTS));
    // Certificates are checked unless asked otherwise: guarded by HttpClientTest.CertificatesAreVerified, EndToEndPromises.ForgedCertificateFailsTheSignIn.
    if (ignoreCertErrorsPending_) {
        static_cast<void>(setRequestOption(WINHTTP_OPTION_SECURITY_FLAGS, kIgnoreAllCertificateErrors));
        ignoreCertErrorsPending_ = false;
    }
    if (cookieMode_ != 0) {
        disableWinHttpCookies();
        // An empty jar or store adds no line, which is no failure.
        if (cookieMode_ == 1) static_cast<void>(addJarCookieHeader());
        if (cookieMode_ == 2) static_cast<void>(addStoreCookieHeader());
    }
}

bool HttpClient::addHeaderLine(std::string_view line, unsigned flags)
{
    if (!request_) return false;
    const std::wstring wideLine = wide(line);
    return WinHttpAddRequestHeaders(liveRequest(), wideLine.c_str(), static_cast<DWORD>(wideLine.size()), flags);
}

// Guarded by EndToEndRequests.EachKindGoesOutAsTheServiceExpectsIt: every request of the program carries them.
bool HttpClient::addDefaultHeaders(bool hasBody)
{
    bool ok = addHeaderLine("Accept:*/*", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW);
    ok = addHeaderLine("Accept-Language:zh-cn", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) && ok;
    ok = addHeaderLine("Cache-Control:no-cache", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) && ok;
    if (isPost_ || hasBody) ok = addHeaderLine("Content-Type:application/x-www-form-urlencoded", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW) && ok;
    return ok;
}

bool HttpClient::send(std::string_view body, int ignoreDeletions, int retries)
{
    if (!request_ || isCancelled()) {
        noteFailure(L"Sending without a request", HttpFailure::Kind::WindowsError, ERROR_INVALID_HANDLE);
        return false;
    }
    if (retries < 0) retries = 0;
    applyRequestOptions();
    if (defaultHeadersOn_) static_cast<void>(addDefaultHeaders(!body.empty()));  // a request without them still goes

    const DWORD length = static_cast<DWORD>(body.size());
    void* data = body.empty() ? WINHTTP_NO_REQUEST_DATA : const_cast<char*>(body.data());
    bool answered = false;
    DWORD error = ERROR_SUCCESS;
    for (int attempt = 0; attempt <= retries && !answered; ++attempt) {
        if (WinHttpSendRequest(liveRequest(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, data, length, length, 0) &&
            WinHttpReceiveResponse(liveRequest(), nullptr)) {
            answered = true;
            break;
        }
        error = GetLastError();
        if (!isConnectionFailure(error) || isCancelled()) {
            noteFailure(L"Sending the request", HttpFailure::Kind::WindowsError, error);
            return false;
        }
    }
    if (!answered || isCancelled()) {
        noteFailure(L"Sending the request", HttpFailure::Kind::WindowsError, error);
        return false;
    }
    static_cast<void>(processResponseHeaders(ignoreDeletions));  // no headers: the length reads as unknown
    bytesMoved_.fetch_add(responseHeaders_.size() + 1);  // an answer that came moved something
    followRedirect(ignoreDeletions, retries);
    return true;
}

bool HttpClient::processResponseHeaders(int ignoreDeletions)
{
    DWORD size = 0;
    WinHttpQueryHeaders(liveRequest(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX, WINHTTP_NO_OUTPUT_BUFFER,
                        &size, WINHTTP_NO_HEADER_INDEX);
    std::wstring raw(size / sizeof(wchar_t) + 1, L'\0');
    if (size == 0 || !WinHttpQueryHeaders(liveRequest(), WINHTTP_QUERY_RAW_HEADERS_CRLF, WINHTTP_HEADER_NAME_BY_INDEX,
                                          raw.data(), &size, WINHTTP_NO_HEADER_INDEX)) {
        contentLength_ = -1;
        return false;
    }
    raw.resize(size / sizeof(wchar_t));
    responseHeaders_ = toNarrow(raw);

    const size_t at = findIgnoringCase(responseHeaders_, "Content-Length:");
    if (at == std::string::npos) {
        contentLength_ = -1;
    } else {
        const size_t start = at + 15;
        const size_t end = std::min(responseHeaders_.find("\r\n", start), responseHeaders_.size());
        const int64_t value = leadingNumber(std::string_view(responseHeaders_).substr(start, end - start));
        contentLength_ = value == 0 ? -1 : value;
    }
    if (cookieMode_ == 1) mergeSetCookies(ignoreDeletions);
    if (cookieMode_ == 2) storeSetCookies(ignoreDeletions);
    return true;
}

void HttpClient::followRedirect(int ignoreDeletions, int retries)
{
    if (cookieMode_ == 0 || redirectsDisabled_) return;
    const std::string location = redirectLocation(true);
    if (location.empty()) {
        redirectCount_ = 0;
        return;
    }
    if (++redirectCount_ > 20) {
        redirectCount_ = 0;
        return;
    }
    // The caller judges the last answer: a failed hop leaves none to read.
    if (open({}, location)) static_cast<void>(send({}, ignoreDeletions, retries));
}

std::string HttpClient::redirectLocation(bool absolute) const
{
    // A whole header line: "Content-Location:" is never taken for it.
    std::string value = headerValue(responseHeaders_, "Location");
    const size_t first = value.find_first_not_of(" \t");
    const size_t last = value.find_last_not_of(" \t");
    value = first == std::string::npos ? std::string() : value.substr(first, last - first + 1);
    if (!absolute || value.empty()) return value;
    const char* scheme = scheme_ == 2 ? "https:" : "http:";
    if (value.rfind("//", 0) == 0) return scheme + value;  // another host, the same scheme
    if (value[0] == '/') return std::string(scheme) + "//" + host_ + ":" + std::to_string(port_) + value;
    const std::string lower = lowered(value);
    if (lower.rfind("http://", 0) == 0 || lower.rfind("https://", 0) == 0) return value;
    // Relative to the current address's path: its query and fragment are no part of it, and
    // the "//" after the scheme is not the path's.
    const std::string base = url_.substr(0, url_.find_first_of("?#"));
    if (value[0] == '?') return base + value;
    const size_t authority = base.find("://");
    const size_t path = base.find('/', authority == std::string::npos ? 0 : authority + 3);
    if (path == std::string::npos) return base + "/" + value;
    return base.substr(0, base.rfind('/') + 1) + value;
}

std::string_view HttpClient::responseView()
{
    if (!request_ || contentLength_ == 0) return {};
    if (bodyRead_) return std::string_view(body_.data(), bodyLength_);
    if (isCancelled()) {
        noteFailure(L"Reading the body", HttpFailure::Kind::Cancelled);
        return {};
    }
    bodyRead_ = true;
    bodyLength_ = 0;
    bodyEndedCleanly_ = false;

    const bool unknown = contentLength_ < 0;
    const size_t declared = unknown ? 0 : static_cast<size_t>(contentLength_);
    // A body larger than the limit is refused whole: announced, it is not even read.
    if (declared > kMaxBodyBytes) {
        noteFailure(L"Reading the body", HttpFailure::Kind::TooLarge);
        return {};
    }
    // A first room of 1 MiB (the announced length when smaller), where the capacity grows by the
    // usual steps without copying; a longer body moves to rooms twice as large, up to one byte past
    // the limit, to notice a longer one. Bytes past an announced length still fit the same way.
    const size_t room = std::min(unknown ? kMaxBodyBytes + 1 : declared, kBodyFirstRoom);
    const size_t capacity = unknown ? kBodyStartCapacity : std::min(declared, kBodyLargeStep);
    if (!body_.reserve(room, kMaxBodyBytes + 1) || !body_.grow(capacity)) {
        noteFailure(L"Making room for the body", HttpFailure::Kind::WindowsError, GetLastError());
        return {};
    }

    size_t read = 0;
    for (;;) {
        DWORD available = 0;
        if (!WinHttpQueryDataAvailable(liveRequest(), &available)) {
            noteFailure(L"Reading the body", HttpFailure::Kind::CutBody, GetLastError());
            break;
        }
        if (available == 0) {
            bodyEndedCleanly_ = true;
            break;
        }
        const size_t needed = read + available;
        if (needed > kMaxBodyBytes) {
            noteFailure(L"Reading the body", HttpFailure::Kind::TooLarge);
            return {};
        }
        if (needed > body_.capacity() && !body_.grow(nextBodyCapacity(needed, contentLength_))) {
            noteFailure(L"Growing the body", HttpFailure::Kind::CutBody, GetLastError());
            break;
        }
        DWORD got = 0;
        // No more than is there: the read then returns at once, and the progress shows as it comes.
        const size_t space = std::min<size_t>(body_.capacity() - read, available);
        if (space == 0 || !WinHttpReadData(liveRequest(), body_.data() + read, static_cast<DWORD>(space), &got)) {
            noteFailure(L"Reading the body", HttpFailure::Kind::CutBody, space == 0 ? 0 : GetLastError());
            break;
        }
        if (isCancelled()) {  // a body cut short by a cancel is no body
            noteFailure(L"Reading the body", HttpFailure::Kind::Cancelled);
            return {};
        }
        read += got;
        bytesMoved_.fetch_add(got);
        if (read > kMaxBodyBytes) {
            noteFailure(L"Reading the body", HttpFailure::Kind::TooLarge);
            return {};
        }
    }
    if (isCancelled()) {  // cancelled while waiting for more: what came is no body
        noteFailure(L"Reading the body", HttpFailure::Kind::Cancelled);
        return {};
    }
    // The connection ended before the announced length: the reads themselves did not fail.
    if (bodyEndedCleanly_ && contentLength_ > 0 && static_cast<int64_t>(read) < contentLength_)
        noteFailure(L"Reading the body", HttpFailure::Kind::CutBody);
    bodyLength_ = read;
    return std::string_view(body_.data(), bodyLength_);
}

std::string HttpClient::responseBytes() { return std::string(responseView()); }

bool HttpClient::responseComplete()
{
    const std::string_view body = responseView();
    if (!bodyEndedCleanly_) return false;
    return contentLength_ < 0 || static_cast<int64_t>(body.size()) >= contentLength_;
}

std::string HttpClient::responseText()
{
    const std::string_view bytes = responseView();
    return std::string(bytes.substr(0, bytes.find('\0')));
}

std::string HttpClient::responseTextUtf8() { return utf8ToNarrow(responseView()); }

int HttpClient::statusCode()
{
    if (!request_ || contentLength_ == 0 || isCancelled()) return 0;
    DWORD code = 0;
    DWORD size = sizeof code;
    if (!WinHttpQueryHeaders(liveRequest(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER, WINHTTP_HEADER_NAME_BY_INDEX,
                             &code, &size, WINHTTP_NO_HEADER_INDEX))
        return 0;
    return static_cast<int>(code);
}

std::string HttpClient::statusText()
{
    if (!request_ || contentLength_ == 0 || isCancelled()) return {};
    wchar_t text[256] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!WinHttpQueryHeaders(liveRequest(), WINHTTP_QUERY_STATUS_TEXT, WINHTTP_HEADER_NAME_BY_INDEX, text, &size,
                             WINHTTP_NO_HEADER_INDEX))
        return {};
    return toNarrow(std::wstring_view(text, size / sizeof(wchar_t)));
}

bool HttpClient::setHeader(std::string_view name, std::string_view value, std::optional<unsigned> flags)
{
    if (!request_ || name.empty()) return false;
    if (cookieMode_ == 0 && lowered(name) == "cookie") disableWinHttpCookies();
    return addHeaderLine(std::string(name) + ":" + std::string(value), flags.value_or(kAddAndReplace));
}

bool HttpClient::removeHeader(std::string_view name)
{
    if (!request_ || name.empty()) return false;
    if (cookieMode_ == 0 && lowered(name) == "cookie") disableWinHttpCookies();
    return addHeaderLine(std::string(name) + ":", WINHTTP_ADDREQ_FLAG_REPLACE);
}

bool HttpClient::setCredentials(std::string_view user, std::string_view password, int target, int authScheme)
{
    if (!request_) return false;
    const std::wstring wideUser = wide(user), widePassword = wide(password);
    return WinHttpSetCredentials(liveRequest(), target, authScheme, wideUser.c_str(), widePassword.c_str(), nullptr);
}

bool HttpClient::setOption(int level, int option, int value, int size)
{
    void* handle = level == 1 ? connection_.get() : level == 2 ? liveRequest() : session_.get();
    if (!handle) return false;
    DWORD data = static_cast<DWORD>(value);
    return WinHttpSetOption(handle, static_cast<DWORD>(option), &data, static_cast<DWORD>(size));
}

bool HttpClient::setUserAgent(std::string_view value) { return setHeader("User-Agent", value); }
bool HttpClient::setReferer() { return setHeader("Referer", url_); }
bool HttpClient::setReferer(std::string_view value) { return setHeader("Referer", value); }
bool HttpClient::setAccept(std::string_view value) { return setHeader("Accept", value); }
bool HttpClient::setAcceptLanguage(std::string_view value) { return setHeader("Accept-Language", value); }
bool HttpClient::setContentType(std::string_view value) { return setHeader("Content-Type", value); }
bool HttpClient::markAjax() { return setHeader("x-requested-with", "XMLHttpRequest"); }

bool HttpClient::setForwardedFor(std::string_view address)
{
    const std::string value(address);
    return addHeaderLine("X-Forwarded-For:" + value + "\r\nCLIENT_IP:" + value + "\r\nVIA:" + value + "\r\nREMOTE_ADDR:" + value,
                         kAddAndReplace);
}
