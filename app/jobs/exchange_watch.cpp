#include "app/jobs/exchange_watch.h"

#include <windows.h>

#include <atomic>
#include <deque>
#include <vector>

#include "net/http_client.h"
#include "tasks/critical_section.h"
#include "tasks/unique_handle.h"

constexpr unsigned kTickMs = 250;

struct WatchedExchange::Entry {
    HttpClient* client;
    int kind;
    long generation;
    // (tick count, bytes moved) at each tick of the last window.
    std::deque<std::pair<ULONGLONG, uint64_t>> samples;
    std::atomic<bool> stalled{false};
};

namespace {

class Watchdog {
public:
    void add(WatchedExchange::Entry* entry)
    {
        Locked hold(lock_);
        entries_.push_back(entry);
        if (!running_) {
            // The thread ends by itself once nothing is watched; its handle is not needed.
            const UniqueHandle thread(CreateThread(nullptr, 0, run, this, 0, nullptr));
            running_ = static_cast<bool>(thread);
        }
    }

    void remove(WatchedExchange::Entry* entry)
    {
        Locked hold(lock_);
        for (auto at = entries_.begin(); at != entries_.end(); ++at) {
            if (*at == entry) {
                entries_.erase(at);
                break;
            }
        }
    }

private:
    static DWORD WINAPI run(void* self)
    {
        static_cast<Watchdog*>(self)->loop();
        return 0;
    }

    void loop()
    {
        for (;;) {
            Sleep(kTickMs);
            Locked hold(lock_);
            if (entries_.empty()) {
                running_ = false;
                return;
            }
            const ULONGLONG now = GetTickCount64();
            for (WatchedExchange::Entry* entry : entries_) check(*entry, now);
        }
    }

    // With the lock held: the entry and its client stay alive until it is removed.
    // Guarded by ExchangeWatch.* and EndToEndStalls.*.
    static void check(WatchedExchange::Entry& entry, ULONGLONG now)
    {
        if (!isCurrentJob(entry.kind, entry.generation)) {
            entry.client->cancel();
            return;
        }
        const uint64_t moved = entry.client->bytesMoved();
        entry.samples.emplace_back(now, moved);
        // Keep the newest sample that is a whole window old, and everything after it.
        while (entry.samples.size() > 1 && now - entry.samples[1].first >= kStallWindowMs) entry.samples.pop_front();
        const auto& [since, then] = entry.samples.front();
        if (now - since >= kStallWindowMs && moved - then < kStallMinBytes && !entry.stalled) {
            entry.stalled = true;
            entry.client->cancel();
        }
    }

    CriticalSection lock_;
    std::vector<WatchedExchange::Entry*> entries_;
    bool running_ = false;
};

Watchdog& watchdog()
{
    static Watchdog* instance = new Watchdog();  // lives to the end of the process, as its thread may
    return *instance;
}

} // namespace

WatchedExchange::WatchedExchange(HttpClient& client, const JobContext& job)
    : entry_(new Entry{&client, job.kind(), job.generation(), {}})
{
    entry_->samples.emplace_back(GetTickCount64(), client.bytesMoved());
    watchdog().add(entry_.get());
}

// The entry leaves the watchdog's list before it (and then the client) is freed.
WatchedExchange::~WatchedExchange() { watchdog().remove(entry_.get()); }

bool WatchedExchange::stalled() const { return entry_->stalled; }
