// The photos of the running download, in queue order, with the job's counters. Every step that
// must agree with the job it belongs to happens under one lock together with the check that the
// job is still the current download: a task of a replaced job can neither take a photo number of
// its successor, nor count a picture in it, nor add a photo to it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>

#include "app/core/job_threads.h"
#include "tasks/critical_section.h"

struct AppState;

struct PhotoRecord {
    std::wstring captionRender;
    std::string picHost;
    int64_t timestamp = 0;
    std::wstring fileName;  // its name in the album folder, decided when it is queued
    std::string picNameInAddress;  // as the service gave it, for the picture's address
    // On disk as an earlier download saved it at `savedSizePath`: counted, not fetched, unless the
    // size has changed since it was queued.
    bool alreadySaved = false;
    std::string savedSizePath;
};

class PhotoStore {
public:
    // The counters of the state are the download's: queued, taken and written pictures.
    explicit PhotoStore(AppState& state) : state_(state) {}
    PhotoStore(const PhotoStore&) = delete;
    PhotoStore& operator=(const PhotoStore&) = delete;

    // A new download begins (its generation already current): no photos, counters at 0.
    void beginDownload();
    // The next album of a running download of every album: no photos, counters at 0 (a staged
    // album stays staged); false (nothing done) once `job` has been replaced. Called only once
    // every picture of the album before is over.
    bool beginAlbum(const JobContext& job);
    // A download of every album readies its next album while the last pictures of this one are on
    // their way: photos appended from now on are that album's, in folder `folder`, and are taken
    // once every photo of this album is. False (nothing done) once `job` has been replaced.
    bool stageAlbum(const JobContext& job, const std::wstring& folder);
    // The staged album becomes the current one, after beginAlbum: its photos, those taken so far,
    // and its tasks that wait for it go on. False (nothing done) once `job` has been replaced.
    bool beginStagedAlbum(const JobContext& job);
    // The album `job` staged will not begin: its photos go, and tasks waiting for it give up.
    void dropStagedAlbum(const JobContext& job);
    // Empties the list alone (a new album listing).
    void clear();
    // The album folder of the download `job`, handed to its tasks with their photos.
    bool setFolder(const JobContext& job, const std::wstring& folder);
    // Counts and appends a photo of `job` (while an album is staged, to that album, counted once it
    // begins); false (nothing done) once the job has been replaced.
    bool append(const JobContext& job, PhotoRecord photo);
    // Takes the next photo number for a task of download `generation`: the photo, its album folder
    // and which album it is of (the current one, or once that has every photo taken, the staged
    // one). False when that download was replaced or every queued photo is taken. The task tells
    // finished() when it is over, whatever became of the photo.
    bool take(long generation, PhotoRecord& photo, std::wstring& folder, uint64_t& album);
    void finished(uint64_t album);
    bool isCurrentAlbum(uint64_t album);
    // Every photo of the current album taken and its task over.
    bool albumDone();
    // Until `album` (staged when its photo was taken) has begun: true then; false when it was
    // dropped or download `generation` replaced.
    [[nodiscard]] bool waitForAlbum(long generation, uint64_t album);
    // The queued photos in list order, for the album's record once its pictures are done; the
    // store is left empty (its counters stay). Nothing once `job` has been replaced.
    std::deque<PhotoRecord> handOverList(const JobContext& job);
    // Counts a written picture of download `generation`; the new count, or -1 (nothing counted)
    // when that download was replaced meanwhile.
    long countWritten(long generation);

private:
    void resetLocked();  // the lock held

    AppState& state_;  // not owned: the state outlives the store
    CriticalSection lock_;
    CONDITION_VARIABLE albumChanged_ = CONDITION_VARIABLE_INIT;
    // A deque never moves a record while another is appended.
    std::deque<PhotoRecord> photos_;
    std::wstring folder_;
    // Albums are numbered for the whole run of the program, so a task of an album that has gone
    // can never be taken for one of a later album.
    uint64_t lastAlbum_ = 1;
    uint64_t album_ = 1;
    long busy_ = 0;  // tasks of the current album holding a photo
    struct Staged {
        uint64_t album = 0;  // 0: none
        long generation = 0;  // of the download that staged it
        std::deque<PhotoRecord> photos;
        std::wstring folder;
        size_t taken = 0;
        long busy = 0;
    } staged_;
};
