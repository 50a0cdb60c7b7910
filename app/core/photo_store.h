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
    // The next album of a running download of every album: no photos, counters at 0; false (nothing
    // done) once `job` has been replaced. Called only while none of its pictures is in the pool.
    bool beginAlbum(const JobContext& job);
    // Empties the list alone (a new album listing).
    void clear();
    // The album folder of the download `job`, handed to its tasks with their photos.
    bool setFolder(const JobContext& job, const std::wstring& folder);
    // Counts and appends a photo of `job`; false (nothing done) once the job has been replaced.
    bool append(const JobContext& job, PhotoRecord photo);
    // Takes the next photo number for a task of download `generation`: the photo and its album
    // folder; the store keeps no copy of it. False when that download was replaced or every queued photo is taken.
    bool take(long generation, PhotoRecord& photo, std::wstring& folder);
    // Counts a written picture of download `generation`; the new count, or -1 (nothing counted)
    // when that download was replaced meanwhile.
    long countWritten(long generation);

private:
    void resetLocked();  // the lock held

    AppState& state_;  // not owned: the state outlives the store
    CriticalSection lock_;
    // A deque never moves a record while another is appended.
    std::deque<PhotoRecord> photos_;
    std::wstring folder_;
};
