// HttpClient against the local service emulator (started by the test fixture) on 127.0.0.1.
#include "net/http_client.h"

#include <winsock2.h>

#include <gtest/gtest.h>
#include <atomic>
#include <string>
#include <thread>
#include <vector>
#include <windows.h>
#include <winhttp.h>

#include "net/body_buffer.h"

#include "text/json_document.h"

namespace {

constexpr int kBase = PICLADE_TEST_PORT_BASE;

std::string control(const std::string& path) { return "http://127.0.0.1:" + std::to_string(kBase + 9) + path; }
std::string sso(int offset = 363) { return "https://127.0.0.1:" + std::to_string(kBase + offset); }

std::string get(const std::string& url, int cookieMode = 0)
{
    HttpClient client;
    client.setCookieMode(cookieMode);
    if (!client.open("GET", url) || !client.send()) return {};
    return client.responseText();
}

int requestsOf(const std::string& path)
{
    JsonDocument state;
    state.Parse(get(control("/state")), true);
    return static_cast<int>(state.GetInteger(std::wstring(L"requests.") + std::wstring(path.begin(), path.end())));
}

int countLines(const std::string& text, const std::string& prefix)
{
    int count = 0;
    for (size_t at = text.find("\r\n" + prefix); at != std::string::npos; at = text.find("\r\n" + prefix, at + 2)) ++count;
    return count;
}

class HttpClientTest : public ::testing::Test {
protected:
    void SetUp() override { get(control("/reset")); }
};

} // namespace

TEST_F(HttpClientTest, CompletesTheScheme)
{
    HttpClient client;
    const std::string port = std::to_string(kBase + 9);
    ASSERT_TRUE(client.open("GET", "127.0.0.1:" + port + "/echo"));
    EXPECT_EQ(client.url(), "http://127.0.0.1:" + port + "/echo");
    ASSERT_TRUE(client.open("GET", "HTTP://127.0.0.1:" + port + "/echo"));
    EXPECT_EQ(client.url().substr(0, 7), "HTTP://");
    static_cast<void>(client.open("GET", "a"));  // only the completed address matters here
    EXPECT_EQ(client.url(), "http://a");
    static_cast<void>(client.open("GET", "http://"));  // likewise
    EXPECT_EQ(client.url(), "http://http://");
}

TEST_F(HttpClientTest, ObjectNameKeepsPathAndQuery)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/echo?x=1&y=%E4")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.responseText().substr(0, 24), "GET /echo?x=1&y=%E4 HTTP");
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase + 9)));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.statusCode(), 404);  // the root of the control port: "/" was asked for
}

TEST_F(HttpClientTest, ReusesTheConnectionForTheSameHostAndPortOnly)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/echo")));
    void* first = client.connectHandle();
    ASSERT_TRUE(client.open("GET", control("/state")));
    EXPECT_EQ(client.connectHandle(), first);
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase) + "/"));
    EXPECT_NE(client.connectHandle(), nullptr);
    EXPECT_EQ(requestsOf("/echo"), 0);  // opening sends nothing
}

TEST_F(HttpClientTest, VerbsAndDefaultHeaders)
{
    HttpClient client;
    ASSERT_TRUE(client.open("post", control("/echo")));
    EXPECT_TRUE(client.isPost());
    ASSERT_TRUE(client.send("k=v"));
    const std::string echo = client.responseText();
    EXPECT_EQ(echo.substr(0, 5), "POST ");
    EXPECT_NE(echo.find("\r\nAccept: */*\r\n"), std::string::npos);
    EXPECT_NE(echo.find("\r\nAccept-Language: zh-cn\r\n"), std::string::npos);
    EXPECT_NE(echo.find("\r\nCache-Control: no-cache\r\n"), std::string::npos);
    EXPECT_NE(echo.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);

    ASSERT_TRUE(client.open("", control("/echo")));
    ASSERT_TRUE(client.setAccept("text/html"));
    ASSERT_TRUE(client.send());
    const std::string get = client.responseText();
    EXPECT_EQ(get.substr(0, 4), "GET ");
    EXPECT_NE(get.find("\r\nAccept: text/html\r\n"), std::string::npos);  // the caller's value stays
}

