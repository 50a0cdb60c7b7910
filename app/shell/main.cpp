// Start-up and exit of the program.
#include <windows.h>

#include "app/core/file_naming.h"
#include "app/shell/main_window.h"
#include "app/shell/program_lifetime.h"
#include "ui/gdi_holders.h"
#include "ui/top_level_window.h"

namespace {

// The folder of the program's own file, with its "\\"; empty when the system cannot say, never a
// drive's root by mistake. The path may be longer than MAX_PATH: the buffer grows until it fits.
std::wstring programFolder()
{
    std::wstring path(MAX_PATH, L'\0');
    for (;;) {
        const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
        if (length == 0) return {};
        if (length < path.size()) {
            path.resize(length);
            break;
        }
        if (path.size() >= 32768) return {};
        path.resize(path.size() * 2);
    }
    const size_t slash = path.rfind(L'\\');
    return slash == std::wstring::npos ? std::wstring() : path.substr(0, slash + 1);
}

} // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int)
{
    // How long the way out may take, whatever a server does: requests in flight are cancelled,
    // so only a thread held by something else (an open message box) can outlast it.
    constexpr unsigned kExitBudgetMs = 3000;

    // No folder at all rather than a wrong one: downloads then wait until "浏览" sets one.
    const std::wstring folder = programFolder();
    startProgram(instance, folder.empty() ? folder : withBackslash(folder));
    // Outlives the window that shows it.
    const UniqueIcon icon(static_cast<HICON>(LoadImageW(instance, MAKEINTRESOURCEW(IDI_PICLADE), IMAGE_ICON, 0, 0, LR_DEFAULTSIZE)));

    if (createMainWindow(icon.get())) RunMessageLoop(mainWindow()->window);

    // A thread that is still running may yet use the runtime, the window framework, GDI+ or COM:
    // the process then ends here, before anything of that is destroyed under it.
    if (!endProgram(kExitBudgetMs)) ExitProcess(0);
    return 0;
}
