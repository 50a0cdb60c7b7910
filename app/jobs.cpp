#include "app/jobs.h"

#include <windows.h>

#include "tasks/message_pump.h"
#include "tasks/thread_name.h"

namespace {

constexpr int kKinds = 3;

struct JobSlot {
    volatile LONG generation = 0;
    volatile LONG running = 0;  // threads of this kind still alive (a replaced one may linger)
};

JobSlot gSlots[kKinds];
volatile LONG gEnding = 0;

struct Start {
    JobRoutine routine;
    JobContext context;
};

DWORD WINAPI jobThread(void* parameter)
{
    nameThisThread(L"Piclade job");
    Start* start = static_cast<Start*>(parameter);
    start->routine(start->context);
    InterlockedDecrement(&gSlots[start->context.kind()].running);
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
    const DWORD start = GetTickCount();
    while (GetTickCount() - start < milliseconds) {
        if (stopping()) return false;
        const DWORD left = milliseconds - (GetTickCount() - start);
        Sleep(left < 15 ? left : 15);
        pumpPendingMessages();
    }
    return !stopping();
}

// Every job on a thread of its own, never the window's: guarded by EndToEndPromises.WindowAnswersWhileTheServiceIsSlow.
bool startJob(int kind, JobRoutine routine, intptr_t argument, void (*beforeStart)())
{
    if (kind < 0 || kind >= kKinds || !routine || gEnding) return false;
    const long generation = InterlockedIncrement(&gSlots[kind].generation);
    if (beforeStart) beforeStart();
    auto* start = new Start{routine, JobContext(kind, generation, argument)};
    InterlockedIncrement(&gSlots[kind].running);
    HANDLE thread = CreateThread(nullptr, 0, jobThread, start, 0, nullptr);
    if (!thread) {
        InterlockedDecrement(&gSlots[kind].running);
        delete start;
        return false;
    }
    CloseHandle(thread);
    return true;
}

long currentJobGeneration(int kind) { return kind >= 0 && kind < kKinds ? gSlots[kind].generation : 0; }

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
    InterlockedExchange(&gEnding, 1);
    const DWORD start = GetTickCount();
    for (;;) {
        bool anyRunning = false;
        for (const JobSlot& slot : gSlots) anyRunning = anyRunning || slot.running != 0;
        if (!anyRunning) return true;
        if (GetTickCount() - start > timeoutMs) return false;
        Sleep(10);
        pumpPendingMessages();
    }
}

void allowJobs() { InterlockedExchange(&gEnding, 0); }
