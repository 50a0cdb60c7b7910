// Serving the calling thread's window messages while it waits for other threads.
#pragma once

// Dispatches every message waiting in the calling thread's queue, then returns.
void pumpPendingMessages();
