// The download job: an album's photo list page by page, one pool task per photo, each picture
// fetched in the chosen size and written into the album's folder.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "app/core/job_threads.h"
#include "app/core/photo_store.h"
#include "app/jobs/download_run.h"

enum class FetchResult;

// The picture's bytes, asked for as from the main site's pages, with up to two more tries (1 s,
// then 2 s later) and the job's rate-limit waits; fetched only with a 2xx answer holding every
// byte it announced, and at least one.
FetchResult fetchPicture(DownloadRun& run, std::string_view address, std::string& bytes);
// One picture of the download `generation`; a task of a replaced download does nothing.
void downloadTask(intptr_t generation, intptr_t);

// What one album's download came to.
struct AlbumOutcome {
    DownloadReport report;
    long downloaded = 0;   // pictures of the listing saved
    long queued = 0;       // pictures listed
    bool missing = false;  // no album at that position
    bool stopped = false;  // the job was replaced or the program is ending: nothing more to tell
};

// One album, at its 1-based position in the list: listed, queued, and waited for until its last
// picture landed; its row shows how it ended.
AlbumOutcome downloadAlbum(const JobContext& job, DownloadRun& run, int position);

// The download job; its argument is the album's 1-based position in the list.
void albumJob(const JobContext& job);
// Every listed album, one after another, in list order, ending with one line for them all.
void accountJob(const JobContext& job);
