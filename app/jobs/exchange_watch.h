// A watch over the exchanges of the program's jobs. WinHTTP's receive time-out applies to each
// read alone, so a host that drips a byte now and then holds a synchronous exchange for as long as
// it likes; and an exchange of a replaced job would hold the pool its successor waits on. One
// watchdog thread, alive only while something is watched, cancels an exchange whose job was
// replaced or that moved fewer than kStallMinBytes in any kStallWindowMs.
#pragma once

#include <cstdint>
#include <memory>

#include "app/core/job_threads.h"

class HttpClient;

constexpr uint64_t kStallMinBytes = 1024;
// A build setting, so that the test build can show a stall in seconds rather than minutes.
constexpr unsigned kStallWindowMs = PICLADE_STALL_WINDOW_MS;

// Watches `client` for as long as the object lives; declare it after the client, so that the
// watch ends before the client does. A cancelled exchange's operations fail: the job counts it as
// a failed try.
class WatchedExchange {
public:
    WatchedExchange(HttpClient& client, const JobContext& job);
    ~WatchedExchange();
    WatchedExchange(const WatchedExchange&) = delete;
    WatchedExchange& operator=(const WatchedExchange&) = delete;

    // Whether the watchdog cancelled it for moving too little.
    [[nodiscard]] bool stalled() const;

    struct Entry;

private:
    std::unique_ptr<Entry> entry_;
};
