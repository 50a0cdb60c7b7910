// piclade_pilot: runs a script of user actions against the real program and prints what it
// sees. One command per line (UTF-8); the first command that fails ends the run with exit code 1.
//
//   launch <path of Piclade.exe>      attach
//   page <0|1|2>                      type <homepage address>
//   press <button text>               select <album index>
//   menu <album index> <command>      albums
//   status                            wait-status <ms> <exact text>
//   wait-status-prefix <ms> <text>    answer-box <ms>
//   screenshot <png path>             watch <ms> <status prefix>
//   close <ms>                        memory
//   start-time <path of an exe>       mark
//   since-mark
//
// "watch" reads the status line every 5 ms, until the line starts with the prefix; then prints the
// time it took, the wall-clock time the line was first seen (Unix seconds), the slowest answer of
// the window to those reads, and the program's processor time and memory (its
// peak working set, and the peak of its private bytes as sampled meanwhile).
// "start-time" starts a program, prints the milliseconds until a window of it is visible, and
// closes it again. "mark" notes the time; "since-mark" prints the milliseconds since then
// ("elapsed ms: …"), so that a script can time what lies between, from a button pressed to a
// status waited for.
#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "tools/pilot/pilot.h"

namespace {

void print(const std::string& line)
{
    const std::string out = line + "\n";
    fwrite(out.data(), 1, out.size(), stdout);
    fflush(stdout);
}

std::string rest(std::istringstream& in)
{
    // One space separates the argument; any further spaces belong to it ("  状态:…").
    std::string text;
    std::getline(in, text);
    return text.empty() || text[0] != ' ' ? text : text.substr(1);
}

// Now as Unix time, to the resolution the system clock has: comparable with file times on the host.
double unixSecondsNow()
{
    FILETIME now{};
    GetSystemTimePreciseAsFileTime(&now);
    const uint64_t ticks = (uint64_t{now.dwHighDateTime} << 32) | now.dwLowDateTime;  // 100 ns since 1601
    return static_cast<double>(ticks - 116444736000000000ULL) / 1e7;
}

// Starts the program in its own folder and looks for a visible top-level window of it every
// millisecond; the time from the start to the first one seen, or -1. The program is closed after
// (ended if it does not close within 10 s).
long millisecondsToWindow(const std::wstring& exePath)
{
    RemoteProcess process;
    LARGE_INTEGER frequency, started, now;
    QueryPerformanceFrequency(&frequency);
    QueryPerformanceCounter(&started);
    if (!process.start(L"\"" + exePath + L"\"", exePath.substr(0, exePath.find_last_of(L"\\/") + 1))) return -1;
    HWND found = nullptr;
    long elapsed = -1;
    for (;;) {
        found = topLevelWindow(process.id(), [](HWND) { return true; });
        QueryPerformanceCounter(&now);
        const long ms = static_cast<long>((now.QuadPart - started.QuadPart) * 1000 / frequency.QuadPart);
        if (found) {
            elapsed = ms;
            break;
        }
        if (ms > 30000 || !process.running()) break;
        Sleep(1);
    }
    if (found) PostMessageW(found, WM_CLOSE, 0, 0);
    if (!process.waitExit(10000, nullptr)) TerminateProcess(process.handle(), 1);
    return elapsed;
}
// The time of the last "mark" command.
ULONGLONG gMark = 0;

bool run(Pilot& pilot, const std::string& line)
{
    std::istringstream in(line);
    std::string command;
    in >> command;
    if (command.empty() || command[0] == '#') return true;
    if (command == "launch") return pilot.launch(fromUtf8(rest(in)));
    if (command == "attach") return pilot.attach();
    if (command == "page") {
        int page = -1;
        in >> page;
        return pilot.showPage(page);
    }
    if (command == "type") return pilot.typeHomepage(fromUtf8(rest(in)));
    if (command == "fields") {
        print("homepage: " + utf8(pilot.homepage()));
        print("save folder: " + utf8(pilot.saveFolder()));
        return true;
    }
    if (command == "press") return pilot.pressButton(fromUtf8(rest(in)));
    if (command == "select") {
        int index = -1;
        in >> index;
        return pilot.selectAlbum(index);
    }
    if (command == "menu") {
        int index = -1;
        in >> index;
        return pilot.albumMenu(index, fromUtf8(rest(in)));
    }
    if (command == "albums") {
        const auto rows = pilot.albums();
        for (size_t i = 0; i < rows.size(); ++i) print("album " + std::to_string(i) + ": " + utf8(rows[i]));
        return true;
    }
    if (command == "status") {
        print("status: " + utf8(pilot.status()));
        return true;
    }
    if (command == "wait-status" || command == "wait-status-prefix") {
        DWORD ms = 0;
        in >> ms;
        const std::wstring wanted = fromUtf8(rest(in));
        const bool prefix = command == "wait-status-prefix";
        std::vector<std::wstring> seen;
        const bool reached = pilot.waitStatus(
            [&](const std::wstring& now) { return prefix ? now.rfind(wanted, 0) == 0 : now == wanted; }, ms, &seen);
        for (const std::wstring& status : seen) print("seen: " + utf8(status));
        return reached;
    }
    if (command == "answer-box") {
        DWORD ms = 0;
        in >> ms;
        MessageBoxSeen box;
        if (!pilot.answerMessageBox(&box, ms)) return false;
        print("box: " + utf8(box.caption) + " | " + utf8(box.text));
        return true;
    }
    if (command == "screenshot") {
        const std::string path = rest(in);
        if (!pilot.screenshot(fromUtf8(path))) return false;
        print("screenshot: " + path);
        return true;
    }
    if (command == "watch") {
        DWORD ms = 0;
        in >> ms;
        const std::wstring prefix = fromUtf8(rest(in));
        long slowest = 0;
        int asked = 0;
        size_t peakPrivate = 0;
        const DWORD started = GetTickCount();
        const bool finished = pilot.waitStatus(
            [&](const std::wstring& now) {
                slowest = std::max(slowest, pilot.lastStatusAnswerMs());
                // The system keeps no peak of private bytes for another process here: sampled
                // every 20th look, about ten times a second.
                if (asked % 20 == 0) peakPrivate = std::max(peakPrivate, pilot.process().privateBytes());
                ++asked;
                return now.rfind(prefix, 0) == 0;
            },
            ms, nullptr, 5);
        const double seenAt = unixSecondsNow();
        char when[32];
        std::snprintf(when, sizeof when, "%.4f", seenAt);
        print("elapsed ms: " + std::to_string(GetTickCount() - started));
        print("final line at: " + std::string(when));
        print("slowest answer ms: " + std::to_string(slowest) + " (" + std::to_string(asked) + " asked)");
        print("cpu ms: " + std::to_string(static_cast<long long>(pilot.process().cpuMilliseconds())));
        print("peak memory bytes: " + std::to_string(pilot.process().peakMemory()));
        const size_t privateNow = pilot.process().privateBytes();
        print("private bytes: " + std::to_string(privateNow));
        print("peak private bytes: " + std::to_string(std::max(peakPrivate, privateNow)));
        return finished;
    }
    if (command == "memory") {
        print("private bytes: " + std::to_string(pilot.process().privateBytes()));
        print("peak memory bytes: " + std::to_string(pilot.process().peakMemory()));
        return true;
    }
    if (command == "start-time") {
        const std::wstring path = fromUtf8(rest(in));
        const long ms = millisecondsToWindow(path);
        if (ms < 0) return false;
        print("visible ms: " + std::to_string(ms));
        return true;
    }
    if (command == "mark") {
        gMark = GetTickCount64();
        return true;
    }
    if (command == "since-mark") {
        if (!gMark) return false;
        print("elapsed ms: " + std::to_string(GetTickCount64() - gMark));
        return true;
    }
    if (command == "close") {
        DWORD ms = 0;
        in >> ms;
        DWORD exitCode = 0;
        if (!pilot.close(ms, &exitCode)) return false;
        print("exit code: " + std::to_string(exitCode));
        return exitCode == 0;
    }
    print("unknown command: " + command);
    return false;
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        print("usage: piclade_pilot <script file>");
        return 2;
    }
    std::ifstream script(argv[1], std::ios::binary);
    if (!script) {
        print("cannot read the script");
        return 2;
    }
    Pilot pilot;
    std::string line;
    while (std::getline(script, line)) {
        if (!line.empty() && line.back() == '\r') line.pop_back();
        if (!run(pilot, line)) {
            print("FAILED: " + line);
            print("status: " + utf8(pilot.status()));
            // A program we started does not outlive a failed run.
            if (pilot.process().running() && !pilot.close(5000, nullptr)) TerminateProcess(pilot.process().handle(), 1);
            return 1;
        }
    }
    return 0;
}
