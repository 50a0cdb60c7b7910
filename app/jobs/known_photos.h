// What an album's record says before it is listed again: which photos are saved as they are on
// disk, and whether the new listing begins as the recorded one did (the service lists newest
// first, so an album that only gained photos shows them before the recorded ones).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "app/core/album_record.h"

class KnownPhotos {
public:
    KnownPhotos() = default;
    KnownPhotos(std::optional<AlbumLedger> ledger, std::wstring albumFolder, std::string sizePath);

    // The recorded photo of that name, or null.
    const SavedPhoto* find(const std::string& picName) const;
    // Whether the photo was saved at this download's size and its file is still as saved.
    bool isSaved(const SavedPhoto& photo) const;
    // Whether the record holds a whole listing to compare a new one with, every name in it one the
    // program could have made.
    bool hasListing() const;
    const std::vector<SavedPhoto>& photos() const;

    enum class Overlap {
        Unknown,  // not listed far enough yet to tell
        Matched,  // the listing is `newCount` new photos, then the recorded ones
        Differs,  // the listing is not the recorded one grown: it is read in full
    };
    // Compares what is listed so far (picture names in list order) with the record, given the
    // total of the new listing's first page.
    Overlap compare(const std::vector<std::string>& listed, int64_t total, size_t* newCount) const;

private:
    std::optional<AlbumLedger> ledger_;
    std::wstring folder_;
    std::string sizePath_;
    std::map<std::string, size_t> byName_;
    bool namesSound_ = true;  // every recorded file name is one the program makes
};
