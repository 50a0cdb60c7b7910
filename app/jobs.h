// The program's three job threads (0 analysis, 1 download, 2 sign-in), at most one of each kind.
// Jobs stop cooperatively: starting a kind tells the previous job of that kind to stop (it checks
// between steps and before touching shared state) and starts the new one at once; no thread is
// ever killed.
#pragma once

#include <cstdint>

enum JobKind { AnalysisJob = 0, DownloadJob = 1, SignInJob = 2 };

class JobContext {
public:
    JobContext(int kind, long generation, intptr_t argument) : kind_(kind), generation_(generation), argument_(argument) {}
    // True once a newer job of the same kind was started or the program is ending.
    bool stopping() const;
    // Waits, serving the thread's messages; false when the job was told to stop meanwhile.
    bool pause(unsigned milliseconds) const;
    intptr_t argument() const { return argument_; }
    int kind() const { return kind_; }

private:
    int kind_;
    long generation_;
    intptr_t argument_;
};

using JobRoutine = void (*)(const JobContext& job);

bool startJob(int kind, JobRoutine routine, intptr_t argument = 0);
// Tells every job to stop and waits for them while serving messages, at most `timeoutMs`.
// True when all ended.
bool stopAllJobs(unsigned timeoutMs);
