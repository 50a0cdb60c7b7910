#include "app/core/written_pictures.h"

#include <windows.h>

#include "app/core/file_store.h"

// Guarded by WrittenPictures.OnlyFilesStillThereAtTheSameSizeCount.
void WrittenPictures::remember(std::wstring_view folder, std::wstring_view name, std::string_view sizePath, uint64_t bytes)
{
    std::wstring path(folder);
    path += name;
    uint64_t size = 0, modified = 0;
    if (!fileStamp(path, size, modified) || size != bytes) return;  // not as written: nothing to skip later
    Locked hold(lock_);
    auto folderAt = written_.find(folder);
    if (folderAt == written_.end()) folderAt = written_.emplace(std::wstring(folder), std::map<std::wstring, Written, std::less<>>{}).first;
    folderAt->second.insert_or_assign(std::wstring(name), Written{std::string(sizePath), bytes, modified});
}

bool WrittenPictures::haveAlready(std::wstring_view folder, std::wstring_view name, std::string_view sizePath) const
{
    std::wstring path(folder);
    path += name;
    Written found;
    {
        Locked hold(lock_);
        const auto folderAt = written_.find(folder);
        if (folderAt == written_.end()) return false;
        const auto at = folderAt->second.find(name);
        if (at == folderAt->second.end()) return false;
        found = at->second;
    }
    // Another program may have replaced the file since, even with one of the same size.
    uint64_t size = 0, modified = 0;
    return found.sizePath == sizePath && fileStamp(path, size, modified) && size == found.bytes && modified == found.modified;
}
