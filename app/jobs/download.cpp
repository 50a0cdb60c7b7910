#include "app/jobs/download.h"

#include "app/core/album_store.h"
#include "app/core/app_state.h"
#include "app/jobs/download_run.h"
#include "app/core/error_table.h"
#include "app/core/file_naming.h"
#include "app/core/file_store.h"
#include "app/jobs/job_window.h"
#include "app/jobs/known_photos.h"
#include "app/jobs/patient_fetch.h"
#include "app/core/shared_objects.h"
#include "app/jobs/service_exchange.h"
#include "app/jobs/service_hosts.h"
#include "app/core/text_cut.h"
#include "app/core/written_pictures.h"
#include "net/http_client.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "text/json_node.h"
#include "text/picture_end.h"

#include <algorithm>
#include <deque>
#include <map>
#include <memory>
#include <set>
#include <vector>

namespace {

constexpr int kPhotosPerPage = 32;
// However many photos an album claims, its listing stops here.
constexpr int64_t kMostPhotoPages = 2000;

// Guarded by EndToEndRequests.EachKindGoesOutAsTheServiceExpectsIt.
std::string photoListAddress(const std::string& ownerId, const std::string& albumId, int page)
{
    std::string address = "http://";
    address += PICLADE_PHOTO_HOST;
    address += "/photos/get_all?uid=" + ownerId + "&album_id=" + albumId + "&count=32&page=" + std::to_string(page) +
               "&type=&__rnd=1504068705105";
    return address;
}

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

// A usable list answer: an object whose `listPath` is an array. A first page that says the album
// holds nothing needs no list.
bool isGoodList(JsonDocument& answer, std::string_view listPath, bool firstPage)
{
    if (answer.GetType() != static_cast<int>(JsonKind::Object)) return false;
    if (answer.GetType(listPath) == static_cast<int>(JsonKind::Array)) return true;
    return firstPage && answer.Exists("data.total") && answer.GetInteger("data.total") == 0;
}

// A photo-list page, parsed; an empty document when it never came usably (a failure is noted for
// the final status, a stopped job is not a failure).
// Guarded by EndToEndHostile.ErrorObjectPageIsRetriedNotTakenAsEmpty.
JsonDocument fetchPhotoListPage(DownloadRun& run, const std::string& address, bool firstPage)
{
    JsonDocument answer;
    // The session's newest cookies at each try: a lapsed session is renewed while the page waits.
    const FetchResult result = fetchPatiently(run, {address, {}, {}, AnswerKind::List, true}, [&](HttpClient& client) {
        JsonDocument parsed;
        if (!parsed.Parse(client.responseText(), true) || !isGoodList(parsed, "data.photo_list", firstPage)) return false;
        answer = parsed;
        return true;
    });
    if (result == FetchResult::Failed) run.pageFailed();
    return answer;
}

// Case-blind, as Windows compares file names.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    }
};

// The album's photos as they are queued: a picture listed twice is one file, and two pictures
// whose names would be the same file both keep theirs, the later one with " (2)", " (3)", ...
// Guarded by FileNaming.PictureNamesKeepTheirEndingWithinTheLimit and EndToEndHostile.HostileNamesStayInsideTheSaveFolder.
class AlbumNames {
public:
    // A name the album's record gave a photo: kept for it, never given to another.
    void reserve(const std::wstring& fileName) { files_.insert(fileName); }
    // False for a picture already queued; else the photo's file name is set: the one its record
    // gave it, or a new one made with the service's `picName`.
    bool name(PhotoRecord& photo, std::wstring_view picName, const SavedPhoto* known)
    {
        if (!pictures_.insert(photo.picNameInAddress).second) return false;
        // A record is only text on a disk: a name in it that this program could not have made is
        // never written.
        if (known && isPictureFileName(known->fileName)) {
            photo.fileName = known->fileName;
            return true;
        }
        for (int copy = 1;; ++copy) {
            photo.fileName = pictureFileName(photo.timestamp, photo.captionRender, picName, copy);
            if (files_.insert(photo.fileName).second) return true;
        }
    }

private:
    std::set<std::string> pictures_;
    std::set<std::wstring, NameLess> files_;
};

// A photo of the album's record, queued again as it was recorded.
PhotoRecord recordedPhoto(const SavedPhoto& saved)
{
    PhotoRecord photo;
    photo.captionRender = saved.caption;
    photo.picHost = saved.picHost;
    photo.timestamp = saved.timestamp;
    photo.fileName = saved.fileName;
    photo.picNameInAddress = saved.picName;
    return photo;
}

