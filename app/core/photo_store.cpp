#include "app/core/photo_store.h"

#include "app/core/app_state.h"

#include <utility>

void PhotoStore::beginDownload()
{
    Locked hold(lock_);
    resetLocked();
    staged_ = {};
    WakeAllConditionVariable(&albumChanged_);
}

void PhotoStore::resetLocked()
{
    photos_.clear();
    folder_.clear();
    state_.downloadedCount = 0;
    state_.nextPhotoIndex = 0;
    state_.queuedCount = 0;
    album_ = ++lastAlbum_;
    busy_ = 0;
}

bool PhotoStore::beginAlbum(const JobContext& job)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    resetLocked();
    return true;
}

bool PhotoStore::beginStagedAlbum(const JobContext& job)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    if (!staged_.album || staged_.generation != job.generation()) return true;
    photos_ = std::move(staged_.photos);
    folder_ = std::move(staged_.folder);
    state_.queuedCount = static_cast<long>(photos_.size());
    state_.nextPhotoIndex = static_cast<long>(staged_.taken);
    album_ = staged_.album;
    busy_ = staged_.busy;
    staged_ = {};
    WakeAllConditionVariable(&albumChanged_);
    return true;
}

bool PhotoStore::stageAlbum(const JobContext& job, const std::wstring& folder)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    staged_ = {};
    staged_.album = ++lastAlbum_;
    staged_.generation = job.generation();
    staged_.folder = folder;
    return true;
}

void PhotoStore::dropStagedAlbum(const JobContext& job)
{
    Locked hold(lock_);
    // A replaced run that ends late leaves its successor's staged album alone.
    if (staged_.generation != job.generation()) return;
    staged_ = {};
    WakeAllConditionVariable(&albumChanged_);
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
    if (staged_.album) {
        staged_.photos.push_back(std::move(photo));
        return true;
    }
    ++state_.queuedCount;
    photos_.push_back(std::move(photo));
    return true;
}

bool PhotoStore::take(long generation, PhotoRecord& photo, std::wstring& folder, uint64_t& album)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return false;
    if (static_cast<size_t>(state_.nextPhotoIndex) < photos_.size()) {
        photo = photos_[static_cast<size_t>(state_.nextPhotoIndex++)];
        folder = folder_;
        album = album_;
        ++busy_;
        return true;
    }
    if (staged_.album && staged_.taken < staged_.photos.size()) {
        photo = staged_.photos[staged_.taken++];
        folder = staged_.folder;
        album = staged_.album;
        ++staged_.busy;
        return true;
    }
    return false;
}

void PhotoStore::finished(uint64_t album)
{
    Locked hold(lock_);
    if (album == album_) --busy_;
    else if (album == staged_.album) --staged_.busy;
}

bool PhotoStore::isCurrentAlbum(uint64_t album)
{
    Locked hold(lock_);
    return album == album_;
}

bool PhotoStore::albumDone()
{
    Locked hold(lock_);
    return static_cast<size_t>(state_.nextPhotoIndex) >= photos_.size() && busy_ == 0;
}

bool PhotoStore::waitForAlbum(long generation, uint64_t album)
{
    Locked hold(lock_);
    while (isCurrentJob(DownloadJob, generation)) {
        if (album == album_) return true;
        if (album != staged_.album) return false;
        // Woken when the album begins or is dropped; a stopped job is seen within 100 ms.
        lock_.sleep(albumChanged_, 100);
    }
    return false;
}

std::deque<PhotoRecord> PhotoStore::handOverList(const JobContext& job)
{
    Locked hold(lock_);
    if (job.stopping()) return {};
    return std::exchange(photos_, {});
}

long PhotoStore::countWritten(long generation)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return -1;
    return ++state_.downloadedCount;
}
