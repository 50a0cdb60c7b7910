#include "app/written_pictures.h"

#include <windows.h>

#include "text/encoding.h"

namespace {

bool fileHasSize(const std::string& path, uint64_t bytes)
{
    WIN32_FILE_ATTRIBUTE_DATA data{};
    if (!GetFileAttributesExW(toUtf16(path).c_str(), GetFileExInfoStandard, &data)) return false;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) return false;
    const uint64_t size = (static_cast<uint64_t>(data.nFileSizeHigh) << 32) | data.nFileSizeLow;
    return size == bytes;
}

} // namespace

void WrittenPictures::remember(std::string_view folder, std::string_view name, std::string_view sizePath, uint64_t bytes)
{
    std::string path(folder);
    path += name;
    Locked hold(lock_);
    written_[path] = Written{std::string(sizePath), bytes};
}

bool WrittenPictures::haveAlready(std::string_view folder, std::string_view name, std::string_view sizePath) const
{
    std::string path(folder);
    path += name;
    Written found;
    {
        Locked hold(lock_);
        const auto at = written_.find(path);
        if (at == written_.end()) return false;
        found = at->second;
    }
    return found.sizePath == sizePath && fileHasSize(path, found.bytes);
}

WrittenPictures& writtenPictures()
{
    static WrittenPictures pictures;
    return pictures;
}
