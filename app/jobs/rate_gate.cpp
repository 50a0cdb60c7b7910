#include "app/jobs/rate_gate.h"

#include <windows.h>
#include <winhttp.h>

#include <algorithm>
#include <string>

#include "text/encoding.h"

namespace {

uint64_t tickNow() { return GetTickCount64(); }

uint64_t clampedPause(uint64_t ms) { return std::clamp(ms, RateGate::kShortestPauseMs, RateGate::kGiveUpMs); }

uint64_t fileTimeMs(const FILETIME& time)
{
    ULARGE_INTEGER value;
    value.LowPart = time.dwLowDateTime;
    value.HighPart = time.dwHighDateTime;
    return value.QuadPart / 10000;
}

} // namespace

RateGate::RateGate(Clock clock) : clock_(clock ? clock : tickNow) {}

uint64_t RateGate::now() const { return clock_(); }

uint64_t RateGate::round() const
{
    Locked hold(lock_);
    return round_;
}

void RateGate::limited(uint64_t round, std::optional<uint64_t> retryAfterMs)
{
    Locked hold(lock_);
    if (givenUp_) return;
    const uint64_t at = now();
    if (!limitedSince_) limitedSince_ = at;
    if (at - *limitedSince_ >= kGiveUpMs) {
        givenUp_ = true;
        return;
    }
    if (round == round_) {
        ++round_;
        if (inARow_ < 16) ++inARow_;
        const uint64_t doubled = std::min(kFirstPauseMs << (inARow_ - 1), kLongestPauseMs);
        resumeAt_ = std::max(resumeAt_, at + (retryAfterMs ? clampedPause(*retryAfterMs) : doubled));
    } else if (retryAfterMs) {
        // An answer to a request of an earlier round may still ask for longer than the pause.
        resumeAt_ = std::max(resumeAt_, at + clampedPause(*retryAfterMs));
    }
}

void RateGate::succeeded()
{
    Locked hold(lock_);
    inARow_ = 0;
    limitedSince_.reset();
}

uint64_t RateGate::msUntilResume() const
{
    Locked hold(lock_);
    const uint64_t at = now();
    return resumeAt_ > at ? resumeAt_ - at : 0;
}

bool RateGate::givenUp() const
{
    Locked hold(lock_);
    return givenUp_;
}

std::optional<uint64_t> retryAfterMs(std::string_view value)
{
    while (!value.empty() && (value.front() == ' ' || value.front() == '\t')) value.remove_prefix(1);
    while (!value.empty() && (value.back() == ' ' || value.back() == '\t')) value.remove_suffix(1);
    if (value.empty()) return std::nullopt;
    if (std::all_of(value.begin(), value.end(), [](char c) { return c >= '0' && c <= '9'; })) {
        if (value.size() > 9) return RateGate::kGiveUpMs;  // longer than anyone waits
        return std::stoull(std::string(value)) * 1000;
    }
    // Every HTTP date form begins with the day's name and holds a time of day; the parser below
    // reads far looser text than that.
    const bool looksLikeDate = ((value.front() | 0x20) >= 'a' && (value.front() | 0x20) <= 'z') && value.find(':') != std::string_view::npos;
    if (!looksLikeDate) return std::nullopt;
    SYSTEMTIME date{};
    FILETIME dateTime{};
    if (!WinHttpTimeToSystemTime(toUtf16(value).c_str(), &date) || !SystemTimeToFileTime(&date, &dateTime)) return std::nullopt;
    FILETIME current{};
    GetSystemTimeAsFileTime(&current);
    const uint64_t then = fileTimeMs(dateTime);
    const uint64_t nowMs = fileTimeMs(current);
    return then > nowMs ? then - nowMs : 0;
}
