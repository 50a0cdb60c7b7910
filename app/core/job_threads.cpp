#include "app/core/job_threads.h"

#include <atomic>
#include <memory>
#include <windows.h>

#include "tasks/message_pump.h"
#include "tasks/unique_handle.h"
#include "tasks/thread_name.h"

namespace {

constexpr int kKinds = 3;

struct JobSlot {
    std::atomic<long> generation{0};
    std::atomic<long> running{0};  // threads of this kind still alive (a replaced one may linger)
};

JobSlot gSlots[kKinds];
std::atomic<bool> gEnding{false};

bool noJobRunning()
{
    for (const JobSlot& slot : gSlots) {
        if (slot.running != 0) return false;
    }
    return true;
}

struct Start {
    JobRoutine routine;
    JobContext context;
};

DWORD WINAPI jobThread(void* parameter)
{
    const std::unique_ptr<Start> start(static_cast<Start*>(parameter));
    static const wchar_t* const names[kKinds] = {L"Piclade analysis job", L"Piclade download job", L"Piclade sign-in job"};
    nameThisThread(names[start->context.kind()]);
    start->routine(start->context);
    --gSlots[start->context.kind()].running;
    return 0;
}

} // namespace

// Guarded by EndToEnd.AnalysisPressedTwiceQuicklyListsEachAlbumOnce and EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
bool JobContext::stopping() const
{
    return !isCurrentJob(kind_, generation_);
}

bool JobContext::pause(unsigned milliseconds) const
{
    return !waitServing(milliseconds, [this] { return stopping(); }) && !stopping();
}

// Every job on a thread of its own, never the window's: guarded by EndToEndPromises.WindowAnswersWhileTheServiceIsSlow.
bool startJob(int kind, JobRoutine routine, intptr_t argument, void (*beforeStart)())
{
    if (kind < 0 || kind >= kKinds || !routine || gEnding) return false;
    const long generation = ++gSlots[kind].generation;
    if (beforeStart) beforeStart();
    auto start = std::make_unique<Start>(Start{routine, JobContext(kind, generation, argument)});
    ++gSlots[kind].running;
    // The thread owns its start record from here on; its handle is not needed.
    const UniqueHandle thread(CreateThread(nullptr, 0, jobThread, start.get(), 0, nullptr));
    if (!thread) {
        --gSlots[kind].running;
        return false;
    }
    static_cast<void>(start.release());
    return true;
}

long currentJobGeneration(int kind) { return kind >= 0 && kind < kKinds ? gSlots[kind].generation.load() : 0; }

bool isCurrentJob(int kind, long generation) { return !gEnding && currentJobGeneration(kind) == generation; }

bool isJobRunning(int kind) { return kind >= 0 && kind < kKinds && gSlots[kind].running != 0; }

bool stopAllJobs(unsigned timeoutMs)
{
    gEnding = true;
    return waitServing(timeoutMs, noJobRunning);
}

void allowJobs() { gEnding = false; }