TEST_F(HttpClientTest, SetCookiesSendsExactlyOneCookieLine)
{
    HttpClient client;
    EXPECT_FALSE(client.setCookies("a=1"));  // no request yet
    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.setCookies("SUB=abc; SUBP=def"));
    ASSERT_TRUE(client.send());
    const std::string echo = client.responseText();
    EXPECT_EQ(countLines(echo, "Cookie:"), 1);
    EXPECT_NE(echo.find("\r\nCookie: SUB=abc; SUBP=def\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, BodiesWithoutAUsableLengthStartAt10240)
{
    HttpClient zero;
    ASSERT_TRUE(zero.open("GET", control("/blob?size=30000&mode=zero")));
    ASSERT_TRUE(zero.send());
    EXPECT_EQ(zero.contentLength(), -1);  // "Content-Length: 0" counts as no usable length
    EXPECT_TRUE(zero.responseBytes().empty());
    EXPECT_EQ(zero.bodyCapacity(), 10240u);

    for (const char* mode : {"no_length", "chunked"}) {
        HttpClient client;
        ASSERT_TRUE(client.open("GET", control(std::string("/blob?size=30000&mode=") + mode)));
        ASSERT_TRUE(client.send()) << mode;
        EXPECT_EQ(client.contentLength(), -1) << mode;
        const std::string body = client.responseBytes();
        EXPECT_EQ(body.size(), 30000u) << mode;
        EXPECT_EQ(static_cast<unsigned char>(body[257]), 1u) << mode;
    }
}

// Eight bodies of unknown length read at once, as the download's workers read pictures: each
// arrives whole in a room near its own size. Reserving the 128 MiB limit for each would take a
// 32-bit process's address space (the x86 suite runs this too).
TEST_F(HttpClientTest, EightChunkedBodiesAtOnceEachInARoomNearItsSize)
{
    constexpr size_t kSize = 3000000;  // past the first room: each body moves twice
    constexpr int kReaders = 8;
    struct Reader {
        std::string body;
        size_t room = 0;
        HttpFailure::Kind failure = HttpFailure::Kind::WindowsError;
    };
    std::vector<Reader> readers(kReaders);
    std::atomic<int> waiting{kReaders};
    std::vector<std::thread> threads;
    for (Reader& reader : readers) {
        threads.emplace_back([&reader, &waiting] {
            HttpClient client;
            if (!client.open("GET", control("/blob?mode=chunked&size=" + std::to_string(kSize)))) return;
            waiting.fetch_sub(1);
            while (waiting.load() > 0) Sleep(1);  // every request sent together
            if (!client.send()) return;
            reader.body = client.responseBytes();
            reader.room = client.bodyRoom();
            reader.failure = client.lastFailure().kind;
        });
    }
    for (std::thread& thread : threads) thread.join();
    for (const Reader& reader : readers) {
        EXPECT_EQ(reader.failure, HttpFailure::Kind::None);
        ASSERT_EQ(reader.body.size(), kSize);
        size_t wrong = 0;
        for (size_t i = 0; i < kSize; ++i) wrong += static_cast<unsigned char>(reader.body[i]) != static_cast<unsigned char>(i);
        EXPECT_EQ(wrong, 0u);
        EXPECT_GE(reader.room, kSize);
        EXPECT_LE(reader.room, 2 * kSize);
    }
}

TEST_F(HttpClientTest, ALargeBodyGrowsByTheRuleToExactlyItsLength)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/blob?size=3145728")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.contentLength(), 3145728);
    const std::string body = client.responseBytes();
    ASSERT_EQ(body.size(), 3145728u);
    EXPECT_EQ(client.bodyCapacity(), 3145728u);
    EXPECT_EQ(static_cast<unsigned char>(body[3145727]), 255u);
    // A second call gives the kept bytes without reading again.
    EXPECT_EQ(client.responseBytes(), body);
}

TEST_F(HttpClientTest, ADroppedConnectionKeepsWhatArrived)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/blob?size=200000&mode=drop")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.contentLength(), 200000);
    EXPECT_EQ(client.responseBytes().size(), 100000u);
}

TEST_F(HttpClientTest, ABodyBeyond128MiBReadsAsEmpty)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/blob?size=" + std::to_string(HttpClient::kMaxBodyBytes + 4096))));
    ASSERT_TRUE(client.send());
    EXPECT_TRUE(client.responseBytes().empty());
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::TooLarge);
}

