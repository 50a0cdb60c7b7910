#include "tasks/mutex.h"

#include <windows.h>

#include "text/encoding.h"

namespace {

// Empty text means no name at all (an unnamed mutex), not an empty one.
std::wstring nameOf(std::string_view name) { return toUtf16(name); }

} // namespace

bool Mutex::create(bool initialOwner, std::string_view name)
{
    if (InterlockedCompareExchangePointer(const_cast<void**>(&handle_), nullptr, nullptr)) return true;
    const std::wstring wide = nameOf(name);
    HANDLE created = CreateMutexW(nullptr, initialOwner, wide.empty() ? nullptr : wide.c_str());
    if (!created) return false;
    if (InterlockedCompareExchangePointer(const_cast<void**>(&handle_), created, nullptr)) CloseHandle(created);
    return true;
}

bool Mutex::openExisting(bool inherit, std::string_view name)
{
    if (InterlockedCompareExchangePointer(const_cast<void**>(&handle_), nullptr, nullptr)) return true;
    const std::wstring wide = nameOf(name);
    HANDLE opened = OpenMutexW(MUTEX_ALL_ACCESS, inherit, wide.c_str());
    if (!opened) return false;
    if (InterlockedCompareExchangePointer(const_cast<void**>(&handle_), opened, nullptr)) CloseHandle(opened);
    return true;
}

bool Mutex::close()
{
    HANDLE taken = InterlockedExchangePointer(const_cast<void**>(&handle_), nullptr);
    return !taken || CloseHandle(taken);
}

void Mutex::setHandle(void* handle)
{
    HANDLE previous = InterlockedExchangePointer(const_cast<void**>(&handle_), handle);
    if (previous && previous != handle) CloseHandle(previous);
}

bool Mutex::lock(unsigned timeoutMs)
{
    HANDLE handle = handle_;
    return handle && WaitForSingleObject(handle, timeoutMs) == WAIT_OBJECT_0;
}

bool Mutex::unlock()
{
    HANDLE handle = handle_;
    return handle && ReleaseMutex(handle);
}
