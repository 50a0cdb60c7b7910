// Cancelling an exchange from another thread, against a server made here that accepts a
// connection and then holds it without answering, or with a body it never finishes. Windows ends
// the blocked call as soon as the handle is closed; Wine only when the server gives up, so the
// server here lets go after a while and the tests check what the cancel leaves behind.
#include <winsock2.h>

#include <windows.h>
#include <winhttp.h>

#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

#include "net/http_client.h"
#include "net/internet_handle.h"

namespace {

// What a connection to the server gets: it reads the request, writes `opening`, writes `later`
// after `laterMs`, then holds the connection without another byte until the server ends (two
// seconds at most).
struct Script {
    std::string opening;
    DWORD laterMs = 0;
    std::string later;
};

// A server on a free loopback port that gives its connections, in the order they come, the
// scripts it was made with.
class SilentServer {
public:
    explicit SilentServer(std::string opening = {}) : SilentServer(std::vector<Script>{{std::move(opening), 0, {}}}) {}
    explicit SilentServer(std::vector<Script> scripts) : scripts_(std::move(scripts))
    {
        WSADATA data;
        WSAStartup(MAKEWORD(2, 2), &data);
        listener_ = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
        int length = sizeof address;
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
        port_ = ntohs(address.sin_port);
        listen(listener_, static_cast<int>(scripts_.size()));
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        acceptor_ = CreateThread(nullptr, 0, accept, this, 0, nullptr);
    }
    ~SilentServer()
    {
        SetEvent(done_);
        closesocket(listener_);
        // Once the accepting thread has ended, no connection thread is added.
        WaitForSingleObject(acceptor_, 5000);
        CloseHandle(acceptor_);
        for (HANDLE thread : connections_) {
            WaitForSingleObject(thread, 5000);
            CloseHandle(thread);
        }
        CloseHandle(done_);
        WSACleanup();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stalled"; }
    int port() const { return port_; }

private:
    struct Connection {
        SilentServer* server;
        SOCKET peer;
        const Script* script;
    };

    static DWORD WINAPI accept(void* parameter)
    {
        auto* self = static_cast<SilentServer*>(parameter);
        for (const Script& script : self->scripts_) {
            SOCKET peer = ::accept(self->listener_, nullptr, nullptr);
            if (peer == INVALID_SOCKET) return 0;
            auto* connection = new Connection{self, peer, &script};
            HANDLE thread = CreateThread(nullptr, 0, serve, connection, 0, nullptr);
            if (thread) self->connections_.push_back(thread);
            else delete connection;
        }
        return 0;
    }

    static DWORD WINAPI serve(void* parameter)
    {
        const std::unique_ptr<Connection> connection(static_cast<Connection*>(parameter));
        const Script& script = *connection->script;
        const SOCKET peer = connection->peer;
        char request[4096];
        recv(peer, request, sizeof request, 0);
        if (!script.opening.empty()) send(peer, script.opening.data(), static_cast<int>(script.opening.size()), 0);
        if (!script.later.empty() && WaitForSingleObject(connection->server->done_, script.laterMs) == WAIT_TIMEOUT)
            send(peer, script.later.data(), static_cast<int>(script.later.size()), 0);
        WaitForSingleObject(connection->server->done_, 2000);
        closesocket(peer);
        return 0;
    }

    std::vector<Script> scripts_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    HANDLE done_ = nullptr;
    HANDLE acceptor_ = nullptr;
    std::vector<HANDLE> connections_;  // changed by the accepting thread only
};

struct Canceller {
    HttpClient* client;
    DWORD afterMs;
};

DWORD WINAPI cancelLater(void* parameter)
{
    const auto* job = static_cast<Canceller*>(parameter);
    Sleep(job->afterMs);
    job->client->cancel();
    return 0;
}

// Runs `exchange` on this thread while another thread cancels the client after a moment.
template <typename Exchange>
void withCancel(HttpClient& client, Exchange exchange)
{
    Canceller job{&client, 300};
    HANDLE thread = CreateThread(nullptr, 0, cancelLater, &job, 0, nullptr);
    exchange();
    WaitForSingleObject(thread, INFINITE);
    CloseHandle(thread);
}

} // namespace

TEST(HttpCancel, CancelledWaitForAnAnswerFailsAndNothingMoreGoesOut)
{
    SilentServer server;
    HttpClient client;
    ASSERT_TRUE(client.open("GET", server.url()));
    bool sent = true;
    withCancel(client, [&] { sent = client.send(); });
    EXPECT_FALSE(sent);
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::Cancelled);
    // The object is done with: no new exchange, no answer, and its end closes nothing twice.
    EXPECT_FALSE(client.open("GET", server.url()));
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::Cancelled);  // not a failure of the system
    EXPECT_EQ(client.statusCode(), 0);
    EXPECT_TRUE(client.responseBytes().empty());
}

