// Start-up and exit of the program.
#include <windows.h>

#include "app/file_naming.h"
#include "app/main_window.h"
#include "app/program_lifetime.h"
#include "text/encoding.h"
#include "ui/top_level_window.h"

namespace {

std::string programFolder()
{
    wchar_t path[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, MAX_PATH);
    std::wstring folder(path, length);
    folder.resize(folder.rfind(L'\\') + 1);
    return toNarrow(folder);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    startProgram(instance, withBackslash(programFolder()));
    const auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(129), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));

    int exitCode = 0;
    if (createMainWindow(icon)) RunMessageLoop(mainWindow()->window);

    endProgram();
    if (icon) DestroyIcon(icon);
    return exitCode;
}
