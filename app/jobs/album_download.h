// One album of a download, step by step: its folder and record readied, its photo list read page
// by page with each page's photos queued, and at its end the record folded and the row's state
// shown. A download of every album readies and lists the first page of the next album while the
// last pictures of the one before are still on their way.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/core/album_record.h"
#include "app/core/album_store.h"
#include "app/core/job_threads.h"
#include "app/core/photo_store.h"
#include "app/jobs/download_run.h"
#include "app/jobs/known_photos.h"

class AlbumNames;

// What one album's download came to.
struct AlbumOutcome {
    DownloadReport report;
    long downloaded = 0;   // pictures of the listing saved
    long queued = 0;       // pictures listed
    bool missing = false;  // no album at that position
    bool stopped = false;  // the job was replaced or the program is ending: nothing more to tell
};

class AlbumDownload {
public:
    // The album at its 1-based position in the list.
    AlbumDownload(const JobContext& job, DownloadRun& run, int position);
    ~AlbumDownload();
    AlbumDownload(const AlbumDownload&) = delete;
    AlbumDownload& operator=(const AlbumDownload&) = delete;

    // Whether the list has an album at that position.
    bool exists() const { return exists_; }
    // While the album before (in `previousFolder`) has its last pictures on their way: the folder
    // and the record readied and the first page listed into the photo store's staged album.
    // Nothing is told to the user or the run yet. False when the album must wait its turn: it is
    // not there, shares the previous one's folder, or its folder cannot be made.
    bool stage(const std::wstring& previousFolder);
    // The album becomes the download's current one: its folder, its journal, its staged photos and
    // its total, what staging did not do done now. False when the job stopped.
    [[nodiscard]] bool begin();
    // Reads the pages not read yet, queuing their photos. False when the job stopped.
    [[nodiscard]] bool listRest();
    // Once every picture has landed: the record folded and the row's state shown.
    AlbumOutcome finish();
    const std::wstring& folder() const { return albumFolder_; }

private:
    enum class Page { More, Last, Stopped };
    void prepare(bool tellUser);
    void readFirstPage();
    Page readPage();
    bool queue(PhotoRecord photo);
    void pageFailed();

    const JobContext& job_;
    DownloadRun& run_;
    int position_;
    AlbumRecord album_;
    bool exists_ = false;
    std::wstring ownerFolder_;
    std::wstring albumFolder_;
    bool inside_ = false;
    bool prepared_ = false;
    bool staged_ = false;   // its first photos wait in the photo store's staged album
    bool current_ = false;  // begun: the run and the window hear of it
    bool journalOpen_ = false;
    int pendingFailedPages_ = 0;  // pages that failed while staged
    KnownPhotos known_;
    std::string ownerId_;
    // The first page's total and how many pages are read; the next page to read.
    bool firstRead_ = false;
    int total_ = 0;
    int64_t pages_ = 0;
    int page_ = 1;
    bool listingDone_ = false;
    // Only while the listing is read: the names given so far.
    std::unique_ptr<AlbumNames> names_;
    // While the listing may still turn out to be the recorded one grown, its photos wait.
    bool compared_ = true;
    bool wholeListing_ = true;
    std::vector<PhotoRecord> waiting_;
    std::vector<std::string> listed_;
};
