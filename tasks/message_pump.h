// Serving the calling thread's window messages while it waits for other threads. Every wait of
// the program that may hold up a window (a job's pause, the end of a job, the stop of all jobs,
// the status lock) goes through waitServing.
#pragma once

#include <functional>

// Dispatches every message waiting in the calling thread's queue, then returns.
void pumpPendingMessages();

// A delay that keeps the calling thread's messages served (for 14 ms or less: one sleep).
void waitServing(unsigned milliseconds);
// Waits until `done` holds (asked at least every 15 ms) or `milliseconds` have passed, serving
// the thread's messages meanwhile; true when `done` held.
bool waitServing(unsigned milliseconds, const std::function<bool()>& done);
// Waits without end for `object` (a mutex is then owned, abandoned or not), serving only the
// messages sent to the thread's windows: a thread inside a call of its own window must not run
// posted ones. False when the wait failed.
bool waitServing(void* object);
