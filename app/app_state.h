// The state all of the program's threads share: texts behind a lock held only for the copy,
// counters changed atomically, the status lock and the download pool.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

#include "tasks/critical_section.h"
#include "tasks/mutex.h"
#include "tasks/thread_pool.h"

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
    volatile LONG downloadedCount = 0;
    volatile LONG queuedCount = 0;
    volatile LONG nextPhotoIndex = 0;
};

AppState& appState();
// The one lock of the program: status line writes and picture box changes from other threads.
Mutex& statusLock();

// Holds the status lock for a scope. While it waits, the thread still answers messages sent to
// its windows: a worker that holds the lock may be waiting for the window to take its status
// text, and a window thread that stopped answering would hang both.
class StatusHold {
public:
    StatusHold();
    ~StatusHold();
    StatusHold(const StatusHold&) = delete;
    StatusHold& operator=(const StatusHold&) = delete;

private:
    bool held_ = false;
};
ThreadPool& downloadPool();

// A delay that keeps the calling thread's messages served (for 14 ms or less: one sleep).
void waitServing(unsigned milliseconds);
