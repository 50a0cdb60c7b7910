#include "app/file_store.h"

#include <windows.h>

#include "text/encoding.h"

namespace {

bool isDirectory(const std::wstring& path)
{
    const DWORD attributes = GetFileAttributesW(path.c_str());
    return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY);
}

} // namespace

bool ensureFolder(std::string_view path)
{
    const std::wstring wide = toUtf16(path);
    if (isDirectory(wide)) return true;
    return CreateDirectoryW(wide.c_str(), nullptr) || isDirectory(wide);
}

// Guarded by EndToEndPromises.PicturesTakeTheirFinalNameOnlyWhenComplete and the FileStore tests.
unsigned long writePictureFile(std::string_view folder, std::string_view name, std::string_view bytes)
{
    const std::wstring target = toUtf16(folder) + toUtf16(name);
    // Unique per writer thread, and never a name a picture could have.
    const std::wstring temporary = target + L"." + std::to_wstring(GetCurrentThreadId()) + L".part";
    HANDLE file = CreateFileW(temporary.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_ARCHIVE, nullptr);
    if (file == INVALID_HANDLE_VALUE) return GetLastError();
    DWORD written = 0;
    const bool complete = WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr) && written == bytes.size();
    DWORD error = complete ? ERROR_SUCCESS : GetLastError();
    if (!CloseHandle(file) && complete) error = GetLastError();
    if (error == ERROR_SUCCESS && !MoveFileExW(temporary.c_str(), target.c_str(), MOVEFILE_REPLACE_EXISTING)) error = GetLastError();
    if (error != ERROR_SUCCESS) {
        DeleteFileW(temporary.c_str());
        return error ? error : ERROR_WRITE_FAULT;
    }
    return ERROR_SUCCESS;
}
