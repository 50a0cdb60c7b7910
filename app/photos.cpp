#include "app/photos.h"

#include "app/app_state.h"

void PhotoStore::beginDownload()
{
    AppState& state = appState();
    Locked hold(lock_);
    photos_.clear();
    folder_.clear();
    InterlockedExchange(&state.downloadedCount, 0);
    InterlockedExchange(&state.nextPhotoIndex, 0);
    InterlockedExchange(&state.queuedCount, 0);
}

void PhotoStore::clear()
{
    Locked hold(lock_);
    photos_.clear();
}

bool PhotoStore::setFolder(const JobContext& job, const std::string& folder)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    folder_ = folder;
    return true;
}

bool PhotoStore::append(const JobContext& job, const PhotoRecord& photo)
{
    Locked hold(lock_);
    if (job.stopping()) return false;
    InterlockedIncrement(&appState().queuedCount);
    photos_.push_back(photo);
    return true;
}

bool PhotoStore::take(long generation, PhotoRecord& photo, std::string& folder)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return false;
    const LONG number = InterlockedIncrement(&appState().nextPhotoIndex);
    if (number < 1 || static_cast<size_t>(number) > photos_.size()) return false;
    photo = photos_[static_cast<size_t>(number - 1)];
    folder = folder_;
    return true;
}

long PhotoStore::countWritten(long generation)
{
    Locked hold(lock_);
    if (!isCurrentJob(DownloadJob, generation)) return -1;
    return InterlockedIncrement(&appState().downloadedCount);
}
