#include "app/albums.h"

#include "app/runtime.h"

namespace {

AlbumStore& store() { return runtime().albums; }

} // namespace

void clearAlbums()
{
    Locked hold(store().lock);
    store().albums.clear();
}

bool appendAlbum(const JobContext& job, const AlbumRecord& album)
{
    // Checked under the lock: a replaced analysis never adds to the list its successor cleared.
    Locked hold(store().lock);
    if (job.stopping()) return false;
    store().albums.push_back(album);
    return true;
}

std::vector<AlbumRecord> albumsSnapshot()
{
    Locked hold(store().lock);
    return store().albums;
}

bool albumAt(int position, AlbumRecord& album)
{
    Locked hold(store().lock);
    const bool found = position >= 1 && position <= static_cast<int>(store().albums.size());
    if (found) album = store().albums[static_cast<size_t>(position - 1)];
    return found;
}
