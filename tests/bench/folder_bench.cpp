// What saving a file costs the system itself as its folder fills: the processor time one file
// takes (written under a temporary name and renamed into place, as the program saves a picture)
// when 20,000 are saved into one folder, against 500. The program's own growth,
// scale_20k_cpu_per_picture_ratio, is to be read beside it: a system that looks through the
// folder for every new name makes each file dearer as the folder fills, whoever writes it.
//   folder_bench <scratch folder>
#include "bench_util.h"

#include <string>
#include <vector>

namespace {

double processorSeconds()
{
    FILETIME created, exited, kernel, user;
    GetProcessTimes(GetCurrentProcess(), &created, &exited, &kernel, &user);
    auto seconds = [](const FILETIME& time) {
        return static_cast<double>((static_cast<uint64_t>(time.dwHighDateTime) << 32) | time.dwLowDateTime) / 1e7;
    };
    return seconds(kernel) + seconds(user);
}

// The i-th file's name, as the program names a picture.
std::wstring fileName(const std::wstring& folder, int i) { return folder + L"\\20170902_" + std::to_wstring(100000 + i) + L".jpg"; }

// Saves `count` files of a picture's size into a new folder; the processor seconds per file, or
// a negative number when a file could not be saved.
double secondsPerFile(const std::wstring& folder, int count)
{
    if (!CreateDirectoryW(folder.c_str(), nullptr)) return -1;
    const std::string bytes(60000, 'x');
    const double start = processorSeconds();
    for (int i = 0; i < count; ++i) {
        const std::wstring name = fileName(folder, i);
        const std::wstring temporary = name + L"~001";
        const HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
        if (file == INVALID_HANDLE_VALUE) return -1;
        DWORD written = 0;
        const bool wrote = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) &&
                           written == bytes.size();
        const bool closed = CloseHandle(file);
        if (!wrote || !closed || !MoveFileExW(temporary.c_str(), name.c_str(), MOVEFILE_REPLACE_EXISTING)) {
            DeleteFileW(temporary.c_str());
            return -1;
        }
    }
    return (processorSeconds() - start) / count;
}

void removeFolder(const std::wstring& folder, int count)
{
    for (int i = 0; i < count; ++i) DeleteFileW(fileName(folder, i).c_str());
    RemoveDirectoryW(folder.c_str());
}

} // namespace

int wmain(int argc, wchar_t** argv)
{
    if (argc != 2) {
        std::printf("usage: folder_bench <scratch folder>\n");
        return 2;
    }
    const std::wstring scratch = argv[1];
    constexpr int kRounds = 3;
    std::vector<double> small, big, ratios;
    for (int round = 0; round < kRounds; ++round) {
        const std::wstring smallFolder = scratch + L"\\small-" + std::to_wstring(round);
        const std::wstring bigFolder = scratch + L"\\big-" + std::to_wstring(round);
        const double perSmall = secondsPerFile(smallFolder, 500);
        removeFolder(smallFolder, 500);
        const double perBig = perSmall > 0 ? secondsPerFile(bigFolder, 20000) : -1;
        removeFolder(bigFolder, 20000);
        if (perSmall <= 0 || perBig <= 0) {
            std::printf("folder_bench: a file could not be saved\n");
            return 1;
        }
        small.push_back(perSmall * 1000);
        big.push_back(perBig * 1000);
        ratios.push_back(perBig / perSmall);
    }
    reportSpread("system_file_save_cpu_ms_at_500", small, "ms");
    reportSpread("system_file_save_cpu_ms_at_20k", big, "ms");
    reportSpread("system_file_save_cpu_ratio_20k_to_500", ratios, "ratio");
    return 0;
}
