// The state all of the program's threads share: texts behind a lock held only for the copy, and
// the download's counters, changed atomically.
#pragma once

#include <atomic>
#include <string>
#include <string_view>

#include "tasks/critical_section.h"

// One text read and written by several threads; every access copies under a lock.
class SharedText {
public:
    SharedText() = default;
    SharedText(const SharedText&) = delete;
    SharedText& operator=(const SharedText&) = delete;

    std::string get() const;
    void set(std::string_view value);

private:
    mutable CriticalSection lock_;
    std::string value_;
};

struct AppState {
    // Held while the fields of a homepage (ownerId and its address form, ownerNick, userId) are written together.
    CriticalSection ownerLock;
    SharedText cookies;
    SharedText ownerId;
    SharedText ownerIdInAddress;  // as the homepage gave it, for the album list's address
    SharedText ownerNick;
    SharedText userId;
    SharedText saveFolder;   // always ends with "\"
    SharedText albumFolder;  // ends with "\"; empty until the first download
    SharedText ssoTicket;
    SharedText qrId;
    SharedText sizePath;     // "/large/", "/mw1024/", "/mw690/" or "/small/"
    std::atomic<long> downloadedCount{0};
    std::atomic<long> queuedCount{0};
    std::atomic<long> nextPhotoIndex{0};
};
