#include "net/internet_handle.h"

#include <windows.h>
#include <winhttp.h>

void InternetHandle::reset(void* handle)
{
    if (handle_ && handle_ != handle) WinHttpCloseHandle(handle_);
    handle_ = handle;
}