TEST_F(HttpClientTest, ACutBodyIsToldFromAWholeOne)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/blob?size=30000")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.responseBytes().size(), 30000u);
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::None);

    ASSERT_TRUE(client.open("GET", control("/blob?size=200000&mode=drop")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::None);  // the answer came; its body is not read yet
    EXPECT_EQ(client.responseBytes().size(), 100000u);
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::CutBody);

    // A new exchange starts without the old one's failure.
    ASSERT_TRUE(client.open("GET", control("/echo")));
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::None);
}

TEST_F(HttpClientTest, ARefusedConnectionKeepsTheSystemsReason)
{
    // A port bound here and never listened on: nothing there answers, and nobody else takes it.
    WSADATA data;
    ASSERT_EQ(WSAStartup(MAKEWORD(2, 2), &data), 0);
    const SOCKET holder = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ASSERT_EQ(bind(holder, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    int length = sizeof address;
    ASSERT_EQ(getsockname(holder, reinterpret_cast<sockaddr*>(&address), &length), 0);

    HttpClient client;
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(ntohs(address.sin_port)) + "/"));
    EXPECT_FALSE(client.send());
    closesocket(holder);
    WSACleanup();
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::WindowsError);
    EXPECT_EQ(client.lastFailure().windowsError, static_cast<unsigned long>(ERROR_WINHTTP_CANNOT_CONNECT));
}

TEST_F(HttpClientTest, OwnRedirectsStopAfterTwentyAndResetTheCount)
{
    for (int mode : {1, 2}) {
        get(control("/reset"));
        HttpClient client;
        client.setCookieMode(mode);
        ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase + 3) + "/loop/0"));
        ASSERT_TRUE(client.send());
        EXPECT_EQ(client.redirectCount(), 0);
        EXPECT_EQ(client.responseHeader("Location"), "/loop/21") << mode;
        EXPECT_EQ(requestsOf("/loop/20"), 1) << mode;
        EXPECT_EQ(requestsOf("/loop/21"), 0) << mode;
    }
}

TEST_F(HttpClientTest, RedirectLocationsBecomeAbsolute)
{
    HttpClient client;
    client.setAutoRedirect(false);
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?to=next")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(), "next");
    EXPECT_EQ(client.redirectLocation(true), control("/redirect/dir/next"));
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?to=/rooted")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(true), control("/rooted"));
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase + 9) + "/redirect?to=http%3A%2F%2Fexample.invalid%2Fx"));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(true), "http://example.invalid/x");

    // A network-path reference keeps the scheme and names another host.
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?to=%2F%2Fexample.invalid%2Fy")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(true), "http://example.invalid/y");
    // The query of the current address is not part of its path, even when it holds a "/".
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?to=next&from=/a/b")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(true), control("/redirect/dir/next"));
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?to=%3Fpage%3D2")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(true), control("/redirect/dir/page?page=2"));
    // A Content-Location header before Location is not the redirect.
    ASSERT_TRUE(client.open("GET", control("/redirect/dir/page?described=1&to=%2Frooted")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(), "/rooted");
}

TEST_F(HttpClientTest, RetriesFailedConnections)
{
    // The port accepts and resets every connection, counting them.
    HttpClient client;
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase + 8) + "/"));
    EXPECT_FALSE(client.send({}, 0, 2));
    EXPECT_EQ(requestsOf("closer"), 3);
}

TEST_F(HttpClientTest, ReadsCookiesOfTheAnswer)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=a%3D1%3B%20path%3D%2F&line=b%3Ddeleted&line=c%3DDeLeTeD&line=a%3D2")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.responseCookies(), "a=1; c=DeLeTeD; a=2");
    EXPECT_EQ(client.responseCookie("a"), "1");
    EXPECT_EQ(client.responseCookie("b"), "deleted");
    EXPECT_EQ(client.responseCookie("zz"), "");
}

TEST_F(HttpClientTest, JarModeCarriesCookiesBetweenRequests)
{
    HttpClient client;
    client.setCookieMode(1);
    client.cookieJar("a=1");
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=b%3D2")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.cookieJar(), "a=1; b=2");
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=a%3Ddeleted")));
    ASSERT_TRUE(client.send({}, 1));
    EXPECT_EQ(client.cookieJar(), "a=1; b=2");  // deletions ignored on request
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=a%3Ddeleted")));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.cookieJar(), "b=2");
    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.send());
    EXPECT_NE(client.responseText().find("\r\nCookie: b=2\r\n"), std::string::npos);
}

