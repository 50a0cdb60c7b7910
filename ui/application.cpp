#include "ui/application.h"

#include <commctrl.h>
#include "ui/gdiplus_include.h"
#include <shellapi.h>
#include <shlwapi.h>

#include "tasks/unique_handle.h"
#include "text/encoding.h"

namespace {

HINSTANCE gInstance = nullptr;
ULONG_PTR gGdiplusToken = 0;


// ActiveX hosting lives in the system's ATL library, bound by name when first asked for; the
// library stays loaded for the rest of the process, as the window classes it registers need it.
void initialiseActiveXHosting()
{
    using AtlAxWinInitFunction = BOOL(WINAPI*)();
    static AtlAxWinInitFunction initialise = [] {
        HMODULE atl = LoadLibraryW(L"atl.dll");
        return atl ? reinterpret_cast<AtlAxWinInitFunction>(reinterpret_cast<void*>(GetProcAddress(atl, "AtlAxWinInit"))) : nullptr;
    }();
    if (initialise) initialise();
}

} // namespace

void Application::Initialise(HINSTANCE instance, bool skipActiveX, std::optional<DWORD> controlClasses)
{
    gInstance = instance ? instance : GetModuleHandleW(nullptr);
    if (!gGdiplusToken) {
        Gdiplus::GdiplusStartupInput input;
        Gdiplus::GdiplusStartup(&gGdiplusToken, &input, nullptr);
    }
    if (!skipActiveX) initialiseActiveXHosting();
    INITCOMMONCONTROLSEX controls{sizeof controls, controlClasses.value_or(0xFFFF)};
    InitCommonControlsEx(&controls);
}

void Application::Shutdown()
{
    if (gGdiplusToken) Gdiplus::GdiplusShutdown(gGdiplusToken);
    gGdiplusToken = 0;
}

HINSTANCE Application::Instance() { return gInstance ? gInstance : GetModuleHandleW(nullptr); }

std::vector<std::wstring> Application::CommandLineW()
{
    int count = 0;
    const UniqueLocal<LPWSTR*> arguments(CommandLineToArgvW(GetCommandLineW(), &count));
    std::vector<std::wstring> result;
    for (int i = 0; arguments && i < count; ++i) result.emplace_back(arguments.get()[i]);
    return result;
}

std::vector<std::string> Application::CommandLine()
{
    std::vector<std::string> result;
    for (const std::wstring& argument : CommandLineW()) result.push_back(toNarrow(argument));
    return result;
}

std::wstring Application::ProgramPathW()
{
    wchar_t path[520] = {};
    const DWORD length = GetModuleFileNameW(nullptr, path, 520);
    return std::wstring(path, length < 520 ? length : 0);
}

std::string Application::ProgramFolder()
{
    std::wstring path = ProgramPathW();
    path.resize(path.size() + 1, L'\0');
    PathRemoveFileSpecW(path.data());
    return toNarrow(std::wstring(path.c_str()));
}

std::string Application::ProgramFileName()
{
    const std::wstring path = ProgramPathW();
    return toNarrow(PathFindFileNameW(path.c_str()));
}

HWND Application::TopLevelAncestor(HWND window)
{
    for (HWND parent = GetParent(window); parent; parent = GetParent(window)) window = parent;
    return window;
}

HWND Application::NextTabStop(HWND window)
{
    const HWND parent = GetParent(window);
    for (HWND sibling = FindWindowExW(parent, nullptr, nullptr, nullptr); sibling;
         sibling = FindWindowExW(parent, sibling, nullptr, nullptr)) {
        const LONG_PTR style = GetWindowLongPtrW(sibling, GWL_STYLE);
        if ((style & WS_TABSTOP) && (style & WS_VISIBLE) && !(style & WS_DISABLED)) return sibling;
    }
    return nullptr;
}
