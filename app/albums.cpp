#include "app/albums.h"

#include "tasks/critical_section.h"

namespace {

struct AlbumStore {
    CriticalSection lock;
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
    Locked hold(store().lock);
    store().albums.clear();
}

void appendAlbum(const AlbumRecord& album)
{
    Locked hold(store().lock);
    store().albums.push_back(album);
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