TEST_F(HttpClientTest, CertificatesAreVerified)
{
    HttpClient trusted;
    ASSERT_TRUE(trusted.open("GET", sso() + "/sso/qrcode/check?entry=weibo&qrid=&callback=cb"));
    ASSERT_TRUE(trusted.send());
    EXPECT_NE(trusted.responseText().find("50114005"), std::string::npos);

    HttpClient forged;
    ASSERT_TRUE(forged.open("GET", sso(364) + "/sso/qrcode/check?qrid=&callback=cb"));
    EXPECT_FALSE(forged.send());
    EXPECT_TRUE(forged.responseText().empty());

    HttpClient careless;
    careless.ignoreCertificateErrors();
    ASSERT_TRUE(careless.open("GET", sso(364) + "/sso/qrcode/check?qrid=&callback=cb"));
    EXPECT_TRUE(careless.send());
}

TEST_F(HttpClientTest, Utf8PagesBecomeProgramText)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", "http://127.0.0.1:" + std::to_string(kBase) + "/u/1000000001?from=myfollow_all"));
    ASSERT_TRUE(client.send());
    EXPECT_NE(client.responseTextUtf8().find("$CONFIG['onick']='摄影师小王';"), std::string::npos);
}

TEST_F(HttpClientTest, StoreModeKeepsCookiesInTheSystemStore)
{
    HttpClient client;
    client.setCookieMode(2);
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=storetest%3D42")));
    ASSERT_TRUE(client.send());
    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.send());
    EXPECT_NE(client.responseText().find("storetest=42"), std::string::npos);
}

TEST(BodyBuffer, GrowsByTheRule)
{
    EXPECT_EQ(nextBodyCapacity(10241, -1), 10241u + 10240u);
    EXPECT_EQ(nextBodyCapacity(2000000, 1000000), 2000000u + 10240u);  // past the announced length
    EXPECT_EQ(nextBodyCapacity(1048577, 3145728), 1048577u + 1048576u);
    EXPECT_EQ(nextBodyCapacity(2500000, 3145728), 3145728u);
}

TEST(BodyBuffer, BytesPastTheReservationMoveWithWhatWasRead)
{
    BodyBuffer buffer;
    ASSERT_TRUE(buffer.reserve(100));
    ASSERT_TRUE(buffer.grow(100));
    for (int i = 0; i < 100; ++i) buffer.data()[i] = static_cast<char>(i);
    const size_t beyond = buffer.reserved() + 70000;
    ASSERT_TRUE(buffer.grow(beyond));
    EXPECT_EQ(buffer.capacity(), beyond);
    EXPECT_GE(buffer.reserved(), beyond);
    buffer.data()[beyond - 1] = 'z';  // usable to its end
    for (int i = 0; i < 100; ++i) ASSERT_EQ(buffer.data()[i], static_cast<char>(i));

    // With a limit, a room outgrown doubles (a long body is copied about once in all), or takes
    // the capacity asked for when that is more; never past the limit unless the capacity is.
    constexpr size_t kKiB = 1024;
    ASSERT_TRUE(buffer.reserve(128 * kKiB, 1024 * kKiB));
    const struct {
        size_t capacity;
        size_t room;
    } steps[] = {{128 * kKiB + 1, 256 * kKiB}, {600 * kKiB, 640 * kKiB}, {640 * kKiB + 1, 1024 * kKiB}, {1024 * kKiB + 1, 1088 * kKiB}};
    for (const auto& step : steps) {
        ASSERT_TRUE(buffer.grow(step.capacity));
        EXPECT_EQ(buffer.reserved(), step.room) << step.capacity;
    }
}

TEST_F(HttpClientTest, TheBodyBufferExistsFromConstructionUntilClose)
{
    HttpClient client;
    EXPECT_EQ(client.bodyCapacity(), 10240u);
    client.close();
    EXPECT_EQ(client.bodyCapacity(), 0u);
    client.reinit();
    EXPECT_EQ(client.bodyCapacity(), 10240u);
}

namespace {

DWORD sessionOption(HttpClient& client, DWORD option)
{
    DWORD value = 0;
    DWORD size = sizeof value;
    WinHttpQueryOption(client.sessionHandle(), option, &value, &size);
    return value;
}

} // namespace

