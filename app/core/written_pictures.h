// The pictures this run of the program wrote, so that downloading an album again at the same
// size fetches only what is missing. Held in memory only: a new start of the program fetches
// everything again.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <string_view>

#include "tasks/critical_section.h"

class WrittenPictures {
public:
    WrittenPictures() = default;
    WrittenPictures(const WrittenPictures&) = delete;
    WrittenPictures& operator=(const WrittenPictures&) = delete;

    void remember(std::wstring_view folder, std::wstring_view name, std::string_view sizePath, uint64_t bytes);
    // True when the file was written by this run at this size and is still there as it was
    // written: the same length and last-write time. File names do not carry the size: another size always fetches again.
    [[nodiscard]] bool haveAlready(std::wstring_view folder, std::wstring_view name, std::string_view sizePath) const;

private:
    struct Written {
        std::string sizePath;
        uint64_t bytes = 0;
        uint64_t modified = 0;  // the file's last-write time when it was written
    };
    mutable CriticalSection lock_;
    // By folder, then by name: a whole account's pictures keep each folder's path once.
    std::map<std::wstring, std::map<std::wstring, Written, std::less<>>, std::less<>> written_;
};

