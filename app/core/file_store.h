// Folders and picture files on disk. Paths are UTF-16 throughout and reach only the W functions,
// so any folder and any name works on every Windows locale.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

// The form of an absolute path that the file functions take at any length: from MAX_PATH - 12
// units on (the folder-creation limit) a drive path becomes "\\?\D:\..." and a network path
// "\\?\UNC\server\share\...", with any "/" turned into "\"; shorter paths stay as they are. Only
// for the file functions: the shell's calls keep the ordinary form.
std::wstring fileFunctionPath(std::wstring path);

// Whether `path`, made absolute and normalised, lies below `folder` (also normalised).
[[nodiscard]] bool isPathInside(std::wstring_view path, std::wstring_view folder);

// Creates the last level of the path when it is not a directory yet; true when it is one now.
[[nodiscard]] bool ensureFolder(std::wstring_view path);
// Whether the disk holding the folder has no room left for a file's first cluster (a disk that
// cannot be asked counts as having room).
[[nodiscard]] bool isDiskFull(const std::wstring& folder);

// Writes the bytes to a temporary file in the folder and renames it over `name` only when every
// byte is written, so no partial picture ever carries a final name. The temporary name is no
// longer than `name` (a name that fits the folder fits while it is written), unique per writer
// thread, and never a picture's name. 0 on success, else the Windows error code (the temporary
// file is removed; a short write is ERROR_DISK_FULL). With `modifiedTime` (seconds since 1970, UTC) the file's last-write time is
// that moment instead of now.
// `beforeRename` sees the complete temporary file's length and last-write time, which the picture
// keeps under its final name, just before the rename: what it notes of the picture is noted before
// the picture can be seen complete, so a kill between the two never leaves a complete picture
// unnoted.
[[nodiscard]] unsigned long writePictureFile(std::wstring_view folder, std::wstring_view name, std::string_view bytes,
                                             std::optional<int64_t> modifiedTime = std::nullopt,
                                             const std::function<void(uint64_t bytes, uint64_t modified)>& beforeRename = {});

// The temporary name used while `name` is written by the thread `threadId`.
std::wstring temporaryPictureName(const std::wstring& name, unsigned long threadId);

// Whether a file name is one temporaryPictureName gives for a picture's name: it ends in "~" and
// three or more lowercase base-36 digits. A picture's name never does (it ends in its picture
// ending), nor does an album's record or journal.
[[nodiscard]] bool isTemporaryPictureName(std::wstring_view name);

// The size and last-write time (a FILETIME value) of a file, at any path length; false for a
// folder or a file that is not there.
[[nodiscard]] bool fileStamp(const std::wstring& path, uint64_t& size, uint64_t& modified);
