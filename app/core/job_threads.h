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
    long generation() const { return generation_; }

private:
    int kind_;
    long generation_;
    intptr_t argument_;
};

using JobRoutine = void (*)(const JobContext& job);

// `beforeStart` runs on the caller's thread once the previous job of the kind has been told to
// stop and before the new one exists: the place to reset what the two must never share.
bool startJob(int kind, JobRoutine routine, intptr_t argument = 0, void (*beforeStart)() = nullptr);
// The generation of the newest job of a kind; a job (or a pool task it queued) with an older
// one has been replaced.
long currentJobGeneration(int kind);
// True while the job of that kind and generation is the newest and the program is not ending.
bool isCurrentJob(int kind, long generation);
// True while a thread of that kind is alive (a replaced one that has not ended yet counts).
bool isJobRunning(int kind);
// Tells every job to stop and waits for them while serving messages, at most `timeoutMs`.
// True when all ended.
bool stopAllJobs(unsigned timeoutMs);
// Lets jobs start again after stopAllJobs: the program starting anew in the same process.
void allowJobs();
