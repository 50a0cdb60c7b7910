#include "tasks/thread_name.h"

#include <windows.h>

namespace {

using SetDescription = HRESULT(WINAPI*)(HANDLE thread, PCWSTR description);

// Looked up once: kernel32 stays loaded for the life of the process.
SetDescription setDescription()
{
    static const SetDescription function = [] {
        const HMODULE kernel = GetModuleHandleW(L"kernel32.dll");
        return kernel ? reinterpret_cast<SetDescription>(reinterpret_cast<void*>(GetProcAddress(kernel, "SetThreadDescription")))
                      : nullptr;
    }();
    return function;
}

} // namespace

void nameThisThread(const wchar_t* name)
{
    if (const SetDescription set = setDescription())
        static_cast<void>(set(GetCurrentThread(), name));  // a name is a help for debugging, never needed
}

bool canNameThreads() { return setDescription() != nullptr; }
