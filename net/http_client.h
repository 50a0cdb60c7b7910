// One HTTP exchange over WinHTTP: open a URL, set headers, send, read the answer as bytes, as
// program text (code page 936) or as UTF-8 text turned into program text. One object per
// exchange and per thread; WinHTTP is used synchronously.
//
// Certificates are verified: a forged certificate fails the exchange. ignoreCertificateErrors()
// switches the checks off for the next send of whoever really wants that.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "net/body_buffer.h"
#include "net/internet_handle.h"

// Why an operation of an HttpClient failed. The client never fails on an answer's status: a
// 404 is an answer like any other, for the caller to judge.
struct HttpFailure {
    enum class Kind {
        None,
        WindowsError,  // the system refused a step; windowsError says why
        CutBody,       // the body stopped short of its end (windowsError when a read failed, else 0)
        Cancelled,     // cancel or cancelAll ended the exchange
        TooLarge,      // the body was longer than kMaxBodyBytes
    };
    Kind kind = Kind::None;
    unsigned long windowsError = 0;
};

class HttpClient {
public:
    // Reading stops past this size and the body reads as empty: no server can exhaust memory.
    static constexpr size_t kMaxBodyBytes = 128u * 1024 * 1024;
    static constexpr const char* kDefaultUserAgent = "Mozilla/5.0 (compatible; MSIE 10.0; Windows NT 6.2)";

    HttpClient();
    ~HttpClient();
    HttpClient(const HttpClient&) = delete;
    HttpClient& operator=(const HttpClient&) = delete;

    // Session.
    [[nodiscard]] bool openSession(std::string_view userAgent = {});
    void close();
    [[nodiscard]] bool resetDefaults();
    void reinit(std::string_view userAgent = {});
    // A value not given takes its default (10000, 15000, 120000, 300000 ms); every given one is used.
    [[nodiscard]] bool setTimeouts(std::optional<int> resolveMs = {}, std::optional<int> connectMs = {},
                                   std::optional<int> sendMs = {}, std::optional<int> receiveMs = {});
    [[nodiscard]] bool setProxy(std::string_view proxy, std::string_view user, std::string_view password);
    void setDefaultHeaders(bool enabled = true) { defaultHeadersOn_ = enabled; }
    void setAutoRedirect(bool allow = true) { redirectsDisabled_ = !allow; }
    void ignoreCertificateErrors() { ignoreCertErrorsPending_ = true; }

    // One exchange.
    [[nodiscard]] bool open(std::string_view method, std::string_view url);
    [[nodiscard]] bool send(std::string_view body = {}, int ignoreDeletions = 0, int retries = 0);
    [[nodiscard]] bool sendBytes(std::string_view body = {}, int ignoreDeletions = 0, int retries = 0)
    {
        return send(body, ignoreDeletions, retries);
    }

    // Request headers (after open).
    // Flags not given: add, replacing a header of the same name.
    [[nodiscard]] bool setHeader(std::string_view name, std::string_view value, std::optional<unsigned> flags = {});
    [[nodiscard]] bool removeHeader(std::string_view name);
    [[nodiscard]] bool setCredentials(std::string_view user, std::string_view password, int target = 0, int authScheme = 1);
    // level 1: connection, 2: request, anything else: session.
    [[nodiscard]] bool setOption(int level, int option, int value, int size = 4);
    [[nodiscard]] bool setUserAgent(std::string_view value = kDefaultUserAgent);
    [[nodiscard]] bool setReferer();
    [[nodiscard]] bool setReferer(std::string_view value);
    [[nodiscard]] bool setAccept(std::string_view value = "*/*");
    [[nodiscard]] bool setAcceptLanguage(std::string_view value = "zh-cn");
    [[nodiscard]] bool setContentType(std::string_view value = "application/x-www-form-urlencoded");
    [[nodiscard]] bool markAjax();
    [[nodiscard]] bool setForwardedFor(std::string_view address);

    // The answer. Bytes are read once and kept; later calls give the same bytes.
    std::string responseBytes();
    // The kept bytes without a copy, valid until the next open or close.
    std::string_view responseView();
    std::string responseText();
    std::string responseTextUtf8();
    // Whether the body read ended as the answer said it would: the server marked its end (or
    // closed a body of unknown length) and every byte it announced arrived. A read broken off by
    // an error, a cancel or the size limit is not complete, whatever bytes it kept.
    [[nodiscard]] bool responseComplete();
    // The reason of the last failure since the open that began this exchange (that open's own
    // included); None when nothing failed.
    HttpFailure lastFailure() const { return lastFailure_; }
    int statusCode();
    std::string statusText();
    std::string responseHeaders() const { return responseHeaders_; }
    std::string redirectLocation(bool absolute = false) const;
    // -1: the answer named no usable length; 0: no answer yet.
    int64_t contentLength() const { return contentLength_; }
    size_t bodyCapacity() const { return body_.capacity(); }
    // The address space the body holds, committed or not.
    size_t bodyRoom() const { return body_.reserved(); }
    int redirectCount() const { return redirectCount_; }
    // Bytes of answers received so far by this object (headers and bodies, every exchange); read
    // from any thread, to tell a stalled exchange from a slow one.
    uint64_t bytesMoved() const { return bytesMoved_.load(); }
    [[nodiscard]] bool isPost() const { return isPost_; }
    const std::string& url() const { return url_; }

