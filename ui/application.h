// The framework's process-wide set-up and the facts about the program it answers.
#pragma once

#include <optional>
#include <string>
#include <vector>
#include <windows.h>

namespace Application {

// Records the module handle (the program's own unless an instance is given), starts GDI+ once and
// registers the common controls (every class unless told which). Hosting of ActiveX controls is
// set up only when asked for: the program hosts none, so it skips it unless told otherwise.
void Initialise(HINSTANCE instance = nullptr, bool skipActiveX = true, std::optional<DWORD> controlClasses = {});
// Stops GDI+ again; for the end of the program.
void Shutdown();
// The module handle the framework registers its classes and creates its windows with.
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
