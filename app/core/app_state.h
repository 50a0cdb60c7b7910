// The state all of the program's threads share: texts behind a lock held only for the copy, and
// the download's counters, changed atomically.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "tasks/critical_section.h"

// One text read and written by several threads; every access copies under a lock.
template <typename Char>
class SharedString {
public:
    SharedString() = default;
    SharedString(const SharedString&) = delete;
    SharedString& operator=(const SharedString&) = delete;

    std::basic_string<Char> get() const
    {
        Locked hold(lock_);
        return value_;
    }
    void set(std::basic_string_view<Char> value)
    {
        std::basic_string<Char> copy(value);  // made before the lock is taken
        Locked hold(lock_);
        value_.swap(copy);
    }

private:
    mutable CriticalSection lock_;
    std::basic_string<Char> value_;
};

// Program text (code page 936): what is sent to the service and what it answered as text.
using SharedText = SharedString<char>;
// UTF-16: paths, and the service's names that paths are made from.
using SharedWideText = SharedString<wchar_t>;

struct AppState {
    // Held while the fields of a homepage (ownerId and its address form, ownerNick, userId) are written together.
    CriticalSection ownerLock;
    SharedText cookies;
    SharedText ownerId;
    SharedText ownerIdInAddress;  // as the homepage gave it, for the album list's address
    SharedWideText ownerNick;
    SharedText userId;
    SharedWideText saveFolder;   // always ends with "\"; empty when the program's folder was unknown
    SharedWideText albumFolder;  // ends with "\"; empty until the first download
    SharedText ssoTicket;
    SharedText qrId;
    SharedText sizePath;     // "/large/", "/mw1024/", "/mw690/" or "/small/"
    std::atomic<long> downloadedCount{0};
    std::atomic<long> queuedCount{0};
    std::atomic<long> nextPhotoIndex{0};
    // Counts the sign-ins of this run: a request sent with the session of one number that finds
    // the session lapsed waits for the next.
    std::atomic<long> sessionNumber{0};
};