TEST_F(HttpClientTest, ExplicitValuesAreUsedMinusOneIncluded)
{
    HttpClient client;
    ASSERT_TRUE(client.setTimeouts(std::nullopt, std::nullopt, std::nullopt, 1234));
    EXPECT_EQ(sessionOption(client, WINHTTP_OPTION_RECEIVE_TIMEOUT), 1234u);
    EXPECT_EQ(sessionOption(client, WINHTTP_OPTION_CONNECT_TIMEOUT), 15000u);
    ASSERT_TRUE(client.setTimeouts(std::nullopt, std::nullopt, std::nullopt, -1));  // no limit, as asked
    EXPECT_NE(sessionOption(client, WINHTTP_OPTION_RECEIVE_TIMEOUT), 300000u);
    EXPECT_NE(sessionOption(client, WINHTTP_OPTION_RECEIVE_TIMEOUT), 1234u);

    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.setHeader("X-Kept", "first"));
    EXPECT_FALSE(client.setHeader("X-Kept", "second", WINHTTP_ADDREQ_FLAG_ADD_IF_NEW));  // not the default
    ASSERT_TRUE(client.send());
    const std::string echo = client.responseText();
    EXPECT_NE(echo.find("\r\nX-Kept: first\r\n"), std::string::npos);
    EXPECT_EQ(echo.find("second"), std::string::npos);
}

TEST_F(HttpClientTest, GivenHandlesAreUsedAndOwned)
{
    HttpClient client;
    void* session = WinHttpOpen(L"Given agent", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0);
    ASSERT_NE(session, nullptr);
    EXPECT_EQ(client.sessionHandle(session), session);
    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.send());
    EXPECT_NE(client.responseText().find("\r\nUser-Agent: Given agent\r\n"), std::string::npos);

    // A request made outside, on the object's connection, is the one sent.
    void* request = WinHttpOpenRequest(client.connectHandle(), L"GET", L"/echo?given=1", nullptr, WINHTTP_NO_REFERER,
                                       WINHTTP_DEFAULT_ACCEPT_TYPES, 0);
    ASSERT_NE(request, nullptr);
    EXPECT_EQ(client.requestHandle(request), request);
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.responseText().substr(0, 18), "GET /echo?given=1 ");
    EXPECT_EQ(client.requestHandle(nullptr), nullptr);
    EXPECT_FALSE(client.send());
}

TEST_F(HttpClientTest, TheStepsOfAnExchangeCanBeDrivenOneByOne)
{
    HttpClient client;
    ASSERT_TRUE(client.open("GET", control("/setcookie?line=x%3D1&line=y%3D2")));
    ASSERT_TRUE(client.send());
    // The answer's cookies reach the jar and the system store on request, whatever the mode.
    client.mergeSetCookies(0);
    EXPECT_EQ(client.cookieJar(), "x=1; y=2");
    ASSERT_TRUE(client.processResponseHeaders(0));
    EXPECT_GT(client.contentLength(), 0);
    client.storeSetCookies(0);

    ASSERT_TRUE(client.open("GET", control("/echo")));
    client.setDefaultHeaders(false);
    ASSERT_TRUE(client.addDefaultHeaders(true));
    ASSERT_TRUE(client.addJarCookieHeader());
    ASSERT_TRUE(client.send());
    std::string echo = client.responseText();
    EXPECT_NE(echo.find("\r\nContent-Type: application/x-www-form-urlencoded\r\n"), std::string::npos);
    EXPECT_NE(echo.find("\r\nCookie: x=1; y=2\r\n"), std::string::npos);

    ASSERT_TRUE(client.open("GET", control("/echo")));
    ASSERT_TRUE(client.addStoreCookieHeader());
    ASSERT_TRUE(client.send());
    echo = client.responseText();
    EXPECT_NE(echo.find("x=1"), std::string::npos);
    EXPECT_NE(echo.find("y=2"), std::string::npos);

    // A redirect answered without following, then followed by hand.
    client.setAutoRedirect(false);
    ASSERT_TRUE(client.open("GET", control("/redirect?to=/echo")));
    client.applyRequestOptions();
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.redirectLocation(), "/echo");
    client.setAutoRedirect(true);
    client.setCookieMode(1);
    client.followRedirect(0, 0);
    EXPECT_EQ(client.responseText().substr(0, 10), "GET /echo ");
}
