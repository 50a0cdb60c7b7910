#include "app/albums.h"

#include <windows.h>

namespace {

struct AlbumStore {
    AlbumStore() { InitializeCriticalSection(&lock); }
    CRITICAL_SECTION lock;
    std::vector<AlbumRecord> albums;
};

AlbumStore& store()
{
    static AlbumStore albums;
    return albums;
}

} // namespace

void clearAlbums()
{
    EnterCriticalSection(&store().lock);
    store().albums.clear();
    LeaveCriticalSection(&store().lock);
}

void appendAlbum(const AlbumRecord& album)
{
    EnterCriticalSection(&store().lock);
    store().albums.push_back(album);
    LeaveCriticalSection(&store().lock);
}

std::vector<AlbumRecord> albumsSnapshot()
{
    EnterCriticalSection(&store().lock);
    std::vector<AlbumRecord> copy = store().albums;
    LeaveCriticalSection(&store().lock);
    return copy;
}

bool albumAt(int position, AlbumRecord& album)
{
    EnterCriticalSection(&store().lock);
    const bool found = position >= 1 && position <= static_cast<int>(store().albums.size());
    if (found) album = store().albums[static_cast<size_t>(position - 1)];
    LeaveCriticalSection(&store().lock);
    return found;
}
