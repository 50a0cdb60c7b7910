#include "app/jobs/known_photos.h"

#include <algorithm>

#include "app/core/file_naming.h"

KnownPhotos::KnownPhotos(std::optional<AlbumLedger> ledger, std::wstring albumFolder, std::string sizePath)
    : ledger_(std::move(ledger)), folder_(std::move(albumFolder)), sizePath_(std::move(sizePath))
{
    if (!ledger_) return;
    for (size_t i = 0; i < ledger_->photos.size(); ++i) {
        byName_.emplace(ledger_->photos[i].picName, i);
        // A name the program could not have made: the record's listing is not taken as it is.
        if (!isPictureFileName(ledger_->photos[i].fileName)) namesSound_ = false;
    }
}

const SavedPhoto* KnownPhotos::find(const std::string& picName) const
{
    const auto found = byName_.find(picName);
    return found == byName_.end() ? nullptr : &ledger_->photos[found->second];
}

bool KnownPhotos::isSaved(const SavedPhoto& photo) const
{
    return photo.bytes > 0 && photo.sizePath == sizePath_ && isStillAsSaved(folder_, photo);
}

// A record folded from a listing that was not read whole carries total 0.
bool KnownPhotos::hasListing() const { return ledger_ && namesSound_ && ledger_->total > 0 && !ledger_->photos.empty(); }

const std::vector<SavedPhoto>& KnownPhotos::photos() const
{
    static const std::vector<SavedPhoto> none;
    return ledger_ ? ledger_->photos : none;
}

// Guarded by KnownPhotos.* and EndToEndRecord.AGrownAlbumFetchesOnlyItsNewPhotos.
KnownPhotos::Overlap KnownPhotos::compare(const std::vector<std::string>& listed, int64_t total, size_t* newCount) const
{
    if (!hasListing() || total < ledger_->total) return Overlap::Differs;
    const auto added = static_cast<size_t>(total - ledger_->total);
    if (listed.size() <= added) return Overlap::Unknown;
    // Everything listed after the new photos must be the record's first photos, in its order.
    const size_t compared = std::min(listed.size() - added, ledger_->photos.size());
    for (size_t i = 0; i < compared; ++i)
        if (listed[added + i] != ledger_->photos[i].picName) return Overlap::Differs;
    // Listed beyond the record's end: the album is not the recorded one grown.
    if (listed.size() - added > ledger_->photos.size()) return Overlap::Differs;
    *newCount = added;
    return Overlap::Matched;
}
