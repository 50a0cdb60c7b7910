#include "tasks/debug_trace.h"

#include <cstdarg>
#include <cstdio>
#include <cwchar>
#include <windows.h>

namespace {

constexpr wchar_t kPrefix[] = L"Piclade: ";
constexpr size_t kPrefixLength = sizeof kPrefix / sizeof kPrefix[0] - 1;
constexpr size_t kTextRoom = 500;

} // namespace

void trace(const wchar_t* format, ...)
{
    wchar_t line[kPrefixLength + kTextRoom + 2];
    wmemcpy(line, kPrefix, kPrefixLength);
    va_list arguments;
    va_start(arguments, format);
    // A text that fills the room comes back without its end (and a negative count): cut it there.
    const int written = _vsnwprintf(line + kPrefixLength, kTextRoom, format, arguments);
    va_end(arguments);
    const size_t length = kPrefixLength + (written < 0 || static_cast<size_t>(written) > kTextRoom ? kTextRoom : written);
    line[length] = L'\n';
    line[length + 1] = L'\0';
    OutputDebugStringW(line);
}

void traceFailure(const wchar_t* where, unsigned long error) { trace(L"%ls failed, error %lu", where, error); }
