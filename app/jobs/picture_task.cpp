#include "app/jobs/picture_task.h"

#include "app/core/app_state.h"
#include "app/core/error_table.h"
#include "app/core/file_store.h"
#include "app/core/shared_objects.h"
#include "app/core/written_pictures.h"
#include "app/jobs/download_run.h"
#include "app/jobs/job_window.h"
#include "app/jobs/patient_fetch.h"
#include "app/jobs/service_hosts.h"
#include "net/http_client.h"
#include "text/encoding.h"
#include "text/picture_end.h"

#include <memory>
#include <string>

namespace {

// Counts a picture of download `generation` and shows the progress; nothing once that download
// has been replaced.
void countDownloaded(long generation)
{
    AppState& state = appState();
    StatusHold hold;
    const long downloaded = photoStore().countWritten(generation);
    if (downloaded < 0) return;
    const std::wstring line = currentProgressText(downloaded, state.queuedCount);
    setStatusHeld(line);
    // "暂停下载" or "继续下载" chosen while this line was on its way to the window: the window's own
    // line may have landed first, so the line that holds now is written last.
    const std::wstring now = currentProgressText(downloaded, state.queuedCount);
    if (now != line) setStatusHeld(now);
    downloadMoved();
}

} // namespace

// Guarded by EndToEndPromises.EachPictureIsTriedThreeTimesAtMost, EndToEndFaults.DroppedAndTruncatedPicturesAreNeverCountedOrKept
// and EndToEndHostile.CutChunkedPicturesAreNeverKept.
FetchResult fetchPicture(DownloadRun& run, std::string_view address, std::string& bytes)
{
    // Image hosts refuse pictures that are not asked for from the main site's pages (guarded by
    // EndToEndRequests.EachKindGoesOutAsTheServiceExpectsIt and EndToEndLimits.LimitedPicturesWaitTogetherAndEveryOneArrives).
    static const std::string referer = std::string("http://") + PICLADE_MAIN_SITE_HOST + "/";
    return fetchPatiently(run, {address, {}, referer, AnswerKind::Picture}, [&](HttpClient& client) {
        bytes = client.responseBytes();
        // Without a length the picture's own format tells whether it came to its end: a chunked
        // body broken off reads as a clean end. A page or error object answered with 200 is no
        // picture, whole as it may be.
        return !bytes.empty() && !isTextPage(bytes) && (client.contentLength() > 0 || pictureEnd(bytes) != PictureEnd::Cut);
    });
}

void downloadTask(intptr_t generationArgument, intptr_t)
{
    const long generation = static_cast<long>(generationArgument);
    const std::shared_ptr<DownloadRun> run = currentDownloadRun();
    if (!run || run->generation() != generation) return;
    PhotoRecord photo;
    std::wstring folder;
    uint64_t album = 0;
    if (!photoStore().take(generation, photo, folder, album)) return;
    // Its album ends only once this task is over, whatever became of the photo.
    struct Finished {
        uint64_t album;
        ~Finished() { photoStore().finished(album); }
    } finished{album};
    // A photo of the next album in a download of every album, taken while the last pictures of the
    // one before are on their way: fetched now, but written and counted only once its album has
    // begun, so that it is told in its own album's line, record and journal.
    const bool early = !photoStore().isCurrentAlbum(album);
    // After a full disk or a refused folder the album's photos still queued are left alone: neither
    // asked for nor counted.
    if (early ? run->diskFull() : run->albumHalted()) return;
    AppState& state = appState();
    const std::string sizePath = state.sizePath.get();
    const std::string address = photo.picHost + sizePath + photo.picNameInAddress;
    const std::wstring& name = photo.fileName;
    // Written by an earlier download of this album at this size, and still there.
    const bool savedBefore = (photo.alreadySaved && photo.savedSizePath == sizePath) || writtenPictures().haveAlready(folder, name, sizePath);
    std::string bytes;
    // Guarded by EndToEndFaults.ServerErrorsOnEveryTryLeaveNothing, EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
    const FetchResult fetched = savedBefore ? FetchResult::Fetched : fetchPicture(*run, address, bytes);
    // Guarded by EndToEndAccount.NextAlbumsFirstPicturesWaitForTheirAlbum.
    if (early && (!photoStore().waitForAlbum(generation, album) || run->albumHalted())) return;
    if (savedBefore) {
        countDownloaded(generation);
        return;
    }
    if (fetched != FetchResult::Fetched || !isCurrentJob(DownloadJob, generation)) {
        if (fetched == FetchResult::Failed) run->pictureFailed();
        return;  // not written, not counted
    }

    // Nothing is written outside the album folder, whatever the names held.
    const bool inside = isPathInside(folder + name, folder) && isPathInside(folder, state.saveFolder.get());
    SavedPhoto saved{photo.picNameInAddress, photo.picHost, photo.captionRender, photo.timestamp, name, sizePath, 0, 0};
    // The journal hears of the picture before it takes its final name: a kill in between leaves
    // a line for a file that is not there, fetched again, never a complete file left unknown.
    // Guarded by EndToEndRecord.AKilledDownloadResumesWithOnlyWhatIsMissing.
    const auto journal = [&](uint64_t size, uint64_t modified) {
        saved.bytes = size;
        saved.modified = modified;
        run->journalPicture(saved);
    };
    const unsigned long error = inside ? writePictureFile(folder, name, bytes, photo.timestamp, journal) : ERROR_ACCESS_DENIED;
    if (error) {
        run->writeFailed();
        // One box for a full disk, not one per picture: the job stops at the first.
        // Guarded by Jobs.SignInAnalyseAndDownload (its full disk) and DownloadLimits.FinalLines.
        const bool diskFull = error == ERROR_DISK_FULL || error == ERROR_HANDLE_DISK_FULL;
        if (diskFull && !run->stopForFullDisk()) return;
        // In a download of every album a folder that takes no picture at all stops its album alone,
        // with one box. Guarded by EndToEndAccount.UnwritableFolderStopsOnlyItsAlbum.
        const bool refused = error == ERROR_PATH_NOT_FOUND || error == ERROR_ACCESS_DENIED;
        if (refused && !diskFull && !run->stopAlbumForFolder() && run->albumHalted()) return;
        StatusHold hold;
        MessageBoxW(nullptr, toUtf16(errorText(error)).c_str(), name.c_str(), MB_ICONERROR);
        return;
    }
    run->pictureWritten();
    writtenPictures().remember(folder, name, sizePath, bytes.size());
    if (saved.bytes == bytes.size()) run->pictureSaved(saved);
    // Written into the job's own folder; counted only while the job is still the current one.
    countDownloaded(generation);
}
