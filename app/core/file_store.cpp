#include "app/core/file_store.h"

#include <windows.h>

#include "tasks/debug_trace.h"
#include "tasks/unique_handle.h"

namespace {

// CreateDirectoryW refuses paths of MAX_PATH - 12 units and more without the prefix; files stop
// at MAX_PATH.
constexpr size_t kLongPathFrom = MAX_PATH - 12;

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

// Set on the open handle after the write, so that neither the write nor the close moves it.
void setLastWriteTime(HANDLE file, int64_t secondsSince1970)
{
    constexpr int64_t kSecondsFrom1601To1970 = 11644473600;
    ULARGE_INTEGER ticks;
    ticks.QuadPart = static_cast<uint64_t>(secondsSince1970 + kSecondsFrom1601To1970) * 10000000u;
    const FILETIME time{ticks.LowPart, ticks.HighPart};
    SetFileTime(file, nullptr, nullptr, &time);
}

bool isHighSurrogate(wchar_t unit) { return unit >= 0xD800 && unit <= 0xDBFF; }

// Virus scanners, indexers and thumbnailers open a new file for a moment: a rename that meets one
// (sharing violation or access denied) is tried again every 100 ms for a second.
DWORD renameIntoPlace(const std::wstring& temporary, const std::wstring& target)
{
    constexpr int kTries = 11;
    for (int attempt = 1;; ++attempt) {
        if (MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) return ERROR_SUCCESS;
        const DWORD error = GetLastError();
        if ((error != ERROR_SHARING_VIOLATION && error != ERROR_ACCESS_DENIED) || attempt == kTries) return error;
        Sleep(100);
    }
}

// The absolute, normalised form of a path ("..", "." and "/" resolved); empty when the system
// cannot make one.
std::wstring fullPath(const std::wstring& path)
{
    const DWORD needed = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
    if (needed == 0) return {};
    std::wstring full(needed, L'\0');
    const DWORD length = GetFullPathNameW(path.c_str(), needed, full.data(), nullptr);
    if (length == 0 || length >= needed) return {};
    full.resize(length);
    return full;
}

} // namespace

std::wstring fileFunctionPath(std::wstring path)
{
    if (path.size() < kLongPathFrom || path.rfind(L"\\\\?\\", 0) == 0) return path;
    // The prefix turns off the system's own path clean-up: the path must be absolute and use
    // backslashes only.
    for (wchar_t& unit : path)
        if (unit == L'/') unit = L'\\';
    if (path.rfind(L"\\\\", 0) == 0) return L"\\\\?\\UNC\\" + path.substr(2);
    if (path.size() >= 3 && path[1] == L':' && path[2] == L'\\') return L"\\\\?\\" + path;
    return path;  // relative: left to the system, which resolves it within MAX_PATH
}

std::wstring temporaryPictureName(const std::wstring& name, unsigned long threadId)
{
    // "~" and the thread id in base 36, at least three digits: four units or more without a
    // ".", so it never ends the way a picture's name (with its extension) does.
    std::wstring marker;
    do {
        marker.insert(marker.begin(), L"0123456789abcdefghijklmnopqrstuvwxyz"[threadId % 36]);
        threadId /= 36;
    } while (threadId || marker.size() < 3);
    marker.insert(marker.begin(), L'~');
    if (name.size() <= marker.size()) return marker.substr(0, name.empty() ? marker.size() : name.size());
    size_t kept = name.size() - marker.size();
    if (isHighSurrogate(name[kept - 1])) --kept;  // never half a character
    return name.substr(0, kept) + marker;
}

// Guarded by FileStore.TemporaryNamesAreRecognisedAndPicturesNever.
bool isTemporaryPictureName(std::wstring_view name)
{
    const size_t marker = name.rfind(L'~');
    if (marker == std::wstring_view::npos || name.size() - marker - 1 < 3) return false;
    for (const wchar_t unit : name.substr(marker + 1))
        if (!((unit >= L'0' && unit <= L'9') || (unit >= L'a' && unit <= L'z'))) return false;
    return true;
}

bool fileStamp(const std::wstring& path, uint64_t& size, uint64_t& modified)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(fileFunctionPath(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    modified = (static_cast<uint64_t>(data.ftLastWriteTime.dwHighDateTime) << 32) | data.ftLastWriteTime.dwLowDateTime;
    return true;
}

// Guarded by FileStore.PathsInsideTheSaveFolder.
bool isPathInside(std::wstring_view path, std::wstring_view folder)
{
    std::wstring inner = fullPath(std::wstring(path));
    std::wstring outer = fullPath(std::wstring(folder));
    if (inner.empty() || outer.empty()) return false;
    if (outer.back() != L'\\') outer += L'\\';
    if (inner.back() != L'\\') inner += L'\\';
    // Below the folder, not the folder itself; compared as Windows compares names.
    return inner.size() > outer.size() &&
           CompareStringOrdinal(inner.c_str(), static_cast<int>(outer.size()), outer.c_str(), static_cast<int>(outer.size()), TRUE) == CSTR_EQUAL;
}

bool ensureFolder(std::wstring_view path)
{
    const std::wstring wide = fileFunctionPath(std::wstring(path));
    if (isDirectory(wide)) return true;
    return CreateDirectoryW(wide.c_str(), nullptr) || isDirectory(wide);
}

bool isDiskFull(const std::wstring& folder)
{
    ULARGE_INTEGER available{};
    if (!GetDiskFreeSpaceExW(folder.c_str(), &available, nullptr, nullptr)) return false;
    return available.QuadPart < 4096;
}

// Guarded by EndToEndPromises.PicturesTakeTheirFinalNameOnlyWhenComplete and the FileStore tests.
unsigned long writePictureFile(std::wstring_view folder, std::wstring_view name, std::string_view bytes,
                               std::optional<int64_t> modifiedTime,
                               const std::function<void(uint64_t bytes, uint64_t modified)>& beforeRename)
{
    const std::wstring wideFolder(folder);
    const std::wstring wideName(name);
    const std::wstring target = fileFunctionPath(wideFolder + wideName);
    const std::wstring temporary = fileFunctionPath(wideFolder + temporaryPictureName(wideName, GetCurrentThreadId()));
    UniqueFile file(CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr));
    if (!file) return GetLastError();
    DWORD written = 0;
    DWORD error = ERROR_SUCCESS;
    if (!WriteFile(file.get(), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) error = GetLastError();
    // A write that took fewer bytes than it was given ran out of room, whatever the last error says.
    // Guarded by FileStore.AShortWriteOnAFullDiskIsAFailureAndLeavesNothing.
    else if (written != bytes.size()) error = ERROR_DISK_FULL;
    if (error == ERROR_SUCCESS && modifiedTime) setLastWriteTime(file.get(), *modifiedTime);
    if (!file.close() && error == ERROR_SUCCESS) error = GetLastError();
    uint64_t size = 0, modified = 0;
    if (error == ERROR_SUCCESS && beforeRename && fileStamp(temporary, size, modified)) beforeRename(size, modified);
    if (error == ERROR_SUCCESS) error = renameIntoPlace(temporary, target);
    if (error != ERROR_SUCCESS) {
        traceFailure(L"Writing a picture", error);
        DeleteFileW(temporary.c_str());
        return error ? error : ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}
