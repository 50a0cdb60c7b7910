#include "app/jobs/download.h"

#include "app/core/album_store.h"
#include "app/core/shared_objects.h"
#include "app/jobs/album_download.h"
#include "app/jobs/download_run.h"
#include "app/jobs/job_window.h"
#include "text/encoding.h"

#include <algorithm>
#include <memory>
#include <vector>

namespace {

// The buttons back and the final line, unless a newer download has begun by the time they would land.
void finishJob(const DownloadRun& run, const std::string& text, bool whole)
{
    StatusHold hold;  // after every picture's progress line
    whileCurrentOnWindow(run.job(), [&] {
        // Held as its last pictures landed: the download is over, nothing is held any more.
        static_cast<void>(downloadPool().resume());
        enableJobButtons(true);
        setStatusHeld(text);
        downloadEnded(whole, text);
    });
}

// Until `done`: woken by each picture's end, looking again at least every half a second.
template <typename Done>
bool waitForPictures(const JobContext& job, Done done)
{
    while (!done()) {
        if (job.stopping()) return false;
        static_cast<void>(downloadPool().waitTaskDone(500, true));
    }
    return !job.stopping();
}

// Until the pool has no picture left.
bool waitForPictures(const JobContext& job)
{
    return waitForPictures(job, [] { return downloadPool().isIdle(); });
}

// Until every picture of the current album is over; the next album's first pictures may be on
// their way meanwhile.
bool waitForAlbum(const JobContext& job)
{
    return waitForPictures(job, [] { return photoStore().albumDone(); });
}

void showMissingAlbum()
{
    MessageBoxW(nullptr, toUtf16("数组访问越界,大于数组成员数;").c_str(), toUtf16("信息").c_str(), MB_ICONERROR);
}

// The next album of a download of every album will not begin after all: its staged photos go.
struct StagedAlbumDrop {
    const JobContext& job;
    ~StagedAlbumDrop() { photoStore().dropStagedAlbum(job); }
};

} // namespace

void albumJob(const JobContext& job)
{
    const std::shared_ptr<DownloadRun> run = startDownloadRun(job, job.generation());
    AlbumDownload album(job, *run, static_cast<int>(job.argument()));
    if (!album.exists()) {
        showMissingAlbum();
        enableJobButtons(true);
        whileCurrentOnWindow(job, [] { downloadEnded(true, {}); });
        return;
    }
    // A replaced job leaves the status line to its successor.
    if (!album.begin() || !album.listRest() || !waitForPictures(job)) return;
    const AlbumOutcome outcome = album.finish();
    finishJob(*run, finalStatusText(outcome.report, outcome.downloaded, outcome.queued),
              isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued));
}

// Guarded by EndToEndAccount.*.
void accountJob(const JobContext& job)
{
    const std::shared_ptr<DownloadRun> run = startDownloadRun(job, job.generation());
    const std::vector<AlbumRecord> albums = albumStore().snapshot();
    AccountTally tally;
    tally.albums = static_cast<int>(albums.size());
    {
        const StagedAlbumDrop drop{job};
        std::unique_ptr<AlbumDownload> next;
        for (int position = 1; position <= tally.albums; ++position) {
            // A full disk or a rate limit that never ends concerns every album: the rest stay undone.
            if (run->diskFull() || run->gate().givenUp()) break;
            if (position > 1 && !photoStore().beginAlbum(job)) return;
            long claimedAfter = 0;
            for (size_t later = static_cast<size_t>(position); later < albums.size(); ++later)
                claimedAfter += std::max(albums[later].photoCount, 0);
            const AlbumRecord& record = albums[static_cast<size_t>(position - 1)];
            run->beginAlbum({position, tally.albums, record.caption, tally.downloaded, tally.listed, std::max(record.photoCount, 0), claimedAfter});
            downloadMoved();
            // Held or waiting for a sign-in, the line keeps saying so.
            whileCurrentOnWindow(job, [] { setStatus(currentProgressText(0, 0)); });
            // Staged as the album before ended, or begun only now.
            const std::unique_ptr<AlbumDownload> album = next ? std::move(next) : std::make_unique<AlbumDownload>(job, *run, position);
            if (!album->exists()) {
                showMissingAlbum();
                continue;
            }
            if (!album->begin() || !album->listRest()) return;
            // The next album is listed while this one's last pictures download: the pool never
            // runs dry between the two.
            if (position < tally.albums && !run->diskFull() && !run->gate().givenUp()) {
                next = std::make_unique<AlbumDownload>(job, *run, position + 1);
                if (!next->stage(album->folder())) photoStore().dropStagedAlbum(job);
            }
            if (!waitForAlbum(job)) return;
            const AlbumOutcome outcome = album->finish();
            tally.downloaded += outcome.downloaded;
            tally.listed += outcome.queued;
            if (isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued)) ++tally.complete;
        }
    }
    // The pictures of a staged album the run stopped before are over before the last line.
    if (!waitForPictures(job)) return;
    tally.diskFull = run->diskFull();
    tally.gaveUp = run->gate().givenUp();
    finishJob(*run, accountFinalText(tally), tally.complete == tally.albums && !tally.diskFull && !tally.gaveUp);
}
