// The albums of the homepage analysed last, in list order, shared by the analysis and download
// jobs (each access copies under a lock).
#pragma once

#include <string>
#include <vector>

#include "app/jobs.h"
#include "tasks/critical_section.h"

struct AlbumRecord {
    std::string albumId;
    std::string caption;
    int photoCount = 0;
    std::string coverUrl;
    std::string albumIdInAddress;  // as the service gave it, for its photo list's address
};

struct AlbumStore {
    CriticalSection lock;
    std::vector<AlbumRecord> albums;
};

void clearAlbums();
// Adds the album unless `job` has been replaced; false when it was.
bool appendAlbum(const JobContext& job, const AlbumRecord& album);
std::vector<AlbumRecord> albumsSnapshot();
// The album at a 1-based list position; false when there is none.
bool albumAt(int position, AlbumRecord& album);
