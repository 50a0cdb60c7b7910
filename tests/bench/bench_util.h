// Timing and reporting shared by the benchmarks: one line per figure, "BENCH <name> <value> <unit>".
#pragma once

#include <cstdio>
#include <windows.h>

inline double secondsNow()
{
    LARGE_INTEGER frequency, counter;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&counter);
    return static_cast<double>(counter.QuadPart) / static_cast<double>(frequency.QuadPart);
}

inline void report(const char* name, double value, const char* unit)
{
    std::printf("BENCH %s %.3f %s\n", name, value, unit);
    std::fflush(stdout);
}

// Runs the body repeatedly for at least minSeconds (and at least 3 times); returns the best
// single run in seconds, which is the figure least disturbed by a busy machine.
template <typename Body>
double bestOf(Body body, double minSeconds = 1.0)
{
    double best = 1e30;
    const double start = secondsNow();
    for (int run = 0; run < 3 || secondsNow() - start < minSeconds; ++run) {
        const double t0 = secondsNow();
        body();
        const double elapsed = secondsNow() - t0;
        if (elapsed < best) best = elapsed;
    }
    return best;
}
