// Cancelling exchanges from another thread. WinHTTP is used synchronously, so a server that never
// answers (or trickles its body) would hold its caller for as long as it likes; closing the
// request handle from another thread is WinHTTP's way to end such a call. The one lock below
// guards the list of live exchanges and every change of a request handle, so a handle is closed
// exactly once: by `cancel`, or by its owner, never by both.
#include <winsock2.h>  // before windows.h, which would bring the old Winsock

#include <windows.h>
#include <winhttp.h>

#include "net/http_client.h"
#include "tasks/critical_section.h"
#include "tasks/debug_trace.h"

namespace {

CriticalSection& liveLock()
{
    static CriticalSection* lock = new CriticalSection();  // lives to the end of the process
    return *lock;
}

HttpClient* gFirstLive = nullptr;
bool gRefusing = false;

// Winsock counts its starts; WinHTTP makes one of its own, rarely more.
constexpr int kMostWinsockStarts = 64;

// Closes every connection of the process and ends every call blocked on one. Wine's WinHTTP
// neither ends a synchronous call nor closes its connection when the request handle is closed:
// both wait for the server or for the process to die. Winsock's last cleanup resets every socket
// and cancels every blocking call, under Wine as on Windows.
void closeEveryConnection()
{
    for (int start = 0; start < kMostWinsockStarts && WSACleanup() == 0; ++start) {
    }
}

} // namespace

void HttpClient::enlist()
{
    Locked hold(liveLock());
    nextLive_ = gFirstLive;
    if (gFirstLive) gFirstLive->previousLive_ = this;
    gFirstLive = this;
    if (gRefusing) cancelled_ = true;
}

void HttpClient::delist()
{
    Locked hold(liveLock());
    if (previousLive_) previousLive_->nextLive_ = nextLive_;
    else gFirstLive = nextLive_;
    if (nextLive_) nextLive_->previousLive_ = previousLive_;
    previousLive_ = nextLive_ = nullptr;
}

bool HttpClient::isCancelled() const { return cancelled_.load(); }

// Once closed, a handle's value may at once name another thread's new request (WinHTTP hands out
// freed values again), so each call asks for the handle anew and a cancelled exchange gets null:
// the read that follows a wait the cancel interrupted fails. Only a cancel landing between this
// read and the call it serves is not seen, a window of a few instructions instead of a whole wait.
void* HttpClient::liveRequest() const
{
    Locked hold(liveLock());
    return cancelled_ ? nullptr : request_.get();
}

void HttpClient::replaceRequest(void* handle)
{
    Locked hold(liveLock());
    if (cancelled_) {
        request_.release();  // closed by cancel already
        if (handle) WinHttpCloseHandle(handle);
        return;
    }
    request_.reset(handle);
}

bool HttpClient::cancelHeld()
{
    if (cancelled_) return false;
    cancelled_.store(true);
    if (request_) WinHttpCloseHandle(request_.get());
    return true;
}

void HttpClient::cancel()
{
    bool cancelled = false;
    {
        Locked hold(liveLock());
        cancelled = cancelHeld();
    }
    // Outside the lock: a debugger's listener may hold up the trace.
    if (cancelled) trace(L"An exchange was cancelled");
}

// Guarded by EndToEndLifecycle.ClosingGivesUpThePicturesInFlightBeforeTheEnd.
void HttpClient::cancelAll()
{
    bool anyLive = false;
    {
        Locked hold(liveLock());
        gRefusing = true;
        for (HttpClient* client = gFirstLive; client; client = client->nextLive_) {
            client->cancelHeld();
            anyLive = true;
        }
    }
    // Nothing opens any more: the connections of the exchanges just cancelled go with Winsock.
    if (anyLive) closeEveryConnection();
}
