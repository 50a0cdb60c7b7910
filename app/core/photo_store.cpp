#include "app/core/photo_store.h"

#include "app/core/app_state.h"

void PhotoStore::beginDownload()
{
    Locked hold(lock_);
    resetLocked();
}

void PhotoStore::resetLocked()
{
    photos_.clear();
    folder_.clear();
    state_.downloadedCount = 0;
    state_.nextPhotoIndex = 0;
    state_.queuedCount = 0;
}

bool PhotoStore::beginAlbum(const JobContext& job)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    resetLocked();
    return true;
}

void PhotoStore::clear()
{
    Locked hold(lock_);
    photos_.clear();
}

bool PhotoStore::setFolder(const JobContext& job, const std::wstring& folder)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    folder_ = folder;
    return true;
}

bool PhotoStore::append(const JobContext& job, PhotoRecord photo)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    ++state_.queuedCount;
    photos_.push_back(std::move(photo));
    return true;
}

bool PhotoStore::take(long generation, PhotoRecord& photo, std::wstring& folder)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return false;
    const long number = ++state_.nextPhotoIndex;
    if (number < 1 || static_cast<size_t>(number) > photos_.size()) return false;
    // Each number is taken once: the task gets the record's strings, the store keeps an empty one.
    photo = std::move(photos_[static_cast<size_t>(number - 1)]);
    folder = folder_;
    return true;
}

long PhotoStore::countWritten(long generation)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return -1;
    return ++state_.downloadedCount;
}
