#include "app/core/job_threads.h"

#include <atomic>
#include <windows.h>

#include "tasks/message_pump.h"
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
    nameThisThread(L"Piclade job");
    Start* start = static_cast<Start*>(parameter);
    start->routine(start->context);
    --gSlots[start->context.kind()].running;
    delete start;
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
    auto* start = new Start{routine, JobContext(kind, generation, argument)};
    ++gSlots[kind].running;
    HANDLE thread = CreateThread(nullptr, 0, jobThread, start, 0, nullptr);
    if (!thread) {
        --gSlots[kind].running;
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

long currentJobGeneration(int kind) { return kind >= 0 && kind < kKinds ? gSlots[kind].generation.load() : 0; }

bool isCurrentJob(int kind, long generation) { return !gEnding && currentJobGeneration(kind) == generation; }

bool waitWhileCurrent(int kind, long generation, unsigned milliseconds)
{
    const DWORD start = GetTickCount();
    while (isCurrentJob(kind, generation)) {
        const DWORD elapsed = GetTickCount() - start;
        if (elapsed >= milliseconds) return true;
        const DWORD left = milliseconds - elapsed;
        Sleep(left < 15 ? left : 15);
    }
    return false;
}

bool stopAllJobs(unsigned timeoutMs)
{
    gEnding = true;
    return waitServing(timeoutMs, noJobRunning);
}

void allowJobs() { gEnding = false; }
