// The framework's process-wide set-up and the facts about the program it answers.
#pragma once

#include <string>
#include <vector>
#include <windows.h>

namespace Application {

// Starts GDI+ once and registers the common controls (every class unless told otherwise). ActiveX
// hosting is not part of this program, so it is never set up.
void Initialise(HINSTANCE instance = nullptr, DWORD controlClasses = 0xFFFF);
// Stops GDI+ again; for the end of the program.
void Shutdown();
HINSTANCE Instance();

std::vector<std::wstring> CommandLineW();
std::vector<std::string> CommandLine();
// The program's folder (no trailing backslash) and its file name, in program text.
std::string ProgramFolder();
std::string ProgramFileName();
std::wstring ProgramPathW();

HWND TopLevelAncestor(HWND window);
// A visible, enabled tab stop among the window's siblings.
HWND NextTabStop(HWND window);

} // namespace Application
