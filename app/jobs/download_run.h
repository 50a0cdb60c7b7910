// What one download job shares between its thread and its pool tasks: the job's stop signal, its
// rate-limit gate and what went wrong on the way, for the final status line.
#pragma once

#include <windows.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "app/core/album_record.h"
#include "app/core/job_threads.h"
#include "app/jobs/patient_fetch.h"
#include "tasks/critical_section.h"

// What the final status line tells about a job.
struct DownloadReport {
    int failedPages = 0;     // photo-list pages that never answered usably
    int failedPictures = 0;  // pictures that never came whole
    int failedWrites = 0;    // pictures that came but could not be written
    int albumTotal = 0;      // "data.total" of the first page; 0 when unknown
    bool gaveUp = false;     // limited for too long without a success
    bool diskFull = false;   // a write found the disk full: the job stopped there
    bool folderRefused = false;  // the album's folder took no picture: the album stopped there
};

// Whether an album's download is whole: every listed picture saved and nothing failed.
bool isWholeAlbum(const DownloadReport& report, long downloaded, long queued);

// "全部下载完成…" only when every queued photo is saved and nothing failed; otherwise a text that
// says the album is incomplete and why.
std::string finalStatusText(const DownloadReport& report, long downloaded, long queued);
// The status line while the job waits out a rate limit.
std::string pauseStatusText(unsigned seconds, long downloaded, long queued);
// The status line while the user holds the download.
std::string heldStatusText(long downloaded, long queued);
// The status line as pictures arrive: their progress, or that the user holds the download.
std::string progressStatusText(long downloaded, long queued);

// The status line of an album downloaded as the `position`-th of `count` in a download of every album.
std::wstring accountProgressText(int position, int count, std::wstring_view caption, long downloaded, long queued);

// What a download of every album came to.
struct AccountTally {
    int albums = 0;       // albums listed
    int complete = 0;     // albums whole at their end
    long downloaded = 0;  // pictures saved, over every album
    long listed = 0;      // pictures listed, over every album
    bool diskFull = false;  // the run stopped at a full disk
    bool gaveUp = false;    // the run stopped at a rate limit that never ended
};
// The final line of a download of every album: why it stopped, if it did, comes first.
std::string accountFinalText(const AccountTally& tally);

// Where a download of every album has come to: its status lines name the album.
struct AccountPlace {
    int position = 0;  // 1-based; 0: a single album's download
    int count = 0;
    std::wstring caption;
    // The account's pictures around this album: saved and listed in the albums before it, and
    // the photo counts the album list gives for this one and those after it.
    long savedBefore = 0;
    long listedBefore = 0;
    long claimedHere = 0;
    long claimedAfter = 0;
};

// How far a download has come, in pictures, for the taskbar button.
struct RunProgress {
    long done = 0;
    long total = 0;
};
// A single album: its pictures saved of those listed. A download of every album: the account's,
// the albums before this one as they ended, this one as listed so far (never less than the album
// list promised) and the album list's counts for the albums still to come.
RunProgress runProgress(const AccountPlace& place, long downloaded, long queued);

// How a picture of the album was saved: its size and the file as written.
struct SavedStamp {
    std::string sizePath;
    uint64_t bytes = 0;
    uint64_t modified = 0;
};

class DownloadRun : public PatientJob {
public:
    DownloadRun(const JobContext& job, long generation, RateGate::Clock clock = nullptr);

    // The generation its pool tasks carry.
    long generation() const { return generation_; }

    void pageFailed();
    void pictureFailed();
    void writeFailed();
    // A write found the disk full (error 112 or 39): the job stops taking pictures. True only for
    // the first such write of the job, which alone tells the user.
    [[nodiscard]] bool stopForFullDisk();
    // Whether the job has stopped for a full disk: no further page or picture is asked for.
    bool diskFull() const;
    void setAlbumTotal(int total);
    DownloadReport report() const;

    // A download of every album moves on to its next album: the status names it, and what the
    // report tells about pictures, pages and the album total starts anew. A full disk and the
    // rate-limit gate's state stay: they concern every album.
    void beginAlbum(const AccountPlace& place);
    AccountPlace place() const;
    bool isAccountRun() const;
    // A picture was written into the album's folder.
    void pictureWritten();
    // The album's folder refused its first picture (error 3 or 5) in a download of every album:
    // the album stops, the run goes on with the next. True only for the first such refusal of the
    // album, which alone tells the user; false once a picture of the album was written.
    [[nodiscard]] bool stopAlbumForFolder();
    // No further picture or page of the album is asked for (a full disk, a refused folder).
    bool albumHalted() const;

    // The album's journal, opened as its download begins; each picture saved is a line in it and
    // is remembered for the record folded at the album's end.
    void openJournal(const std::wstring& albumFolder, const std::string& albumId);
    void journalPicture(const SavedPhoto& photo);  // before the picture takes its final name
    void pictureSaved(const SavedPhoto& photo);    // once it has it
    // What the album saved, by picture name; the journal is closed. The rest of each saved photo
    // is its queued record's.
    std::map<std::string, SavedStamp> closeJournal();

protected:
    void showPause(uint64_t msLeft) override;
    bool heldByUser() const override;
    void showSignedInAgain() override;

private:
    long generation_;
    mutable CriticalSection lock_;
    DownloadReport report_;
    AccountPlace place_;
    bool albumWrote_ = false;  // a picture of the current album was written
    AlbumJournal journal_;
    std::map<std::string, SavedStamp> saved_;
    uint64_t shownRound_ = UINT64_MAX;  // the pause and second last put on the status line
    unsigned shownSeconds_ = 0;
};

// Makes the run of a starting job the current one (unless a newer job's run already is); tasks
// find it with currentDownloadRun.
std::shared_ptr<DownloadRun> startDownloadRun(const JobContext& job, long generation);
std::shared_ptr<DownloadRun> currentDownloadRun();

// The status line for the current download's progress: held by the user, an album of a download
// of every album, or a single album.
std::wstring currentProgressText(long downloaded, long queued);
