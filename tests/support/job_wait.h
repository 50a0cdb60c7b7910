// Waiting on a job from a test's thread: the thread keeps serving its messages, because a job
// writes its status line, and other window calls, to windows this thread may own.
#pragma once

#include <windows.h>

#include "app/core/job_threads.h"
#include "tasks/message_pump.h"

// A job that does nothing: started to replace the one under test.
inline void emptyJob(const JobContext&) {}

// Waits for the event while serving this thread's messages; false when `ms` passed first.
inline bool waitServed(HANDLE event, DWORD ms)
{
    const ULONGLONG start = GetTickCount64();
    while (GetTickCount64() - start < ms) {
        if (MsgWaitForMultipleObjects(1, &event, FALSE, 50, QS_ALLINPUT) == WAIT_OBJECT_0) return true;
        pumpPendingMessages();
    }
    return false;
}
