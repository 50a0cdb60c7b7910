// Throughput of tiny tasks through the program's pool and through the system's thread pool: medians
// of interleaved rounds, with their smallest and largest.
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
    // Interleaved rounds: each times the program's pool, then the system's, so that a load that
    // comes and goes weighs on both alike; the figures are the medians of the rounds with their
    // smallest and largest.
    constexpr int kRounds = 5;
    std::vector<double> ours, system, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const double a = runOurs();
        const double b = runSystem();
        ours.push_back(a);
        system.push_back(b);
        ratios.push_back(b / a);
    }
    reportSpread("pool_tasks_piclade", ratesOf(kTasks, ours), "tasks/s");
    reportSpread("pool_tasks_system", ratesOf(kTasks, system), "tasks/s");
    reportSpread("pool_tasks_ratio", ratios, "x");
    CloseHandle(gAllDone);
    return 0;
}