// What the record keeps of a queued photo: saved now, saved before and still there, or listed only.
// Both the photo and what the journal said of it are used up: an album of many thousand photos
// is never held twice over.
SavedPhoto recordOf(PhotoRecord&& photo, std::map<std::string, SavedStamp>& savedNow, const KnownPhotos& known)
{
    const auto now = savedNow.find(photo.picNameInAddress);
    if (now == savedNow.end() && photo.alreadySaved)
        if (const SavedPhoto* before = known.find(photo.picNameInAddress)) return *before;
    SavedPhoto listed;
    listed.picName = std::move(photo.picNameInAddress);
    listed.picHost = std::move(photo.picHost);
    listed.caption = std::move(photo.captionRender);
    listed.timestamp = photo.timestamp;
    listed.fileName = std::move(photo.fileName);
    if (now != savedNow.end()) {
        listed.sizePath = std::move(now->second.sizePath);
        listed.bytes = now->second.bytes;
        listed.modified = now->second.modified;
        savedNow.erase(now);
    }
    return listed;
}

// Counts a picture of download `generation` and shows the progress; nothing once that download
// has been replaced.
void countDownloaded(long generation)
{
    AppState& state = appState();
    StatusHold hold;
    const long downloaded = photoStore().countWritten(generation);
    if (downloaded < 0) return;
    setStatusHeld(currentProgressText(downloaded, state.queuedCount));
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
    // After a full disk or a refused folder the photos still queued are left alone: neither asked
    // for nor counted.
    if (run->albumHalted()) return;
    PhotoRecord photo;
    std::wstring folder;
    if (!photoStore().take(generation, photo, folder)) return;
    AppState& state = appState();
    const std::string sizePath = state.sizePath.get();
    const std::string address = photo.picHost + sizePath + photo.picNameInAddress;
    const std::wstring& name = photo.fileName;
    // Written by an earlier download of this album at this size, and still there.
    if ((photo.alreadySaved && photo.savedSizePath == sizePath) || writtenPictures().haveAlready(folder, name, sizePath)) {
        countDownloaded(generation);
        return;
    }
    std::string bytes;
    // Guarded by EndToEndFaults.ServerErrorsOnEveryTryLeaveNothing, EndToEndPromises.ReplacedDownloadLeavesNothingInTheNewOne.
    const FetchResult fetched = fetchPicture(*run, address, bytes);
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

namespace {

// The album's record as this download leaves it: every queued photo in list order, with what is
// saved of it. A listing that was not read whole is recorded with total 0, so the next download
// reads it whole again, and keeps what the record knew of the photos it did not list: a page that
// failed today costs no picture saved before.
void foldRecord(DownloadRun& run, const std::string& albumId, const std::wstring& albumFolder, std::deque<PhotoRecord>&& queued,
                const KnownPhotos& known, bool wholeListing, int64_t total)
{
    std::map<std::string, SavedStamp> savedNow = run.closeJournal();
    // Nothing listed and nothing saved: the record stays as it was.
    if (queued.empty() && savedNow.empty() && !wholeListing) return;
    AlbumLedger ledger{albumId, wholeListing ? total : 0, {}};
    ledger.photos.reserve(queued.size());
    for (PhotoRecord& photo : queued) ledger.photos.push_back(recordOf(std::move(photo), savedNow, known));
    queued = {};
    if (!wholeListing) {
        std::set<std::string_view> listed;
        for (const SavedPhoto& photo : ledger.photos) listed.insert(photo.picName);
        std::vector<SavedPhoto> unlisted;
        for (const SavedPhoto& saved : known.photos())
            if (!listed.count(saved.picName)) unlisted.push_back(saved);
        for (SavedPhoto& saved : unlisted) ledger.photos.push_back(std::move(saved));
    }
    // A record that cannot be written leaves the journal: the next download still knows the pictures.
    static_cast<void>(writeAlbumRecord(albumFolder, ledger));
}

// Until the pool has no picture left: woken by each picture's end, never later than half a second.
bool waitForPictures(const JobContext& job)
{
    while (!downloadPool().isIdle()) {
        if (job.stopping()) return false;
        static_cast<void>(downloadPool().waitTaskDone(500, true));
    }
    return !job.stopping();
}

} // namespace

AlbumOutcome downloadAlbum(const JobContext& job, DownloadRun& run, int position)
{
    AlbumOutcome outcome;
    AppState& state = appState();
    AlbumRecord album;
    if (!albumStore().at(position, album)) {
        MessageBoxW(nullptr, toUtf16("数组访问越界,大于数组成员数;").c_str(), toUtf16("信息").c_str(), MB_ICONERROR);
        outcome.missing = true;
        return outcome;
    }
    // Guarded by EndToEndHostile.HostileNamesStayInsideTheSaveFolder.
    const std::wstring saveFolder = state.saveFolder.get();
    const std::wstring ownerFolder = withBackslash(saveFolder + safeName(state.ownerNick.get(), toUtf16(state.ownerId.get())));
    const std::wstring albumFolder = withBackslash(ownerFolder + safeName(album.caption, toUtf16(album.albumId)));
    // Cleaned names never leave the save folder; should one still do, nothing is made there.
    const bool inside = isPathInside(albumFolder, saveFolder);
    if (inside) {
        static_cast<void>(ensureFolder(ownerFolder));  // a missing folder fails each picture's write
        // A disk too full even for the album's folder is a full disk: one box, and the job stops
        // before it asks for anything. Guarded by Jobs.SignInAnalyseAndDownload (its full disk).
        if (!ensureFolder(albumFolder) && isDiskFull(saveFolder) && run.stopForFullDisk()) {
            StatusHold hold;
            MessageBoxW(nullptr, toUtf16(errorText(ERROR_DISK_FULL)).c_str(), albumFolder.c_str(), MB_ICONERROR);
        }
    }
    outcome.stopped = true;
    if (!photoStore().setFolder(job, albumFolder)) return outcome;
    // "打开目录" shows the folder of the download that is current when it is chosen.
    whileCurrentOnWindow(job, [&] { state.albumFolder.set(albumFolder); });

    // What an earlier download kept of the album; pictures a killed one left half-written go.
    // Nothing of it outside the save folder is read or written.
    if (inside) removeLeftoverTemporaries(albumFolder);
    const KnownPhotos known(inside ? readAlbumRecord(albumFolder, album.albumId) : std::nullopt, albumFolder, state.sizePath.get());
    if (inside) run.openJournal(albumFolder, album.albumId);
    // However the album ends, its journal is closed with it: the next download of it opens it again.
    struct JournalCloser {
        DownloadRun& run;
        ~JournalCloser() { static_cast<void>(run.closeJournal()); }
    } closer{run};

    const std::string ownerId = state.ownerIdInAddress.get();
    // Every page, the first one included, is asked for within the loop, each answer in its own
    // document: a page that fails queues nothing, whatever an earlier answer held.
    auto fetchPage = [&](int page) {
        return fetchPhotoListPage(run, photoListAddress(ownerId, album.albumIdInAddress, page), page == 1);
    };
    JsonDocument first = fetchPage(1);
    const int total = static_cast<int32_t>(first.GetInteger("data.total"));
    run.setAlbumTotal(total);
    // The pages the first answer promises, but never far more than the album list said it holds:
    // a service that keeps answering cannot keep the job paging. A first page that lists photos
    // is believed over a total below one: those photos are not dropped.
    const int64_t claimed = std::max<int64_t>(album.photoCount, 0);
    const int64_t mostPages = std::min<int64_t>((claimed + kPhotosPerPage - 1) / kPhotosPerPage + 2, kMostPhotoPages);
    const int64_t promised = total > 0 ? (int64_t{total} + kPhotosPerPage - 1) / kPhotosPerPage
                                       : (first.GetCount("data.photo_list") > 0 ? mostPages : 0);
    const int64_t pages = std::min(promised, mostPages);
    // Only while the listing is read: the names given so far.
    auto names = std::make_unique<AlbumNames>();
    for (const SavedPhoto& saved : known.photos()) names->reserve(saved.fileName);
    auto queue = [&](PhotoRecord photo) {
        const SavedPhoto* saved = known.find(photo.picNameInAddress);
        photo.alreadySaved = saved && saved->fileName == photo.fileName && known.isSaved(*saved);
        if (photo.alreadySaved) photo.savedSizePath = saved->sizePath;
        // Counted and kept only while this job is the current download.
        if (!photoStore().append(job, std::move(photo))) return false;
        downloadPool().submit(downloadTask, job.generation());
        downloadMoved();  // one more picture to come
        return true;
    };
    // While the listing may still turn out to be the recorded one grown, its photos wait here.
    bool compared = !known.hasListing();
    bool wholeListing = true;
    std::vector<PhotoRecord> waiting;
    std::vector<std::string> listed;
    for (int page = 1; page <= pages && !run.albumHalted(); ++page) {
        if (job.stopping()) return outcome;
        JsonDocument answer = fetchPage(page);
        if (!answer.HasRoot()) wholeListing = false;
        const int count = answer.GetCount("data.photo_list");
        int added = 0;
        for (int j = 0; j < count; ++j) {
            std::string entry = "data.photo_list.[";
            entry += std::to_string(j);
            entry += "].";
            PhotoRecord photo;
            photo.captionRender = answer.GetTextW(toUtf16(entry + "caption_render"));
            photo.picHost = answer.GetText(entry + "pic_host");
            photo.picNameInAddress = addressValue(answer, entry + "pic_name");
            photo.timestamp = static_cast<int32_t>(answer.GetInteger(entry + "timestamp"));
            if (!names->name(photo, answer.GetTextW(toUtf16(entry + "pic_name")), known.find(photo.picNameInAddress))) continue;
            if (!compared) listed.push_back(photo.picNameInAddress);
            waiting.push_back(std::move(photo));
            ++added;
        }
        // A page that answered but brought nothing new: the service has run out of photos.
        const bool ranOut = page > 1 && added == 0 && answer.HasRoot();
        if (!compared) {
            size_t newCount = 0;
            const KnownPhotos::Overlap overlap = known.compare(listed, total, &newCount);
            if (overlap == KnownPhotos::Overlap::Matched) {
                // The album as recorded, with `newCount` photos before it: no further page is read.
                waiting.resize(newCount);
                for (const SavedPhoto& saved : known.photos()) waiting.push_back(recordedPhoto(saved));
                for (PhotoRecord& photo : waiting)
                    if (!queue(std::move(photo))) return outcome;
                waiting.clear();
                break;
            }
            if (overlap == KnownPhotos::Overlap::Unknown && page < pages && !ranOut) continue;
            compared = true;  // read in full from here on
            listed = {};
        }
        for (PhotoRecord& photo : waiting)
            if (!queue(std::move(photo))) return outcome;
        waiting.clear();
        if (ranOut) break;
    }
    names.reset();
    if (!waitForPictures(job)) return outcome;
    outcome.stopped = false;
    outcome.report = run.report();
    foldRecord(run, album.albumId, albumFolder, photoStore().handOverList(job), known, wholeListing && !outcome.report.failedPages && !run.albumHalted(), total);
    outcome.downloaded = state.downloadedCount;
    outcome.queued = state.queuedCount;
    const bool whole = isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued);
    showAlbumState(job, position - 1, whole ? AlbumState::Complete : AlbumState::Incomplete);
    return outcome;
}

