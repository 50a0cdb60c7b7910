// Throughput of tiny tasks through the program's pool and through the system's thread pool.
#include "bench_util.h"
#include "tasks/thread_pool.h"

namespace {

constexpr long kTasks = 200000;
volatile long gDone = 0;
HANDLE gAllDone = nullptr;

void tinyTask(intptr_t, intptr_t)
{
    if (InterlockedIncrement(&gDone) == kTasks) SetEvent(gAllDone);
}

void CALLBACK tinySystemTask(PTP_CALLBACK_INSTANCE, void*) { tinyTask(0, 0); }

double runOurs()
{
    ThreadPool pool;
    pool.start(1, 5);
    gDone = 0;
    ResetEvent(gAllDone);
    const double start = secondsNow();
    for (long i = 0; i < kTasks; ++i) pool.submit(tinyTask);
    WaitForSingleObject(gAllDone, INFINITE);
    const double elapsed = secondsNow() - start;
    pool.stop(0);
    return elapsed;
}

double runSystem()
{
    gDone = 0;
    ResetEvent(gAllDone);
    const double start = secondsNow();
    for (long i = 0; i < kTasks; ++i) TrySubmitThreadpoolCallback(tinySystemTask, nullptr, nullptr);
    WaitForSingleObject(gAllDone, INFINITE);
    return secondsNow() - start;
}

} // namespace

int main()
{
    gAllDone = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    double ours = 1e30, system = 1e30;
    for (int round = 0; round < 3; ++round) {
        const double a = runOurs();
        const double b = runSystem();
        if (a < ours) ours = a;
        if (b < system) system = b;
    }
    report("pool_tasks_piclade", kTasks / ours, "tasks/s");
    report("pool_tasks_system", kTasks / system, "tasks/s");
    report("pool_tasks_ratio", system / ours, "x");
    CloseHandle(gAllDone);
    return 0;
}
