// The covers of one analysis, fetched up to kCoverWorkers at a time on threads this object owns
// (never on the download pool, whose idleness means "no download" elsewhere) and handed back in
// the order they were asked for, so that the rows keep the list's order while the covers come
// side by side. The object ends its workers before it goes: none outlives it, and none writes into
// anything of the job's after the job returned.
#pragma once

#include <atomic>
#include <string>
#include <vector>
#include <windows.h>

#include "app/core/job_threads.h"
#include "tasks/critical_section.h"
#include "tasks/unique_handle.h"
#include "ui/image_object.h"

// Covers on their way at once, at most. Guarded by EndToEndCovers.FiveAtATimeEachRowWithItsOwnCoverInListOrder
// and CoverFetch.CoversComeInTheOrderAskedAtMostFiveAtATime.
constexpr int kCoverWorkers = 5;

class CoverFetch {
public:
    // Fetches one cover for the job (no picture when none came). Runs on the workers, several at
    // once; a stopped job's exchanges are cancelled by their watch, so it returns soon after.
    using Fetch = ImageObject (*)(const std::string& address, const JobContext& job);

    CoverFetch(const JobContext& job, Fetch fetch);
    // Lets the workers end, dropping the covers not begun yet, and waits until every one has.
    ~CoverFetch();
    CoverFetch(const CoverFetch&) = delete;
    CoverFetch& operator=(const CoverFetch&) = delete;

    // Asks for the cover at `address`, after every one asked for before.
    void request(const std::string& address);
    // The next cover in the order asked for, once it came: true with it in `cover`. False when
    // none is asked for and not taken, when it has not come (and `wait` is false), once the job
    // stopped, before or while it was awaited, and as soon as `until` (when given) is signalled,
    // come or not: whatever that handle stands for goes first.
    [[nodiscard]] bool takeNext(ImageObject& cover, bool wait, HANDLE until = nullptr);

private:
    struct Slot {
        std::string address;
        ImageObject cover;
        bool done = false;
    };

    static unsigned long __stdcall workerEntry(void* self);
    void work();
    // Fetches the cover of slot `index` and puts it in place, telling a waiting caller.
    void fetchInto(size_t index);

    const JobContext job_;
    const Fetch fetch_;
    CriticalSection lock_;
    std::vector<Slot> slots_;  // every cover asked for, in order (under lock_)
    size_t nextToFetch_ = 0;   // under lock_
    size_t nextToTake_ = 0;    // the caller's alone
    std::atomic<bool> closing_{false};
    UniqueHandle wanted_;  // semaphore: one count per cover asked for, one per worker at the end
    UniqueHandle came_;    // auto-reset event: a cover was put in place
    std::vector<UniqueHandle> workers_;
};
