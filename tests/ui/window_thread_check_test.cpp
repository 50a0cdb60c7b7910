// The test builds' check that a window's properties are used on the thread that made them only:
// the probe (support/window_thread_probe.cpp) is run as a child process, since the check ends
// the process it catches.
#include "ui/property_table.h"

#include <gtest/gtest.h>
#include <string>
#include <windows.h>

namespace {

struct ProbeRun {
    DWORD exitCode = 0;
    std::string errors;
};

// Runs the probe (next to this test) with `mode`, its error output caught.
ProbeRun runProbe(const char* mode)
{
    ProbeRun run;
    wchar_t self[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    std::wstring line(self);
    line.resize(line.rfind(L'\\') + 1);
    line = L"\"" + line + L"window_thread_probe.exe\" ";
    for (const char* c = mode; *c; ++c) line += static_cast<wchar_t>(*c);

    SECURITY_ATTRIBUTES inheritable{sizeof inheritable, nullptr, TRUE};
    HANDLE readEnd = nullptr;
    HANDLE writeEnd = nullptr;
    if (!CreatePipe(&readEnd, &writeEnd, &inheritable, 0)) {
        ADD_FAILURE() << "no pipe";
        return run;
    }
    SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
    startup.hStdOutput = writeEnd;
    startup.hStdError = writeEnd;
    PROCESS_INFORMATION process{};
    const BOOL started = CreateProcessW(nullptr, line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process);
    CloseHandle(writeEnd);
    if (!started) {
        ADD_FAILURE() << "the probe did not start: " << GetLastError();
        CloseHandle(readEnd);
        return run;
    }
    char buffer[512];
    DWORD got = 0;
    while (ReadFile(readEnd, buffer, sizeof buffer, &got, nullptr) && got) run.errors.append(buffer, got);
    CloseHandle(readEnd);
    EXPECT_EQ(WaitForSingleObject(process.hProcess, 20000), WAIT_OBJECT_0);
    GetExitCodeProcess(process.hProcess, &run.exitCode);
    CloseHandle(process.hProcess);
    CloseHandle(process.hThread);
    return run;
}

int lines(const std::string& text)
{
    int count = 0;
    for (const char c : text) count += c == '\n';
    return count;
}

} // namespace

TEST(WindowThreadCheck, AnotherThreadReadingOrWritingAPropertyEndsTheProcess)
{
    for (const char* mode : {"read-elsewhere", "write-elsewhere"}) {
        const ProbeRun run = runProbe(mode);
        EXPECT_EQ(run.exitCode, kWrongThreadExitCode) << mode;
        // One line, naming the property.
        EXPECT_EQ(lines(run.errors), 1) << mode << ": " << run.errors;
        EXPECT_NE(run.errors.find("\"Colour\""), std::string::npos) << mode << ": " << run.errors;
    }
}

TEST(WindowThreadCheck, EachThreadMayUseTheObjectsItMade)
{
    const ProbeRun run = runProbe("each-its-own");
    EXPECT_EQ(run.exitCode, 0u);
    EXPECT_EQ(run.errors, "");
}
