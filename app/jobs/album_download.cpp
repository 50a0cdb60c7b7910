#include "app/jobs/album_download.h"

#include "app/core/app_state.h"
#include "app/core/error_table.h"
#include "app/core/file_naming.h"
#include "app/core/file_store.h"
#include "app/core/shared_objects.h"
#include "app/jobs/picture_task.h"
#include "app/jobs/job_window.h"
#include "app/jobs/patient_fetch.h"
#include "app/jobs/service_exchange.h"
#include "app/jobs/service_hosts.h"
#include "net/http_client.h"
#include "text/encoding.h"
#include "text/json_document.h"
#include "text/json_node.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>

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

// A usable list answer: an object whose `listPath` is an array. A first page that says the album
// holds nothing needs no list.
bool isGoodList(JsonDocument& answer, std::string_view listPath, bool firstPage)
{
    if (answer.GetType() != static_cast<int>(JsonKind::Object)) return false;
    if (answer.GetType(listPath) == static_cast<int>(JsonKind::Array)) return true;
    return firstPage && answer.Exists("data.total") && answer.GetInteger("data.total") == 0;
}

// A photo-list page, parsed; an empty document when it never came usably (`failed` then says
// whether that was a failure: a stopped job is not one).
// Guarded by EndToEndHostile.ErrorObjectPageIsRetriedNotTakenAsEmpty.
JsonDocument fetchPhotoListPage(DownloadRun& run, const std::string& address, bool firstPage, bool& failed)
{
    JsonDocument answer;
    // The session's newest cookies at each try: a lapsed session is renewed while the page waits.
    const FetchResult result = fetchPatiently(run, {address, {}, {}, AnswerKind::List, true}, [&](HttpClient& client) {
        JsonDocument parsed;
        if (!parsed.Parse(client.responseText(), true) || !isGoodList(parsed, "data.photo_list", firstPage)) return false;
        answer = parsed;
        return true;
    });
    failed = result == FetchResult::Failed;
    return answer;
}

