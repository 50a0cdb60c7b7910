// Cancelling an exchange from another thread, against a server made here that accepts a
// connection and then holds it without answering, or with a body it never finishes. Windows ends
// the blocked call as soon as the handle is closed; Wine only when the server gives up, so the
// server here lets go after a while and the tests check what the cancel leaves behind.
#include <winsock2.h>

#include <windows.h>

#include <gtest/gtest.h>
#include <string>

#include "net/http_client.h"

namespace {

// A one-connection server on a free loopback port: reads the request, optionally writes
// `opening`, then holds the connection without another byte for two seconds.
class SilentServer {
public:
    explicit SilentServer(std::string opening = {}) : opening_(std::move(opening))
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
        listen(listener_, 1);
        done_ = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        thread_ = CreateThread(nullptr, 0, serve, this, 0, nullptr);
    }
    ~SilentServer()
    {
        SetEvent(done_);
        closesocket(listener_);
        WaitForSingleObject(thread_, 5000);
        CloseHandle(thread_);
        CloseHandle(done_);
        WSACleanup();
    }
    std::string url() const { return "http://127.0.0.1:" + std::to_string(port_) + "/stalled"; }

private:
    static DWORD WINAPI serve(void* parameter)
    {
        auto* self = static_cast<SilentServer*>(parameter);
        SOCKET peer = accept(self->listener_, nullptr, nullptr);
        if (peer == INVALID_SOCKET) return 0;
        char request[4096];
        recv(peer, request, sizeof request, 0);
        if (!self->opening_.empty()) send(peer, self->opening_.data(), static_cast<int>(self->opening_.size()), 0);
        WaitForSingleObject(self->done_, 2000);
        closesocket(peer);
        return 0;
    }

    std::string opening_;
    SOCKET listener_ = INVALID_SOCKET;
    int port_ = 0;
    HANDLE done_ = nullptr;
    HANDLE thread_ = nullptr;
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
    // The object is done with: no new exchange, no answer, and its end closes nothing twice.
    EXPECT_FALSE(client.open("GET", server.url()));
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
}
