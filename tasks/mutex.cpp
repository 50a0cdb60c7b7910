#include "tasks/mutex.h"

#include <utility>
#include <windows.h>

#include "tasks/unique_handle.h"
#include "text/encoding.h"

namespace {

// Empty text means no name at all (an unnamed mutex), not an empty one.
std::wstring nameOf(std::string_view name) { return toUtf16(name); }

// Two threads may create at once: the first handle stored stays, the other is closed.
void storeFirst(std::atomic<void*>& slot, UniqueHandle handle)
{
    void* expected = nullptr;
    if (slot.compare_exchange_strong(expected, handle.get())) (void)handle.release();
}

} // namespace

bool Mutex::create(bool initialOwner, std::string_view name)
{
    if (handle_) return true;
    const std::wstring wide = nameOf(name);
    UniqueHandle created(CreateMutexW(nullptr, initialOwner, wide.empty() ? nullptr : wide.c_str()));
    if (!created) return false;
    storeFirst(handle_, std::move(created));
    return true;
}

bool Mutex::openExisting(bool inherit, std::string_view name)
{
    if (handle_) return true;
    const std::wstring wide = nameOf(name);
    UniqueHandle opened(OpenMutexW(MUTEX_ALL_ACCESS, inherit, wide.c_str()));
    if (!opened) return false;
    storeFirst(handle_, std::move(opened));
    return true;
}

bool Mutex::close()
{
    // The caller learns whether closing succeeded.
    return UniqueHandle(handle_.exchange(nullptr)).close();
}

void Mutex::setHandle(void* handle)
{
    UniqueHandle previous(handle_.exchange(handle));
    if (previous.get() == handle) (void)previous.release();
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
