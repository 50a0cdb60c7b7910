// Reading a 64 MB body from the local emulator with HttpClient and with a bare loop of WinHTTP
// calls, and the peak memory of HttpClient's read.
#include "bench_util.h"
#include "net/http_client.h"

#include <cstdlib>
#include <psapi.h>
#include <string>
#include <winhttp.h>

namespace {

constexpr size_t kBodyBytes = 64u * 1024 * 1024;

size_t workingSet(bool peak)
{
    PROCESS_MEMORY_COUNTERS counters{};
    counters.cb = sizeof counters;
    GetProcessMemoryInfo(GetCurrentProcess(), &counters, sizeof counters);
    return peak ? counters.PeakWorkingSetSize : counters.WorkingSetSize;
}

size_t readWithClient(int port)
{
    HttpClient client;
    // A failed exchange reads as 0 bytes, which the benchmark reports.
    static_cast<void>(client.open("GET", "http://127.0.0.1:" + std::to_string(port) + "/blob?size=" + std::to_string(kBodyBytes)) &&
                      client.send());
    return client.responseView().size();
}

size_t readBare(int port, char* buffer)
{
    HINTERNET session = WinHttpOpen(L"bench", WINHTTP_ACCESS_TYPE_NO_PROXY, nullptr, nullptr, 0);
    HINTERNET connection = WinHttpConnect(session, L"127.0.0.1", static_cast<INTERNET_PORT>(port), 0);
    const std::wstring object = L"/blob?size=" + std::to_wstring(kBodyBytes);
    HINTERNET request = WinHttpOpenRequest(connection, L"GET", object.c_str(), nullptr, nullptr, nullptr, 0);
    size_t read = 0;
    if (WinHttpSendRequest(request, nullptr, 0, nullptr, 0, 0, 0) && WinHttpReceiveResponse(request, nullptr)) {
        DWORD got = 0;
        while (read < kBodyBytes && WinHttpReadData(request, buffer + read, static_cast<DWORD>(kBodyBytes - read), &got) && got)
            read += got;
    }
    WinHttpCloseHandle(request);
    WinHttpCloseHandle(connection);
    WinHttpCloseHandle(session);
    return read;
}

} // namespace

int main(int argc, char** argv)
{
    const int port = argc > 1 ? std::atoi(argv[1]) : 47089;
    const double megabytes = kBodyBytes / 1e6;

    const size_t before = workingSet(false);
    if (readWithClient(port) != kBodyBytes) std::printf("short read\n");
    const size_t peak = workingSet(true) - before;

    char* buffer = static_cast<char*>(VirtualAlloc(nullptr, kBodyBytes, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE));
    const Rounds rounds = interleaved(5, [&] { readWithClient(port); }, [&] { readBare(port, buffer); }, 0.0);
    VirtualFree(buffer, 0, MEM_RELEASE);

    reportSpread("http_read_64mb_piclade", ratesOf(megabytes, rounds.ours), "MB/s");
    reportSpread("http_read_64mb_bare_winhttp", ratesOf(megabytes, rounds.theirs), "MB/s");
    // Above 1: the program's client reads faster than the bare loop.
    reportSpread("http_read_64mb_ratio", rounds.ratios, "x");
    report("http_read_64mb_peak_memory", peak / 1e6, "MB");
    return 0;
}
