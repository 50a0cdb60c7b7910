// The albums of the homepage analysed last, in list order, shared by the analysis and download
// jobs (each access copies under the store's lock).
#pragma once

#include <string>
#include <vector>

#include "app/core/job_threads.h"
#include "tasks/critical_section.h"

struct AlbumRecord {
    std::string albumId;
    std::wstring caption;
    int photoCount = 0;
    std::string coverUrl;
    std::string albumIdInAddress;  // as the service gave it, for its photo list's address
};

class AlbumStore {
public:
    void clear();
    // Adds the album unless `job` has been replaced; false when it was.
    bool append(const JobContext& job, const AlbumRecord& album);
    std::vector<AlbumRecord> snapshot() const;
    // The album at a 1-based list position; false when there is none.
    bool at(int position, AlbumRecord& album) const;

private:
    mutable CriticalSection lock_;
    std::vector<AlbumRecord> albums_;
};
