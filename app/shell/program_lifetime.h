// The program's start and end, the same for Piclade.exe and for the tests that run its start-up.
#pragma once

#include <string>
#include <windows.h>

// On the GUI thread, before any window: COM in a single-threaded apartment (the shell's folder
// dialog and "open folder" need one), the window framework, the download pool, the status lock
// and the save folder (ending with a backslash). False when COM could not be set up; the program
// still runs, only the shell calls would fail.
bool startProgram(HINSTANCE instance, const std::wstring& saveFolder);

// Ends every job, request and pool task within `budgetMs`, then destroys the main window, the
// shared objects, GDI+ and COM in that order. False when some thread outlived the budget: then
// nothing is destroyed, and the caller ends the process at once.
bool endProgram(unsigned budgetMs);
