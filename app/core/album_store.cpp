#include "app/core/album_store.h"

void AlbumStore::clear()
{
    Locked hold(lock_);
    albums_.clear();
}

bool AlbumStore::append(const JobContext& job, const AlbumRecord& album)
{
    // Checked under the lock: a replaced analysis never adds to the list its successor cleared.
    Locked hold(lock_);
    if (job.stopping()) return false;
    albums_.push_back(album);
    return true;
}

std::vector<AlbumRecord> AlbumStore::snapshot() const
{
    Locked hold(lock_);
    return albums_;
}

bool AlbumStore::at(int position, AlbumRecord& album) const
{
    Locked hold(lock_);
    const bool found = position >= 1 && position <= static_cast<int>(albums_.size());
    if (found) album = albums_[static_cast<size_t>(position - 1)];
    return found;
}
