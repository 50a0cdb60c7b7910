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
    // How long the way out may take, whatever a server does: requests in flight are cancelled,
    // so only a thread held by something else (an open message box) can outlast it.
    constexpr unsigned kExitBudgetMs = 3000;

    startProgram(instance, withBackslash(programFolder()));
    const auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(129), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));

    if (createMainWindow(icon)) RunMessageLoop(mainWindow()->window);

    // A thread that is still running may yet use the runtime, the window framework, GDI+ or COM:
    // the process then ends here, before anything of that is destroyed under it.
    if (!endProgram(kExitBudgetMs)) ExitProcess(0);
    if (icon) DestroyIcon(icon);
    return 0;
}