TEST(HttpCancel, BodyCutShortByACancelIsNoBody)
{
    SilentServer server("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst bytes");
    HttpClient client;
    ASSERT_TRUE(client.open("GET", server.url()));
    ASSERT_TRUE(client.send());
    EXPECT_EQ(client.statusCode(), 200);
    std::string body = "unread";
    withCancel(client, [&] { body = client.responseBytes(); });
    EXPECT_TRUE(body.empty()) << body;  // without the cancel: the 11 bytes that came
    EXPECT_EQ(client.lastFailure().kind, HttpFailure::Kind::Cancelled);
}

// The system hands a closed handle's value out again, here to the very next request. An owner
// whose exchange is cancelled while it waits for more of a body must never use the value again,
// or its next read takes the other request's body away.
TEST(HttpCancel, ACancelledExchangeNeverTouchesTheRequestThatGetsItsHandle)
{
    SilentServer server({{"HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n\r\nfirst bytes", 800, "more bytes"},
                         {"HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\n", 1200, "hello"}});
    struct Owner {
        HttpClient client;
        std::string body = "unread";
        static DWORD WINAPI read(void* self)
        {
            auto* owner = static_cast<Owner*>(self);
            owner->body = owner->client.responseBytes();
            return 0;
        }
    } owner;
    ASSERT_TRUE(owner.client.open("GET", server.url()));
    ASSERT_TRUE(owner.client.send());
    const void* freed = owner.client.requestHandle();
    // The next request's session and connection exist before the value is freed.
    const InternetHandle session(WinHttpOpen(L"test", WINHTTP_ACCESS_TYPE_NO_PROXY, WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
    const InternetHandle connection(WinHttpConnect(session.get(), L"127.0.0.1", static_cast<INTERNET_PORT>(server.port()), 0));
    ASSERT_TRUE(connection);

    // The owner waits for more of its body (due at 800 ms) when the cancel comes.
    HANDLE reader = CreateThread(nullptr, 0, Owner::read, &owner, 0, nullptr);
    ASSERT_TRUE(reader);
    Sleep(300);
    owner.client.cancel();
    const InternetHandle next(WinHttpOpenRequest(connection.get(), L"GET", L"/next", nullptr, WINHTTP_NO_REFERER,
                                                 WINHTTP_DEFAULT_ACCEPT_TYPES, 0));
    const bool answered = next && WinHttpSendRequest(next.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA, 0, 0, 0) &&
                          WinHttpReceiveResponse(next.get(), nullptr);
    WaitForSingleObject(reader, INFINITE);
    CloseHandle(reader);
    ASSERT_TRUE(answered);
    EXPECT_TRUE(owner.body.empty()) << owner.body;
    if (next.get() != freed) GTEST_SKIP() << "the system gave the next request a value of its own";

    std::string nextBody;
    char buffer[64];
    DWORD got = 0;
    while (nextBody.size() < 5 && WinHttpReadData(next.get(), buffer, sizeof buffer, &got) && got > 0) nextBody.append(buffer, got);
    EXPECT_EQ(nextBody, "hello") << "the cancelled exchange read the next request's body";
}
