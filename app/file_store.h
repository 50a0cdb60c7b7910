// Folders and picture files on disk. Paths are program text, converted to UTF-16 for the W
// functions, so Chinese names work on every Windows locale.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// Creates the last level of the path when it is not a directory yet; true when it is one now.
bool ensureFolder(std::string_view path);

// Writes the bytes to a temporary file in the folder and renames it over `name` only when every
// byte is written, so no partial picture ever carries a final name. 0 on success, else the
// Windows error code (the temporary file is removed). With `modifiedTime` (seconds since 1970,
// UTC) the file's last-write time is that moment instead of now.
unsigned long writePictureFile(std::string_view folder, std::string_view name, std::string_view bytes,
                               std::optional<int64_t> modifiedTime = std::nullopt);