bool isSameFolder(const std::wstring& a, const std::wstring& b)
{
    return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

// Case-blind, as Windows compares file names.
struct NameLess {
    bool operator()(const std::wstring& a, const std::wstring& b) const
    {
        return CompareStringOrdinal(a.c_str(), static_cast<int>(a.size()), b.c_str(), static_cast<int>(b.size()), TRUE) == CSTR_LESS_THAN;
    }
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

} // namespace

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

AlbumDownload::AlbumDownload(const JobContext& job, DownloadRun& run, int position) : job_(job), run_(run), position_(position)
{
    exists_ = albumStore().at(position, album_);
    if (!exists_) return;
    // Guarded by EndToEndHostile.HostileNamesStayInsideTheSaveFolder.
    AppState& state = appState();
    const std::wstring saveFolder = state.saveFolder.get();
    ownerFolder_ = withBackslash(saveFolder + safeName(state.ownerNick.get(), toUtf16(state.ownerId.get())));
    albumFolder_ = withBackslash(ownerFolder_ + safeName(album_.caption, toUtf16(album_.albumId)));
    // Cleaned names never leave the save folder; should one still do, nothing is made there.
    inside_ = isPathInside(albumFolder_, saveFolder);
}

AlbumDownload::~AlbumDownload()
{
    // However the album ends, its journal is closed with it: the next download of it opens it again.
    if (journalOpen_) static_cast<void>(run_.closeJournal());
}

void AlbumDownload::prepare(bool tellUser)
{
    // A replaced job sweeps nothing: the folder may be its successor's.
    if (job_.stopping()) return;
    const AppState& state = appState();
    if (inside_) {
        static_cast<void>(ensureFolder(ownerFolder_));  // a missing folder fails each picture's write
        // A disk too full even for the album's folder is a full disk: one box, and the job stops
        // before it asks for anything. Guarded by Jobs.SignInAnalyseAndDownload (its full disk).
        if (!ensureFolder(albumFolder_)) {
            if (!tellUser) return;  // tried again, and told, when the album's turn comes
            if (isDiskFull(state.saveFolder.get()) && run_.stopForFullDisk()) {
                StatusHold hold;
                MessageBoxW(nullptr, toUtf16(errorText(ERROR_DISK_FULL)).c_str(), albumFolder_.c_str(), MB_ICONERROR);
            }
        }
        // What an earlier download kept of the album; pictures a killed one left half-written go.
        removeLeftoverTemporaries(albumFolder_);
        known_ = KnownPhotos(readAlbumRecord(albumFolder_, album_.albumId), albumFolder_, state.sizePath.get());
    } else {
        // Nothing outside the save folder is read or written.
        known_ = KnownPhotos(std::nullopt, albumFolder_, state.sizePath.get());
    }
    prepared_ = true;
}

bool AlbumDownload::stage(const std::wstring& previousFolder)
{
    // Two albums in one folder take turns: this one's leftovers are the other one's pictures in flight.
    if (!exists_ || !inside_ || isSameFolder(albumFolder_, previousFolder)) return false;
    prepare(false);
    if (!prepared_ || !photoStore().stageAlbum(job_, albumFolder_)) return false;
    staged_ = true;
    readFirstPage();
    if (page_ <= pages_ && readPage() != Page::More) listingDone_ = true;
    return true;
}

bool AlbumDownload::begin()
{
    if (!prepared_) prepare(true);
    if (!prepared_) return false;  // the job was replaced
    // Opened before the album's first pictures, fetched while it was staged, may be written.
    if (inside_) {
        run_.openJournal(albumFolder_, album_.albumId);
        journalOpen_ = true;
    }
    if (staged_ && !photoStore().beginStagedAlbum(job_)) return false;
    if (!photoStore().setFolder(job_, albumFolder_)) return false;
    AppState& state = appState();
    // "打开目录" shows the folder of the download that is current when it is chosen.
    whileCurrentOnWindow(job_, [&] { state.albumFolder.set(albumFolder_); });
    current_ = true;
    if (!firstRead_) readFirstPage();
    run_.setAlbumTotal(total_);
    for (; pendingFailedPages_ > 0; --pendingFailedPages_) run_.pageFailed();
    return !job_.stopping();
}

void AlbumDownload::pageFailed()
{
    if (current_) run_.pageFailed();
    else ++pendingFailedPages_;
}

// Every page, the first one included, is asked for within the listing, each answer in its own
// document: a page that fails queues nothing, whatever an earlier answer held.
void AlbumDownload::readFirstPage()
{
    firstRead_ = true;
    ownerId_ = appState().ownerIdInAddress.get();
    bool failed = false;
    JsonDocument first = fetchPhotoListPage(run_, photoListAddress(ownerId_, album_.albumIdInAddress, 1), true, failed);
    if (failed) pageFailed();
    total_ = static_cast<int32_t>(first.GetInteger("data.total"));
    // The pages the first answer promises, but never far more than the album list said it holds:
    // a service that keeps answering cannot keep the job paging. A first page that lists photos
    // is believed over a total below one: those photos are not dropped.
    const int64_t claimed = std::max<int64_t>(album_.photoCount, 0);
    const int64_t mostPages = std::min<int64_t>((claimed + kPhotosPerPage - 1) / kPhotosPerPage + 2, kMostPhotoPages);
    const int64_t promised = total_ > 0 ? (int64_t{total_} + kPhotosPerPage - 1) / kPhotosPerPage
                                        : (first.GetCount("data.photo_list") > 0 ? mostPages : 0);
    pages_ = std::min(promised, mostPages);
    names_ = std::make_unique<AlbumNames>();
    for (const SavedPhoto& saved : known_.photos()) names_->reserve(saved.fileName);
    compared_ = !known_.hasListing();
}

bool AlbumDownload::queue(PhotoRecord photo)
{
    const SavedPhoto* saved = known_.find(photo.picNameInAddress);
    photo.alreadySaved = saved && saved->fileName == photo.fileName && known_.isSaved(*saved);
    if (photo.alreadySaved) photo.savedSizePath = saved->sizePath;
    // Counted and kept only while this job is the current download.
    if (!photoStore().append(job_, std::move(photo))) return false;
    downloadPool().submit(downloadTask, job_.generation());
    downloadMoved();  // one more picture to come
    return true;
}

AlbumDownload::Page AlbumDownload::readPage()
{
    if (job_.stopping()) return Page::Stopped;
    const int page = page_++;
    bool failed = false;
    JsonDocument answer = fetchPhotoListPage(run_, photoListAddress(ownerId_, album_.albumIdInAddress, page), page == 1, failed);
    if (failed) pageFailed();
    if (!answer.HasRoot()) wholeListing_ = false;
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
        if (!names_->name(photo, answer.GetTextW(toUtf16(entry + "pic_name")), known_.find(photo.picNameInAddress))) continue;
        if (!compared_) listed_.push_back(photo.picNameInAddress);
        waiting_.push_back(std::move(photo));
        ++added;
    }
    // A page that answered but brought nothing new: the service has run out of photos.
    const bool ranOut = page > 1 && added == 0 && answer.HasRoot();
    if (!compared_) {
        size_t newCount = 0;
        const KnownPhotos::Overlap overlap = known_.compare(listed_, total_, &newCount);
        if (overlap == KnownPhotos::Overlap::Matched) {
            // The album as recorded, with `newCount` photos before it: no further page is read.
            waiting_.resize(newCount);
            for (const SavedPhoto& saved : known_.photos()) waiting_.push_back(recordedPhoto(saved));
            for (PhotoRecord& photo : waiting_)
                if (!queue(std::move(photo))) return Page::Stopped;
            waiting_.clear();
            return Page::Last;
        }
        if (overlap == KnownPhotos::Overlap::Unknown && page < pages_ && !ranOut) return Page::More;
        compared_ = true;  // read in full from here on
        listed_ = {};
    }
    for (PhotoRecord& photo : waiting_)
        if (!queue(std::move(photo))) return Page::Stopped;
    waiting_.clear();
    return ranOut || page >= pages_ ? Page::Last : Page::More;
}

bool AlbumDownload::listRest()
{
    while (!listingDone_ && page_ <= pages_ && !run_.albumHalted()) {
        const Page page = readPage();
        if (page == Page::Stopped) return false;
        listingDone_ = page == Page::Last;
    }
    names_.reset();
    return !job_.stopping();
}

AlbumOutcome AlbumDownload::finish()
{
    AlbumOutcome outcome;
    const AppState& state = appState();
    outcome.report = run_.report();
    foldRecord(run_, album_.albumId, albumFolder_, photoStore().handOverList(job_), known_,
               wholeListing_ && !outcome.report.failedPages && !run_.albumHalted(), total_);
    outcome.downloaded = state.downloadedCount;
    outcome.queued = state.queuedCount;
    const bool whole = isWholeAlbum(outcome.report, outcome.downloaded, outcome.queued);
    showAlbumState(job_, position_ - 1, whole ? AlbumState::Complete : AlbumState::Incomplete);
    return outcome;
}
