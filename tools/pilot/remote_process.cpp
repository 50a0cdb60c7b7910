#include "tools/pilot/remote_process.h"

#include <cstdint>
#include <psapi.h>

#include <vector>

RemoteBuffer::RemoteBuffer(HANDLE process, size_t size) : process_(process)
{
    address_ = VirtualAllocEx(process, nullptr, size, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE);
}

RemoteBuffer::~RemoteBuffer()
{
    if (address_) VirtualFreeEx(process_, address_, 0, MEM_RELEASE);
}

bool RemoteBuffer::write(const void* data, size_t size, size_t offset)
{
    SIZE_T done = 0;
    return address_ && WriteProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

bool RemoteBuffer::read(void* data, size_t size, size_t offset) const
{
    SIZE_T done = 0;
    return address_ && ReadProcessMemory(process_, static_cast<char*>(address_) + offset, data, size, &done) && done == size;
}

bool RemoteProcess::start(const std::wstring& commandLine, const std::wstring& folder)
{
    std::vector<wchar_t> line(commandLine.begin(), commandLine.end());
    line.push_back(L'\0');
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION started{};
    if (!CreateProcessW(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, folder.empty() ? nullptr : folder.c_str(),
                        &startup, &started)) {
        error_ = GetLastError();
        return false;
    }
    CloseHandle(started.hThread);
    process_ = OwnedHandle(started.hProcess);
    id_ = started.dwProcessId;
    // The program is ready for the user once it waits for input.
    WaitForInputIdle(started.hProcess, 10000);
    return true;
}

bool RemoteProcess::attach(HWND window)
{
    DWORD processId = 0;
    GetWindowThreadProcessId(window, &processId);
    HANDLE opened = OpenProcess(PROCESS_ALL_ACCESS, FALSE, processId);
    if (!opened) {
        error_ = GetLastError();
        return false;
    }
    process_ = OwnedHandle(opened);
    id_ = processId;
    return true;
}

bool RemoteProcess::waitExit(DWORD ms, DWORD* exitCode) const
{
    if (!process_ || WaitForSingleObject(process_.get(), ms) != WAIT_OBJECT_0) return false;
    DWORD code = 0;
    GetExitCodeProcess(process_.get(), &code);
    if (exitCode) *exitCode = code;
    return true;
}

bool RemoteProcess::running() const { return process_ && WaitForSingleObject(process_.get(), 0) == WAIT_TIMEOUT; }

size_t RemoteProcess::peakMemory() const
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    if (!process_ || !GetProcessMemoryInfo(process_.get(), &counters, sizeof counters)) return 0;
    return counters.PeakWorkingSetSize;
}

size_t RemoteProcess::privateBytes() const
{
    PROCESS_MEMORY_COUNTERS_EX counters{};
    counters.cb = sizeof counters;
    if (!process_ ||
        !GetProcessMemoryInfo(process_.get(), reinterpret_cast<PROCESS_MEMORY_COUNTERS*>(&counters), sizeof counters))
        return 0;
    // Wine fills only the older counters; the commit charge there is the same private memory.
    return counters.PrivateUsage ? counters.PrivateUsage : counters.PagefileUsage;
}

double RemoteProcess::cpuMilliseconds() const
{
    FILETIME created{}, exited{}, kernel{}, user{};
    if (!process_ || !GetProcessTimes(process_.get(), &created, &exited, &kernel, &user)) return 0;
    const auto ticks = [](const FILETIME& time) { return (uint64_t{time.dwHighDateTime} << 32) | time.dwLowDateTime; };
    return static_cast<double>(ticks(kernel) + ticks(user)) / 10000.0;  // 100-ns units
}
