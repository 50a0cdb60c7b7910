// How a download job answers the service's rate limits (HTTP 418 or 429): every request of the
// job waits for one shared resume time. The wait is the answer's Retry-After when it names one,
// else 30 s, doubled for each further limit in a row up to 5 minutes; a success ends the row.
// A job that is limited for 30 minutes without a single success gives up. Guarded by
// EndToEndLimits.LimitedPicturesWaitTogetherAndEveryOneArrives, which sees no request during a wait.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

#include "tasks/critical_section.h"

class RateGate {
public:
    static constexpr uint64_t kFirstPauseMs = 30000;
    static constexpr uint64_t kLongestPauseMs = 300000;
    static constexpr uint64_t kShortestPauseMs = 1000;  // even "Retry-After: 0" never hammers
    static constexpr uint64_t kGiveUpMs = 30 * 60 * 1000;

    // Milliseconds from any fixed start; tests pass their own clock.
    using Clock = uint64_t (*)();
    explicit RateGate(Clock clock = nullptr);
    RateGate(const RateGate&) = delete;
    RateGate& operator=(const RateGate&) = delete;

    // The pause count, taken just before a request is sent. Requests that were already on their
    // way when a pause began belong to it: their limit answers do not count as a further limit.
    uint64_t round() const;
    // A limit answer to a request sent in `round`; `retryAfterMs` when the answer named a delay.
    void limited(uint64_t round, std::optional<uint64_t> retryAfterMs);
    void succeeded();

    // 0 when requests may go.
    uint64_t msUntilResume() const;
    bool givenUp() const;

private:
    uint64_t now() const;

    mutable CriticalSection lock_;
    Clock clock_;
    uint64_t round_ = 0;
    unsigned inARow_ = 0;
    uint64_t resumeAt_ = 0;
    std::optional<uint64_t> limitedSince_;  // the first limit after the last success
    bool givenUp_ = false;
};

// The delay a Retry-After header value asks for: delay seconds or an HTTP date. Empty when the
// value is absent or unreadable; a date in the past gives 0.
std::optional<uint64_t> retryAfterMs(std::string_view value);
