// Uses a window object's properties the way its first argument says, for the test of the
// wrong-thread check (window_thread_check_test.cpp). Exits 0 when nothing stopped it.
#include <cstring>
#include <windows.h>

#include "ui/window_object.h"

namespace {

struct Use {
    WindowObject* object;
    bool write;
};

DWORD WINAPI useElsewhere(void* parameter)
{
    const Use& use = *static_cast<Use*>(parameter);
    if (use.write) {
        use.object->SetProperty("Colour", 2);
    } else {
        (void)use.object->GetProperty("Colour");
    }
    return 0;
}

// An object of the thread's own, used on that thread only.
DWORD WINAPI useOwnObject(void*)
{
    WindowObject object;
    object.SetProperty("Colour", 5);
    return object.GetProperty("Colour") == 5 ? 0 : 1;
}

DWORD runAndWait(LPTHREAD_START_ROUTINE routine, void* parameter)
{
    HANDLE thread = CreateThread(nullptr, 0, routine, parameter, 0, nullptr);
    if (!thread) return 1;
    WaitForSingleObject(thread, INFINITE);
    DWORD code = 1;
    GetExitCodeThread(thread, &code);
    CloseHandle(thread);
    return code;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 2) return 2;
    WindowObject object;
    object.SetProperty("Colour", 1);
    if (std::strcmp(argv[1], "read-elsewhere") == 0 || std::strcmp(argv[1], "write-elsewhere") == 0) {
        Use use{&object, std::strcmp(argv[1], "write-elsewhere") == 0};
        runAndWait(useElsewhere, &use);
        return 0;
    }
    if (std::strcmp(argv[1], "each-its-own") == 0) {
        if (runAndWait(useOwnObject, nullptr) != 0) return 1;
        return object.GetProperty("Colour") == 1 ? 0 : 1;
    }
    return 2;
}
