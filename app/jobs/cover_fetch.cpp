#include "app/jobs/cover_fetch.h"

#include <climits>
#include <utility>
#include <windows.h>

#include "tasks/message_pump.h"
#include "tasks/thread_name.h"

namespace {

// How often a caller awaiting a cover looks whether its job stopped, at most.
constexpr DWORD kStopLookMs = 100;

} // namespace

CoverFetch::CoverFetch(const JobContext& job, Fetch fetch)
    : job_(job), fetch_(fetch), wanted_(CreateSemaphoreW(nullptr, 0, LONG_MAX, nullptr)), came_(CreateEventW(nullptr, FALSE, FALSE, nullptr))
{
    if (!wanted_ || !came_) return;  // no worker: request() fetches on the caller's thread
    for (int i = 0; i < kCoverWorkers; ++i) {
        UniqueHandle worker(CreateThread(nullptr, 0, workerEntry, this, 0, nullptr));
        if (worker) workers_.push_back(std::move(worker));
    }
}

// Guarded by CoverFetch.AStoppedJobEndsTheWaitAndEveryWorker: the workers are gone before the
// slots they write into, and a stopped job waits for nothing else.
CoverFetch::~CoverFetch()
{
    closing_ = true;
    // Every worker wakes once more, sees the end and returns; covers not begun are never fetched.
    if (!workers_.empty()) ReleaseSemaphore(wanted_.get(), static_cast<LONG>(workers_.size()), nullptr);
    // A stopped job's exchanges are cancelled by their watch: a worker inside one returns soon.
    for (const UniqueHandle& worker : workers_) static_cast<void>(waitServing(worker.get()));
}

void CoverFetch::request(const std::string& address)
{
    size_t index = 0;
    {
        Locked hold(lock_);
        index = slots_.size();
        slots_.push_back(Slot{address, {}, false});
    }
    if (workers_.empty()) {
        // No thread could be made: one cover after another, as the caller's own work.
        fetchInto(index);
        return;
    }
    ReleaseSemaphore(wanted_.get(), 1, nullptr);
}

bool CoverFetch::takeNext(ImageObject& cover, bool wait, HANDLE until)
{
    for (;;) {
        // A stopped job's covers are no one's: its workers drop what they were fetching.
        if (job_.stopping()) return false;
        if (until && WaitForSingleObject(until, 0) == WAIT_OBJECT_0) return false;
        {
            Locked hold(lock_);
            if (nextToTake_ >= slots_.size()) return false;
            Slot& slot = slots_[nextToTake_];
            if (slot.done) {
                cover = std::move(slot.cover);
                ++nextToTake_;
                return true;
            }
        }
        if (!wait) return false;
        // The job's thread keeps serving its messages while it waits, as in its pauses.
        const HANDLE events[] = {came_.get(), until};
        const DWORD count = until ? 2 : 1;
        if (MsgWaitForMultipleObjects(count, events, FALSE, kStopLookMs, QS_ALLINPUT) == WAIT_OBJECT_0 + count) pumpPendingMessages();
    }
}

unsigned long __stdcall CoverFetch::workerEntry(void* self)
{
    nameThisThread(L"Piclade cover");
    static_cast<CoverFetch*>(self)->work();
    return 0;
}

void CoverFetch::work()
{
    // Woken once per cover asked for, and once more at the end.
    while (WaitForSingleObject(wanted_.get(), INFINITE) == WAIT_OBJECT_0) {
        if (closing_ || job_.stopping()) return;
        size_t index = 0;
        {
            Locked hold(lock_);
            if (nextToFetch_ >= slots_.size()) continue;
            index = nextToFetch_++;
        }
        fetchInto(index);
    }
}

void CoverFetch::fetchInto(size_t index)
{
    std::string address;
    {
        Locked hold(lock_);
        address = slots_[index].address;
    }
    ImageObject cover = fetch_(address, job_);
    {
        Locked hold(lock_);
        slots_[index].cover = std::move(cover);
        slots_[index].done = true;
    }
    if (came_) SetEvent(came_.get());
}
