#include "app/download.h"

#include <deque>

#include "app/albums.h"
#include "app/app_state.h"
#include "app/error_table.h"
#include "app/file_naming.h"
#include "app/file_store.h"
#include "app/job_routines.h"
#include "app/main_window.h"
#include "app/service_hosts.h"
#include "app/text_cut.h"
#include "net/http_client.h"
#include "tasks/critical_section.h"
#include "text/encoding.h"
#include "text/json_document.h"

namespace {

constexpr int kPhotosPerPage = 32;

// The photos of the running job, in queue order. A deque keeps every record where it is while
// the download thread appends, so a worker can copy one at any time.
struct PhotoStore {
    CriticalSection lock;
    std::deque<PhotoRecord> photos;
};

PhotoStore& photoStore()
{
    static PhotoStore store;
    return store;
}

// Guarded by EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
// Tasks of a replaced job carry an older generation and are dropped when they run.
volatile LONG gDownloadGeneration = 0;

bool photoAt(LONG number, PhotoRecord& photo)
{
    PhotoStore& store = photoStore();
    Locked hold(store.lock);
    const bool found = number >= 1 && static_cast<size_t>(number) <= store.photos.size();
    if (found) photo = store.photos[static_cast<size_t>(number - 1)];
    return found;
}

std::string photoListAddress(const std::string& ownerId, const std::string& albumId, int page)
{
    std::string address = "http://";
    address += PICLADE_PHOTO_HOST;
    address += "/photos/get_all?uid=" + ownerId + "&album_id=" + albumId + "&count=32&page=" + std::to_string(page) +
               "&type=&__rnd=1504068705105";
    return address;
}

void finishJob()
{
    AppState& state = appState();
    enableJobButtons(true);
    setStatus("  状态:全部下载完成,当前已下载 " + std::to_string(state.downloadedCount) + "张 共 " +
              std::to_string(state.queuedCount) + "张 请单击鼠标右键打开目录;");
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
std::string fetchPicture(std::string_view address)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (attempt) Sleep(static_cast<DWORD>(1000 * attempt));
        HttpClient client;
        client.open("GET", address);
        if (!client.send()) continue;
        const int status = client.statusCode();
        std::string bytes = client.responseBytes();
        const int64_t announced = client.contentLength();
        if (status < 200 || status > 299 || bytes.empty()) continue;
        if (announced > 0 && static_cast<int64_t>(bytes.size()) < announced) continue;
        return bytes;
    }
    return {};
}

void downloadTask(intptr_t generation, intptr_t)
{
    if (generation != gDownloadGeneration) return;
    AppState& state = appState();
    const LONG number = InterlockedIncrement(&state.nextPhotoIndex);
    PhotoRecord photo;
    if (!photoAt(number, photo)) return;
    const std::string address = photo.picHost + state.sizePath.get() + photo.picName;
    const std::string name = pictureFileName(photo.timestamp, photo.captionRender, photo.picName);
    const std::string bytes = fetchPicture(address);
    // Guarded by EndToEndFaults.ServerErrorsOnEveryTryLeaveNothing, EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
    if (bytes.empty() || generation != gDownloadGeneration) return;  // not written, not counted

    const unsigned long error = writePictureFile(state.albumFolder.get(), name, bytes);
    StatusHold hold;
    if (error) {
        MessageBoxW(nullptr, toUtf16(errorText(error)).c_str(), toUtf16(name).c_str(), MB_ICONERROR);
        return;
    }
    const LONG downloaded = InterlockedIncrement(&state.downloadedCount);
    if (MainWindow* window = mainWindow()) {
        window->status.SetText("  状态:正在下载中,请耐心等待,可能需要一阵子时间;当前下载进度 " + std::to_string(downloaded) + "/" +
                               std::to_string(state.queuedCount));
    }
}

void albumJob(const JobContext& job)
{
    const LONG generation = InterlockedIncrement(&gDownloadGeneration);
    AppState& state = appState();
    AlbumRecord album;
    if (!albumAt(static_cast<int>(job.argument()), album)) {
        MessageBoxW(nullptr, toUtf16("数组访问越界,大于数组成员数;").c_str(), toUtf16("信息").c_str(), MB_ICONERROR);
        enableJobButtons(true);
        return;
    }
    {
        Locked hold(photoStore().lock);
        photoStore().photos.clear();
    }
    const std::string ownerFolder = withBackslash(state.saveFolder.get() + safeName(state.ownerNick.get(), state.ownerId.get()));
    ensureFolder(ownerFolder);
    const std::string albumFolder = withBackslash(ownerFolder + safeName(album.caption, album.albumId));
    ensureFolder(albumFolder);
    state.albumFolder.set(albumFolder);

    const std::string ownerId = state.ownerId.get();
    auto fetchPage = [&](int page) {
        HttpClient client;
        client.open("GET", photoListAddress(ownerId, album.albumId, page));
        client.setCookies(state.cookies.get());
        client.send();
        JsonDocument answer;
        answer.Parse(client.responseText(), true);
        return answer;
    };
    JsonDocument first = fetchPage(1);
    const int total = static_cast<int32_t>(first.GetInteger("data.total"));
    const int pages = total <= 0 ? 0 : (total + kPhotosPerPage - 1) / kPhotosPerPage;
    for (int page = 1; page <= pages; ++page) {
        if (job.stopping()) return;
        JsonDocument answer = page == 1 ? first : fetchPage(page);
        const int count = answer.GetCount("data.photo_list");
        for (int j = 0; j < count; ++j) {
            if (job.stopping()) return;
            std::string entry = "data.photo_list.[";
            entry += std::to_string(j);
            entry += "].";
            PhotoRecord photo;
            photo.captionRender = answer.GetText(entry + "caption_render");
            photo.picHost = answer.GetText(entry + "pic_host");
            photo.picName = answer.GetText(entry + "pic_name");
            photo.timestamp = static_cast<int32_t>(answer.GetInteger(entry + "timestamp"));
            InterlockedIncrement(&state.queuedCount);
            {
                Locked hold(photoStore().lock);
                photoStore().photos.push_back(photo);
            }
            downloadPool().submit(downloadTask, generation);
        }
    }
    while (!downloadPool().isIdle()) {
        if (!job.pause(500)) return;
    }
    finishJob();
}
