// Names the calling thread for debuggers and crash dumps. The system call for it is newer than
// the oldest Windows the program runs on (and Wine may lack it): there, nothing happens.
#pragma once

void nameThisThread(const wchar_t* name);

// Whether this system can name threads at all.
[[nodiscard]] bool canNameThreads();
