// Timing and reporting shared by the benchmarks: one line per figure, "BENCH <name> <value> <unit>".
#pragma once

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>
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

// The median of the values with their smallest and largest beside it: "<name>", "<name>_min",
// "<name>_max". One run settles nothing on a shared machine; the spread shows how much.
inline void reportSpread(const std::string& name, std::vector<double> values, const char* unit)
{
    if (values.empty()) return;
    std::sort(values.begin(), values.end());
    const size_t middle = values.size() / 2;
    const double median = values.size() % 2 ? values[middle] : (values[middle - 1] + values[middle]) / 2;
    report(name.c_str(), median, unit);
    report((name + "_min").c_str(), values.front(), unit);
    report((name + "_max").c_str(), values.back(), unit);
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

// Interleaved rounds of two sides: each round times ours, then theirs (each the best of its own
// repeats over minSeconds), so a load that comes and goes weighs on both alike. Returns, per round,
// theirs / ours: above 1 means ours is faster. The seconds of each side are kept for rates.
struct Rounds {
    std::vector<double> ours, theirs, ratios;
};

template <typename Ours, typename Theirs>
Rounds interleaved(int rounds, Ours ours, Theirs theirs, double minSeconds = 0.3)
{
    Rounds result;
    for (int round = 0; round < rounds; ++round) {
        const double a = bestOf(ours, minSeconds);
        const double b = bestOf(theirs, minSeconds);
        result.ours.push_back(a);
        result.theirs.push_back(b);
        result.ratios.push_back(b / a);
    }
    return result;
}

// Each value of seconds as a rate of the given work.
inline std::vector<double> ratesOf(double work, const std::vector<double>& seconds)
{
    std::vector<double> rates;
    for (double s : seconds) rates.push_back(work / s);
    return rates;
}
