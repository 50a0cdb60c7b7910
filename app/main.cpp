// Start-up and exit of the program.
#include <windows.h>

#include "app/app_state.h"
#include "app/file_naming.h"
#include "app/jobs.h"
#include "app/main_window.h"
#include "text/encoding.h"
#include "ui/application.h"

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
    Application::Initialise(instance);
    downloadPool().start(1, 5);
    statusLock().create(false, "");
    appState().saveFolder.set(withBackslash(programFolder()));
    const auto icon = static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(129), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE));

    int exitCode = 0;
    if (createMainWindow(icon)) RunMessageLoop(mainWindow()->window);

    // Jobs are told to stop and given a moment; the pool drops what is still queued. Anything
    // still running past that may yet reach the window's objects, so they are then left to the
    // end of the process rather than freed under it.
    const bool jobsEnded = stopAllJobs(3000);
    const bool poolEnded = downloadPool().stop(0, 5000, true);
    if (jobsEnded && poolEnded) destroyMainWindow();
    if (icon) DestroyIcon(icon);
    Application::Shutdown();
    return exitCode;
}