    // Cookies.
    void setCookieMode(int mode = 1) { cookieMode_ = mode < 0 || mode > 2 ? 0 : mode; }
    int cookieMode() const { return cookieMode_; }
    [[nodiscard]] bool setCookies(std::string_view cookies);
    std::string responseHeader(std::string_view name) const;
    std::string responseCookies() const;
    std::string responseCookie(std::string_view name) const;
    std::string cookieJar() const;
    std::string cookieJar(std::string_view jar);
    std::string jarCookie(std::string_view name, bool withName = false) const;
    [[nodiscard]] bool addJarCookies(std::string_view cookies);
    [[nodiscard]] bool removeJarCookies(std::string_view names);
    [[nodiscard]] bool storeCookieText(std::string_view cookies);

    // Ends this exchange from any thread, even while its owner is blocked inside send or a read:
    // closing the request handle makes the blocked synchronous WinHTTP call return at once. Every
    // later operation of the object fails.
    void cancel();
    // Cancels every exchange alive in the process and refuses every one opened afterwards: the
    // program's exit never waits on a server. When any was alive, Winsock is ended too, which
    // closes every connection of the process at once (Wine's WinHTTP keeps a cancelled one open).
    static void cancelAll();

    // Raw handles, for what the operations above do not cover. Given a new handle, the object
    // owns it from then on and closes the one it held.
    void* sessionHandle() const { return session_.get(); }
    void* connectHandle() const { return connection_.get(); }
    void* requestHandle() const { return request_.get(); }
    void* sessionHandle(void* newValue);
    void* connectHandle(void* newValue);
    void* requestHandle(void* newValue);

    // The steps of an exchange, for callers that drive one themselves. send runs them in this
    // order: applyRequestOptions, addDefaultHeaders, then after the answer processResponseHeaders
    // and followRedirect.
    void applyRequestOptions();
    [[nodiscard]] bool addDefaultHeaders(bool hasBody);
    [[nodiscard]] bool processResponseHeaders(int ignoreDeletions);
    void followRedirect(int ignoreDeletions, int retries);
    // Cookie mode 1: the answer's cookies into the jar; the jar as the request's "Cookie:" line.
    void mergeSetCookies(int ignoreDeletions);
    [[nodiscard]] bool addJarCookieHeader();
    // Cookie mode 2: the same with the system's cookie store, for the current address.
    void storeSetCookies(int ignoreDeletions);
    [[nodiscard]] bool addStoreCookieHeader();

private:
    void enlist();
    void delist();
    [[nodiscard]] bool isCancelled() const;
    // The request handle for one WinHTTP call; null once cancelled, so the call fails.
    void* liveRequest() const;
    // Every change of the request handle goes through here, under the lock `cancel` takes.
    void replaceRequest(void* handle);
    bool cancelHeld();  // with the lock held; false when it was cancelled already
    // Keeps the reason of a failed step (Cancelled instead once the exchange is cancelled) and
    // tells a debugger.
    void noteFailure(const wchar_t* step, HttpFailure::Kind kind, unsigned long windowsError = 0);

    [[nodiscard]] bool addHeaderLine(std::string_view line, unsigned flags);
    [[nodiscard]] bool setRequestOption(unsigned option, unsigned value);
    void disableWinHttpCookies();
    void setProxyCredentials(std::string_view user, std::string_view password);

    InternetHandle session_;
    InternetHandle connection_;  // reused while host and port stay the same
    InternetHandle request_;     // one per open
    std::string host_;
    int port_ = 0;
    std::string url_;
    int scheme_ = 0;  // 1 HTTP, 2 HTTPS
    bool isPost_ = false;
    BodyBuffer body_;
    size_t bodyLength_ = 0;
    bool bodyRead_ = false;
    bool bodyEndedCleanly_ = false;
    int64_t contentLength_ = 0;
    std::string responseHeaders_;
    bool defaultHeadersOn_ = true;
    int cookieMode_ = 0;
    std::string jar_ = "; ";
    bool redirectsDisabled_ = false;
    int redirectCount_ = 0;
    bool proxyCredentialsPending_ = false;
    std::string proxyUser_;
    std::string proxyPassword_;
    bool ignoreCertErrorsPending_ = false;
    // The process-wide list of live exchanges, for cancelAll (guarded by its lock).
    HttpClient* previousLive_ = nullptr;
    HttpClient* nextLive_ = nullptr;
    std::atomic<bool> cancelled_{false};
    HttpFailure lastFailure_;
    std::atomic<uint64_t> bytesMoved_{0};
};