void albumJob(const JobContext& job)
{
    const std::shared_ptr<DownloadRun> run = startDownloadRun(job, job.generation());
    const AlbumOutcome outcome = downloadAlbum(job, *run, static_cast<int>(job.argument()));
    if (outcome.missing) {
        enableJobButtons(true);
        whileCurrentOnWindow(job, [] { downloadEnded(true, {}); });
        return;
    }
    // A replaced job leaves the status line to its successor.
    if (!outcome.stopped)
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
    for (int position = 1; position <= tally.albums; ++position) {
        // A full disk or a rate limit that never ends concerns every album: the rest stay undone.
        if (run->diskFull() || run->gate().givenUp()) break;
        if (position > 1 && !photoStore().beginAlbum(job)) return;
        long claimedAfter = 0;
        for (size_t later = static_cast<size_t>(position); later < albums.size(); ++later)
            claimedAfter += std::max(albums[later].photoCount, 0);
        const AlbumRecord& album = albums[static_cast<size_t>(position - 1)];
        run->beginAlbum({position, tally.albums, album.caption, tally.downloaded, tally.listed, std::max(album.photoCount, 0), claimedAfter});
        downloadMoved();
        // Held or waiting for a sign-in, the line keeps saying so.
        whileCurrentOnWindow(job, [] { setStatus(currentProgressText(0, 0)); });
        const AlbumOutcome outcome = downloadAlbum(job, *run, position);
        if (outcome.stopped) return;
        tally.downloaded += outcome.downloaded;
        tally.listed += outcome.queued;
        if (!outcome.missing && isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued)) ++tally.complete;
    }
    tally.diskFull = run->diskFull();
    tally.gaveUp = run->gate().givenUp();
    finishJob(*run, accountFinalText(tally), tally.complete == tally.albums && !tally.diskFull && !tally.gaveUp);
}
