#include "app/download.h"

#include "app/albums.h"
#include "app/app_state.h"
#include "app/download_run.h"
#include "app/error_table.h"
#include "app/file_naming.h"
#include "app/file_store.h"
#include "app/job_routines.h"
#include "app/main_window.h"
#include "app/patient_fetch.h"
#include "app/runtime.h"
#include "app/service_hosts.h"
#include "app/text_cut.h"
#include "app/written_pictures.h"
#include "net/http_client.h"
#include "text/encoding.h"
#include "text/json_document.h"

namespace {

constexpr int kPhotosPerPage = 32;

std::string photoListAddress(const std::string& ownerId, const std::string& albumId, int page)
{
    std::string address = "http://";
    address += PICLADE_PHOTO_HOST;
    address += "/photos/get_all?uid=" + ownerId + "&album_id=" + albumId + "&count=32&page=" + std::to_string(page) +
               "&type=&__rnd=1504068705105";
    return address;
}

void finishJob(const DownloadRun& run)
{
    AppState& state = appState();
    enableJobButtons(true);
    setStatus(finalStatusText(run.report(), state.downloadedCount, state.queuedCount));
}

// A photo-list page, parsed; an empty document when it never came (a failure is noted for the
// final status, a stopped job is not a failure).
JsonDocument fetchPhotoListPage(DownloadRun& run, const std::string& address, const std::string& cookies)
{
    JsonDocument answer;
    const FetchResult result = fetchPatiently(run, {address, cookies, {}}, [&](HttpClient& client) {
        JsonDocument parsed;
        if (!parsed.Parse(client.responseText(), true)) return false;
        answer = parsed;
        return true;
    });
    if (result == FetchResult::Failed) run.pageFailed();
    return answer;
}

// Counts a picture of download `generation` and shows the progress; nothing once that download
// has been replaced.
void countDownloaded(long generation)
{
    AppState& state = appState();
    StatusHold hold;
    const long downloaded = runtime().photos.countWritten(generation);
    if (downloaded < 0) return;
    if (MainWindow* window = mainWindow()) {
        window->status.SetText("  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 " + std::to_string(downloaded) + "/" +
                               std::to_string(state.queuedCount));
    }
}

} // namespace

// Guarded by ErrorTable.RowsAndLookups and EndToEndFaults.UnwritableAlbumFolderShowsTheSystemMessage (both locales).
std::string errorText(unsigned long code)
{
    std::string key = "〖";
    key += std::to_string(code);
    key += "〗-";
    return cutBetween(kErrorTable, key, "\r\n");
}

// Guarded by EndToEndPromises.EachPictureIsTriedThreeTimesAtMost, EndToEndFaults.DroppedAndTruncatedPicturesAreNeverCountedOrKept.
FetchResult fetchPicture(DownloadRun& run, std::string_view address, std::string& bytes)
{
    // Image hosts refuse pictures that are not asked for from the main site's pages.
    static const std::string referer = std::string("http://") + PICLADE_MAIN_SITE_HOST + "/";
    return fetchPatiently(run, {address, {}, referer}, [&](HttpClient& client) {
        bytes = client.responseBytes();
        return !bytes.empty();
    });
}

void downloadTask(intptr_t generationArgument, intptr_t)
{
    const long generation = static_cast<long>(generationArgument);
    const std::shared_ptr<DownloadRun> run = currentDownloadRun();
    if (!run || run->generation() != generation) return;
    PhotoRecord photo;
    std::string folder;
    if (!runtime().photos.take(generation, photo, folder)) return;
    AppState& state = appState();
    const std::string sizePath = state.sizePath.get();
    const std::string address = photo.picHost + sizePath + photo.picName;
    const std::string name = pictureFileName(photo.timestamp, photo.captionRender, photo.picName);
    // Written by an earlier download of this album at this size, and still there.
    if (writtenPictures().haveAlready(folder, name, sizePath)) {
        countDownloaded(generation);
        return;
    }
    std::string bytes;
    // Guarded by EndToEndFaults.ServerErrorsOnEveryTryLeaveNothing, EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
    if (fetchPicture(*run, address, bytes) != FetchResult::Fetched || !isCurrentJob(DownloadJob, generation))
        return;  // not written, not counted

    const unsigned long error = writePictureFile(folder, name, bytes, photo.timestamp);
    if (error) {
        StatusHold hold;
        MessageBoxW(nullptr, toUtf16(errorText(error)).c_str(), toUtf16(name).c_str(), MB_ICONERROR);
        return;
    }
    writtenPictures().remember(folder, name, sizePath, bytes.size());
    // Written into the job's own folder; counted only while the job is still the current one.
    countDownloaded(generation);
}

void albumJob(const JobContext& job)
{
    const std::shared_ptr<DownloadRun> run = startDownloadRun(job, job.generation());
    AppState& state = appState();
    AlbumRecord album;
    if (!albumAt(static_cast<int>(job.argument()), album)) {
        MessageBoxW(nullptr, toUtf16("数组访问越界,大于数组成员数;").c_str(), toUtf16("信息").c_str(), MB_ICONERROR);
        enableJobButtons(true);
        return;
    }
    const std::string ownerFolder = withBackslash(state.saveFolder.get() + safeName(state.ownerNick.get(), state.ownerId.get()));
    ensureFolder(ownerFolder);
    const std::string albumFolder = withBackslash(ownerFolder + safeName(album.caption, album.albumId));
    ensureFolder(albumFolder);
    if (!runtime().photos.setFolder(job, albumFolder)) return;
    state.albumFolder.set(albumFolder);

    const std::string ownerId = state.ownerId.get();
    // Every page, the first one included, is asked for within the loop, each answer in its own
    // document: a page that fails queues nothing, whatever an earlier answer held.
    auto fetchPage = [&](int page) { return fetchPhotoListPage(*run, photoListAddress(ownerId, album.albumId, page), state.cookies.get()); };
    const int total = static_cast<int32_t>(fetchPage(1).GetInteger("data.total"));
    run->setAlbumTotal(total);
    const int pages = total <= 0 ? 0 : (total + kPhotosPerPage - 1) / kPhotosPerPage;
    for (int page = 1; page <= pages; ++page) {
        if (job.stopping()) return;
        JsonDocument answer = fetchPage(page);
        const int count = answer.GetCount("data.photo_list");
        for (int j = 0; j < count; ++j) {
            std::string entry = "data.photo_list.[";
            entry += std::to_string(j);
            entry += "].";
            PhotoRecord photo;
            photo.captionRender = answer.GetText(entry + "caption_render");
            photo.picHost = answer.GetText(entry + "pic_host");
            photo.picName = answer.GetText(entry + "pic_name");
            photo.timestamp = static_cast<int32_t>(answer.GetInteger(entry + "timestamp"));
            // Counted and kept only while this job is the current download.
            if (!runtime().photos.append(job, photo)) return;
            downloadPool().submit(downloadTask, job.generation());
        }
    }
    while (!downloadPool().isIdle()) {
        if (!job.pause(500)) return;
    }
    if (!job.stopping()) finishJob(*run);  // a replaced job leaves the status line to its successor
}
